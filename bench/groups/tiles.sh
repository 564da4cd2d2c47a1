# shellcheck shell=bash
# Group 1: Live tiles.
# Sourced by scripts/bench.sh, which calls tiles_targets (the build targets it needs) and tiles_run
# (its raw figures into $WORK) when the group is asked for.

# "STREAM TILES" rows; --tiles replaces them.
if [ -n "$TILES_LIST" ]; then
    IFS=, read -r -a TILES_CONFIGS <<<"$TILES_LIST"
else
    TILES_CONFIGS=("360p 4" "360p 9" "360p 16" "360p 25" "360p 36" "360p 64" "720p 4" "720p 9")
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
            if ! [[ "$stream" =~ ^(360p|720p)$ && "$n" =~ ^(4|9|16|25|36|64)$ ]] ||
                { [ "$stream" = 360p ] && [ "$n" -gt "$LIVE_COUNT360" ]; } ||
                { [ "$stream" = 720p ] && [ "$n" -gt "$LIVE_COUNT720" ]; }; then
                log "live tiles: no layout '$config' (360p: 4, 9, 16, 25, 36 or 64 tiles; 720p: 4 or 9)"
                continue
            fi
            tag="run=$run stream=$stream n=$n"
            log "live tiles, $n of $stream, run $run of $TILES_RUNS: client"
            mapfile -t screen_args < <(tiles_screen_args client "run$run-$stream-$n")
            # A wall larger than the machine decodes opens its streams a few at a time: a second
            # a tile to load them all.
            live_driver tiles --layout "Tiles $n $stream" --tiles "$n" --seconds "$TILES_SECONDS" "${screen_args[@]}" \
                --timeout "$((n > 30 ? n * 1000 : 30000))" \
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
