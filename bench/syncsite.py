#!/usr/bin/env python3
"""The site of the cameras-in-step benchmark (group 9) for vantor-sim, and the warming of its chunks.

    syncsite.py site --address 127.0.0.71 --count 16 --size 360p --media FILE.mp4 \\
                     [--chunk-ms 10000] [--offsets 0,3000,7000] [--day-start MS] > site.json
    syncsite.py warm --address 127.0.0.71 --port 9554 --count 16 --from MS --to MS \\
                     [--chunk-ms 10000] [--offsets 0,3000,7000] [--day-start MS]

`site`: one gateway with COUNT cameras of one size that record the whole local day (and a chunk
either side) in chunks of CHUNK_MS, their media cut from the numbered file FILE (`chunkMedia`: the
frame shown at moment T carries the number floor(T / 40) mod F). Camera i cuts its chunks at the
day's start + OFFSETS[i mod len] + k * CHUNK_MS, so that the cameras' boundaries fall at different
moments. Layouts "Sync N" (N = 4, 9, 16, as COUNT allows): square grids of the first N cameras. No
POS. The streams' live URLs lead nowhere: only their recordings are played.

`warm`: asks the gateway once for every chunk that overlaps [FROM, TO] of one camera per offset,
one request at a time, so that the simulator has cut them (its cuts are kept in its media folder)
before a station asks: a real gateway serves its recordings from files, ready. Prints how many it
fetched and how long that took; exits 1 when a chunk did not come.

Offsets are whole seconds so that every chunk starts on a key frame of the numbered file and is
copied rather than re-encoded. The day's start is the local midnight of today unless given.
Standard library only.
"""
import argparse
import datetime
import http.client
import json
import math
import sys
import time

FIRST_STREAM_ID = 100
SIZES = {"360p": "640x360", "720p": "1280x720"}
DAY_MS = 24 * 3600 * 1000


def local_day_start(now=None):
    """Today's local midnight in ms since the epoch (the day the recorded page shows first)."""
    now = now or datetime.datetime.now().astimezone()
    midnight = now.replace(hour=0, minute=0, second=0, microsecond=0)
    return int(midnight.timestamp() * 1000)


def offset_of(camera, offsets):
    return offsets[camera % len(offsets)]


def chunk_starts(day_start, offset, chunk_ms, first_ms, last_ms):
    """Starts of the chunks of a camera with this offset that overlap [first_ms, last_ms]."""
    base = day_start + offset
    k = math.floor((first_ms - base) / chunk_ms)
    starts = []
    start = base + k * chunk_ms
    while start <= last_ms:
        if start + chunk_ms > first_ms:
            starts.append(start)
        start += chunk_ms
    return starts


def make_site(options, offsets, day_start):
    objects = [
        {"id": 1, "name": "Cameras in step", "type": 7, "className": "location.SITE"},
        {"id": 2, "name": "Users", "type": 4, "className": "group.USERS", "parent": 1},
        {"id": 3, "name": "operator", "type": 1, "className": "user.OPERATOR", "parent": 2, "password": "operator"},
        {"id": 11, "name": "Gateway", "type": 2, "className": "device.GATEWAY", "parent": 1, "serial": "GW-SYNC",
         "settings": {"address": options.address}, "gateway": {}},
    ]
    recordings = []
    ids = []
    for i in range(options.count):
        stream_id = FIRST_STREAM_ID + i
        ids.append(stream_id)
        objects.append({
            "id": stream_id, "name": "Camera %s %d" % (options.size, i + 1), "type": 10,
            "className": "stream.CAMERA", "parent": 11, "serial": "CAM-%d" % stream_id,
            "settings": {"url": "http://%s:1/none.ts" % options.address, "size": SIZES[options.size]}})
        # From a chunk that holds the day's start to one past its end.
        first = day_start + offset_of(i, offsets) - options.chunk_ms
        recordings.append({"stream": stream_id, "chunks": {
            "start": first, "spanMs": DAY_MS + 2 * options.chunk_ms, "durationMs": options.chunk_ms,
            "size": 1250000}})

    def grid(members):
        side = math.isqrt(len(members))
        return {"numRows": side, "numCols": side, "elements": [
            {"row": i // side, "col": i % side, "rowSpan": 1, "colSpan": 1, "type": "video",
             "label": "Camera %d" % (i + 1), "deviceId": "11", "objectId": str(stream_id)}
            for i, stream_id in enumerate(members)]}

    layouts = {"Sync %d" % n: grid(ids[:n]) for n in (4, 9, 16) if n <= len(ids)}
    return {"name": "Cameras-in-step benchmark site", "rootId": 1, "pos": {"seed": 1, "rate": 0},
            "objects": objects, "layouts": layouts, "recordings": recordings,
            "chunkMedia": {"numbered": options.media}}


def warm(options, offsets, day_start):
    cameras = {}
    for i in range(options.count):
        cameras.setdefault(offset_of(i, offsets), FIRST_STREAM_ID + i)
    fetched = 0
    began = time.monotonic()
    for offset, stream_id in sorted(cameras.items()):
        for start in chunk_starts(day_start, offset, options.chunk_ms, options.first, options.last):
            path = "/%d-%d-%d" % (stream_id, start, start + options.chunk_ms)
            connection = http.client.HTTPConnection(options.address, options.port, timeout=120)
            try:
                connection.request("GET", path)
                answer = connection.getresponse()
                body = answer.read()
            except OSError as error:
                print("syncsite.py: %s: %s" % (path, error), file=sys.stderr)
                return 1
            finally:
                connection.close()
            if answer.status != 200 or not body:
                print("syncsite.py: %s: HTTP %d %s" % (path, answer.status, body[:200].decode("utf-8", "replace")),
                      file=sys.stderr)
                return 1
            fetched += 1
    print("warm chunks=%d seconds=%.1f" % (fetched, time.monotonic() - began))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    for name in ("site", "warm"):
        command = commands.add_parser(name)
        command.add_argument("--address", default="127.0.0.1")
        command.add_argument("--count", type=int, required=True)
        command.add_argument("--chunk-ms", type=int, default=10000)
        command.add_argument("--offsets", default="0,3000,7000", help="ms, comma-separated, whole seconds")
        command.add_argument("--day-start", type=int, help="ms since the epoch (default: today's local midnight)")
        if name == "site":
            command.add_argument("--size", choices=sorted(SIZES), required=True)
            command.add_argument("--media", required=True, help="the numbered file (bench/framecode.py make)")
        else:
            command.add_argument("--port", type=int, default=9554, help="the gateway's HTTP port")
            command.add_argument("--from", dest="first", type=int, required=True, help="ms since the epoch")
            command.add_argument("--to", dest="last", type=int, required=True, help="ms since the epoch")
    options = parser.parse_args()
    try:
        offsets = [int(text) for text in options.offsets.split(",") if text.strip()]
    except ValueError:
        parser.error("--offsets needs whole numbers of ms, not %r" % options.offsets)
    if not offsets or any(offset % 1000 or not 0 <= offset < options.chunk_ms for offset in offsets):
        parser.error("--offsets need whole seconds within a chunk, not %r" % options.offsets)
    if options.count < 1 or options.chunk_ms < 1000 or options.chunk_ms % 1000:
        parser.error("--count needs a camera or more and --chunk-ms whole seconds")
    day_start = options.day_start if options.day_start is not None else local_day_start()
    if options.command == "warm":
        return warm(options, offsets, day_start)
    json.dump(make_site(options, offsets, day_start), sys.stdout, indent=1)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
