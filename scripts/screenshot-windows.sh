#!/usr/bin/env bash
# Makes docs/screenshot-windows.png: the Windows program under Wine after a completed upload to
# the simulated receiver, on a virtual X server with a small window manager for the title bar.
# xdotool presses "Upgrade Software" and then "Open" for rom_S.bin, in place of a person.
# Usage: scripts/screenshot-windows.sh        (make screenshot-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -z "${BRISKO_GUI_SESSION:-}" ]; then
    [ -x build/tools/brisko-k71-sim ] && [ -f build-win64/app/win32/brisko-k71.exe ] ||
        BRISKO_SIMULATOR= scripts/windows-test.sh >/dev/null
    export WINEPREFIX=$root/build-win64/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    scripts/wine-prefix.sh "$WINEPREFIX" >/dev/null
    exec env BRISKO_GUI_SESSION=1 xvfb-run -a -s "-screen 0 800x500x24" "$0"
fi

export BRISKO_WINE=${BRISKO_WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
export BRISKO_PROGRAM=$root/build-win64/app/win32/brisko-k71.exe
export BRISKO_PROBE=$root/build-win64/tests/windows/brisko-probe.exe
export BRISKO_SIMULATOR=$root/build/tools/brisko-k71-sim
case_name=screenshot
source scripts/wine-session.sh

start_window_manager
image_of_size 102400 # the first block and 25 more
start_simulator
start_program
click_upgrade
accept_image
probe wait-log "Done." 120000 >/dev/null || fail "the upload did not complete"
# Out of the way of the picture: no hover mark and no tooltip.
xdotool mousemove 0 0
sleep 1
shot=$work/screen.png
import -window root "$shot"
convert "$shot" -trim +repage -strip "$root/docs/screenshot-windows.png"
echo "screenshot: wrote docs/screenshot-windows.png"
close_program
