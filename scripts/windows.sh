#!/usr/bin/env bash
# Builds brisko-k71.exe and brisko-k71-flash.exe for 64-bit Windows (build-win64) and for 32-bit
# Windows (build-win32) with mingw-w64, with the Windows tests beside them.
# Usage: scripts/windows.sh        (make windows)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
# The window tests drive the program against the Linux simulator of the normal build.
simulator=${BRISKO_SIMULATOR:-$PWD/build/tools/brisko-k71-sim}

for target in x86_64:build-win64 i686:build-win32; do
    arch=${target%%:*}
    dir=${target#*:}
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBRISKO_SIMULATOR="$simulator" >/dev/null
    cmake --build "$dir" -j "$jobs"
done
for dir in build-win64 build-win32; do
    ls -l "$dir/app/win32/brisko-k71.exe" "$dir/cli/brisko-k71-flash.exe"
done
