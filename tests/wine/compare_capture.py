#!/usr/bin/env python3
"""Compares the sound a device received (raw 16-bit stereo) with the offline
render of the same tune (a WAV file), from the render's first sample on.

The program plays one looping ring of 16 blocks of 4,096 bytes. A block that
reached the device before the refill thread rewrote it (an underrun) holds
the ring's previous contents, the render 16 blocks earlier, or, when the
refill was under way, a part of each. Such blocks are reported by name and
time; any other difference is a wrong sound and fails. WINE_AUDIO_STRICT=1
makes underruns fail too.

When the device was opened more than once (SEGMENTS lists the bytes of each
opening, one a line), the first opening that lasted the SECONDS is taken.

Usage: compare_capture.py CAPTURE.raw RENDER.wav SECONDS [SEGMENTS]
"""
import os
import sys

BLOCK = 4096
RING_BLOCKS = 16
FRAME = 4
RATE = 44100

capture = open(sys.argv[1], 'rb').read()
wav = open(sys.argv[2], 'rb').read()
seconds = float(sys.argv[3])
strict = os.environ.get('WINE_AUDIO_STRICT') == '1'

pos = 12
while pos + 8 <= len(wav) and wav[pos:pos + 4] != b'data':
    pos += 8 + int.from_bytes(wav[pos + 4:pos + 8], 'little')
if pos + 8 > len(wav):
    print('FAIL: the render has no data chunk')
    sys.exit(1)
render = wav[pos + 8:]

length = int(seconds * RATE) * FRAME
if len(sys.argv) > 4 and os.path.exists(sys.argv[4]):
    sizes = [int(line) for line in open(sys.argv[4]) if line.strip()]
    sizes.append(len(capture) - sum(sizes))   # the opening still under way
    start = 0
    for size in sizes:
        if size >= length:
            if start:
                print('the device was opened %d times; comparing the opening at byte %d' % (len(sizes), start))
            capture = capture[start:start + size]
            break
        start += size
if len(render) < length:
    print('FAIL: the render holds only %.2f s' % (len(render) / FRAME / RATE))
    sys.exit(1)
if len(capture) < length:
    print('FAIL: the device received only %.2f s of sound' % (len(capture) / FRAME / RATE))
    sys.exit(1)
if not any(capture[:length]):
    print('FAIL: the device received only silence')
    sys.exit(1)

def at(offset):
    frame = offset // FRAME
    return 'frame %d (%.3f s)' % (frame, frame / RATE)

stale = []
for start in range(0, length, BLOCK):
    end = min(start + BLOCK, length)
    got, want = capture[start:end], render[start:end]
    if got == want:
        continue
    old = render[start - RING_BLOCKS * BLOCK:end - RING_BLOCKS * BLOCK] if start >= RING_BLOCKS * BLOCK else None
    if old is not None and got == old:
        stale.append('block at %s played stale' % at(start))
        continue
    if old is not None:
        # Torn: the refill thread was writing the block while the device read it.
        first = next(i for i in range(len(got)) if got[i] != want[i])
        if got[first:] == old[first:] or all(g in (w, o) for g, w, o in zip(got, want, old)):
            stale.append('block at %s played partly stale' % at(start))
            continue
    first = next(i for i in range(len(got)) if got[i] != want[i])
    print('FAIL: the sound departs from the render at %s, and not by an underrun' % at(start + first))
    sys.exit(1)

if stale:
    print('UNDERRUN: %d of %d blocks reached the device before they were rendered: %s'
          % (len(stale), length // BLOCK, '; '.join(stale[:8]) + ('; ...' if len(stale) > 8 else '')))
    if strict:
        sys.exit(1)
    print('apart from the underrun, the first %.1f s the device received equal the render' % seconds)
else:
    print('the first %.1f s the device received equal the render exactly, from its first sample'
          % seconds)
