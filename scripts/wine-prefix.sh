#!/usr/bin/env bash
# Makes the private Wine prefix of the Windows tests, once: Wine's first start in a new prefix
# takes a while. Usage: scripts/wine-prefix.sh PREFIX
set -euo pipefail
shopt -s nullglob
prefix=$1
wine=${BRISKO_WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

if [ ! -f "$prefix/system.reg" ]; then
    mkdir -p "$prefix"
    # No display: nothing of the set-up needs one.
    DISPLAY= "$wine" wineboot --init >/dev/null 2>&1
    "${BRISKO_WINESERVER:-wineserver}" --wait
fi
# Debian's Wine 8 looks for its own fonts in the wrong place and falls back to a wider font,
# which clips the buttons' captions. Windows keeps them in C:\windows\Fonts, so they go there.
fonts=$prefix/drive_c/windows/Fonts
mkdir -p "$fonts"
for font in /usr/share/wine/fonts/*; do
    [ -e "$fonts/$(basename "$font")" ] || ln -s "$font" "$fonts/"
done
[ -f "$prefix/system.reg" ] && echo "wine prefix ready: $prefix"
