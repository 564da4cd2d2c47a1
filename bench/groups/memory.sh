# shellcheck shell=bash
# Group 10: Memory given back.
# Sourced by scripts/bench.sh, which calls memory_targets (the build targets it needs) and memory_run
# (its raw figures into $WORK) when the group is asked for. One new client shows only the 2x2
# layout; a second one makes MEMORY_ROUNDS round trips to the 20x20 wall and back (bench_live memory).
# The rounds are the samples of this group: it runs once, whatever --runs says.

MEMORY_ROUNDS="${MEMORY_ROUNDS:-50}"
MEMORY_SECONDS="${MEMORY_SECONDS:-16}"
# Load time-out: 64 tiles starting at once on two cores take a while.
MEMORY_TIMEOUT_MS=120000

memory_targets() { printf 'client\nvantor-sim\nbench_live\n'; }

memory_run() {
    live_up || return 0
    log "memory: 2x2 alone, then $MEMORY_ROUNDS round trips to the 20x20 wall and back (${MEMORY_SECONDS} s each state)"
    live_driver memory --layout "Tiles 4 360p" --tiles 4 --other "Wall 400 360p" --other-tiles 64 \
        --switches "$MEMORY_ROUNDS" --seconds "$MEMORY_SECONDS" --timeout "$MEMORY_TIMEOUT_MS" |
        sed "s/^/run=1 /" >>"$WORK/memory.raw" || log "the memory run failed"
}
