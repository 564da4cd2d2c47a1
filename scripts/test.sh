#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite with ctest.
#   scripts/test.sh               everything, in build/
#   scripts/test.sh --sanitize    the ASan+UBSan build, in build-asan/
#   scripts/test.sh --no-gui      only the tests that need no display (not labelled "gui"), and
#                                 builds only what those need
#   scripts/test.sh --no-long     leaves out the tests that run for minutes (labelled "long")
#   scripts/test.sh -- <ctest arguments>   passes the rest to ctest (for example -R store)
# Tests run side by side, as many as there are cores (STATION_TEST_JOBS says another number); those
# that need the display hold the lock "display" and run one at a time. STATION_GENERATOR chooses
# the CMake generator of a new build folder (scripts/common.sh).
source "$(dirname "$0")/common.sh"

build_dir="$ROOT/build"
sanitize=false
excluded_labels=()
cmake_extra=()
ctest_extra=()
while [ $# -gt 0 ]; do
    case "$1" in
        --sanitize)
            sanitize=true
            build_dir="$ROOT/build-asan"
            cmake_extra+=("-DSTATION_SANITIZE=ON" "-DSTATION_BUILD_BENCH=OFF")
            export BUILD_TYPE=Debug
            shift ;;
        --no-gui)
            export BUILD_TARGETS="station_nongui_tests"
            excluded_labels+=(gui)
            shift ;;
        --no-long)
            excluded_labels+=(long)
            shift ;;
        --) shift; ctest_extra+=("$@"); break ;;
        *) ctest_extra+=("$1"); shift ;;
    esac
done

if $sanitize; then
    # Leak checking stays off: Qt, Mesa and fontconfig keep process-lifetime allocations.
    # Reports go to files, so that those of the programs the tests start (client, tavrel,
    # vantor-sim), whose output the tests keep to themselves, are seen too.
    reports="$build_dir/sanitizer-reports"
    rm -rf "$reports"
    mkdir -p "$reports"
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1:log_path=$reports/report}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1:log_path=$reports/report}"
fi

# One expression: ctest would leave out only the tests that match every -LE given.
if [ ${#excluded_labels[@]} -gt 0 ]; then
    ctest_extra=("-LE" "^($(IFS='|'; echo "${excluded_labels[*]}"))\$" "${ctest_extra[@]}")
fi

install_packages
configure_and_build "$build_dir" "${cmake_extra[@]}"

export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-xcb}"
cd "$build_dir"
status=0
with_display ctest --output-on-failure --timeout 300 -j "${STATION_TEST_JOBS:-$(nproc)}" "${ctest_extra[@]}" ||
    status=$?
if $sanitize && compgen -G "$reports/*" >/dev/null; then
    log "sanitizer reports (of the tests and of the programs they started), in $reports:"
    cat "$reports"/* >&2
    [ $status -ne 0 ] || status=1
fi
exit $status
