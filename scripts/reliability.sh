#!/usr/bin/env bash
# Runs every device fault against the simulated receiver with the protocol's real time limits
# and writes the table of outcomes and times into docs/reliability.md (between its markers).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target device_faults_test >/dev/null

times=$(mktemp)
trap 'rm -f "$times"' EXIT
BRISKO_FAULT_TIMES="$times" "$build/tests/device_faults_test" --gtest_brief=1

table=$(mktemp)
{
    echo "| Fault (simulator option) | Last log line (or error box) | Time to that line (s) |"
    echo "|---|---|---|"
    awk -F'\t' '{ printf "| `%s` | \"%s\" | %.2f |\n", $1, $2, $3 }' "$times"
    # A known limit that no test can time: it lasts minutes per block.
    echo "| a peer that stops reading (a pseudo-terminal or network bridge; never a plain UART) | the step's message, once the write's time-out has run out | up to 0.2 per byte of the block frame written, then 2 for the read |"
} >"$table"

doc=docs/reliability.md
awk -v table="$table" '
    /<!-- fault-table:begin -->/ { print; while ((getline line < table) > 0) print line; skip = 1; next }
    /<!-- fault-table:end -->/ { skip = 0 }
    !skip { print }
' "$doc" >"$doc.new"
mv "$doc.new" "$doc"
rm -f "$table"
echo "updated $doc"
