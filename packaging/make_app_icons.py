#!/usr/bin/env python3
"""Draws the program's desktop icon (the open book with a quill of resources/images/iconbmp.png)
at the hicolor theme's sizes, and the same drawing as SVG.

Run from this folder: python3 make_app_icons.py. Uses the drawing code of
resources/tools/make_icons.py (standard library only); the files are committed as they come out.
"""
import importlib.util
import os

HERE = os.path.dirname(os.path.abspath(__file__))
APP_ID = 'com.brindlewick.QuillmoorDownloader'
SIZES = [16, 24, 32, 48, 64, 128, 256]

spec = importlib.util.spec_from_file_location('make_icons', os.path.join(HERE, '..', 'resources', 'tools', 'make_icons.py'))
tool = importlib.util.module_from_spec(spec)
spec.loader.exec_module(tool)

# The shapes of iconbmp.png on its 49 x 45 canvas, centred on a 49 x 49 square.
W, H = 49, 45
TOP = (49 - H) / 2
SHAPES = [
    ('poly', [(4, 12), (24, 16), (24, 40), (4, 36)], tool.BLUE),
    ('poly', [(45, 12), (25, 16), (25, 40), (45, 36)], tool.BLUE),
    ('poly', [(7, 15), (22, 18.5), (22, 36), (7, 33)], tool.WHITE),
    ('poly', [(42, 15), (27, 18.5), (27, 36), (42, 33)], tool.WHITE),
    ('poly', [(30, 30), (44, 3), (46, 5), (32, 31)], tool.BROWN),
]


def scaled(points, size):
    k = size / 49
    return [(x * k, (y + TOP) * k) for x, y in points]


def write_png(size):
    folder = os.path.join(HERE, 'icons', 'hicolor', f'{size}x{size}', 'apps')
    os.makedirs(folder, exist_ok=True)
    shapes = [(tool.poly(scaled(points, size)), colour) for _, points, colour in SHAPES]
    tool.png(os.path.join(folder, APP_ID + '.png'), size, size, tool.render(size, size, shapes))


def write_svg():
    folder = os.path.join(HERE, 'icons', 'hicolor', 'scalable', 'apps')
    os.makedirs(folder, exist_ok=True)
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 49 49">']
    for _, points, (r, g, b) in SHAPES:
        coords = ' '.join(f'{x:g},{y + TOP:g}' for x, y in points)
        lines.append(f'  <polygon points="{coords}" fill="#{r:02x}{g:02x}{b:02x}"/>')
    lines.append('</svg>')
    with open(os.path.join(folder, APP_ID + '.svg'), 'w') as f:
        f.write('\n'.join(lines) + '\n')


if __name__ == '__main__':
    for size in SIZES:
        write_png(size)
    write_svg()
