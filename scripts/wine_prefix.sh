#!/usr/bin/env bash
# Creates a quiet Wine prefix once: no mono/gecko prompts, no wait for a
# window manager on DestroyWindow, no crash dialog that would hang a test.
# usage: scripts/wine_prefix.sh PREFIX
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 PREFIX" >&2
    exit 2
fi
source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"
mkdir -p "$1"
WINEPREFIX=$(cd "$1" && pwd)
stamp=$WINEPREFIX/.vantrel-prefix-ready-2

if [ -e "$stamp" ]; then
    echo "wine prefix ready: $WINEPREFIX"
    exit 0
fi

quiet wineboot -i
quiet wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
quiet wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
# Windows' default: focus rectangles hidden until the keyboard is used (Wine's
# default shows them always).
quiet wine reg add 'HKCU\Control Panel\Desktop' /v UserPreferencesMask /t REG_BINARY /d 1000028012000000 /f
quiet wineserver -w
touch "$stamp"
echo "wine prefix created: $WINEPREFIX"
