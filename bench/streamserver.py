#!/usr/bin/env python3
"""Live H.264 streams over HTTP on loopback, for the tile benchmarks.

    streamserver.py --address 127.0.0.71 --port 28001 FILE [FILE...]

Serves FILE number i (from 0) at http://ADDRESS:(PORT + i)/live.ts, one listening socket per stream.
Every request gets its own `ffmpeg -re -stream_loop -1 -i FILE -c copy -f mpegts pipe:1`: the
stream as it is (no re-encoding), at its real-time rate, starting at its first key frame, until
the client goes away. Any number of clients may watch one stream at once. Prints "ready" once every
socket listens; stops on SIGTERM or SIGINT, taking its ffmpeg processes with it.

For the lag benchmarks it also prints, on standard output, one line when a connection starts
sending and one when it ends:

    request port=28001 t_ns=123400000 peer=127.0.0.71:40112
    connection id=7 port=28001 t0_ns=123456789 peer=127.0.0.71:40112
    closed id=7 port=28001 t0_ns=123456789 end_ns=130456789 bytes=875200

`request` is when the request for the stream had been read (so the time to the connection's t0 is
what starting its ffmpeg takes here, not the player's). t0_ns is the monotonic clock (CLOCK_MONOTONIC, time.monotonic_ns) just before the first bytes of
the stream itself (after the HTTP header) were written. `-re` hands the packets on at their own
rate from the first frame, each as soon as the one before it is due, so frame k leaves at about
t0 + (k - 1) / 25 (frames 0 and 1 at t0), modulo the file's frame count as the file loops
(`bench/lag.py pacing` measures this).
"""
import argparse
import http.server
import signal
import socketserver
import itertools
import subprocess
import sys
import threading
import time

CHUNK = 16 * 1024
_print_lock = threading.Lock()
_ids = itertools.count(1)


def report(line):
    with _print_lock:
        print(line, flush=True)


def make_handler(path, ffmpeg):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.0"

        def do_GET(self):
            if self.path.split("?")[0] != "/live.ts":
                self.send_error(404, "only /live.ts is served here")
                return
            report("request port=%d t_ns=%d peer=%s:%d" % (self.server.server_address[1], time.monotonic_ns(),
                                                           self.client_address[0], self.client_address[1]))
            command = [ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-re", "-stream_loop", "-1",
                       "-i", path, "-c", "copy", "-f", "mpegts", "pipe:1"]
            try:
                process = subprocess.Popen(command, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
            except OSError as error:
                self.send_error(503, "cannot start ffmpeg: %s" % error)
                return
            connection = next(_ids)
            port = self.server.server_address[1]
            t0 = None
            sent = 0
            try:
                self.send_response(200)
                self.send_header("Content-Type", "video/mp2t")
                self.send_header("Cache-Control", "no-cache")
                self.end_headers()
                while True:
                    data = process.stdout.read1(CHUNK)
                    if not data:
                        break
                    if t0 is None:
                        t0 = time.monotonic_ns()
                        report("connection id=%d port=%d t0_ns=%d peer=%s:%d" %
                               (connection, port, t0, self.client_address[0], self.client_address[1]))
                    self.wfile.write(data)
                    self.wfile.flush()
                    sent += len(data)
            except (BrokenPipeError, ConnectionResetError):
                pass
            finally:
                process.kill()
                process.wait()
                if t0 is not None:
                    report("closed id=%d port=%d t0_ns=%d end_ns=%d bytes=%d" %
                           (connection, port, t0, time.monotonic_ns(), sent))

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
    parser.add_argument("files", nargs="+")
    options = parser.parse_args()

    servers = []
    try:
        for index, path in enumerate(options.files):
            servers.append(Server((options.address, options.port + index), make_handler(path, options.ffmpeg)))
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
