#!/usr/bin/env python3
"""Writes the progress animation: a RIFF AVI of 17 frames, 260x40, 8-bit RLE, 10 fps.

A sheet of paper slides into a padlock that closes on the last frames. Index 0 is the
background: the animation control takes the first pixel's colour as transparent.
"""
import struct
import sys

WIDTH, HEIGHT, FRAMES = 260, 40, 17
MICROSECONDS_PER_FRAME = 100_000

PALETTE = [
    (0xF0, 0xF0, 0xF0),  # 0 background
    (0x30, 0x30, 0x30),  # 1 outline
    (0xFF, 0xFF, 0xFF),  # 2 paper
    (0x50, 0x70, 0xC0),  # 3 text lines
    (0xD8, 0xA8, 0x30),  # 4 lock body
    (0x90, 0x90, 0x98),  # 5 shackle
    (0x30, 0x90, 0x40),  # 6 arrow
]


class Canvas:
    def __init__(self):
        self.rows = [bytearray(WIDTH) for _ in range(HEIGHT)]

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(max(y0, 0), min(y1, HEIGHT)):
            for x in range(max(x0, 0), min(x1, WIDTH)):
                self.rows[y][x] = colour

    def box(self, x0, y0, x1, y1, inside, outline=1):
        self.fill(x0, y0, x1, y1, outline)
        self.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, inside)


def draw_paper(canvas, x):
    canvas.box(x, 6, x + 24, 34, 2)
    for line_y in range(11, 31, 4):
        canvas.fill(x + 4, line_y, x + 20, line_y + 1, 3)


def draw_arrow(canvas, x0, x1):
    canvas.fill(x0, 19, x1 - 4, 21, 6)
    for step in range(5):
        canvas.fill(x1 - 5 + step, 15 + step, x1 - 4 + step, 25 - step, 6)


def draw_lock(canvas, closed):
    lift = 0 if closed else 5
    canvas.box(212, 7 - lift, 236, 24 - lift, 0, 5)  # shackle: a ring, open at the bottom
    canvas.fill(215, 10 - lift, 233, 24, 0)
    canvas.box(206, 19, 242, 38, 4)
    canvas.fill(222, 25, 226, 33, 1)  # keyhole


def frame(index):
    canvas = Canvas()
    closed = index >= FRAMES - 3
    x = 12 + 160 * index // (FRAMES - 4)
    draw_lock(canvas, closed)
    if not closed:
        draw_arrow(canvas, x + 30, 200)
        draw_paper(canvas, x)
    return canvas.rows


def rle8(rows):
    """Encoded-mode RLE8, bottom row first, as the DIB format stores it."""
    out = bytearray()
    for row in reversed(rows):
        x = 0
        while x < WIDTH:
            run = 1
            while x + run < WIDTH and run < 255 and row[x + run] == row[x]:
                run += 1
            out += bytes((run, row[x]))
            x += run
        out += b"\x00\x00"  # end of line
    out[-2:] = b"\x00\x01"  # end of bitmap replaces the last end of line
    return bytes(out)


def chunk(fourcc, data):
    padded = data + (b"\x00" if len(data) % 2 else b"")
    return fourcc + struct.pack("<I", len(data)) + padded


def list_chunk(kind, body):
    return b"LIST" + struct.pack("<I", len(body) + 4) + kind + body


def bitmap_header(image_size):
    header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 1, image_size, 0, 0,
                         len(PALETTE), 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette


def clip():
    frames = [rle8(frame(i)) for i in range(FRAMES)]
    largest = max(len(f) for f in frames)
    rate = 1_000_000 // MICROSECONDS_PER_FRAME
    avih = struct.pack("<IIIIIIIIII4I", MICROSECONDS_PER_FRAME, largest * rate, 0,
                       0x10,  # AVIF_HASINDEX
                       FRAMES, 0, 1, largest, WIDTH, HEIGHT, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"mrle", 0, 0, 0, 0, 1, rate, 0,
                       FRAMES, largest, 0xFFFFFFFF, 0, 0, 0, WIDTH, HEIGHT)
    strl = list_chunk(b"strl", chunk(b"strh", strh) + chunk(b"strf", bitmap_header(largest)))
    hdrl = list_chunk(b"hdrl", chunk(b"avih", avih) + strl)

    movi_body = b""
    index = b""
    for data in frames:
        offset = 4 + len(movi_body)  # from the 'movi' fourcc, as players expect
        movi_body += chunk(b"00dc", data)
        index += struct.pack("<4sIII", b"00dc", 0x10, offset, len(data))  # AVIIF_KEYFRAME
    body = b"AVI " + hdrl + list_chunk(b"movi", movi_body) + chunk(b"idx1", index)
    return b"RIFF" + struct.pack("<I", len(body)) + body


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as out:
        out.write(clip())
