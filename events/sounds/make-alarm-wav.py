#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Writes alarm.wav: a 0.3 s two-tone beep, 16-bit mono at 22050 Hz. Run once; the result is
# committed and compiled in.
import math
import os
import struct
import wave

RATE = 22050
TONES = [(880.0, 0.15), (660.0, 0.15)]
path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "alarm.wav")
frames = bytearray()
for frequency, seconds in TONES:
    count = int(RATE * seconds)
    for i in range(count):
        # Short fades at both ends of each tone, so that it does not click.
        fade = min(1.0, i / 200.0, (count - i) / 200.0)
        frames += struct.pack("<h", int(0.6 * 32767 * fade * math.sin(2 * math.pi * frequency * i / RATE)))
with wave.open(path, "wb") as out:
    out.setnchannels(1)
    out.setsampwidth(2)
    out.setframerate(RATE)
    out.writeframes(bytes(frames))
