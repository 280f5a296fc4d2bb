#!/usr/bin/env bash
# Builds the Debian package build-package/brisko-k71_<version>_amd64.deb (make package): the
# programs with Debian's hardening flags, the manual pages and icons, then CPack. Checks the menu
# entry (desktop-file-validate) and the AppStream metadata with it (appstreamcli validate-tree)
# as the package installs them, and the package itself (lintian: any error or warning fails).
#
# Then the Windows zip (scripts/package-windows.sh), which stays off until the Windows programs
# are built.
#
# Usage: scripts/package.sh
# Installs nothing: make package runs scripts/install-deps.sh first.
set -euo pipefail
cd "$(dirname "$0")/.."
build="build-package"
jobs=$(nproc)

# Dates inside the package (changelog, manual pages, metadata) are the last commit's.
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || date +%s)}
export SOURCE_DATE_EPOCH

# The compiler and linker flags Debian builds its own packages with, all hardening on.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cxxflags="$(flags CXXFLAGS) $(flags CPPFLAGS)"
cflags="$(flags CFLAGS) $(flags CPPFLAGS)"
ldflags=$(flags LDFLAGS)

echo "== build ($build)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRISKO_PACKAGE=ON \
    -DBRISKO_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_C_FLAGS="$cflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j "$jobs"

echo "== package"
rm -f "$build"/*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/*.deb)
dpkg-deb --info "$deb" | sed -n '/^ [A-Z][A-Za-z-]*:/,$p'
dpkg-deb --contents "$deb" | awk '{ print "  " $1, $3, $6 }'

echo "== menu entry and metadata, as installed"
tree=$(ls -d "$build"/_CPack_Packages/Linux/DEB/*/)
desktop-file-validate "$tree"usr/share/applications/*.desktop
appstreamcli validate-tree --no-net --pedantic "$tree"

echo "== lintian"
lintian --fail-on error,warning --display-info "$deb"
echo "lintian: no errors, no warnings"
echo "package: $deb ($(stat -c %s "$deb") bytes)"

# The Windows zip beside it, once the Windows programs are built.
scripts/package-windows.sh
