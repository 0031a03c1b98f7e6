#!/usr/bin/env bash
# docs/high-contrast.png: the window in a High Contrast theme on a private
# Xvfb screen, photographed with ImageMagick.
# usage: scripts/high_contrast_shot.sh   (after make win)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine_env.sh"

if [ "${1:-}" = --inside ]; then
    cmake --build "$root/build/win" --target high_contrast_window >/dev/null
    wine_warm_up
    wine "$root/build/win/high_contrast_window.exe" </dev/null >/dev/null 2>&1 &
    window=$(xdotool search --sync --name "Vantrel Bootstrapper")
    sleep 1  # the first paint
    import -window root -crop 760x520+580+280 +repage "$root/docs/high-contrast.png"
    xdotool key --window "$window" Escape
    wait
    quiet wineserver -k || true
    exit 0
fi

"$root/scripts/wine_prefix.sh" "$WINEPREFIX"
"$root/scripts/with_display.sh" bash "$root/scripts/high_contrast_shot.sh" --inside
