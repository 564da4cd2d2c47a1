#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/), runs each group several times and writes
# bench/RESULTS.md: the machine, the date, every figure as the median of the runs with its min and
# max, and every ratio against its baseline taken in the same run.
#   scripts/bench.sh                     every group
#   scripts/bench.sh --runs 3            runs per group (default 5)
#   scripts/bench.sh --only pos          only the named groups (comma-separated)
#   scripts/bench.sh --out FILE          write the results elsewhere
#   scripts/bench.sh --tiles-seconds 600 measuring window of the live tiles and of the sub-stream
#                                        group (default 60)
#   scripts/bench.sh --players-seconds 120  the standalone players' window (default: the tiles')
#   scripts/bench.sh --tiles-stall 0     the live tiles' stall test: seconds stopped (default 3;
#                                        0 leaves it out)
#   scripts/bench.sh --tiles-sample-hz 50  screen samples a second of the live tiles (default 100;
#                                        0 reads no screen: no lag, no stall test)
#   scripts/bench.sh --tiles-runs 2      runs of each live-tile layout and sub-stream wall (default 1)
#   scripts/bench.sh --switches 4        measured layout switches (default 10)
#   scripts/bench.sh --tiles "360p 9,720p 9"  the live-tile layouts to measure (streams 360p or
#                                        720p; 4, 9, 16, 25, 36 or 64 tiles; 720p has 9 streams)
#   scripts/bench.sh --only sync --sync "360p 9" --sync-seconds 30 --sync-seeks 10
#                                        the cameras in step: their rows (360p: 4, 9 or 16 tiles;
#                                        720p: 4), the seconds played at 1x and at 4x (default 60)
#                                        and the seeks (default 20); about 3.5 minutes a row
#   scripts/bench.sh --build-dir build   use a build of one's own (configured with
#                                        STATION_BUILD_BENCH=ON) as it is, for a quick look: its
#                                        figures are not those of the Release build
#
# The live groups (tiles, switch, signin, substreams, events, sync, memory) run the real client, and
# some standalone mpv players, on one display: Xvfb when there is none. Their streams come from
# bench/streamserver.py, which paces files it prepared once; STREAM_SERVER_SPAWN=1 in the
# environment gives every connection its own ffmpeg instead, as the runs before December 2026 did.
#
# This script only orchestrates: options, the display, the build, the machine's load, the report.
# A group NAME is bench/groups/NAME.sh, with two functions: NAME_targets (the build targets it
# needs) and NAME_run (writes its raw figures into $WORK); the live groups share the rig of
# bench/groups/live-site.sh. bench/report.py reads the figures and writes the statistics, the
# tables and the goal checks; add a group to BENCH_GROUPS and to that program, in report order.
source "$(dirname "$0")/common.sh"

BUILD_DIR="$ROOT/build-bench"
OUT="$ROOT/bench/RESULTS.md"
RUNS=5
ONLY=""
TILES_SECONDS=60
PLAYERS_SECONDS=""
TILES_STALL=3
TILES_SAMPLE_HZ=100
TILES_RUNS=1
SWITCHES=10
TILES_LIST=""
SYNC_LIST=""
SYNC_SECONDS=60
SYNC_SEEKS=20
OWN_BUILD=false
ARGS=("$@")
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) RUNS="$2"; shift 2 ;;
        --only) ONLY="$2"; shift 2 ;;
        --out) OUT="$2"; shift 2 ;;
        --tiles-seconds) TILES_SECONDS="$2"; shift 2 ;;
        --players-seconds) PLAYERS_SECONDS="$2"; shift 2 ;;
        --tiles-stall) TILES_STALL="$2"; shift 2 ;;
        --tiles-sample-hz) TILES_SAMPLE_HZ="$2"; shift 2 ;;
        --tiles-runs) TILES_RUNS="$2"; shift 2 ;;
        --switches) SWITCHES="$2"; shift 2 ;;
        --tiles) TILES_LIST="$2"; shift 2 ;;
        --sync) SYNC_LIST="$2"; shift 2 ;;
        --sync-seconds) SYNC_SECONDS="$2"; shift 2 ;;
        --sync-seeks) SYNC_SEEKS="$2"; shift 2 ;;
        --build-dir) BUILD_DIR="$(cd "$2" && pwd)" || exit 2; OWN_BUILD=true; shift 2 ;;
        *) log "unknown argument: $1"; exit 2 ;;
    esac
done
if ! [[ "$TILES_STALL" =~ ^[0-9]+$ && "$TILES_SAMPLE_HZ" =~ ^[0-9]+$ ]] || [ "$TILES_SAMPLE_HZ" -gt 1000 ]; then
    log "--tiles-stall and --tiles-sample-hz need a number (0: none), not '$TILES_STALL' and '$TILES_SAMPLE_HZ'"
    exit 2
fi
[ -n "$PLAYERS_SECONDS" ] || PLAYERS_SECONDS="$TILES_SECONDS"
for value in "$RUNS" "$TILES_SECONDS" "$PLAYERS_SECONDS" "$TILES_RUNS" "$SWITCHES" "$SYNC_SECONDS" "$SYNC_SEEKS"; do
    if ! [[ "$value" =~ ^[1-9][0-9]*$ ]]; then
        log "--runs, --tiles-seconds, --players-seconds, --tiles-runs, --switches, --sync-seconds and --sync-seeks" \
            "need a positive number, not '$value'"
        exit 2
    fi
done

BENCH_GROUPS=(tiles switch pos repository signin recorded substreams events sync memory)
# Groups that run the client and mpv windows.
LIVE_GROUPS=(tiles switch signin substreams events sync memory)
# Packages that only the benchmarks need (xcb and its MIT-SHM headers: bench_screen; its XTEST
# headers: bench_click, the double clicks of the sub-stream group).
BENCH_PACKAGES=(mpv python3 libxcb1-dev libxcb-shm0-dev libxcb-xtest0-dev)

# After the options: the groups' settings follow them (--tiles, for one).
source "$ROOT/bench/groups/live-site.sh"
for group in "${BENCH_GROUPS[@]}"; do
    # shellcheck source=/dev/null
    source "$ROOT/bench/groups/$group.sh"
done

live_selected() {
    local group
    for group in "${LIVE_GROUPS[@]}"; do
        if [ -z "$ONLY" ] || [[ ",$ONLY," == *",$group,"* ]]; then
            return 0
        fi
    done
    return 1
}

# One display for the whole run, so that the client and the baselines share it.
if [ -z "${DISPLAY:-}" ] && live_selected; then
    log "no display: running under Xvfb"
    with_display bash "$0" "${ARGS[@]}"
    exit $?
fi

WORK="$(mktemp -d)"
# Processes started by the live groups, ended by their ids.
LIVE_PIDS=()
cleanup() {
    local pid
    for pid in "${LIVE_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${LIVE_PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

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
live_selected && install_packages <(printf '%s\n' "${BENCH_PACKAGES[@]}")
targets=()
for group in "${selected[@]}"; do
    mapfile -t -O "${#targets[@]}" targets < <("${group}_targets")
done
cmake_extra=()
if [ "${CI:-}" = "true" ]; then
    cmake_extra+=("-DSTATION_WERROR=ON")
fi
if ! $OWN_BUILD; then
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSTATION_BUILD_BENCH=ON \
        -DSTATION_BUILD_TESTS=OFF "${cmake_extra[@]}" >&2
fi
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

for group in "${selected[@]}"; do
    "${group}_run"
done

read -r busy_end total_end < <(cpu_busy_total)
own_end="$(own_children_cpu)"
load_end="$(cut -d' ' -f1-3 /proc/loadavg)"
elapsed=$(($(date -u +%s) - started))

cores="$(nproc)"
other_share="$(awk -v b=$((busy_end - busy_start)) -v t=$((total_end - total_start)) -v o=$((own_end - own_start)) \
    'BEGIN { if (t <= 0) { print 0; exit } x = (b - o) / t * 100; if (x < 0) x = 0; printf "%.0f", x }')"
own_share="$(awk -v t=$((total_end - total_start)) -v o=$((own_end - own_start)) \
    'BEGIN { if (t <= 0) { print 0; exit } printf "%.0f", o / t * 100 }')"
commit="$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || printf 'unknown')"
if [ -n "$(git -C "$ROOT" status --porcelain 2>/dev/null | head -1)" ]; then
    commit="$commit with uncommitted changes"
fi

# What was run, and on what machine, for bench/report.py.
{
    printf 'GROUPS=%s\n' "$(IFS=,; printf '%s' "${selected[*]}")"
    printf 'ONLY=%s\n' "$ONLY"
    printf 'RUNS=%s\n' "$RUNS"
    printf 'TILES_CONFIGS=%s\n' "$(IFS=,; printf '%s' "${TILES_CONFIGS[*]}")"
    printf 'TILES_SECONDS=%s\nPLAYERS_SECONDS=%s\nTILES_RUNS=%s\n' "$TILES_SECONDS" "$PLAYERS_SECONDS" "$TILES_RUNS"
    printf 'TILES_SAMPLE_HZ=%s\nTILES_STALL=%s\nTILES_STALL_OBSERVE=%s\n' "$TILES_SAMPLE_HZ" "$TILES_STALL" \
        "$TILES_STALL_OBSERVE"
    printf 'SCREEN_SIZE=%s\nLIVE_MEDIA_FRAMES=%s\n' "${SCREEN_SIZE:-}" "$LIVE_MEDIA_FRAMES"
    printf 'SUBSTREAMS_CONFIGS=%s\nFULLVIEW_ROUNDS=%s\n' "$(IFS=,; printf '%s' "${SUBSTREAMS_CONFIGS[*]}")" \
        "$FULLVIEW_ROUNDS"
    printf 'SWITCHES=%s\nSWITCH_DEBOUNCE_MS=%s\nFIRSTFRAME_RUNS=%s\n' "$SWITCHES" "$SWITCH_DEBOUNCE_MS" "$FIRSTFRAME_RUNS"
    printf 'POS_SECONDS=%s\nPOS_RATES=%s\n' "$POS_SECONDS" "$(IFS=,; printf '%s' "${POS_RATES[*]}")"
    printf 'EVENTS_SECONDS=%s\nEVENTS_RATES=%s\nEVENTS_TILES=%s\n' "$EVENTS_SECONDS" "$EVENTS_RATES" "$EVENTS_TILES"
    printf 'MEMORY_ROUNDS=%s\nMEMORY_SECONDS=%s\n' "$MEMORY_ROUNDS" "$MEMORY_SECONDS"
    printf 'SYNC_CONFIGS=%s\nSYNC_SECONDS=%s\nSYNC_SEEKS=%s\nSYNC_SAMPLE_HZ=%s\n' \
        "$(IFS=,; printf '%s' "${SYNC_CONFIGS[*]}")" "$SYNC_SECONDS" "$SYNC_SEEKS" "$SYNC_SAMPLE_HZ"
    printf 'SYNC_CHUNK_MS=%s\nSYNC_OFFSETS=%s\nSYNC_AREA_MS=%s\n' "$SYNC_CHUNK_MS" "$SYNC_OFFSETS" "$SYNC_AREA_MS"
    printf 'STREAM_SERVER_SPAWN=%s\n' "${STREAM_SERVER_SPAWN:-0}"
    printf 'DATE=%s\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
    printf 'CPU=%s\n' "$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
    printf 'CORES=%s\n' "$cores"
    printf 'MEMORY_GIB=%s\n' "$(awk '/^MemTotal/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo)"
    printf 'SYSTEM=%s, kernel %s\n' "$(. /etc/os-release 2>/dev/null && printf '%s' "${PRETTY_NAME:-Linux}")" "$(uname -r)"
    printf 'COMPILER=%s\n' "$(c++ --version | head -1)"
    printf 'COMMIT=%s\n' "$commit"
    if $OWN_BUILD; then
        printf 'BUILD=%s (`%s/`, its own build)\n' \
            "$(awk -F= '/^CMAKE_BUILD_TYPE:/ { print $2 }' "$BUILD_DIR/CMakeCache.txt" 2>/dev/null)" \
            "$(realpath --relative-to="$ROOT" "$BUILD_DIR")"
    fi
    printf 'ELAPSED=%s\nLOAD_START=%s\nLOAD_END=%s\n' "$elapsed" "$load_start" "$load_end"
    printf 'OTHER_SHARE=%s\nOWN_SHARE=%s\n' "$other_share" "$own_share"
} >"$WORK/params"
if ! python3 "$ROOT/bench/report.py" --work "$WORK" --out "$OUT" --findings "$ROOT/bench/findings.md"; then
    log "bench/report.py could not write $OUT; the raw figures are kept in $BUILD_DIR/bench-raw"
fi
# The raw figures stay with the build, for a closer look.
rm -rf "$BUILD_DIR/bench-raw"
mkdir -p "$BUILD_DIR/bench-raw"
cp -r "$WORK"/. "$BUILD_DIR/bench-raw/"
log "wrote $OUT (raw figures in $BUILD_DIR/bench-raw)"
