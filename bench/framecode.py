#!/usr/bin/env python3
"""Test streams whose every frame shows its own number, for the live-tile benchmarks.

    framecode.py make --size 640x360 --bitrate 1000k --frames 18000 --out FILE.mp4
    framecode.py verify FILE.mp4 --frames 18000 [--scale 0.5] [--quick]
    framecode.py read FILE   prints each frame's time (ms from the start) and number, "-" if unreadable
    framecode.py code N      prints the blocks of frame number N (1 white, 0 black)

The top of every frame is a strip of BLOCKS square blocks across the whole width (32 px at
640x360, 64 px at 1280x720: macroblock-aligned, so the encoder keeps them clean), each black or
white:

    block 0          white (marker)
    blocks 1-15      the frame number, most significant bit first (0 to 32767)
    blocks 16-18     the number modulo 7, plus 1, most significant bit first (a check; never
                     000 or 111 where the number's bits are all 0 or all 1)
    block 19         black (marker)

Below the strip the picture is ffmpeg's moving `testsrc2`, so that decoding costs what it costs
for a real scene. A reader samples the centre of each block; the two markers give its threshold
and reject anything that is not a strip (a black tile, a dialog), and the check rejects a misread
bit: any single wrong block fails it, and so does a white block followed by only black ones, or
by only white ones up to the black marker (something bright at the edge of a dark area). The strip stays readable scaled down to half size and
below (a block of 32 px is still 16 px).

The H.264 file is made from the two sources with libx264 at the bitrate asked for, 25 fps, a key
frame every second and no B-frames (what a camera sends). `verify` decodes the file with ffmpeg,
scaled as a tile would show it, and reads the numbers back; it fails on any frame that does not
read as its own index. Standard library only.
"""
import argparse
import subprocess
import sys

BLOCKS = 20
DATA_BITS = 15
CHECK_BITS = 3
CHECK_MODULUS = 7
FPS = 25
# Block side over frame height: 32/360 and 64/720.
BLOCK_PER_HEIGHT = 32 / 360


def check_value(number):
    return number % CHECK_MODULUS + 1


def blocks_of(number):
    """The BLOCKS values (1 white, 0 black) that show `number`."""
    if not 0 <= number < (1 << DATA_BITS):
        raise ValueError("frame number %d does not fit in %d bits" % (number, DATA_BITS))
    data = [(number >> (DATA_BITS - 1 - i)) & 1 for i in range(DATA_BITS)]
    check = [(check_value(number) >> (CHECK_BITS - 1 - i)) & 1 for i in range(CHECK_BITS)]
    return [1] + data + check + [0]


def number_of(levels):
    """Reads a frame number from BLOCKS luminance levels (0-255), left to right.

    Returns (number, None) or (None, reason): "nostrip" when the markers are not there (no
    picture, or no strip in it), "unclear" when a block is neither black nor white, "check" when
    the check does not match."""
    if len(levels) != BLOCKS:
        return None, "nostrip"
    white, black = levels[0], levels[-1]
    if white - black < 96:
        return None, "nostrip"
    low = black + (white - black) / 4
    high = white - (white - black) / 4
    bits = []
    for level in levels[1:-1]:
        if level <= low:
            bits.append(0)
        elif level >= high:
            bits.append(1)
        else:
            return None, "unclear"
    number = 0
    for bit in bits[:DATA_BITS]:
        number = number * 2 + bit
    check = 0
    for bit in bits[DATA_BITS:]:
        check = check * 2 + bit
    if check != check_value(number):
        return None, "check"
    return number, None


def parse_size(text):
    width, height = text.lower().split("x")
    return int(width), int(height)


def block_side(height):
    side = round(height * BLOCK_PER_HEIGHT)
    return side


def strip_frames(width, side, frames):
    """Yields the strip of every frame as gray bytes, `side` rows of `width`."""
    block_width = width // BLOCKS
    white = b"\xff" * block_width
    black = b"\x00" * block_width
    tail = b"\x00" * (width - block_width * BLOCKS)
    for number in range(frames):
        row = b"".join(white if value else black for value in blocks_of(number)) + tail
        yield row * side


def make(options):
    width, height = parse_size(options.size)
    side = block_side(height)
    if width % BLOCKS or side % 16:
        print("framecode: %dx%d does not give %d macroblock-aligned blocks" % (width, height, BLOCKS),
              file=sys.stderr)
        return 2
    if options.frames > (1 << DATA_BITS):
        print("framecode: at most %d frames" % (1 << DATA_BITS), file=sys.stderr)
        return 2
    command = [
        options.ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-y",
        "-f", "lavfi", "-i", "testsrc2=size=%dx%d:rate=%d" % (width, height, FPS),
        "-f", "rawvideo", "-pix_fmt", "gray", "-video_size", "%dx%d" % (width, side), "-framerate", str(FPS),
        "-i", "pipe:0",
        "-filter_complex", "[1:v]format=yuv420p[strip];[0:v][strip]overlay=0:0:shortest=1,format=yuv420p[v]",
        "-map", "[v]", "-frames:v", str(options.frames),
        # A key frame every second, no B-frames: what a camera sends.
        "-c:v", "libx264", "-preset", "veryfast", "-tune", "zerolatency", "-profile:v", "main",
        "-g", str(FPS), "-keyint_min", str(FPS), "-sc_threshold", "0", "-bf", "0",
        "-b:v", options.bitrate, "-pix_fmt", "yuv420p", options.out,
    ]
    process = subprocess.Popen(command, stdin=subprocess.PIPE)
    try:
        for frame in strip_frames(width, side, options.frames):
            process.stdin.write(frame)
    except BrokenPipeError:
        pass
    finally:
        try:
            process.stdin.close()
        except BrokenPipeError:
            pass
    if process.wait() != 0:
        print("framecode: ffmpeg failed making %s" % options.out, file=sys.stderr)
        return 1
    return 0


def read_levels(frame, width, rows, x0=0, y0=0, w=None, h=None):
    """Luminance of every block's centre (a box of half the block) of a gray picture."""
    w = width if w is None else w
    h = rows if h is None else h
    block_w = w / BLOCKS
    block_h = h * BLOCK_PER_HEIGHT
    cy = y0 + block_h / 2
    levels = []
    for i in range(BLOCKS):
        cx = x0 + (i + 0.5) * block_w
        left, right = int(cx - block_w / 4), int(cx + block_w / 4)
        top, bottom = int(cy - block_h / 4), int(cy + block_h / 4)
        total = 0
        count = 0
        for y in range(max(top, 0), min(max(bottom, top + 1), rows)):
            line = frame[y * width:(y + 1) * width]
            total += sum(line[max(left, 0):min(max(right, left + 1), width)])
            count += max(0, min(max(right, left + 1), width) - max(left, 0))
        levels.append(total / count if count else 0)
    return levels


def probe_size(ffmpeg, path):
    """Width and height of the file's video, from ffprobe beside ffmpeg."""
    ffprobe = ffmpeg[:-len("ffmpeg")] + "ffprobe" if ffmpeg.endswith("ffmpeg") else "ffprobe"
    text = subprocess.run([ffprobe, "-v", "error", "-select_streams", "v:0", "-show_entries",
                           "stream=width,height", "-of", "csv=p=0", path],
                          check=True, capture_output=True, text=True).stdout.strip()
    width, height = text.split(",")[:2]
    return int(width), int(height)


def verify_segment(options, width, height, start, count):
    """Decodes `count` frames from frame `start` at the scale asked for; returns the faults."""
    scaled_w = max(BLOCKS, int(round(width * options.scale / 2)) * 2)
    scaled_h = max(2, int(round(height * options.scale / 2)) * 2)
    rows = max(2, int(scaled_h * BLOCK_PER_HEIGHT + 0.999))
    command = [options.ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin"]
    if start:
        command += ["-ss", "%.3f" % (start / FPS)]
    command += ["-i", options.file, "-frames:v", str(count), "-an",
                "-vf", "scale=%d:%d,crop=%d:%d:0:0,format=gray" % (scaled_w, scaled_h, scaled_w, rows),
                "-f", "rawvideo", "pipe:1"]
    process = subprocess.Popen(command, stdout=subprocess.PIPE)
    size = scaled_w * rows
    faults = []
    index = start
    while True:
        frame = process.stdout.read(size)
        if len(frame) < size:
            break
        levels = read_levels(frame, scaled_w, rows, w=scaled_w, h=scaled_h)
        number, reason = number_of(levels)
        if number != index:
            faults.append("frame %d reads as %s" % (index, number if reason is None else reason))
        index += 1
    process.wait()
    if index - start != count:
        faults.append("decoded %d frames from frame %d, expected %d" % (index - start, start, count))
    return faults


def verify(options):
    try:
        width, height = probe_size(options.ffmpeg, options.file)
    except (OSError, subprocess.CalledProcessError, ValueError) as error:
        print("framecode: cannot read the size of %s: %s" % (options.file, error), file=sys.stderr)
        return 1
    if options.quick:
        segments = [(0, 60), (options.frames // 2, 60), (options.frames - 60, 60)]
    else:
        segments = [(0, options.frames)]
    faults = []
    for start, count in segments:
        faults += verify_segment(options, width, height, start, count)
    for fault in faults[:20]:
        print("framecode: %s: %s" % (options.file, fault), file=sys.stderr)
    if faults:
        print("framecode: %s: %d faults at scale %g" % (options.file, len(faults), options.scale), file=sys.stderr)
        return 1
    print("framecode: %s reads back correctly at scale %g (%s)" %
          (options.file, options.scale, ", ".join("frames %d-%d" % (s, s + c - 1) for s, c in segments)))
    return 0


def read(options):
    """Prints every frame of a file as it plays: its time in milliseconds and the number it shows."""
    try:
        width, height = probe_size(options.ffmpeg, options.file)
        ffprobe = options.ffmpeg[:-len("ffmpeg")] + "ffprobe" if options.ffmpeg.endswith("ffmpeg") else "ffprobe"
        times = subprocess.run([ffprobe, "-v", "error", "-select_streams", "v:0", "-show_entries",
                                "frame=best_effort_timestamp_time", "-of", "csv=p=0", options.file],
                               check=True, capture_output=True, text=True).stdout.split()
        times = [float(line.split(",")[0]) for line in times]
    except (OSError, subprocess.CalledProcessError, ValueError) as error:
        print("framecode: cannot read %s: %s" % (options.file, error), file=sys.stderr)
        return 1
    rows = max(2, int(height * BLOCK_PER_HEIGHT + 0.999))
    # Every frame once, at its own time: neither duplicated nor dropped to a constant rate.
    process = subprocess.Popen([options.ffmpeg, "-hide_banner", "-loglevel", "error", "-nostdin", "-i", options.file,
                                "-an", "-vsync", "passthrough", "-vf", "crop=%d:%d:0:0,format=gray" % (width, rows),
                                "-f", "rawvideo", "pipe:1"], stdout=subprocess.PIPE)
    size = width * rows
    index = 0
    while True:
        frame = process.stdout.read(size)
        if len(frame) < size:
            break
        number, _ = number_of(read_levels(frame, width, rows, w=width, h=height))
        time_ms = round(times[index] * 1000) if index < len(times) else -1
        print("%d %s" % (time_ms, "-" if number is None else number))
        index += 1
    if process.wait() != 0 or index != len(times):
        print("framecode: %s: decoded %d frames of %d" % (options.file, index, len(times)), file=sys.stderr)
        return 1
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    maker = commands.add_parser("make", help="make a test stream")
    maker.add_argument("--size", required=True, help="WIDTHxHEIGHT, e.g. 640x360")
    maker.add_argument("--bitrate", required=True, help="e.g. 1000k")
    maker.add_argument("--frames", type=int, required=True)
    maker.add_argument("--out", required=True)
    maker.add_argument("--ffmpeg", default="ffmpeg")
    checker = commands.add_parser("verify", help="read every frame's number back")
    checker.add_argument("file")
    checker.add_argument("--frames", type=int, required=True, help="frames in the file")
    checker.add_argument("--scale", type=float, default=1.0)
    checker.add_argument("--quick", action="store_true", help="only the start, middle and end")
    checker.add_argument("--ffmpeg", default="ffmpeg")
    reader = commands.add_parser("read", help="print each frame's time (ms) and number")
    reader.add_argument("file")
    reader.add_argument("--ffmpeg", default="ffmpeg")
    coder = commands.add_parser("code", help="print the blocks of one frame number")
    coder.add_argument("number", type=int)
    options = parser.parse_args()
    if options.command == "make":
        return make(options)
    if options.command == "verify":
        return verify(options)
    if options.command == "read":
        return read(options)
    print("".join(str(value) for value in blocks_of(options.number)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
