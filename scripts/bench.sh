#!/usr/bin/env bash
# Builds the benchmarks in build-bench and runs them against the simulated receiver; the figures
# and how to read them are in docs/performance.md.
#
# Usage: scripts/bench.sh [SECTION]...        (make bench runs them all)
#   paced        paced uploads of 4,081 bytes, 1 MB and 2,465,791 bytes (about 5 minutes)
#   paced-small  the same without the 2,465,791-byte one (about 90 seconds)
#   unpaced      an unpaced 2,465,791-byte upload: time, and a callgrind profile
#   wait         processor time while the receiver stays silent through the wake-up (22 s)
#   memory       peak resident memory of uploads of 0 bytes, 1 MB and 2,465,791 bytes
#   crc          BlockCrc32 beside zlib's crc32 (Google Benchmark)
#   flash        brisko-k71-flash: four paced receivers at once (300,000 bytes each), the same
#                with one of them silent, and an unpaced 2,465,791-byte upload beside the core's
#                (about a minute)
#   window       paced uploads through the desktop program beside the console driver, on one
#                line model: the console driver, the main window offscreen and on Xvfb
#                (brisko-bench-window), and the program itself on Xvfb, clicked by xdotool
#                (brisko-bench-tapped); WINDOW_REPEATS rounds (default 3) of WINDOW_SIZE bytes
#                (default 300000), the four interleaved; medians (about 6 minutes)
#   quick        everything but the paced 2,465,791-byte upload and the window section
#   all          everything (the default)
#
# Logs, the callgrind profile and a summary (summary.md) go to build-bench/bench-results/.
# Installs nothing: make bench runs scripts/install-deps.sh first.
set -euo pipefail
cd "$(dirname "$0")/.."
self=$PWD/scripts/bench.sh

# The program's user in the window section, with no window manager: presses "Upgrade Software"
# and accepts the open dialog's proposed rom_S.bin.
if [ "${1:-}" = --press ]; then
    window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Brisko K71 0\.2$' | head -n 1)
    # "Upgrade Software": 97 by 25 pixels at (2, 28) of the window's client area.
    xdotool mousemove --window "$window" 50 40 click 1
    dialog=$(timeout 20 xdotool search --sync --onlyvisible --name '^Load$' | head -n 1)
    xdotool windowfocus --sync "$dialog" # no window manager gives it the keyboard
    xdotool key --clearmodifiers Return  # "Open"
    exit 0
fi

build="build-bench"
results=$build/bench-results
full_size=2465791 # the largest image accepted
mb_size=1000000

unset wrap # a command that runs the upload driver, set for single runs below
sections=("$@")
[ "${#sections[@]}" -eq 0 ] && sections=(all)
selected() {
    local s
    for s in "${sections[@]}"; do
        case "$s" in
        all) return 0 ;;
        quick) [ "$1" != paced-full ] && [ "$1" != window ] && return 0 ;;
        paced) [[ "$1" == paced-* ]] && return 0 ;;
        "$1") return 0 ;;
        esac
    done
    return 1
}
for s in "${sections[@]}"; do
    case "$s" in
    all | quick | paced | paced-small | unpaced | wait | memory | crc | flash | window) ;;
    *)
        echo "bench: unknown section '$s' (see the head of $0)" >&2
        exit 2
        ;;
    esac
done

echo "== build ($build, Release)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBRISKO_BUILD_BENCH=ON \
    -DBRISKO_BUILD_APP=ON -DBRISKO_BUILD_TESTS=OFF >/dev/null
targets=(brisko-bench-upload brisko-bench-session brisko-bench-crc32 brisko-bench-flash brisko-k71-sim)
selected window && targets+=(brisko-k71 brisko-bench-window brisko-bench-tapped brisko-bench-line-tap)
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}" >/dev/null
session=$build/bench/brisko-bench-session
flash=$build/bench/brisko-bench-flash
upload=$build/bench/brisko-bench-upload

rm -rf "$results"
mkdir -p "$results"
summary=$results/summary.md

cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
{
    echo "Machine: $(nproc) cores, ${cpu_model:-unknown CPU}, Linux $(uname -r)," \
        "load average at start $(cut -d' ' -f1-3 /proc/loadavg)"
    echo
    echo "| Figure | Value | Goal | Met |"
    echo "|---|---|---|---|"
} >"$summary"
echo "== $(head -n 1 "$summary")"

# fig LOG NAME: a figure printed by brisko-bench-upload.
fig() {
    sed -n "s/^bench\.$2=//p" "$1" | tail -n 1
}
# calc EXPRESSION: floating-point arithmetic and comparisons (1 or 0).
calc() {
    awk "BEGIN { v = $1; if (v == int(v)) printf \"%d\", v; else printf \"%.4f\", v }"
}
# row FIGURE VALUE GOAL MET: one line of the summary, echoed.
row() {
    local met=yes
    [ "$4" = 1 ] || met="**no**"
    echo "| $1 | $2 | $3 | $met |" >>"$summary"
    printf '  %-52s %-16s goal %-14s met: %s\n' "$1" "$2" "$3" "${met//\*/}"
}
# upload NAME SIZE [SESSION OPTION]... [-- UPLOAD OPTION]...: one upload against the simulator,
# its output in $results/NAME.log. Fails the script when the receiver disagrees.
upload() {
    local name=$1 size=$2
    shift 2
    local session_options=() upload_options=()
    while [ "$#" -gt 0 ] && [ "$1" != -- ]; do
        session_options+=("$1")
        shift
    done
    [ "$#" -gt 0 ] && shift
    upload_options=("$@")
    local log=$results/$name.log wrap_words=()
    [ -n "${wrap:-}" ] && read -ra wrap_words <<<"$wrap" # one word each, no quoting in it
    if ! "$session" --size "$size" "${session_options[@]}" -- "${wrap_words[@]}" "$upload" \
        "${upload_options[@]}" >"$log" 2>&1; then
        echo "bench: the $name run failed; its log:" >&2
        grep -v '^Block ' "$log" | tail -n 30 >&2
        exit 1
    fi
}

if selected paced-small || selected paced-full; then
    echo "== paced uploads: wall time over the line time of the bytes both ways (goal <= 1.01)"
    paced_sizes=()
    selected paced-small && paced_sizes+=(4081 "$mb_size")
    selected paced-full && paced_sizes+=("$full_size")
    for size in "${paced_sizes[@]}"; do
        upload "paced-$size" "$size" --expect-ok --sim --pace
        log=$results/paced-$size.log
        ratio=$(fig "$log" line_ratio)
        echo "  $size bytes: wall $(fig "$log" wall_s) s, line $(fig "$log" line_s) s" \
            "($(fig "$log" tx_bytes) bytes out, $(fig "$log" rx_bytes) in)," \
            "processor $(fig "$log" cpu_s) s"
        row "Paced upload of $size bytes: wall / line time" "$(calc "$ratio")" "<= 1.01" \
            "$(calc "$ratio <= 1.01")"
    done
fi

if selected unpaced; then
    echo "== unpaced upload of $full_size bytes (goal: well under 1 s of processor time)"
    upload unpaced "$full_size" --expect-ok
    log=$results/unpaced.log
    cpu=$(fig "$log" cpu_s)
    echo "  wall $(fig "$log" wall_s) s, user $(fig "$log" cpu_user_s) s," \
        "system $(fig "$log" cpu_sys_s) s, $(fig "$log" read_calls) port reads"
    row "Unpaced upload of $full_size bytes: wall time" "$(calc "$(fig "$log" wall_s)") s" \
        "for the record" 1
    row "Unpaced upload of $full_size bytes: processor time" "$(calc "$cpu") s" "< 1 s" \
        "$(calc "$cpu < 1")"

    # The same under GNU time, for the whole process from its start (loading included).
    wrap="/usr/bin/time -f bench.time_whole=%e_s_wall,_%U_s_user,_%S_s_system,_%M_KiB_peak" \
        upload unpaced-time "$full_size" --expect-ok
    echo "  whole process (GNU time): $(sed -n 's/^bench\.time_whole=//p' \
        "$results/unpaced-time.log" | tr '_' ' ')"

    echo "  callgrind: instructions executed by the tool, whole process"
    wrap="valgrind --tool=callgrind --callgrind-out-file=$results/callgrind.out" \
        upload unpaced-callgrind "$full_size" --expect-ok
    callgrind_annotate --inclusive=no "$results/callgrind.out" >"$results/callgrind-exclusive.txt"
    callgrind_annotate --inclusive=yes "$results/callgrind.out" >"$results/callgrind-inclusive.txt"
    # "12,345 (1.23%)  file:function [object]" -> "12,345 (1.23%)  function"
    tidy() {
        sed -E -n 's/^( *[0-9,]+ \( *[0-9.]+%\))  (\?\?\?|[^ ]*\.[a-zA-Z]+):(.*)$/\1  \3/p' |
            sed -E 's/ \[[^]]*\]$//' | cut -c1-100 | sed 's/^/    /'
    }
    grep 'PROGRAM TOTALS' "$results/callgrind-exclusive.txt" | sed 's/^ */    /'
    echo "   inclusive:"
    grep -E ':(main|UploadImage\(UploadHost&\)|BlockCrc32\(.*\)|_dl_start|CSerial::(Read|Write)\(.*\)) \[' \
        "$results/callgrind-inclusive.txt" | tidy
    echo "   exclusive, top 12:"
    sed -n '/file:function/,$p' "$results/callgrind-exclusive.txt" | tidy | head -n 12
fi

if selected wait; then
    echo "== a silent receiver: processor share over the whole wake-up (goal <= 2% of one core)"
    upload wait 4081 --sim --silent -- --expect "Communication Error"
    log=$results/wait.log
    share=$(fig "$log" cpu_share)
    echo "  wall $(fig "$log" wall_s) s, processor $(fig "$log" cpu_s) s" \
        "(user $(fig "$log" cpu_user_s), system $(fig "$log" cpu_sys_s))," \
        "$(fig "$log" read_calls) port reads"
    row "Silent receiver, 11 wake-up reads: processor share" "$(calc "$share * 100")%" "<= 2%" \
        "$(calc "$share <= 0.02")"
fi

if selected memory; then
    echo "== peak resident memory (goal: under 1 MiB between the smallest and the largest image)"
    for size in 0 "$mb_size" "$full_size"; do
        upload "memory-$size" "$size" --expect-ok
        rss=$(fig "$results/memory-$size.log" max_rss_kib)
        echo "  $size bytes: $rss KiB"
        row "Peak resident memory, upload of $size bytes" "$rss KiB" "(below)" 1
    done
    small=$(fig "$results/memory-0.log" max_rss_kib)
    large=$(fig "$results/memory-$full_size.log" max_rss_kib)
    row "Peak resident memory, $full_size bytes minus 0 bytes" "$((large - small)) KiB" \
        "< 1024 KiB" "$(calc "$large - $small < 1024")"
fi

if selected crc; then
    echo "== CRC-32 throughput"
    "$build/bench/brisko-bench-crc32" --benchmark_out="$results/crc32.json" --benchmark_out_format=json |
        tee "$results/crc32.txt"
    awk '/^BM_(BlockCrc32|ZlibCrc32)\// {
            for (i = 1; i <= NF; i++) if ($i ~ /\/s$/) { rate = $i; sub(/.*=/, "", rate) }
            printf "| %s throughput (M, G: 2^20, 2^30 bytes) | %s | for the record | yes |\n", $1, rate
        }' "$results/crc32.txt" >>"$summary"
fi

if selected flash; then
    flash_size=300000
    echo "== brisko-k71-flash: four receivers paced at 115200 baud at once, $flash_size bytes each"
    log=$results/flash-paced.log
    if ! "$flash" --ports 4 --size "$flash_size" --pace >"$log" 2>&1; then
        echo "bench: the four-port flash run failed; its log:" >&2
        tail -n 30 "$log" >&2
        exit 1
    fi
    for n in 1 2 3 4; do
        echo "  COM$n: wall $(fig "$log" "port.COM$n.wall_s") s," \
            "line $(fig "$log" "port.COM$n.line_s") s, ratio $(fig "$log" "port.COM$n.line_ratio")"
    done
    worst=$(fig "$log" worst_line_ratio)
    echo "  whole run $(fig "$log" run_wall_s) s, processor $(fig "$log" cpu_s) s" \
        "(user $(fig "$log" cpu_user_s), system $(fig "$log" cpu_sys_s))"
    row "Flasher, 4 paced ports of $flash_size bytes: worst wall / line time" "$(calc "$worst")" \
        "<= 1.01" "$(calc "$worst <= 1.01")"
    row "Flasher, 4 paced ports of $flash_size bytes: processor time, whole run" \
        "$(calc "$(fig "$log" cpu_s)") s" "for the record" 1

    echo "== brisko-k71-flash: the same with COM2 silent (the others must not be slowed)"
    log=$results/flash-silent.log
    if ! "$flash" --ports 4 --size "$flash_size" --pace --silent COM2 >"$log" 2>&1; then
        echo "bench: the run with a silent receiver failed; its log:" >&2
        tail -n 30 "$log" >&2
        exit 1
    fi
    worst=$(fig "$log" worst_line_ratio)
    echo "  COM2: $(fig "$log" port.COM2.result) after $(fig "$log" port.COM2.seconds) s;" \
        "the others' worst ratio $worst; processor $(fig "$log" cpu_s) s"
    row "Flasher, 4 paced ports, COM2 silent: worst wall / line time of the others" \
        "$(calc "$worst")" "<= 1.01" "$(calc "$worst <= 1.01")"

    echo "== brisko-k71-flash beside the core: one unpaced upload of $full_size bytes"
    log=$results/flash-unpaced.log
    if ! "$flash" --ports 1 --size "$full_size" >"$log" 2>&1; then
        echo "bench: the unpaced flash run failed; its log:" >&2
        tail -n 30 "$log" >&2
        exit 1
    fi
    upload flash-core "$full_size" --expect-ok
    core=$results/flash-core.log
    echo "  flasher: port $(fig "$log" port.COM1.wall_s) s, whole run $(fig "$log" run_wall_s) s," \
        "processor $(fig "$log" cpu_s) s"
    echo "  core:    upload $(fig "$core" wall_s) s, processor $(fig "$core" cpu_s) s"
    row "Flasher, unpaced $full_size bytes: port time (core: $(calc "$(fig "$core" wall_s)") s)" \
        "$(calc "$(fig "$log" port.COM1.wall_s)") s" "for the record" 1
    row "Flasher, unpaced $full_size bytes: processor time, whole run (core: $(calc "$(fig "$core" cpu_s)") s)" \
        "$(calc "$(fig "$log" cpu_s)") s" "< 1 s" "$(calc "$(fig "$log" cpu_s) < 1")"
fi

if selected window; then
    window_size=${WINDOW_SIZE:-300000}
    repeats=${WINDOW_REPEATS:-3}
    xvfb=(xvfb-run -a -s "-screen 0 800x500x24")
    kinds=(console offscreen xvfb program)
    declare -A title=([console]="console driver (brisko-bench-upload)"
        [offscreen]="main window, offscreen (brisko-bench-window)"
        [xvfb]="main window, Xvfb (brisko-bench-window)"
        [program]="brisko-k71 itself, Xvfb, xdotool (brisko-bench-tapped)")
    echo "== paced uploads of $window_size bytes through the desktop program beside the console" \
        "driver, $repeats rounds, medians (goal: the program within 0.001 of the console)"
    paced=(--size "$window_size" --expect-ok --sim --pace --)
    for round in $(seq "$repeats"); do
        for kind in "${kinds[@]}"; do
            log=$results/window-$kind-$round.log
            case $kind in
            console) command=("$session" "${paced[@]}" "$upload") ;;
            offscreen)
                command=(env QT_QPA_PLATFORM=offscreen "$session" "${paced[@]}"
                    "$build/bench/brisko-bench-window")
                ;;
            xvfb)
                command=(env QT_QPA_PLATFORM=xcb "${xvfb[@]}" "$session" "${paced[@]}"
                    "$build/bench/brisko-bench-window")
                ;;
            program)
                command=(env QT_QPA_PLATFORM=xcb "${xvfb[@]}" "$session" "${paced[@]}"
                    "$build/bench/brisko-bench-tapped" --tap "$build/bench/brisko-bench-line-tap.so"
                    "$build/app/qt/brisko-k71" -- "$self" --press)
                ;;
            esac
            if ! "${command[@]}" >"$log" 2>&1; then
                echo "bench: the $kind run failed; its log:" >&2
                grep -v '^Block ' "$log" | tail -n 30 >&2
                exit 1
            fi
            echo "  round $round, $kind: ratio $(calc "$(fig "$log" line_ratio)")," \
                "turnaround median $(calc "$(fig "$log" turnaround_median_ms)") ms"
        done
    done
    # median KIND FIGURE: the median over the rounds.
    median() {
        local round
        for round in $(seq "$repeats"); do
            fig "$results/window-$1-$round.log" "$2"
        done | sort -g | awk '{ v[NR] = $1 } END {
            m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.6f", m }'
    }
    for kind in "${kinds[@]}"; do
        ratio=$(median "$kind" line_ratio)
        echo "  ${title[$kind]}: ratio $(calc "$ratio"), turnaround" \
            "$(calc "$(median "$kind" turnaround_median_ms)") ms"
        row "Paced $window_size bytes, ${title[$kind]}: wall / line time" "$(calc "$ratio")" \
            "for the record" 1
        row "Paced $window_size bytes, ${title[$kind]}: host turnaround a block (median)" \
            "$(calc "$(median "$kind" turnaround_median_ms)") ms" "for the record" 1
        if [ "$kind" != console ]; then
            # Each round's console run is its neighbour in time: the median of the differences
            # round by round leaves out more of the machine's load than the difference of medians.
            gap=$(for round in $(seq "$repeats"); do
                kind_ratio=$(fig "$results/window-$kind-$round.log" line_ratio)
                console_round=$(fig "$results/window-console-$round.log" line_ratio)
                calc "$kind_ratio - $console_round"
                echo
            done | sort -g | awk 'NF { v[++n] = $1 } END {
                m = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2; printf "%.4f", m }')
            row "Paced $window_size bytes, ${title[$kind]} minus console: ratio (median of the rounds' differences)" \
                "$gap" "<= 0.001" "$(calc "$gap <= 0.001")"
            echo "  ${title[$kind]} minus console: ratio $gap (round by round, median)"
        fi
    done
fi

echo "== summary ($summary)"
cat "$summary"
