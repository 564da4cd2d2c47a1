#!/usr/bin/env python3
"""Lag and frames shown of live tiles, read off the screen, for scripts/bench.sh.

    lag.py report --raw tiles.raw --connections streams.log --loop-frames 18000 [--checks FILE]
    lag.py pacing --url http://127.0.0.71:28001/live.ts --connections streams.log [--seconds 20]

`report` reads what group 1 of the benchmarks wrote and prints its tables in markdown:

- tiles.raw: key=value lines of `bench_live`, each prefixed with `run= stream= n=`. The lines
  used here: `tile who= index= port= ...` (a tile, its stream's port, its own counters),
  `window who= start_ns= end_ns=` (the measuring window), `stall who= stop_ns= cont_ns= end_ns=`
  (the stall test after it) and `screen who= samples=FILE` (where `bench_screen` wrote the
  screen samples of that run).
- the samples file: `s t_ns= grab_ns= f=a,b,...` per sample, one value per tile in index order:
  the frame number read, `x` for a strip that did not read (a misread, rejected by the check) or
  `-` for no strip at all; and a closing `screen_end ...` line with the sampler's own cost.
- streams.log: `connection id= port= t0_ns=` and `closed ...` lines of bench/streamserver.py.

The frame a stream's server is sending at time t is floor((t - t0) * 25) + 1 modulo the file's
frame count (see SEND_LEAD_FRAMES), t0 being the latest connection to that port opened before t
(a reload opens a new one). A tile's lag at a sample is that frame less the frame it shows, over
25: the video time by which its picture is behind the server. Both clocks are CLOCK_MONOTONIC.

`pacing` checks that clock: it reads one stream as a player would, notes when each video frame
(each PES packet of the video) arrives, and compares that with t0 + k / 25 from the server's log.
Run it against a stream server of its own (nothing else connecting to that port meanwhile).

The goals are in GOALS; every figure they name comes from `row_figures`. Standard library only.
"""
import argparse
import bisect
import collections
import http.client
import os
import statistics
import sys
import time
import urllib.parse

FPS = 25
# ffmpeg -re lets a packet go as soon as the one before it is due: frames 0 and 1 leave at t0,
# frame k at t0 + (k - 1) / 25 (`pacing` measured 35-38 ms early, at 25.000 frames a second).
SEND_LEAD_FRAMES = 1
# A tile whose shown frame is ahead of the server's by more than this is taken as a frame of an
# older connection (a reload) rather than a negative lag.
MAX_AHEAD_S = 10.0
# The live edge of the stall test: a tile is back when it is within this of its lag before.
STALL_BAND_S = 0.3
# The lag before the stall: the median over this long before SIGSTOP.
STALL_BEFORE_S = 5.0


# ---------------------------------------------------------------------------------------------
# Reading

def parse_fields(line):
    """The key=value pairs of a line; words without '=' are kept under their position."""
    fields = {}
    for position, word in enumerate(line.split()):
        key, sep, value = word.partition("=")
        if sep:
            fields[key] = value
        else:
            fields.setdefault("_kind", word)
            fields["_%d" % position] = word
    return fields


def read_raw(path):
    """The lines of tiles.raw as dicts, with `_kind` the first bare word (client, mpv, tile...)."""
    rows = []
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            for line in handle:
                fields = parse_fields(line)
                if "_kind" in fields:
                    rows.append(fields)
    except OSError as error:
        print("lag.py: cannot read %s: %s" % (path, error), file=sys.stderr)
    return rows


class Connections:
    """The server's connections by port: sorted start times (ns)."""

    def __init__(self):
        self.starts = collections.defaultdict(list)
        # When each request for a port had been read, before its connection started sending.
        self.requests = collections.defaultdict(list)

    @classmethod
    def read(cls, path):
        connections = cls()
        try:
            with open(path, encoding="utf-8", errors="replace") as handle:
                for line in handle:
                    kind = line.split(" ", 1)[0]
                    if kind not in ("connection", "request"):
                        continue
                    fields = parse_fields(line)
                    try:
                        if kind == "connection":
                            connections.starts[int(fields["port"])].append(int(fields["t0_ns"]))
                        else:
                            connections.requests[int(fields["port"])].append(int(fields["t_ns"]))
                    except (KeyError, ValueError):
                        continue
        except OSError as error:
            print("lag.py: cannot read %s: %s" % (path, error), file=sys.stderr)
        for times in list(connections.starts.values()) + list(connections.requests.values()):
            times.sort()
        return connections

    def t0(self, port, t_ns):
        """Start of the latest connection to `port` opened at or before t_ns; None if none."""
        starts = self.starts.get(port)
        if not starts:
            return None
        at = bisect.bisect_right(starts, t_ns)
        return starts[at - 1] if at else None


def read_samples(path):
    """(times_ns, values per tile, summary): values are ints, 'x' (misread) or '-' (no strip)."""
    times = []
    columns = None
    summary = {}
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            for line in handle:
                if line.startswith("s "):
                    fields = parse_fields(line)
                    try:
                        t = int(fields["t_ns"])
                        values = fields["f"].split(",")
                    except (KeyError, ValueError):
                        continue
                    if columns is None:
                        columns = [[] for _ in values]
                    if len(values) != len(columns):
                        continue
                    times.append(t)
                    for column, value in zip(columns, values):
                        column.append(int(value) if value.isdigit() else value)
                elif line.startswith("screen_end "):
                    summary = parse_fields(line)
    except OSError as error:
        print("lag.py: cannot read %s: %s" % (path, error), file=sys.stderr)
    return times, columns or [], summary


# ---------------------------------------------------------------------------------------------
# Arithmetic

def lag_seconds(t_ns, shown, t0_ns, loop_frames):
    """The lag of a tile showing frame `shown` at t_ns, for a connection that started at t0_ns."""
    sent = (t_ns - t0_ns) * FPS // 1_000_000_000 + SEND_LEAD_FRAMES
    behind = (sent - shown) % loop_frames
    if behind > loop_frames - MAX_AHEAD_S * FPS:
        behind -= loop_frames
    return behind / FPS


def tile_series(times, values, port, connections, loop_frames):
    """[(t_ns, frame, lag_s)] of the samples that read, for one tile."""
    series = []
    for t, value in zip(times, values):
        if not isinstance(value, int):
            continue
        t0 = connections.t0(port, t)
        if t0 is None:
            continue
        lag = lag_seconds(t, value, t0, loop_frames)
        # After a reload the old connection's last picture stays on the screen until the new
        # one's first frame: against the new connection it would read as minutes behind (a frame
        # far ahead of it, wrapped round the loop). It is the frame of the connection before.
        earlier = connections.t0(port, t0 - 1)
        if earlier is not None:
            lag_before = lag_seconds(t, value, earlier, loop_frames)
            if 0 <= lag_before < lag:
                lag = lag_before
        series.append((t, value, lag))
    return series


def within(series, start_ns, end_ns):
    return [entry for entry in series if start_ns <= entry[0] <= end_ns]


def distinct_frames_per_second(series, start_ns, end_ns):
    """New pictures per second: changes of the frame read between samples."""
    part = within(series, start_ns, end_ns)
    if len(part) < 2 or end_ns <= start_ns:
        return None
    changes = sum(1 for a, b in zip(part, part[1:]) if a[1] != b[1])
    return changes / ((part[-1][0] - part[0][0]) / 1e9)


def backward_steps(series):
    """Samples that show an older frame than the sample before: the lag grew by more than the time
    between them (a frozen picture grows it by exactly that). A sound player never does this,
    short of a reload."""
    return sum(1 for a, b in zip(series, series[1:]) if b[2] - a[2] > (b[0] - a[0]) / 1e9 + 1.5 / FPS)


def slope(points):
    """Least-squares slope of [(x, y)]; None with fewer than two distinct x."""
    if len(points) < 2:
        return None
    mean_x = sum(x for x, _ in points) / len(points)
    mean_y = sum(y for _, y in points) / len(points)
    sxx = sum((x - mean_x) ** 2 for x, _ in points)
    if sxx <= 0:
        return None
    return sum((x - mean_x) * (y - mean_y) for x, y in points) / sxx


def lag_growth(series, start_ns, end_ns):
    """Seconds of lag gained per second of wall time (0: keeps up; 0.5: plays at half speed)."""
    part = within(series, start_ns, end_ns)
    return slope([((t - start_ns) / 1e9, lag) for t, _, lag in part])


def stall_recovery(series, stop_ns, cont_ns, end_ns):
    """(lag before, peak lag after, seconds from SIGCONT until back within the band for good or
    None, lag at the end) of one tile."""
    before = [lag for t, _, lag in series if stop_ns - STALL_BEFORE_S * 1e9 <= t < stop_ns]
    after = [(t, lag) for t, _, lag in series if cont_ns <= t <= end_ns]
    if not before or not after:
        return None
    reference = statistics.median(before)
    last_out = None
    for t, lag in after:
        if lag > reference + STALL_BAND_S:
            last_out = t
    if last_out is None:
        back = 0.0
    elif last_out == after[-1][0]:
        back = None
    else:
        following = next(t for t, _ in after if t > last_out)
        back = (following - cont_ns) / 1e9
    return reference, max(lag for _, lag in after), back, after[-1][1]


# A frame read after a double click belongs to a connection when it fits that connection's
# timeline: shown at most this much ahead of what the server sent (the strip is read exactly, so
# only a frame or so of rounding) and at most this far behind it.
FULLVIEW_AHEAD_S = 2.0 / FPS
FULLVIEW_BEHIND_S = 10.0


def fits(t_ns, shown, t0_ns, loop_frames):
    if t0_ns is None or t_ns < t0_ns:
        return False
    return -FULLVIEW_AHEAD_S <= lag_seconds(t_ns, shown, t0_ns, loop_frames) <= FULLVIEW_BEHIND_S


def fullview_switch(times, values, click_ns, main_port, sub_port, connections, loop_frames):
    """The full view's switch of one double click, from the full view's screen samples: a dict with
    `server_request_s` (from the click to the main stream's request read by its server), `wire_s`
    (to the main stream's first bytes on the wire) and `screen_s` (to the
    first sample that shows a frame of the main stream's connection and not of the sub-stream's:
    the sub-stream's picture, held meanwhile, fits the older connection), None where not seen."""
    starts = [t0 for t0 in connections.starts.get(main_port, []) if t0 >= click_ns]
    main_t0 = starts[0] if starts else None
    requests = [t for t in connections.requests.get(main_port, []) if t >= click_ns]
    sub_t0 = connections.t0(sub_port, click_ns)
    figures = {"wire_s": None if main_t0 is None else (main_t0 - click_ns) / 1e9, "screen_s": None,
               "server_request_s": (requests[0] - click_ns) / 1e9 if requests else None}
    if main_t0 is None:
        return figures
    for t, value in zip(times, values):
        if t < click_ns or not isinstance(value, int) or value >= loop_frames:
            continue
        if fits(t, value, main_t0, loop_frames) and not fits(t, value, sub_t0, loop_frames):
            figures["screen_s"] = (t - click_ns) / 1e9
            break
    return figures


def fullview_rounds(raw, connections, loop_frames, base=None):
    """{(stream, n): [figures per round]} of the `fullview` lines: the screen's and the wire's times
    with the client's own (`request_s`, `loaded_s`)."""
    rounds = collections.OrderedDict()
    for fields in raw:
        if fields.get("_kind") != "fullview":
            continue
        try:
            click = int(fields["click_ns"])
            main_port, sub_port = int(fields["main_port"]), int(fields["sub_port"])
        except (KeyError, ValueError):
            continue
        times, columns, _ = read_samples(locate(fields.get("samples", ""), base))
        figures = fullview_switch(times, columns[0] if columns else [], click, main_port, sub_port, connections,
                                  loop_frames)
        for key in ("request_ms", "loaded_ms"):
            value = to_float(fields.get(key))
            figures[key.replace("_ms", "_s")] = value / 1000 if value is not None and value >= 0 else None
        rounds.setdefault((fields.get("stream"), fields.get("n")), []).append(figures)
    return rounds


# ---------------------------------------------------------------------------------------------
# Figures of a row

def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None


def run_figures(run, connections, loop_frames):
    """The figures of one player in one run: a dict, or None without samples."""
    times, columns, summary = read_samples(run["samples"])
    if not times or not columns:
        return None
    window = run.get("window")
    start = int(window["start_ns"]) if window else times[0]
    end = int(window["end_ns"]) if window else times[-1]
    minute = 60 * 1_000_000_000
    figures = {"tiles": len(columns), "window_s": (end - start) / 1e9, "summary": summary}
    series = []
    misreads = nostrip = total = 0
    for index, values in enumerate(columns):
        # A number past the end of the file is no frame of it: a misread the check let through.
        values = ["x" if isinstance(v, int) and v >= loop_frames else v for v in values]
        port = run["ports"].get(index)
        in_window = [v for t, v in zip(times, values) if start <= t <= end]
        total += len(in_window)
        misreads += sum(1 for v in in_window if v == "x")
        nostrip += sum(1 for v in in_window if v == "-")
        series.append(tile_series(times, values, port, connections, loop_frames) if port else [])
    figures["samples"] = total
    figures["misreads"] = misreads
    figures["nostrip"] = nostrip
    figures["unread_tiles"] = sum(1 for s in series if not within(s, start, end))
    figures["backward"] = sum(backward_steps(within(s, start, end)) for s in series)

    def lags(from_ns, to_ns):
        return [lag for s in series for _, _, lag in within(s, from_ns, to_ns)]

    periods = {"first": (start, min(end, start + minute)), "whole": (start, end)}
    if end - start >= 2 * minute:
        periods["last"] = (end - minute, end)
    for name, (a, b) in periods.items():
        values = lags(a, b)
        figures["lag_%s_median" % name] = median(values)
        figures["lag_%s_worst" % name] = max(values) if values else None
    growth = [lag_growth(s, start, end) for s in series]
    growth = [g for g in growth if g is not None]
    figures["growth_median"] = median(growth)
    figures["growth_worst"] = max(growth) if growth else None
    shown = [distinct_frames_per_second(s, start, end) for s in series]
    shown = [f for f in shown if f is not None]
    figures["shown_median"] = median(shown)
    figures["shown_worst"] = min(shown) if shown else None
    figures["sample_hz"] = total / len(columns) / figures["window_s"] if figures["window_s"] > 0 else None
    counted = [tile.get("fps") for tile in run["tiles"]]
    figures["counter_fps_median"] = median(counted)
    figures["counter_fps_worst"] = min((c for c in counted if c is not None), default=None)

    stall = run.get("stall")
    if stall:
        stop, cont, stall_end = int(stall["stop_ns"]), int(stall["cont_ns"]), int(stall["end_ns"])
        recoveries = [stall_recovery(s, stop, cont, stall_end) for s in series]
        if recoveries and all(r is not None for r in recoveries):
            figures["stall_s"] = (cont - stop) / 1e9
            figures["stall_observed_s"] = (stall_end - cont) / 1e9
            figures["stall_before"] = median(r[0] for r in recoveries)
            figures["stall_peak"] = max(r[1] for r in recoveries)
            backs = [r[2] for r in recoveries]
            figures["stall_back"] = None if any(b is None for b in backs) else max(backs)
            figures["stall_added"] = median(r[3] - r[0] for r in recoveries)
    return figures


def to_float(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def locate(path, base):
    """A samples file where it was written or, once the raw figures were moved (bench.sh keeps
    them in build-bench/bench-raw/), in samples/ beside tiles.raw."""
    if os.path.exists(path) or not base:
        return path
    moved = os.path.join(base, "samples", os.path.basename(path))
    return moved if os.path.exists(moved) else path


def collect_runs(raw, base=None):
    """{(stream, n, who): [run dict]} from the lines of tiles.raw (in the folder `base`)."""
    runs = collections.OrderedDict()

    def run_of(fields, who):
        key = (fields.get("stream"), fields.get("n"), who)
        by_run = runs.setdefault(key, collections.OrderedDict())
        return by_run.setdefault(fields.get("run"), {"ports": {}, "tiles": []})

    for fields in raw:
        kind = fields["_kind"]
        who = fields.get("who")
        if kind == "tile" and who:
            run = run_of(fields, who)
            try:
                index = int(fields["index"])
            except (KeyError, ValueError):
                continue
            port = fields.get("port", "")
            if port.isdigit():
                run["ports"][index] = int(port)
            run["tiles"].append({"index": index, "fps": to_float(fields.get("fps"))})
        elif kind in ("window", "stall") and who:
            run_of(fields, who)[kind] = fields
        elif kind == "screen" and who and fields.get("samples"):
            run_of(fields, who)["samples"] = locate(fields["samples"], base)
    return {key: [run for run in by_run.values() if "samples" in run] for key, by_run in runs.items()}


def row_figures(raw, connections, loop_frames, base=None):
    """{(stream, n, who): [figures per run]}."""
    rows = collections.OrderedDict()
    for key, runs in collect_runs(raw, base).items():
        rows[key] = [f for f in (run_figures(run, connections, loop_frames) for run in runs) if f]
    return rows


# ---------------------------------------------------------------------------------------------
# Goals: (figure, who, test, limit, text). `test` compares the row's figure (the median over
# the runs) with the limit; a limit given as ("mpv", figure, offset) is the players' figure of
# the same row plus the offset.

GOALS = [
    ("lag_whole_worst", "client", "<=", 0.3,
     "the worst lag of any tile at most 0.3 s"),
    ("growth_worst", "client", "<=", 0.01,
     "the worst tile gains at most 0.01 s of lag a second, keeping up with its stream"),
    ("lag_whole_median", "client", "<=", ("mpv", "lag_whole_median", 0.0),
     "median lag no more than the players'"),
    ("shown_worst", "client", ">=", {4: 24.0, 9: 24.0, 16: 20.0},
     "the worst tile shows at least 24 of the 25 new frames a second at 4 and 9 tiles, 20 at 16"),
    ("stall_back", "client", "<=", 2.0,
     "after a 3 s stall every tile is back within 0.3 s of its lag before within 2 s"),
    ("misreads", "any", "<=", 0, "no misread strip"),
]


def goal_limit(limit, rows, stream, n):
    """The bound for a row; None where the goal names no bound for that many tiles."""
    if isinstance(limit, dict):
        try:
            return limit.get(int(n))
        except (TypeError, ValueError):
            return None
    if isinstance(limit, tuple):
        who, figure, offset = limit
        value = summarise([f.get(figure) for f in rows.get((stream, n, who), [])])
        return None if value is None else value[0] + offset
    return limit


def check_goals(rows):
    """Lines for the findings: one per goal and row."""
    lines = []
    for (stream, n, who), runs in rows.items():
        for figure, goal_who, test, limit, text in GOALS:
            if goal_who not in (who, "any"):
                continue
            value = summarise([f.get(figure) for f in runs])
            bound = goal_limit(limit, rows, stream, n)
            if isinstance(limit, dict) and bound is None:
                continue
            where = "Live tiles, %s of %s, %s" % (n, stream, who)
            if value is None or bound is None:
                if figure in ("stall_back",) and runs and any("stall_s" in f for f in runs):
                    lines.append("%s: not back within 0.3 s of its lag before by the end of the test "
                                 "(goal: %s)." % (where, text))
                elif figure != "stall_back":
                    lines.append("%s: no figure for %s (goal: %s)." % (where, figure, text))
                continue
            worst = value[2] if test == "<=" else value[1]
            met = worst <= bound if test == "<=" else worst >= bound
            lines.append("%s: %s %s, %s (goal: %s)." % (
                where, describe(figure), number(worst, 2 if isinstance(worst, float) else 0),
                "met" if met else "not met", text))
    return lines


def describe(figure):
    return {
        "growth_worst": "lag growth of the worst tile (s/s)",
        "lag_whole_median": "median lag (s)",
        "lag_whole_worst": "worst lag (s)",
        "shown_worst": "frames shown per second by the worst tile",
        "stall_back": "time back to the live edge after the stall (s)",
        "misreads": "misread strips",
    }.get(figure, figure)


# ---------------------------------------------------------------------------------------------
# Formatting

def summarise(values):
    """(median, min, max) of the values that are there, or None."""
    values = [v for v in values if v is not None]
    if not values:
        return None
    return statistics.median(values), min(values), max(values)


def number(value, digits):
    return "%.*f" % (digits, value)


def fmt(values, digits):
    """median (min–max) over the runs, or the median alone when they agree; n/a for none."""
    summary = summarise(values)
    if summary is None:
        return "n/a"
    mid, low, high = (number(v, digits) for v in summary)
    return mid if low == high else "%s (%s–%s)" % (mid, low, high)


def pair(runs, first, second, digits):
    return "%s / %s" % (fmt([r.get(first) for r in runs], digits), fmt([r.get(second) for r in runs], digits))


def report_markdown(rows, out):
    any_last = any("lag_last_median" in f for runs in rows.values() for f in runs)
    head = ["Streams", "Tiles", "Player", "Lag, first minute (s)", "Lag, whole run (s)"]
    if any_last:
        head.append("Lag, last minute (s)")
    head += ["Lag growth (s/s)", "Frames shown (/s)", "Frames by its counters (/s)", "Samples (/s per tile)",
             "Misread / no strip"]
    out.write("| " + " | ".join(head) + " |\n")
    out.write("|" + "---|" * len(head) + "\n")
    for (stream, n, who), runs in rows.items():
        if not runs:
            out.write("| %s | %s | %s | %s |\n" % (stream, n, who, " | ".join(["n/a"] * (len(head) - 3))))
            continue
        cells = [stream, n, who, pair(runs, "lag_first_median", "lag_first_worst", 2),
                 pair(runs, "lag_whole_median", "lag_whole_worst", 2)]
        if any_last:
            cells.append(pair(runs, "lag_last_median", "lag_last_worst", 2) if "lag_last_median" in runs[0]
                         else "")
        cells += [pair(runs, "growth_median", "growth_worst", 3),
                  pair(runs, "shown_median", "shown_worst", 1),
                  pair(runs, "counter_fps_median", "counter_fps_worst", 1),
                  fmt([r.get("sample_hz") for r in runs], 0),
                  "%s / %s of %s" % (fmt([r.get("misreads") for r in runs], 0),
                                     fmt([r.get("nostrip") for r in runs], 0),
                                     fmt([r.get("samples") for r in runs], 0))]
        out.write("| " + " | ".join(cells) + " |\n")

    if any("stall_s" in f for runs in rows.values() for f in runs):
        out.write("\n| Streams | Tiles | Player | Lag before (s) | Peak lag after (s) | "
                  "Every tile back within %.1f s (s) | Lag added at the end (s) |\n" % STALL_BAND_S)
        out.write("|---|---|---|---|---|---|---|\n")
        for (stream, n, who), runs in rows.items():
            stalled = [r for r in runs if "stall_s" in r]
            if not stalled:
                continue
            backs = [r.get("stall_back") for r in stalled]
            if all(b is None for b in backs):
                back = "not within %.0f s" % min(r["stall_observed_s"] for r in stalled)
            else:
                back = fmt(backs, 1)
                missing = sum(1 for b in backs if b is None)
                if missing:
                    back += " (%d run(s) not back)" % missing
            out.write("| %s | %s | %s | %s | %s | %s | %s |\n" % (
                stream, n, who, fmt([r["stall_before"] for r in stalled], 2),
                fmt([r["stall_peak"] for r in stalled], 2), back, fmt([r["stall_added"] for r in stalled], 2)))

    costs = [(key, f["summary"]) for key, runs in rows.items() for f in runs if f.get("summary")]
    if costs:
        out.write("\n| Streams | Tiles | Player | Sampler CPU (% of a core) | Grab per sample, median / "
                  "max (µs) | Screen bytes per sample | Late samples |\n|---|---|---|---|---|---|---|\n")
        for (stream, n, who), runs in rows.items():
            summaries = [f["summary"] for f in runs if f.get("summary")]
            if not summaries:
                continue
            out.write("| %s | %s | %s | %s | %s / %s | %s | %s |\n" % (
                stream, n, who, fmt([to_float(s.get("cpu_pct")) for s in summaries], 1),
                fmt([to_float(s.get("grab_us_p50")) for s in summaries], 0),
                fmt([to_float(s.get("grab_us_max")) for s in summaries], 0),
                fmt([to_float(s.get("bytes_per_sample")) for s in summaries], 0),
                fmt([to_float(s.get("late")) for s in summaries], 0)))


def report(options):
    raw = read_raw(options.raw)
    connections = Connections.read(options.connections)
    rows = row_figures(raw, connections, options.loop_frames, os.path.dirname(os.path.abspath(options.raw)))
    if not rows:
        sys.stdout.write("No screen samples (a run failed; see the log of the run).\n")
        return 0
    report_markdown(rows, sys.stdout)
    if options.checks:
        with open(options.checks, "a", encoding="utf-8") as handle:
            for line in check_goals(rows):
                handle.write("- %s\n" % line)
    return 0


# ---------------------------------------------------------------------------------------------
# The server's clock

TS_PACKET = 188


def video_pes_starts(data):
    """Video PES packets (one a frame) that start in the whole 188-byte TS packets of `data`;
    returns (count, the bytes of an unfinished packet at the end)."""
    usable = len(data) - len(data) % TS_PACKET
    count = 0
    for offset in range(0, usable, TS_PACKET):
        packet = data[offset:offset + TS_PACKET]
        # Sync byte, and the payload unit start indicator: a PES packet begins here.
        if packet[0] != 0x47 or not packet[1] & 0x40:
            continue
        adaptation = (packet[3] >> 4) & 3
        if adaptation == 2:
            continue  # adaptation field only, no payload
        start = 4 + (1 + packet[4] if adaptation == 3 else 0)
        # A PES start code with a video stream id (0xE0-0xEF).
        if packet[start:start + 3] == b"\x00\x00\x01" and start + 3 < TS_PACKET and \
                0xE0 <= packet[start + 3] <= 0xEF:
            count += 1
    return count, data[usable:]


def video_frame_arrivals(url, seconds):
    """Monotonic arrival times (ns) of the video PES packets of a stream, read for `seconds`."""
    parts = urllib.parse.urlsplit(url)
    connection = http.client.HTTPConnection(parts.hostname, parts.port or 80, timeout=10)
    connection.request("GET", parts.path or "/")
    response = connection.getresponse()
    if response.status != 200:
        raise OSError("HTTP %d from %s" % (response.status, url))
    arrivals = []
    pending = b""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        data = response.read1(65536)
        if not data:
            break
        now = time.monotonic_ns()
        count, pending = video_pes_starts(pending + data)
        arrivals += [now] * count
    connection.close()
    return arrivals


def pacing_figures(arrivals, t0):
    """How the frames' arrival times (ns) compare with t0 + k / 25: offsets in ms, and the rate."""
    offsets = [(t - t0) / 1e6 - k * 1000 / FPS for k, t in enumerate(arrivals)]
    return {"frames": len(arrivals), "first_ms": offsets[0], "offset_median_ms": statistics.median(offsets),
            "offset_min_ms": min(offsets), "offset_max_ms": max(offsets),
            "rate_fps": slope([((t - t0) / 1e9, k) for k, t in enumerate(arrivals)]) or 0.0}


def pacing(options):
    port = urllib.parse.urlsplit(options.url).port
    before = time.monotonic_ns()
    try:
        arrivals = video_frame_arrivals(options.url, options.seconds)
    except OSError as error:
        print("lag.py: cannot read %s: %s" % (options.url, error), file=sys.stderr)
        return 1
    # The server writes its line when its first bytes go out; give it a moment to reach the file.
    time.sleep(0.5)
    t0 = Connections.read(options.connections).t0(port, arrivals[0] if arrivals else time.monotonic_ns())
    if not arrivals or t0 is None or t0 < before:
        print("lag.py: no frames, or no connection of this reader in %s" % options.connections, file=sys.stderr)
        return 1
    figures = pacing_figures(arrivals, t0)
    print("pacing url=%s frames=%d first_ms=%.1f offset_median_ms=%.1f offset_min_ms=%.1f offset_max_ms=%.1f "
          "rate_fps=%.4f connect_to_t0_ms=%.1f" % (
              options.url, figures["frames"], figures["first_ms"], figures["offset_median_ms"],
              figures["offset_min_ms"], figures["offset_max_ms"], figures["rate_fps"], (t0 - before) / 1e6))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    reporter = commands.add_parser("report", help="tables of lag and frames shown")
    reporter.add_argument("--raw", required=True)
    reporter.add_argument("--connections", required=True)
    reporter.add_argument("--loop-frames", type=int, required=True, help="frames in a stream's file")
    reporter.add_argument("--checks", help="append one line per goal and row to this file")
    pacer = commands.add_parser("pacing", help="when a stream's frames arrive, against the server's t0")
    pacer.add_argument("--url", required=True)
    pacer.add_argument("--connections", required=True)
    pacer.add_argument("--seconds", type=float, default=20)
    options = parser.parse_args()
    if options.command == "report":
        return report(options)
    return pacing(options)


if __name__ == "__main__":
    sys.exit(main())
