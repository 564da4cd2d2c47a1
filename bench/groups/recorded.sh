# shellcheck shell=bash
# Group 6: Recorded video (a day of a stream of 100,000 chunks, and the day's POS search).
# Sourced by scripts/bench.sh, which calls recorded_targets (the build targets it needs) and recorded_run
# (its raw figures into $WORK) when the group is asked for.

recorded_targets() { printf 'vantor-sim\nbench_recorded\n'; }

recorded_run() {
    log "recorded video, $RUNS runs"
    QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bench/bench_recorded" --sim "$BUILD_DIR/sim/vantor-sim" --runs "$RUNS" \
        --raw "$WORK/recorded.raw" >&2 || log "the recorded-video run failed"
}
