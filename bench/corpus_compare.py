#!/usr/bin/env python3
"""corpus_compare.py BIN_DIR WORK_DIR FILE...

Each image file as a page: whether the check before storing takes it (pagecheck_bench), the
one-page PDF pdfbuild makes of it, drawn by poppler (pdftocairo), MuPDF (mutool draw) and pdf.js
(node with bench/pdfjs_render.mjs; npm's pdfjs-dist@4 and @napi-rs/canvas@0.1.65 installed in
the folder PDFJS_DIR names), each compared with a reference decoding of the file as a browser shows it:
Pillow's, turned by its EXIF orientation, its ICC profile or PNG gamma applied for sRGB, on
white. Prints a line a file (mean absolute difference in levels of 255, over all samples) and a
summary. Needs Debian's python3-pil, python3-numpy, poppler-utils and mupdf-tools.
"""
import io
import os
import shutil
import subprocess
import sys

import numpy
from PIL import Image, ImageCms, ImageOps

HERE = os.path.dirname(os.path.abspath(__file__))
SRGB = ImageCms.createProfile('sRGB')


def srgb_encoded(linear):
    return numpy.where(linear <= 0.0031308, 12.92 * linear, 1.055 * numpy.power(linear, 1 / 2.4) - 0.055)


def reference(path):
    """The picture as a browser shows it, RGB on white."""
    image = Image.open(path)
    image.load()
    info = dict(image.info)
    if image.format == 'JPEG':
        image = ImageOps.exif_transpose(image)
    alpha = None
    if image.mode in ('I;16', 'I'):
        # 16-bit gray: its transparent value (tRNS) compared before the samples become 8 bits.
        samples = numpy.asarray(image).astype(numpy.float64)
        if 'transparency' in info:
            alpha = (samples != info['transparency']).astype(numpy.float64)[:, :, None]
        image = Image.fromarray((samples / 257).round().astype(numpy.uint8), 'L')
    elif image.mode == 'P' and max(image.getdata()) >= len(image.getpalette()) // 3:
        # Indices past the palette's end are black, as libpng (and with it browsers) shows them.
        entries = numpy.zeros((256, 3), numpy.uint8)
        palette = numpy.array(image.getpalette(), numpy.uint8).reshape(-1, 3)
        entries[:len(palette)] = palette
        image = Image.fromarray(entries[numpy.asarray(image)], 'RGB')
    elif image.mode in ('RGBA', 'LA', 'PA') or 'transparency' in info:
        rgba = image.convert('RGBA')
        alpha = numpy.asarray(rgba)[:, :, 3:4].astype(numpy.float64) / 255
        image = rgba.convert('RGB')
    profile = info.get('icc_profile')
    if profile:
        try:
            image = ImageCms.profileToProfile(image, ImageCms.ImageCmsProfile(io.BytesIO(profile)), SRGB, outputMode='RGB')
        except Exception:  # a profile the browser leaves out too
            image = image.convert('RGB')
    else:
        image = image.convert('RGB')
    pixels = numpy.asarray(image).astype(numpy.float64)
    gamma = info.get('gamma')
    if gamma and not profile and 'srgb' not in info:
        pixels = 255 * srgb_encoded(numpy.power(pixels / 255, 1 / gamma))
    if alpha is not None:
        pixels = pixels * alpha + 255 * (1 - alpha)
    return pixels


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, timeout=120, **kwargs)


def drawn(reader, pdf, width, height, out):
    if reader == 'poppler':
        run(['pdftocairo', '-png', '-singlefile', '-scale-to-x', str(width), '-scale-to-y', str(height), pdf, out[:-4]])
    elif reader == 'mupdf':
        run(['mutool', 'draw', '-q', '-w', str(width), '-o', out, pdf, '1'])
    else:
        run(['node', os.path.join(HERE, 'pdfjs_render.mjs'), pdf, out, str(width), str(height)])
    if not os.path.exists(out):
        return None
    image = Image.open(out).convert('RGB')
    if image.size != (width, height):
        image = image.resize((width, height), Image.BILINEAR)
    return numpy.asarray(image).astype(numpy.float64)


def main():
    if len(sys.argv) < 4:
        print(__doc__)
        return 2
    bin_dir, work = sys.argv[1], sys.argv[2]
    readers = ['poppler', 'mupdf', 'pdfjs']
    refused, within, over, failed = [], 0, [], []
    environment = dict(os.environ, HOME=os.path.join(work, 'home'), QT_QPA_PLATFORM='offscreen')
    for number, path in enumerate(sys.argv[3:], 1):
        name = os.path.basename(path)
        folder = os.path.join(work, '%04d' % number)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        shutil.copy(path, os.path.join(folder, '0001.jpg'))
        check = run([os.path.join(bin_dir, 'pagecheck_bench'), '--runs', '1', path], env=environment).stdout
        if 'refused:' in check:
            reason = check.split('refused: ', 1)[1].split(';')[0]
            refused.append((name, reason))
            print('%-44s refused: %s' % (name, reason))
            continue
        pdf = os.path.join(folder, 'page.pdf')
        build = run([os.path.join(bin_dir, 'pdfbuild'), folder, '1', pdf], env=environment)
        if build.returncode != 0:
            failed.append((name, build.stderr.strip()))
            print('%-44s NOT BUILT: %s' % (name, build.stderr.strip()))
            continue
        try:
            expected = reference(path)
        except Exception as error:
            print('%-44s no reference decoding: %s' % (name, error))
            continue
        height, width = expected.shape[:2]
        differences = []
        for reader in readers:
            got = drawn(reader, pdf, width, height, os.path.join(folder, reader + '.png'))
            differences.append(None if got is None else float(numpy.abs(got - expected).mean()))
        worst = max(d for d in differences if d is not None) if any(d is not None for d in differences) else None
        text = '  '.join('%s %s' % (r, '-' if d is None else '%5.1f' % d) for r, d in zip(readers, differences))
        if worst is not None and worst <= 5:
            within += 1
        else:
            over.append((name, text))
        print('%-44s %s' % (name, text))
    print('corpus_compare: files=%d refused=%d not_built=%d within5=%d over5=%d'
          % (len(sys.argv) - 3, len(refused), len(failed), within, len(over)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
