#!/usr/bin/env python3
"""Draws the program's icon (a tachometer dial on a dark blue tile) and writes res/VelmarisDiag.ico
with two 24-bit images, 32 x 32 and 16 x 16 pixels. Run it again only to change the design."""
import math
import struct
import sys

TILE = (0x1F, 0x3A, 0x5F)
DIAL = (0xF2, 0xF2, 0xF2)
NEEDLE = (0xF0, 0x8A, 0x24)
HUB = (0x20, 0x20, 0x20)


def colour_at(x, y):
    """Colour of the design at a point of the unit square (0..1, y downwards)."""
    cx, cy = x - 0.5, y - 0.56
    r = math.hypot(cx, cy)
    angle = math.degrees(math.atan2(-cy, cx))  # 0 = right, 90 = up
    if r < 0.07:
        return HUB
    # Needle pointing up and to the right, as at high revolutions.
    nx, ny = math.cos(math.radians(40)), -math.sin(math.radians(40))
    along = cx * nx + cy * ny
    across = abs(-cx * ny + cy * nx)
    if 0 <= along <= 0.36 and across < 0.045:
        return NEEDLE
    if 0.33 <= r <= 0.42 and (angle >= -30 or angle <= -150):
        return DIAL
    return TILE


def image(size):
    samples = 4
    rows = []
    for row in range(size):
        pixels = []
        for column in range(size):
            total = [0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((column + (sx + 0.5) / samples) / size,
                                  (row + (sy + 0.5) / samples) / size)
                    total = [t + v for t, v in zip(total, c)]
            pixels.append(tuple(round(t / samples ** 2) for t in total))
        rows.append(pixels)
    return rows


def dib(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 24, 0, 0, 0, 0, 0, 0)
    stride = (size * 3 + 3) & ~3
    xor = b''
    for pixels in reversed(rows):  # bottom-up
        line = b''.join(bytes((b, g, r)) for r, g, b in pixels)
        xor += line + b'\0' * (stride - len(line))
    mask_stride = ((size + 31) // 32) * 4
    return header + xor + b'\0' * (mask_stride * size)


def main(path):
    images = [dib(image(32)), dib(image(16))]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((32, 16), images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 24, len(data), offset)
        offset += len(data)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'res/VelmarisDiag.ico')
