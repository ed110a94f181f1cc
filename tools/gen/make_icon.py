#!/usr/bin/env python3
"""Draws the program icon (16x16 and 32x32, 32-bit) into an .ico file.

The icon is generated rather than committed so the repository holds no
binary blobs: a rounded blue tile with a white wrench-like mark.
"""
import struct
import sys


def pixel(size, x, y):
    # Normalised coordinates in [0, 1).
    u, v = (x + 0.5) / size, (y + 0.5) / size
    r = 0.18
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    # A diagonal bar with a ring at its upper end: the "mend" mark.
    d = abs(u + v - 1) / 1.414
    ring = ((u - 0.68) ** 2 + (v - 0.32) ** 2) ** 0.5
    on_bar = d < 0.07 and 0.18 < u < 0.6
    on_ring = 0.09 < ring < 0.19
    if on_bar or on_ring:
        return (255, 255, 255, 255)
    shade = int(150 + 60 * (1 - v))
    return (40, 90, shade, 255)


def image(size):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b"".join(struct.pack("BBBB", b, g, r, a) for (r, g, b, a) in (pixel(size, x, y) for x in range(size)))
        rows.append(row)
    mask_row = b"\0" * (((size + 31) // 32) * 4)
    return header + b"".join(rows) + mask_row * size


def main(out):
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
