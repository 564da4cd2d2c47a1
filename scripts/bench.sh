#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/), runs each group several times and writes
# bench/RESULTS.md: the machine, the date, every figure as the median of the runs with its min and
# max, and every ratio against its baseline taken in the same run.
#   scripts/bench.sh                     every group
#   scripts/bench.sh --runs 3            runs per group (default 5)
#   scripts/bench.sh --only pos          only the named groups (comma-separated)
#   scripts/bench.sh --out FILE          write the results elsewhere
#
# A group NAME is four functions: NAME_title (its heading), NAME_targets (the build targets it
# needs), NAME_run (writes raw figures to $WORK/NAME.raw) and NAME_report (prints its markdown and
# appends one line per check to $WORK/checks.md). Add it to BENCH_GROUPS in report order.
source "$(dirname "$0")/common.sh"

BUILD_DIR="$ROOT/build-bench"
OUT="$ROOT/bench/RESULTS.md"
RUNS=5
ONLY=""
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) RUNS="$2"; shift 2 ;;
        --only) ONLY="$2"; shift 2 ;;
        --out) OUT="$2"; shift 2 ;;
        *) log "unknown argument: $1"; exit 2 ;;
    esac
done
if ! [[ "$RUNS" =~ ^[1-9][0-9]*$ ]]; then
    log "--runs needs a positive number, not '$RUNS'"
    exit 2
fi

BENCH_GROUPS=(pos repository)

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

# ---------------------------------------------------------------------------------------------
# Statistics and formatting

# Reads numbers, one a line; prints "median min max" (nothing for no input).
stats() {
    sort -g | awk '{ v[NR] = $1 } END {
        if (NR == 0) exit
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.6g %.6g %.6g\n", m, v[1], v[NR] }'
}

# fmt DIGITS "median min max" -> "median (min–max)", or "median" when all runs agree.
fmt() {
    local digits="$1" line="$2"
    [ -n "$line" ] || { printf 'n/a'; return; }
    awk -v d="$digits" -v s="$line" 'BEGIN {
        split(s, a, " ")
        f = "%." d "f"
        med = sprintf(f, a[1]); lo = sprintf(f, a[2]); hi = sprintf(f, a[3])
        if (lo == hi) printf "%s", med; else printf "%s (%s–%s)", med, lo, hi }'
}

# field KEY: the value of KEY=... on each input line.
field() {
    awk -v k="$1" '{ for (i = 1; i <= NF; i++) { n = index($i, "="); if (substr($i, 1, n - 1) == k) print substr($i, n + 1) } }'
}

check() {
    printf -- '- %s\n' "$*" >>"$WORK/checks.md"
}

# ---------------------------------------------------------------------------------------------
# Group 3: POS delivery

POS_SECONDS=3
POS_RATES=(1000 10000 50000)

pos_title() { printf '3. POS delivery'; }
pos_targets() { printf 'bench_pos\n'; }

pos_run() {
    local run rates
    rates="$(IFS=,; printf '%s' "${POS_RATES[*]}")"
    for run in $(seq 1 "$RUNS"); do
        log "POS delivery, run $run of $RUNS"
        "$BUILD_DIR/bench/bench_pos" --seconds "$POS_SECONDS" --rates "$rates" | sed "s/^/run=$run /" >>"$WORK/pos.raw"
    done
}

# pos_values RECEIVER RATE KEY: the KEY of every run.
pos_values() {
    grep " receiver=$1 rate=$2 " "$WORK/pos.raw" | field "$3"
}

# Per run: KEY of PosReceiver divided by KEY of the plain loop.
pos_ratio() {
    local rate="$1" key="$2"
    awk -v rate="$rate" -v key="$key" '
        function get(k,   i, n) { for (i = 1; i <= NF; i++) { n = index($i, "="); if (substr($i, 1, n - 1) == k) return substr($i, n + 1) } }
        $0 ~ " rate=" rate " " { r = get("run"); if (get("receiver") == "plain") p[r] = get(key); else q[r] = get(key) }
        END { for (r in q) if ((r in p) && p[r] > 0) print q[r] / p[r] }' "$WORK/pos.raw"
}

pos_report() {
    local rate receiver lost_max ratio99
    printf 'A publisher thread in the same process sends two-frame messages (channel, then a receipt text\n'
    printf 'whose first line holds a sequence number and the steady-clock send time) over loopback TCP,\n'
    printf 'paced to the rate, %s s per rate. `PosReceiver` subscribes the channel on a Qt event loop and the\n' "$POS_SECONDS"
    printf 'latency is taken in a handler of `posReceived`; the baseline is a plain cppzmq SUB socket read\n'
    printf 'with `zmq::poll` and non-blocking receives. Both keep the default receive high-water mark; the\n'
    printf 'publisher queues without limit, so any loss is the receiving side'"'"'s. Each gets a fresh publisher\n'
    printf 'and socket, synchronised by probe messages before counting. *Late* is the 99th percentile of how\n'
    printf 'far behind its schedule the publisher sent. %s runs.\n\n' "$RUNS"
    printf '| Rate (msg/s) | Receiver | Sent | Delivered | Lost | p50 (µs) | p99 (µs) | max (µs) | Receiver CPU (µs/msg) | Late p99 (µs) |\n'
    printf '|---|---|---|---|---|---|---|---|---|---|\n'
    for rate in "${POS_RATES[@]}"; do
        for receiver in plain posreceiver; do
            local name="plain SUB loop"
            [ "$receiver" = posreceiver ] && name="PosReceiver"
            printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' "$rate" "$name" \
                "$(fmt 0 "$(pos_values $receiver "$rate" sent | stats)")" \
                "$(fmt 0 "$(pos_values $receiver "$rate" delivered | stats)")" \
                "$(fmt 0 "$(pos_values $receiver "$rate" lost | stats)")" \
                "$(fmt 0 "$(pos_values $receiver "$rate" p50_us | stats)")" \
                "$(fmt 0 "$(pos_values $receiver "$rate" p99_us | stats)")" \
                "$(fmt 0 "$(pos_values $receiver "$rate" max_us | stats)")" \
                "$(fmt 2 "$(pos_values $receiver "$rate" cpu_us_per_msg | stats)")" \
                "$(fmt 0 "$(pos_values $receiver "$rate" pace_p99_us | stats)")"
        done
    done
    printf '\nRatios of PosReceiver to the plain loop, per run:\n\n'
    printf '| Rate (msg/s) | p50 ratio | p99 ratio | CPU per message ratio |\n|---|---|---|---|\n'
    for rate in "${POS_RATES[@]}"; do
        printf '| %s | %s | %s | %s |\n' "$rate" "$(fmt 2 "$(pos_ratio "$rate" p50_us | stats)")" \
            "$(fmt 2 "$(pos_ratio "$rate" p99_us | stats)")" "$(fmt 2 "$(pos_ratio "$rate" cpu_us_per_msg | stats)")"
    done
    for rate in "${POS_RATES[@]}"; do
        lost_max="$(pos_values posreceiver "$rate" lost | stats | awk '{ print $3 }')"
        ratio99="$(pos_ratio "$rate" p99_us | stats | awk '{ print $1 }')"
        if [ "${lost_max:-1}" = 0 ]; then
            check "POS at $rate msg/s: no loss through PosReceiver in any run."
        else
            check "POS at $rate msg/s: PosReceiver lost up to $lost_max messages in a run (goal: none)."
        fi
        if awk -v r="${ratio99:-99}" 'BEGIN { exit !(r <= 2) }'; then
            check "POS at $rate msg/s: p99 latency $(printf '%.2f' "$ratio99")× the plain loop's (goal: at most 2×)."
        else
            check "POS at $rate msg/s: p99 latency $(printf '%.2f' "${ratio99:-0}")× the plain loop's, above the goal of 2×."
        fi
    done
}

# ---------------------------------------------------------------------------------------------
# Group 4: Large sites

repository_title() { printf '4. Large sites'; }
repository_targets() { printf 'bench_repository\n'; }

repository_run() {
    log "large sites, $RUNS repetitions"
    "$BUILD_DIR/bench/bench_repository" --benchmark_repetitions="$RUNS" --benchmark_color=false \
        --raw="$WORK/repository.raw" >&2
    # Instruction counts separate the algorithm from the memory hierarchy; they hardly vary, so
    # one run each. Dump 1 of the output is the first load, dump 2 the rebuild.
    if ! command -v valgrind >/dev/null; then
        log "valgrind is missing: no instruction counts"
        return 0
    fi
    local n out
    for n in 1000 10000 100000; do
        log "large sites, instruction count of $n objects (callgrind)"
        out="$WORK/callgrind.$n"
        if valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out" \
            "$BUILD_DIR/bench/bench_repository" --count="$n" >/dev/null 2>"$out.log" &&
            [ -f "$out.1" ] && [ -f "$out.2" ]; then
            printf 'count n=%s load=%s rebuild=%s\n' "$n" "$(awk '/^totals:/ { print $2 }' "$out.1")" \
                "$(awk '/^totals:/ { print $2 }' "$out.2")" >>"$WORK/repository.counts"
        else
            log "callgrind count of $n objects failed:"
            tail -5 "$out.log" >&2
        fi
    done
}

# repository_count N KEY: instructions of one phase.
repository_count() {
    grep "^count n=$1 " "$WORK/repository.counts" 2>/dev/null | field "$2"
}

# repository_values NAME ARG KEY: KEY of every repetition of one benchmark.
repository_values() {
    grep "^bm name=$1 arg=$2 " "$WORK/repository.raw" | field "$3"
}

# Per repetition: KEY / DIVISOR.
repository_scaled() {
    repository_values "$1" "$2" "$3" | awk -v d="$4" '{ print $1 / d }'
}

# Per repetition: log10(time at 100k / time at 10k).
repository_exponent() {
    local name="$1" key="$2"
    paste <(repository_values "$name" 10000 "$key") <(repository_values "$name" 100000 "$key") |
        awk '$1 > 0 && $2 > 0 { print log($2 / $1) / log(10) }'
}

repository_report() {
    local n name errors
    errors="$(grep -c ' error=1' "$WORK/repository.raw" || true)"
    printf 'Google Benchmark, %s repetitions, in one process. A synthetic site: root location, locations\n' "$RUNS"
    printf '(one per 2,000 objects, at least 2), one stream gateway holding min(5,000, n/2) streams, then\n'
    printf 'cameras (device, stream, motion sensor) and door controllers (device, door sensor, door actuator).\n'
    printf 'Times are the thread'"'"'s CPU time; wall time beside it. *Rebuild* is `VantorClient::updateRepository`\n'
    printf 'on a full repository (the re-fetch after a change of object data: clear, then build); *load* is the\n'
    printf 'first fetch into an empty repository; *clear* only releases the records. Heap per record is the\n'
    printf 'growth of malloc'"'"'s bytes in use (all arenas) over the first load; the library'"'"'s object list that\n'
    printf 'is the input takes the figure in the last column.\n\n'
    printf '| Figure | Objects | CPU time (ms) | Wall time (ms) | CPU per object (µs) | Heap per record (B) | Input list per object (B) |\n'
    printf '|---|---|---|---|---|---|---|\n'
    for n in 1000 10000 100000; do
        printf '| rebuild | %s | %s | %s | %s | %s | %s |\n' "$n" \
            "$(fmt 2 "$(repository_scaled BM_Rebuild $n cpu_ns 1e6 | stats)")" \
            "$(fmt 2 "$(repository_scaled BM_Rebuild $n real_ns 1e6 | stats)")" \
            "$(fmt 2 "$(repository_scaled BM_Rebuild $n cpu_ns $((n * 1000)) | stats)")" \
            "$(fmt 0 "$(repository_values BM_Rebuild $n heap_B_per_object | stats)")" \
            "$(fmt 0 "$(repository_values BM_Rebuild $n list_B_per_object | stats)")"
    done
    for name in load clear; do
        local bm=BM_Load
        [ "$name" = clear ] && bm=BM_Clear
        for n in 1000 10000 100000; do
            printf '| %s | %s | %s | %s | %s | | |\n' "$name" "$n" \
                "$(fmt 2 "$(repository_scaled $bm $n cpu_ns 1e6 | stats)")" \
                "$(fmt 2 "$(repository_scaled $bm $n real_ns 1e6 | stats)")" \
                "$(fmt 2 "$(repository_scaled $bm $n cpu_ns $((n * 1000)) | stats)")"
        done
    done
    printf '\n| Scaling exponent, 10k to 100k objects: log(t100k / t10k) / log(10), per repetition | CPU time | Wall time |\n|---|---|---|\n'
    printf '| rebuild | %s | %s |\n' "$(fmt 2 "$(repository_exponent BM_Rebuild cpu_ns | stats)")" \
        "$(fmt 2 "$(repository_exponent BM_Rebuild real_ns | stats)")"
    printf '| load | %s | %s |\n' "$(fmt 2 "$(repository_exponent BM_Load cpu_ns | stats)")" \
        "$(fmt 2 "$(repository_exponent BM_Load real_ns | stats)")"
    printf '| clear | %s | %s |\n' "$(fmt 2 "$(repository_exponent BM_Clear cpu_ns | stats)")" \
        "$(fmt 2 "$(repository_exponent BM_Clear real_ns | stats)")"

    if [ -s "$WORK/repository.counts" ]; then
        printf '\nInstructions executed (valgrind callgrind, one run, only the update itself):\n\n'
        printf '| Objects | Load: instructions per object | Rebuild: instructions per object |\n|---|---|---|\n'
        for n in 1000 10000 100000; do
            printf '| %s | %s | %s |\n' "$n" \
                "$(repository_count $n load | awk -v n=$n '{ printf "%.0f", $1 / n }')" \
                "$(repository_count $n rebuild | awk -v n=$n '{ printf "%.0f", $1 / n }')"
        done
        printf '| exponent, 10k to 100k | %s | %s |\n' \
            "$(paste <(repository_count 10000 load) <(repository_count 100000 load) | awk '$1 > 0 { printf "%.3f", log($2 / $1) / log(10) }')" \
            "$(paste <(repository_count 10000 rebuild) <(repository_count 100000 rebuild) | awk '$1 > 0 { printf "%.3f", log($2 / $1) / log(10) }')"
    fi

    printf '\n| Layouts and URLs | CPU time (µs) | Wall time (µs) |\n|---|---|---|\n'
    printf '| `fromJson`, 1,000 video elements (109 kB of JSON) | %s | %s |\n' \
        "$(fmt 0 "$(repository_scaled BM_FromJson 0 cpu_ns 1e3 | stats)")" "$(fmt 0 "$(repository_scaled BM_FromJson 0 real_ns 1e3 | stats)")"
    printf '| `fromJson`, 900 video and 100 door elements, doors paired among the actuators of a 10k site | %s | %s |\n' \
        "$(fmt 0 "$(repository_scaled BM_FromJson 1 cpu_ns 1e3 | stats)")" "$(fmt 0 "$(repository_scaled BM_FromJson 1 real_ns 1e3 | stats)")"
    printf '| `url` role of all 1,000 cells (lookup and expansion each) | %s | %s |\n' \
        "$(fmt 0 "$(repository_scaled BM_LayoutUrls - cpu_ns 1e3 | stats)")" "$(fmt 0 "$(repository_scaled BM_LayoutUrls - real_ns 1e3 | stats)")"
    printf '| `expandTemplate` of a typical stream URL (94 bytes, 4 references, 1 section) | %s | %s |\n' \
        "$(fmt 2 "$(repository_scaled BM_ExpandTemplate - cpu_ns 1e3 | stats)")" "$(fmt 2 "$(repository_scaled BM_ExpandTemplate - real_ns 1e3 | stats)")"

    if [ "$errors" != 0 ]; then
        check "Large sites: $errors benchmark repetitions reported an error; see the log of the run."
    fi
    local exponent t100k
    exponent="$(repository_exponent BM_Rebuild cpu_ns | stats | awk '{ print $1 }')"
    t100k="$(repository_scaled BM_Rebuild 100000 cpu_ns 1e6 | stats | awk '{ print $1 }')"
    if awk -v e="${exponent:-9}" 'BEGIN { exit !(e <= 1.1) }'; then
        check "Rebuild scaling exponent $(printf '%.2f' "$exponent") (goal: at most 1.1)."
    else
        check "Rebuild scaling exponent $(printf '%.2f' "${exponent:-0}"), above the goal of 1.1."
    fi
    if awk -v t="${t100k:-99999}" 'BEGIN { exit !(t < 500) }'; then
        check "Rebuild of 100k objects: $(printf '%.0f' "$t100k") ms (goal: well under a second)."
    elif awk -v t="${t100k:-99999}" 'BEGIN { exit !(t < 1000) }'; then
        check "Rebuild of 100k objects: $(printf '%.0f' "$t100k") ms: under a second, but not well under it."
    else
        check "Rebuild of 100k objects: $(printf '%.0f' "${t100k:-0}") ms, above the goal of well under a second."
    fi
    local icount
    icount="$(paste <(repository_count 10000 rebuild) <(repository_count 100000 rebuild) | awk '$1 > 0 { printf "%.2f", log($2 / $1) / log(10) }')"
    if [ -n "$icount" ] && awk -v e="$icount" 'BEGIN { exit !(e <= 1.05) }'; then
        check "Rebuild instruction count exponent $icount: the work per object stays constant, so what the time exponent adds comes from memory stalls."
    elif [ -n "$icount" ]; then
        check "Rebuild instruction count exponent $icount: the work per object itself grows with the site."
    fi
}

# ---------------------------------------------------------------------------------------------

selected=()
for group in "${BENCH_GROUPS[@]}"; do
    if [ -z "$ONLY" ] || [[ ",$ONLY," == *",$group,"* ]]; then
        selected+=("$group")
    fi
done
if [ ${#selected[@]} -eq 0 ]; then
    log "no group matches '$ONLY'; the groups are: ${BENCH_GROUPS[*]}"
    exit 2
fi

install_packages
targets=()
for group in "${selected[@]}"; do
    mapfile -t -O "${#targets[@]}" targets < <("${group}_targets")
done
cmake_extra=()
if [ "${CI:-}" = "true" ]; then
    cmake_extra+=("-DSTATION_WERROR=ON")
fi
cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_BUILD_BENCH=ON \
    -DSTATION_BUILD_TESTS=OFF "${cmake_extra[@]}" >&2
cmake --build "$BUILD_DIR" --target "${targets[@]}" -j "$(nproc)" >&2

# CPU used on the machine while the groups run, against what this script's children used.
cpu_busy_total() {
    awk '/^cpu / { print $2 + $3 + $4 + $7 + $8 + $9, $2 + $3 + $4 + $5 + $6 + $7 + $8 + $9 }' /proc/stat
}
own_children_cpu() {
    # Fields after the command name; cutime and cstime are the 14th and 15th of them.
    sed 's/^.*) //' /proc/$$/stat | awk '{ print $14 + $15 }'
}
load_start="$(cut -d' ' -f1-3 /proc/loadavg)"
read -r busy_start total_start < <(cpu_busy_total)
own_start="$(own_children_cpu)"
started="$(date -u +%s)"

: >"$WORK/checks.md"
for group in "${selected[@]}"; do
    "${group}_run"
done

read -r busy_end total_end < <(cpu_busy_total)
own_end="$(own_children_cpu)"
load_end="$(cut -d' ' -f1-3 /proc/loadavg)"
elapsed=$(($(date -u +%s) - started))

for group in "${selected[@]}"; do
    "${group}_report" >"$WORK/$group.md"
done

cores="$(nproc)"
other_share="$(awk -v b=$((busy_end - busy_start)) -v t=$((total_end - total_start)) -v o=$((own_end - own_start)) \
    'BEGIN { if (t <= 0) { print 0; exit } x = (b - o) / t * 100; if (x < 0) x = 0; printf "%.0f", x }')"
own_share="$(awk -v t=$((total_end - total_start)) -v o=$((own_end - own_start)) \
    'BEGIN { if (t <= 0) { print 0; exit } printf "%.0f", o / t * 100 }')"
commit="$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || printf 'unknown')"
if [ -n "$(git -C "$ROOT" status --porcelain 2>/dev/null | head -1)" ]; then
    commit="$commit with uncommitted changes"
fi

{
    printf '# Benchmark results\n\n'
    printf 'Written by `scripts/bench.sh`%s. Every figure is the median of %s runs, with the minimum and\n' \
        "$([ -n "$ONLY" ] && printf ' --only %s' "$ONLY")" "$RUNS"
    printf 'maximum in brackets when they differ; every ratio is taken within one run and then summarised.\n\n'
    printf '## Machine\n\n'
    printf '| | |\n|---|---|\n'
    printf '| Date | %s |\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
    printf '| CPU | %s |\n' "$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
    printf '| Cores | %s |\n' "$cores"
    printf '| Memory | %s GiB |\n' "$(awk '/^MemTotal/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo)"
    printf '| System | %s, kernel %s |\n' "$(. /etc/os-release 2>/dev/null && printf '%s' "${PRETTY_NAME:-Linux}")" "$(uname -r)"
    printf '| Build | Release (`build-bench/`), %s, commit %s |\n' "$(c++ --version | head -1)" "$commit"
    printf '| Run | %s s; load average %s at the start, %s at the end |\n' "$elapsed" "$load_start" "$load_end"
    printf '| Other work | %s%% of the machine'"'"'s CPU went to other processes during the runs (these benchmarks: %s%%) |\n' \
        "$other_share" "$own_share"
    printf '\n'
    if [ "$other_share" -ge 5 ]; then
        printf 'The figures were taken with other work on the machine: expect wider ranges and higher\n'
        printf 'tails than on an idle one.\n\n'
    fi
    for group in "${selected[@]}"; do
        printf '## %s\n\n' "$("${group}_title")"
        cat "$WORK/$group.md"
        printf '\n'
    done
    printf '## Findings\n\n'
    printf 'Against the goals, from this run:\n\n'
    cat "$WORK/checks.md"
    if [ -f "$ROOT/bench/findings.md" ]; then
        printf '\n'
        cat "$ROOT/bench/findings.md"
    fi
} >"$OUT"
# The raw figures stay with the build, for a closer look.
rm -rf "$BUILD_DIR/bench-raw"
mkdir -p "$BUILD_DIR/bench-raw"
cp -r "$WORK"/. "$BUILD_DIR/bench-raw/"
log "wrote $OUT (raw figures in $BUILD_DIR/bench-raw)"
