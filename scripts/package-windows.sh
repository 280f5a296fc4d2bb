#!/usr/bin/env bash
# Builds build-package/brisko-k71-<version>-windows.zip from the Windows builds: the 64-bit and
# 32-bit programs (brisko-k71.exe, brisko-k71-flash.exe), README.txt and LICENSE.txt, then checks
# its list of contents, the kind of each program and that each needs no DLL beyond Windows' own.
#
# Off until the Windows programs are built: WIN64_BUILD and WIN32_BUILD (default build-win64,
# build-win32) are their build directories; while a program is missing from either it says so
# and does nothing.
# scripts/package.sh runs it after the Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
out="build-package"
builds=("${WIN64_BUILD:-build-win64}" "${WIN32_BUILD:-build-win32}")
arches=(win64 win32)
programs=(brisko-k71 brisko-k71-flash)

for build in "${builds[@]}"; do
    for program in "${programs[@]}"; do
        if [ -z "$(find "$build" -name "$program.exe" -type f 2>/dev/null | head -n 1)" ]; then
            echo "Windows zip: skipped: no $program.exe in $build yet"
            exit 0
        fi
    done
done

fail() {
    echo "Windows zip: FAILED: $*" >&2
    exit 1
}

version=$(sed -n 's/^project(brisko-k71 VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
name=brisko-k71-$version-windows
zip=$PWD/$out/$name.zip
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out" "$stage/$name"

# Texts with Windows line ends, for Notepad.
crlf() { sed 's/\r*$/\r/'; }
sed "s/@PROJECT_VERSION@/$version/g" packaging/windows/README.txt.in | crlf >"$stage/$name/README.txt"
crlf <packaging/copyright >"$stage/$name/LICENSE.txt"

for i in "${!arches[@]}"; do
    mkdir -p "$stage/$name/${arches[$i]}"
    for program in "${programs[@]}"; do
        exe=$(find "${builds[$i]}" -name "$program.exe" -type f | head -n 1)
        [ -n "$exe" ] || fail "no $program.exe in ${builds[$i]}"
        cp "$exe" "$stage/$name/${arches[$i]}/"
    done
done

rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$zip" --format=zip "$name")

echo "== Windows zip: $zip ($(stat -c %s "$zip") bytes)"
(cd "$stage" && find "$name" -type f | sort) >"$stage/expected"
cmake -E tar tf "$zip" | grep -v '/$' | sort >"$stage/listed"
sed 's/^/  /' "$stage/listed"
diff "$stage/expected" "$stage/listed" || fail "the zip does not list what was put in"
for wanted in README.txt LICENSE.txt win64/brisko-k71.exe win64/brisko-k71-flash.exe \
    win32/brisko-k71.exe win32/brisko-k71-flash.exe; do
    grep -qx "$name/$wanted" "$stage/listed" || fail "$wanted is missing"
done

# The kind of each program: 64 or 32 bits, window or console.
kind() {
    case "$1" in
    win64/brisko-k71.exe) echo 'PE32+ executable (GUI) x86-64' ;;
    win64/brisko-k71-flash.exe) echo 'PE32+ executable (console) x86-64' ;;
    win32/brisko-k71.exe) echo 'PE32 executable (GUI) Intel 80386' ;;
    win32/brisko-k71-flash.exe) echo 'PE32 executable (console) Intel 80386' ;;
    esac
}
system_dlls='^(kernel32|user32|gdi32|comdlg32|comctl32|advapi32|shell32|ole32|oleaut32|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
for exe in win64/brisko-k71.exe win64/brisko-k71-flash.exe win32/brisko-k71.exe \
    win32/brisko-k71-flash.exe; do
    file -b "$stage/$name/$exe" | grep -qF "$(kind "$exe")" ||
        fail "$exe is '$(file -b "$stage/$name/$exe")', not '$(kind "$exe")'"
    # Every DLL it imports must come with Windows: the zip holds no others.
    objdump -p "$stage/$name/$exe" | sed -n 's/^\tDLL Name: //p' | tr '[:upper:]' '[:lower:]' |
        grep -Ev "$system_dlls" && fail "$exe needs the DLLs above, which Windows lacks"
    echo "  $exe: $(kind "$exe"), Windows' own DLLs only"
done
