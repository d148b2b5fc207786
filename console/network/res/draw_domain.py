#!/usr/bin/env python3
"""Draws domain.bmp, the Select Domain list's picture: three networked computers on a
20 x 16 field of pure green, the colour the dialog's image list masks out (the list takes
the left 19 columns, so the last one stays green)."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "..", "..", "tools", "pictures"))
import pixelart  # noqa: E402

GREEN = (0, 255, 0)
PALETTE = {
    "k": (0, 0, 0),
    "g": (128, 128, 128),
    "w": (255, 255, 255),
    "s": (192, 192, 192),
    "b": (0, 0, 128),
    "c": (0, 128, 128),
    "y": (255, 255, 0),
}

ROWS = [
    "......kkkkkkk.......",
    "......kwwwwwk.......",
    "......kwbbbwk.......",
    "......kwbcbwk.......",
    "......kwwwwwk.......",
    "......kkkkkkk.......",
    "........kgk.........",
    "..yyyyyyyyyyyyyy....",
    "..y......y.....y....",
    "kkkkkkk..y..kkkkkkk.",
    "kwwwwwk..y..kwwwwwk.",
    "kwbbbwk..y..kwbbbwk.",
    "kwbcbwk.kkk.kwbcbwk.",
    "kwwwwwk.ksk.kwwwwwk.",
    "kkkkkkk.kkk.kkkkkkk.",
    "..kgk.........kgk...",
]


def main():
    canvas = pixelart.from_grid(ROWS, PALETTE, GREEN)
    pixelart.write_bmp(os.path.join(here, "domain.bmp"), canvas)


if __name__ == "__main__":
    main()
