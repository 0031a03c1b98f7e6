#!/usr/bin/env bash
# Runs a command with DISPLAY set to a private Xvfb screen of 1920x1080,
# started for it and stopped after it.
set -euo pipefail

n=90
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  xdpyinfo -display ":$n" >/dev/null 2>&1 && break
  sleep 0.05
done
export DISPLAY=":$n"
"$@"
