#!/usr/bin/env python3
"""Draws the program's icons and toolbar pictures: flat rounded tiles with a white glyph.

Run it after changing a picture; its output in resources/art/ is committed, so the build
itself does not need Python.  Standard library only (zlib + struct)."""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "art")
SS = 4  # supersampling per axis


def rounded_rect(x0, y0, x1, y1, r):
    def f(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return f


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, w):
    return lambda x, y: (r - w) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment(ax, ay, bx, by, w):
    def f(x, y):
        dx, dy = bx - ax, by - ay
        t = ((x - ax) * dx + (y - ay) * dy) / float(dx * dx + dy * dy)
        t = min(max(t, 0.0), 1.0)
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (w / 2.0) ** 2
    return f


def polygon(points):
    def f(x, y):
        inside = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
                inside = not inside
        return inside
    return f


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


WHITE = (255, 255, 255)

# Glyphs on a 0..1 square.
GLYPHS = {
    "add": union(rect(0.44, 0.22, 0.56, 0.78), rect(0.22, 0.44, 0.78, 0.56)),
    "extract": union(rect(0.44, 0.18, 0.56, 0.52), polygon([(0.28, 0.48), (0.72, 0.48), (0.5, 0.7)]),
                     rect(0.2, 0.74, 0.8, 0.82)),
    "test": union(segment(0.24, 0.52, 0.42, 0.7, 0.12), segment(0.42, 0.7, 0.76, 0.3, 0.12)),
    "view": union(minus(polygon([(0.14, 0.5), (0.32, 0.32), (0.68, 0.32), (0.86, 0.5), (0.68, 0.68), (0.32, 0.68)]),
                        circle(0.5, 0.5, 0.17)), circle(0.5, 0.5, 0.09)),
    "delete": union(segment(0.28, 0.28, 0.72, 0.72, 0.13), segment(0.72, 0.28, 0.28, 0.72, 0.13)),
    "find": union(ring(0.44, 0.42, 0.22, 0.08), segment(0.58, 0.58, 0.78, 0.78, 0.12)),
    "wizard": polygon([(0.5 + 0.34 * math.sin(a * math.pi / 5) * (1 if a % 2 == 0 else 0.45),
                        0.52 - 0.34 * math.cos(a * math.pi / 5) * (1 if a % 2 == 0 else 0.45)) for a in range(10)]),
    "info": union(circle(0.5, 0.27, 0.07), rect(0.43, 0.4, 0.57, 0.78)),
    "comment": union(rounded_rect(0.18, 0.22, 0.82, 0.64, 0.08), polygon([(0.3, 0.6), (0.46, 0.6), (0.28, 0.8)])),
    "sfx": union(minus(rounded_rect(0.2, 0.3, 0.8, 0.8, 0.05), rect(0.28, 0.42, 0.72, 0.72)),
                 polygon([(0.55, 0.12), (0.36, 0.5), (0.5, 0.5), (0.44, 0.76), (0.66, 0.38), (0.52, 0.38)])),
    "app": union(rounded_rect(0.16, 0.24, 0.84, 0.44, 0.04), rounded_rect(0.2, 0.5, 0.8, 0.82, 0.04)),
    # An archive file in Explorer: a page with a folded corner and a band of the app's box.
    "document": minus(union(polygon([(0.24, 0.14), (0.6, 0.14), (0.78, 0.32), (0.78, 0.86), (0.24, 0.86)])),
                      union(polygon([(0.6, 0.14), (0.6, 0.32), (0.78, 0.32)]), rect(0.32, 0.5, 0.7, 0.58))),
}

COLOURS = {
    "add": (46, 160, 90), "extract": (40, 110, 200), "test": (60, 170, 60), "view": (30, 150, 160),
    "delete": (210, 60, 60), "find": (230, 140, 30), "wizard": (130, 80, 190), "info": (50, 120, 210),
    "comment": (220, 170, 30), "sfx": (160, 100, 50), "app": (190, 110, 40),
    "document": (190, 110, 40),
}


def render(name, size):
    glyph = GLYPHS[name]
    bg = COLOURS[name]
    tile = rounded_rect(0.04, 0.04, 0.96, 0.96, 0.18)
    rows = []
    n = SS * SS
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SS):
                for sx in range(SS):
                    x = (px + (sx + 0.5) / SS) / size
                    y = (py + (sy + 0.5) / SS) / size
                    if not tile(x, y):
                        continue
                    c = WHITE if glyph(x, y) else bg
                    acc[0] += c[0]
                    acc[1] += c[1]
                    acc[2] += c[2]
                    acc[3] += 255
            a = acc[3] // n
            if a == 0:
                row += bytes(4)
            else:
                cover = acc[3] // 255
                row += bytes([acc[0] // cover, acc[1] // cover, acc[2] // cover, a])
        rows.append(bytes(row))
    return rows  # RGBA rows, top first


def png_bytes(rows, size):
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(kind, data):
        c = struct.pack(">I", len(data)) + kind + data
        return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp_icon_image(rows, size):
    # BITMAPINFOHEADER (double height), BGRA bottom-up, then an all-zero AND mask.
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(b for px in range(size) for b in (r[4 * px + 2], r[4 * px + 1], r[4 * px], r[4 * px + 3]))
                      for r in reversed(rows))
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def ico_bytes(name, sizes):
    images = [bmp_icon_image(render(name, s), s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    return out + b"".join(images)


def main():
    os.makedirs(OUT, exist_ok=True)
    for name in ["add", "extract", "test", "view", "delete", "find", "wizard", "info", "comment", "sfx"]:
        with open(os.path.join(OUT, "tb_%s.png" % name), "wb") as f:
            f.write(png_bytes(render(name, 48), 48))
    with open(os.path.join(OUT, "app_small.ico"), "wb") as f:
        f.write(ico_bytes("app", [16, 32]))
    with open(os.path.join(OUT, "app_large.ico"), "wb") as f:
        f.write(ico_bytes("app", [32, 48]))
    with open(os.path.join(OUT, "document.ico"), "wb") as f:
        f.write(ico_bytes("document", [16, 32, 48]))


if __name__ == "__main__":
    main()
