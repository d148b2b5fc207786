#!/usr/bin/env python3
"""Draws clock2.avi: a small clock face whose hand goes round in 12 frames.

An uncompressed 8-bit (palette) AVI, the kind the animation control plays directly.
Run: python3 make_clock_avi.py clock2.avi
"""
import math
import struct
import sys

W = H = 32
FRAMES = 12
PALETTE = [(192, 192, 192), (0, 0, 0), (255, 255, 255), (0, 0, 128), (128, 0, 0)]
PALETTE += [(0, 0, 0)] * (256 - len(PALETTE))
BACK, BLACK, WHITE, BLUE, RED = range(5)


def frame(n):
    px = [[BACK] * W for _ in range(H)]
    cx = cy = (W - 1) / 2.0
    for y in range(H):
        for x in range(W):
            d = math.hypot(x - cx, y - cy)
            if d <= 14.5:
                px[y][x] = BLACK if d > 13.0 else WHITE
    for h in range(12):  # hour marks
        a = h * math.pi / 6
        for r in (10.5, 11.5):
            px[int(round(cy - r * math.cos(a)))][int(round(cx + r * math.sin(a)))] = BLUE
    a = n * 2 * math.pi / FRAMES  # the hand
    for i in range(0, 100):
        r = 10.0 * i / 99
        px[int(round(cy - r * math.cos(a)))][int(round(cx + r * math.sin(a)))] = RED
    px[int(cy)][int(cx)] = BLACK
    rows = b''
    for y in range(H - 1, -1, -1):  # bottom-up
        rows += bytes(px[y])
    return rows


def chunk(fourcc, data):
    pad = b'\0' if len(data) % 2 else b''
    return fourcc + struct.pack('<I', len(data)) + data + pad


def lst(kind, data):
    return chunk(b'LIST', kind + data)


def main(path):
    size = W * H
    usec = 100000
    avih = struct.pack('<IIIIIIIIII4I', usec, size * 10, 0, 0x10, FRAMES, 0, 1, size, W, H, 0, 0, 0, 0)
    strh = struct.pack('<4s4sIHHIIIIIIIIhhhh', b'vids', b'DIB ', 0, 0, 0, 0, 1, 10, 0, FRAMES,
                       size, 0xFFFFFFFF, 0, 0, 0, W, H)
    bih = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 8, 0, size, 0, 0, 256, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    hdrl = lst(b'hdrl', chunk(b'avih', avih) + lst(b'strl', chunk(b'strh', strh) + chunk(b'strf', bih + pal)))
    movi_data = b''
    index = b''
    for n in range(FRAMES):
        offset = 4 + len(movi_data)  # from the 'movi' fourcc
        movi_data += chunk(b'00db', frame(n))
        index += struct.pack('<4sIII', b'00db', 0x10, offset, size)
    body = b'AVI ' + hdrl + lst(b'movi', movi_data) + chunk(b'idx1', index)
    with open(path, 'wb') as f:
        f.write(b'RIFF' + struct.pack('<I', len(body)) + body)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'clock2.avi')
