"""Small pixel-drawing helpers shared by the programs' picture scripts.

A Canvas is a grid of RGB triples with a few drawing primitives; from_grid draws a
picture from rows of characters and a palette, the clearest way to draw a 16 x 16 toolbar
or list picture by hand. write_bmp saves a canvas as a 24-bit BMP; write_ico saves one or
more square RGBA images (rows of (r, g, b, a); alpha 0 is transparent) as a 32-bit icon.
A script imports this module after putting this folder on its path.
"""
import math
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

    def rgba(self, transparent):
        """The canvas as RGBA rows for write_ico; `transparent` becomes alpha 0."""
        return [[(0, 0, 0, 0) if c == transparent else c + (255,) for c in row] for row in self.px]


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


def flatten(rows, background):
    """RGBA rows on a background colour, as a canvas (alpha 0 shows the background)."""
    c = Canvas(len(rows[0]), len(rows), background)
    for y, row in enumerate(rows):
        for x, (r, g, b, a) in enumerate(row):
            if a:
                c.put(x, y, (r, g, b))
    return c


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


def _icon_image(rows):
    """One 32-bit icon image: BITMAPINFOHEADER, bottom-up BGRA pixels, AND mask."""
    h, w = len(rows), len(rows[0])
    xor = bytearray()
    mask = bytearray()
    mask_row = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            r, g, b, a = rows[y][x]
            xor += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, images):
    """An icon file of one or more RGBA images (each a list of rows)."""
    blobs = [_icon_image(rows) for rows in images]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for rows, blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", len(rows[0]) % 256, len(rows) % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for blob in blobs:
        out += blob
    with open(path, "wb") as f:
        f.write(out)
