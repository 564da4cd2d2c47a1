# shellcheck shell=bash
# Group 2: Layout switch.
# Sourced by scripts/bench.sh, which calls switch_targets (the build targets it needs) and switch_run
# (its raw figures into $WORK) when the group is asked for.

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
