#!/usr/bin/env python3
"""Drains the FIFO that ALSA's file plugin writes into, at the pace of a real
44,100 Hz 16-bit stereo device, and appends what it reads to OUT.

The plugin's null slave has no clock: written straight to a file, the device
would run several times faster than real time and starve the program's
refill thread. Reading 10 ms at a time through a 4 KiB pipe holds the writer
to real time. Every open by the device starts a new segment; the sizes of the
segments go to OUT.segments, one a line.

Usage: pace_capture.py FIFO OUT
"""
import fcntl
import os
import sys
import time

BYTES_PER_SECOND = 176400
CHUNK = BYTES_PER_SECOND // 100          # 10 ms
F_SETPIPE_SZ = 1031
MAX_LAG = 0.05                           # never catch up by more than 50 ms

fifo, out = sys.argv[1], sys.argv[2]
with open(out, 'wb') as sink, open(out + '.segments', 'w') as segments:
    while True:
        fd = os.open(fifo, os.O_RDONLY)  # blocks until the device opens it
        try:
            fcntl.fcntl(fd, F_SETPIPE_SZ, 4096)
        except OSError:
            pass
        start = time.monotonic()
        total = 0
        while True:
            due = start + total / BYTES_PER_SECOND
            now = time.monotonic()
            if due > now:
                time.sleep(due - now)
            elif now - due > MAX_LAG:
                start = now - total / BYTES_PER_SECOND
            data = os.read(fd, CHUNK)
            if not data:
                break
            sink.write(data)
            sink.flush()
            total += len(data)
        os.close(fd)
        segments.write('%d\n' % total)
        segments.flush()
