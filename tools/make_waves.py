#!/usr/bin/env python3
"""Writes the program's two sounds into res/:

wave132.wav  the reminder chime: PCM mono 8 kHz 8-bit, 2.6 s, played in a loop,
             so it starts and ends in silence (no click at the seam);
wave133.wav  the rest sound: PCM mono 8 kHz 16-bit, 11.8 s, a calm swelling chord.

The output is deterministic: running the script again gives the same bytes.
Usage: python3 tools/make_waves.py [output folder, default: res/ beside this script]
"""

import math
import os
import struct
import sys
import wave

RATE = 8000


def bell(t, freq, start, decay):
    """One struck bell note: a few partials, each fading on its own."""
    if t < start:
        return 0.0
    dt = t - start
    attack = min(1.0, dt / 0.004)  # 4 ms rise, so the strike does not click
    partials = ((1.0, 1.0, 1.0), (2.0, 0.35, 1.6), (3.0, 0.12, 2.2), (4.16, 0.08, 3.0))
    v = 0.0
    for ratio, amp, speed in partials:
        f = freq * ratio
        if f >= RATE / 2 * 0.9:
            continue
        v += amp * math.exp(-dt * speed / decay) * math.sin(2 * math.pi * f * dt)
    return attack * v


def chime_sample(i, count):
    t = i / RATE
    # "ding - dong - ding": G5, E5, C6, each ringing out.
    v = bell(t, 783.99, 0.000, 0.55) + 0.9 * bell(t, 659.25, 0.55, 0.55) + 0.8 * bell(t, 1046.50, 1.10, 0.45)
    v *= 0.38
    # The last 120 ms fade to exact silence, which is also where the loop restarts.
    tail = (count - 1 - i) / (0.12 * RATE)
    if tail < 1.0:
        v *= max(0.0, tail) ** 2
    return v


def calm_sample(i, count):
    t = i / RATE
    total = count / RATE
    # A soft C major chord with a slow swell in and out and a gentle breathing tremolo.
    chord = (261.63, 329.63, 392.00, 523.25)
    weights = (1.0, 0.7, 0.6, 0.25)
    v = sum(w * math.sin(2 * math.pi * f * t) for f, w in zip(chord, weights)) / sum(weights)
    swell = min(1.0, t / 2.0) * min(1.0, (total - t) / 3.0)
    swell = max(0.0, swell) ** 1.5
    tremolo = 0.85 + 0.15 * math.sin(2 * math.pi * 0.25 * t)
    return 0.45 * v * swell * tremolo


def write(path, seconds, width, sample):
    count = int(round(seconds * RATE))
    frames = bytearray()
    for i in range(count):
        v = max(-1.0, min(1.0, sample(i, count)))
        if width == 1:
            frames.append(128 + int(round(v * 127)))  # 8-bit PCM is unsigned, 128 is silence
        else:
            frames += struct.pack("<h", int(round(v * 32767)))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(width)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))
    print(f"{path}: {count} samples, {count / RATE:.2f} s, {8 * width}-bit")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    write(os.path.join(out, "wave132.wav"), 2.6, 1, chime_sample)
    write(os.path.join(out, "wave133.wav"), 11.8, 2, calm_sample)


if __name__ == "__main__":
    main()
