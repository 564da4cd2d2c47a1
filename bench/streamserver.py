#!/usr/bin/env python3
"""Live H.264 streams over HTTP on loopback, for the tile benchmarks.

    streamserver.py --address 127.0.0.71 --port 28001 [--spawn] FILE [FILE...]

Serves FILE number i (from 0) at http://ADDRESS:(PORT + i)/live.ts, one listening socket per stream:
the stream as it is (no re-encoding) in MPEG-TS, at its real-time rate, starting at its first key
frame, looping for as long as the client stays. Any number of clients may watch one stream at once.
Prints "ready" once every socket listens; stops on SIGTERM or SIGINT.

A camera has its stream ready when a viewer connects. So does this server: at its start it remuxes
each file once into MPEG-TS (`ffmpeg -c copy -f mpegts`, kept beside the file as FILE.ts with its
index FILE.ts.index.json) and indexes where each video frame starts; a connection then only paces
those bytes out from its own thread. With `--spawn` every request gets its own `ffmpeg -re
-stream_loop -1 -i FILE -c copy -f mpegts pipe:1` instead (the server of the earlier runs): starting
one costs 0.13-0.17 s of CPU, which a wall opening sixteen streams at once takes from the client on
the same machine.

Both hand the frames on at the same times: frames 0 and 1 at t0, frame k at t0 + (k - 1) / 25
(what `ffmpeg -re` does: a packet goes as soon as the one before it is due), modulo the file's
frame count as the file loops (`bench/lag.py pacing` measures this). Looping, the pacer adds the
file's length to every timestamp (PTS, DTS, PCR) and carries the continuity counters on, as
`-stream_loop` does, so that a player sees one stream.

For the lag benchmarks it also prints, on standard output, one line when a connection starts
sending and one when it ends:

    request port=28001 t_ns=123400000 peer=127.0.0.71:40112
    connection id=7 port=28001 t0_ns=123456789 peer=127.0.0.71:40112
    closed id=7 port=28001 t0_ns=123456789 end_ns=130456789 bytes=875200

`request` is when the request for the stream had been read (so the time to the connection's t0 is
what getting the stream ready takes here, not the player's). t0_ns is the monotonic clock
(CLOCK_MONOTONIC, time.monotonic_ns) just before the first bytes of the stream itself (after the
HTTP header) were written.
"""
import argparse
import bisect
import json
import mmap
import os
import tempfile
import http.server
import signal
import socketserver
import itertools
import subprocess
import sys
import threading
import time

CHUNK = 16 * 1024
TS_PACKET = 188
FPS = 25
STAMP_WRAP = 1 << 33
INDEX_VERSION = 1
_print_lock = threading.Lock()
_ids = itertools.count(1)


def report(line):
    with _print_lock:
        print(line, flush=True)


def read_stamp(data, at):
    """A 33-bit PTS or DTS from its five bytes (marker bits between the parts)."""
    return (((data[at] >> 1) & 7) << 30 | data[at + 1] << 22 | (data[at + 2] >> 1) << 15 | data[at + 3] << 7 |
            data[at + 4] >> 1)


def write_stamp(data, at, value):
    value %= STAMP_WRAP
    data[at] = (data[at] & 0xf0) | ((value >> 30) & 7) << 1 | 1
    data[at + 1] = (value >> 22) & 0xff
    data[at + 2] = ((value >> 15) & 0x7f) << 1 | 1
    data[at + 3] = (value >> 7) & 0xff
    data[at + 4] = (value & 0x7f) << 1 | 1


def read_pcr(data, at):
    """A PCR in 27 MHz ticks: a 33-bit base at 90 kHz, six reserved bits, a 9-bit extension."""
    base = data[at] << 25 | data[at + 1] << 17 | data[at + 2] << 9 | data[at + 3] << 1 | data[at + 4] >> 7
    return base * 300 + ((data[at + 4] & 1) << 8 | data[at + 5])


def write_pcr(data, at, value):
    base, extension = (value // 300) % STAMP_WRAP, value % 300
    data[at:at + 4] = bytes(((base >> 25) & 0xff, (base >> 17) & 0xff, (base >> 9) & 0xff, (base >> 1) & 0xff))
    data[at + 4] = (base & 1) << 7 | 0x7e | (extension >> 8)
    data[at + 5] = extension & 0xff


def index_ts(data):
    """Where a TS file's video frames start, where its clocks are, and how many packets each PID has."""
    if len(data) < TS_PACKET or len(data) % TS_PACKET:
        raise ValueError("not a whole number of TS packets (%d bytes)" % len(data))
    video_pid = None
    frames, stamps, pcrs, counts, pts = [], [], [], {}, []
    for offset in range(0, len(data), TS_PACKET):
        if data[offset] != 0x47:
            raise ValueError("lost TS sync at byte %d" % offset)
        b1, b3 = data[offset + 1], data[offset + 3]
        pid = (b1 & 0x1f) << 8 | data[offset + 2]
        if pid == 0x1fff:
            continue
        payload = offset + 4
        if b3 & 0x20:
            length = data[offset + 4]
            if length > 0 and data[offset + 5] & 0x10:
                pcrs.append(offset + 6)
            payload += 1 + length
        if not b3 & 0x10:
            continue
        counts[pid] = counts.get(pid, 0) + 1
        if not b1 & 0x40 or data[payload:payload + 3] != b"\0\0\1" or not 0xe0 <= data[payload + 3] <= 0xef:
            continue
        if video_pid is None:
            video_pid = pid
        if pid != video_pid:
            continue
        frames.append(offset)
        flags = data[payload + 7] >> 6
        if flags & 2:
            stamps.append(payload + 9)
            pts.append(read_stamp(data, payload + 9))
        if flags == 3:
            stamps.append(payload + 14)
    if len(pts) < 2:
        raise ValueError("fewer than two timed video frames")
    ordered = sorted(pts)
    step = sorted(b - a for a, b in zip(ordered, ordered[1:]))[len(ordered) // 2]
    return {"version": INDEX_VERSION, "frames": frames, "stamps": stamps, "pcrs": pcrs,
            "counts": {str(pid): count for pid, count in counts.items()},
            "length_90k": ordered[-1] - ordered[0] + step}


class Prepared:
    """A file remuxed once into MPEG-TS, mapped, with its index."""

    def __init__(self, path, ffmpeg):
        self.path = self._remuxed_path(path)
        index_path = self.path + ".index.json"
        source = os.stat(path)
        stamp = {"source_size": source.st_size, "source_mtime_ns": source.st_mtime_ns}
        index = None
        try:
            with open(index_path) as handle:
                index = json.load(handle)
            if index.get("version") != INDEX_VERSION or index.get("source") != stamp or \
                    os.path.getsize(self.path) != index.get("size"):
                index = None
        except (OSError, ValueError):
            index = None
        if index is None:
            partial = "%s.%d.part" % (self.path, os.getpid())
            subprocess.run([ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-i", path, "-c", "copy",
                            "-f", "mpegts", partial], check=True)
            os.replace(partial, self.path)
            with open(self.path, "rb") as handle, mmap.mmap(handle.fileno(), 0, access=mmap.ACCESS_READ) as data:
                index = index_ts(data)
            index["source"] = stamp
            index["size"] = os.path.getsize(self.path)
            with open(index_path + ".part", "w") as handle:
                json.dump(index, handle)
            os.replace(index_path + ".part", index_path)
        with open(self.path, "rb") as handle:
            self.data = mmap.mmap(handle.fileno(), 0, access=mmap.ACCESS_READ)
        frames = index["frames"]
        # A frame's bytes run from its first packet to the next frame's; what comes before the
        # first frame (the tables) goes with it.
        self.starts = [0] + frames[1:]
        self.ends = frames[1:] + [len(self.data)]
        self.stamps = index["stamps"]
        self.pcrs = index["pcrs"]
        self.counts = {int(pid): count for pid, count in index["counts"].items()}
        self.length_90k = index["length_90k"]

    @staticmethod
    def _remuxed_path(path):
        target = path + ".ts"
        if os.access(os.path.dirname(os.path.abspath(target)), os.W_OK):
            return target
        return os.path.join(tempfile.gettempdir(), "streamserver-%s.ts" % os.path.basename(path))

    def frame_count(self):
        return len(self.starts)

    def frame(self, index, loop):
        """Frame `index`'s bytes in the loop-th pass over the file: its clocks moved on by the
        file's length that many times, its continuity counters carried on."""
        start, end = self.starts[index], self.ends[index]
        if loop == 0:
            return self.data[start:end]
        data = bytearray(self.data[start:end])
        for offset in range(0, len(data), TS_PACKET):
            pid = (data[offset + 1] & 0x1f) << 8 | data[offset + 2]
            if pid != 0x1fff and data[offset + 3] & 0x10:
                shift = loop * self.counts.get(pid, 0)
                data[offset + 3] = (data[offset + 3] & 0xf0) | ((data[offset + 3] + shift) & 0x0f)
        moved = loop * self.length_90k
        for at in self.stamps[bisect.bisect_left(self.stamps, start):bisect.bisect_left(self.stamps, end)]:
            write_stamp(data, at - start, read_stamp(data, at - start) + moved)
        for at in self.pcrs[bisect.bisect_left(self.pcrs, start):bisect.bisect_left(self.pcrs, end)]:
            write_pcr(data, at - start, (read_pcr(data, at - start) + moved * 300) % (STAMP_WRAP * 300))
        return bytes(data)


def make_handler(path, ffmpeg, prepared):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def do_GET(self):
            if self.path.split("?")[0] != "/live.ts":
                self.send_error(404, "only /live.ts is served here")
                return
            report("request port=%d t_ns=%d peer=%s:%d" % (self.server.server_address[1], time.monotonic_ns(),
                                                           self.client_address[0], self.client_address[1]))
            if prepared is None:
                self.spawn()
            else:
                self.pace()

        def begin(self):
            self.send_response(200)
            self.send_header("Content-Type", "video/mp2t")
            self.send_header("Cache-Control", "no-cache")
            self.end_headers()

        def started(self, connection):
            t0 = time.monotonic_ns()
            report("connection id=%d port=%d t0_ns=%d peer=%s:%d" %
                   (connection, self.server.server_address[1], t0, self.client_address[0], self.client_address[1]))
            return t0

        def ended(self, connection, t0, sent):
            if t0 is not None:
                report("closed id=%d port=%d t0_ns=%d end_ns=%d bytes=%d" %
                       (connection, self.server.server_address[1], t0, time.monotonic_ns(), sent))

        def pace(self):
            connection = next(_ids)
            t0 = None
            sent = 0
            count = prepared.frame_count()
            try:
                self.begin()
                t0 = self.started(connection)
                frame = 0
                while True:
                    due = t0 + max(0, frame - 1) * 1_000_000_000 // FPS
                    wait = due - time.monotonic_ns()
                    if wait > 0:
                        time.sleep(wait / 1e9)
                    loop, index = divmod(frame, count)
                    data = prepared.frame(index, loop)
                    self.wfile.write(data)
                    sent += len(data)
                    frame += 1
            except (BrokenPipeError, ConnectionResetError):
                pass
            finally:
                self.ended(connection, t0, sent)

        def spawn(self):
            command = [ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-re", "-stream_loop", "-1",
                       "-i", path, "-c", "copy", "-f", "mpegts", "pipe:1"]
            try:
                process = subprocess.Popen(command, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
            except OSError as error:
                self.send_error(503, "cannot start ffmpeg: %s" % error)
                return
            connection = next(_ids)
            t0 = None
            sent = 0
            try:
                self.begin()
                while True:
                    data = process.stdout.read1(CHUNK)
                    if not data:
                        break
                    if t0 is None:
                        t0 = self.started(connection)
                    self.wfile.write(data)
                    self.wfile.flush()
                    sent += len(data)
            except (BrokenPipeError, ConnectionResetError):
                pass
            finally:
                process.kill()
                process.wait()
                self.ended(connection, t0, sent)

        def log_message(self, format, *args):
            pass

    return Handler


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--address", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True, help="port of the first stream")
    parser.add_argument("--ffmpeg", default="ffmpeg")
    parser.add_argument("--spawn", action="store_true", help="an ffmpeg per connection, as in the earlier runs")
    parser.add_argument("files", nargs="+")
    options = parser.parse_args()

    prepared = {}
    if not options.spawn:
        for path in options.files:
            if path in prepared:
                continue
            try:
                prepared[path] = Prepared(path, options.ffmpeg)
            except (OSError, ValueError, subprocess.CalledProcessError) as error:
                print("streamserver: cannot prepare %s: %s" % (path, error), file=sys.stderr)
                return 2
    servers = []
    try:
        for index, path in enumerate(options.files):
            servers.append(Server((options.address, options.port + index),
                                  make_handler(path, options.ffmpeg, prepared.get(path))))
    except OSError as error:
        print("streamserver: cannot listen on %s:%d: %s" % (options.address, options.port + len(servers), error),
              file=sys.stderr)
        return 3
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    report("ready")
    stop.wait()
    # The serving threads are daemons and end with the process; an ffmpeg still streaming ends
    # on its next write to the closed pipe.
    for server in servers:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
