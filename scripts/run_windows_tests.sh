#!/usr/bin/env bash
# Runs the Windows build's tests under Wine: unit tests, WinHTTP against the
# local update server, and the real exe under Xvfb. Everything networked runs
# in a private namespace where the update host is loopback.
# usage: scripts/run_windows_tests.sh [CTEST ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win"
source "$root/scripts/wine_env.sh"

if [ "${1:-}" = --inside ]; then
    shift
    # ctest waits for EOF on each test's output, and Wine's services inherit
    # it: a persistent, pre-warmed server with its streams closed avoids the wait.
    wine_warm_up
    rc=0
    ctest --test-dir "$build" --output-on-failure "$@" || rc=$?
    quiet wineserver -k || true
    exit "$rc"
fi

"$root/scripts/wine_prefix.sh" "$WINEPREFIX"
"$root/scripts/with_display.sh" "$root/scripts/netns_run.sh" --release "$root/build/release" \
    --log "$root/build/server.log" -- bash "$root/scripts/run_windows_tests.sh" --inside "$@"
