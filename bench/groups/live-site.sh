# shellcheck shell=bash
# The live groups' rig (tiles, switch, signin, substreams), sourced by scripts/bench.sh: the real
# client against vantor-sim, with standalone mpv as the baseline. Everything binds to an address of
# its own on loopback, away from the demo's and the tests' ports.

LIVE_ADDRESS=127.0.0.71
LIVE_SIM_PORT=20971
LIVE_IPC_URL="tcp://$LIVE_ADDRESS:22971"
LIVE_GATEWAY_PORT=29571
LIVE_POS_PORT=25571
# The control channel of the benchmark site's simulator (the events group pushes through it).
LIVE_CONTROL_PORT=20972
LIVE_PORT360=28001
LIVE_PORT720=28101
LIVE_PORT1080=28201
LIVE_COUNT360=64
LIVE_COUNT720=9
LIVE_COUNT1080=16
# Made once from a synthetic source and kept. Every frame shows its number (bench/framecode.py);
# 12 minutes, so that a lag of up to about 11 minutes reads unambiguously as the file loops.
MEDIA_DIR="${XDG_CACHE_HOME:-$HOME/.cache}/pelmar-bench"
LIVE_MEDIA_FRAMES=18000
LIVE_READY=false

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
    # The client's statistics (STATION_TILE_STATS_FILE, given to it by bench_live): the figures of
    # the live groups come from there, never from its log.
    CLIENT_STATS="$WORK/tileStats.txt"
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

# live_sim NAME SITE PORT GATEWAY_PORT POS_PORT [CONTROL_PORT [OPTIONS...]]: starts vantor-sim on
# the live address (an empty CONTROL_PORT: no control channel; OPTIONS go to it as they are); its
# log is $WORK/NAME.log.
live_sim() {
    local name="$1" site="$2" port="$3" control=()
    [ -n "${6:-}" ] && control=(--control-port "$6")
    : >"$WORK/$name.log"
    "$BUILD_DIR/sim/vantor-sim" --site "$site" --bind "$LIVE_ADDRESS" --port "$port" \
        --gateway-address "$LIVE_ADDRESS" --gateway-port "$4" --pos-port "$5" "${control[@]}" "${@:7}" \
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
    stream_server --address "$LIVE_ADDRESS" --port "$LIVE_PORT360" "${files360[@]}" \
        >>"$WORK/streams.log" 2>&1 &
    LIVE_PIDS+=($!)
    stream_server --address "$LIVE_ADDRESS" --port "$LIVE_PORT720" "${files720[@]}" \
        >>"$WORK/streams.log" 2>&1 &
    LIVE_PIDS+=($!)
    live_sim live-sim "$WORK/live-site.json" "$LIVE_SIM_PORT" "$LIVE_GATEWAY_PORT" "$LIVE_POS_PORT" \
        "$LIVE_CONTROL_PORT" || return 1
    live_wait_servers 2 || return 1
    live_store_login "$LIVE_SIM_PORT"
    LIVE_READY=true
}

# The stream servers pace prepared files out; STREAM_SERVER_SPAWN=1 gives every connection its own
# ffmpeg instead, as in the earlier runs (for an A/B).
stream_server() {
    if [ "${STREAM_SERVER_SPAWN:-0}" = 1 ]; then
        exec python3 "$ROOT/bench/streamserver.py" --spawn "$@"
    else
        exec python3 "$ROOT/bench/streamserver.py" "$@"
    fi
}

# live_wait_servers N: until N stream servers said "ready" in streams.log (the first start of a
# server remuxes and indexes its files, seconds for the 1080p one).
live_wait_servers() {
    local i
    for i in $(seq 1 240); do
        [ "$(grep -c '^ready$' "$WORK/streams.log")" -ge "$1" ] && return 0
        sleep 0.5
    done
    log "the stream servers did not start:"
    cat "$WORK/streams.log" >&2
    return 1
}

# live_driver COMMAND ARGS...: the driver with the client's environment.
live_driver() {
    STATION_TILE_STATS_MS=500 STATION_WINDOW_GEOMETRY="${SCREEN_W}x${SCREEN_H}+0+0" \
        "$BUILD_DIR/bench/bench_live" "$@" --client "$RUN_DIR/client" --log "$CLIENT_LOG" --stats "$CLIENT_STATS" \
        --ipc "$LIVE_IPC_URL"
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
