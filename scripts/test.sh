#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite with ctest.
#   scripts/test.sh               everything, in build/
#   scripts/test.sh --sanitize    the ASan+UBSan build, in build-asan/
#   scripts/test.sh -- <ctest arguments>   passes the rest to ctest (for example -R store)
source "$(dirname "$0")/common.sh"

build_dir="$ROOT/build"
cmake_extra=()
ctest_extra=()
while [ $# -gt 0 ]; do
    case "$1" in
        --sanitize)
            build_dir="$ROOT/build-asan"
            cmake_extra+=("-DSTATION_SANITIZE=ON" "-DCMAKE_BUILD_TYPE=Debug" "-DSTATION_BUILD_BENCH=OFF")
            shift ;;
        --) shift; ctest_extra+=("$@"); break ;;
        *) ctest_extra+=("$1"); shift ;;
    esac
done

# Also for the tools that run during the build (the icon renderer) in a sanitizer build.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

install_packages
configure_and_build "$build_dir" "${cmake_extra[@]}"

export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-xcb}"
cd "$build_dir"
status=0
with_display ctest --output-on-failure --timeout 300 "${ctest_extra[@]}" || status=$?
exit $status
