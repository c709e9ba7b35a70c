#!/usr/bin/env python3
"""Checks a screenshot (raw 8-bit RGB) for the intro's scene: the dark purple
clear colour covering much of the screen and all four corners (the window
fills the screen), the lit box with its picture near the middle, and the ten
lines of the text panel in their pink.
Prints the measurements; exits non-zero unless all three are there.

Usage: check_scene.py SHOT.rgb WIDTH HEIGHT
"""
import sys

path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = open(path, 'rb').read()
if len(data) != width * height * 3:
    print('screenshot has %d bytes, not %d x %d RGB' % (len(data), width, height))
    sys.exit(1)

STEP = 2  # every other pixel of every other row is plenty


def near(p, q, tolerance):
    return all(abs(a - b) <= tolerance for a, b in zip(p, q))


PURPLE = (51, 0, 26)        # clear colour 0.2, 0, 0.1
TEXT = (255, 82, 207)       # a lit cell blended over the background

purple = text = box = samples = 0
text_rows = {}
box_x = box_y = 0
for y in range(0, height, STEP):
    row = data[y * width * 3:(y + 1) * width * 3]
    for x in range(0, width, STEP):
        p = row[x * 3:x * 3 + 3]
        samples += 1
        if near(p, PURPLE, 2):
            purple += 1
        elif p[0] >= 245 and 70 <= p[1] <= 95 and 190 <= p[2] <= 225:
            text += 1
            text_rows[y] = text_rows.get(y, 0) + 1
        elif max(p) - min(p) > 16 and sum(p) > 48:
            # Neither background nor text nor grey stars: the box.
            box += 1
            box_x += x
            box_y += y

# Each corner patch is mostly background: the window reaches every edge.
def corner_share(x0, y0, size=32):
    hits = 0
    for y in range(y0, y0 + size):
        for x in range(x0, x0 + size):
            i = (y * width + x) * 3
            hits += near(data[i:i + 3], PURPLE, 2)
    return hits / (size * size)


corners = [corner_share(x, y) for x, y in ((0, 0), (width - 32, 0), (0, height - 32), (width - 32, height - 32))]

# The ten lines stack up over more than a quarter of the screen's height.
rows = [y for y, n in text_rows.items() if n >= 8]
text_span = (max(rows) - min(rows)) / height if rows else 0

purple_share = purple / samples
text_share = text / samples
box_share = box / samples
centre = (box_x / box / width, box_y / box / height) if box else (0, 0)
print('purple %.3f (corners %.2f), text %.3f over %.2f of the height, box %.3f centred at (%.2f, %.2f)'
      % (purple_share, min(corners), text_share, text_span, box_share, centre[0], centre[1]))
problems = []
if not 0.4 < purple_share < 0.98:
    problems.append('no purple background')
if min(corners) < 0.5:
    problems.append('the window does not fill the screen')
if text_share < 0.005 or text_span < 0.25:
    problems.append('no text panel')
if box_share < 0.01 or not (0.3 < centre[0] < 0.7 and 0.3 < centre[1] < 0.7):
    problems.append('no box in the middle')
if problems:
    print('missing: ' + ', '.join(problems))
    sys.exit(1)
