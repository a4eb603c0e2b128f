#!/usr/bin/env python3
"""Draws the program's toolbar and button images (simple flat shapes) as PNG files.

Run from the resources folder: python3 tools/make_icons.py. Only the standard library is
used, so the images can be redrawn on any machine; the PNGs are committed as they come out.
"""
import math
import struct
import zlib

SS = 4  # supersampling factor for smooth edges


def png(path, w, h, pixels):
    raw = b''.join(b'\0' + bytes(pixels[y * w * 4:(y + 1) * w * 4]) for y in range(h))

    def chunk(kind, data):
        c = kind + data
        return struct.pack('>I', len(data)) + c + struct.pack('>I', zlib.crc32(c) & 0xffffffff)

    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 6, 0, 0, 0)))
        f.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        f.write(chunk(b'IEND', b''))


def inside_poly(x, y, poly):
    n = len(poly)
    c = False
    for i in range(n):
        x1, y1 = poly[i]
        x2, y2 = poly[(i + 1) % n]
        if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
            c = not c
    return c


def render(w, h, shapes):
    """shapes: list of (test(x, y) -> bool, (r, g, b)) drawn in order; coordinates in pixels."""
    out = [0] * (w * h * 4)
    for py in range(h):
        for px in range(w):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x = px + (sx + 0.5) / SS
                    y = py + (sy + 0.5) / SS
                    col = None
                    for test, rgb in shapes:
                        if test(x, y):
                            col = rgb
                    if col:
                        acc[0] += col[0]
                        acc[1] += col[1]
                        acc[2] += col[2]
                        acc[3] += 1
            n = SS * SS
            if acc[3]:
                i = (py * w + px) * 4
                out[i:i + 4] = [round(acc[0] / acc[3]), round(acc[1] / acc[3]),
                                round(acc[2] / acc[3]), round(255 * acc[3] / n)]
    return out


def poly(points):
    return lambda x, y: inside_poly(x, y, points)


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


BLUE = (40, 96, 168)
GREEN = (34, 139, 60)
RED = (200, 40, 40)
WHITE = (255, 255, 255)
BROWN = (120, 80, 40)


def arrow(direction, colour):
    # A 24x24 arrow pointing left or right.
    pts = [(3, 12), (12, 4), (12, 9), (21, 9), (21, 15), (12, 15), (12, 20)]
    if direction == 'right':
        pts = [(24 - x, y) for x, y in pts]
    return [(poly(pts), colour)]


def main():
    icons = {
        'home.png': (24, 24, [(poly([(12, 3), (22, 12), (19, 12), (19, 21), (5, 21), (5, 12), (2, 12)]), BLUE),
                              (rect(10, 14, 14, 21), WHITE)]),
        'back.png': (24, 24, arrow('left', BLUE)),
        'forward.png': (24, 24, arrow('right', BLUE)),
        'go.png': (24, 24, [(circle(12, 12, 10), GREEN),
                            (poly([(7, 10), (12, 10), (12, 6), (18, 12), (12, 18), (12, 14), (7, 14)]), WHITE)]),
        'help.png': (24, 24, [(circle(12, 12, 10), BLUE),
                              (lambda x, y: 9 <= math.hypot(x - 12, y - 9) * 2 <= 14 and not (y > 9 and x < 12), WHITE),
                              (rect(11, 11, 13.5, 15), WHITE), (circle(12.2, 17.5, 1.5), WHITE)]),
        'about.png': (24, 24, [(circle(12, 12, 10), BLUE), (circle(12, 7, 1.7), WHITE),
                               (rect(10.5, 10, 13.5, 18), WHITE)]),
        'download.png': (24, 24, [(poly([(9, 2), (15, 2), (15, 10), (20, 10), (12, 18), (4, 10), (9, 10)]), GREEN),
                                  (rect(3, 19, 21, 22), GREEN)]),
        'stop.png': (24, 24, [(poly([(8, 2), (16, 2), (22, 8), (22, 16), (16, 22), (8, 22), (2, 16), (2, 8)]), RED),
                              (rect(7, 10.5, 17, 13.5), WHITE)]),
        # The program icon: an open book with a quill.
        'iconbmp.png': (49, 45, [(poly([(4, 12), (24, 16), (24, 40), (4, 36)]), BLUE),
                                 (poly([(45, 12), (25, 16), (25, 40), (45, 36)]), BLUE),
                                 (poly([(7, 15), (22, 18.5), (22, 36), (7, 33)]), WHITE),
                                 (poly([(42, 15), (27, 18.5), (27, 36), (42, 33)]), WHITE),
                                 (poly([(30, 30), (44, 3), (46, 5), (32, 31)]), BROWN)]),
    }
    for name, (w, h, shapes) in icons.items():
        png('images/' + name, w, h, render(w, h, shapes))


if __name__ == '__main__':
    main()
