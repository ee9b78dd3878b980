#!/usr/bin/env python3
"""Draws the program icon, a small camera, into an .ico file.

Five sizes (16, 32, 48, 64, 128), each in 16 colours, 24-bit and 32-bit colour.
Shapes are sampled 4 x 4 per pixel: the 32-bit images get smooth edges in their
alpha channel, the others take the majority of the samples.
"""
import struct
import sys

SIZES = (16, 32, 48, 64, 128)
SUB = 4

# The standard 16-colour palette, as blue, green, red.
VGA = [(0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0),
       (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0),
       (255, 0, 255), (255, 255, 0), (255, 255, 255)]
VGA_RGB = [(r, g, b) for (b, g, r) in VGA]


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


# Painted in order, the last on top: (shape, true colour as RGB, index into VGA).
SHAPES = [
    (rounded_rect(0.30, 0.14, 0.60, 0.34, 0.05), (55, 71, 79), 8),      # viewfinder hump
    (rounded_rect(0.04, 0.26, 0.96, 0.88, 0.11), (55, 71, 79), 8),      # body
    (rounded_rect(0.74, 0.34, 0.88, 0.44, 0.02), (255, 202, 40), 11),   # flash
    (circle(0.50, 0.58, 0.25), (207, 216, 220), 7),                     # lens ring
    (circle(0.50, 0.58, 0.17), (30, 136, 229), 12),                     # glass
    (circle(0.44, 0.52, 0.05), (255, 255, 255), 15),                    # glint
]


def render(size):
    """Per pixel, top row first: (coverage 0..1, (r, g, b), majority VGA index or None)."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            hits = 0
            votes = {}
            for sy in range(SUB):
                for sx in range(SUB):
                    x = (px + (sx + 0.5) / SUB) / size
                    y = (py + (sy + 0.5) / SUB) / size
                    top = None
                    for shape in SHAPES:
                        if shape[0](x, y):
                            top = shape
                    if top is None:
                        votes[None] = votes.get(None, 0) + 1
                        continue
                    hits += 1
                    for k in range(3):
                        total[k] += top[1][k]
                    votes[top[2]] = votes.get(top[2], 0) + 1
            colour = tuple(round(t / hits) for t in total) if hits else (0, 0, 0)
            majority = max(votes.items(), key=lambda kv: kv[1])[0]
            row.append((hits / (SUB * SUB), colour, majority))
        pixels.append(row)
    return pixels


def row_bytes(bits, width):
    return ((width * bits + 31) // 32) * 4


def and_mask(pixels, size, transparent):
    stride = row_bytes(1, size)
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, p in enumerate(row):
            if transparent(p):
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return out


def image(pixels, size, bits):
    stride = row_bytes(bits, size)
    xor = bytearray()
    palette = b""
    if bits == 4:
        palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (b, g, r) in VGA)
        for row in reversed(pixels):
            line = bytearray(stride)
            for x, p in enumerate(row):
                index = p[2] if p[2] is not None else 0
                line[x // 2] |= index << (4 if x % 2 == 0 else 0)
            xor += line
        mask = and_mask(pixels, size, lambda p: p[2] is None)
    elif bits == 24:
        for row in reversed(pixels):
            line = bytearray()
            for coverage, (r, g, b), _ in row:
                line += bytes((b, g, r)) if coverage >= 0.5 else b"\0\0\0"
            xor += line + bytes(stride - len(line))
        mask = and_mask(pixels, size, lambda p: p[0] < 0.5)
    else:
        for row in reversed(pixels):
            for coverage, (r, g, b), _ in row:
                xor += bytes((b, g, r, round(coverage * 255)))
        mask = and_mask(pixels, size, lambda p: p[0] == 0)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask), 0, 0,
                         16 if bits == 4 else 0, 0)
    return header + palette + bytes(xor) + bytes(mask)


def main(path):
    images = []
    for size in SIZES:
        pixels = render(size)
        for bits in (4, 24, 32):
            images.append((size, bits, image(pixels, size, bits)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits, len(data),
                           offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1])
