#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds.
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Crashes are written to fuzz-output/<target>/; the script exits non-zero when a target fails.
source "$(dirname "$0")/common.sh"

seconds="${1:-60}"
shift || true
BUILD_DIR="${FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"

install_packages
for pkg in clang libclang-rt-14-dev; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        apt-get install -y -q "$pkg" </dev/null
    fi
done

cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DSTATION_FUZZ=ON -DSTATION_BUILD_TESTS=OFF -DSTATION_BUILD_BENCH=OFF >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(sed -n 's/^station_add_fuzzer(\([a-z_0-9]*\) .*/\1/p' "$ROOT/fuzz/CMakeLists.txt")
fi
cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${targets[@]}"

failed=()
for target in "${targets[@]}"; do
    corpus="$ROOT/fuzz-output/$target/corpus"
    mkdir -p "$corpus"
    seeds="$ROOT/fuzz/corpus/${target#fuzz_}"
    log "running $target for ${seconds}s"
    # Undefined behaviour stops the run like a crash, so that it is reported and kept.
    if ! UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1:fast_unwind_on_malloc=0 \
        LSAN_OPTIONS="suppressions=$ROOT/fuzz/lsan.supp" "$BUILD_DIR/fuzz/$target" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$ROOT/fuzz-output/$target/" \
        "$corpus" $( [ -d "$seeds" ] && echo "$seeds" ) > "$ROOT/fuzz-output/$target/log.txt" 2>&1; then
        failed+=("$target")
        log "$target FAILED: see fuzz-output/$target/log.txt"
    else
        log "$target clean: $(grep -E '^stat::number_of_executed_units' "$ROOT/fuzz-output/$target/log.txt" | awk '{print $2}') runs"
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    log "failed: ${failed[*]}"
    exit 1
fi
log "all fuzz targets clean"
