#!/usr/bin/env bash
# The package as a user gets it: builds it (scripts/package.sh), installs it with apt-get, runs
# every installed program (the desktop program on a virtual X server), uploads with the installed
# flasher to the installed simulator, then purges the package and checks that none of its files
# and none of the directories it brought is left. Installing a package needs root: skipped
# otherwise, and skipped when brisko-k71 is installed already (the test would remove it).
#
# Usage: scripts/package-test.sh        (scripts/test.sh runs it after the normal tests)
set -euo pipefail
cd "$(dirname "$0")/.."
self=$PWD/scripts/package-test.sh
package=brisko-k71
caption='Brisko K71 0.2' # the main window's caption, fixed whatever the version

fail() {
    echo "package test: FAILED: $*" >&2
    exit 1
}

# The desktop program on the virtual X server that xvfb-run started, with a window manager to
# close it as a user does: it must show its main window and end with status 0 when closed.
desktop_session() {
    local home=$1 wm_pid program_pid window status=0
    openbox --startup "touch $(printf '%q' "$home/wm-ready")" >/dev/null 2>&1 &
    wm_pid=$!
    for _ in $(seq 100); do
        [ -e "$home/wm-ready" ] && break
        sleep 0.1
    done
    (cd "$home" && exec /usr/bin/brisko-k71) &
    program_pid=$!
    window=$(timeout 20 xdotool search --sync --onlyvisible --name "^${caption//./\\.}\$" |
        head -n 1) || true
    if [ -z "$window" ]; then
        echo "package test: the desktop program showed no window \"$caption\"" >&2
        status=1
    else
        echo "  brisko-k71: shows its window \"$(xdotool getwindowname "$window")\"," \
            "$(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p') pixels"
        xdotool windowactivate --sync "$window"
        xdotool key --clearmodifiers alt+F4 # the window manager asks the window to close
        for _ in $(seq 100); do
            kill -0 "$program_pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
    if kill -0 "$program_pid" 2>/dev/null; then
        [ -n "$window" ] &&
            echo "package test: the desktop program did not end when its window was closed" >&2
        kill "$program_pid"
        wait "$program_pid" 2>/dev/null || true
        status=1
    else
        wait "$program_pid" || {
            echo "package test: the desktop program ended with status $?" >&2
            status=1
        }
    fi
    kill "$wm_pid" 2>/dev/null || true
    wait "$wm_pid" 2>/dev/null || true
    return "$status"
}
if [ "${1:-}" = --desktop-session ]; then
    desktop_session "$2"
    exit
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "package test: skipped: it installs and removes the package, which needs root"
    exit 0
fi
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$'; then
    echo "package test: skipped: $package is installed on this machine, and the test would" \
        "remove it (apt-get purge $package, then run it again)"
    exit 0
fi

started=$(date +%s)
version=$(sed -n 's/^project(brisko-k71 VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"

echo "== package test: build $package $version"
log=$(mktemp)
work=$(mktemp -d)
installed=0
cleanup() {
    [ "$installed" = 1 ] && apt-get purge -y -qq "$package" >/dev/null 2>&1
    rm -rf "$log" "$work"
}
trap cleanup EXIT
scripts/package.sh >"$log" 2>&1 || {
    cat "$log" >&2
    fail "scripts/package.sh"
}
sed -n '/^== lintian/,$p' "$log"
deb=build-package/${package}_${version}_amd64.deb
[ -f "$deb" ] || fail "$deb is missing"

echo "== install"
dpkg-deb --contents "$deb" | awk '{ sub(/^\./, "", $6); sub(/\/$/, "", $6); print $6 }' |
    sort >"$work/contents"
# The package's directories that the system does not have yet: the purge must remove them.
while read -r path; do
    [ -n "$path" ] && [ ! -e "$path" ] && echo "$path"
done <"$work/contents" >"$work/new-paths"
installed=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "./$deb" \
    >"$log" 2>&1 || {
    cat "$log" >&2
    fail "apt-get install ./$deb"
}
[ "$(dpkg-query -W -f='${Version}' "$package")" = "$version" ] ||
    fail "installed version $(dpkg-query -W -f='${Version}' "$package"), not $version"
dpkg -L "$package" | sort >"$work/files"
comm -23 "$work/contents" "$work/files" | grep . && fail "dpkg -L misses the paths above"
for path in /usr/bin/brisko-k71 /usr/bin/brisko-k71-sim /usr/share/applications/brisko-k71.desktop \
    /usr/share/icons/hicolor/scalable/apps/brisko-k71.svg \
    /usr/share/icons/hicolor/48x48/apps/brisko-k71.png /usr/share/man/man1/brisko-k71.1.gz \
    /usr/share/man/man1/brisko-k71-sim.1.gz /usr/share/doc/brisko-k71/copyright; do
    [ -e "$path" ] || fail "$path is not installed"
done
metainfo=$(grep '^/usr/share/metainfo/.*\.metainfo\.xml$' "$work/files") ||
    fail "no AppStream metadata installed"
grep -q '<launchable type="desktop-id">brisko-k71.desktop</launchable>' "$metainfo" ||
    fail "$metainfo does not launch brisko-k71.desktop"
grep -q "<release version=\"$version\"" "$metainfo" || fail "$metainfo has no release $version"
echo "  $(grep -c . "$work/files") paths, $(stat -c %s "$deb") bytes"

echo "== run the installed programs"
programs=$(grep '^/usr/bin/' "$work/files" | xargs -n 1 basename)
for program in $programs; do
    [ "$program" = brisko-k71 ] && continue # no command line: started on the X server below
    [ "$(/usr/bin/"$program" --version | head -n 1)" = "$program $version" ] ||
        fail "$program --version says '$(/usr/bin/"$program" --version | head -n 1)'"
    /usr/bin/"$program" --help >"$work/help" || fail "$program --help ended with $?"
    grep -q "^Usage: $program " "$work/help" || fail "$program --help shows no usage line"
    [ -e "/usr/share/man/man1/$program.1.gz" ] || fail "$program has no manual page"
    echo "  $program: --version \"$program $version\", --help, manual page"
done
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 800x600x24" "$self" --desktop-session "$work/home" ||
    fail "the desktop program under Xvfb"

if grep -qx /usr/bin/brisko-k71-flash "$work/files"; then
    echo "== upload with the installed flasher to the installed simulator"
    ports=$work/home/.config/brisko-k71/ports
    mkdir -p "$ports"
    head -c 10000 /dev/urandom >"$work/image.bin"
    /usr/bin/brisko-k71-sim --ports-dir "$ports" --port COM3 --out "$work/received.bin" \
        --exit-after 1 --die-with-parent >"$work/sim.log" 2>&1 &
    sim_pid=$!
    for _ in $(seq 100); do
        grep -q '^READY ' "$work/sim.log" && break
        sleep 0.1
    done
    grep -q '^READY ' "$work/sim.log" || fail "the installed simulator did not start"
    # The flasher opens COM3 through the same ports directory as the desktop program.
    XDG_CONFIG_HOME=$work/home/.config timeout 60 /usr/bin/brisko-k71-flash --port COM3 \
        "$work/image.bin" >"$work/flash.log" 2>&1 || {
        status=$?
        cat "$work/flash.log" >&2
        fail "brisko-k71-flash ended with $status"
    }
    wait "$sim_pid" || fail "the simulator ended with $?: $(grep VERDICT "$work/sim.log")"
    grep -q '^VERDICT OK ' "$work/sim.log" || fail "the simulator's verdict: $(cat "$work/sim.log")"
    cmp "$work/image.bin" "$work/received.bin" || fail "the receiver's copy differs"
    echo "  brisko-k71-flash: 10000 bytes received byte for byte"
else
    echo "== no brisko-k71-flash in this package: no upload"
fi

echo "== purge"
apt-get purge -y -qq "$package" >"$log" 2>&1 || {
    cat "$log" >&2
    fail "apt-get purge $package"
}
installed=0
dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$' &&
    fail "$package is still installed"
left=0
while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then
        echo "package test: left after the purge: $path" >&2
        left=1
    fi
done < <(comm -12 "$work/files" <(sort "$work/new-paths"))
[ "$left" = 0 ] || fail "files of the package are left"
echo "  $(wc -l <"$work/new-paths") paths that the package brought are gone"
echo "package test: passed in $(($(date +%s) - started)) s"
