# shellcheck shell=bash
# Group 5: Sign-in.
# Sourced by scripts/bench.sh, which calls signin_targets (the build targets it needs) and signin_run
# (its raw figures into $WORK) when the group is asked for.

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
