#!/usr/bin/env bash
# Builds and runs every test: the normal build, the Debian package installed and removed (as
# root), the Windows builds with their tests under Wine, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== the Debian package: build, install, run, purge"
scripts/package-test.sh

echo "== the Windows program: both builds, and its tests under Wine"
scripts/windows-test.sh
scripts/package-windows.sh

echo "== the same tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DBRISKO_SANITIZE=ON
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=abort_on_error=1:detect_leaks=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== fuzzing the upload for ${fuzz_seconds} s"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
    -DCMAKE_CXX_COMPILER=clang++ -DBRISKO_BUILD_FUZZ=ON -DBRISKO_BUILD_APP=OFF \
    -DBRISKO_BUILD_TESTS=OFF
cmake --build build-fuzz -j "$jobs" --target upload_fuzz
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
status=0
build-fuzz/fuzz/upload_fuzz -max_total_time="$fuzz_seconds" -timeout=10 -print_final_stats=1 \
    -dict=fuzz/upload.dict "$corpus" fuzz/corpus >build-fuzz/fuzz.log 2>&1 || status=$?
grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' build-fuzz/fuzz.log || true
if [ "$status" -ne 0 ]; then
    tail -n 40 build-fuzz/fuzz.log >&2
    echo "fuzzing found a fault (exit $status); the log is build-fuzz/fuzz.log" >&2
    exit 1
fi
echo "fuzz: passed"
