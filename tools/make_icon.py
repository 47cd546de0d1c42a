#!/usr/bin/env python3
"""Renders the application icon: a down arrow over a tray on a rounded blue
tile, in one .ico with every size Windows asks for from 100 % to 200 %
display scaling (16 to 64 px) and Explorer's 256 px view, all 32-bit with
alpha; the 256 px image is PNG-compressed, as Windows Vista and later read it.

    python3 tools/make_icon.py resources/cveltrix.ico
"""
import struct
import sys
import zlib

SAMPLES = 4  # per axis, for anti-aliased edges


def coverage(x, y):
    """Returns (tile, glyph) coverage of the unit-square point (x, y)."""
    r = 0.18  # corner radius of the tile
    dx = max(r - x, 0, x - (1 - r))
    dy = max(r - y, 0, y - (1 - r))
    tile = dx * dx + dy * dy <= r * r and 0.02 <= x <= 0.98 and 0.02 <= y <= 0.98
    shaft = 0.42 <= x <= 0.58 and 0.16 <= y <= 0.52
    head = 0.46 <= y <= 0.70 and abs(x - 0.5) <= (0.70 - y) * 1.1
    tray = 0.76 <= y <= 0.84 and 0.22 <= x <= 0.78
    tray_sides = 0.62 <= y <= 0.84 and (0.22 <= x <= 0.30 or 0.70 <= x <= 0.78)
    return tile, tile and (shaft or head or tray or tray_sides)


def render(size):
    """Rows of (b, g, r, a) from top to bottom."""
    top, bottom = (0x2E, 0x7D, 0xD8), (0x14, 0x4A, 0x9A)
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            tile_hits = glyph_hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    t, g = coverage((px + (sx + 0.5) / SAMPLES) / size, (py + (sy + 0.5) / SAMPLES) / size)
                    tile_hits += t
                    glyph_hits += g
            n = SAMPLES * SAMPLES
            shade = py / max(size - 1, 1)
            base = [round(top[i] + (bottom[i] - top[i]) * shade) for i in range(3)]
            g = glyph_hits / max(tile_hits, 1)
            rgb = [round(c + (255 - c) * g) for c in base]
            row.append((rgb[2], rgb[1], rgb[0], round(255 * tile_hits / n)))
        rows.append(row)
    return rows


SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
PNG_FROM = 256  # this size and larger are stored as PNG


def bmp_image(size):
    """An icon image: BITMAPINFOHEADER, bottom-up 32-bit pixels, AND mask."""
    rows = render(size)
    pixels = b"".join(bytes(pixel) for row in reversed(rows) for pixel in row)
    mask = bytearray()
    for row in reversed(rows):
        bits_row = 0
        for i, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits_row |= 1 << (size - 1 - i)
        line = bits_row.to_bytes((size + 7) // 8, "big")
        mask += line + b"\0" * (-len(line) % 4)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def png_image(size):
    """An icon image as a PNG file: 8-bit RGBA, no filtering."""
    raw = b"".join(b"\0" + b"".join(bytes((r, g, b, a)) for b, g, r, a in row) for row in render(size))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(path):
    blobs = [png_image(size) if size >= PNG_FROM else bmp_image(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(SIZES))
    offset = 6 + 16 * len(SIZES)
    for size, blob in zip(SIZES, blobs):
        # A width or height of 256 is written as 0.
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/cveltrix.ico")
