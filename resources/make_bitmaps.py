#!/usr/bin/env python3
"""Draws the library's 16x16 bitmap resources (24-bit BMP) into this folder.

Run it after changing a drawing; the .bmp files it writes are committed beside it.
"""
import struct
from pathlib import Path

SIZE = 16
BACKGROUND = (192, 192, 192)  # light grey, the usual transparent colour of list images
DARK = (32, 32, 32)
SCREEN = (0, 64, 0)
TRACE = (0, 255, 0)
BODY = (96, 96, 120)
RED = (200, 0, 0)
BLACK = (0, 0, 0)
METAL = (224, 200, 96)


def blank():
    return [[BACKGROUND] * SIZE for _ in range(SIZE)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            img[y][x] = colour


def instrument(accent):
    """A probe body with a small screen showing a square wave; `accent` marks the model."""
    img = blank()
    rect(img, 1, 3, 14, 13, DARK)
    rect(img, 2, 4, 13, 12, BODY)
    rect(img, 3, 5, 10, 11, SCREEN)
    wave = [9, 9, 6, 6, 6, 9, 9, 6]
    for i, y in enumerate(wave):
        img[y][3 + i] = TRACE
        if i and wave[i - 1] != y:  # the vertical edge of the square wave
            for edge in range(min(y, wave[i - 1]), max(y, wave[i - 1]) + 1):
                img[edge][3 + i] = TRACE
    rect(img, 12, 5, 12, 6, accent)
    rect(img, 12, 9, 12, 11, accent)
    return img


def channel(tip):
    """An input lead: a coloured connector with a cable running off to the left."""
    img = blank()
    rect(img, 1, 7, 7, 8, DARK)          # cable
    rect(img, 8, 5, 12, 10, tip)         # connector body
    rect(img, 13, 7, 14, 8, METAL)       # pin
    return img


def write_bmp(path, img):
    row_bytes = SIZE * 3  # already a multiple of four
    pixels = bytearray()
    for row in reversed(img):  # bottom-up
        for (r, g, b) in row:
            pixels += bytes((b, g, r))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    assert len(pixels) == row_bytes * SIZE
    path.write_bytes(header + info + pixels)


def main():
    here = Path(__file__).resolve().parent
    images = {
        "instrument.bmp": instrument((0, 160, 255)),
        "instrument_qm1.bmp": instrument((255, 160, 0)),
        "instrument_qm8.bmp": instrument((255, 0, 160)),
        "channel.bmp": channel(BLACK),
        "channel_ban.bmp": channel(RED),
    }
    for name, img in images.items():
        write_bmp(here / name, img)


if __name__ == "__main__":
    main()
