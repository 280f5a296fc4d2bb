#!/usr/bin/env bash
# brisko-k71-flash.exe under Wine, on the console, against the simulated receiver on a
# pseudo-terminal that the private Wine prefix maps as COM3 (and a second one as COM4). Every wait
# polls for its event with a deadline.
#
# Usage: flash_test.sh CASE     (help, upload, two-ports, bad-port, interrupt)
# Environment: WINEPREFIX, BRISKO_WINE, BRISKO_WINESERVER, BRISKO_FLASH, BRISKO_SIMULATOR (see
# tests/windows/CMakeLists.txt).
set -euo pipefail
case_name=$1
wineserver=${BRISKO_WINESERVER:-wineserver}
work=$(mktemp -d)
sim_pids=()
links=()

fail() {
    echo "FAIL ($case_name): $*" >&2
    for f in "$work"/*.log; do
        echo "--- $(basename "$f")" >&2
        tail -n 30 "$f" >&2
    done
    exit 1
}

cleanup() {
    local pid
    for pid in "${sim_pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    for link in "${links[@]}"; do
        rm -f "$link"
    done
    rm -rf "$work"
}
trap cleanup EXIT

flash() {
    (cd "$work" && exec "$BRISKO_WINE" "$BRISKO_FLASH" "$@") | tr -d '\r'
}

# The simulator on a pseudo-terminal that Wine maps as port $1 (COM3, COM4), with options $@.
start_simulator() {
    local port=$1 lower
    shift
    lower=$(echo "$port" | tr 'A-Z' 'a-z')
    mkdir -p "$work/ports"
    "$BRISKO_SIMULATOR" --ports-dir "$work/ports" --port "$port" --out "$work/$port.bin" \
        --exit-after 1 --die-with-parent "$@" >"$work/sim-$port.log" 2>&1 &
    sim_pids+=($!)
    for _ in $(seq 100); do
        grep -q '^READY ' "$work/sim-$port.log" && break
        sleep 0.1
    done
    grep -q '^READY ' "$work/sim-$port.log" || fail "the simulator on $port did not start"
    ln -sfn "$work/ports/$port" "$WINEPREFIX/dosdevices/$lower"
    links+=("$WINEPREFIX/dosdevices/$lower")
}

image_of_size() {
    head -c "$1" /dev/urandom >"$work/rom_S.bin"
}

# The receiver on port $1 got the image byte for byte (the first block frame always carries
# 4080 bytes, so a shorter image is followed by padding there).
expect_received_image() {
    local port=$1
    grep -q '^VERDICT OK ' "$work/sim-$port.log" || fail "$port did not complete the dialogue"
    cmp -s -n "$(stat -c %s "$work/rom_S.bin")" "$work/rom_S.bin" "$work/$port.bin" ||
        fail "the receiver's copy on $port differs"
}

case "$case_name" in
help)
    # The version, and the help without the workers' own command line.
    [ "$(flash --version)" == "brisko-k71-flash 0.2" ] || fail "--version"
    flash --help >"$work/help.log" || fail "--help failed"
    grep -q '^Usage: brisko-k71-flash \[OPTIONS\] \[IMAGE\]$' "$work/help.log" || fail "no usage line"
    grep -q 'COM12, \\\\.\\COM12' "$work/help.log" || fail "the port help does not name COM12"
    if grep -q -- '--worker' "$work/help.log"; then fail "--help shows --worker"; fi
    status=0
    flash --no-such-option >/dev/null 2>&1 || status=$?
    [ "$status" == 2 ] || fail "an unknown option ends with $status, not 2"
    # Wine registers its COM1 in every new prefix; links made by hand it does not list.
    flash --list-ports --json >"$work/list.log" || fail "--list-ports failed"
    grep -qx '{"device":"COM1","by_id":\[\],"com":\["COM1"\]}' "$work/list.log" ||
        fail "--list-ports --json does not list COM1"
    ;;
upload)
    # The first block, a full one and a last one of a single byte; exit status 0. The image's
    # path has spaces: the worker gets it on its command line.
    image_of_size $((4080 * 2 + 1))
    mkdir "$work/my images"
    cp "$work/rom_S.bin" "$work/my images/rom S.bin"
    start_simulator COM3
    status=0
    flash -p COM3 'my images\rom S.bin' >"$work/flash.log" || status=$?
    [ "$status" == 0 ] || fail "exit status $status"
    grep -qx 'Communication established' "$work/flash.log" || fail "no \"Communication established\""
    [ "$(tail -n 1 "$work/flash.log")" == "Done." ] || fail "the last line is not \"Done.\""
    expect_received_image COM3
    ;;
two-ports)
    # Two receivers at once, one worker process each, COM3 by its name and COM4 as a device
    # name that the worker opens in its place; the JSON says what each did.
    image_of_size $((4080 * 3 + 100))
    start_simulator COM3
    start_simulator COM4
    status=0
    flash --json -p COM3 -p '\\.\COM4' rom_S.bin >"$work/flash.log" || status=$?
    [ "$status" == 0 ] || fail "exit status $status"
    [ "$(grep -c '"result":"done"' "$work/flash.log")" == 2 ] || fail "not two ports done"
    grep -q '"port":"COM3"' "$work/flash.log" || fail "no COM3 in the JSON"
    grep -q '"port":"\\\\\\\\.\\\\COM4"' "$work/flash.log" || fail "no \\\\.\\COM4 in the JSON"
    expect_received_image COM3
    expect_received_image COM4
    ;;
bad-port)
    # An unknown name and one device under two names are usage errors; a port with nothing
    # behind it is "Port Error." (status 4).
    image_of_size 100
    status=0
    flash -p /dev/ttyUSB0 rom_S.bin 2>"$work/err.log" || status=$?
    [ "$status" == 2 ] || fail "/dev/ttyUSB0 ends with $status, not 2"
    status=0
    flash -p COM3 -p '\\.\com3' rom_S.bin 2>"$work/err.log" || status=$?
    [ "$status" == 2 ] || fail "COM3 twice ends with $status, not 2"
    grep -q 'same device' "$work/err.log" || fail "no message about the same device"
    rm -f "$WINEPREFIX/dosdevices/com4"
    status=0
    flash -p COM4 rom_S.bin >"$work/flash.log" 2>"$work/err.log" || status=$?
    [ "$status" == 4 ] || fail "a missing COM4 ends with $status, not 4"
    ;;
interrupt)
    # SIGINT, which Wine hands to the flasher as Ctrl+C, in the block loop: the parent's stop
    # event stops its worker at the next frame boundary, so the receiver's last frame is whole
    # and answered, and the program ends with 130 naming the receiver left unfinished.
    image_of_size 300000
    start_simulator COM3 --pace
    (cd "$work" && exec "$BRISKO_WINE" "$BRISKO_FLASH" -p COM3 rom_S.bin) >"$work/flash.log" \
        2>"$work/err.log" &
    flash_pid=$!
    for _ in $(seq 600); do
        grep -q '^Block 3' "$work/flash.log" && break
        sleep 0.1
    done
    grep -q '^Block 3' "$work/flash.log" || fail "the block loop did not start"
    kill -INT "$flash_pid"
    timeout 60 tail --pid="$flash_pid" -f /dev/null || fail "the flasher did not end"
    status=0
    wait "$flash_pid" || status=$?
    [ "$status" == 130 ] || fail "exit status $status, not 130"
    grep -q 'interrupted; receivers left unfinished: COM3' "$work/err.log" ||
        fail "no receiver named as unfinished"
    for _ in $(seq 100); do
        [[ "$(tail -n 1 "$work/sim-COM3.log")" == "TX reply "* ]] && break
        sleep 0.1
    done
    [[ "$(tail -n 1 "$work/sim-COM3.log")" == "TX reply "* ]] ||
        fail "the receiver's last frame was not answered: a frame was cut"
    if grep -q '^VERDICT OK ' "$work/sim-COM3.log"; then fail "the upload went on to its end"; fi
    ;;
*)
    fail "unknown case"
    ;;
esac
echo "PASS ($case_name)"
