#!/usr/bin/env python3
"""Checks of the arithmetic of the cameras-in-step benchmark (group 9): the shared clock from its
anchor lines, a tile's distance from it, and what counts as a seek done.

    python3 -m unittest discover -s bench -p 'test_*.py'
"""
import math
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import instep  # noqa: E402

LOOP = 18000
MS = 1_000_000  # ns


def anchor_line(position, monotonic, rate, running, stamp="12.345"):
    return "%s station.multicam: clock anchor: position_ms=%s monotonic_ms=%d rate=%s running=%d" % (
        stamp, position, monotonic, rate, running)


def frame_at(moment_ms):
    """The frame a chunk shows at a moment."""
    return int(moment_ms // instep.FRAME_MS) % LOOP


class AnchorTest(unittest.TestCase):
    def test_a_log_line_reads_as_its_anchor(self):
        anchor = instep.parse_anchor(anchor_line("1765188000123.5", 5000, 4, 1))
        self.assertEqual(anchor, instep.Anchor(1765188000123.5, 5000, 4.0, True))
        self.assertFalse(instep.parse_anchor(anchor_line("10.0", 5000, "0.25", 0)).running)

    def test_what_is_not_an_anchor_is_none(self):
        for line in ("12.3 station.multicam: In step: 101 with 2 others",
                     "clock anchor: position_ms=10 monotonic_ms=5 rate=1",
                     "clock anchor: position_ms=10 monotonic_ms=5 rate=1 running=2",
                     "clock anchor: position_ms=ten monotonic_ms=5 rate=1 running=1",
                     "clock anchor: position_ms=10 monotonic_ms=5.5 rate=1 running=1",
                     "clock anchor: position_ms=nan monotonic_ms=5 rate=1 running=1",
                     ""):
            self.assertIsNone(instep.parse_anchor(line), line)


class ClockTest(unittest.TestCase):
    def test_the_moment_follows_each_anchor(self):
        clock = instep.Clock([instep.parse_anchor(line) for line in (
            anchor_line(1000, 100, 1, 1),       # runs from 1000 at t=100
            anchor_line(60000, 600, 1, 0),      # a seek: holds at 60000
            anchor_line(60000, 900, 1, 1),      # goes on
            anchor_line(60400, 1300, 4, 1),     # 4x from there
        )])
        self.assertIsNone(clock.at(99))
        self.assertEqual(clock.at(100), 1000)
        self.assertEqual(clock.at(350), 1250)
        self.assertEqual(clock.at(600), 60000)
        self.assertEqual(clock.at(899.5), 60000)
        self.assertEqual(clock.at(1000), 60100)
        self.assertEqual(clock.at(1400), 60800)

    def test_of_two_anchors_at_the_same_time_the_later_holds(self):
        clock = instep.Clock([instep.Anchor(5000, 100, 1, True), instep.Anchor(9000, 100, 1, False)])
        self.assertEqual(clock.at(150), 9000)


class DistanceTest(unittest.TestCase):
    def test_a_frame_on_time_is_within_half_a_frame(self):
        for moment in (1765188000000, 1765188000039.9, 1765188000020):
            self.assertLessEqual(abs(instep.distance(frame_at(moment), moment, LOOP)), 20, moment)

    def test_behind_and_ahead(self):
        moment = 1765188000000
        self.assertEqual(instep.distance(frame_at(moment - 400), moment, LOOP), -380)
        self.assertEqual(instep.distance(frame_at(moment + 1000), moment, LOOP), 1020)

    def test_the_file_loop_is_taken_nearest_the_clock(self):
        period = LOOP * instep.FRAME_MS
        # The clock just past a loop of the file, the tile on the file's last frame: one frame behind.
        clock = 5 * period + 10
        self.assertEqual(instep.distance(LOOP - 1, clock, LOOP), -30)
        self.assertEqual(instep.distance(0, 5 * period - 10, LOOP), 30)


class FetchedTest(unittest.TestCase):
    DAY = 1765152000000
    OFFSETS = [0, 3000, 7000]

    def kind(self, before, target):
        return instep.fetched_span(self.DAY + before, self.DAY + target, self.DAY, 10000, self.OFFSETS)

    def test_within_the_chunk_played_or_the_next(self):
        # At 35.5 s the cameras play the chunks from 30, 33 and 27 s: fetched to 50, 53 and 47 s.
        self.assertEqual(self.kind(35500, 44000), "inside")
        self.assertEqual(self.kind(35500, 46999), "inside")

    def test_outside_for_every_camera(self):
        self.assertEqual(self.kind(35500, 60000), "outside")
        self.assertEqual(self.kind(35500, 26000), "outside")

    def test_partly(self):
        # Past 47 s: outside the third camera's next chunk only.
        self.assertEqual(self.kind(35500, 48000), "partly")
        self.assertEqual(self.kind(35500, 31000), "partly")


class SeekTest(unittest.TestCase):
    """A click at t=1000 ms: the clock ran from 100000 and holds at 200000 from t=1005 to t=1800."""

    DAY = 0

    def screen(self, shown, grabs=None):
        clock = instep.Clock([instep.Anchor(100000, 0, 1, True), instep.Anchor(200000, 1005, 1, False),
                              instep.Anchor(200000, 1800, 1, True)])
        times = [t * MS for t, _ in shown]
        columns = [[frames[i] for _, frames in shown] for i in range(len(shown[0][1]))]
        return instep.Screen(times, grabs or [0] * len(times), columns, clock, LOOP)

    def seek(self):
        return {"press_ns": str(990 * MS), "release_ns": str(1000 * MS), "held_ms": "1005", "released_ms": "1800",
                "target_ms": "200000"}

    def test_every_tile_at_the_new_moment(self):
        old = frame_at(100000 + 1000)
        new = frame_at(200000)
        shown = [(1000, [old, old]), (1004, [old, old]), (1300, [new, old]), (1450, [new, "x"]), (1500, [new, new]),
                 (1700, [new, new]), (1850, [frame_at(200050), frame_at(200010)]), (2900, [new, new])]
        figures = instep.seek_figures(self.seek(), 3000 * MS, self.screen(shown), self.DAY, 10000, [0])
        # Not at 1000 or 1004, where the old picture still matches the old clock.
        self.assertEqual(figures["moment_ms"], 500)
        self.assertEqual(figures["release_ms"], 800)
        self.assertEqual(figures["held_ms"], 20)
        self.assertEqual(figures["after_ms"], 30)
        self.assertEqual(figures["kind"], "outside")

    def test_a_sample_whose_grab_took_long_is_not_taken(self):
        old, new = frame_at(101000), frame_at(200000)
        shown = [(1300, [new, new]), (1400, [new, new]), (1500, [old, new])]
        grabs = [20 * MS, 0, 0]
        figures = instep.seek_figures(self.seek(), 3000 * MS, self.screen(shown, grabs), self.DAY, 10000, [0])
        self.assertEqual(figures["moment_ms"], 400)

    def test_a_tile_that_never_gets_there(self):
        old, new = frame_at(101000), frame_at(200000)
        shown = [(1300, [new, old]), (2000, [new, "-"])]
        figures = instep.seek_figures(self.seek(), 3000 * MS, self.screen(shown), self.DAY, 10000, [0])
        self.assertIsNone(figures["moment_ms"])
        rows = {"seeks": [dict(figures, kind="outside")], "play": {}}
        self.assertTrue(math.isinf(instep.goal_figures(rows)["outside_ms"]))


class PlayTest(unittest.TestCase):
    def test_each_tiles_distances(self):
        clock = instep.Clock([instep.Anchor(500000, 0, 4, True)])
        # At 4x: tile 0 on time, tile 1 behind by 600 ms of the recording.
        times = [t * MS for t in range(0, 1000, 10)]
        on_time = [frame_at(500000 + 4 * t / MS) for t in times]
        behind = [frame_at(500000 + 4 * t / MS - 600) for t in times]
        screen = instep.Screen(times, [0] * len(times), [on_time, behind], clock, LOOP)
        tiles = instep.play_figures(screen, 0, 1000 * MS)
        self.assertLessEqual(tiles[0]["worst"], 20)
        self.assertAlmostEqual(tiles[1]["median"], -600, delta=20)
        self.assertAlmostEqual(tiles[1]["behind"], 600, delta=20)
        self.assertGreater(tiles[0]["shown"], 90)  # a new frame every 10 ms at 4x


class RunTest(unittest.TestCase):
    """A row's run from its files, as bench_live sync and bench_screen leave them."""

    def test_the_chosen_tile_is_not_read_and_the_rest_is(self):
        with tempfile.TemporaryDirectory() as folder:
            samples, anchors, raw = (os.path.join(folder, name) for name in ("s.txt", "s.anchors", "sync.raw"))
            moment = lambda t_ms: 200000 + (t_ms - 1800) if t_ms >= 1800 else 200000  # noqa: E731
            with open(samples, "w") as out:
                for t_ms in range(1100, 3000, 50):
                    # Tile 0, the chosen one, never reads; the others follow the clock.
                    out.write("s t_ns=%d grab_ns=500000 f=-,%d,%d\n" % (t_ms * MS, frame_at(moment(t_ms)),
                                                                         frame_at(moment(t_ms))))
                out.write("screen_end samples=38 cpu_pct=1.5\n")
            with open(anchors, "w") as out:
                out.write(anchor_line(100000, 0, 1, 1) + "\n" + anchor_line(200000, 1005, 1, 0) + "\n"
                          + anchor_line(200000, 1800, 1, 1) + "\n")
            prefix = "run=1 stream=360p n=4 "
            with open(raw, "w") as out:
                out.write(prefix + "sync tiles=3 day_start_ms=0 chunk_ms=10000 offsets=0,3000 samples=%s anchors=%s\n"
                          % (samples, anchors))
                for index in range(3):
                    out.write(prefix + "tile index=%d rect=0,0,10,10 chosen=%d\n" % (index, index == 0))
                out.write(prefix + "seek index=0 aim=outside before_ms=100990.0 press_ns=%d release_ns=%d x=5 "
                          "held_ms=1005 released_ms=1800 target_ms=200000.0\n" % (990 * MS, 1000 * MS))
                out.write(prefix + "phase name=seeks start_ns=0 end_ns=%d cpu_s=1 cpu_pct=50.0\n" % (2000 * MS))
                out.write(prefix + "phase name=1x start_ns=%d end_ns=%d cpu_s=1 cpu_pct=60.0\n" % (2000 * MS, 3000 * MS))
            rows = instep.row_figures(raw, LOOP)
        self.assertEqual([(stream, n) for stream, n, _ in rows], [("360p", "4")])
        figures = rows[0][2]
        self.assertEqual((figures["tiles_read"], figures["tiles"]), (2, 3))
        self.assertEqual(figures["seeks"][0]["moment_ms"], 100)  # the first sample after the hold
        self.assertEqual(figures["seeks"][0]["kind"], "outside")
        self.assertLessEqual(instep.goal_figures(figures)["play_distance_ms"], 20)
        self.assertEqual(figures["cpu"], {"seeks": 50.0, "1x": 60.0})


if __name__ == "__main__":
    unittest.main()
