# shellcheck shell=bash
# Group 7: Sub-streams. 16 tiles of 1080p cameras with 360p sub-streams against the same 16 tiles
# on their main streams only, one client run each per run, then the full view's switch to the main
# stream (a double click on a tile), read off the screen.
# Sourced by scripts/bench.sh, which calls substreams_targets (the build targets it needs) and
# substreams_run (its raw figures into $WORK) when the group is asked for.

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
    stream_server --address "$LIVE_ADDRESS" --port "$LIVE_PORT1080" "${files[@]}" \
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
