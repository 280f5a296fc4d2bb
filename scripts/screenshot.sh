#!/usr/bin/env bash
# Makes docs/screenshot-main.png: the main window after a completed demo upload (scripts/demo.sh)
# on a virtual X server, with a small window manager for the title bar. xdotool presses
# "Upgrade Software" and then "Open" for rom_S.bin, in place of a person.
#
# Also docs/screenshot-wakeup.png: the same against a receiver that never answers, taken during
# the wake-up, while the upload holds the program for up to 22 s without processing messages.
# "Please turn ON the IRD" must be on the screen there.
#
# Usage: scripts/screenshot.sh [BUILD_DIR]        (make screenshot)
set -euo pipefail
cd "$(dirname "$0")/.."
self=$PWD/scripts/screenshot.sh
docs=$PWD/docs

# Saves the screen, trimmed to the window and its frame on the black root window, as $1.
capture() {
    local shot
    shot=$(mktemp --suffix=.png)
    import -window root "$shot"
    convert "$shot" -trim +repage -strip "$1"
    rm -f "$shot"
    echo "screenshot: wrote $1"
}

# Waits up to $2 tenths of a second for $1 lines in the simulator's account that match $3.
await_lines() {
    local count=$1 tenths=$2 pattern=$3
    for _ in $(seq "$tenths"); do
        [ "$(grep -c -- "$pattern" "$DEMO_SIM_LOG")" -ge "$count" ] && return 0
        sleep 0.1
    done
    return 1
}

# The visible window whose title matches $1, waiting up to 20 s for it.
find_window() {
    timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}

# Presses "Upgrade Software" and accepts the proposed rom_S.bin in the open dialog.
start_upload() {
    local window dialog
    window=$(find_window '^Brisko K71 0\.2$')
    xdotool windowactivate --sync "$window"
    # "Upgrade Software": 97 by 25 pixels at (2, 28) of the window's client area.
    xdotool mousemove --window "$window" 50 40 click 1
    dialog=$(find_window '^Load$')
    # Out of the way of the picture: no hover mark and no tooltip.
    xdotool mousemove 0 0
    xdotool windowactivate --sync "$dialog"
    xdotool key --clearmodifiers Return # "Open"
}

# Runs as the demo's driver, while the program is up: a completed upload.
drive_upload() {
    start_upload
    # The receiver reports the finished dialogue; "Done." follows its last answer at once.
    if ! await_lines 1 1200 '^VERDICT OK '; then
        echo "screenshot: the upload did not complete" >&2
        return 1
    fi
    sleep 1
    capture "$docs/screenshot-main.png"
}

# Runs as the demo's driver against a silent receiver: the screen during the wake-up.
drive_wakeup() {
    start_upload
    # The third wake-up frame: the program has been inside the upload for 4 s.
    if ! await_lines 3 100 '^RX ctrl code=0x0012 '; then
        echo "screenshot: the wake-up did not begin" >&2
        return 1
    fi
    capture "$docs/screenshot-wakeup.png"
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
    # Windows mapped while the window manager is still starting may be left unmanaged and
    # unmapped: the demo starts once it runs the start-up command.
    openbox --config-file "$config/rc.xml" --startup "touch $(printf '%q' "$config/ready")" \
        >/dev/null 2>&1 &
    wm_pid=$!
    for _ in $(seq 100); do
        [ -e "$config/ready" ] && break
        sleep 0.1
    done
    DEMO_DRIVER="$(printf '%q' "$self") --drive-upload" scripts/demo.sh "$build" || status=$?
    if [ "$status" -eq 0 ]; then
        DEMO_SIM_OPTIONS=--silent DEMO_DRIVER="$(printf '%q' "$self") --drive-wakeup" \
            scripts/demo.sh "$build" || status=$?
    fi
    kill "$wm_pid" 2>/dev/null || true
    wait "$wm_pid" 2>/dev/null || true
    rm -rf "$config"
    return "$status"
}

case "${1:-}" in
--drive-upload)
    drive_upload
    ;;
--drive-wakeup)
    drive_wakeup
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
