#!/usr/bin/env bash
# Builds a Release tree and makes the Debian packages with CPack, then checks them:
#   pelmar-station_<version>_<arch>.deb   the client, the companion and their client library
#   vantor-sim_<version>_<arch>.deb       the site simulator and its demo site
# The desktop entries must pass desktop-file-validate, the AppStream metadata appstreamcli validate,
# and both packages lintian without errors (its warnings are printed).
#   scripts/package.sh [--build-dir DIR] [--out DIR]
#     --build-dir   the Release tree (build-package/)
#     --out         where the packages are copied to (the build tree, where CPack writes them)
source "$(dirname "$0")/common.sh"

build_dir="$ROOT/build-package"
out_dir=""
while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build_dir="$(realpath -m "$2")"; shift 2 ;;
        --out) out_dir="$(realpath -m "$2")"; shift 2 ;;
        -h|--help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) log "unknown argument \"$1\"; see --help"; exit 1 ;;
    esac
done

install_packages
install_packages "$ROOT/scripts/package-tools.txt"

# Debian's compiler and linker hardening, as a Debian package build would have it. No debugging
# information: the packaged binaries are stripped. The flags are taken in the source folder, whose
# path they map away.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
export DEB_CFLAGS_MAINT_STRIP="-g" DEB_CXXFLAGS_MAINT_STRIP="-g"
cd "$ROOT"
cppflags="$(dpkg-buildflags --get CPPFLAGS)"
cmake_extra=(
    -DCMAKE_INSTALL_PREFIX=/usr
    -DSTATION_BUILD_TESTS=OFF
    -DSTATION_BUILD_BENCH=OFF
    "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $cppflags"
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $cppflags"
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
    "-DCMAKE_SHARED_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
)
if command -v ccache >/dev/null; then
    cmake_extra+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
BUILD_TYPE=Release BUILD_TARGETS="" configure_and_build "$build_dir" "${cmake_extra[@]}"

log "making the packages"
rm -f "$build_dir"/*.deb
(cd "$build_dir" && cpack -G DEB)
mapfile -t packages < <(find "$build_dir" -maxdepth 1 -name '*.deb' | sort)
if [ ${#packages[@]} -ne 2 ]; then
    log "expected two packages in $build_dir, found ${#packages[@]}"
    exit 1
fi

log "checking the desktop entries and the AppStream metadata"
desktop-file-validate "$ROOT"/packaging/*.desktop
appstreamcli validate --no-net "$build_dir"/packaging/stage/*.metainfo.xml

log "lintian (errors fail the build; warnings are listed)"
lintian --fail-on error --display-info "${packages[@]}"

if [ -n "$out_dir" ]; then
    mkdir -p "$out_dir"
    cp -f "${packages[@]}" "$out_dir/"
    packages=("${packages[@]/#$build_dir/$out_dir}")
fi
log "packages:"
printf '  %s\n' "${packages[@]}" >&2
