# shellcheck shell=bash
# Group 3: POS delivery.
# Sourced by scripts/bench.sh, which calls pos_targets (the build targets it needs) and pos_run
# (its raw figures into $WORK) when the group is asked for.

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
