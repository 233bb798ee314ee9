#!/usr/bin/env python3
"""Checks that a screenshot (8-bit RGB or RGBA PNG) is not blank: it must hold
many distinct colours, and the saturated red, green and blue that the colour
picture of the bundled example shows in its corners. With --space, checks a
screenshot of the picture of the map in the data's space instead: it must
show many pixels of the neurons' red, of the links' blue and of the samples'
grey; with --labelled-space, of the samples in their labels' colours."""
import struct
import sys
import zlib


def decode(path):
    data = open(path, 'rb').read()
    if data[:8] != b'\x89PNG\r\n\x1a\n':
        sys.exit(f'{path}: not a PNG')
    pos, idat, header = 8, b'', None
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            header = struct.unpack('>IIBB', body[:10])
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    width, height, depth, colour = header
    if depth != 8 or colour not in (2, 6):
        sys.exit(f'{path}: unexpected PNG format depth={depth} colour={colour}')
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    prev = bytearray(stride)
    rows = []
    for y in range(height):
        start = y * (stride + 1)
        kind = raw[start]
        line = bytearray(raw[start + 1:start + 1 + stride])
        if kind == 1:
            for i in range(bpp, stride):
                line[i] = (line[i] + line[i - bpp]) & 255
        elif kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, prev))
        elif kind == 3:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                line[i] = (line[i] + ((left + prev[i]) >> 1)) & 255
        elif kind == 4:
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, bpp, rows


def near(colour, target, tolerance=10):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, target))


def check_space(path):
    width, height, bpp, rows = decode(path)
    counts = {'neurons': 0, 'links': 0, 'samples': 0}
    targets = {'neurons': (0xc0, 0x39, 0x2b), 'links': (0x2f, 0x5f, 0x9e),
               'samples': (0x7a, 0x7a, 0x7a)}
    for row in rows:
        for i in range(0, len(row), bpp):
            pixel = row[i:i + 3]
            for name, target in targets.items():
                if near(pixel, target):
                    counts[name] += 1
    print(f'{width}x{height}, ' + ', '.join(f'{k}: {v} px' for k, v in counts.items()))
    least = {'neurons': 1000, 'links': 1000, 'samples': 100}
    if any(counts[k] < least[k] for k in counts):
        sys.exit('the picture in the data space lacks its neurons, links or samples')


def count_near(rows, bpp, targets):
    counts = {name: 0 for name in targets}
    for row in rows:
        for i in range(0, len(row), bpp):
            pixel = row[i:i + 3]
            for name, target in targets.items():
                if near(pixel, target, 6):
                    counts[name] += 1
    return counts


def check_labels(path):
    """The labels' map in its three strongest colours, and the profiles' lines."""
    width, height, bpp, rows = decode(path)
    counts = count_near(rows, bpp, {'label 1': (0x1f, 0x77, 0xb4), 'label 2': (0xff, 0x7f, 0x0e),
                                    'label 3': (0x2c, 0xa0, 0x2c),
                                    'profiles': (0x1f, 0x5f, 0xa8)})
    print(f'{width}x{height}, ' + ', '.join(f'{k}: {v} px' for k, v in counts.items()))
    # A profile is a line one pixel wide, partly blended where it is scaled.
    if any(v < (100 if k == 'profiles' else 300) for k, v in counts.items()):
        sys.exit('the labels or the profiles of the neurons do not show')


def check_images(path):
    """The neurons' weights as greys: many shades, from light to dark."""
    width, height, bpp, rows = decode(path)
    greys = set()
    for row in rows:
        for i in range(0, len(row), bpp):
            r, g, b = row[i:i + 3]
            if r == g == b:
                greys.add(r)
    print(f'{width}x{height}, {len(greys)} shades of grey')
    if len(greys) < 50 or min(greys) > 60 or max(greys) < 200:
        sys.exit('the neurons\' weights as images do not show')


def check_labelled_space(path):
    """The samples in the data space in the colours of their three labels."""
    width, height, bpp, rows = decode(path)
    counts = count_near(rows, bpp, {'label 1': (0x1f, 0x77, 0xb4), 'label 2': (0xff, 0x7f, 0x0e),
                                    'label 3': (0x2c, 0xa0, 0x2c)})
    print(f'{width}x{height}, ' + ', '.join(f'{k}: {v} px' for k, v in counts.items()))
    if any(v < 200 for v in counts.values()):
        sys.exit('the samples of the data space do not show in their labels\' colours')


def main():
    if sys.argv[1] in ('--space', '--labels', '--images', '--labelled-space'):
        {'--space': check_space, '--labels': check_labels, '--images': check_images,
         '--labelled-space': check_labelled_space}[sys.argv[1]](sys.argv[2])
        return
    width, height, bpp, rows = decode(sys.argv[1])
    colours = set()
    for row in rows:
        for i in range(0, len(row), bpp):
            colours.add(row[i:i + 3])
    def has(test):
        return any(test(*c) for c in colours)
    checks = {
        'red': has(lambda r, g, b: r > 230 and g < 30 and b < 30),
        'green': has(lambda r, g, b: g > 230 and r < 30 and b < 30),
        'blue': has(lambda r, g, b: b > 230 and r < 30 and g < 30),
    }
    print(f'{width}x{height}, {len(colours)} distinct colours, ' +
          ', '.join(f'{k}: {"yes" if v else "no"}' for k, v in checks.items()))
    if len(colours) < 200 or not all(checks.values()):
        sys.exit('the screenshot looks blank or lacks the colour picture')


main()
