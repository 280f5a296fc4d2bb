#!/usr/bin/env bash
# Figures of the Windows program under Wine (not of Windows itself): an unpaced full-size upload
# (2,465,791 bytes) to the simulated receiver, and the CPU time that waiting for a receiver that
# never answers costs (the whole wake-up, about 22 s), for the program and the Wine server
# apart. Builds what it needs first (scripts/windows.sh and the normal build's simulator).
# Usage: scripts/windows-bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

if [ -z "${BRISKO_GUI_SESSION:-}" ]; then
    [ -x build/tools/brisko-k71-sim ] && [ -f build-win64/app/win32/brisko-k71.exe ] ||
        scripts/windows-test.sh >/dev/null
    export WINEPREFIX=$root/build-win64/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
    scripts/wine-prefix.sh "$WINEPREFIX" >/dev/null
    exec env BRISKO_GUI_SESSION=1 xvfb-run -a -s "-screen 0 800x500x24" "$0"
fi

export BRISKO_WINE=${BRISKO_WINE:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
export BRISKO_PROGRAM=$root/build-win64/app/win32/brisko-k71.exe
export BRISKO_PROBE=$root/build-win64/tests/windows/brisko-probe.exe
export BRISKO_SIMULATOR=$root/build/tools/brisko-k71-sim
case_name=bench
source scripts/wine-session.sh
ticks_per_second=$(getconf CLK_TCK)

seconds_since() {
    awk -v now="$(date +%s%N)" -v then="$1" 'BEGIN { printf "%.2f", (now - then) / 1e9 }'
}
ticks_as_seconds() {
    awk -v ticks="$1" -v rate="$ticks_per_second" 'BEGIN { printf "%.2f", ticks / rate }'
}

# Runs one upload after options $@ of the simulator; prints the wall time from "Open" to the
# last line $1 and the CPU of the program and the Wine server over it.
measure() {
    local last=$1 label=$2 start program_before server_before server
    shift 2
    start_simulator "$@"
    start_program
    server=$(wineserver_pid) || fail "no Wine server for the prefix"
    click_upgrade
    probe wait-window Load 20000 >/dev/null || fail "no open dialog"
    program_before=$(cpu_ticks "$program_pid")
    server_before=$(cpu_ticks "$server")
    start=$(date +%s%N)
    keys_in Load Return
    probe wait-log "$last" 300000 >/dev/null || fail "the log did not end with \"$last\""
    echo "$label: $(seconds_since "$start") s from Open to \"$last\";" \
        "CPU: program $(ticks_as_seconds $(($(cpu_ticks "$program_pid") - program_before))) s," \
        "wineserver $(ticks_as_seconds $(($(cpu_ticks "$server") - server_before))) s"
    close_program
    kill "$sim_pid" && wait "$sim_pid" 2>/dev/null || true
    sim_pid=
}

start_window_manager
image_of_size 2465791
measure "Done." "unpaced upload of 2,465,791 bytes"
cmp -s "$work/rom_S.bin" "$work/received.bin" || fail "the receiver's copy differs"
measure "Communication Error" "silent receiver (11 wake-up attempts)" --silent
