#!/usr/bin/env python3
"""Figures of the recorded page's cameras in step, read off the screen (group 9 of scripts/bench.sh).

    instep.py report --raw sync.raw --loop-frames 18000 [--base DIR]

sync.raw holds the lines of `bench_live sync`, each prefixed with `run= stream= n=`:

- `tile index= rect= chosen=0|1`: a tile; the chosen one is not read (its "Out of step" button
  covers the right end of its strip);
- `sync tiles=N day_start_ms=D chunk_ms=C offsets=O,... samples=FILE anchors=FILE`: where the
  screen samples (`bench_screen`: `s t_ns= grab_ns= f=a,b,...`, one frame number per tile, `x` for
  a misread, `-` for no strip) and the shared clock's anchor lines from the client's log are;
- `seek index= aim= before_ms= press_ns= release_ns= x= held_ms= released_ms= target_ms=`: a click on
  the time bar, the hold of the clock at the new moment and its release (monotonic ms, -1: none);
- `phase name=seeks|1x|4x start_ns= end_ns= cpu_s= cpu_pct= answer_max_ms=`: the client's CPU over
  each part, and the longest its GUI thread took to answer a probe of its remote interface.

The clock's moment at monotonic time t is P + (t - T) * R by the last anchor line
`clock anchor: position_ms=P monotonic_ms=T rate=R running=1` set at or before t (P while
running=0). A chunk's frame k shows the moments k * 40 to k * 40 + 40 (modulo the numbered file's
F frames): a tile's *distance* at a sample is the middle of its frame, k * 40 + 20, less the clock's
moment then (positive: ahead of the clock), the file's loop taken nearest the clock. Samples whose
grab took longer than MAX_GRAB_NS are left out of the distances (their time is not sharp).

A seek's *time to the moment* runs from the click's release (XTEST, CLOCK_MONOTONIC: the time bar
seeks on the release) to the first sample, after the clock held at the new moment, in which every
tile reads within AT_MOMENT_MS of the clock. *Within fetched chunks*: the new moment lies in the
chunk every camera was playing or the next one (which it fetches ahead), from the chunk boundaries
of the site; *outside*: in neither, for every camera. The goals are in GOALS. Standard library only.
"""
import argparse
import bisect
import collections
import math
import os
import statistics
import sys

FRAME_MS = 40
# A tile shows the new moment when its frame is this near the clock's (a few frames: the old
# picture of a seek is seconds away).
AT_MOMENT_MS = 120
# A seek whose tiles are not all at the new moment this long after the click (or by the next click)
# is "not seen".
SETTLE_LIMIT_MS = 10000
# After the clock goes on from a seek, its first second is "just after".
JUST_AFTER_MS = 1000
# A grab that took longer leaves its sample's time unsharp (bench_screen's median is under 1 ms).
MAX_GRAB_NS = 8_000_000

Anchor = collections.namedtuple("Anchor", "position_ms monotonic_ms rate running")

# The goals of the issue, at 9 tiles of 360p on this machine: (figure, test, limit, wording).
GOALS = [
    ("seek_distance_ms", "<=", 40.0, "the worst tile's distance from the clock after a seek"),
    ("play_distance_ms", "<=", 80.0, "the worst tile's distance from the clock while playing at 1x"),
    ("inside_ms", "<=", 1000.0, "every tile at the new moment after a click within fetched chunks"),
    ("outside_ms", "<=", 2500.0, "every tile at the new moment after a click outside them"),
    ("fast_behind_ms", "<=", 500.0, "the most any tile was behind the clock at 4x"),
]
GOAL_ROW = ("360p", "9")


# ---------------------------------------------------------------------------------------------
# Reading

def parse_fields(line):
    """The key=value pairs of a line; the first bare word is `_kind`."""
    fields = {}
    for word in line.split():
        key, sep, value = word.partition("=")
        if sep:
            fields[key] = value
        else:
            fields.setdefault("_kind", word)
    return fields


def parse_anchor(line):
    """The Anchor of a log line holding `clock anchor: ...`; None for any other or a garbled one."""
    at = line.find("clock anchor:")
    if at < 0:
        return None
    fields = parse_fields(line[at + len("clock anchor:"):])
    try:
        running = fields["running"]
        if running not in ("0", "1"):
            return None
        anchor = Anchor(float(fields["position_ms"]), int(fields["monotonic_ms"]), float(fields["rate"]),
                        running == "1")
    except (KeyError, ValueError):
        return None
    if not all(math.isfinite(value) for value in (anchor.position_ms, anchor.rate)):
        return None
    return anchor


def read_anchors(path):
    anchors = []
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            for line in handle:
                anchor = parse_anchor(line)
                if anchor is not None:
                    anchors.append(anchor)
    except OSError as error:
        print("instep.py: cannot read %s: %s" % (path, error), file=sys.stderr)
    return anchors


class Clock:
    """The shared clock's moment at a monotonic time, from its anchors in the order they were logged."""

    def __init__(self, anchors):
        # Logged in order, so their times do not go back; among equal times the last one holds.
        self.anchors = sorted(anchors, key=lambda anchor: anchor.monotonic_ms)
        self.times = [anchor.monotonic_ms for anchor in self.anchors]

    def at(self, t_ms):
        """The moment (ms since the epoch) at monotonic t_ms; None before the first anchor."""
        index = bisect.bisect_right(self.times, t_ms) - 1
        if index < 0:
            return None
        anchor = self.anchors[index]
        if not anchor.running:
            return anchor.position_ms
        return anchor.position_ms + (t_ms - anchor.monotonic_ms) * anchor.rate


def read_samples(path):
    """(times_ns, grabs_ns, columns, summary): a column per tile of ints, 'x' or '-'."""
    times, grabs, columns, summary = [], [], None, {}
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            for line in handle:
                if line.startswith("s "):
                    fields = parse_fields(line)
                    try:
                        t, grab = int(fields["t_ns"]), int(fields.get("grab_ns", 0))
                        values = fields["f"].split(",")
                    except (KeyError, ValueError):
                        continue
                    if columns is None:
                        columns = [[] for _ in values]
                    if len(values) != len(columns):
                        continue
                    times.append(t)
                    grabs.append(grab)
                    for column, value in zip(columns, values):
                        column.append(int(value) if value.isdigit() else value)
                elif line.startswith("screen_end "):
                    summary = parse_fields(line)
    except OSError as error:
        print("instep.py: cannot read %s: %s" % (path, error), file=sys.stderr)
    return times, grabs, columns or [], summary


# ---------------------------------------------------------------------------------------------
# Arithmetic

def shown_moment(frame, clock_ms, loop_frames):
    """The middle of the moments frame `frame` shows, on the file's loop nearest `clock_ms`."""
    middle = frame * FRAME_MS + FRAME_MS / 2
    period = loop_frames * FRAME_MS
    return middle + period * round((clock_ms - middle) / period)


def distance(frame, clock_ms, loop_frames):
    """What a tile showing `frame` shows less the clock's moment, in ms (positive: ahead)."""
    return shown_moment(frame, clock_ms, loop_frames) - clock_ms


def fetched_span(before_ms, target_ms, day_start, chunk_ms, offsets):
    """"inside" when the target lies in the chunk every camera played at `before_ms` or the next
    one (those it has fetched), "outside" when in neither for every camera, else "partly"."""
    inside = outside = True
    for offset in offsets:
        base = day_start + offset
        start = base + math.floor((before_ms - base) / chunk_ms) * chunk_ms
        fetched = start <= target_ms < start + 2 * chunk_ms
        inside = inside and fetched
        outside = outside and not fetched
    return "inside" if inside else "outside" if outside else "partly"


def percentile(values, fraction):
    """The value below which `fraction` of them lie (nearest rank); None for none."""
    if not values:
        return None
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, max(0, math.ceil(fraction * len(ordered)) - 1))]


class Screen:
    """The samples of one run with the clock: each tile's distance at each sample."""

    def __init__(self, times, grabs, columns, clock, loop_frames):
        self.times = times
        self.grabs = grabs
        self.columns = columns
        self.clock = clock
        self.loop_frames = loop_frames

    def range(self, start_ns, end_ns):
        return range(bisect.bisect_left(self.times, start_ns), bisect.bisect_left(self.times, end_ns))

    def distance_at(self, index, tile):
        """The tile's distance at sample `index`; None when it did not read or the time is unsharp."""
        value = self.columns[tile][index]
        if not isinstance(value, int) or self.grabs[index] > MAX_GRAB_NS:
            return None
        moment = self.clock.at(self.times[index] / 1e6)
        if moment is None:
            return None
        return distance(value, moment, self.loop_frames)

    def distances(self, tile, start_ns, end_ns):
        found = (self.distance_at(i, tile) for i in self.range(start_ns, end_ns))
        return [d for d in found if d is not None]

    def at_moment(self, index, tile):
        d = self.distance_at(index, tile)
        return d is not None and abs(d) <= AT_MOMENT_MS

    def all_at_moment(self, start_ns, end_ns):
        """The first sample time in [start_ns, end_ns) at which every tile reads near the clock."""
        for i in self.range(start_ns, end_ns):
            if all(self.at_moment(i, tile) for tile in range(len(self.columns))):
                return self.times[i]
        return None


def worst_tile(screen, start_ns, end_ns):
    """The largest |distance| of any tile over [start_ns, end_ns); None when no tile read."""
    worst = None
    for tile in range(len(screen.columns)):
        values = screen.distances(tile, start_ns, end_ns)
        if values:
            peak = max(abs(d) for d in values)
            worst = peak if worst is None else max(worst, peak)
    return worst


def seek_figures(seek, next_ns, screen, day_start, chunk_ms, offsets):
    """One click: where it went, how long until every tile showed it, and how far the tiles were
    from the clock while it held and in the first second after."""
    release_ns = int(seek["release_ns"])
    held_ms = int(seek["held_ms"])
    released_ms = int(seek["released_ms"])
    target = float(seek["target_ms"])
    before = screen.clock.at(int(seek["press_ns"]) / 1e6)
    figures = {"kind": fetched_span(before, target, day_start, chunk_ms, offsets) if before is not None else "partly",
               "moment_ms": None, "release_ms": None, "held_ms": None, "after_ms": None}
    if held_ms < 0:
        return figures
    if released_ms >= 0:
        figures["release_ms"] = released_ms - release_ns / 1e6
    # Not before the clock holds at the new moment: until then it still runs with the old picture.
    limit_ns = min(next_ns, release_ns + SETTLE_LIMIT_MS * 1_000_000)
    at = screen.all_at_moment(max(release_ns, held_ms * 1_000_000), limit_ns)
    if at is None:
        return figures
    figures["moment_ms"] = (at - release_ns) / 1e6
    if released_ms >= 0:
        go_ns = released_ms * 1_000_000
        figures["held_ms"] = worst_tile(screen, at, go_ns) if at < go_ns else None
        figures["after_ms"] = worst_tile(screen, max(at, go_ns), min(next_ns, go_ns + JUST_AFTER_MS * 1_000_000))
    return figures


def play_figures(screen, start_ns, end_ns):
    """Each tile over a span of play: its median distance, p99 and largest |distance|, the most it
    was behind, and the new pictures a second."""
    tiles = []
    for tile in range(len(screen.columns)):
        values = screen.distances(tile, start_ns, end_ns)
        indices = screen.range(start_ns, end_ns)
        read = [screen.columns[tile][i] for i in indices if isinstance(screen.columns[tile][i], int)]
        changes = sum(1 for a, b in zip(read, read[1:]) if a != b)
        span_s = (end_ns - start_ns) / 1e9
        tiles.append({
            "samples": len(values),
            "median": statistics.median(values) if values else None,
            "p99": percentile([abs(d) for d in values], 0.99),
            "worst": max((abs(d) for d in values), default=None),
            "behind": max((-d for d in values), default=None),
            "shown": changes / span_s if span_s > 0 else None,
            "misread": sum(1 for i in indices if screen.columns[tile][i] == "x"),
            "nostrip": sum(1 for i in indices if screen.columns[tile][i] == "-"),
        })
    return tiles


# ---------------------------------------------------------------------------------------------
# A run, and the rows of the report

def locate(path, base):
    if base and not os.path.exists(path):
        moved = os.path.join(base, os.path.basename(path))
        if os.path.exists(moved):
            return moved
    return path


def run_figures(lines, loop_frames, base=None):
    """The figures of one row's run from its lines of sync.raw; None without its samples."""
    header = next((l for l in lines if l.get("_kind") == "sync"), None)
    if header is None:
        return None
    times, grabs, columns, summary = read_samples(locate(header.get("samples", ""), base))
    anchors = read_anchors(locate(header.get("anchors", ""), base))
    if not times or not columns or not anchors:
        return None
    # The chosen tile's "Out of step" button covers the right end of its strip: it is not read.
    chosen = {int(l["index"]) for l in lines if l.get("_kind") == "tile" and l.get("chosen") == "1"}
    read = [column for index, column in enumerate(columns) if index not in chosen]
    if not read:
        return None
    screen = Screen(times, grabs, read, Clock(anchors), loop_frames)
    day_start = int(header["day_start_ms"])
    chunk_ms = int(header["chunk_ms"])
    offsets = [int(o) for o in header["offsets"].split(",") if o]
    phases = {l["name"]: l for l in lines if l.get("_kind") == "phase"}
    seeks = sorted((l for l in lines if l.get("_kind") == "seek"), key=lambda l: int(l["index"]))
    seek_end = int(phases["seeks"]["end_ns"]) if "seeks" in phases else times[-1]
    figures = {"seeks": [], "play": {}, "cpu": {}, "summary": summary, "samples": len(times),
               "unsharp": sum(1 for g in grabs if g > MAX_GRAB_NS), "tiles_read": len(read), "tiles": len(columns)}
    for i, seek in enumerate(seeks):
        next_ns = int(seeks[i + 1]["press_ns"]) if i + 1 < len(seeks) else seek_end
        figures["seeks"].append(seek_figures(seek, next_ns, screen, day_start, chunk_ms, offsets))
    for name in ("1x", "4x"):
        if name in phases:
            figures["play"][name] = play_figures(screen, int(phases[name]["start_ns"]), int(phases[name]["end_ns"]))
    figures["stall"] = {}
    for name, phase in phases.items():
        figures["cpu"][name] = float(phase["cpu_pct"])
        # Runs before the GUI thread was probed have no figure.
        if int(phase.get("answer_max_ms", -1)) >= 0:
            figures["stall"][name] = int(phase["answer_max_ms"])
    return figures


def read_raw(path):
    rows = collections.OrderedDict()
    try:
        with open(path, encoding="utf-8", errors="replace") as handle:
            for line in handle:
                fields = parse_fields(line)
                if "_kind" in fields and "stream" in fields and "n" in fields:
                    rows.setdefault((fields["stream"], fields["n"]), []).append(fields)
    except OSError as error:
        print("instep.py: cannot read %s: %s" % (path, error), file=sys.stderr)
    return rows


def row_figures(raw_path, loop_frames, base=None):
    """[(stream, n, figures or None)] in the order of the runs."""
    return [(stream, n, run_figures(lines, loop_frames, base)) for (stream, n), lines in read_raw(raw_path).items()]


def goal_figures(figures):
    """The figures the goals name, from one row (None where there are none)."""
    seeks = figures["seeks"]
    settled = [s[key] for s in seeks for key in ("held_ms", "after_ms") if s[key] is not None]

    def worst_moment(kind):
        of_kind = [s for s in seeks if s["kind"] == kind]
        if not of_kind:
            return None
        # A seek whose tiles never all showed the new moment is as bad as it gets.
        return math.inf if any(s["moment_ms"] is None for s in of_kind) else max(s["moment_ms"] for s in of_kind)

    one = figures["play"].get("1x") or []
    fast = figures["play"].get("4x") or []
    return {
        "seek_distance_ms": max(settled) if settled else None,
        "play_distance_ms": max((t["worst"] for t in one if t["worst"] is not None), default=None),
        "inside_ms": worst_moment("inside"),
        "outside_ms": worst_moment("outside"),
        "fast_behind_ms": max((t["behind"] for t in fast if t["behind"] is not None), default=None),
    }


def check_goals(rows):
    """Lines of the findings: each goal met or not, at the goal's row."""
    checks = []
    for stream, n, figures in rows:
        if (stream, n) != GOAL_ROW:
            continue
        if figures is None:
            checks.append("Cameras in step, %s of %s: no figures (the run failed; see the log of the run)." % (n, stream))
            continue
        values = goal_figures(figures)
        for key, test, limit, words in GOALS:
            value = values[key]
            if value is None:
                checks.append("Cameras in step, %s of %s: %s: no figure." % (n, stream, words))
                continue
            ok = value <= limit if test == "<=" else value < limit
            shown = "not seen before the next click" if math.isinf(value) else "%.0f ms" % value
            checks.append("Cameras in step, %s of %s: %s %s (goal: at most %.0f ms): %s." % (
                n, stream, words, shown, limit, "met" if ok else "not met"))
    return checks


# ---------------------------------------------------------------------------------------------
# Markdown

def ms(value):
    if value is None:
        return "n/a"
    return "not seen" if math.isinf(value) else "%.0f" % value


def median_worst(values):
    values = [v for v in values if v is not None]
    if not values:
        return "n/a"
    return "%s / %s" % (ms(statistics.median(values)), ms(max(values)))


def moments_of(seeks, kind):
    return [math.inf if s["moment_ms"] is None else s["moment_ms"] for s in seeks if s["kind"] == kind]


def report_markdown(rows, out):
    out.write("| Streams | Tiles (read) | Seeks within / outside / partly | Click to every tile at the moment, within fetched "
              "chunks (ms) | Outside them (ms) | Clock held after the click (ms) | Held, worst tile (ms) | First "
              "second of play, worst tile (ms) |\n|---|---|---|---|---|---|---|---|\n")
    for stream, n, figures in rows:
        if figures is None:
            out.write("| %s | %s | no figures (the run failed) | | | | | |\n" % (stream, n))
            continue
        seeks = figures["seeks"]
        counts = collections.Counter(s["kind"] for s in seeks)
        out.write("| %s | %s (%d) | %d / %d / %d | %s | %s | %s | %s | %s |\n" % (
            stream, n, figures["tiles_read"], counts["inside"], counts["outside"], counts["partly"],
            median_worst(moments_of(seeks, "inside")), median_worst(moments_of(seeks, "outside")),
            median_worst([s["release_ms"] for s in seeks]), median_worst([s["held_ms"] for s in seeks]),
            median_worst([s["after_ms"] for s in seeks])))
    out.write("\n| Streams | Tiles | Speed | Samples per tile | Median distance, median / worst tile (ms) | "
              "p99 of \\|distance\\|, worst tile (ms) | Largest \\|distance\\| (ms) | Most behind (ms) | Frames shown "
              "(/s), median / worst tile | Misread / no strip |\n|---|---|---|---|---|---|---|---|---|---|\n")
    for stream, n, figures in rows:
        if figures is None:
            continue
        for speed, tiles in figures["play"].items():
            medians = [t["median"] for t in tiles if t["median"] is not None]
            worst_median = max(medians, key=abs) if medians else None
            shown = [t["shown"] for t in tiles if t["shown"] is not None]
            out.write("| %s | %s | %s | %s | %s / %s | %s | %s | %s | %s | %d / %d |\n" % (
                stream, n, speed.replace("x", "×"), ms(statistics.median([t["samples"] for t in tiles])),
                ms(statistics.median(medians) if medians else None), ms(worst_median),
                ms(max((t["p99"] for t in tiles if t["p99"] is not None), default=None)),
                ms(max((t["worst"] for t in tiles if t["worst"] is not None), default=None)),
                ms(max((t["behind"] for t in tiles if t["behind"] is not None), default=None)),
                "%.1f / %.1f" % (statistics.median(shown), min(shown)) if shown else "n/a",
                sum(t["misread"] for t in tiles), sum(t["nostrip"] for t in tiles)))
    out.write("\n| Streams | Tiles | Client CPU, seeks / 1× / 4× (%% of a core) | Longest stall of its GUI thread, "
              "seeks / 1× / 4× (ms) | Sampler CPU (%% of a core) | Samples left out (grab over %d ms) |\n"
              "|---|---|---|---|---|---|\n" % (MAX_GRAB_NS // 1_000_000))
    for stream, n, figures in rows:
        if figures is None:
            continue
        cpu = figures["cpu"]
        stall = figures.get("stall", {})
        out.write("| %s | %s | %s / %s / %s | %s / %s / %s | %s | %d of %d |\n" % (
            stream, n, ms(cpu.get("seeks")), ms(cpu.get("1x")), ms(cpu.get("4x")), ms(stall.get("seeks")),
            ms(stall.get("1x")), ms(stall.get("4x")), figures["summary"].get("cpu_pct", "n/a"), figures["unsharp"],
            figures["samples"]))


def report(options):
    rows = row_figures(options.raw, options.loop_frames, options.base)
    report_markdown(rows, sys.stdout)
    checks = check_goals(rows)
    if checks:
        sys.stdout.write("\n" + "".join("- %s\n" % line for line in checks))
    return 0 if rows else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    reporter = commands.add_parser("report", help="the tables of group 9 in markdown")
    reporter.add_argument("--raw", required=True, help="sync.raw of scripts/bench.sh")
    reporter.add_argument("--loop-frames", type=int, default=18000, help="frames of the numbered file")
    reporter.add_argument("--base", help="where the samples are, if they moved (bench-raw/samples)")
    options = parser.parse_args()
    return report(options)


if __name__ == "__main__":
    sys.exit(main())
