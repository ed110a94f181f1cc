#!/usr/bin/env python3
"""Draws the wizard's 198 x 320 banner as a 24-bit BMP and writes the .rc
that embeds it as the bitmap resource TALLOWMEND_BANNER.

The picture carries no text: the window writes its (translated) title over it.
Usage: make_banner.py OUT.bmp OUT.rc
"""
import math
import struct
import sys

W, H = 198, 320


def pixel(x, y):
    # Deep blue at the top, lighter towards the bottom.
    t = y / (H - 1)
    r, g, b = 20 + 40 * t, 60 + 64 * t, 140 + 85 * t
    # A soft ring low on the left: a gauge that has been set right.
    cx, cy = 150, 250
    d = math.hypot(x - cx, y - cy)
    if 52 <= d <= 60:
        r, g, b = r + 30, g + 30, b + 25
    if d < 40:
        r, g, b = r + 12, g + 12, b + 10
    # The check mark inside the ring.
    for (x0, y0, x1, y1) in ((128, 250, 144, 266), (144, 266, 174, 232)):
        vx, vy = x1 - x0, y1 - y0
        s = max(0.0, min(1.0, ((x - x0) * vx + (y - y0) * vy) / (vx * vx + vy * vy)))
        if math.hypot(x - (x0 + s * vx), y - (y0 + s * vy)) <= 3.2:
            r, g, b = 255, 196, 64
    # Accent line under where the title goes.
    if 64 <= y < 67 and 24 <= x < 174:
        r, g, b = 255, 196, 64
    return tuple(min(255, int(c)) for c in (b, g, r))


def main():
    bmp_path, rc_path = sys.argv[1], sys.argv[2]
    row_bytes = (W * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(H - 1, -1, -1):  # bottom-up rows
        row = bytearray()
        for x in range(W):
            row.extend(pixel(x, y))
        row.extend(b"\0" * (row_bytes - W * 3))
        pixels.extend(row)
    header = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    with open(bmp_path, "wb") as f:
        f.write(file_header + header + pixels)
    with open(rc_path, "w") as f:
        f.write('TALLOWMEND_BANNER BITMAP "%s"\n' % bmp_path.replace("\\", "/"))


if __name__ == "__main__":
    main()
