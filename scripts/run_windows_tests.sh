#!/usr/bin/env bash
# Runs the Windows build's tests under Wine: unit tests, WinHTTP against the
# local update server, and the real exe under Xvfb. Everything networked runs
# in a private namespace where the update host is loopback.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/win"

export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/scripts/wine_prefix.sh" "$WINEPREFIX"

inside() {
  # ctest waits for EOF on each test's output, and Wine's services inherit it:
  # a persistent, pre-warmed server with its streams closed avoids the wait.
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  local rc=0
  ctest --test-dir "$build" --output-on-failure "$@" || rc=$?
  wineserver -k </dev/null >/dev/null 2>&1 || true
  return $rc
}
export -f inside
export build

"$root/scripts/with_display.sh" "$root/scripts/netns_run.sh" --release "$root/build/release" --log "$root/build/server.log" -- bash -c 'inside "$@"' inside "$@"
