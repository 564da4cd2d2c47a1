#!/usr/bin/env python3
"""bench/RESULTS.md from the raw figures of scripts/bench.sh.

    report.py --work DIR --out FILE

DIR is the script's work folder: `params` (key=value lines: what was run, and on what machine),
the raw figures of each group that ran (`tiles.raw`, `streams.log`, `switch.raw`, `pos.raw`,
`repository.raw`, `repository.counts`, `signin.raw`, `recorded.raw`, `substreams.raw`, `events.raw`,
`memory.raw`, `sync.raw`) and the
screen samples of groups 1, 7 and 9. The
statistics, the tables, the goal checks and the findings' figures are all here; the shell only
builds, starts and collects. Every goal is a row of GOALS. Standard library only.

Figures are the median of the runs with the minimum and maximum in brackets when they differ;
ratios are taken within a run and then summarised the same way.
"""
import argparse
import glob
import io
import json
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import instep  # noqa: E402  (the tables of group 9)
import lag  # noqa: E402  (the screen tables of group 1)

GROUPS = ["tiles", "switch", "pos", "repository", "signin", "recorded", "substreams", "events", "sync", "memory"]
TITLES = {
    "tiles": "1. Live tiles",
    "switch": "2. Layout switch",
    "pos": "3. POS delivery",
    "repository": "4. Large sites",
    "signin": "5. Sign-in",
    "recorded": "6. Recorded video",
    "substreams": "7. Sub-streams",
    "events": "8. Events and alarms",
    "sync": "9. Cameras in step",
    "memory": "10. Memory given back",
}

# The goals: (name, test, limit, the text of the check when met, when not met). A text has the
# figure as {value} and the limit as {limit}. The goals of the screen figures of group 1 are in
# lag.GOALS.
GOALS = {
    "tiles_cpu_ratio": ("<=", 0.8),
    "switch_ratio_less_delay": ("<=", 1.5),
    "pos_lost": ("==", 0),
    "pos_p99_ratio": ("<=", 2.0),
    "rebuild_exponent": ("<=", 1.1),
    "rebuild_100k_ms": ("<", 500.0),
    "rebuild_100k_ms_at_most": ("<", 1000.0),
    "rebuild_instruction_exponent": ("<=", 1.05),
    "nine_tiles_played": (">=", 0.98),
    # A day of a stream of 100,000 chunks, from the search to the time bar drawn: smooth means
    # within a frame or two of the page.
    "recorded_day_ms": ("<", 100.0),
    # A day's POS receipts searched once fetched: well under a second.
    "pos_search_ms": ("<", 100.0),
    # A wall of 16 1080p cameras on their sub-streams: the worst tile shows what a 16-tile wall of
    # 360p streams must (lag.GOALS), and stays live.
    "substreams_shown_worst": (">=", 20.0),
    "substreams_lag_worst": ("<=", 0.3),
    # Events with 9 live tiles playing: the row on the screen within 100 ms (p99) at 100 events a
    # second, and the window answering within 100 ms at 1,000 a second.
    "events_p99_ms": ("<=", 100.0),
    "events_stall_ms": ("<=", 100.0),
    # A full journal (200,000 events) costs at most 300 ms of start-up; a text filter over it 50 ms.
    "events_startup_extra_ms": ("<=", 300.0),
    "events_filter_ms": ("<=", 50.0),
    # Back on a small layout after a large one, a station holds at most 1.5 times what one that only
    # ever showed the small layout holds, and that does not grow from round trip to round trip
    # (the last ten rounds against the first ten, medians).
    "memory_ratio": ("<=", 1.5),
    "memory_growth": ("<=", 1.05),
}


def met(goal, value):
    test, limit = GOALS[goal]
    return {"<=": value <= limit, "<": value < limit, ">=": value >= limit, "==": value == limit}[test]


# ---------------------------------------------------------------------------------------------
# Numbers as the report has always printed them

def g6(value):
    """A number as printf's %.6g gives it, back as a number: every intermediate figure of the
    report went through that form, so the rounding of the last digit stays as it was."""
    return float("%.6g" % value)


def stats(values):
    """(median, min, max) of the values, or None for none."""
    values = sorted(g6(v) for v in values)
    if not values:
        return None
    n = len(values)
    mid = values[(n - 1) // 2] if n % 2 else (values[n // 2 - 1] + values[n // 2]) / 2
    return g6(mid), values[0], values[-1]


def fmt(digits, summary):
    """median (min–max), or the median alone when the runs agree; n/a for no figures."""
    if summary is None:
        return "n/a"
    med, low, high = ("%.*f" % (digits, v) for v in summary)
    return med if low == high else "%s (%s–%s)" % (med, low, high)


def fixed(digits, value):
    return "%.*f" % (digits, value)


# ---------------------------------------------------------------------------------------------
# Raw figures

def fields(line):
    out = {}
    for position, word in enumerate(line.split()):
        key, sep, value = word.partition("=")
        out[key if sep else position] = value if sep else word
    return out


def read_lines(work, name):
    path = os.path.join(work, name)
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8", errors="replace") as f:
        return [fields(line) for line in f if line.strip()]


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def numbers(lines, key):
    return [v for v in (number(line.get(key)) for line in lines) if v is not None]


def per_run(lines, key):
    """{run: figure} of the lines that have the figure."""
    return {l.get("run"): number(l.get(key)) for l in lines if number(l.get(key)) is not None}


def read_params(work):
    params = {}
    path = os.path.join(work, "params")
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            for line in f:
                key, sep, value = line.rstrip("\n").partition("=")
                if sep:
                    params[key] = value
    return params


class Report:
    def __init__(self, work, params):
        self.work = work
        self.p = params
        self.checks = []

    def check(self, text):
        self.checks.append("- %s" % text)

    def param(self, key, default=""):
        return self.p.get(key, default)

    def int_param(self, key, default=0):
        try:
            return int(self.p.get(key, default))
        except ValueError:
            return default

    # -----------------------------------------------------------------------------------------
    # Group 1: live tiles (the screen tables come from lag.py)

    def tiles_configs(self):
        return [tuple(c.split()) for c in self.param("TILES_CONFIGS").split(",") if c.strip()]

    def tiles(self, out):
        raw = read_lines(self.work, "tiles.raw")

        def rows(who, stream, n):
            return [l for l in raw if l.get("stream") == stream and l.get("n") == n and l.get(3) == who]

        def tiles_of(who, stream, n):
            return [l for l in raw if l.get("stream") == stream and l.get("n") == n and l.get(3) == "tile"
                    and l.get("who") == who]

        def ratio(stream, n, key):
            client = per_run(rows("client", stream, n), key)
            players = per_run(rows("mpv", stream, n), key)
            return [g6(client[r] / players[r]) for r in client if r in players and players[r] > 0]

        def ms_per_frame(who, stream, n):
            cpu = per_run(rows(who, stream, n), "cpu_s")
            frames = {}
            for tile in tiles_of(who, stream, n):
                frames[tile.get("run")] = frames.get(tile.get("run"), 0) + (number(tile.get("frames")) or 0)
            return {r: g6(cpu[r] * 1000 / frames[r]) for r in cpu if frames.get(r, 0) > 0}

        def frame_ratio(stream, n):
            client = ms_per_frame("client", stream, n)
            players = ms_per_frame("mpv", stream, n)
            return [g6(client[r] / players[r]) for r in client if r in players and players[r] > 0]

        def tile_sum(who, stream, n, key):
            sums = {}
            for tile in tiles_of(who, stream, n):
                sums[tile.get("run")] = sums.get(tile.get("run"), 0) + (number(tile.get(key)) or 0)
            return list(sums.values())

        seconds = self.param("TILES_SECONDS")
        players_seconds = self.param("PLAYERS_SECONDS", seconds)
        out.write("The real `client` against `vantor-sim` with a benchmark site whose stream objects point at H.264\n")
        out.write("streams (640×360 at 1 Mbit/s and 1280×720 at 2.5 Mbit/s, 25 fps, a key frame every second, no\n")
        out.write("B-frames, %s frames long; ffmpeg `testsrc2` under a strip of black and white blocks that shows\n"
                  % self.param("LIVE_MEDIA_FRAMES"))
        out.write("each frame's number, `bench/framecode.py`), served on loopback over HTTP at their real-time rate\n")
        if self.param("STREAM_SERVER_SPAWN", "0") == "1":
            out.write("without re-encoding (`bench/streamserver.py --spawn`: `ffmpeg -re -stream_loop -1 -c copy -f mpegts`\n")
            out.write("per connection). The client signs in\n")
        else:
            out.write("without re-encoding (`bench/streamserver.py`: each file remuxed once to MPEG-TS, its frames\n")
            out.write("paced out per connection as `ffmpeg -re` does, no process per connection). The client signs in\n")
        out.write("by its stored login fields, its window is placed over the\n")
        out.write("whole %s screen (`STATION_WINDOW_GEOMETRY`) and `bench_live` applies a square layout\n"
                  % self.param("SCREEN_SIZE"))
        out.write("over the remote interface. Once every tile reports a loaded video, the window of %s s starts"
                  % seconds)
        if players_seconds != seconds:
            out.write(" (%s s for the players, measured for less to keep the run short)" % players_seconds)
        out.write(":\n")
        out.write("CPU is user + system time of the process from `/proc/PID/stat`, peak RSS is `VmHWM`. The\n")
        out.write("baseline, on the same display right after: one standalone `mpv` per stream with the options of a\n")
        out.write("camera tile (`--profile=low-latency --cache=no --video-sync=desync --aid=no --ao=null\n")
        out.write("--hwdec=auto`, OpenGL output, the size and place of the client's tile of that stream), with the\n")
        out.write("player's own extras off (configuration files, on-screen controller, scripts), as they are in\n")
        out.write("libmpv; its CPU and peak RSS are summed over the players. POS is off in the site. During the\n")
        out.write("window `bench_screen` reads the screen for both (last table). %s run(s) per row.\n\n"
                  % self.param("TILES_RUNS"))
        out.write("A CPU ratio below 1 means little while the tiles do not keep up (next table): the client then\n")
        out.write("shows fewer frames than the players. *Per frame* divides the CPU time by the frames played.\n\n")
        out.write("| Streams | Tiles | Tile (px) | Client CPU (% of a core) | mpv CPU, summed | CPU ratio | Client CPU per "
                  "frame (ms) | mpv CPU per frame (ms) | Per-frame ratio | Client peak RSS (MB) | mpv peak RSS, summed "
                  "(MB) | RSS ratio |\n")
        out.write("|---|---|---|---|---|---|---|---|---|---|---|---|\n")
        for stream, n in self.tiles_configs():
            sizes = [t.get("size") for t in tiles_of("client", stream, n) if t.get("size")]
            out.write("| %s |\n" % " | ".join([
                stream, n, sizes[0] if sizes else "",
                fmt(0, stats(numbers(rows("client", stream, n), "cpu_pct"))),
                fmt(0, stats(numbers(rows("mpv", stream, n), "cpu_pct"))),
                fmt(2, stats(ratio(stream, n, "cpu_pct"))),
                fmt(2, stats(ms_per_frame("client", stream, n).values())),
                fmt(2, stats(ms_per_frame("mpv", stream, n).values())),
                fmt(2, stats(frame_ratio(stream, n))),
                fmt(0, stats(g6(v / 1024) for v in numbers(rows("client", stream, n), "hwm_kb"))),
                fmt(0, stats(g6(v / 1024) for v in numbers(rows("mpv", stream, n), "hwm_kb"))),
                fmt(2, stats(ratio(stream, n, "hwm_kb")))]))
        out.write("\nPer tile over the window: *played* is the video time a tile advanced per second of wall time\n")
        out.write("(1.00 keeps up with the live stream; below it, the picture falls ever further behind), and\n")
        out.write("*frames* that time × 25. mpv's `estimated-frame-number` stays 0 for these streams (the\n")
        out.write("low-latency profile's short probe finds no container frame rate), so frames are counted from\n")
        out.write("the position. Dropped (`frame-drop-count`), decoder-dropped (`decoder-frame-drop-count`) and\n")
        out.write("delayed (`vo-delayed-frame-count`) are summed over the tiles. Figures: median (min–max) over\n")
        out.write("all tiles of all runs; the sums over the runs.\n\n")
        out.write("| Streams | Tiles | Player | Played (s/s) | Frames per tile | Dropped | Decoder-dropped | Delayed | "
                  "Time to all loaded (ms) |\n")
        out.write("|---|---|---|---|---|---|---|---|---|\n")
        for stream, n in self.tiles_configs():
            for who in ("client", "mpv"):
                out.write("| %s |\n" % " | ".join([
                    stream, n, who,
                    fmt(2, stats(numbers(tiles_of(who, stream, n), "realtime"))),
                    fmt(0, stats(numbers(tiles_of(who, stream, n), "frames"))),
                    fmt(0, stats(tile_sum(who, stream, n, "drop"))),
                    fmt(0, stats(tile_sum(who, stream, n, "decdrop"))),
                    fmt(0, stats(tile_sum(who, stream, n, "delayed"))),
                    fmt(0, stats(numbers(rows(who, stream, n), "load_ms")))]))
        out.write("\nThe client's load time runs from `setLayout` to the first tile-statistics tick (every 500 ms)\n")
        out.write("with every tile loaded, and includes the tiles' 500 ms load delay; the players' from their\n")
        out.write("IPC connection to all of them loaded.\n")
        self.tiles_screen(out)

        for stream, n in self.tiles_configs():
            cpu = stats(ratio(stream, n, "cpu_pct"))
            per_frame = stats(frame_ratio(stream, n))
            if cpu is None or per_frame is None:
                self.check("Live tiles, %s of %s: no figures (a run failed; see the log of the run)." % (n, stream))
                continue
            self.check("Live tiles, %s of %s: client CPU %s× the players' summed CPU, %s (goal: at most 0.8; per frame "
                       "shown %s×)." % (n, stream, fixed(2, cpu[0]), "met" if met("tiles_cpu_ratio", cpu[0])
                                        else "not met", fixed(2, per_frame[0])))
            if (stream, n) == ("360p", "9"):
                drops = stats(tile_sum("client", stream, n, "drop"))
                played = stats(numbers(tiles_of("client", stream, n), "realtime"))
                if drops is not None and drops[2] == 0 and played is not None and met("nine_tiles_played", played[1]):
                    self.check("Live tiles, 9 of 360p: no dropped frames, and every tile kept up with its stream "
                               "(goal: no drops).")
                else:
                    self.check("Live tiles, 9 of 360p: up to %s dropped frames in a run, the slowest tile played %s s "
                               "of video per second (goal: no drops, keeping up)."
                               % ("?" if drops is None else "%.6g" % drops[2],
                                  fixed(2, played[1] if played else 0)))

    def tiles_screen(self, out):
        if self.int_param("TILES_SAMPLE_HZ") == 0:
            out.write("\nThe screen was not read (`--tiles-sample-hz 0`): no lag, no frames shown, no stall test.\n")
            return
        out.write("\nRead off the screen, from outside the players: `bench_screen` grabs the middle rows of each\n")
        out.write("tile's strip (shared memory, one X request per row of tiles, never the whole screen) %s times a\n"
                  % self.param("TILES_SAMPLE_HZ"))
        out.write("second, stamps each grab with CLOCK_MONOTONIC and reads the frame number of every tile; the\n")
        out.write("strip's two marker blocks and its check reject what does not read (*misread*; *no strip* is a\n")
        out.write("tile with no picture). Where a tile is: the client's statistics give each video item's rectangle in its\n")
        out.write("window (at 0,0), a player's window is where its geometry puts it, and the 16:9 video is fitted\n")
        out.write("inside. The stream server logs when each connection started sending (t0); it sends (as `ffmpeg -re`)\n")
        out.write("frame k at t0 + (k − 1)/25 (measured with `bench/lag.py pacing`), so a tile's *lag* is the\n")
        out.write("frame its server is sending at the sample less the frame it shows, over 25 (`bench/lag.py`;\n")
        out.write("the latest connection of its port counts). Lag: median / worst over the samples of all tiles;\n")
        out.write("*growth*: the slope of a tile's lag over the window, median / worst tile (0 keeps up; 0.5\n")
        out.write("plays at half speed); *frames shown*: changes of the number read, per second, median / worst\n")
        out.write("tile; *by its counters*: the client's presented frames (`presentedFrames`), the players'\n")
        out.write("position × 25. The last minute is shown for windows of two minutes or more.\n\n")
        if self.int_param("TILES_STALL") > 0:
            out.write("The stall test (second table): after the window the client, or every player, is\n")
            out.write("stopped with SIGSTOP for %s s and continued; the screen is read for %s s more. *Lag before*:\n"
                      % (self.param("TILES_STALL"), self.param("TILES_STALL_OBSERVE")))
            out.write("the median over the tiles of each tile's median lag in the 5 s before the stop, its live edge;\n")
            out.write("a tile is back when its lag stays within 0.3 s of that; *lag added*: the median over the tiles\n")
            out.write("of its lag at the end less its lag before. The last table is the cost of the reading itself:\n")
            out.write("its own CPU, and the round trip of its X requests, which bounds the X server's share.\n\n")
        path = os.path.join(self.work, "tiles.raw")
        try:
            raw = lag.read_raw(path)
            connections = lag.Connections.read(os.path.join(self.work, "streams.log"))
            rows = lag.row_figures(raw, connections, self.int_param("LIVE_MEDIA_FRAMES", 18000), self.work)
        except (OSError, ValueError, KeyError) as error:
            out.write("No figures: the screen samples could not be read (%s).\n" % error)
            return
        if not rows:
            out.write("No screen samples (a run failed; see the log of the run).\n")
            return
        lag.report_markdown(rows, out)
        self.checks.extend("- %s" % line for line in lag.check_goals(rows))

    # -----------------------------------------------------------------------------------------
    # Group 2: layout switch

    def switch(self, out):
        raw = read_lines(self.work, "switch.raw")
        switches = [l for l in raw if l.get(1) == "switch"]
        firsts = [l for l in raw if l.get(1) == "firstframe"]
        delay = self.int_param("SWITCH_DEBOUNCE_MS", 500)

        def values(key):
            return numbers(switches, key)

        out.write("The client of group 1 (same site, same streams, same window) shows `Switch A` once, then switches\n")
        out.write("%s times between `Switch A` and `Switch B`, two 3×3 layouts of nine different 640×360 streams,\n"
                  % self.param("SWITCHES"))
        out.write("by `setLayout` over the remote interface, 1 s apart. A switch lasts from the call to the ninth\n")
        out.write("\"videoLoaded: true\" line in the client's log (log lines carry the monotonic clock). The\n")
        out.write("baseline is one standalone `mpv` (the options of group 1), %s starts: from starting the process to\n"
                  % self.param("FIRSTFRAME_RUNS"))
        out.write("its first video size (`dwidth` > 0, what a tile's \"videoLoaded\" waits for) of the first stream.\n")
        out.write("A tile loads its URL %d ms after it gets it (its load delay); the second row takes that off.\n" % delay)
        out.write("The rows after it split a switch by the log lines of the client (`loadFile` is logged when a tile\n")
        out.write("hands its URL to its player).\n\n")
        out.write("| Figure | Median (min–max) (ms) |\n|---|---|\n")
        out.write("| switch, `setLayout` to all 9 tiles loaded | %s |\n" % fmt(0, stats(values("total_ms"))))
        out.write("| the same less the %d ms load delay | %s |\n" % (delay, fmt(0, stats(v - delay for v in values("total_ms")))))
        out.write("| `setLayout` to \"Applying layout:\" in the client | %s |\n" % fmt(0, stats(values("applied_ms"))))
        out.write("| `setLayout` to the first tile's `loadFile` | %s |\n" % fmt(0, stats(values("first_load_ms"))))
        out.write("| `setLayout` to the last tile's `loadFile` | %s |\n" % fmt(0, stats(values("last_load_ms"))))
        out.write("| `setLayout` to the first tile loaded | %s |\n" % fmt(0, stats(values("first_loaded_ms"))))
        own = [number(l.get("total_ms")) - number(l.get("first_load_ms")) for l in switches
               if number(l.get("total_ms")) is not None and (number(l.get("first_load_ms")) or -1) >= 0]
        out.write("| first `loadFile` to all 9 tiles loaded (the players' own part) | %s |\n" % fmt(0, stats(own)))
        out.write("| baseline: `mpv` start to its first frame | %s |\n" % fmt(0, stats(numbers(firsts, "ms"))))
        total = stats(values("total_ms"))
        player = stats(numbers(firsts, "ms"))
        if total is None or player is None:
            self.check("Layout switch: no figures (a run failed; see the log of the run).")
            return
        raw_ratio = total[0] / player[0]
        less = (total[0] - delay) / player[0]
        out.write("\n| Ratio of medians to the baseline | Raw | Less the load delay |\n|---|---|---|\n")
        out.write("| switch / mpv first frame | %s | %s |\n" % (fixed(2, raw_ratio), fixed(2, less)))
        # The goal allows the load delay on top of 1.5 times a player's start.
        self.check("Layout switch: %s ms; less the %d ms load delay, %s× mpv's first frame, %s (goal: at most 1.5×; "
                   "%s× with the delay)." % (fixed(0, total[0]), delay, fixed(2, less),
                                             "met" if met("switch_ratio_less_delay", less) else "not met",
                                             fixed(2, raw_ratio)))

    # -----------------------------------------------------------------------------------------
    # Group 3: POS delivery

    def pos(self, out):
        raw = read_lines(self.work, "pos.raw")
        rates = [r for r in self.param("POS_RATES").split(",") if r]

        def of(receiver, rate):
            return [l for l in raw if l.get("receiver") == receiver and l.get("rate") == rate]

        def ratio(rate, key):
            plain = {l.get("run"): number(l.get(key)) for l in of("plain", rate)}
            out_ = []
            for line in of("posreceiver", rate):
                p = plain.get(line.get("run"))
                q = number(line.get(key))
                if p and p > 0 and q is not None:
                    out_.append(g6(q / p))
            return out_

        out.write("A publisher thread in the same process sends two-frame messages (channel, then a receipt text\n")
        out.write("whose first line holds a sequence number and the steady-clock send time) over loopback TCP,\n")
        out.write("paced to the rate, %s s per rate. `PosReceiver` subscribes the channel on a Qt event loop and the\n"
                  % self.param("POS_SECONDS"))
        out.write("latency is taken in a handler of `posReceived`; the baseline is a plain cppzmq SUB socket read\n")
        out.write("with `zmq::poll` and non-blocking receives. Both keep the default receive high-water mark; the\n")
        out.write("publisher queues without limit, so any loss is the receiving side's. Each gets a fresh publisher\n")
        out.write("and socket, synchronised by probe messages before counting. *Late* is the 99th percentile of how\n")
        out.write("far behind its schedule the publisher sent. `PosReceiver`'s guard against a runaway publisher\n")
        out.write("(it passes on at most 500 messages a second to the window and drops the rest, with a count\n")
        out.write("in the log) is switched off here, so that the delivery itself is measured. %s runs.\n\n"
                  % self.param("RUNS"))
        out.write("| Rate (msg/s) | Receiver | Sent | Delivered | Lost | p50 (µs) | p99 (µs) | max (µs) | Receiver CPU "
                  "(µs/msg) | Late p99 (µs) |\n")
        out.write("|---|---|---|---|---|---|---|---|---|---|\n")
        for rate in rates:
            for receiver, name in (("plain", "plain SUB loop"), ("posreceiver", "PosReceiver")):
                lines = of(receiver, rate)
                out.write("| %s |\n" % " | ".join([rate, name] + [
                    fmt(d, stats(numbers(lines, key))) for key, d in (
                        ("sent", 0), ("delivered", 0), ("lost", 0), ("p50_us", 0), ("p99_us", 0), ("max_us", 0),
                        ("cpu_us_per_msg", 2), ("pace_p99_us", 0))]))
        out.write("\nRatios of PosReceiver to the plain loop, per run:\n\n")
        out.write("| Rate (msg/s) | p50 ratio | p99 ratio | CPU per message ratio |\n|---|---|---|---|\n")
        for rate in rates:
            out.write("| %s | %s | %s | %s |\n" % (rate, fmt(2, stats(ratio(rate, "p50_us"))),
                                                   fmt(2, stats(ratio(rate, "p99_us"))),
                                                   fmt(2, stats(ratio(rate, "cpu_us_per_msg")))))
        for rate in rates:
            lost = stats(numbers(of("posreceiver", rate), "lost"))
            if lost is not None and met("pos_lost", lost[2]):
                self.check("POS at %s msg/s: no loss through PosReceiver in any run." % rate)
            else:
                self.check("POS at %s msg/s: PosReceiver lost up to %s messages in a run (goal: none)."
                           % (rate, "?" if lost is None else "%.6g" % lost[2]))
            p99 = stats(ratio(rate, "p99_us"))
            if p99 is not None and met("pos_p99_ratio", p99[0]):
                self.check("POS at %s msg/s: p99 latency %s× the plain loop's (goal: at most 2×)." % (rate, fixed(2, p99[0])))
            else:
                self.check("POS at %s msg/s: p99 latency %s× the plain loop's, above the goal of 2×."
                           % (rate, fixed(2, p99[0] if p99 else 0)))

    # -----------------------------------------------------------------------------------------
    # Group 4: large sites

    def repository(self, out):
        raw = read_lines(self.work, "repository.raw")
        counts = read_lines(self.work, "repository.counts")
        sizes = (1000, 10000, 100000)

        def values(name, arg, key):
            return numbers([l for l in raw if l.get(0) == "bm" and l.get("name") == name and l.get("arg") == str(arg)],
                           key)

        def scaled(name, arg, key, divisor):
            return [g6(v / divisor) for v in values(name, arg, key)]

        def exponent(name, key):
            small, large = values(name, 10000, key), values(name, 100000, key)
            return [g6(math.log(b / a) / math.log(10)) for a, b in zip(small, large) if a > 0 and b > 0]

        def count(n, key):
            found = numbers([l for l in counts if l.get("n") == str(n)], key)
            return found[0] if found else None

        errors = sum(1 for l in raw if l.get("error") == "1")
        out.write("Google Benchmark, %s repetitions, in one process. A synthetic site: root location, locations\n"
                  % self.param("RUNS"))
        out.write("(one per 2,000 objects, at least 2), one stream gateway holding min(5,000, n/2) streams, then\n")
        out.write("cameras (device, stream, motion sensor) and door controllers (device, door sensor, door actuator).\n")
        out.write("Times are the thread's CPU time; wall time beside it. *Rebuild* is `VantorClient::updateRepository`\n")
        out.write("on a full repository (the re-fetch after a change of object data: clear, then build); *load* is the\n")
        out.write("first fetch into an empty repository; *clear* only releases the records. Heap per record is the\n")
        out.write("growth of malloc's bytes in use (all arenas) over the first load; the library's object list that\n")
        out.write("is the input takes the figure in the last column.\n\n")
        out.write("| Figure | Objects | CPU time (ms) | Wall time (ms) | CPU per object (µs) | Heap per record (B) | Input "
                  "list per object (B) |\n")
        out.write("|---|---|---|---|---|---|---|\n")
        for n in sizes:
            out.write("| rebuild | %d | %s | %s | %s | %s | %s |\n" % (
                n, fmt(2, stats(scaled("BM_Rebuild", n, "cpu_ns", 1e6))),
                fmt(2, stats(scaled("BM_Rebuild", n, "real_ns", 1e6))),
                fmt(2, stats(scaled("BM_Rebuild", n, "cpu_ns", n * 1000))),
                fmt(0, stats(values("BM_Rebuild", n, "heap_B_per_object"))),
                fmt(0, stats(values("BM_Rebuild", n, "list_B_per_object")))))
        for label, bm in (("load", "BM_Load"), ("clear", "BM_Clear")):
            for n in sizes:
                out.write("| %s | %d | %s | %s | %s | | |\n" % (
                    label, n, fmt(2, stats(scaled(bm, n, "cpu_ns", 1e6))), fmt(2, stats(scaled(bm, n, "real_ns", 1e6))),
                    fmt(2, stats(scaled(bm, n, "cpu_ns", n * 1000)))))
        out.write("\n| Scaling exponent, 10k to 100k objects: log(t100k / t10k) / log(10), per repetition | CPU time | "
                  "Wall time |\n|---|---|---|\n")
        for label, bm in (("rebuild", "BM_Rebuild"), ("load", "BM_Load"), ("clear", "BM_Clear")):
            out.write("| %s | %s | %s |\n" % (label, fmt(2, stats(exponent(bm, "cpu_ns"))),
                                             fmt(2, stats(exponent(bm, "real_ns")))))
        if counts:
            out.write("\nInstructions executed (valgrind callgrind, one run, only the update itself):\n\n")
            out.write("| Objects | Load: instructions per object | Rebuild: instructions per object |\n|---|---|---|\n")
            for n in sizes:
                load, rebuild = count(n, "load"), count(n, "rebuild")
                out.write("| %d | %s | %s |\n" % (n, "" if load is None else fixed(0, load / n),
                                                  "" if rebuild is None else fixed(0, rebuild / n)))

            def count_exponent(key, digits):
                a, b = count(10000, key), count(100000, key)
                return fixed(digits, math.log(b / a) / math.log(10)) if a and b else ""
            out.write("| exponent, 10k to 100k | %s | %s |\n" % (count_exponent("load", 3), count_exponent("rebuild", 3)))
        out.write("\n| Layouts and URLs | CPU time (µs) | Wall time (µs) |\n|---|---|---|\n")
        for label, name, arg, digits in (
                ("`fromJson`, 1,000 video elements (109 kB of JSON)", "BM_FromJson", 0, 0),
                ("`fromJson`, 900 video and 100 door elements, doors paired among the actuators of a 10k site",
                 "BM_FromJson", 1, 0),
                ("`url` role of all 1,000 cells (lookup and expansion each)", "BM_LayoutUrls", "-", 0),
                ("`expandTemplate` of a typical stream URL (94 bytes, 4 references, 1 section)", "BM_ExpandTemplate",
                 "-", 2)):
            out.write("| %s | %s | %s |\n" % (label, fmt(digits, stats(scaled(name, arg, "cpu_ns", 1e3))),
                                             fmt(digits, stats(scaled(name, arg, "real_ns", 1e3)))))

        if errors:
            self.check("Large sites: %d benchmark repetitions reported an error; see the log of the run." % errors)
        rebuild_exponent = stats(exponent("BM_Rebuild", "cpu_ns"))
        if rebuild_exponent is not None and met("rebuild_exponent", rebuild_exponent[0]):
            self.check("Rebuild scaling exponent %s (goal: at most 1.1)." % fixed(2, rebuild_exponent[0]))
        else:
            self.check("Rebuild scaling exponent %s, above the goal of 1.1."
                       % fixed(2, rebuild_exponent[0] if rebuild_exponent else 0))
        t100k = stats(scaled("BM_Rebuild", 100000, "cpu_ns", 1e6))
        if t100k is not None and met("rebuild_100k_ms", t100k[0]):
            self.check("Rebuild of 100k objects: %s ms (goal: well under a second)." % fixed(0, t100k[0]))
        elif t100k is not None and met("rebuild_100k_ms_at_most", t100k[0]):
            self.check("Rebuild of 100k objects: %s ms: under a second, but not well under it." % fixed(0, t100k[0]))
        else:
            self.check("Rebuild of 100k objects: %s ms, above the goal of well under a second."
                       % fixed(0, t100k[0] if t100k else 0))
        a, b = count(10000, "rebuild"), count(100000, "rebuild")
        if a and b:
            instructions = float(fixed(2, math.log(b / a) / math.log(10)))
            if met("rebuild_instruction_exponent", instructions):
                self.check("Rebuild instruction count exponent %s: the work per object stays constant, so what the "
                           "time exponent adds comes from memory stalls." % fixed(2, instructions))
            else:
                self.check("Rebuild instruction count exponent %s: the work per object itself grows with the site."
                           % fixed(2, instructions))

    # -----------------------------------------------------------------------------------------
    # Group 5: sign-in

    def signin(self, out):
        lines = [l for l in read_lines(self.work, "signin.raw") if l.get(1) == "signin"]

        def values(key):
            return [v for v in numbers(lines, key) if v >= 0]

        out.write("The client starts with the demo site's login fields stored (`sim/sites/demo.json` in\n")
        out.write("`vantor-sim`, 23 objects, 3 layouts) and signs in by itself; no layout is shown. `bench_live`\n")
        out.write("starts the process and reads the client's log and its statistics file (monotonic clock):\n")
        out.write("*logged in* is the line \"Logged in, id:\" (the moment `loggedIn` goes to the remote interface),\n")
        out.write("*layouts published* the first row of the layout list, filled right after the list went to\n")
        out.write("the remote interface (a record of the statistics file). A replica of the remote interface,\n")
        out.write("connecting from before the start, gives the companion's view: when it got connected, and\n")
        out.write("when it held the layouts (pushed, or the answer to its request when it connected later).\n")
        out.write("All from the start of the process; %s runs, a new process each.\n\n" % self.param("RUNS"))
        out.write("| Figure | Median (min–max) (ms) |\n|---|---|\n")
        for label, key in (("start to the first log line", "first_log_ms"), ("start to \"Logged in\"", "loggedin_ms"),
                           ("start to the layouts published", "listed_ms"),
                           ("start to the replica connected", "replica_connected_ms"),
                           ("start to the layouts at the replica", "replica_layouts_ms")):
            out.write("| %s | %s |\n" % (label, fmt(0, stats(values(key)))))
        signed, listed = stats(values("loggedin_ms")), stats(values("listed_ms"))
        if signed is not None and listed is not None:
            self.check("Sign-in against the demo site: logged in %s ms and layouts published %s ms after the start "
                       "(no goal set)." % (fixed(0, signed[0]), fixed(0, listed[0])))
        else:
            self.check("Sign-in: no figures (a run failed; see the log of the run).")

    def recorded(self, out):
        raw = read_lines(self.work, "recorded.raw")
        chunks = [l for l in raw if l.get(0) == "chunks"]
        pos = [l for l in raw if l.get(0) == "pos"]

        def of(mode, key):
            return numbers([l for l in chunks if l.get("mode") == mode], key)

        out.write("`bench_recorded` against `vantor-sim` with one stream of 100,000 chunks of 10 s (11.6 days),\n")
        out.write("%s runs in one process. *Fetch*: from `VantorClient::searchChunks` to the list in the process;\n"
                  % self.param("RUNS"))
        out.write("*show*: the list into the time bar's chunks and the chunk list's model, and the time bar (1600×60)\n")
        out.write("drawn once; *heap* and *RSS*: what the answer and what was made of it hold. *One day* is what\n")
        out.write("the recorded page asks for; *whole stream* is the search from the beginning of time to now.\n\n")
        out.write("| Search | Chunks | Fetch (ms) | Show (ms) | Heap (KiB) | RSS growth (KiB) |\n|---|---|---|---|---|---|\n")
        for mode, label in (("day", "one day"), ("all", "whole stream")):
            out.write("| %s | %s | %s | %s | %s | %s |\n" % (
                label, fmt(0, stats(of(mode, "count"))), fmt(1, stats(of(mode, "fetch_ms"))),
                fmt(2, stats(of(mode, "show_ms"))), fmt(0, stats(of(mode, "heap_kib"))),
                fmt(0, stats(of(mode, "rss_kib")))))
        out.write("\nThe day's POS text, as the page fetches it when a stream is chosen (`/pos-data` of the gateway):\n\n")
        out.write("| Figure | Median (min–max) |\n|---|---|\n")
        for label, key, digits in (("receipts", "receipts", 0), ("bytes", "bytes", 0), ("fetch (ms)", "fetch_ms", 1),
                                   ("load (ms)", "load_ms", 2), ("search \"coffee\" (ms)", "search_ms", 3),
                                   ("lines found", "found", 0), ("lines at a moment (µs)", "lines_us", 1)):
            out.write("| %s | %s |\n" % (label, fmt(digits, stats(numbers(pos, key)))))
        day_fetch, day_show = stats(of("day", "fetch_ms")), stats(of("day", "show_ms"))
        if day_fetch is not None and day_show is not None:
            total = day_fetch[0] + day_show[0]
            self.check("Recorded day of a 100,000-chunk stream: %s ms from the search to the time bar drawn (goal: "
                       "under %s ms): %s." % (fixed(0, total), fixed(0, GOALS["recorded_day_ms"][1]),
                                              "met" if met("recorded_day_ms", total) else "not met"))
        else:
            self.check("Recorded video: no figures (a run failed; see the log of the run).")
        search = stats(numbers(pos, "search_ms"))
        if search is not None:
            self.check("POS search of a day's receipts: %s ms once fetched (goal: under %s ms): %s." % (
                fixed(1, search[0]), fixed(0, GOALS["pos_search_ms"][1]),
                "met" if met("pos_search_ms", search[0]) else "not met"))

    # -----------------------------------------------------------------------------------------
    # Group 7: sub-streams

    def substreams(self, out):
        raw = read_lines(self.work, "substreams.raw")
        configs = [tuple(c.split()) for c in self.param("SUBSTREAMS_CONFIGS").split(",") if c.strip()]
        labels = {"1080p+sub": "sub-streams where they fill the tile", "1080p": "main streams only"}

        def client(stream, n):
            return [l for l in raw if l.get("stream") == stream and l.get("n") == n and l.get(3) == "client"]

        def tiles_of(stream, n):
            return [l for l in raw if l.get("stream") == stream and l.get("n") == n and l.get(3) == "tile"]

        def cpu_per_frame(stream, n):
            cpu = per_run(client(stream, n), "cpu_s")
            frames = {}
            for tile in tiles_of(stream, n):
                presented = number(tile.get("presented"))
                if presented is not None and presented >= 0:
                    frames[tile.get("run")] = frames.get(tile.get("run"), 0) + presented
            return {r: g6(cpu[r] * 1000 / frames[r]) for r in cpu if frames.get(r, 0) > 0}

        def cpu_ratio(n):
            sub = per_run(client("1080p+sub", n), "cpu_pct")
            main = per_run(client("1080p", n), "cpu_pct")
            return [g6(main[r] / sub[r]) for r in sub if r in main and sub[r] > 0]

        out.write("Group 1's set-up, with 16 more cameras of 1920×1080 at 4 Mbit/s (the same numbered frames, made\n")
        out.write("the same way) that send group 1's 640×360 streams as their sub-streams (\"subUrl\", \"size\",\n")
        out.write("\"subSize\" in the site), and the same 16 cameras again without sub-streams. The client shows each\n")
        out.write("16 as a 4×4 wall on the whole %s screen, one client run after the other (%s run(s)),\n"
                  % (self.param("SCREEN_SIZE"), self.param("TILES_RUNS")))
        out.write("and is measured for %s s once every tile has loaded, as in group 1: CPU from `/proc`, frames\n"
                  % self.param("TILES_SECONDS"))
        out.write("shown and lag read off the screen by `bench_screen`. *CPU per frame* divides the client's CPU\n")
        out.write("time by the frames its tiles presented. The ratio is the main streams' CPU over the\n")
        out.write("sub-streams', within a run.\n\n")
        out.write("| Wall | Tile (px) | Client CPU (% of a core) | CPU ratio | CPU per frame (ms) | Frames shown "
                  "(/s), median / worst tile | Lag (s), median / worst | Lag growth, worst (s/s) | Peak RSS (MB) | "
                  "Misread / no strip |\n")
        out.write("|---|---|---|---|---|---|---|---|---|---|\n")
        path = os.path.join(self.work, "substreams.raw")
        loop_frames = self.int_param("LIVE_MEDIA_FRAMES", 18000)
        try:
            parsed = lag.read_raw(path) if os.path.exists(path) else []
            connections = lag.Connections.read(os.path.join(self.work, "streams.log"))
            screen = lag.row_figures(parsed, connections, loop_frames, self.work)
            rounds = lag.fullview_rounds(parsed, connections, loop_frames, self.work)
        except (OSError, ValueError, KeyError) as error:
            out.write("\nNo figures: the screen samples could not be read (%s).\n" % error)
            return
        for stream, n in configs:
            runs = screen.get((stream, n, "client"), [])
            sizes = [t.get("size") for t in tiles_of(stream, n) if t.get("size")]
            out.write("| %s |\n" % " | ".join([
                "%s of 1080p, %s" % (n, labels.get(stream, stream)), sizes[0] if sizes else "",
                fmt(0, stats(numbers(client(stream, n), "cpu_pct"))),
                fmt(2, stats(cpu_ratio(n))) if stream == "1080p" else "1",
                fmt(2, stats(cpu_per_frame(stream, n).values())),
                lag.pair(runs, "shown_median", "shown_worst", 1) if runs else "n/a",
                lag.pair(runs, "lag_whole_median", "lag_whole_worst", 2) if runs else "n/a",
                lag.fmt([r.get("growth_worst") for r in runs], 3) if runs else "n/a",
                fmt(0, stats(g6(v / 1024) for v in numbers(client(stream, n), "hwm_kb"))),
                "%s / %s of %s" % (lag.fmt([r.get("misreads") for r in runs], 0),
                                   lag.fmt([r.get("nostrip") for r in runs], 0),
                                   lag.fmt([r.get("samples") for r in runs], 0)) if runs else "n/a"]))

        out.write("\nThe full view (after the sub-stream wall's window, in the same client): `bench_live` double-clicks\n")
        out.write("a tile as a mouse does (`bench_click`: XTEST, timed at the second press), reads the full view off\n")
        out.write("the screen from just before\n")
        out.write("(%s samples a second), and double-clicks again to go back; %s rounds on different tiles after\n"
                  % (self.param("TILES_SAMPLE_HZ"), self.param("FULLVIEW_ROUNDS")))
        out.write("one unmeasured round. From the end of the double click: *asked* is the client's \"loadFile:\" of\n")
        out.write("the main stream in its log; *at the server*, the stream server has read the player's request;\n")
        out.write("*on the wire*, the main stream's first bytes leave it (after it started that connection's\n")
        out.write("`ffmpeg`: the rig's own part); *on the screen*, the first\n")
        out.write("sample whose frame number fits the main stream's connection and not the sub-stream's (whose\n")
        out.write("picture stays meanwhile, enlarged); *hook*, the client's statistics tick (every 500 ms) that\n")
        out.write("first saw the full view loaded on the main stream. The tile grows to full size in a 250 ms\n")
        out.write("animation, during which the strip is not where it is read.\n\n")
        out.write("| Wall | Rounds | Asked (ms) | At the server (ms) | On the wire (ms) | On the screen (ms) | Hook (ms) | "
                  "Not seen on the screen |\n|---|---|---|---|---|---|---|---|\n")
        for (stream, n), figures in rounds.items():
            def ms(key):
                return [g6(f[key] * 1000) for f in figures if f.get(key) is not None]
            out.write("| %s of 1080p, %s | %d | %s | %s | %s | %s | %s | %d |\n" % (
                n, labels.get(stream, stream), len(figures), fmt(0, stats(ms("request_s"))),
                fmt(0, stats(ms("server_request_s"))), fmt(0, stats(ms("wire_s"))),
                fmt(0, stats(ms("screen_s"))), fmt(0, stats(ms("loaded_s"))),
                sum(1 for f in figures if f.get("screen_s") is None)))
        if not rounds:
            out.write("| | 0 | n/a | n/a | n/a | n/a | n/a | |\n")

        sub = screen.get(("1080p+sub", "16", "client"), [])
        main = screen.get(("1080p", "16", "client"), [])
        sub_cpu = stats(numbers(client("1080p+sub", "16"), "cpu_pct"))
        main_cpu = stats(numbers(client("1080p", "16"), "cpu_pct"))
        if sub and main and sub_cpu and main_cpu:
            shown_sub = lag.summarise([r.get("shown_worst") for r in sub])
            shown_main = lag.summarise([r.get("shown_worst") for r in main])
            lag_sub = lag.summarise([r.get("lag_whole_worst") for r in sub])
            lag_main = lag.summarise([r.get("lag_whole_worst") for r in main])
            self.check("Sub-streams, 16 tiles of 1080p: client CPU %s%% of a core on sub-streams against %s%% on the "
                       "main streams only; the worst tile shows %s frames a second against %s, the worst lag %s s "
                       "against %s s (no goal set for the comparison)." % (
                           fixed(0, sub_cpu[0]), fixed(0, main_cpu[0]),
                           "n/a" if shown_sub is None else fixed(1, shown_sub[1]),
                           "n/a" if shown_main is None else fixed(1, shown_main[1]),
                           "n/a" if lag_sub is None else fixed(2, lag_sub[2]),
                           "n/a" if lag_main is None else fixed(2, lag_main[2])))
            if shown_sub is not None:
                self.check("Sub-streams, 16 tiles of 1080p on sub-streams: the worst tile shows %s frames a second "
                           "(goal: at least %s): %s." % (
                               fixed(1, shown_sub[1]), fixed(0, GOALS["substreams_shown_worst"][1]),
                               "met" if met("substreams_shown_worst", shown_sub[1]) else "not met"))
            if lag_sub is not None:
                self.check("Sub-streams, 16 tiles of 1080p on sub-streams: worst lag %s s (goal: at most %s s): %s." % (
                    fixed(2, lag_sub[2]), fixed(1, GOALS["substreams_lag_worst"][1]),
                    "met" if met("substreams_lag_worst", lag_sub[2]) else "not met"))
        else:
            self.check("Sub-streams: no figures for one of the walls (a run failed; see the log of the run).")
        switches = [f["screen_s"] for figures in rounds.values() for f in figures if f.get("screen_s") is not None]
        if switches:
            summary = stats(g6(v * 1000) for v in switches)
            self.check("Full view: %s ms (%s–%s) from the double click to the main stream's first frame on the "
                       "screen over %d rounds (no goal set)." % (fixed(0, summary[0]), fixed(0, summary[1]),
                                                                 fixed(0, summary[2]), len(switches)))
        else:
            self.check("Full view: the main stream's first frame was not seen on the screen (see the log of the run).")

    # -----------------------------------------------------------------------------------------
    # Group 8: events and alarms

    def events(self, out):
        raw = read_lines(self.work, "events.raw")
        live = [l for l in raw if l.get(1) == "events"]
        rates = sorted({int(l["rate"]) for l in live if l.get("rate", "").isdigit()})

        def of(rate, key):
            return [v for v in numbers([l for l in live if l.get("rate") == str(rate)], key) if v >= 0]

        out.write("The client shows 9 live tiles (`Tiles 9 360p` of the benchmark site, as in group 1) and its\n")
        out.write("event list (alarms, the default filter); `vantor-sim` pushes events of priority 60 (alarms) at\n")
        out.write("each rate for %s s through its control channel (`flood-events`). *Push to screen*: the event's\n"
                  % self.param("EVENTS_SECONDS", "10"))
        out.write("time, stamped by the simulator as it pushes, to the first frame the client's window swapped with\n")
        out.write("the row in it (wall clock, one machine; the client's event statistics file). *Longest answer*:\n")
        out.write("from outside, `bench_live` asks the client's remote interface for its sign-in state every 20 ms;\n")
        out.write("the answer comes from the client's GUI thread, so the longest wait is its longest stall (plus\n")
        out.write("the round trip, under a millisecond). %s runs, a new client each.\n\n" % self.param("RUNS"))
        out.write("| Events/s | Pushed | Rows shown | Push to screen p50 (ms) | p99 (ms) | max (ms) | Longest answer (ms) | "
                  "Answer p99 (ms) |\n|---|---|---|---|---|---|---|---|\n")
        for rate in rates:
            out.write("| %d | %s | %s | %s | %s | %s | %s | %s |\n" % (
                rate, fmt(0, stats(of(rate, "pushed"))), fmt(0, stats(of(rate, "shown"))),
                fmt(0, stats(of(rate, "p50_ms"))), fmt(0, stats(of(rate, "p99_ms"))),
                fmt(0, stats(of(rate, "max_ms"))), fmt(0, stats(of(rate, "response_max_ms"))),
                fmt(0, stats(of(rate, "response_p99_ms")))))
        p99 = stats(of(100, "p99_ms"))
        if p99 is not None:
            self.check("Events at 100 a second with 9 live tiles: push to screen p99 %s ms (goal: at most %s ms): %s."
                       % (fixed(0, p99[0]), fixed(0, GOALS["events_p99_ms"][1]),
                          "met" if met("events_p99_ms", p99[0]) else "not met"))
        else:
            self.check("Events at 100 a second: no figures (a run failed; see the log of the run).")
        stall = stats(of(1000, "response_max_ms"))
        if stall is not None:
            self.check("Events at 1,000 a second with 9 live tiles: the GUI thread's longest answer %s ms (goal: at "
                       "most %s ms): %s." % (fixed(0, stall[0]), fixed(0, GOALS["events_stall_ms"][1]),
                                            "met" if met("events_stall_ms", stall[0]) else "not met"))
        self.events_journal(out, raw)

    def events_journal(self, out, raw):
        runs = []
        for path in sorted(glob.glob(os.path.join(self.work, "events-journal-*.json"))):
            try:
                with open(path, encoding="utf-8") as f:
                    runs.append({b["name"]: b for b in json.load(f).get("benchmarks", [])})
            except (OSError, ValueError):
                continue

        def ms(name):
            values = []
            for run in runs:
                b = run.get(name)
                if b is not None:
                    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}.get(b.get("time_unit", "ns"), 1e-6)
                    values.append(b["real_time"] * scale)
            return values

        out.write("\nThe journal and the list (`bench_events`, Release, in one process, on a journal in a temporary\n")
        out.write("folder): *insert* writes one batch of 2,000 events in one transaction (what 10,000 events a\n")
        out.write("second bring in one 200 ms interval); *flood* takes 10,000 server events through the alarm\n")
        out.write("center (decode, list, journal); *start-up* opens the journal and fills the list, empty and with\n")
        out.write("200,000 events; *filter* is a text filter over 200,000 rows, and *first filter* the same right\n")
        out.write("after loading, before the rows' search texts are made in the background.\n\n")
        out.write("| Figure | Median (min–max) (ms) |\n|---|---|\n")
        rows = (("insert 2,000 events", "BM_JournalInsert/2000"), ("flood of 10,000 events", "BM_FloodThroughAlarmCenter/iterations:10"),
                ("start-up, empty journal", "BM_StartUp/0/iterations:3"),
                ("start-up, 200,000 events", "BM_StartUp/200000/iterations:3"), ("text filter", "BM_TextFilter"),
                ("first text filter after loading", "BM_FirstTextFilterAfterLoad/iterations:3"))
        for label, name in rows:
            out.write("| %s | %s |\n" % (label, fmt(1, stats(ms(name)))))
        insert = stats(ms("BM_JournalInsert/2000"))
        if insert is not None and insert[0] > 0:
            out.write("\nInsert rate: %s events a second.\n" % fixed(0, 2000 / insert[0] * 1000))
        empty, full = ms("BM_StartUp/0/iterations:3"), ms("BM_StartUp/200000/iterations:3")
        if empty and full:
            extra = stats([f - e for e, f in zip(empty, full)])
            self.check("Start-up with a full journal (200,000 events): %s ms more than with an empty one (goal: at most "
                       "%s ms): %s." % (fixed(0, extra[0]), fixed(0, GOALS["events_startup_extra_ms"][1]),
                                       "met" if met("events_startup_extra_ms", extra[0]) else "not met"))
        else:
            self.check("Journal start-up: no figures (see the log of the run).")
        text = stats(ms("BM_TextFilter"))
        if text is not None:
            self.check("A text filter over 200,000 events: %s ms (goal: at most %s ms): %s." % (
                fixed(1, text[0]), fixed(0, GOALS["events_filter_ms"][1]),
                "met" if met("events_filter_ms", text[0]) else "not met"))

    # -----------------------------------------------------------------------------------------
    # Group 9: cameras in step (the figures come from instep.py)

    def sync(self, out):
        rows = instep.row_figures(os.path.join(self.work, "sync.raw"), self.int_param("LIVE_MEDIA_FRAMES", 18000),
                                  base=os.path.join(self.work, "samples"))
        seconds = self.param("SYNC_SECONDS", "60")
        out.write("The real `client` against `vantor-sim` with a site whose cameras record the whole day in chunks of\n")
        out.write("%s s, each camera cutting them %s ms after the day's start (camera i the i-th modulo their\n"
                  % (fixed(0, self.int_param("SYNC_CHUNK_MS", 10000) / 1000), self.param("SYNC_OFFSETS").replace(",", ", ")))
        out.write("number), so that boundaries fall inside every measured span; the simulator cuts each chunk from group\n")
        out.write("1's numbered streams (`chunkMedia`), so that the frame shown at moment T carries the number\n")
        out.write("floor(T / 40) mod %s on every tile; the chunks the runs play are cut before they start (a real\n"
                  % self.param("LIVE_MEDIA_FRAMES", "18000"))
        out.write("gateway serves its files at once). The client's window covers the screen; `bench_live sync` shows\n")
        out.write("the recorded page and the layout \"Sync N\" (square) over the remote interface and presses L\n")
        out.write("through XTEST (`bench_click`): the cameras play in step in the layout's geometry. A click on the\n")
        out.write("whole day's time bar takes the clock to about 10:00, the wheel zooms the bar to two minutes, and\n")
        out.write("%s clicks seek, every other one 3 to 9 s ahead (within the chunk each camera plays and the next,\n"
                  % self.param("SYNC_SEEKS", "20"))
        out.write("which it has fetched ahead) and the others 15 to 35 s away (outside them), 1.5 s after the clock\n")
        out.write("goes on from the last; then %s s at 1× and, after two presses of `=`, %s s at 4×. From the\n"
                  % (seconds, seconds))
        out.write("first seek on, `bench_screen` reads every tile's frame number %s times a second, and the clock's moment at each\n"
                  % self.param("SYNC_SAMPLE_HZ", "100"))
        out.write("sample comes from its anchor lines in the client's log (`clock anchor: position_ms=P monotonic_ms=T\n")
        out.write("rate=R running=B`: P + (t − T)·R while running, both clocks CLOCK_MONOTONIC). A tile's *distance* is\n")
        out.write("the middle of its frame's 40 ms less the clock's moment (positive: ahead); samples whose grab took\n")
        out.write("over %d ms are left out. *Click to every tile at the moment*: from the click's release to the first\n"
                  % (instep.MAX_GRAB_NS // 1_000_000))
        out.write("sample, once the clock holds at the new moment, with every tile within %d ms of it (median / worst\n"
                  % instep.AT_MOMENT_MS)
        out.write("click; *not seen*: not before the next click, which comes 1.5 s after the clock goes on); *within\n")
        out.write("fetched chunks* is judged from the chunk boundaries: the chunk every camera played\n")
        out.write("or the next, *outside* neither for any camera. *Clock held*: the clock's own release (every\n")
        out.write("camera at the moment by its player, or 3 s) after the click. *Held* and *first second of play*:\n")
        out.write("the largest |distance| of any tile while the clock held, from the moment every tile showed it, and\n")
        out.write("in the first second after it went on (median / worst click). CPU: user + system time of the\n")
        out.write("client from `/proc`; *longest stall*: `bench_live` asks the client's remote interface for its\n")
        out.write("sign-in state every 50 ms, and the answer comes from its GUI thread. One client run per row. *Tiles (read)*: the grid's chosen tile (its first) is\n")
        out.write("not read: its \"Out of step\" button, fully opaque there, covers the right end of the strip.\n\n")
        instep.report_markdown(rows, out)
        checks = instep.check_goals(rows)
        if not checks:
            self.check("Cameras in step: no figures at 9 of 360p (the row was not run, or failed).")
        for line in checks:
            self.check(line)

    # -----------------------------------------------------------------------------------------
    # Group 10: memory given back

    def memory(self, out):
        raw = [l for l in read_lines(self.work, "memory.raw") if l.get(1) == "memory"]
        baseline = [v for v in numbers([l for l in raw if l.get("who") == "baseline"], "rss_kib") if v > 0]
        trips = [l for l in raw if l.get("who") == "roundtrip"]
        rounds = [v for v in numbers(trips, "rss_kib") if v > 0]
        large = [v for v in numbers(trips, "large_rss_kib") if v > 0]
        out.write("Resident memory of the client (`VmRSS`, read from `/proc` by `bench_live memory`), each state held\n")
        out.write("%s s and taken as the median of its second half. *Only the small layout*: a new client that shows\n"
                  % self.param("MEMORY_SECONDS", "16"))
        out.write("`Tiles 4 360p` of the benchmark site and nothing else. *Round trips*: a second new client shows\n")
        out.write("`Wall 400 360p` (20 by 20 cells; the first 64 play, the rest are refused as designed) and then\n")
        out.write("`Tiles 4 360p` again, %s times; its figure is taken after each return.\n\n"
                  % self.param("MEMORY_ROUNDS", "50"))
        if not baseline or not rounds:
            out.write("No figures: a run failed (see the log of the run).\n")
            self.check("Memory after a large layout: no figures (a run failed; see the log of the run).")
            return
        mib = lambda kib: kib / 1024.0
        out.write("| | Resident (MiB) |\n|---|---|\n")
        out.write("| Only the small layout | %s |\n" % fixed(0, mib(baseline[0])))
        out.write("| 20 by 20, playing (median of the rounds) | %s |\n" % fmt(0, stats([mib(v) for v in large])))
        out.write("| Back on the small layout, first round | %s |\n" % fixed(0, mib(rounds[0])))
        out.write("| Back on the small layout, all rounds | %s |\n" % fmt(0, stats([mib(v) for v in rounds])))
        out.write("| Back on the small layout, last round | %s |\n" % fixed(0, mib(rounds[-1])))
        worst = max(rounds) / baseline[0]
        self.check("Back on 2x2 after a 20x20 layout: at most %s times the memory of a station that only showed the 2x2 "
                   "(goal: at most %s): %s." % (fixed(2, worst), fixed(1, GOALS["memory_ratio"][1]),
                                               "met" if met("memory_ratio", worst) else "not met"))
        span = min(10, len(rounds) // 2)
        if span >= 1:
            first = sorted(rounds[:span])[span // 2]
            last = sorted(rounds[-span:])[span // 2]
            growth = last / first
            self.check("Over %d round trips: the last %d rounds hold %s times what the first %d held (goal: at most %s): %s."
                       % (len(rounds), span, fixed(2, growth), span, fixed(2, GOALS["memory_growth"][1]),
                          "met" if met("memory_growth", growth) else "not met"))

    # -----------------------------------------------------------------------------------------

    def write(self, groups, findings, out):
        sections = []
        for group in groups:
            text = io.StringIO()
            getattr(self, group)(text)
            sections.append((TITLES[group], text.getvalue()))
        only = self.param("ONLY")
        out.write("# Benchmark results\n\n")
        out.write("Written by `scripts/bench.sh`%s. Every figure is the median of %s runs, with the minimum and\n"
                  % (" --only %s" % only if only else "", self.param("RUNS")))
        out.write("maximum in brackets when they differ; every ratio is taken within one run and then summarised.\n\n")
        out.write("## Machine\n\n| | |\n|---|---|\n")
        out.write("| Date | %s |\n" % self.param("DATE"))
        out.write("| CPU | %s |\n" % self.param("CPU"))
        out.write("| Cores | %s |\n" % self.param("CORES"))
        out.write("| Memory | %s GiB |\n" % self.param("MEMORY_GIB"))
        out.write("| System | %s |\n" % self.param("SYSTEM"))
        out.write("| Build | %s, %s, commit %s |\n"
                  % (self.param("BUILD", "Release (`build-bench/`)"), self.param("COMPILER"), self.param("COMMIT")))
        out.write("| Run | %s s; load average %s at the start, %s at the end |\n"
                  % (self.param("ELAPSED"), self.param("LOAD_START"), self.param("LOAD_END")))
        out.write("| Other work | %s%% of the machine's CPU went to other processes during the runs (these benchmarks: "
                  "%s%%) |\n\n" % (self.param("OTHER_SHARE"), self.param("OWN_SHARE")))
        if self.int_param("OTHER_SHARE") >= 5:
            out.write("The figures were taken with other work on the machine: expect wider ranges and higher\n")
            out.write("tails than on an idle one.\n\n")
        for title, text in sections:
            out.write("## %s\n\n%s\n" % (title, text))
        out.write("## Findings\n\nAgainst the goals, from this run:\n\n")
        out.write("".join(line + "\n" for line in self.checks))
        if findings:
            out.write("\n" + findings)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--work", required=True, help="the work folder of scripts/bench.sh")
    parser.add_argument("--out", required=True, help="where the markdown goes")
    parser.add_argument("--findings", help="text appended under the findings (bench/findings.md)")
    options = parser.parse_args()
    params = read_params(options.work)
    groups = [g for g in params.get("GROUPS", "").split(",") if g in GROUPS]
    findings = ""
    if options.findings and os.path.exists(options.findings):
        with open(options.findings, encoding="utf-8") as f:
            findings = f.read()
    report = Report(options.work, params)
    text = io.StringIO()
    report.write(groups, findings, text)
    with open(options.out, "w", encoding="utf-8") as out:
        out.write(text.getvalue())
    return 0


if __name__ == "__main__":
    sys.exit(main())
