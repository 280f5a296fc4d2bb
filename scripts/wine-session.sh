# The Windows program under Wine on a virtual X server, driven as a user would: what the window
# tests, the screenshot and the benchmark of the Windows program share. Source it inside the X
# session, with WINEPREFIX, BRISKO_WINE, BRISKO_PROGRAM, BRISKO_PROBE and BRISKO_SIMULATOR set;
# case_name names the caller in its messages. Every wait polls for its event with a deadline.
# The cleanup runs at exit.

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
    "$wineserver" -w 2>/dev/null || true
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
    # Openbox draws a maximise button even on windows that refuse to be maximised; this layout
    # (icon, label, iconify, close) shows no button that a window does not have on the main one.
    cat >"$work/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <theme><titleLayout>NLIC</titleLayout></theme>
  <keyboard><keybind key="A-F4"><action name="Close"/></keybind></keyboard>
</openbox_config>
XML
    openbox --config-file "$work/rc.xml" --startup "touch $work/wm-ready" >/dev/null 2>&1 &
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


# The CPU time in clock ticks (user and system) of process $1 so far.
cpu_ticks() {
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

# The process id of the Wine server of this prefix: it works in a directory named after the
# prefix's device and inode.
wineserver_pid() {
    local dir pid
    dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    for pid in $(pgrep wineserver); do
        [[ "$(readlink "/proc/$pid/cwd")" == */"$dir" ]] && echo "$pid" && return 0
    done
    return 1
}
