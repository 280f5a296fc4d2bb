#!/usr/bin/env bash
# Makes docs/screenshot-main.png: the main window after a completed demo upload (scripts/demo.sh)
# on a virtual X server, with a small window manager for the title bar. xdotool presses
# "Upgrade Software" and then "Open" for rom_S.bin, in place of a person.
#
# Usage: scripts/screenshot.sh [BUILD_DIR]        (make screenshot)
set -euo pipefail
cd "$(dirname "$0")/.."
self=$PWD/scripts/screenshot.sh
output=$PWD/docs/screenshot-main.png

# Runs as the demo's driver, while the program is up.
drive() {
    local window dialog
    window=$(xdotool search --sync --onlyvisible --name '^Brisko K71 0\.2$' | head -n 1)
    xdotool windowactivate --sync "$window"
    # "Upgrade Software": 97 by 25 pixels at (2, 28) of the window's client area.
    xdotool mousemove --window "$window" 50 40 click 1
    dialog=$(xdotool search --sync --onlyvisible --name '^Load$' | head -n 1)
    # Out of the way of the picture: no hover mark and no tooltip.
    xdotool mousemove 0 0
    xdotool windowactivate --sync "$dialog"
    xdotool key --clearmodifiers Return # "Open", with rom_S.bin proposed

    # The receiver reports the finished dialogue; "Done." follows its last answer at once.
    for _ in $(seq 1200); do
        grep -q '^VERDICT ' "$DEMO_SIM_LOG" && break
        sleep 0.1
    done
    if ! grep -q '^VERDICT OK ' "$DEMO_SIM_LOG"; then
        echo "screenshot: the upload did not complete" >&2
        return 1
    fi
    sleep 1
    local shot
    shot=$(mktemp --suffix=.png)
    import -window root "$shot"
    # The window and its frame on the black root window, trimmed to the frame.
    convert "$shot" -trim +repage -strip "$output"
    rm -f "$shot"
    echo "screenshot: wrote $output"
}

# Runs on the virtual X server: the window manager, then the demo with this script as driver.
session() {
    local build=$1 config wm_pid status=0
    config=$(mktemp -d)
    # Openbox draws a maximise button even on windows that refuse to be maximised; this layout
    # (icon, label, iconify, close) shows what the main window offers.
    cat >"$config/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><titleLayout>NLIC</titleLayout></theme>
</openbox_config>
XML
    openbox --config-file "$config/rc.xml" >/dev/null 2>&1 &
    wm_pid=$!
    DEMO_DRIVER="$(printf '%q' "$self") --drive" scripts/demo.sh "$build" || status=$?
    kill "$wm_pid" 2>/dev/null || true
    wait "$wm_pid" 2>/dev/null || true
    rm -rf "$config"
    return "$status"
}

case "${1:-}" in
--drive)
    drive
    ;;
--session)
    session "$2"
    ;;
*)
    build=$(realpath "${1:-build}")
    mkdir -p docs
    exec xvfb-run -a -s "-screen 0 800x500x24" "$self" --session "$build"
    ;;
esac
