#!/usr/bin/env bash
# The Windows program under Wine on a virtual X server, driven by clicks and keys as a user
# would, against the simulated receiver on a pseudo-terminal that the private Wine prefix maps
# as COM3. brisko-probe reads the log and the message boxes back with WM_GETTEXT. Every wait
# polls for its event with a deadline.
#
# Usage: gui_test.sh CASE     (windows, upload, step-failure, missing-port, second-press,
#                              unplugged, close-during-upload)
# Environment: WINEPREFIX, BRISKO_WINE, BRISKO_WINESERVER, BRISKO_PROGRAM, BRISKO_PROBE,
# BRISKO_SIMULATOR (see tests/windows/CMakeLists.txt).
set -euo pipefail
case_name=$1
self=$(realpath "$0")

if [ -z "${BRISKO_GUI_SESSION:-}" ]; then
    exec env BRISKO_GUI_SESSION=1 xvfb-run -a -s "-screen 0 800x600x24" "$self" "$@"
fi

# shellcheck source=../../scripts/wine-session.sh
source "$(dirname "$self")/../../scripts/wine-session.sh"

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
    # The hint shows over every control and over the window's empty area.
    for spot in "50 12" "50 40" "15 62" "150 95" "250 30"; do
        xdotool mousemove --window "$window" $spot
        probe wait-tooltip "Send INS" 10000 || fail "no hint at $spot"
        xdotool mousemove 0 0
        probe wait-tooltip "" 10000 || fail "the hint stays after the pointer left"
    done
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
unplugged)
    # The line goes away where the device information should come (an adapter unplugged): the
    # next write fails, the step ends with its message, and the port is closed, so the next press
    # connects afresh and finds no port. Had the port stayed open, the next press would go
    # straight to the open dialog. (Under Wine only a write reports a line that has gone; a read
    # finds nothing. On Windows both fail.)
    start_window_manager
    image_of_size 5000
    start_simulator --fault info:hangup
    start_program
    click_upgrade
    accept_image
    expect_log "Communication error 2." "Please turn ON the IRD" "Communication established" \
        "Communication error 2."
    click_upgrade
    expect_box "Could not create handle"
    expect_box "Port Error."
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
