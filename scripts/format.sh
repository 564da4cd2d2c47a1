#!/usr/bin/env bash
# Formats the station's own C++ with the checked-in .clang-format.
#   scripts/format.sh           rewrites every file that is not formatted
#   scripts/format.sh --check   changes nothing; lists those files and fails when there are any
# Every C++ file that git tracks is ours: generated sources (moc, repc, rcc) live in the build
# folders. QML has no formatter in Debian's Qt 5 packages (qmlformat came with Qt 6).
source "$(dirname "$0")/common.sh"

check=false
case "${1:-}" in
    --check) check=true ;;
    "") ;;
    *) log "usage: scripts/format.sh [--check]"; exit 2 ;;
esac

install_packages
cd "$ROOT"
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.hpp')
if ! $check; then
    clang-format -i "${files[@]}"
    log "formatted ${#files[@]} files"
    exit 0
fi

unformatted=()
for file in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
    log "not formatted (scripts/format.sh formats them): ${unformatted[*]}"
    exit 1
fi
log "all ${#files[@]} C++ files are formatted ($(clang-format --version | head -1))"
