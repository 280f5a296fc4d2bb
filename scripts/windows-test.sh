#!/usr/bin/env bash
# Builds both Windows executables and runs the Windows tests: the 64-bit ones under Wine in a
# private prefix made afresh for this run, the windows on a virtual X server against the
# simulator of the normal build (which must be built first); for the 32-bit build what it
# imports (running 32-bit programs needs the i386 half of Wine).
# Usage: scripts/windows-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}

if [ ! -x build/tools/brisko-k71-sim ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build -j "$jobs" --target brisko-k71-sim
fi
scripts/windows.sh

# A new prefix for each run, so that nothing of an earlier run is left in it.
wineserver_of_prefix() { WINEPREFIX=$PWD/build-win64/wine-prefix "$@"; }
wineserver_of_prefix wineserver -k 2>/dev/null || true
rm -rf build-win64/wine-prefix

status=0
ctest --test-dir build-win64 --output-on-failure || status=$?
ctest --test-dir build-win32 --output-on-failure -R 'windows\.(flash\.)?imports' || status=$?
wineserver_of_prefix wineserver -k 2>/dev/null || true
exit "$status"
