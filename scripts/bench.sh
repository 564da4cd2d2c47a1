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
#                                        720p; 4, 9, 16 or 25 tiles; 720p has 9 streams)
#
# The live groups (tiles, switch, signin, substreams) run the real client and standalone mpv players on one
# display: Xvfb when there is none.
#
# A group NAME is two functions here: NAME_targets (the build targets it needs) and NAME_run (writes
# its raw figures into $WORK). bench/report.py reads them and writes the statistics, the tables and
# the goal checks; add the group to BENCH_GROUPS and to that program, in report order.
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
        *) log "unknown argument: $1"; exit 2 ;;
    esac
done
if ! [[ "$TILES_STALL" =~ ^[0-9]+$ && "$TILES_SAMPLE_HZ" =~ ^[0-9]+$ ]] || [ "$TILES_SAMPLE_HZ" -gt 1000 ]; then
    log "--tiles-stall and --tiles-sample-hz need a number (0: none), not '$TILES_STALL' and '$TILES_SAMPLE_HZ'"
    exit 2
fi
[ -n "$PLAYERS_SECONDS" ] || PLAYERS_SECONDS="$TILES_SECONDS"
for value in "$RUNS" "$TILES_SECONDS" "$PLAYERS_SECONDS" "$TILES_RUNS" "$SWITCHES"; do
    if ! [[ "$value" =~ ^[1-9][0-9]*$ ]]; then
        log "--runs, --tiles-seconds, --players-seconds, --tiles-runs and --switches need a positive number, not '$value'"
        exit 2
    fi
done

BENCH_GROUPS=(tiles switch pos repository signin recorded substreams)
# Groups that run the client and mpv windows.
LIVE_GROUPS=(tiles switch signin substreams)
# Packages that only the benchmarks need (xcb and its MIT-SHM headers: bench_screen; its XTEST
# headers: bench_click, the double clicks of the sub-stream group).
BENCH_PACKAGES=(mpv python3 libxcb1-dev libxcb-shm0-dev libxcb-xtest0-dev)

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

# ---------------------------------------------------------------------------------------------
# Live view: the real client against vantor-sim, with standalone mpv as the baseline (groups 1,
# 2 and 5). Everything binds to an address of its own on loopback, away from the demo's and the
# tests' ports.

LIVE_ADDRESS=127.0.0.71
LIVE_SIM_PORT=20971
LIVE_IPC_URL="tcp://$LIVE_ADDRESS:22971"
LIVE_GATEWAY_PORT=29571
LIVE_POS_PORT=25571
LIVE_PORT360=28001
LIVE_PORT720=28101
LIVE_PORT1080=28201
LIVE_COUNT360=25
LIVE_COUNT720=9
LIVE_COUNT1080=16
# Made once from a synthetic source and kept. Every frame shows its number (bench/framecode.py);
# 12 minutes, so that a lag of up to about 11 minutes reads unambiguously as the file loops.
MEDIA_DIR="${XDG_CACHE_HOME:-$HOME/.cache}/pelmar-bench"
LIVE_MEDIA_FRAMES=18000
LIVE_READY=false

# Installs BENCH_PACKAGES that are missing (the same way as scripts/packages.txt).
install_bench_packages() {
    local missing=() pkg sudo=""
    for pkg in "${BENCH_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing missing packages: ${missing[*]}"
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q </dev/null || log "apt-get update failed; trying the install anyway"
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}

# live_media SIZE RATE: the cached H.264 file of that size, made (and read back) when missing.
live_media() {
    local size="$1" rate="$2" file="$MEDIA_DIR/framecode2-$1-25fps-${LIVE_MEDIA_FRAMES}f-h264.mp4"
    if [ ! -s "$file" ]; then
        mkdir -p "$MEDIA_DIR"
        log "making $file (once: a few minutes)"
        # A key frame every second, no B-frames: what a camera sends. Read back at half size, the
        # smallest a tile shows it, before it is kept.
        if ! python3 "$ROOT/bench/framecode.py" make --size "$size" --bitrate "$rate" --frames "$LIVE_MEDIA_FRAMES" \
            --out "$file.part.mp4" >&2 ||
            ! python3 "$ROOT/bench/framecode.py" verify "$file.part.mp4" --frames "$LIVE_MEDIA_FRAMES" --scale 0.5 >&2; then
            rm -f "$file.part.mp4"
            log "could not make $file"
            return 1
        fi
        mv "$file.part.mp4" "$file"
    fi
    printf '%s' "$file"
}

# Private HOME and XDG folders, the client beside its config.ini, the screen size.
live_environment() {
    export HOME="$WORK/home"
    export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
    export XDG_RUNTIME_DIR="$HOME/runtime"
    mkdir -p "$XDG_CONFIG_HOME/pelmar.example" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    CLIENT_LOG="$XDG_DATA_HOME/PELMAR/clientLogs.txt"
    RUN_DIR="$BUILD_DIR/bench-run"
    mkdir -p "$RUN_DIR"
    ln -f "$BUILD_DIR/bin/client" "$RUN_DIR/client" 2>/dev/null || cp -f "$BUILD_DIR/bin/client" "$RUN_DIR/client"
    printf '[IPC]\nurl=%s\n' "$LIVE_IPC_URL" >"$RUN_DIR/config.ini"
    # Log lines carry the monotonic clock, which the driver reads too.
    export QT_MESSAGE_PATTERN='%{time boot} %{if-category}%{category}: %{endif}%{message}'
    # All of the output is read: awk leaving early would end xdpyinfo by SIGPIPE, a failure under pipefail.
    SCREEN_SIZE="$(xdpyinfo 2>/dev/null | awk '/dimensions:/ && !seen { print $2; seen = 1 }')"
    [[ "$SCREEN_SIZE" =~ ^[0-9]+x[0-9]+$ ]] || SCREEN_SIZE=1920x1080
    SCREEN_W="${SCREEN_SIZE%x*}"
    SCREEN_H="${SCREEN_SIZE#*x}"
}

# live_store_login PORT: the login page signs in by itself with these.
live_store_login() {
    printf '[General]\nhost=%s\npass=operator\nport=%s\nuser=operator\n' "$LIVE_ADDRESS" "$1" \
        >"$XDG_CONFIG_HOME/pelmar.example/PELMAR.conf"
}

# live_sim NAME SITE PORT GATEWAY_PORT POS_PORT: starts vantor-sim on the live address; its log is
# $WORK/NAME.log.
live_sim() {
    local name="$1" site="$2" port="$3"
    : >"$WORK/$name.log"
    "$BUILD_DIR/sim/vantor-sim" --site "$site" --bind "$LIVE_ADDRESS" --port "$port" \
        --gateway-address "$LIVE_ADDRESS" --gateway-port "$4" --pos-port "$5" \
        >>"$WORK/$name.log" 2>&1 &
    LIVE_PIDS+=($!)
    LAST_PID=$!
    if ! wait_for_text "vantor-sim: ready" 20 "$WORK/$name.log"; then
        log "vantor-sim did not start:"
        tail -5 "$WORK/$name.log" >&2
        return 1
    fi
}

# The benchmark site and its streams, once for groups 1 and 2.
live_up() {
    $LIVE_READY && return 0
    live_environment
    local file360 file720 i files360=() files720=()
    file360="$(live_media 640x360 1000k)" || return 1
    file720="$(live_media 1280x720 2500k)" || return 1
    for ((i = 0; i < LIVE_COUNT360; i++)); do files360+=("$file360"); done
    for ((i = 0; i < LIVE_COUNT720; i++)); do files720+=("$file720"); done
    # The 1080p cameras are in the site whether or not their streams are served (group 7 serves them).
    python3 "$ROOT/bench/livesite.py" --address "$LIVE_ADDRESS" --port360 "$LIVE_PORT360" --count360 "$LIVE_COUNT360" \
        --port720 "$LIVE_PORT720" --count720 "$LIVE_COUNT720" --port1080 "$LIVE_PORT1080" \
        --count1080 "$LIVE_COUNT1080" >"$WORK/live-site.json"
    : >"$WORK/streams.log"
    python3 "$ROOT/bench/streamserver.py" --address "$LIVE_ADDRESS" --port "$LIVE_PORT360" "${files360[@]}" \
        >>"$WORK/streams.log" 2>&1 &
    LIVE_PIDS+=($!)
    python3 "$ROOT/bench/streamserver.py" --address "$LIVE_ADDRESS" --port "$LIVE_PORT720" "${files720[@]}" \
        >>"$WORK/streams.log" 2>&1 &
    LIVE_PIDS+=($!)
    live_sim live-sim "$WORK/live-site.json" "$LIVE_SIM_PORT" "$LIVE_GATEWAY_PORT" "$LIVE_POS_PORT" || return 1
    live_wait_servers 2 || return 1
    live_store_login "$LIVE_SIM_PORT"
    LIVE_READY=true
}

# live_wait_servers N: until N stream servers said "ready" in streams.log.
live_wait_servers() {
    local i
    for i in 1 2 3 4 5 6 7 8 9 10; do
        [ "$(grep -c '^ready$' "$WORK/streams.log")" -ge "$1" ] && return 0
        sleep 0.5
    done
    log "the stream servers did not start:"
    cat "$WORK/streams.log" >&2
    return 1
}

# live_driver SCENARIO ARGS...: the driver with the client's environment.
live_driver() {
    STATION_TILE_STATS_MS=500 STATION_WINDOW_GEOMETRY="${SCREEN_W}x${SCREEN_H}+0+0" \
        "$BUILD_DIR/bench/bench_live" "$@" --client "$RUN_DIR/client" --log "$CLIENT_LOG" --ipc "$LIVE_IPC_URL"
}

# live_urls SIZE N: the first N stream URLs of a size, comma-separated.
live_urls() {
    local base="$LIVE_PORT360" i
    [ "$1" = 720p ] && base="$LIVE_PORT720"
    for ((i = 0; i < $2; i++)); do
        printf '%shttp://%s:%d/live.ts' "$([ "$i" -gt 0 ] && printf ',')" "$LIVE_ADDRESS" $((base + i))
    done
}

# live_geometries N TILE_SIZE: mpv windows of that size where the client's tiles lie.
live_geometries() {
    local n="$1" size="$2" side i
    side="$(awk -v n="$n" 'BEGIN { printf "%d", sqrt(n) + 0.5 }')"
    for ((i = 0; i < n; i++)); do
        printf '%s%s+%d+%d' "$([ "$i" -gt 0 ] && printf ',')" "$size" $((i % side * SCREEN_W / side)) \
            $((i / side * SCREEN_H / side))
    done
}

# ---------------------------------------------------------------------------------------------
# Group 1: Live tiles

# "STREAM TILES" rows; --tiles replaces them.
if [ -n "$TILES_LIST" ]; then
    IFS=, read -r -a TILES_CONFIGS <<<"$TILES_LIST"
else
    TILES_CONFIGS=("360p 4" "360p 9" "360p 16" "360p 25" "720p 4" "720p 9")
fi
# How long the screen is read after a stall.
TILES_STALL_OBSERVE=15

tiles_targets() { printf 'client\nvantor-sim\nbench_live\nbench_screen\n'; }

# tiles_screen_args WHO TAG: the driver's options to read the screen into a samples file (none
# when the screen is not read).
tiles_screen_args() {
    [ "$TILES_SAMPLE_HZ" -gt 0 ] || return 0
    printf -- '--screen\n%s\n--samples\n%s\n--rate\n%s\n--stall\n%s\n--stall-observe\n%s\n' \
        "$BUILD_DIR/bench/bench_screen" "$WORK/samples/$2-$1.txt" "$TILES_SAMPLE_HZ" "$TILES_STALL" "$TILES_STALL_OBSERVE"
}

tiles_run() {
    live_up || return 0
    local run config stream n side size tag geometry screen_args
    mkdir -p "$WORK/samples"
    for run in $(seq 1 "$TILES_RUNS"); do
        for config in "${TILES_CONFIGS[@]}"; do
            read -r stream n <<<"$config"
            if ! [[ "$stream" =~ ^(360p|720p)$ && "$n" =~ ^(4|9|16|25)$ ]] ||
                { [ "$stream" = 360p ] && [ "$n" -gt "$LIVE_COUNT360" ]; } ||
                { [ "$stream" = 720p ] && [ "$n" -gt "$LIVE_COUNT720" ]; }; then
                log "live tiles: no layout '$config' (360p: 4, 9, 16 or 25 tiles; 720p: 4 or 9)"
                continue
            fi
            tag="run=$run stream=$stream n=$n"
            log "live tiles, $n of $stream, run $run of $TILES_RUNS: client"
            mapfile -t screen_args < <(tiles_screen_args client "run$run-$stream-$n")
            live_driver tiles --layout "Tiles $n $stream" --tiles "$n" --seconds "$TILES_SECONDS" "${screen_args[@]}" \
                >"$WORK/tiles.client" || log "the client run failed"
            sed "s/^/$tag /" "$WORK/tiles.client" >>"$WORK/tiles.raw"
            # Each player goes where the client showed its stream, with that tile's size (the
            # players take the streams in port order); without those, an even share of the screen.
            geometry="$(awk '$1 == "tile" { port = ""; rect = ""
                    for (i = 2; i <= NF; i++) {
                        if ($i ~ /^port=[0-9]+$/) port = substr($i, 6)
                        if ($i ~ /^rect=[0-9]+,[0-9]+,[0-9]+,[0-9]+$/) rect = substr($i, 6)
                    }
                    if (port != "" && rect != "") { split(rect, r, ","); printf "%s %dx%d+%d+%d\n", port, r[3], r[4], r[1], r[2] } }' \
                "$WORK/tiles.client" | sort -n | awk '{ printf "%s%s", (NR > 1 ? "," : ""), $2 }')"
            if [ "$(tr ',' '\n' <<<"$geometry" | grep -c .)" -ne "$n" ]; then
                size="$(awk '$1 == "tile" { for (i = 2; i <= NF; i++) if ($i ~ /^size=/) { print substr($i, 6); exit } }' \
                    "$WORK/tiles.client")"
                side="$(awk -v n="$n" 'BEGIN { printf "%d", sqrt(n) + 0.5 }')"
                [ -n "$size" ] || size="$((SCREEN_W / side))x$((SCREEN_H / side))"
                geometry="$(live_geometries "$n" "$size")"
            fi
            log "live tiles, $n of $stream, run $run of $TILES_RUNS: $n mpv players"
            mapfile -t screen_args < <(tiles_screen_args mpv "run$run-$stream-$n")
            "$BUILD_DIR/bench/bench_live" mpv-tiles --url "$(live_urls "$stream" "$n")" \
                --geometry "$geometry" --seconds "$PLAYERS_SECONDS" "${screen_args[@]}" | sed "s/^/$tag /" >>"$WORK/tiles.raw" ||
                log "the mpv run failed"
        done
    done
}

# ---------------------------------------------------------------------------------------------
# Group 2: Layout switch

SWITCH_DEBOUNCE_MS=500
FIRSTFRAME_RUNS=10

switch_targets() { printf 'client\nvantor-sim\nbench_live\n'; }

switch_run() {
    live_up || return 0
    local i
    # The switches are the runs of this group: one client, SWITCHES samples.
    log "layout switch: $SWITCHES switches between two layouts of 9 tiles"
    live_driver switch --layout "Switch A" --other "Switch B" --tiles 9 --switches "$SWITCHES" |
        sed "s/^/run=1 /" >>"$WORK/switch.raw" || log "the switch run failed"
    log "layout switch baseline: $FIRSTFRAME_RUNS mpv starts to the first frame"
    for i in $(seq 1 "$FIRSTFRAME_RUNS"); do
        "$BUILD_DIR/bench/bench_live" firstframe --url "$(live_urls 360p 1)" \
            --geometry "$(live_geometries 9 "$((SCREEN_W / 3))x$((SCREEN_H / 3))" | cut -d, -f1)" | sed "s/^/run=$i /" >>"$WORK/switch.raw" ||
            log "an mpv start failed"
    done
}

# ---------------------------------------------------------------------------------------------
# Group 3: POS delivery

POS_SECONDS=3
POS_RATES=(1000 10000 50000)

pos_targets() { printf 'bench_pos\n'; }

pos_run() {
    local run rates
    rates="$(IFS=,; printf '%s' "${POS_RATES[*]}")"
    for run in $(seq 1 "$RUNS"); do
        log "POS delivery, run $run of $RUNS"
        "$BUILD_DIR/bench/bench_pos" --seconds "$POS_SECONDS" --rates "$rates" | sed "s/^/run=$run /" >>"$WORK/pos.raw"
    done
}

# ---------------------------------------------------------------------------------------------
# Group 4: Large sites

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

# ---------------------------------------------------------------------------------------------
# Group 5: Sign-in

signin_targets() { printf 'client\nvantor-sim\nbench_live\n'; }

signin_run() {
    $LIVE_READY || live_environment
    local run sim_pid
    live_sim demo-sim "$ROOT/sim/sites/demo.json" $((LIVE_SIM_PORT + 1)) $((LIVE_GATEWAY_PORT + 10)) \
        $((LIVE_POS_PORT + 10)) || return 0
    sim_pid="$LAST_PID"
    live_store_login $((LIVE_SIM_PORT + 1))
    for run in $(seq 1 "$RUNS"); do
        log "sign-in, run $run of $RUNS"
        live_driver signin | sed "s/^/run=$run /" >>"$WORK/signin.raw" || log "the sign-in run failed"
    done
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    # Back to the benchmark site's login, should a later group need it.
    live_store_login "$LIVE_SIM_PORT"
}

# ---------------------------------------------------------------------------------------------
# Group 6: Recorded video (a day of a stream of 100,000 chunks, and the day's POS search)

recorded_targets() { printf 'vantor-sim\nbench_recorded\n'; }

recorded_run() {
    log "recorded video, $RUNS runs"
    QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bench/bench_recorded" --sim "$BUILD_DIR/sim/vantor-sim" --runs "$RUNS" \
        --raw "$WORK/recorded.raw" >&2 || log "the recorded-video run failed"
}

# ---------------------------------------------------------------------------------------------
# Group 7: Sub-streams. 16 tiles of 1080p cameras with 360p sub-streams against the same 16 tiles
# on their main streams only, one client run each per run, then the full view's switch to the main
# stream (a double click on a tile), read off the screen.

SUBSTREAMS_CONFIGS=("1080p+sub 16" "1080p 16")
FULLVIEW_ROUNDS=6
LIVE_1080_READY=false

substreams_targets() { printf 'client\nvantor-sim\nbench_live\nbench_screen\nbench_click\n'; }

# The 1080p streams, beside the others (their cameras are already in the site).
substreams_up() {
    $LIVE_1080_READY && return 0
    live_up || return 1
    local file i files=()
    file="$(live_media 1920x1080 4000k)" || return 1
    for ((i = 0; i < LIVE_COUNT1080; i++)); do files+=("$file"); done
    python3 "$ROOT/bench/streamserver.py" --address "$LIVE_ADDRESS" --port "$LIVE_PORT1080" "${files[@]}" \
        >>"$WORK/streams.log" 2>&1 &
    LIVE_PIDS+=($!)
    live_wait_servers 3 || return 1
    LIVE_1080_READY=true
}

substreams_run() {
    substreams_up || return 0
    local run config stream n tag screen_args
    mkdir -p "$WORK/samples"
    for run in $(seq 1 "$TILES_RUNS"); do
        for config in "${SUBSTREAMS_CONFIGS[@]}"; do
            read -r stream n <<<"$config"
            tag="run=$run stream=$stream n=$n"
            screen_args=()
            if [ "$TILES_SAMPLE_HZ" -gt 0 ]; then
                screen_args=(--screen "$BUILD_DIR/bench/bench_screen" --samples "$WORK/samples/sub-run$run-$stream-$n.txt"
                    --rate "$TILES_SAMPLE_HZ")
                # The switch to the main stream only happens where there is a sub-stream.
                [ "$stream" = "1080p+sub" ] && screen_args+=(--fullview "$FULLVIEW_ROUNDS" --click "$BUILD_DIR/bench/bench_click")
            fi
            log "sub-streams, $n tiles of $stream, run $run of $TILES_RUNS"
            live_driver tiles --layout "Tiles $n $stream" --tiles "$n" --seconds "$TILES_SECONDS" "${screen_args[@]}" \
                >"$WORK/substreams.client" || log "the client run failed"
            sed "s/^/$tag /" "$WORK/substreams.client" >>"$WORK/substreams.raw"
        done
    done
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
live_selected && install_bench_packages
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
    printf 'DATE=%s\n' "$(date -u '+%Y-%m-%d %H:%M UTC')"
    printf 'CPU=%s\n' "$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
    printf 'CORES=%s\n' "$cores"
    printf 'MEMORY_GIB=%s\n' "$(awk '/^MemTotal/ { printf "%.1f", $2 / 1048576 }' /proc/meminfo)"
    printf 'SYSTEM=%s, kernel %s\n' "$(. /etc/os-release 2>/dev/null && printf '%s' "${PRETTY_NAME:-Linux}")" "$(uname -r)"
    printf 'COMPILER=%s\n' "$(c++ --version | head -1)"
    printf 'COMMIT=%s\n' "$commit"
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
