#!/usr/bin/env bash
# Creates a quiet Wine prefix once: no mono/gecko prompts, no wait for a
# window manager on DestroyWindow, no crash dialog that would hang a test.
# usage: scripts/wine_prefix.sh PREFIX
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 PREFIX" >&2
    exit 2
fi
mkdir -p "$1"
WINEPREFIX=$(cd "$1" && pwd)
export WINEPREFIX
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stamp=$WINEPREFIX/.vantrel-prefix-ready-2

if [ -e "$stamp" ]; then
    echo "wine prefix ready: $WINEPREFIX"
    exit 0
fi

# Every wine call gets all three streams redirected: wine's background
# services inherit them and would keep a caller reading our output waiting.
quiet() { "$@" </dev/null >/dev/null 2>&1; }

quiet wineboot -i
quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
quiet wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
# Windows' default: focus rectangles hidden until the keyboard is used (Wine's
# default shows them always).
quiet wine reg add 'HKCU\Control Panel\Desktop' /v UserPreferencesMask /t REG_BINARY /d 1000028012000000 /f
quiet wineserver -w
touch "$stamp"
echo "wine prefix created: $WINEPREFIX"
