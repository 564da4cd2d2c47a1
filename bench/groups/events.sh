# shellcheck shell=bash
# Group 8: Events and alarms.
# Sourced by scripts/bench.sh, which calls events_targets (the build targets it needs) and events_run
# (its raw figures into $WORK) when the group is asked for.
#   - live: 9 tiles playing and the event list shown, the simulator pushing events at each rate;
#     from the push to the row on the screen, and the GUI thread's longest stall (bench_live events)
#   - the journal: its insert rate, start-up with a full journal against an empty one, and a text
#     filter over it (bench_events)

EVENTS_RATES="1,100,1000"
EVENTS_SECONDS=10
EVENTS_TILES=9

events_targets() { printf 'client\nvantor-sim\nbench_live\nbench_events\n'; }

events_run() {
    live_up || return 0
    local run stats="$WORK/eventStats.txt"
    for run in $(seq 1 "$RUNS"); do
        log "events, run $run of $RUNS: $EVENTS_TILES live tiles, ${EVENTS_RATES} events a second for ${EVENTS_SECONDS} s each"
        # Each run starts with an empty journal, the event list shown and the sound off.
        rm -f "$RUN_DIR/data.sqlite"
        live_store_login "$LIVE_SIM_PORT"
        printf '[Events]\nmuted=true\npanelShown=true\n' >>"$XDG_CONFIG_HOME/pelmar.example/PELMAR.conf"
        STATION_EVENT_STATS_FILE="$stats" live_driver events --layout "Tiles $EVENTS_TILES 360p" \
            --tiles "$EVENTS_TILES" --control "$LIVE_ADDRESS:$LIVE_CONTROL_PORT" --event-stats "$stats" \
            --event-rates "$EVENTS_RATES" --seconds "$EVENTS_SECONDS" | sed "s/^/run=$run /" >>"$WORK/events.raw" ||
            log "the events run failed"
        log "events, run $run of $RUNS: the journal"
        "$BUILD_DIR/bench/bench_events" --benchmark_color=false --benchmark_out_format=json \
            --benchmark_out="$WORK/events-journal-$run.json" >&2 || log "the journal run failed"
    done
    live_store_login "$LIVE_SIM_PORT"
}
