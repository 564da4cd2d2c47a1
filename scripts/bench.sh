#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/), runs each group several times and writes
# bench/RESULTS.md: the machine, the date, every figure as the median of the runs with its min and
# max, and every ratio against its baseline taken in the same run.
#   scripts/bench.sh                     every group
#   scripts/bench.sh --runs 3            runs per group (default 5)
#   scripts/bench.sh --only pos          only the named groups (comma-separated)
#   scripts/bench.sh --out FILE          write the results elsewhere
#   scripts/bench.sh --tiles-seconds 600 measuring window of the live tiles (default 60)
#   scripts/bench.sh --players-seconds 120  the standalone players' window (default: the tiles')
#   scripts/bench.sh --tiles-stall 0     the live tiles' stall test: seconds stopped (default 3;
#                                        0 leaves it out)
#   scripts/bench.sh --tiles-sample-hz 50  screen samples a second of the live tiles (default 100;
#                                        0 reads no screen: no lag, no stall test)
#   scripts/bench.sh --tiles-runs 2      runs of each live-tile layout (default 1)
#   scripts/bench.sh --switches 4        measured layout switches (default 10)
#   scripts/bench.sh --tiles "360p 9,720p 9"  the live-tile layouts to measure (streams 360p or
#                                        720p; 4, 9, 16 or 25 tiles; 720p has 9 streams)
#
# The live groups (tiles, switch, signin) run the real client and standalone mpv players on one
# display: Xvfb when there is none.
#
# A group NAME is four functions: NAME_title (its heading), NAME_targets (the build targets it
# needs), NAME_run (writes raw figures to $WORK/NAME.raw) and NAME_report (prints its markdown and
# appends one line per check to $WORK/checks.md). Add it to BENCH_GROUPS in report order.
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

BENCH_GROUPS=(tiles switch pos repository signin)
# Groups that run the client and mpv windows.
LIVE_GROUPS=(tiles switch signin)
# Packages that only the benchmarks need (xcb and its MIT-SHM headers: bench_screen).
BENCH_PACKAGES=(mpv python3 libxcb1-dev libxcb-shm0-dev)

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
LIVE_COUNT360=25
LIVE_COUNT720=9
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
    python3 "$ROOT/bench/livesite.py" --address "$LIVE_ADDRESS" --port360 "$LIVE_PORT360" --count360 "$LIVE_COUNT360" \
        --port720 "$LIVE_PORT720" --count720 "$LIVE_COUNT720" >"$WORK/live-site.json"
    : >"$WORK/streams.log"
    python3 "$ROOT/bench/streamserver.py" --address "$LIVE_ADDRESS" --port "$LIVE_PORT360" "${files360[@]}" \
        >>"$WORK/streams.log" 2>&1 &
    LIVE_PIDS+=($!)
    python3 "$ROOT/bench/streamserver.py" --address "$LIVE_ADDRESS" --port "$LIVE_PORT720" "${files720[@]}" \
        >>"$WORK/streams.log" 2>&1 &
    LIVE_PIDS+=($!)
    live_sim live-sim "$WORK/live-site.json" "$LIVE_SIM_PORT" "$LIVE_GATEWAY_PORT" "$LIVE_POS_PORT" || return 1
    for i in 1 2 3 4 5 6 7 8 9 10; do
        [ "$(grep -c '^ready$' "$WORK/streams.log")" -ge 2 ] && break
        sleep 0.5
    done
    if [ "$(grep -c '^ready$' "$WORK/streams.log")" -lt 2 ]; then
        log "the stream servers did not start:"
        cat "$WORK/streams.log" >&2
        return 1
    fi
    live_store_login "$LIVE_SIM_PORT"
    LIVE_READY=true
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

tiles_title() { printf '1. Live tiles'; }
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

# tiles_values WHO STREAM N KEY: KEY of the summary line of every run.
tiles_values() {
    grep " stream=$2 n=$3 $1 " "$WORK/tiles.raw" 2>/dev/null | field "$4"
}

# tiles_tile_values WHO STREAM N KEY: KEY of every tile of every run.
tiles_tile_values() {
    grep " stream=$2 n=$3 tile who=$1 " "$WORK/tiles.raw" 2>/dev/null | field "$4"
}

# tiles_tile_sum WHO STREAM N KEY: per run, KEY summed over the tiles.
tiles_tile_sum() {
    grep " stream=$2 n=$3 tile who=$1 " "$WORK/tiles.raw" 2>/dev/null | awk -v k="$4" '
        function get(key,   i, n) { for (i = 1; i <= NF; i++) { n = index($i, "="); if (substr($i, 1, n - 1) == key) return substr($i, n + 1) } }
        { s[get("run")] += get(k) } END { for (r in s) print s[r] }'
}

# tiles_ratio STREAM N KEY: per run, the client's KEY over the players' summed KEY.
tiles_ratio() {
    grep " stream=$1 n=$2 \(client\|mpv\) " "$WORK/tiles.raw" 2>/dev/null | awk -v k="$3" '
        function get(key,   i, n) { for (i = 1; i <= NF; i++) { n = index($i, "="); if (substr($i, 1, n - 1) == key) return substr($i, n + 1) } }
        { if ($4 == "client") c[get("run")] = get(k); else m[get("run")] = get(k) }
        END { for (r in c) if ((r in m) && m[r] > 0) print c[r] / m[r] }'
}

# tiles_ms_per_frame_runs WHO STREAM N: "run ms" per run, CPU ms per frame played over all tiles.
tiles_ms_per_frame_runs() {
    grep " stream=$2 n=$3 \($1 \|tile who=$1 \)" "$WORK/tiles.raw" 2>/dev/null | awk '
        function get(key,   i, n) { for (i = 1; i <= NF; i++) { n = index($i, "="); if (substr($i, 1, n - 1) == key) return substr($i, n + 1) } }
        { r = get("run"); if ($4 == "tile") f[r] += get("frames"); else c[r] = get("cpu_s") }
        END { for (r in c) if (f[r] > 0) print r, c[r] * 1000 / f[r] }' | sort -n
}

tiles_ms_per_frame() {
    tiles_ms_per_frame_runs "$@" | awk '{ print $2 }'
}

# tiles_frame_ratio STREAM N: per run, the client's CPU per frame over the players'.
tiles_frame_ratio() {
    join <(tiles_ms_per_frame_runs client "$1" "$2") <(tiles_ms_per_frame_runs mpv "$1" "$2") |
        awk 'NF == 3 && $3 > 0 { print $2 / $3 }'
}

tiles_report() {
    local config stream n who
    printf 'The real `client` against `vantor-sim` with a benchmark site whose stream objects point at H.264\n'
    printf 'streams (640×360 at 1 Mbit/s and 1280×720 at 2.5 Mbit/s, 25 fps, a key frame every second, no\n'
    printf 'B-frames, %s frames long; ffmpeg `testsrc2` under a strip of black and white blocks that shows\n' "$LIVE_MEDIA_FRAMES"
    printf 'each frame'"'"'s number, `bench/framecode.py`), served on loopback over HTTP at their real-time rate\n'
    printf 'without re-encoding (`bench/streamserver.py`: `ffmpeg -re -stream_loop -1 -c copy -f mpegts`\n'
    printf 'per connection). The client signs in by its stored login fields, its window is placed over the\n'
    printf 'whole %s screen (`STATION_WINDOW_GEOMETRY`) and `bench_live` applies a square layout\n' "$SCREEN_SIZE"
    printf 'over the remote interface. Once every tile reports a loaded video, the window of %s s starts' "$TILES_SECONDS"
    if [ "$PLAYERS_SECONDS" != "$TILES_SECONDS" ]; then
        printf ' (%s s for the players, measured for less to keep the run short)' "$PLAYERS_SECONDS"
    fi
    printf ':\n'
    printf 'CPU is user + system time of the process from `/proc/PID/stat`, peak RSS is `VmHWM`. The\n'
    printf 'baseline, on the same display right after: one standalone `mpv` per stream with the options of a\n'
    printf 'camera tile (`--profile=low-latency --cache=no --video-sync=desync --aid=no --ao=null\n'
    printf -- '--hwdec=auto`, OpenGL output, the size and place of the client'"'"'s tile of that stream), with the\n'
    printf 'player'"'"'s own extras off (configuration files, on-screen controller, scripts), as they are in\n'
    printf 'libmpv; its CPU and peak RSS are summed over the players. POS is off in the site. During the\n'
    printf 'window `bench_screen` reads the screen for both (last table). %s run(s) per row.\n\n' "$TILES_RUNS"
    printf 'A CPU ratio below 1 means little while the tiles do not keep up (next table): the client then\n'
    printf 'shows fewer frames than the players. *Per frame* divides the CPU time by the frames played.\n\n'
    printf '| Streams | Tiles | Tile (px) | Client CPU (%% of a core) | mpv CPU, summed | CPU ratio | Client CPU per frame (ms) | mpv CPU per frame (ms) | Per-frame ratio | Client peak RSS (MB) | mpv peak RSS, summed (MB) | RSS ratio |\n'
    printf '|---|---|---|---|---|---|---|---|---|---|---|---|\n'
    for config in "${TILES_CONFIGS[@]}"; do
        read -r stream n <<<"$config"
        printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' "$stream" "$n" \
            "$(tiles_tile_values client "$stream" "$n" size | head -1)" \
            "$(fmt 0 "$(tiles_values client "$stream" "$n" cpu_pct | stats)")" \
            "$(fmt 0 "$(tiles_values mpv "$stream" "$n" cpu_pct | stats)")" \
            "$(fmt 2 "$(tiles_ratio "$stream" "$n" cpu_pct | stats)")" \
            "$(fmt 2 "$(tiles_ms_per_frame client "$stream" "$n" | stats)")" \
            "$(fmt 2 "$(tiles_ms_per_frame mpv "$stream" "$n" | stats)")" \
            "$(fmt 2 "$(tiles_frame_ratio "$stream" "$n" | stats)")" \
            "$(fmt 0 "$(tiles_values client "$stream" "$n" hwm_kb | awk '{ print $1 / 1024 }' | stats)")" \
            "$(fmt 0 "$(tiles_values mpv "$stream" "$n" hwm_kb | awk '{ print $1 / 1024 }' | stats)")" \
            "$(fmt 2 "$(tiles_ratio "$stream" "$n" hwm_kb | stats)")"
    done
    printf '\nPer tile over the window: *played* is the video time a tile advanced per second of wall time\n'
    printf '(1.00 keeps up with the live stream; below it, the picture falls ever further behind), and\n'
    printf '*frames* that time × 25. mpv'"'"'s `estimated-frame-number` stays 0 for these streams (the\n'
    printf 'low-latency profile'"'"'s short probe finds no container frame rate), so frames are counted from\n'
    printf 'the position. Dropped (`frame-drop-count`), decoder-dropped (`decoder-frame-drop-count`) and\n'
    printf 'delayed (`vo-delayed-frame-count`) are summed over the tiles. Figures: median (min–max) over\n'
    printf 'all tiles of all runs; the sums over the runs.\n\n'
    printf '| Streams | Tiles | Player | Played (s/s) | Frames per tile | Dropped | Decoder-dropped | Delayed | Time to all loaded (ms) |\n'
    printf '|---|---|---|---|---|---|---|---|---|\n'
    for config in "${TILES_CONFIGS[@]}"; do
        read -r stream n <<<"$config"
        for who in client mpv; do
            printf '| %s | %s | %s | %s | %s | %s | %s | %s | %s |\n' "$stream" "$n" "$who" \
                "$(fmt 2 "$(tiles_tile_values "$who" "$stream" "$n" realtime | stats)")" \
                "$(fmt 0 "$(tiles_tile_values "$who" "$stream" "$n" frames | stats)")" \
                "$(fmt 0 "$(tiles_tile_sum "$who" "$stream" "$n" drop | stats)")" \
                "$(fmt 0 "$(tiles_tile_sum "$who" "$stream" "$n" decdrop | stats)")" \
                "$(fmt 0 "$(tiles_tile_sum "$who" "$stream" "$n" delayed | stats)")" \
                "$(fmt 0 "$(tiles_values "$who" "$stream" "$n" load_ms | stats)")"
        done
    done
    printf '\nThe client'"'"'s load time runs from `setLayout` to the first tile-statistics tick (every 500 ms)\n'
    printf 'with every tile loaded, and includes the tiles'"'"' 500 ms load delay; the players'"'"' from their\n'
    printf 'IPC connection to all of them loaded.\n'
    tiles_screen_report

    for config in "${TILES_CONFIGS[@]}"; do
        read -r stream n <<<"$config"
        local ratio per_frame played drops
        ratio="$(tiles_ratio "$stream" "$n" cpu_pct | stats | awk '{ print $1 }' || true)"
        per_frame="$(tiles_frame_ratio "$stream" "$n" | stats | awk '{ print $1 }' || true)"
        if [ -z "$ratio" ] || [ -z "$per_frame" ]; then
            check "Live tiles, $n of $stream: no figures (a run failed; see the log of the run)."
            continue
        fi
        if awk -v r="$ratio" 'BEGIN { exit !(r <= 0.8) }'; then
            check "Live tiles, $n of $stream: client CPU $(printf '%.2f' "$ratio")× the players' summed CPU, met (goal: at most 0.8; per frame shown $(printf '%.2f' "$per_frame")×)."
        else
            check "Live tiles, $n of $stream: client CPU $(printf '%.2f' "$ratio")× the players' summed CPU, not met (goal: at most 0.8; per frame shown $(printf '%.2f' "$per_frame")×)."
        fi
        if [ "$stream $n" = "360p 9" ]; then
            drops="$(tiles_tile_sum client "$stream" "$n" drop | stats | awk '{ print $3 }' || true)"
            played="$(tiles_tile_values client "$stream" "$n" realtime | stats | awk '{ print $2 }' || true)"
            if [ "${drops:-1}" = 0 ] && awk -v p="${played:-0}" 'BEGIN { exit !(p >= 0.98) }'; then
                check "Live tiles, 9 of 360p: no dropped frames, and every tile kept up with its stream (goal: no drops)."
            else
                check "Live tiles, 9 of 360p: up to ${drops:-?} dropped frames in a run, the slowest tile played $(printf '%.2f' "${played:-0}") s of video per second (goal: no drops, keeping up)."
            fi
        fi
    done
}

# The lag and frames shown, read off the screen (bench/lag.py).
tiles_screen_report() {
    if [ "$TILES_SAMPLE_HZ" -eq 0 ]; then
        printf '\nThe screen was not read (`--tiles-sample-hz 0`): no lag, no frames shown, no stall test.\n'
        return 0
    fi
    printf '\nRead off the screen, from outside the players: `bench_screen` grabs the middle rows of each\n'
    printf 'tile'"'"'s strip (shared memory, one X request per row of tiles, never the whole screen) %s times a\n' "$TILES_SAMPLE_HZ"
    printf 'second, stamps each grab with CLOCK_MONOTONIC and reads the frame number of every tile; the\n'
    printf 'strip'"'"'s two marker blocks and its check reject what does not read (*misread*; *no strip* is a\n'
    printf 'tile with no picture). Where a tile is: the client logs each video item'"'"'s rectangle in its\n'
    printf 'window (at 0,0), a player'"'"'s window is where its geometry puts it, and the 16:9 video is fitted\n'
    printf 'inside. The stream server logs when each connection started sending (t0); `ffmpeg -re` sends\n'
    printf 'frame k at t0 + (k − 1)/25 (measured with `bench/lag.py pacing`), so a tile'"'"'s *lag* is the\n'
    printf 'frame its server is sending at the sample less the frame it shows, over 25 (`bench/lag.py`;\n'
    printf 'the latest connection of its port counts). Lag: median / worst over the samples of all tiles;\n'
    printf '*growth*: the slope of a tile'"'"'s lag over the window, median / worst tile (0 keeps up; 0.5\n'
    printf 'plays at half speed); *frames shown*: changes of the number read, per second, median / worst\n'
    printf 'tile; *by its counters*: the client'"'"'s presented frames (`presentedFrames`), the players'"'"'\n'
    printf 'position × 25. The last minute is shown for windows of two minutes or more.\n\n'
    if [ "$TILES_STALL" -gt 0 ]; then
        printf 'The stall test (second table): after the window the client, or every player, is\n'
        printf 'stopped with SIGSTOP for %s s and continued; the screen is read for %s s more. *Lag before*:\n' "$TILES_STALL" "$TILES_STALL_OBSERVE"
        printf 'the median over the tiles of each tile'"'"'s median lag in the 5 s before the stop, its live edge;\n'
        printf 'a tile is back when its lag stays within 0.3 s of that; *lag added*: the median over the tiles\n'
        printf 'of its lag at the end less its lag before. The last table is the cost of the reading itself:\n'
        printf 'its own CPU, and the round trip of its X requests, which bounds the X server'"'"'s share.\n\n'
    fi
    python3 "$ROOT/bench/lag.py" report --raw "$WORK/tiles.raw" --connections "$WORK/streams.log" \
        --loop-frames "$LIVE_MEDIA_FRAMES" --checks "$WORK/checks.md" ||
        printf 'No figures: `bench/lag.py` failed (see the log of the run).\n'
}

# ---------------------------------------------------------------------------------------------
# Group 2: Layout switch

SWITCH_DEBOUNCE_MS=500
FIRSTFRAME_RUNS=10

switch_title() { printf '2. Layout switch'; }
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

switch_values() {
    grep " switch " "$WORK/switch.raw" 2>/dev/null | field "$1"
}

switch_report() {
    local total mpv
    printf 'The client of group 1 (same site, same streams, same window) shows `Switch A` once, then switches\n'
    printf '%s times between `Switch A` and `Switch B`, two 3×3 layouts of nine different 640×360 streams,\n' "$SWITCHES"
    printf 'by `setLayout` over the remote interface, 1 s apart. A switch lasts from the call to the ninth\n'
    printf '"videoLoaded: true" line in the client'"'"'s log (log lines carry the monotonic clock). The\n'
    printf 'baseline is one standalone `mpv` (the options of group 1), %s starts: from starting the process to\n' "$FIRSTFRAME_RUNS"
    printf 'its first video size (`dwidth` > 0, what a tile'"'"'s "videoLoaded" waits for) of the first stream.\n'
    printf 'A tile loads its URL %s ms after it gets it (its load delay); the second row takes that off.\n' "$SWITCH_DEBOUNCE_MS"
    printf 'The rows after it split a switch by the log lines of the client (`loadFile` is logged when a tile\n'
    printf 'hands its URL to its player).\n\n'

    printf '| Figure | Median (min–max) (ms) |\n|---|---|\n'
    printf '| switch, `setLayout` to all 9 tiles loaded | %s |\n' "$(fmt 0 "$(switch_values total_ms | stats)")"
    printf '| the same less the %s ms load delay | %s |\n' "$SWITCH_DEBOUNCE_MS" \
        "$(fmt 0 "$(switch_values total_ms | awk -v d="$SWITCH_DEBOUNCE_MS" '{ print $1 - d }' | stats)")"
    printf '| `setLayout` to "Applying layout:" in the client | %s |\n' "$(fmt 0 "$(switch_values applied_ms | stats)")"
    printf '| `setLayout` to the first tile'"'"'s `loadFile` | %s |\n' "$(fmt 0 "$(switch_values first_load_ms | stats)")"
    printf '| `setLayout` to the last tile'"'"'s `loadFile` | %s |\n' "$(fmt 0 "$(switch_values last_load_ms | stats)")"
    printf '| `setLayout` to the first tile loaded | %s |\n' "$(fmt 0 "$(switch_values first_loaded_ms | stats)")"
    printf '| first `loadFile` to all 9 tiles loaded (the players'"'"' own part) | %s |\n' \
        "$(fmt 0 "$(paste <(switch_values total_ms) <(switch_values first_load_ms) | awk '$2 >= 0 { print $1 - $2 }' | stats)")"
    printf '| baseline: `mpv` start to its first frame | %s |\n' "$(fmt 0 "$(grep ' firstframe ' "$WORK/switch.raw" 2>/dev/null | field ms | stats)")"
    total="$(switch_values total_ms | stats | awk '{ print $1 }' || true)"
    mpv="$(grep ' firstframe ' "$WORK/switch.raw" 2>/dev/null | field ms | stats | awk '{ print $1 }' || true)"
    if [ -n "$total" ] && [ -n "$mpv" ]; then
        printf '\n| Ratio of medians to the baseline | Raw | Less the load delay |\n|---|---|---|\n'
        printf '| switch / mpv first frame | %s | %s |\n' "$(awk -v a="$total" -v b="$mpv" 'BEGIN { printf "%.2f", a / b }')" \
            "$(awk -v a="$total" -v b="$mpv" -v d="$SWITCH_DEBOUNCE_MS" 'BEGIN { printf "%.2f", (a - d) / b }')"
        local raw less
        raw="$(awk -v a="$total" -v b="$mpv" 'BEGIN { printf "%.2f", a / b }' || true)"
        less="$(awk -v a="$total" -v b="$mpv" -v d="$SWITCH_DEBOUNCE_MS" 'BEGIN { printf "%.2f", (a - d) / b }' || true)"
        if awk -v r="$raw" 'BEGIN { exit !(r <= 1.5) }'; then
            check "Layout switch: $(printf '%.0f' "$total") ms, ${raw}× mpv's first frame (goal: at most 1.5×)."
        else
            check "Layout switch: $(printf '%.0f' "$total") ms, ${raw}× mpv's first frame, above the goal of 1.5× (${less}× less the ${SWITCH_DEBOUNCE_MS} ms load delay)."
        fi
    else
        check "Layout switch: no figures (a run failed; see the log of the run)."
    fi
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
    printf 'far behind its schedule the publisher sent. `PosReceiver`'"'"'s guard against a runaway publisher\n'
    printf '(it passes on at most %s messages a second to the window and drops the rest, with a count\n' 500
    printf 'in the log) is switched off here, so that the delivery itself is measured. %s runs.\n\n' "$RUNS"
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
# Group 5: Sign-in

signin_title() { printf '5. Sign-in'; }
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

signin_values() {
    grep ' signin ' "$WORK/signin.raw" 2>/dev/null | field "$1" | awk '$1 >= 0'
}

signin_report() {
    printf 'The client starts with the demo site'"'"'s login fields stored (`sim/sites/demo.json` in\n'
    printf '`vantor-sim`, 23 objects, 3 layouts) and signs in by itself; no layout is shown. `bench_live`\n'
    printf 'starts the process and reads the client'"'"'s log, whose lines carry the monotonic clock:\n'
    printf '*logged in* is the line "Logged in, id:" (the moment `loggedIn` goes to the remote interface),\n'
    printf '*layouts published* the first row of the layout list, filled right after the list went to\n'
    printf 'the remote interface (a line of the statistics hook). A replica of the remote interface,\n'
    printf 'connecting from before the start, gives the companion'"'"'s view: when it got connected, and\n'
    printf 'when it held the layouts (pushed, or the answer to its request when it connected later).\n'
    printf 'All from the start of the process; %s runs, a new process each.\n\n' "$RUNS"
    printf '| Figure | Median (min–max) (ms) |\n|---|---|\n'
    printf '| start to the first log line | %s |\n' "$(fmt 0 "$(signin_values first_log_ms | stats)")"
    printf '| start to "Logged in" | %s |\n' "$(fmt 0 "$(signin_values loggedin_ms | stats)")"
    printf '| start to the layouts published | %s |\n' "$(fmt 0 "$(signin_values listed_ms | stats)")"
    printf '| start to the replica connected | %s |\n' "$(fmt 0 "$(signin_values replica_connected_ms | stats)")"
    printf '| start to the layouts at the replica | %s |\n' "$(fmt 0 "$(signin_values replica_layouts_ms | stats)")"
    local signed layouts
    signed="$(signin_values loggedin_ms | stats | awk '{ print $1 }' || true)"
    layouts="$(signin_values listed_ms | stats | awk '{ print $1 }' || true)"
    if [ -n "$signed" ] && [ -n "$layouts" ]; then
        check "Sign-in against the demo site: logged in $(printf '%.0f' "$signed") ms and layouts published $(printf '%.0f' "$layouts") ms after the start (no goal set)."
    else
        check "Sign-in: no figures (a run failed; see the log of the run)."
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
