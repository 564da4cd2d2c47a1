#!/usr/bin/env python3
"""Writes the site file of the live-view benchmarks for vantor-sim.

    livesite.py --address 127.0.0.71 --port360 28001 --count360 64 --port720 28101 --count720 9 \
                [--port1080 28201 --count1080 16] > site.json

One gateway holds the streams; stream i of a size is served at http://ADDRESS:(PORT + i)/live.ts
(bench/streamserver.py). Layouts: "Tiles N 360p" and "Tiles N 720p" (N = 4, 9, 16, 25, 36, 64: square
grids of the first N streams of that size, where there are that many), and "Switch A" /
"Switch B": 3 by 3 grids of the 360p streams 0-8 and 9-17. POS is off, so that the tiles only
play video.

With --port1080, the 1080p cameras come twice: "Camera 1080p i" sends 1080p stream i as its main
stream and 360p stream i as its sub-stream ("size", "subUrl", "subSize"), "Camera 1080p main i"
the main stream only. Layouts "Tiles N 1080p+sub" and "Tiles N 1080p" (N = 4, 9, 16) show them.
"""
import argparse
import json
import math
import sys


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port360", type=int, required=True)
    parser.add_argument("--count360", type=int, default=64)
    parser.add_argument("--port720", type=int, required=True)
    parser.add_argument("--count720", type=int, default=9)
    parser.add_argument("--port1080", type=int, help="port of the first 1080p stream (none: no 1080p cameras)")
    parser.add_argument("--count1080", type=int, default=16)
    options = parser.parse_args()

    objects = [
        {"id": 1, "name": "Benchmark site", "type": 7, "className": "location.SITE"},
        {"id": 2, "name": "Users", "type": 4, "className": "group.USERS", "parent": 1},
        {"id": 3, "name": "operator", "type": 1, "className": "user.OPERATOR", "parent": 2, "password": "operator"},
        {"id": 11, "name": "Gateway", "type": 2, "className": "device.GATEWAY", "parent": 1, "serial": "GW-BENCH",
         "settings": {"address": options.address}, "gateway": {}},
    ]
    streams = {}
    for size, base_id, port, count in (("360p", 100, options.port360, options.count360),
                                       ("720p", 200, options.port720, options.count720)):
        streams[size] = []
        for i in range(count):
            stream_id = base_id + i
            objects.append({
                "id": stream_id, "name": "Camera %s %d" % (size, i + 1), "type": 10, "className": "stream.CAMERA",
                "parent": 11, "serial": "CAM-%d" % stream_id,
                "settings": {"url": "http://%s:%d/live.ts" % (options.address, port + i)}})
            streams[size].append(stream_id)
    if options.port1080:
        if options.count1080 > options.count360:
            parser.error("every 1080p camera needs a 360p stream as its sub-stream: --count1080 <= --count360")
        for size, base_id, with_sub in (("1080p+sub", 300, True), ("1080p", 400, False)):
            streams[size] = []
            for i in range(options.count1080):
                stream_id = base_id + i
                settings = {"url": "http://%s:%d/live.ts" % (options.address, options.port1080 + i),
                            "size": "1920x1080"}
                if with_sub:
                    settings["subUrl"] = "http://%s:%d/live.ts" % (options.address, options.port360 + i)
                    settings["subSize"] = "640x360"
                objects.append({
                    "id": stream_id, "name": "Camera 1080p %s%d" % ("" if with_sub else "main ", i + 1),
                    "type": 10, "className": "stream.CAMERA", "parent": 11, "serial": "CAM-%d" % stream_id,
                    "settings": settings})
                streams[size].append(stream_id)

    def grid(ids):
        side = math.isqrt(len(ids))
        return {"numRows": side, "numCols": side, "elements": [
            {"row": i // side, "col": i % side, "rowSpan": 1, "colSpan": 1, "type": "video",
             "label": "Camera %d" % (i + 1), "deviceId": "11", "objectId": str(stream_id)}
            for i, stream_id in enumerate(ids)]}

    layouts = {}
    for size in streams:
        for n in (4, 9, 16, 25, 36, 64):
            if len(streams[size]) >= n:
                layouts["Tiles %d %s" % (n, size)] = grid(streams[size][:n])
    # A 20 by 20 wall of the 360p streams over and over: more cells than the station plays (the
    # memory group).
    if streams["360p"]:
        layouts["Wall 400 360p"] = grid([streams["360p"][i % len(streams["360p"])] for i in range(400)])
    if len(streams["360p"]) >= 18:
        layouts["Switch A"] = grid(streams["360p"][0:9])
        layouts["Switch B"] = grid(streams["360p"][9:18])

    json.dump({"name": "Live-view benchmark site", "rootId": 1, "pos": {"seed": 1, "rate": 0},
               "objects": objects, "layouts": layouts}, sys.stdout, indent=1)
    sys.stdout.write("\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
