#!/usr/bin/env python3
"""Writes a synthetic XM module for render benchmarks.

16 channels (or --channels N), 8 instruments with 8- and 16-bit samples
(forward, ping-pong and no loop; one volume envelope with fade-out, one
auto-vibrato), 4 patterns of 64 rows with notes on most rows and common
effects (arpeggio, portamento, vibrato, volume slides, volume column), played
in 16 orders at speed 6 and 125 BPM: about two minutes of music.

Usage: bench/make-module.py OUT.xm [--channels N] [--orders N] [--seed N]
"""
import argparse
import math
import random
import struct


def delta_encode(values, bits):
    out = []
    previous = 0
    mask = (1 << bits) - 1
    for v in values:
        out.append((v - previous) & mask)
        previous = v
    if bits == 8:
        return bytes(out)
    return b"".join(struct.pack("<H", d) for d in out)


def make_sample(kind, length, bits):
    peak = 127 if bits == 8 else 32767
    rng = random.Random(kind * 7919 + length)
    values = []
    for i in range(length):
        phase = i / 32.0
        if kind == 0:
            x = math.sin(2 * math.pi * phase)
        elif kind == 1:
            x = 2.0 * (phase - math.floor(phase + 0.5))
        elif kind == 2:
            x = 1.0 if (i // 16) % 2 == 0 else -1.0
        elif kind == 3:
            x = rng.uniform(-1.0, 1.0) * math.exp(-i / (length / 3.0))
        else:
            x = 0.6 * math.sin(2 * math.pi * phase) + 0.4 * math.sin(2 * math.pi * phase * 3.01)
        values.append(max(-peak - 1, min(peak, int(round(x * peak * 0.8)))))
    return values


def instrument(index):
    # (waveform, length in frames, bits, loop type, volume, envelope, auto-vibrato)
    table = [
        (0, 3200, 8, 1, 64, False, False),
        (1, 6400, 16, 1, 56, True, False),
        (2, 1600, 8, 2, 48, False, False),
        (3, 12000, 16, 0, 60, False, False),
        (4, 8000, 8, 1, 50, False, True),
        (0, 2048, 16, 2, 64, False, False),
        (1, 9000, 8, 0, 40, True, False),
        (4, 4096, 16, 1, 52, False, False),
    ]
    wave, length, bits, loop, volume, envelope, vibrato = table[index]
    values = make_sample(wave, length, bits)
    width = 2 if bits == 16 else 1
    loop_start = length // 4 if loop else 0
    loop_length = length - loop_start if loop else 0
    sample_header = struct.pack(
        "<IIIBbBBbB22s",
        length * width, loop_start * width, loop_length * width,
        volume, (index * 13) % 64 - 32, loop | (0x10 if bits == 16 else 0),
        (index * 37) % 256, 0, 0, b"sample".ljust(22, b"\0"))
    points = [(0, 64), (8, 48), (30, 32), (80, 0)] if envelope else [(0, 64), (1, 64)]
    vol_env = b"".join(struct.pack("<HH", x, y) for x, y in points).ljust(48, b"\0")
    pan_env = b"\0" * 48
    header = struct.pack("<I22sBHI", 263, b"instrument".ljust(22, b"\0"), 0, 1, 40)
    header += bytes(96)  # every note plays sample 0
    header += vol_env + pan_env
    header += struct.pack(
        "<BBBBBBBBBBBBBBH",
        len(points) if envelope else 0, 0, 1 if envelope else 0, 0, 0, 0, 0, 0,
        3 if envelope else 0, 0,
        0, 8 if vibrato else 0, 12 if vibrato else 0, 40 if vibrato else 0,
        600 if envelope else 0)
    header = header.ljust(263, b"\0")
    return header + sample_header + delta_encode(values, bits)


def pattern(rng, channels):
    rows = 64
    cells = bytearray()
    effects = [(0x0, 0x37), (0x0, 0x47), (0x4, 0x46), (0xA, 0x02), (0xA, 0x20),
               (0x1, 0x04), (0x2, 0x04), (0x3, 0x10), (0x0, 0x00), (0x0, 0x00)]
    for row in range(rows):
        for channel in range(channels):
            note = instrument_number = volume = effect = param = 0
            if rng.random() < 0.55:
                note = rng.randint(30, 75)
                instrument_number = 1 + (channel + row // 16) % 8
                if rng.random() < 0.3:
                    volume = 0x10 + rng.randint(16, 64)
            elif rng.random() < 0.05:
                note = 97
            if rng.random() < 0.6:
                effect, param = rng.choice(effects)
            cells += bytes([note, instrument_number, volume, effect, param])
    return struct.pack("<IBHH", 9, 0, rows, len(cells)) + bytes(cells)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--channels", type=int, default=16)
    parser.add_argument("--orders", type=int, default=16)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    patterns = 4
    orders = bytes((i % patterns for i in range(args.orders))).ljust(256, b"\0")
    header = b"Extended Module: " + b"bench".ljust(20, b"\0") + b"\x1a"
    header += b"bench".ljust(20, b"\0") + struct.pack("<H", 0x0104)
    header += struct.pack("<IHHHHHHHH", 276, args.orders, 0, args.channels, patterns, 8, 1, 6, 125)
    header += orders
    body = b"".join(pattern(rng, args.channels) for _ in range(patterns))
    body += b"".join(instrument(i) for i in range(8))
    with open(args.out, "wb") as f:
        f.write(header + body)


if __name__ == "__main__":
    main()
