# shellcheck shell=bash
# Group 9: Cameras in step. The recorded page plays a layout's cameras in step (L), their chunks
# cut by vantor-sim from the benchmark's numbered streams so that each tile's frame number tells
# the moment it shows; bench_live sync clicks the time bar (seeks), then lets the clock play at 1x
# and at 4x, while bench_screen reads every tile off the screen. bench/instep.py makes the figures.
# Sourced by scripts/bench.sh, which calls sync_targets (the build targets it needs) and sync_run
# (its raw figures into $WORK) when the group is asked for. One client run per row: the seeks and
# the two speeds are its samples, whatever --runs says.

# "STREAM TILES" rows; --sync replaces them.
if [ -n "${SYNC_LIST:-}" ]; then
    IFS=, read -r -a SYNC_CONFIGS <<<"$SYNC_LIST"
else
    SYNC_CONFIGS=("360p 4" "360p 9" "360p 16" "720p 4")
fi
SYNC_SECONDS="${SYNC_SECONDS:-60}"
SYNC_SEEKS="${SYNC_SEEKS:-20}"
SYNC_SAMPLE_HZ=100
SYNC_CHUNK_MS=10000
# Each camera cuts its chunks this far after the day's start (camera i: the i-th modulo three), so
# that their boundaries fall at different moments, several inside every measured span.
SYNC_OFFSETS="0,3000,7000"
# The seeks happen around 10:00 of the day; the two speeds play on from there (60 s at 1x and
# 240 s of recording at 4x).
SYNC_AREA_MS=$((10 * 3600 * 1000))
SYNC_COUNT360=16
SYNC_COUNT720=4
# The simulator of this group, beside the live groups' one; the stations fetch recorded chunks
# from a gateway's port 9554, whatever the site says.
SYNC_SIM_PORT=20981
SYNC_GATEWAY_PORT=9554
SYNC_POS_PORT=25581

sync_targets() { printf 'client\nvantor-sim\nbench_live\nbench_screen\nbench_click\n'; }

# sync_site SIZE: the simulator for the cameras of that size, their chunks cut ahead.
sync_site() {
    local size="$1" media count="$SYNC_COUNT360" day_start
    [ "$size" = 720p ] && count="$SYNC_COUNT720"
    if [ "$size" = 720p ]; then
        media="$(live_media 1280x720 2500k)" || return 1
    else
        media="$(live_media 640x360 1000k)" || return 1
    fi
    python3 "$ROOT/bench/syncsite.py" site --address "$LIVE_ADDRESS" --count "$count" --size "$size" \
        --media "$media" --chunk-ms "$SYNC_CHUNK_MS" --offsets "$SYNC_OFFSETS" >"$WORK/sync-site-$size.json" ||
        return 1
    # The cuts are kept between runs: the same moments of any day give the same frames.
    mkdir -p "$MEDIA_DIR/sync-cuts"
    live_sim "sync-sim-$size" "$WORK/sync-site-$size.json" "$SYNC_SIM_PORT" "$SYNC_GATEWAY_PORT" "$SYNC_POS_PORT" "" \
        --media-dir "$MEDIA_DIR/sync-cuts" || return 1
    SYNC_SIM_PID="$LAST_PID"
    # What the runs play: from 4 minutes before the area to 11 minutes after it.
    day_start=$(($(date -d 'today 00:00' +%s) * 1000))
    log "cameras in step, $size: the simulator cuts the chunks that the runs play (once: a few minutes)"
    python3 "$ROOT/bench/syncsite.py" warm --address "$LIVE_ADDRESS" --port "$SYNC_GATEWAY_PORT" --count "$count" \
        --chunk-ms "$SYNC_CHUNK_MS" --offsets "$SYNC_OFFSETS" --day-start "$day_start" \
        --from $((day_start + SYNC_AREA_MS - 240000)) --to $((day_start + SYNC_AREA_MS + 660000)) >&2
}

sync_sim_stop() {
    [ -n "${SYNC_SIM_PID:-}" ] || return 0
    kill "$SYNC_SIM_PID" 2>/dev/null || true
    wait "$SYNC_SIM_PID" 2>/dev/null || true
    local kept=() pid
    for pid in "${LIVE_PIDS[@]}"; do
        [ "$pid" = "$SYNC_SIM_PID" ] || kept+=("$pid")
    done
    LIVE_PIDS=("${kept[@]}")
    SYNC_SIM_PID=""
}

sync_run() {
    live_environment
    mkdir -p "$WORK/samples"
    local config stream n tag up="" name
    for config in "${SYNC_CONFIGS[@]}"; do
        read -r stream n <<<"$config"
        if ! [[ "$stream" =~ ^(360p|720p)$ && "$n" =~ ^(4|9|16)$ ]] ||
            { [ "$stream" = 720p ] && [ "$n" -gt "$SYNC_COUNT720" ]; }; then
            log "cameras in step: no layout '$config' (360p: 4, 9 or 16 tiles; 720p: 4)"
            continue
        fi
        if [ "$up" != "$stream" ]; then
            sync_sim_stop
            up=""
            if ! sync_site "$stream"; then
                log "cameras in step: the $stream site did not start"
                continue
            fi
            up="$stream"
            live_store_login "$SYNC_SIM_PORT"
        fi
        tag="run=1 stream=$stream n=$n"
        name="sync-$stream-$n"
        log "cameras in step, $n of $stream: $SYNC_SEEKS seeks, ${SYNC_SECONDS} s at 1x and at 4x"
        live_driver sync --layout "Sync $n" --tiles "$n" --seconds "$SYNC_SECONDS" --seeks "$SYNC_SEEKS" \
            --area "$SYNC_AREA_MS" --chunk-ms "$SYNC_CHUNK_MS" --chunk-offsets "$SYNC_OFFSETS" \
            --screen "$BUILD_DIR/bench/bench_screen" --samples "$WORK/samples/$name.txt" --rate "$SYNC_SAMPLE_HZ" \
            --click "$BUILD_DIR/bench/bench_click" --anchors "$WORK/samples/$name.anchors" \
            >"$WORK/sync.client" || log "the run of $n of $stream failed"
        sed "s/^/$tag /" "$WORK/sync.client" >>"$WORK/sync.raw"
        # The client's log, for a closer look at what took long (bench-raw keeps it).
        cp -f "$CLIENT_LOG" "$WORK/$name-client.log" 2>/dev/null || true
    done
    sync_sim_stop
    # The live groups sign in to their own simulator.
    if $LIVE_READY; then
        live_store_login "$LIVE_SIM_PORT"
    fi
}
