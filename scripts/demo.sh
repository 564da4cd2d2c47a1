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
    # Only the three programs it runs: neither the tests nor the benchmarks.
    BUILD_TARGETS="${BUILD_TARGETS:-client tavrel vantor-sim}" configure_and_build "$BUILD_DIR"
    if [ -z "${DISPLAY:-}" ]; then
        log "no display: running under Xvfb, screenshots go to $OUT_DIR"
        exec xvfb-run -a -s "-screen 0 1400x800x24 +extension GLX +render -noreset" bash "$0" --inside-xvfb
    fi
fi
headless=false
[ "${1:-}" = "--inside-xvfb" ] && headless=true
# A headless run shows the station as it first starts, whatever an earlier run left: settings and
# the event journal of its own, made anew.
if $headless; then
    rm -rf "$OUT_DIR/settings" "$RUN_DIR/data.sqlite"
    export XDG_CONFIG_HOME="$OUT_DIR/settings"
fi

mkdir -p "$OUT_DIR" "$RUN_DIR"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    wait 2>/dev/null || true
}
trap cleanup EXIT INT TERM

# The demo site: vantor-sim plays it on loopback, the client signs in to it.
SITE="${SITE:-$ROOT/sim/sites/demo.json}"
SIM_PORT="${SIM_PORT:-20101}"
DEMO_USER="${DEMO_USER:-operator}"
DEMO_PASS="${DEMO_PASS:-operator}"
# The layout the companion shows first, over the remote interface, once the client offers it.
DEMO_LAYOUT="${DEMO_LAYOUT:-Overview 2x2}"
# The layout of the alarm shot, and how long to wait for the site's first alarm (seconds).
ALARM_LAYOUT="${ALARM_LAYOUT:-Alarms}"
ALARM_WAIT="${ALARM_WAIT:-60}"
# How long the recorded page plays the layout's cameras in step before its shot.
SYNC_WAIT="${SYNC_WAIT:-8}"
IPC_URL="${IPC_URL:-tcp://127.0.0.1:12230}"
CLIENT_LOG="${XDG_DATA_HOME:-$HOME/.local/share}/PELMAR/clientLogs.txt"
LOGIN_STORE="${XDG_CONFIG_HOME:-$HOME/.config}/pelmar.example/PELMAR.conf"

[ -f "$SITE" ] || { log "site file $SITE not found"; exit 1; }
SIM_BIN="$BUILD_DIR/bin/vantor-sim"
[ -x "$SIM_BIN" ] || SIM_BIN="$BUILD_DIR/sim/vantor-sim"
[ -x "$SIM_BIN" ] || { log "vantor-sim was not built in $BUILD_DIR"; exit 1; }

# Both programs read config.ini beside their executable: they run from links in one folder
# that shares one config.ini, so the build folder stays as it is.
for program in client tavrel; do
    ln -f "$BUILD_DIR/bin/$program" "$RUN_DIR/$program" 2>/dev/null || cp -f "$BUILD_DIR/bin/$program" "$RUN_DIR/$program"
done
[ -f "$RUN_DIR/config.ini" ] || printf '[IPC]\nurl=%s\n' "$IPC_URL" > "$RUN_DIR/config.ini"

# The login page signs in by itself when all four fields are stored; an operator's own fields
# are left alone.
stored_field() { [ -f "$LOGIN_STORE" ] && grep -E "^$1=.+" "$LOGIN_STORE" >/dev/null; }
if ! stored_field host && ! stored_field port && ! stored_field user && ! stored_field pass; then
    mkdir -p "$(dirname "$LOGIN_STORE")"
    # It holds the password: owner-only from the start, as the client keeps it.
    (umask 077 && printf '[General]\nhost=127.0.0.1\npass=%s\nport=%s\nuser=%s\n' "$DEMO_PASS" "$SIM_PORT" \
        "$DEMO_USER" > "$LOGIN_STORE")
    log "stored the demo login fields in $LOGIN_STORE"
fi

: > "$OUT_DIR/vantor-sim.log"
"$SIM_BIN" --site "$SITE" --port "$SIM_PORT" >> "$OUT_DIR/vantor-sim.log" 2>&1 &
pids+=($!)
wait_for_text "vantor-sim: ready" 20 "$OUT_DIR/vantor-sim.log" || { log "vantor-sim did not start, see $OUT_DIR/vantor-sim.log"; exit 1; }
sim_started=$SECONDS

# The client makes its log on its first start: until then there is nothing before this run.
log_start=0
if [ -f "$CLIENT_LOG" ]; then
    log_start=$(wc -l < "$CLIENT_LOG")
fi
(cd "$RUN_DIR" && exec ./tavrel --layout "$DEMO_LAYOUT") &
pids+=($!)
(cd "$RUN_DIR" && exec ./client) &
pids+=($!)
client_pid=$!

client_log_has() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        tail -n "+$((log_start + 1))" "$CLIENT_LOG" 2>/dev/null | grep -qF -- "$1" && return 0
        sleep 0.1
    done
    return 1
}

if client_log_has "Fetching layouts" 30; then
    log "client signed in"
    if client_log_has "Applying layout:" 20; then
        log "the companion chose the layout \"$DEMO_LAYOUT\""
    else
        log "no layout was applied; see $RUN_DIR/tavrel.log, or pick one in the companion's window"
    fi
else
    log "the client did not sign in; see $CLIENT_LOG"
fi

# Both windows open at the same place; side by side they can be seen (and shot) together.
if command -v xdotool >/dev/null; then
    sleep 1
    client_window=$(xdotool search --name '^Client$' 2>/dev/null | head -n 1 || true)
    companion_window=$(xdotool search --name '^List$' 2>/dev/null | head -n 1 || true)
    [ -n "$client_window" ] && xdotool windowmove "$client_window" 0 0
    [ -n "$companion_window" ] && xdotool windowmove "$companion_window" 650 0
fi

if $headless; then
    sleep "$SHOT_DELAY"
    import -window root "$OUT_DIR/screen.png"
    import -window Client "$OUT_DIR/client.png" 2>/dev/null || true
    import -window List "$OUT_DIR/tavrel.png" 2>/dev/null || true
    shots="screen.png, client.png, tavrel.png"
    # The tiles' own figures (Ctrl+I), after a couple of their once-a-second updates.
    if command -v xdotool >/dev/null && [ -n "${client_window:-}" ]; then
        xdotool windowactivate --sync "$client_window" 2>/dev/null || xdotool windowfocus "$client_window" || true
        xdotool key --window "$client_window" ctrl+i
        sleep 2.5
        import -window Client "$OUT_DIR/client-stats.png" 2>/dev/null && shots="$shots, client-stats.png"
        # The first tile in full view (a double click): it plays its main stream, its figures say so.
        eval "$(xdotool getwindowgeometry --shell "$client_window" 2>/dev/null || true)"
        if [ -n "${WIDTH:-}" ] && [ -n "${HEIGHT:-}" ]; then
            xdotool mousemove --window "$client_window" $((WIDTH / 4)) $((HEIGHT / 3)) click --repeat 2 --delay 80 1
            sleep 3
            import -window Client "$OUT_DIR/client-fullview.png" 2>/dev/null && shots="$shots, client-fullview.png"
        fi
        # The alarms: a second companion has the layout "Alarms" shown, F9 shows the alarm panel,
        # and the shot waits until the panel lists an alarm.
        (cd "$RUN_DIR" && exec ./tavrel --layout "$ALARM_LAYOUT") &
        pids+=($!)
        if client_log_has "Applying layout: \"$ALARM_LAYOUT\"" 20; then
            # The new companion opens over the client: beside it, as the first one.
            for window in $(xdotool search --name '^List$' 2>/dev/null || true); do
                [ "$window" != "${companion_window:-}" ] && xdotool windowmove "$window" 650 0
            done
            xdotool windowraise "$client_window" 2>/dev/null || true
            xdotool windowactivate --sync "$client_window" 2>/dev/null || xdotool windowfocus "$client_window" || true
            # Room for the panel beside the tiles.
            xdotool windowsize "$client_window" 1280 760 2>/dev/null || true
            xdotool key --window "$client_window" F9
            # The demo's back door is forced open 25 s after the start and stays open for 35 s:
            # its tile shows the alarm then.
            while [ $((SECONDS - sim_started)) -lt 32 ]; do sleep 1; done
            if client_log_has "Alarm panel lists" "$ALARM_WAIT"; then
                sleep 2
                import -window Client "$OUT_DIR/client-alarms.png" 2>/dev/null && shots="$shots, client-alarms.png"
            else
                log "no alarm was listed within $ALARM_WAIT s; see $OUT_DIR/vantor-sim.log and $CLIENT_LOG"
            fi
        else
            log "the layout \"$ALARM_LAYOUT\" was not applied; see $RUN_DIR/tavrel.log"
        fi
        # The recorded page with the layout's cameras in step (L): a companion shows the layout
        # and the page; the shot waits until every camera has had time to fetch its chunk.
        log_start=$(wc -l < "$CLIENT_LOG")
        (cd "$RUN_DIR" && exec ./tavrel --layout "$DEMO_LAYOUT" --page recorder) &
        pids+=($!)
        if client_log_has "Applying layout: \"$DEMO_LAYOUT\"" 20; then
            for window in $(xdotool search --name '^List$' 2>/dev/null || true); do
                [ "$window" != "${companion_window:-}" ] && xdotool windowmove "$window" 650 0
            done
            xdotool windowraise "$client_window" 2>/dev/null || true
            xdotool windowactivate --sync "$client_window" 2>/dev/null || xdotool windowfocus "$client_window" || true
            xdotool key --window "$client_window" F9
            sleep 2
            xdotool key --window "$client_window" l
            if client_log_has "clock anchor" 20; then
                sleep "$SYNC_WAIT"
                import -window Client "$OUT_DIR/client-recorded-sync.png" 2>/dev/null &&
                    shots="$shots, client-recorded-sync.png"
            else
                log "the recorded page did not play the cameras in step; see $CLIENT_LOG"
            fi
        else
            log "the layout \"$DEMO_LAYOUT\" was not applied again; see $RUN_DIR/tavrel.log"
        fi
    fi
    log "screenshots saved to $OUT_DIR ($shots)"
else
    log "the station is running; close the client's window or press Ctrl+C to stop"
    wait "$client_pid" || true
fi
