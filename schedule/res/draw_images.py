#!/usr/bin/env python3
"""Draws Scheduler's pictures: the green tick and red cross beside the service state
(ok.bmp, notok.bmp), the clock of the Schedule page (clock.ico) and the program's icon, a
calendar leaf with a clock (scheduler.ico). Run from this folder; the images are committed."""
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "pictures"))
from pixelart import flatten, write_bmp, write_ico  # noqa: E402


def canvas(size, fill=(0, 0, 0, 0)):
    return [[fill for _ in range(size)] for _ in range(size)]


def put(img, x, y, color):
    size = len(img)
    if 0 <= x < size and 0 <= y < size:
        img[y][x] = color


def disc(img, cx, cy, r, color):
    size = len(img)
    for y in range(size):
        for x in range(size):
            if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                img[y][x] = color


def line(img, x0, y0, x1, y1, width, color):
    size = len(img)
    for y in range(size):
        for x in range(size):
            px, py = x + 0.5, y + 0.5
            dx, dy = x1 - x0, y1 - y0
            t = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / (dx * dx + dy * dy)))
            qx, qy = x0 + t * dx, y0 + t * dy
            if (px - qx) ** 2 + (py - qy) ** 2 <= (width / 2) ** 2:
                img[y][x] = color


def rect(img, x0, y0, x1, y1, color):
    for y in range(y0, y1):
        for x in range(x0, x1):
            put(img, x, y, color)


GREEN = (0, 150, 40, 255)
RED = (200, 20, 20, 255)
WHITE = (255, 255, 255, 255)
BLACK = (20, 20, 20, 255)
BLUE = (30, 70, 170, 255)
FACE_GRAY = (192, 192, 192)


def tick():
    img = canvas(16)
    line(img, 2.5, 8.5, 6.5, 12.5, 2.6, GREEN)
    line(img, 6.5, 12.5, 13.5, 3.5, 2.6, GREEN)
    return img


def cross():
    img = canvas(16)
    line(img, 3.5, 3.5, 12.5, 12.5, 2.6, RED)
    line(img, 12.5, 3.5, 3.5, 12.5, 2.6, RED)
    return img


def clock(size):
    img = canvas(size)
    c = size / 2
    disc(img, c, c, size * 0.47, BLACK)
    disc(img, c, c, size * 0.40, WHITE)
    for hour in range(12):
        a = hour * math.pi / 6
        r0, r1 = size * 0.32, size * 0.38
        line(img, c + r0 * math.sin(a), c - r0 * math.cos(a), c + r1 * math.sin(a), c - r1 * math.cos(a),
             max(1.0, size / 24), BLACK)
    line(img, c, c, c + size * 0.18 * math.sin(math.radians(300)), c - size * 0.18 * math.cos(math.radians(300)),
         max(1.5, size / 14), BLACK)
    line(img, c, c, c, c - size * 0.30, max(1.0, size / 20), BLACK)
    disc(img, c, c, max(1.0, size / 20), RED)
    return img


def calendar_with_clock(size):
    img = canvas(size)
    s = size / 32
    rect(img, int(2 * s), int(4 * s), int(26 * s), int(28 * s), WHITE)
    rect(img, int(2 * s), int(4 * s), int(26 * s), int(10 * s), BLUE)
    for x0, x1, y0, y1 in ((2, 26, 4, 5), (2, 26, 27, 28), (2, 3, 4, 28), (25, 26, 4, 28)):
        rect(img, int(x0 * s), int(y0 * s), max(int(x1 * s), int(x0 * s) + 1), max(int(y1 * s), int(y0 * s) + 1), BLACK)
    for row in range(3):
        for col in range(4):
            x, y = int((5 + col * 5) * s), int((13 + row * 4) * s)
            rect(img, x, y, x + max(1, int(3 * s)), y + max(1, int(2 * s)), BLACK)
    small = clock(int(16 * s))
    ox, oy = int(15 * s), int(15 * s)
    for y, row in enumerate(small):
        for x, color in enumerate(row):
            if color[3]:
                put(img, ox + x, oy + y, color)
    return img


write_bmp("ok.bmp", flatten(tick(), FACE_GRAY))
write_bmp("notok.bmp", flatten(cross(), FACE_GRAY))
write_ico("clock.ico", [clock(32), clock(16)])
write_ico("scheduler.ico", [calendar_with_clock(32), calendar_with_clock(16)])
