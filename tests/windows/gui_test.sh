#!/usr/bin/env bash
# The Windows program under Wine on a virtual X server, driven by clicks and keys as a user
# would, against the simulated receiver on a pseudo-terminal that the private Wine prefix maps
# as COM3. brisko-probe reads the log and the message boxes back with WM_GETTEXT. Every wait
# polls for its event with a deadline.
#
# Usage: gui_test.sh CASE     (windows, upload, step-failure, missing-port, second-press,
#                              close-during-upload)
# Environment: WINEPREFIX, BRISKO_WINE, BRISKO_WINESERVER, BRISKO_PROGRAM, BRISKO_PROBE,
# BRISKO_SIMULATOR (see tests/windows/CMakeLists.txt).
set -euo pipefail
case_name=$1
self=$(realpath "$0")

if [ -z "${BRISKO_GUI_SESSION:-}" ]; then
    exec env BRISKO_GUI_SESSION=1 xvfb-run -a -s "-screen 0 800x600x24" "$self" "$@"
fi

wineserver=${BRISKO_WINESERVER:-wineserver}
work=$(mktemp -d)
com3=$WINEPREFIX/dosdevices/com3
sim_pid=
program_pid=
wm_pid=

fail() {
    echo "FAIL ($case_name): $*" >&2
    for f in "$work"/*.log; do
        echo "--- $(basename "$f")" >&2
        tail -n 30 "$f" >&2
    done
    exit 1
}

cleanup() {
    "$wineserver" -k 2>/dev/null || true
    [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null || true
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null || true
    rm -f "$com3"
    rm -rf "$work"
}
trap cleanup EXIT

probe() {
    "$BRISKO_WINE" "$BRISKO_PROBE" "$@" | tr -d '\r'
}

# Polls up to $2 tenths of a second until the simulator's account has $1 lines matching $3.
await_sim_lines() {
    local count=$1 tenths=$2 pattern=$3
    for _ in $(seq "$tenths"); do
        [ "$(grep -c -- "$pattern" "$work/sim.log")" -ge "$count" ] && return 0
        sleep 0.1
    done
    return 1
}

start_window_manager() {
    openbox --startup "touch $work/wm-ready" >/dev/null 2>&1 &
    wm_pid=$!
    for _ in $(seq 100); do
        [ -e "$work/wm-ready" ] && return 0
        sleep 0.1
    done
    fail "the window manager did not start"
}

# The simulator with options $@ on a pseudo-terminal that Wine maps as COM3.
start_simulator() {
    mkdir -p "$work/ports"
    "$BRISKO_SIMULATOR" --ports-dir "$work/ports" --port COM3 --out "$work/received.bin" \
        --die-with-parent "$@" >"$work/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q '^READY ' "$work/sim.log" && break
        sleep 0.1
    done
    grep -q '^READY ' "$work/sim.log" || fail "the simulator did not start"
    ln -sfn "$work/ports/COM3" "$com3"
}

# A COM3 that leads nowhere.
no_port() {
    ln -sfn "$work/ports/none" "$com3"
}

start_program() {
    # A fresh Wine session on this display.
    "$wineserver" -k 2>/dev/null || true
    "$wineserver" -w 2>/dev/null || true
    (cd "$work" && exec "$BRISKO_WINE" "$BRISKO_PROGRAM") >"$work/program.log" 2>&1 &
    program_pid=$!
    probe wait-window "Brisko K71 0.2" 60000 || fail "the main window did not come up"
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Brisko K71 0\.2$' | head -n 1)
    [ -n "$window" ] || fail "no X window for the main window"
}

# Clicks at ($1, $2) of the main window's client area.
click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
}
click_setup() { click 50 12; }   # "Setup Comm": 97 x 25 at (2, 0)
click_upgrade() { click 50 40; } # "Upgrade Software": 97 x 25 at (2, 28)

# Presses keys $@ in the visible window titled $1, once it is there.
keys_in() {
    local title=$1 id
    shift
    probe wait-window "$title" 20000 >/dev/null || fail "no window \"$title\""
    id=$(timeout 20 xdotool search --sync --onlyvisible --name "^$title\$" | head -n 1)
    xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
    xdotool key --clearmodifiers "$@"
}

# Accepts the proposed rom_S.bin in the open dialog.
accept_image() {
    keys_in Load Return
}

# Waits until the log's last line is $1 and compares the whole log with the lines $2...
expect_log() {
    local last=$1 got
    shift
    probe wait-log "$last" 120000 >"$work/log.txt" || fail "the log did not end with \"$last\": $(cat "$work/log.txt")"
    got=$(grep -v '^$' "$work/log.txt" || true)
    [ "$got" == "$(printf '%s\n' "$@")" ] || fail "log differs: got [$got]"
}

# Waits for the error box with text $1, checks its title and presses its OK button with Return.
expect_box() {
    local title
    title=$(probe wait-box "$1" 20000) || fail "no message box \"$1\""
    [ "$title" == "Error" ] || fail "box \"$1\" has the title \"$title\""
    keys_in Error Return
}

# Closes the main window with the window manager's close key and waits for the program's end.
close_program() {
    xdotool windowactivate --sync "$window" 2>/dev/null || true
    xdotool key --clearmodifiers alt+F4
    timeout 30 tail --pid="$program_pid" -f /dev/null || fail "the program did not end"
    program_pid=
}

image_of_size() {
    head -c "$1" /dev/urandom >"$work/rom_S.bin"
}

# The receiver's copy begins with the image (the first block frame always carries 4080 bytes).
expect_received_image() {
    await_sim_lines 1 100 '^VERDICT OK ' || fail "the receiver did not complete the dialogue"
    cmp -s -n "$(stat -c %s "$work/rom_S.bin")" "$work/rom_S.bin" "$work/received.bin" ||
        fail "the receiver's copy differs"
}

case "$case_name" in
windows)
    # Layout, fonts, the set-up dialog by keyboard, and minimising it.
    start_window_manager
    no_port
    start_program
    probe layout >"$work/layout.log" || fail "layout"
    grep -q '^TFMain outer=317,136 client=351x127 caption=Brisko K71 0.2 thickframe=0 minimize=1 maximize=0 sysmenu=1$' "$work/layout.log" || fail "main window"
    grep -q '^TFSettings outer=390,204 client=270x153 caption=Communication Setup thickframe=0 minimize=1 maximize=1 sysmenu=1$' "$work/layout.log" || fail "set-up dialog"
    for line in "control 101 at=2,56 size=30x13 caption=Status tabstop=0" \
        "control 102 at=0,70 size=349x53 caption= tabstop=1" \
        "control 103 at=2,0 size=97x25 caption=Setup Comm tabstop=1" \
        "control 104 at=2,28 size=97x25 caption=Upgrade Software tabstop=1" \
        "control 201 at=12,124 size=75x25 caption=OK tabstop=1" \
        "control 202 at=10,8 size=251x109 caption=Select a Port tabstop=0" \
        "order 101 102 103 104"; do
        grep -qx "$line" "$work/layout.log" || fail "layout: no \"$line\""
    done
    probe fit >"$work/fit.log" || fail "a caption is clipped"
    # Focus starts in the log; Tab, Tab reaches "Upgrade Software", Shift+Tab "Setup Comm".
    [ "$(probe focus)" == 102 ] || fail "the log does not have the focus at start"
    xdotool windowactivate --sync "$window"
    xdotool key --clearmodifiers Tab Tab shift+Tab
    [ "$(probe focus)" == 103 ] || fail "Tab order"
    xdotool key --clearmodifiers space
    probe wait-window "Communication Setup" 20000 >/dev/null || fail "Space did not open the set-up dialog"
    [ "$(probe selected)" == 2 ] || fail "COM3 is not selected at the first showing"
    # OK has the focus; Tab goes to the selected port, the arrow keys move the selection.
    keys_in "Communication Setup" Tab Up Up
    [ "$(probe selected)" == 0 ] || fail "the arrow keys did not select COM1"
    # Minimising the dialog takes the program down with it; restoring brings both back.
    xdotool windowminimize --sync "$(xdotool search --onlyvisible --name '^Communication Setup$' | head -n 1)"
    probe gone "Communication Setup" 20000 || fail "the dialog is still shown after minimising"
    xdotool windowactivate "$window" 2>/dev/null || xdotool windowmap "$window"
    probe wait-window "Communication Setup" 20000 >/dev/null || fail "restoring did not bring the dialog back"
    # Closed by its close key, it keeps the selection: COM1 is selected at the next showing.
    keys_in "Communication Setup" alt+F4
    probe gone "Communication Setup" 20000 || fail "the close key did not close the dialog"
    click_setup
    probe wait-window "Communication Setup" 20000 >/dev/null || fail "the set-up dialog did not come back"
    [ "$(probe selected)" == 0 ] || fail "COM1 was not kept"
    # The focus is back on COM1, where it was; Shift+Tab goes to OK and Return presses it.
    [ "$(probe focus)" == 203 ] || fail "the focus did not come back to the selected port"
    keys_in "Communication Setup" shift+Tab Return
    probe gone "Communication Setup" 20000 || fail "OK did not close the dialog"
    close_program
    ;;
upload)
    start_window_manager
    image_of_size $((4080 * 3 + 1)) # the first block and three more, the last of one byte
    start_simulator
    start_program
    click_upgrade
    accept_image
    expect_log "Done." "Please turn ON the IRD" "Communication established" "Block 1" "Block 2" \
        "Block 3" "Done."
    expect_received_image
    close_program
    ;;
step-failure)
    start_window_manager
    image_of_size 5000
    start_simulator --fault stage3:wrong-code
    start_program
    click_upgrade
    accept_image
    expect_log "Communication error 2." "Please turn ON the IRD" "Communication established" \
        "Communication error 2."
    close_program
    ;;
missing-port)
    start_window_manager
    image_of_size 5000
    no_port
    start_program
    click_upgrade
    expect_box "Could not create handle"
    expect_box "Port Error."
    probe gone Load 0 || fail "the open dialog came after a port error"
    [ -z "$(probe log | tr -d '\n')" ] || fail "the log is not empty"
    close_program
    ;;
second-press)
    # The receiver answers only the second wake-up frame, so the program is held in the
    # wake-up for 2 s; a second press made then must not start another upload. The image fits
    # the first block, so no message is processed between the press and the end of the upload.
    start_window_manager
    image_of_size 4000
    start_simulator --answer-wake 2
    start_program
    click_upgrade
    accept_image
    await_sim_lines 1 100 '^RX ctrl code=0x0012 ' || fail "no wake-up frame"
    click_upgrade
    expect_log "Done." "Please turn ON the IRD" "Communication established" "Done."
    # Input is handled in order: once "Setup Comm" has opened its dialog, the earlier press has
    # been handled too. Had it started an upload, the open dialog would be up and the set-up
    # dialog would never come.
    click_setup
    probe wait-window "Communication Setup" 20000 >/dev/null || fail "the second press started something"
    probe gone Load 0 || fail "the second press started another upload"
    [ "$(probe log | grep -c 'Please turn ON the IRD')" == 1 ] || fail "the log was written twice"
    [ "$(grep -c '^VERDICT' "$work/sim.log")" == 1 ] || fail "the receiver saw a second dialogue"
    keys_in "Communication Setup" Return # OK has the focus at the first showing
    probe gone "Communication Setup" 20000 || fail "OK did not close the dialog"
    expect_received_image
    close_program
    ;;
close-during-upload)
    # Closing the window during an upload lets the upload end first, then the program ends.
    start_window_manager
    image_of_size $((4080 * 20 + 1))
    start_simulator --pace
    start_program
    click_upgrade
    accept_image
    await_sim_lines 3 300 '^RX block ' || fail "the block loop did not begin"
    xdotool key --clearmodifiers alt+F4
    await_sim_lines 1 300 '^VERDICT OK ' || fail "the upload did not go on to its end"
    timeout 30 tail --pid="$program_pid" -f /dev/null || fail "the program did not end after the upload"
    program_pid=
    cmp -s "$work/rom_S.bin" "$work/received.bin" || fail "the receiver's copy differs"
    ;;
*)
    echo "unknown case $case_name" >&2
    exit 2
    ;;
esac
echo "PASS ($case_name)"
