#!/usr/bin/env python3
"""Draws the console's toolbar and computer-role pictures.

Run from this folder: python3 draw_pictures.py. Writes
  toolbar.bmp  the main toolbar's nine 16 x 16 pictures on light grey (192,192,192), which
               the toolbar and the menu painter take as transparent, in button order: open,
               save, refresh, create ERD, apply ERD, view log, Annalix, schedule, options;
  sysmenu.bmp  the system menu's four 16 x 16 pictures on light grey, in the order of the
               system-menu toolbar: restore, minimize, maximize, close;
  checks.bmp   the menus' two 19 x 19 check marks (tick, radio bullet) in greys that the
               menu painter maps to the current 3D colours (128 shadow, 192 face, white
               highlight) and black;
  roles.bmp    the computer list's five 16 x 16 role pictures on pure green (0,255,0), the
               list's mask colour: unknown, primary domain controller, backup domain
               controller, server, workstation.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "tools", "pictures"))
from pixelart import from_grid, strip, write_bmp  # noqa: E402

FACE = (192, 192, 192)
GREEN = (0, 255, 0)

PALETTE = {
    "K": (0, 0, 0),
    "W": (255, 255, 255),
    "L": (224, 224, 224),   # light grey that is not the transparent face colour
    "g": (128, 128, 128),
    "d": (64, 64, 64),
    "Y": (255, 255, 0),
    "y": (192, 160, 0),
    "o": (255, 200, 64),
    "B": (0, 0, 255),
    "b": (0, 0, 128),
    "s": (96, 160, 255),
    "R": (224, 0, 0),
    "r": (128, 0, 0),
    "G": (0, 160, 0),
    "n": (0, 96, 0),
    "C": (0, 224, 224),
    "c": (0, 128, 128),
}

OPEN = [
    "................",
    "................",
    "................",
    ".KKKK...........",
    "KoYoYK..........",
    "KYoYoYKKKKKK....",
    "KoYoYoYoYoYK....",
    "KYoYoKKKKKKKKKKK",
    "KoYoKyYyYyYyYyK.",
    "KYoKyYyYyYyYyK..",
    "KoKyYyYyYyYyYK..",
    "KYKYyYyYyYyYK...",
    "KKyYyYyYyYyYK...",
    "KKKKKKKKKKKKK...",
    "................",
    "................",
]

SAVE = [
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KbKWWWWWWWWKbK.",
    ".KbKWWWWWWWWKbK.",
    ".KbKWggggggWKbK.",
    ".KbKWWWWWWWWKbK.",
    ".KbKWggggggWKbK.",
    ".KbbKKKKKKKKbbK.",
    ".KbbbbbbbbbbbbK.",
    ".KbbKKKKKKKKbbK.",
    ".KbbKLLKLLLKbbK.",
    ".KbbKLLKLLLKbbK.",
    ".KbbKLLKLLLKbbK.",
    "..KbKLLLLLLKbbK.",
    "...KKKKKKKKKKKK.",
    "................",
]

REFRESH = [
    "................",
    "......nnnnn.....",
    "....nnGGGGGnn.n.",
    "...nGGnnnnnGGnn.",
    "..nGn.....nGGGn.",
    "..nGn.....nGGGn.",
    ".nGn.....nnnnnn.",
    ".nGn............",
    "............bBb.",
    ".bbbbbb.....bBb.",
    ".bBBBb.....bBb..",
    ".bBBBb.....bBb..",
    ".bbBBbbbbbBBb...",
    ".b.bbBBBBBbb....",
    ".....bbbbb......",
    "................",
]

CREATE = [
    "...........K....",
    "..........KYK...",
    "........KKYWYKK.",
    ".KKKKKKKKYWWWYK.",
    ".KrKWWWWWKYWYK..",
    ".KrKWWWWWKKYKK..",
    ".KrKWggggWWKWK..",
    ".KrKWWWWWWWWKrK.",
    ".KrrKKKKKKKKrrK.",
    ".KrrrrrrrrrrrrK.",
    ".KrrKKKKKKKKrrK.",
    ".KrrKLLKLLLKrrK.",
    ".KrrKLLKLLLKrrK.",
    "..KrKLLLLLLKrrK.",
    "...KKKKKKKKKKKK.",
    "................",
]

APPLY = [
    "KKKKKKKK........",
    "KrKWWKrK........",
    "KrKWWKrKGGGG....",
    "KrrKKrrKGGGGG...",
    "KrKLLKrK...GG...",
    "KKKKKKKK...GG...",
    "...........GG...",
    ".........GGGGGG.",
    "..........GGGG..",
    "....KKKKKKKGGKKK",
    "....KWWWWWWWWWWK",
    "....KWssssssssWK",
    "....KWssssssssWK",
    "....KWWWWWWWWWWK",
    "....KKKKKKKKKKKK",
    "......KggggggK..",
]

LOG = [
    "..KKKKKKKKK.....",
    "..KWWWWWWWKK....",
    "..KWWWWWWWKWK...",
    "..KWbbbbbWKKKK..",
    "..KWWWWWWWWWWK..",
    "..KWbbbbbbbbWK..",
    "..KWWWWWWWWWWK..",
    "..KWbbbbbbbbWK..",
    "..KWWWWWWWWWWK..",
    "..KWbbbbbbWWWK..",
    "..KWWWWWWWWWWK..",
    "..KWbbbbbbbbWK..",
    "..KWWWWWWWWWWK..",
    "..KWWWWWWWWWWK..",
    "..KKKKKKKKKKKK..",
    "................",
]

ANNALIX = [
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KbbbbbbbbbbbbK.",
    ".KKKKKKKKKKKKKK.",
    ".KWWWWWWWWWWWWK.",
    ".KWWWWWWWWRRWWK.",
    ".KWWWWWWWWRRWWK.",
    ".KWWWWBBWWRRWWK.",
    ".KWWWWBBWWRRWWK.",
    ".KWGGWBBWWRRWWK.",
    ".KWGGWBBWWRRWWK.",
    ".KWGGWBBWWRRWWK.",
    ".KWKKKKKKKKKKWK.",
    ".KWWWWWWWWWWWWK.",
    ".KKKKKKKKKKKKKK.",
    "................",
]

SCHEDULE = [
    "................",
    ".....KKKKKK.....",
    "...KKbbbbbbKK...",
    "..KbbWWWWWWbbK..",
    "..KbWWWKWWWWbK..",
    ".KbWWWWKWWWWWbK.",
    ".KbWWWWKWWWWWbK.",
    ".KbbWWWKWWWWbbK.",
    ".KbWWWWKKKKWWbK.",
    ".KbWWWWWWWWWWbK.",
    ".KbWWWWWWWWWWbK.",
    "..KbWWWWWWWWbK..",
    "..KbbWWbWWWbbK..",
    "...KKbbbbbbKK...",
    ".....KKKKKK.....",
    "................",
]

OPTIONS = [
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KbbbbbbbbbbbbK.",
    ".KKKKKKKKKKKKKK.",
    ".KLLLLLLLLLLLLK.",
    ".KLKKKKLgggggLK.",
    ".KLKWWKLLLLLLLK.",
    ".KLKWWKLgggggLK.",
    ".KLKKKKLLLLLLLK.",
    ".KLLLLLLLLLLLLK.",
    ".KLKKKKLgggggLK.",
    ".KLKWKWLLLLLLLK.",
    ".KLKKWWLgggggLK.",
    ".KLKKKKLLLLLLLK.",
    ".KKKKKKKKKKKKKK.",
    "................",
]

UNKNOWN = [
    ".KKKKKKKKKKKK...",
    ".KLLLLLLLLLLK...",
    ".KLggggggggLK...",
    ".KLgggbbgggLK...",
    ".KLggbggbggLK...",
    ".KLgggggbggLK...",
    ".KLggggbgggLK...",
    ".KLgggbggggLK...",
    ".KLggggggggLK...",
    ".KLgggbggggLK...",
    ".KLLLLLLLLLLK...",
    ".KKKKKKKKKKKK...",
    "....KLLLLK......",
    "..KKKKKKKKKK....",
    "..KLLLLLLLLK....",
    "..KKKKKKKKKK....",
]

SERVER = [
    "....KKKKKKK.....",
    "....KLLLLLgK....",
    "....KLKKKLgK....",
    "....KLLLLLgK....",
    "....KLKKKLgK....",
    "....KLLLLLgK....",
    "....KLLLLLgK....",
    "....KLLLGLgK....",
    "....KLLLLLgK....",
    "....KLLLLLgK....",
    "....KLLLLLgK....",
    "....KLLLLLgK....",
    "....KLLLLLgK....",
    "....KLLLLLgK....",
    "....KgggggdK....",
    "....KKKKKKKK....",
]


def with_key(rows, body, dark):
    """A server with a key in front of its lower part: a domain controller."""
    key = [
        ".KKK....",
        "KbodK...",
        "KoWoKKKK",
        "KbodbbbK",
        ".KKKKbKK",
        ".....K..",
    ]
    out = [list(r) for r in rows]
    for y, row in enumerate(key):
        for x, ch in enumerate(row):
            if ch == ".":
                continue
            colour = {"b": body, "o": body, "d": dark}.get(ch, ch)
            out[9 + y][7 + x] = colour
    return ["".join(r) for r in out]


WORKSTATION = [
    "................",
    ".KKKKKKKKKKKK...",
    ".KLLLLLLLLLLK...",
    ".KLssssssssLK...",
    ".KLsWsssssKLK...",
    ".KLssssssssLK...",
    ".KLssssssssLK...",
    ".KLssssssssLK...",
    ".KLLLLLLLLLLK...",
    ".KKKKKKKKKKKK...",
    "....KLLLLK......",
    "..KKKKKKKKKK....",
    ".KLLLLLLLLLLK...",
    ".KLgLgLgLgLLK...",
    ".KKKKKKKKKKKK...",
    "................",
]


RESTORE = [
    "................",
    "................",
    ".....KKKKKKKKK..",
    ".....KKKKKKKKK..",
    ".....K.......K..",
    "..KKKKKKKKK..K..",
    "..KKKKKKKKK..K..",
    "..K.......K..K..",
    "..K.......KKKK..",
    "..K.......K.....",
    "..K.......K.....",
    "..K.......K.....",
    "..KKKKKKKKK.....",
    "................",
    "................",
    "................",
]

MINIMIZE = [
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "................",
    "...KKKKKKKK.....",
    "...KKKKKKKK.....",
    "................",
    "................",
    "................",
]

MAXIMIZE = [
    "................",
    "................",
    "..KKKKKKKKKKK...",
    "..KKKKKKKKKKK...",
    "..K.........K...",
    "..K.........K...",
    "..K.........K...",
    "..K.........K...",
    "..K.........K...",
    "..K.........K...",
    "..K.........K...",
    "..K.........K...",
    "..KKKKKKKKKKK...",
    "................",
    "................",
    "................",
]

CLOSE = [
    "................",
    "................",
    "................",
    "...KK.....KK....",
    "....KK...KK.....",
    ".....KK.KK......",
    "......KKK.......",
    "......KKK.......",
    ".....KK.KK......",
    "....KK...KK.....",
    "...KK.....KK....",
    "................",
    "................",
    "................",
    "................",
    "................",
]

def sunken_box(mark):
    """A 19 x 19 check-mark picture: a sunken white box (shadow on the left and top,
    highlight on the right and bottom) on the face colour, `mark` (13 rows of 13) inside."""
    rows = ["...................", "..................."]
    rows.append("..ggggggggggggggg" + "W.")
    rows += ["..gW" + line + "W." for line in mark]
    rows.append("..gWWWWWWWWWWWWWWW.")
    rows.append("..WWWWWWWWWWWWWWWW.")
    rows.append("...................")
    return rows


TICK = sunken_box([
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWWWWWKWWW",
    "WWWWWWWWKKWWW",
    "WWWWWWWKKKWWW",
    "WWKWWWKKKWWWW",
    "WWKKWKKKWWWWW",
    "WWKKKKKWWWWWW",
    "WWWKKKWWWWWWW",
    "WWWWKWWWWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
])

BULLET = sunken_box([
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWKKKWWWWW",
    "WWWWKKKKKWWWW",
    "WWWWKKKKKWWWW",
    "WWWWKKKKKWWWW",
    "WWWWWKKKWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
    "WWWWWWWWWWWWW",
])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    buttons = [OPEN, SAVE, REFRESH, CREATE, APPLY, LOG, ANNALIX, SCHEDULE, OPTIONS]
    toolbar = strip([from_grid(b, PALETTE, FACE) for b in buttons], FACE)
    write_bmp(os.path.join(here, "toolbar.bmp"), toolbar)

    system = [RESTORE, MINIMIZE, MAXIMIZE, CLOSE]
    write_bmp(os.path.join(here, "sysmenu.bmp"), strip([from_grid(b, PALETTE, FACE) for b in system], FACE))
    checks = [TICK, BULLET]
    write_bmp(os.path.join(here, "checks.bmp"), strip([from_grid(b, PALETTE, FACE) for b in checks], FACE))

    palette = dict(PALETTE)
    palette["P"] = (255, 215, 0)     # primary: a gold key
    palette["p"] = (160, 120, 0)
    palette["Q"] = (176, 196, 222)   # backup: a silver key
    palette["q"] = (96, 112, 136)
    roles = [UNKNOWN, with_key(SERVER, "P", "p"), with_key(SERVER, "Q", "q"), SERVER, WORKSTATION]
    images = strip([from_grid(r, palette, GREEN) for r in roles], GREEN)
    write_bmp(os.path.join(here, "roles.bmp"), images)


if __name__ == "__main__":
    main()
