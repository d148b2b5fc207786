"""Small pixel-drawing helpers shared by the programs' picture scripts.

A Canvas is a grid of RGB triples; write_bmp saves it as a 24-bit BMP, write_ico as a
32-bit icon. from_grid draws a picture from rows of characters and a palette, which is the
clearest way to draw a 16 x 16 toolbar or list picture by hand.
"""
import struct


class Canvas:
    def __init__(self, width, height, background):
        self.w, self.h = width, height
        self.px = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = colour

    def get(self, x, y):
        return self.px[y][x]

    def blit(self, other, ox, oy, transparent=None):
        for y in range(other.h):
            for x in range(other.w):
                c = other.get(x, y)
                if c != transparent:
                    self.put(ox + x, oy + y, c)


def from_grid(rows, palette, background):
    """A canvas from equal-length rows of characters; '.' is the background."""
    c = Canvas(len(rows[0]), len(rows), background)
    for y, row in enumerate(rows):
        if len(row) != c.w:
            raise ValueError("row %d is %d wide, not %d: %r" % (y, len(row), c.w, row))
        for x, ch in enumerate(row):
            if ch != ".":
                c.put(x, y, palette[ch])
    return c


def strip(canvases, background):
    """The pictures side by side, as a toolbar or an image list takes them."""
    out = Canvas(sum(c.w for c in canvases), max(c.h for c in canvases), background)
    x = 0
    for c in canvases:
        out.blit(c, x, 0)
        x += c.w
    return out


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
