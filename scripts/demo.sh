#!/usr/bin/env bash
# Installs what is missing, builds, and starts the station.
# With a display the programs run until you close them (Ctrl+C here stops everything).
# Without one they run under Xvfb; screenshots go to demo-output/ and the script exits.
source "$(dirname "$0")/common.sh"

BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
OUT_DIR="$ROOT/demo-output"
RUN_DIR="${RUN_DIR:-$OUT_DIR/run}"
SHOT_DELAY="${SHOT_DELAY:-5}"

if [ "${1:-}" != "--inside-xvfb" ]; then
    install_packages
    configure_and_build "$BUILD_DIR"
    if [ -z "${DISPLAY:-}" ]; then
        log "no display: running under Xvfb, screenshots go to $OUT_DIR"
        exec xvfb-run -a -s "-screen 0 1280x800x24 +extension GLX +render -noreset" bash "$0" --inside-xvfb
    fi
fi
headless=false
[ "${1:-}" = "--inside-xvfb" ] && headless=true

mkdir -p "$OUT_DIR" "$RUN_DIR"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

(cd "$RUN_DIR" && exec "$BUILD_DIR/bin/client") &
pids+=($!)

if $headless; then
    sleep "$SHOT_DELAY"
    import -window root "$OUT_DIR/screen.png"
    log "screenshot saved to $OUT_DIR/screen.png"
else
    log "client is running; close its window or press Ctrl+C to stop"
    wait "${pids[0]}" || true
fi
