#!/usr/bin/env bash
# The program at work with no hardware: brisko-k71-sim plays the receiver on a pseudo-terminal
# linked as COM3 in a private ports directory, a sample image waits in the working directory as
# rom_S.bin, and the program starts with that mapping. Press "Upgrade Software", then "Open".
#
# Usage: scripts/demo.sh [BUILD_DIR]        (make demo)
#
# DEMO_DRIVER, when set, is a shell command that runs while the program is up, in place of a
# person (scripts/screenshot.sh is one). It gets DEMO_DIR, DEMO_SIM_LOG and DEMO_PROGRAM_PID in
# its environment, and the program is ended when it returns. DEMO_SIM_OPTIONS adds options to the
# simulator's command line (see brisko-k71-sim --help), such as --silent.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
program=$build/app/qt/brisko-k71
simulator=$build/tools/brisko-k71-sim
for executable in "$program" "$simulator"; do
    if [ ! -x "$executable" ]; then
        echo "demo: $executable is missing; build first (make build)" >&2
        exit 1
    fi
done

demo_dir=$PWD/demo-run
config_dir=$demo_dir/config # XDG_CONFIG_HOME of the program: only the demo's port mapping
ports_dir=$config_dir/brisko-k71/ports
sim_log=$demo_dir/simulator.log
image=$demo_dir/rom_S.bin
received=$demo_dir/received.bin
image_size=102400 # bytes: the first block and 25 more, so 25 progress lines

rm -rf "$demo_dir"
mkdir -p "$ports_dir"
head -c "$image_size" /dev/urandom >"$image"

read -r -a sim_options <<<"${DEMO_SIM_OPTIONS:-}"
# --pace times the line like a real 115200 baud cable, so the blocks come at a visible speed.
"$simulator" --ports-dir "$ports_dir" --port COM3 --out "$received" --pace \
    "${sim_options[@]}" >"$sim_log" 2>&1 &
sim_pid=$!
stop_simulator() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
}
trap stop_simulator EXIT

# The simulator says READY once its link exists.
for _ in $(seq 100); do
    grep -q '^READY ' "$sim_log" && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q '^READY ' "$sim_log"; then
    echo "demo: the simulated receiver did not start:" >&2
    cat "$sim_log" >&2
    exit 1
fi
echo "Simulated receiver on COM3: $(grep '^READY ' "$sim_log" | cut -d' ' -f2-)"
echo "Press \"Upgrade Software\", then \"Open\" for rom_S.bin (${image_size} bytes). Close the"
echo "window to end the demo."

(cd "$demo_dir" && XDG_CONFIG_HOME=$config_dir exec "$program") &
program_pid=$!
driver_status=0
if [ -n "${DEMO_DRIVER:-}" ]; then
    DEMO_DIR=$demo_dir DEMO_SIM_LOG=$sim_log DEMO_PROGRAM_PID=$program_pid \
        bash -c "$DEMO_DRIVER" || driver_status=$?
    kill "$program_pid" 2>/dev/null || true
fi
wait "$program_pid" 2>/dev/null || true
stop_simulator
trap - EXIT

echo "The receiver's account:"
grep -E '^(VERDICT|VIOLATION|HANGUP)' "$sim_log" || echo "  (no dialogue)"
if [ -f "$received" ]; then
    if cmp -s "$image" "$received"; then
        echo "The receiver holds the image, byte for byte."
    else
        echo "The receiver's copy differs from the image." >&2
    fi
fi
exit "$driver_status"
