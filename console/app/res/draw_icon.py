#!/usr/bin/env python3
"""Draws Salvora's program icon (128) as a 32x32 32-bit .ico (run from this folder):
a computer whose registry goes onto a blue repair disk in front of it."""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools", "pictures"))
from pixelart import write_ico  # noqa: E402

N = 32
img = [[(0, 0, 0, 0)] * N for _ in range(N)]


def rect(x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = c + (255,)


# the computer: a grey monitor with a dark blue screen on a stand
rect(2, 2, 25, 19, (70, 70, 70))
rect(4, 4, 23, 17, (20, 40, 120))
for row in (6, 9, 12):  # lines of text on the screen
    rect(6, row, 18 - (row % 5), row, (170, 200, 255))
rect(11, 20, 16, 21, (70, 70, 70))
rect(7, 22, 20, 23, (110, 110, 110))
# the repair disk in front: blue 3.5" floppy with its metal shutter and white label
rect(15, 14, 30, 30, (0, 0, 0))
rect(16, 15, 29, 29, (30, 90, 200))
rect(19, 15, 26, 19, (190, 190, 200))
rect(23, 16, 24, 18, (60, 60, 70))
rect(18, 22, 27, 29, (245, 245, 245))
rect(19, 24, 26, 24, (200, 0, 0))
rect(19, 26, 24, 26, (120, 120, 120))

write_ico("salvora.ico", [img])
