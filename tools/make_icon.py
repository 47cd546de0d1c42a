#!/usr/bin/env python3
"""Renders the application icon: a down arrow over a tray on a rounded blue
tile, as 48x48 32-bit (with alpha), 32x32 and 16x16 24-bit images in one .ico.

    python3 tools/make_icon.py resources/cveltrix.ico
"""
import struct
import sys

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


def bmp_image(size, bits):
    """An icon image: BITMAPINFOHEADER, bottom-up pixels, AND mask."""
    rows = render(size)
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for b, g, r, a in row:
            if bits == 32:
                line += bytes((b, g, r, a))
            else:
                # No alpha channel: blend the edge onto white, mask the outside.
                k = a / 255
                line += bytes(round(c * k + 255 * (1 - k)) for c in (b, g, r))
        line += b"\0" * (-len(line) % 4)
        pixels += line
    mask = bytearray()
    for row in reversed(rows):
        bits_row = 0
        for i, (_, _, _, a) in enumerate(row):
            if a < 128:
                bits_row |= 1 << (size - 1 - i)
        line = bits_row.to_bytes((size + 7) // 8, "big")
        mask += line + b"\0" * (-len(line) % 4)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def main(path):
    images = [(48, 32), (32, 24), (16, 24)]
    blobs = [bmp_image(size, bits) for size, bits in images]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(out + b"".join(blobs))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/cveltrix.ico")
