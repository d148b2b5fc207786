#!/usr/bin/env python3
"""Draws Rostery's pictures: toolbar strips, list pictures and the program icon.

Run from this folder: python3 draw_pictures.py. Writes 24-bit BMP files (pure green,
RGB 0,255,0, is the transparent colour where the program masks with green) and one ICO.
"""
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "pictures"))
from pixelart import Canvas, strip, write_bmp, write_ico  # noqa: E402

GREEN = (0, 255, 0)
FACE = (192, 192, 192)


# ---- pictures ---------------------------------------------------------------------------

def clock(size_w, size_h, cx, cy, r, rim=(0, 0, 128), face=(255, 255, 255), hands=(0, 0, 0),
          background=GREEN):
    c = Canvas(size_w, size_h, background)
    c.disc(cx, cy, r, rim)
    c.disc(cx, cy, r - max(1, r / 6.0), face)
    # hour ticks at 12, 3, 6, 9
    for a in range(0, 360, 90):
        t = math.radians(a)
        c.put(int(cx + (r - 2.2) * math.sin(t)), int(cy - (r - 2.2) * math.cos(t)), rim)
    # hands: ten past ten o'clock
    c.line(cx, cy, cx - r * 0.45, cy - r * 0.3, max(1.2, r / 5.0), hands)
    c.line(cx, cy, cx + r * 0.35, cy - r * 0.62, max(1.0, r / 7.0), hands)
    c.put(int(cx), int(cy), (200, 0, 0))
    return c


def star(c, cx, cy, r_outer, r_inner, colour, points=5):
    """A filled star by point-in-polygon test."""
    poly = []
    for i in range(points * 2):
        r = r_outer if i % 2 == 0 else r_inner
        a = math.pi * i / points - math.pi / 2
        poly.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    for y in range(c.h):
        for x in range(c.w):
            px, py = x + 0.5, y + 0.5
            inside = False
            j = len(poly) - 1
            for i in range(len(poly)):
                xi, yi = poly[i]
                xj, yj = poly[j]
                if (yi > py) != (yj > py) and px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                    inside = not inside
                j = i
            if inside:
                c.put(x, y, colour)


def job_picture():
    """Bitmap 110: any scheduled job, a small clock."""
    return clock(19, 16, 8.5, 8.0, 7.5)


def new_job_picture():
    """Bitmap 109: the job just added, the clock with a yellow 'new' star."""
    c = clock(19, 16, 8.5, 8.5, 7.0)
    star(c, 15.0, 4.2, 4.4, 1.9, (200, 0, 0))
    star(c, 15.0, 4.2, 3.3, 1.3, (255, 230, 0))
    return c


def delete_button(background, hot):
    """A task sheet crossed out in red."""
    c = Canvas(32, 32, background)
    paper = (255, 255, 255)
    c.rect(6, 3, 23, 28, paper)
    c.frame(6, 3, 23, 28, (0, 0, 0))
    for y in (8, 12, 16, 20, 24):
        c.line(9, y + 0.5, 21, y + 0.5, 1.0, (0, 0, 160))
    red = (255, 0, 0) if hot else (176, 0, 0)
    c.line(9, 9, 28, 28, 4.2, red)
    c.line(28, 9, 9, 28, 4.2, red)
    return c


def help_button(background, hot):
    """A question mark in a blue disc."""
    c = Canvas(32, 32, background)
    blue = (0, 64, 255) if hot else (0, 0, 160)
    c.disc(16, 16, 14, blue)
    c.ring(16, 16, 14, 1.2, (0, 0, 64))
    white = (255, 255, 255) if not hot else (255, 255, 160)
    # the hook of the question mark: an arc from 200 to 20 degrees, then the stem down
    for i in range(0, 41):
        a = math.radians(200 + i * 5.5)
        c.disc(16 + 5.5 * math.cos(a), 11.5 + 5.5 * math.sin(a), 1.9, white)
    c.line(19.5, 15.5, 16, 19, 3.6, white)
    c.line(16, 19, 16, 21, 3.6, white)
    c.disc(16, 26, 2.2, white)
    return c


def program_icon(size):
    """Icon 101: a list of jobs (a sheet with lines) with a clock at its lower right."""
    transparent = (255, 0, 255)
    c = Canvas(size, size, transparent)
    s = size / 32.0
    c.rect(int(2 * s), int(2 * s), int(22 * s), int(29 * s), (255, 255, 255))
    c.frame(int(2 * s), int(2 * s), int(22 * s), int(29 * s), (0, 0, 0))
    c.rect(int(2 * s), int(2 * s), int(22 * s), int(6 * s), (0, 0, 128))
    for y in (10, 14, 18, 22):
        c.line(5 * s, y * s, 18 * s, y * s, max(1.0, s), (0, 0, 0))
    k = clock(size, size, 22 * s, 22 * s, 9.5 * s, background=transparent)
    c.blit(k, 0, 0, transparent)
    return c, transparent


if __name__ == "__main__":
    write_bmp("job.bmp", job_picture())                # 110
    write_bmp("newjob.bmp", new_job_picture())         # 109
    write_bmp("toolbar.bmp", strip([delete_button(GREEN, False), help_button(GREEN, False)], GREEN))   # 102
    write_bmp("toolbarhot.bmp", strip([delete_button(GREEN, True), help_button(GREEN, True)], GREEN))  # 104
    write_bmp("toolbarold.bmp", strip([delete_button(FACE, False), help_button(FACE, False)], FACE))   # 106
    big, t = program_icon(32)
    small, _ = program_icon(16)
    write_ico("rostery.ico", [big.rgba(t), small.rgba(t)])
