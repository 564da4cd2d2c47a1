#!/usr/bin/env python3
"""Checks of the frame code and of the lag arithmetic of the live-tile benchmark.

    python3 -m unittest discover -s bench -p 'test_*.py'
"""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import framecode  # noqa: E402
import lag  # noqa: E402
import streamserver  # noqa: E402

SECOND = 1_000_000_000
LOOP = 18000
HERE = os.path.dirname(os.path.abspath(__file__))
HAVE_FFMPEG = shutil.which("ffmpeg") is not None and shutil.which("ffprobe") is not None


def levels_of(number, white=235, black=16):
    return [white if value else black for value in framecode.blocks_of(number)]


class FrameCodeTest(unittest.TestCase):
    def test_every_number_reads_back(self):
        for number in list(range(0, 300)) + [17999, 18000, 32767]:
            self.assertEqual(framecode.number_of(levels_of(number)), (number, None), number)

    def test_a_single_wrong_block_is_rejected(self):
        # Any one block flipped, markers and check included, must not read as another number.
        for number in (0, 1, 12345, 17999, 32767):
            levels = levels_of(number)
            for i in range(framecode.BLOCKS):
                flipped = list(levels)
                flipped[i] = 251 - flipped[i]
                read, reason = framecode.number_of(flipped)
                self.assertIsNone(read, "number %d, block %d read as %s" % (number, i, read))
                self.assertIn(reason, ("check", "nostrip"))

    def test_a_bright_edge_beside_darkness_is_not_a_number(self):
        # A white first block and nothing but black, or nothing but white, up to the black one.
        for fill in (16, 235):
            levels = [235] + [fill] * (framecode.BLOCKS - 2) + [16]
            self.assertEqual(framecode.number_of(levels), (None, "check"), fill)

    def test_what_is_no_strip(self):
        self.assertEqual(framecode.number_of([0] * 20), (None, "nostrip"))
        self.assertEqual(framecode.number_of([255] * 20), (None, "nostrip"))
        # A dimmed strip (something half-transparent over it) still reads; a washed-out one does not.
        dim = [level // 2 for level in levels_of(4242)]
        self.assertEqual(framecode.number_of(dim), (4242, None))
        self.assertEqual(framecode.number_of([120 + level // 8 for level in levels_of(4242)])[1], "nostrip")
        self.assertEqual(framecode.number_of(levels_of(7)[:-1]), (None, "nostrip"))

    def test_a_grey_block_is_unclear_not_a_bit(self):
        levels = levels_of(1000)
        levels[5] = 128
        self.assertEqual(framecode.number_of(levels), (None, "unclear"))

    def test_numbers_out_of_range_are_refused(self):
        with self.assertRaises(ValueError):
            framecode.blocks_of(1 << framecode.DATA_BITS)
        with self.assertRaises(ValueError):
            framecode.blocks_of(-1)

    def test_strip_pictures_read_back_at_the_block_centres(self):
        width, side = 640, 32
        frames = list(framecode.strip_frames(width, side, 40))
        self.assertEqual(len(frames[0]), width * side)
        for number in (0, 1, 25, 39):
            # The strip alone is `side` rows of a picture 360 high: the reader looks at its middle.
            levels = framecode.read_levels(frames[number], width, side, w=width, h=360)
            self.assertEqual(framecode.number_of(levels), (number, None))


class LagTest(unittest.TestCase):
    def test_lag_from_the_server_clock(self):
        t0 = 1000 * SECOND
        # Frame k leaves at t0 + (k - 1)/25: at t0 + 2 s the server is sending frame 51.
        self.assertAlmostEqual(lag.lag_seconds(t0 + 2 * SECOND, 51, t0, LOOP), 0.0)
        self.assertAlmostEqual(lag.lag_seconds(t0 + 2 * SECOND, 26, t0, LOOP), 1.0)
        # Within a frame period the expected frame does not change.
        self.assertAlmostEqual(lag.lag_seconds(t0 + 2 * SECOND + 39_000_000, 26, t0, LOOP), 1.0)

    def test_lag_across_the_loop_of_the_file(self):
        t0 = 0
        # 13 minutes in, the server is on frame 19501 - 18000 = 1501 of its second pass; a tile
        # showing frame 17950 of the first pass is 1551 frames behind, not 16449 ahead.
        t = 13 * 60 * SECOND
        self.assertAlmostEqual(lag.lag_seconds(t, 17950, t0, LOOP), 1551 / 25)
        # A few minutes behind, still unambiguous.
        self.assertAlmostEqual(lag.lag_seconds(t, (19501 - 25 * 300) % LOOP, t0, LOOP), 300.0)

    def test_a_frame_ahead_of_the_server_is_a_small_negative_lag(self):
        self.assertAlmostEqual(lag.lag_seconds(SECOND, 30, 0, LOOP), -0.16)

    def test_the_latest_connection_before_a_sample_counts(self):
        connections = lag.Connections()
        connections.starts[28001] = [10 * SECOND, 50 * SECOND]
        self.assertIsNone(connections.t0(28001, 5 * SECOND))
        self.assertEqual(connections.t0(28001, 49 * SECOND), 10 * SECOND)
        self.assertEqual(connections.t0(28001, 50 * SECOND), 50 * SECOND)
        self.assertIsNone(connections.t0(28002, 60 * SECOND))

    def test_the_old_picture_after_a_reload_is_timed_against_its_own_connection(self):
        connections = lag.Connections()
        connections.starts[28001] = [0, 100 * SECOND]
        # 0.5 s after the reload the first connection is sending frame 2513 and the tile still
        # shows its frame 2475; a second later the new connection sends frame 38 and the tile
        # shows its frame 10.
        times = [100 * SECOND + SECOND // 2, 101 * SECOND + SECOND // 2]
        series = lag.tile_series(times, [2475, 10], 28001, connections, LOOP)
        self.assertAlmostEqual(series[0][2], 38 / 25)
        self.assertAlmostEqual(series[1][2], 28 / 25)

    def test_growth_and_frames_shown_of_a_tile_at_half_speed(self):
        # A tile that shows every second frame of the stream, 100 samples a second.
        t0 = 0
        series = []
        for i in range(100 * 20):
            t = t0 + i * SECOND // 100
            shown = (t * 25 // SECOND) // 2
            series.append((t, shown, lag.lag_seconds(t, shown, t0, LOOP)))
        growth = lag.lag_growth(series, 0, 20 * SECOND)
        self.assertAlmostEqual(growth, 0.5, places=2)
        self.assertAlmostEqual(lag.distinct_frames_per_second(series, 0, 20 * SECOND), 12.5, delta=0.2)
        self.assertEqual(lag.backward_steps(series), 0)

    def test_a_picture_that_goes_back_is_counted(self):
        series = [(0, 100, 0.0), (SECOND // 100, 101, 0.0), (2 * SECOND // 100, 90, 0.45), (3 * SECOND // 100, 91, 0.45)]
        self.assertEqual(lag.backward_steps(series), 1)

    def test_stall_recovery(self):
        def series_of(lags):
            return [(i * SECOND // 10, 0, value) for i, value in enumerate(lags)]

        stop, cont, end = 10 * SECOND, 13 * SECOND, 20 * SECOND
        # 0.5 s before; 3.5 s right after the stall, back to 0.6 s 1 s after SIGCONT.
        lags = [0.5] * 100 + [3.5] * 30 + [3.5] * 10 + [0.6] * 60 + [0.6]
        before, peak, back, last = lag.stall_recovery(series_of(lags), stop, cont, end)
        self.assertAlmostEqual(before, 0.5)
        self.assertAlmostEqual(peak, 3.5)
        self.assertAlmostEqual(back, 1.0)
        self.assertAlmostEqual(last, 0.6)
        # Never back: the lag stays 3 s up.
        lags = [0.5] * 100 + [3.5] * 101
        self.assertIsNone(lag.stall_recovery(series_of(lags), stop, cont, end)[2])
        # Back for a moment, then out again: it is back only from the last time it came back.
        lags = [0.5] * 100 + [3.5] * 30 + [0.5] * 10 + [1.5] * 10 + [0.5] * 51
        self.assertAlmostEqual(lag.stall_recovery(series_of(lags), stop, cont, end)[2], 2.0)
        # No samples before the stop: no figure rather than a wrong one.
        self.assertIsNone(lag.stall_recovery(series_of([0.5] * 5), stop, cont, end))


class ReportTest(unittest.TestCase):
    """The whole path from the files the benchmark writes to the figures."""

    def write(self, directory, name, lines):
        path = os.path.join(directory, name)
        with open(path, "w", encoding="utf-8") as handle:
            handle.write("\n".join(lines) + "\n")
        return path

    def test_figures_of_a_run(self):
        with tempfile.TemporaryDirectory() as directory:
            t0 = 5000 * SECOND
            start = t0 + 2 * SECOND
            samples = []
            for i in range(100 * 10):
                t = start + i * SECOND // 100
                sent = (t - t0) * 25 // SECOND + 1
                # Tile 0 keeps 0.4 s behind; tile 1 falls behind at 0.5 s/s; one sample unread.
                first = sent - 10
                second = sent - 50 - (t - start) * 25 // (2 * SECOND)
                # Sample 600 of tile 1 reads past the end of the file: a misread too.
                samples.append("s t_ns=%d grab_ns=200000 f=%s,%s" % (
                    t, first, "x" if i == 500 else 30000 if i == 600 else second))
            samples.append("screen_end samples=1000 cpu_pct=1.5 grab_us_p50=150 grab_us_max=900 "
                           "bytes_per_sample=60000 late=0")
            samples_path = self.write(directory, "client.txt", samples)
            raw = self.write(directory, "tiles.raw", [
                "run=1 stream=360p n=4 tile who=client index=0 fps=24.5 port=28001",
                "run=1 stream=360p n=4 tile who=client index=1 fps=12.5 port=28002",
                "run=1 stream=360p n=4 window who=client start_ns=%d end_ns=%d" % (start, start + 10 * SECOND),
                "run=1 stream=360p n=4 screen who=client samples=%s" % samples_path,
            ])
            streams = self.write(directory, "streams.log", [
                "ready",
                "connection id=1 port=28001 t0_ns=%d peer=127.0.0.1:1" % t0,
                "connection id=2 port=28002 t0_ns=%d peer=127.0.0.1:2" % t0,
            ])
            rows = lag.row_figures(lag.read_raw(raw), lag.Connections.read(streams), LOOP)
            figures = rows[("360p", "4", "client")][0]
            self.assertEqual(figures["misreads"], 2)
            self.assertEqual(figures["samples"], 2000)
            # 1000 samples at 0.4 s and 998 from 2 s up: the median is 0.4 s.
            self.assertAlmostEqual(figures["lag_whole_median"], 0.4, delta=0.01)
            self.assertAlmostEqual(figures["lag_whole_worst"], 2.0 + 5.0, delta=0.1)
            self.assertAlmostEqual(figures["growth_median"], 0.25, delta=0.01)
            self.assertAlmostEqual(figures["growth_worst"], 0.5, delta=0.01)
            self.assertAlmostEqual(figures["shown_median"], 18.75, delta=0.5)
            self.assertAlmostEqual(figures["shown_worst"], 12.5, delta=0.3)
            self.assertAlmostEqual(figures["counter_fps_worst"], 12.5)
            self.assertNotIn("lag_last_median", figures)
            checks = lag.check_goals(rows)
            self.assertTrue(any("lag growth of the worst tile (s/s) 0.50, not met" in line for line in checks), checks)
            self.assertTrue(any("misread strips 2, not met" in line for line in checks), checks)


    def test_two_runs_give_median_and_range_and_a_stall_that_never_ends(self):
        runs = [{"lag_whole_median": 1.0, "lag_whole_worst": 2.0, "stall_s": 3.0, "stall_observed_s": 15.0,
                 "stall_before": 1.0, "stall_peak": 4.0, "stall_back": None, "stall_added": 3.0},
                {"lag_whole_median": 3.0, "lag_whole_worst": 2.0, "stall_s": 3.0, "stall_observed_s": 15.0,
                 "stall_before": 1.0, "stall_peak": 5.0, "stall_back": None, "stall_added": 3.0}]
        self.assertEqual(lag.pair(runs, "lag_whole_median", "lag_whole_worst", 2), "2.00 (1.00–3.00) / 2.00")
        self.assertEqual(lag.fmt([None, None], 1), "n/a")

        class Out:
            text = ""

            def write(self, part):
                Out.text += part

        lag.report_markdown({("360p", "9", "client"): runs}, Out())
        self.assertIn("| 360p | 9 | client | 1.00 | 4.50 (4.00–5.00) | not within 15 s | 3.00 |", Out.text)

    def test_the_client_is_held_to_the_players_of_its_row(self):
        def figures(lag_median):
            return {"lag_whole_median": lag_median, "misreads": 0}

        rows = {("360p", "9", "client"): [figures(0.9)], ("360p", "9", "mpv"): [figures(0.6)],
                ("360p", "4", "client"): [figures(0.9)], ("360p", "4", "mpv"): [figures(1.0)]}
        checks = [line for line in lag.check_goals(rows) if "median lag" in line]
        self.assertEqual(len(checks), 2, checks)
        self.assertIn("9 of 360p, client: median lag (s) 0.90, not met", checks[0])
        self.assertIn("4 of 360p, client: median lag (s) 0.90, met", checks[1])

    def test_samples_are_found_beside_moved_raw_figures(self):
        with tempfile.TemporaryDirectory() as directory:
            os.mkdir(os.path.join(directory, "samples"))
            moved = self.write(os.path.join(directory, "samples"), "run1-360p-4-client.txt", ["s t_ns=1 f=1"])
            self.assertEqual(lag.locate("/tmp/gone-away/samples/run1-360p-4-client.txt", directory), moved)
            self.assertEqual(lag.locate("/tmp/gone-away/other.txt", directory), "/tmp/gone-away/other.txt")


class FullViewTest(unittest.TestCase):
    """The switch of a double-clicked tile to its main stream, seen on the screen."""

    SUB, MAIN = 28001, 28201

    def connections(self, sub_t0, main_t0s):
        connections = lag.Connections()
        connections.starts[self.SUB] = [sub_t0]
        connections.starts[self.MAIN] = sorted(main_t0s)
        return connections

    def samples(self, click, main_t0, first_main, frozen_sub):
        """100 samples a second from 1 s before the click: the sub-stream playing until the click,
        its last picture held, then the main stream from `first_main` on, 0.2 s behind."""
        times, values = [], []
        for i in range(400):
            t = click - SECOND + i * SECOND // 100
            if t < click:
                value = frozen_sub - (click - t) * 25 // SECOND
            elif t < first_main:
                value = frozen_sub
            else:
                value = (t - main_t0) * 25 // SECOND + 1 - 5
            times.append(t)
            values.append(max(value, 0))
        return times, values

    def test_the_first_main_frame_after_the_held_picture(self):
        sub_t0 = 1000 * SECOND
        click = sub_t0 + 70 * SECOND
        main_t0 = click + 300 * SECOND // 1000
        first_main = click + 900 * SECOND // 1000
        times, values = self.samples(click, main_t0, first_main, frozen_sub=70 * 25)
        connections = self.connections(sub_t0, [sub_t0 - SECOND, main_t0])
        connections.requests[self.MAIN] = [sub_t0 - SECOND, click + SECOND // 10]
        figures = lag.fullview_switch(times, values, click, self.MAIN, self.SUB, connections, LOOP)
        self.assertAlmostEqual(figures["server_request_s"], 0.1)
        self.assertAlmostEqual(figures["wire_s"], 0.3)
        self.assertAlmostEqual(figures["screen_s"], 0.9)

    def test_a_main_stream_never_shown_or_never_asked_for(self):
        sub_t0 = 1000 * SECOND
        click = sub_t0 + 70 * SECOND
        # The held picture for the whole read: the main stream's connection is there, its frames not.
        times, values = self.samples(click, click + SECOND, click + 100 * SECOND, frozen_sub=70 * 25)
        figures = lag.fullview_switch(times, values, click, self.MAIN, self.SUB,
                                      self.connections(sub_t0, [click + SECOND]), LOOP)
        self.assertAlmostEqual(figures["wire_s"], 1.0)
        self.assertIsNone(figures["screen_s"])
        # No connection to the main stream after the click (only one from before it).
        figures = lag.fullview_switch(times, values, click, self.MAIN, self.SUB,
                                      self.connections(sub_t0, [sub_t0]), LOOP)
        self.assertEqual(figures, {"wire_s": None, "screen_s": None, "server_request_s": None})

    def test_misreads_and_frames_ahead_of_the_main_stream_are_not_its_first_frame(self):
        sub_t0 = 1000 * SECOND
        click = sub_t0 + 70 * SECOND
        main_t0 = click + SECOND // 10
        times = [click + k * SECOND // 10 for k in range(1, 6)]
        # A misread, a frame 2 s ahead of what the main stream sent, no strip, then frame 6.
        values = ["x", 60, "-", 6, 7]
        figures = lag.fullview_switch(times, values, click, self.MAIN, self.SUB,
                                      self.connections(sub_t0, [main_t0]), LOOP)
        self.assertAlmostEqual(figures["screen_s"], 0.4)

    def test_frames_that_fit_the_sub_stream_too_are_not_claimed(self):
        # The sub-stream connected just before the click: its held frame 12 would fit the main
        # stream's timeline as well, and so would the main stream's frames fit the sub-stream's.
        click = 1000 * SECOND
        sub_t0 = click - SECOND // 2
        main_t0 = click + SECOND // 10
        times = [click + k * SECOND // 10 for k in range(1, 20)]
        values = [12] * 5 + [(t - main_t0) * 25 // SECOND for t in times[5:]]
        figures = lag.fullview_switch(times, values, click, self.MAIN, self.SUB,
                                      self.connections(sub_t0, [main_t0]), LOOP)
        self.assertIsNone(figures["screen_s"])

    def test_rounds_from_the_raw_lines(self):
        with tempfile.TemporaryDirectory() as directory:
            sub_t0 = 1000 * SECOND
            click = sub_t0 + 70 * SECOND
            main_t0 = click + SECOND // 2
            times, values = self.samples(click, main_t0, click + SECOND, frozen_sub=70 * 25)
            path = os.path.join(directory, "full.txt")
            with open(path, "w", encoding="utf-8") as handle:
                handle.writelines("s t_ns=%d grab_ns=1 f=%d\n" % (t, v) for t, v in zip(times, values))
            raw = [lag.parse_fields("run=1 stream=1080p+sub n=16 fullview round=1 tile=1 click_ns=%d sub_port=%d "
                                    "main_port=%d samples=%s request_ms=12 loaded_ms=-1" %
                                    (click, self.SUB, self.MAIN, path))]
            rounds = lag.fullview_rounds(raw, self.connections(sub_t0, [main_t0]), LOOP)
            self.assertEqual(list(rounds), [("1080p+sub", "16")])
            figures = rounds[("1080p+sub", "16")][0]
            self.assertAlmostEqual(figures["screen_s"], 1.0)
            self.assertAlmostEqual(figures["request_s"], 0.012)
            self.assertIsNone(figures["loaded_s"])


def ts_packet(pid, start, payload, adaptation=b""):
    """One 188-byte TS packet; `adaptation` is the adaptation field's body (then with payload)."""
    flags = 0x40 if start else 0
    header = bytes([0x47, flags | (pid >> 8), pid & 0xFF])
    if adaptation:
        header += bytes([0x30, len(adaptation)]) + adaptation
    else:
        header += bytes([0x10])
    packet = header + payload
    return packet + b"\xff" * (188 - len(packet))


class PacingTest(unittest.TestCase):
    def test_only_video_pes_starts_are_frames(self):
        video = b"\x00\x00\x01\xe0\x00\x00"
        data = (ts_packet(0x100, True, video)                      # a frame
                + ts_packet(0x100, False, b"\x12" * 20)             # its continuation
                + ts_packet(0x100, True, video, adaptation=b"\x50" + b"\x00" * 6)  # a frame after a PCR
                + ts_packet(0x101, True, b"\x00\x00\x01\xc0\x00\x00")  # audio
                + ts_packet(0x000, True, b"\x00\x00\xb0"))         # a table
        count, rest = lag.video_pes_starts(data + data[:100])
        self.assertEqual(count, 2)
        self.assertEqual(rest, data[:100])
        # A packet cut in two is counted once it is whole.
        first, rest = lag.video_pes_starts(data[:250])
        second, rest = lag.video_pes_starts(rest + data[250:])
        self.assertEqual((first, second, rest), (1, 1, b""))

    def test_figures_of_frames_sent_one_period_early(self):
        t0 = 7 * SECOND
        arrivals = [t0] + [t0 + (k - 1) * SECOND // 25 for k in range(1, 250)]
        figures = lag.pacing_figures(arrivals, t0)
        self.assertEqual(figures["frames"], 250)
        self.assertAlmostEqual(figures["first_ms"], 0.0)
        self.assertAlmostEqual(figures["offset_median_ms"], -40.0)
        self.assertAlmostEqual(figures["rate_fps"], 25.0, places=1)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


@unittest.skipUnless(HAVE_FFMPEG, "needs ffmpeg and ffprobe")
class MediaTest(unittest.TestCase):
    """A short stream made, read back, served and logged as the benchmark does it."""

    @classmethod
    def setUpClass(cls):
        cls.directory = tempfile.mkdtemp()
        cls.media = os.path.join(cls.directory, "code.mp4")
        subprocess.run([sys.executable, os.path.join(HERE, "framecode.py"), "make", "--size", "640x360",
                        "--bitrate", "1000k", "--frames", "50", "--out", cls.media], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.directory)

    def verify(self, path, *extra):
        return subprocess.run([sys.executable, os.path.join(HERE, "framecode.py"), "verify", path] + list(extra),
                              capture_output=True, text=True)

    def test_a_made_file_reads_back_at_half_size_and_a_faulty_one_does_not(self):
        self.assertEqual(self.verify(self.media, "--frames", "50", "--scale", "0.5").returncode, 0)
        # A frame missing in the middle: every later frame reads one ahead of its index.
        gap = os.path.join(self.directory, "gap.mp4")
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-nostdin", "-i", self.media, "-vf",
                        "select=not(eq(n\\,20)),setpts=N/25/TB", "-c:v", "libx264", "-b:v", "1000k", gap], check=True)
        result = self.verify(gap, "--frames", "49")
        self.assertEqual(result.returncode, 1)
        self.assertIn("frame 20 reads as 21", result.stderr)
        # The wrong length is a fault too.
        self.assertEqual(self.verify(self.media, "--frames", "60").returncode, 1)

    def start_server(self, log_name):
        """The stream server on a free port, serving the test's file, once it says it is ready
        (its first start remuxes and indexes the file)."""
        port = free_port()
        log = os.path.join(self.directory, log_name)
        with open(log, "w") as out:
            server = subprocess.Popen([sys.executable, os.path.join(HERE, "streamserver.py"), "--address",
                                       "127.0.0.1", "--port", str(port), self.media], stdout=out)
        for _ in range(200):
            with open(log) as handle:
                if "ready" in handle.read():
                    break
            time.sleep(0.05)
        return port, log, server

    def test_the_server_loops_its_file_as_one_stream(self):
        # Across the seam of a 50-frame file (2 s) every video frame is 40 ms after the one before
        # and no packet's continuity counter skips: a player sees one stream, not a jump back.
        port, log, server = self.start_server("loop.log")
        try:
            data = b""
            with urllib.request.urlopen("http://127.0.0.1:%d/live.ts" % port, timeout=10) as response:
                deadline = time.monotonic() + 2.6
                while time.monotonic() < deadline:
                    data += response.read1(65536)
        finally:
            server.terminate()
            server.wait()
        data = data[:len(data) - len(data) % streamserver.TS_PACKET]
        index = streamserver.index_ts(data)
        stamps = [streamserver.read_stamp(data, at) for at in index["stamps"]]
        self.assertGreater(len(stamps), 55)
        self.assertEqual({b - a for a, b in zip(stamps, stamps[1:])}, {3600})
        counters = {}
        for offset in range(0, len(data), streamserver.TS_PACKET):
            pid = (data[offset + 1] & 0x1f) << 8 | data[offset + 2]
            if data[offset + 3] & 0x10:
                counter = data[offset + 3] & 0x0f
                if pid in counters:
                    self.assertEqual(counter, (counters[pid] + 1) & 0x0f, "PID %d at byte %d" % (pid, offset))
                counters[pid] = counter

    def test_the_server_logs_each_connection_before_its_first_bytes(self):
        port, log, server = self.start_server("streams.log")
        try:
            before = time.monotonic_ns()
            arrivals = lag.video_frame_arrivals("http://127.0.0.1:%d/live.ts" % port, 1.0)
            for _ in range(100):
                with open(log) as handle:
                    text = handle.read()
                if "closed " in text:
                    break
                time.sleep(0.05)
        finally:
            server.terminate()
            server.wait()
        self.assertTrue(arrivals)
        t0 = lag.Connections.read(log).t0(port, arrivals[0])
        self.assertIsNotNone(t0, text)
        self.assertTrue(before <= t0 <= arrivals[0])
        # The request is logged when it has been read, before the stream's first bytes.
        requests = lag.Connections.read(log).requests[port]
        self.assertEqual(len(requests), 1, text)
        self.assertTrue(before <= requests[0] <= t0)
        closed = [lag.parse_fields(line) for line in text.splitlines() if line.startswith("closed ")]
        self.assertEqual(len(closed), 1, text)
        self.assertEqual(int(closed[0]["t0_ns"]), t0)
        self.assertGreater(int(closed[0]["bytes"]), 0)


if __name__ == "__main__":
    unittest.main()
