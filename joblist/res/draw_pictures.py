#!/usr/bin/env python3
"""Draws Rostery's pictures: toolbar strips, list pictures and the program icon.

Run from this folder: python3 draw_pictures.py. Writes 24-bit BMP files (pure green,
RGB 0,255,0, is the transparent colour where the program masks with green) and one ICO.
"""
import math
import struct

GREEN = (0, 255, 0)
FACE = (192, 192, 192)


class Canvas:
    def __init__(self, width, height, background):
        self.w, self.h = width, height
        self.px = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = colour

    def get(self, x, y):
        return self.px[y][x]

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def disc(self, cx, cy, r, colour):
        for y in range(self.h):
            for x in range(self.w):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, colour)

    def ring(self, cx, cy, r, width, colour):
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if r - width <= d <= r:
                    self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, width, colour):
        """A thick line: every pixel whose centre lies within width/2 of the segment."""
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy or 1
        for y in range(self.h):
            for x in range(self.w):
                px, py = x + 0.5, y + 0.5
                t = max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / length2))
                qx, qy = x0 + t * dx, y0 + t * dy
                if (px - qx) ** 2 + (py - qy) ** 2 <= (width / 2.0) ** 2:
                    self.put(x, y, colour)

    def blit(self, other, ox, oy, transparent=None):
        for y in range(other.h):
            for x in range(other.w):
                c = other.get(x, y)
                if c != transparent:
                    self.put(ox + x, oy + y, c)


def write_bmp(path, canvas):
    row = (canvas.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytearray()
        for x in range(canvas.w):
            r, g, b = canvas.get(x, y)
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def icon_image(canvas, transparent):
    """One 32-bit icon image (BITMAPINFOHEADER, XOR pixels with alpha, AND mask)."""
    w, h = canvas.w, canvas.h
    xor = bytearray()
    mask = bytearray()
    mask_row = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            c = canvas.get(x, y)
            if c == transparent:
                xor += bytes((0, 0, 0, 0))
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                xor += bytes((c[2], c[1], c[0], 255))
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, canvases, transparent):
    images = [icon_image(c, transparent) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, img in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open(path, "wb") as f:
        f.write(out)


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


def strip(pictures, background):
    c = Canvas(32 * len(pictures), 32, background)
    for i, p in enumerate(pictures):
        c.blit(p, 32 * i, 0)
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
    write_ico("rostery.ico", [big, small], t)
