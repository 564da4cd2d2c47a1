#!/usr/bin/env bash
# Shared by test.sh, demo.sh and the other scripts: package set-up, build and display helpers.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ROOT

log() { printf '[%s] %s\n' "$(basename "$0")" "$*" >&2; }

# Waits up to $2 seconds for the text $1 in the file $3.
wait_for_text() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        grep -qF -- "$1" "$3" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# Installs the packages of a list (scripts/packages.txt unless another is given) that are missing.
# Needs root (or sudo).
install_packages() {
    local list="${1:-$ROOT/scripts/packages.txt}"
    local wanted=() missing=() pkg
    mapfile -t wanted < <(grep -v '^\s*#' "$list" | sed 's/\s//g' | grep -v '^$')
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    log "installing missing packages: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q </dev/null || log "apt-get update failed; trying the install anyway"
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
}

# configure_and_build BUILD_DIR [extra cmake arguments...]
# BUILD_TARGETS (space-separated) limits the build to those targets; empty builds everything.
# STATION_GENERATOR names the CMake generator of a new build folder: Ninja unless it says another
# ("Unix Makefiles"). A folder that exists keeps the generator it was made with.
configure_and_build() {
    local dir="$1"
    shift
    local extra=()
    if [ "${CI:-}" = "true" ]; then
        extra+=("-DSTATION_WERROR=ON")
    fi
    local made_with=""
    if [ -f "$dir/CMakeCache.txt" ]; then
        made_with=$(sed -n 's/^CMAKE_GENERATOR:INTERNAL=//p' "$dir/CMakeCache.txt")
    fi
    if [ -z "$made_with" ]; then
        extra+=("-G" "${STATION_GENERATOR:-Ninja}")
    elif [ -n "${STATION_GENERATOR:-}" ] && [ "$STATION_GENERATOR" != "$made_with" ]; then
        log "$dir was made with the generator \"$made_with\", not \"$STATION_GENERATOR\": remove it, or leave STATION_GENERATOR unset"
        return 1
    fi
    # Most of a build's compiles are the same from one run to the next: with ccache (STATION_CCACHE=0
    # turns it off) they come from its cache. The settings let it use the precompiled Qt headers,
    # and let a clone in another folder (a CI run's) use what another clone compiled.
    if [ "${STATION_CCACHE:-1}" != "0" ] && command -v ccache >/dev/null; then
        extra+=("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache" "-DCMAKE_C_COMPILER_LAUNCHER=ccache")
        export CCACHE_BASEDIR="$ROOT" CCACHE_NOHASHDIR=1
        export CCACHE_SLOPPINESS="pch_defines,time_macros,include_file_mtime,include_file_ctime"
    fi
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" "${extra[@]}" "$@"
    local targets=()
    if [ -n "${BUILD_TARGETS:-}" ]; then
        read -r -a targets <<<"$BUILD_TARGETS"
        cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
    else
        cmake --build "$dir" -j "$(nproc)"
    fi
}

# Runs a command under Xvfb when there is no display: 24-bit screen with GLX.
with_display() {
    if [ -n "${DISPLAY:-}" ]; then
        "$@"
    else
        xvfb-run -a -s "-screen 0 1920x1080x24 +extension GLX +render -noreset" "$@"
    fi
}
