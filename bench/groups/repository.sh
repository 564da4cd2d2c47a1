# shellcheck shell=bash
# Group 4: Large sites.
# Sourced by scripts/bench.sh, which calls repository_targets (the build targets it needs) and repository_run
# (its raw figures into $WORK) when the group is asked for.

repository_targets() { printf 'bench_repository\n'; }

repository_run() {
    log "large sites, $RUNS repetitions"
    "$BUILD_DIR/bench/bench_repository" --benchmark_repetitions="$RUNS" --benchmark_color=false \
        --raw="$WORK/repository.raw" >&2
    # Instruction counts separate the algorithm from the memory hierarchy; they hardly vary, so
    # one run each. Dump 1 of the output is the first load, dump 2 the rebuild.
    if ! command -v valgrind >/dev/null; then
        log "valgrind is missing: no instruction counts"
        return 0
    fi
    local n out
    for n in 1000 10000 100000; do
        log "large sites, instruction count of $n objects (callgrind)"
        out="$WORK/callgrind.$n"
        if valgrind --tool=callgrind --instr-atstart=no --callgrind-out-file="$out" \
            "$BUILD_DIR/bench/bench_repository" --count="$n" >/dev/null 2>"$out.log" &&
            [ -f "$out.1" ] && [ -f "$out.2" ]; then
            printf 'count n=%s load=%s rebuild=%s\n' "$n" "$(awk '/^totals:/ { print $2 }' "$out.1")" \
                "$(awk '/^totals:/ { print $2 }' "$out.2")" >>"$WORK/repository.counts"
        else
            log "callgrind count of $n objects failed:"
            tail -5 "$out.log" >&2
        fi
    done
}
