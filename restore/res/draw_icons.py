#!/usr/bin/env python3
"""Draws Restavo's icons as 32x32 32-bit .ico files (run from this folder).

restavo.ico  (104) a registry cabinet with a green arrow putting a drawer back: restore
warning.ico  (128) a yellow triangle with an exclamation mark: foreign or old data
accepted.ico (126) a green check mark on a white disc: warning accepted, normal state
going.ico    (125) a blue disc with a white right arrow: going ahead
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "pictures"))
from pixelart import write_ico  # noqa: E402

N = 32


def blank():
    return [[(0, 0, 0, 0) for _ in range(N)] for _ in range(N)]


def put(img, x, y, c):
    if 0 <= x < N and 0 <= y < N:
        img[y][x] = c + (255,) if len(c) == 3 else c


def rect(img, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            put(img, x, y, c)


def disc(img, cx, cy, r, c):
    for y in range(N):
        for x in range(N):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                put(img, x, y, c)


def line(img, x0, y0, x1, y1, c, w=1):
    steps = max(abs(x1 - x0), abs(y1 - y0)) * 2 + 1
    for i in range(steps + 1):
        x = x0 + (x1 - x0) * i / steps
        y = y0 + (y1 - y0) * i / steps
        for dx in range(-(w // 2), w - w // 2):
            for dy in range(-(w // 2), w - w // 2):
                put(img, int(round(x)) + dx, int(round(y)) + dy, c)


def restavo():
    img = blank()
    # cabinet of three drawers
    rect(img, 3, 4, 22, 29, (60, 60, 60))
    rect(img, 4, 5, 21, 28, (200, 170, 110))
    for top in (6, 14, 22):
        rect(img, 5, top, 20, top + 5, (230, 200, 140))
        rect(img, 10, top + 2, 15, top + 3, (80, 60, 30))
    # the middle drawer is out: an empty slot
    rect(img, 5, 14, 20, 19, (40, 30, 20))
    # green arrow pushing it back in
    line(img, 30, 17, 21, 17, (0, 150, 0), 3)
    line(img, 21, 17, 25, 13, (0, 150, 0), 3)
    line(img, 21, 17, 25, 21, (0, 150, 0), 3)
    return img


def warning():
    img = blank()
    for y in range(3, 30):
        half = (y - 3) * 14 // 26
        for x in range(16 - half - 1, 16 + half + 1):
            put(img, x, y, (0, 0, 0))
    for y in range(6, 28):
        half = (y - 6) * 12 // 22
        for x in range(16 - half, 16 + half):
            put(img, x, y, (255, 210, 0))
    rect(img, 15, 11, 16, 21, (0, 0, 0))
    rect(img, 15, 24, 16, 25, (0, 0, 0))
    return img


def accepted():
    img = blank()
    disc(img, 15.5, 15.5, 14, (0, 100, 0))
    disc(img, 15.5, 15.5, 12.5, (255, 255, 255))
    line(img, 8, 16, 13, 22, (0, 160, 0), 4)
    line(img, 13, 22, 24, 9, (0, 160, 0), 4)
    return img


def going():
    img = blank()
    disc(img, 15.5, 15.5, 14, (0, 40, 140))
    disc(img, 15.5, 15.5, 12.5, (30, 90, 220))
    line(img, 7, 16, 22, 16, (255, 255, 255), 4)
    for i in range(8):
        line(img, 17 + i, 8 + i, 17 + i, 24 - i, (255, 255, 255), 1)
    return img


for name, fn in (("restavo.ico", restavo), ("warning.ico", warning), ("accepted.ico", accepted),
                 ("going.ico", going)):
    write_ico(name, [fn()])
