#!/usr/bin/env bash
# Fails unless every DLL that the executables import is one that every Windows system has.
# Usage: check_imports.sh OBJDUMP EXE...
set -euo pipefail
objdump=$1
shift
allowed=(advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll shell32.dll
    user32.dll)
status=0
for exe in "$@"; do
    mapfile -t dlls < <("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
    if [ "${#dlls[@]}" -eq 0 ]; then
        echo "$exe: no imports found" >&2
        status=1
    fi
    for dll in "${dlls[@]}"; do
        if [[ " ${allowed[*]} " != *" $dll "* ]]; then
            echo "$exe imports $dll, which is not part of the system" >&2
            status=1
        fi
    done
    echo "$(basename "$exe"): ${dlls[*]}"
done
exit "$status"
