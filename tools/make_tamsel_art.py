#!/usr/bin/env python3
"""Writes Tamsel's pictures into the given folder: Tamsel.ico (a folder with a padlock, 16 and 32
pixels), Tamsel.cur (an arrow with a small padlock, hot spot at its tip) and Folders.bmp (the list's
images, 16 pixels wide each, on the mask colour RGB(0, 255, 0): 0 a plain folder, 1 a locked one).
"""
import os
import struct
import sys

CLEAR = None
OUTLINE = (0x30, 0x30, 0x30)
FOLDER = (0xF0, 0xC8, 0x50)
FOLDER_DARK = (0xC8, 0x98, 0x28)
LOCK = (0x50, 0x70, 0xC0)
SHACKLE = (0x90, 0x90, 0x98)
WHITE = (0xFF, 0xFF, 0xFF)
MASK_GREEN = (0x00, 0xFF, 0x00)


class Picture:
    def __init__(self, size, background=CLEAR):
        self.size = size
        self.pixels = [[background] * size for _ in range(size)]

    def fill(self, x0, y0, x1, y1, colour):
        for y in range(max(y0, 0), min(y1, self.size)):
            for x in range(max(x0, 0), min(x1, self.size)):
                self.pixels[y][x] = colour

    def box(self, x0, y0, x1, y1, inside):
        self.fill(x0, y0, x1, y1, OUTLINE)
        self.fill(x0 + 1, y0 + 1, x1 - 1, y1 - 1, inside)


def draw_folder(picture, scale, locked):
    """The folder fills the picture; scale 1 is 16 pixels, 2 is 32."""
    s = scale
    picture.box(1 * s, 2 * s, 7 * s, 5 * s, FOLDER_DARK)
    picture.box(0, 4 * s, 16 * s, 14 * s, FOLDER)
    if locked:
        picture.box(8 * s, 5 * s, 13 * s, 9 * s, SHACKLE)
        picture.fill(9 * s, 6 * s, 12 * s, 9 * s, FOLDER)
        picture.box(7 * s, 8 * s, 14 * s, 14 * s, LOCK)
        picture.fill(10 * s, 10 * s, 11 * s, 12 * s, WHITE)


def draw_arrow(picture):
    for y in range(18):
        width = min(y, 11) if y < 12 else max(0, 11 - (y - 11) * 2)
        for x in range(width + 1):
            edge = x == 0 or x == width or y == 17
            picture.pixels[y][x] = OUTLINE if edge else WHITE
    picture.box(14, 22, 24, 30, LOCK)
    picture.box(16, 17, 22, 23, SHACKLE)
    picture.fill(17, 18, 21, 22, CLEAR)


def dib_32(picture):
    """BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask (1 where clear)."""
    size = picture.size
    mask_stride = ((size + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = bytearray()
    mask = bytearray()
    for row in reversed(picture.pixels):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel is None:
                colours += b'\0\0\0\0'
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                colours += bytes((pixel[2], pixel[1], pixel[0], 0xFF))
        mask += bits
    return header + bytes(colours) + bytes(mask)


def icon_file(pictures, kind, hot_spot=(0, 0)):
    """An .ico (kind 1) or .cur (kind 2) holding each picture as a 32-bit image."""
    images = [dib_32(p) for p in pictures]
    out = bytearray(struct.pack('<HHH', 0, kind, len(images)))
    offset = 6 + 16 * len(images)
    for picture, image in zip(pictures, images):
        planes, bits = (1, 32) if kind == 1 else hot_spot
        out += struct.pack('<BBBBHHII', picture.size % 256, picture.size % 256, 0, 0, planes, bits, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def strip_bitmap(pictures):
    """A 24-bit BMP with the pictures side by side."""
    height = pictures[0].size
    width = height * len(pictures)
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for picture in pictures:
            for pixel in picture.pixels[y]:
                row += bytes((pixel[2], pixel[1], pixel[0]))
        rows += row + bytes(stride - len(row))
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return header + info + bytes(rows)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    small, large = Picture(16), Picture(32)
    draw_folder(small, 1, True)
    draw_folder(large, 2, True)
    cursor = Picture(32)
    draw_arrow(cursor)
    plain, locked = Picture(16, MASK_GREEN), Picture(16, MASK_GREEN)
    draw_folder(plain, 1, False)
    draw_folder(locked, 1, True)
    outputs = {
        'Tamsel.ico': icon_file([small, large], 1),
        'Tamsel.cur': icon_file([cursor], 2, (0, 0)),
        'Folders.bmp': strip_bitmap([plain, locked]),
    }
    for name, data in outputs.items():
        with open(os.path.join(folder, name), 'wb') as out:
            out.write(data)


if __name__ == '__main__':
    main()
