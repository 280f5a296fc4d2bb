#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running need, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake make pkg-config
    qt6-base-dev libgl-dev libxcb1-dev fonts-dejavu-core
    libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
    clang libclang-rt-14-dev
    xvfb xauth imagemagick
    valgrind time
    fonts-dejavu-extra
    xdotool openbox
    dpkg-dev file help2man librsvg2-bin desktop-file-utils appstream lintian
    libcli11-dev nlohmann-json3-dev
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 libz-mingw-w64-dev googletest
    wine wine64 fonts-wine
)
[ "$#" -gt 0 ] && packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
elif command -v sudo >/dev/null; then
    sudo apt-get update
    sudo DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
else
    echo "Please install as root: apt-get install ${missing[*]}" >&2
    exit 1
fi
