#!/usr/bin/python3
"""Peer 1: the pictures kelvora writes, rendered the way a researcher would with nibabel and
vectorised numpy, written as the same binary PGM files under the same names.

    peer_numpy.py IMAGE FEATURE_LIST OUTPUT_CODE
    peer_numpy.py COMMAND_FILE


Features are the lines that begin with four numbers (x, y, z, scale); a command file has
one tab-separated entry a line (image, x, y, z, scale, output code, "#" for comments), and
each image is loaded once for a run of consecutive entries that name it. The arithmetic
follows the tool's rounding points, so the files match kelvora's byte for byte: each slice
is stretched to 0..255 in single precision, (v - min) rounded to float and multiplied by
the float-rounded 255 / (max - min); the white circle is the midpoint circle with points
outside a slice moved onto its edge; the canvas is stretched to 8 bits in double
precision and truncated.
"""
import os
import sys

import nibabel
import numpy as np


def read_features(path):
    features = []
    with open(path) as lines:
        for line in lines:
            parts = line.split()
            try:
                features.append([np.float32(float(p)) for p in parts[:4]])
            except ValueError:
                continue
            if len(features[-1]) < 4:
                features.pop()
    return features


def truncate(value):
    return int(np.float64(value))  # toward zero, as C does


def stretch(pixels):
    low, high = pixels.min(), pixels.max()
    if low == high:
        return np.zeros_like(pixels)
    scale = np.float32(255.0 / (np.float64(high) - np.float64(low)))
    return (pixels - low) * scale  # both operations in float32


def circle_points(radius):
    """Offsets (row, column) of the midpoint circle, eight per step."""
    if radius < 0:
        return np.zeros((0, 2), dtype=np.int64)
    j, d, e, f, i = radius, 3 - 2 * radius, 10 - 4 * radius, 6, 0
    points = []
    while True:
        points += [(-j, -i), (-j, i), (-i, -j), (-i, j), (i, -j), (i, j), (j, -i), (j, i)]
        if d >= 0:
            d, e, j = d + e, e + 8, j - 1
        else:
            d, e = d + f, e + 4
        f, i = f + 4, i + 1
        if i > j:
            break
    return np.array(points, dtype=np.int64)


def draw_circle(pixels, row, col, offsets):
    rows = np.clip(row + offsets[:, 0], 0, pixels.shape[0] - 1)
    cols = np.clip(col + offsets[:, 1], 0, pixels.shape[1] - 1)
    pixels[rows, cols] = 255.0


def to_grey(canvas):
    low, high = np.float64(canvas.min()), np.float64(canvas.max())
    if low == high:
        return np.zeros(canvas.shape, dtype=np.uint8)
    q = ((canvas.astype(np.float64) - low) * 255.0) / (high - low)
    return (q.astype(np.int32) & 0xFF).astype(np.uint8)


def read_commands(path):
    """Runs of consecutive entries naming the same image: [(image, [(x, y, z, scale, code)])]."""
    runs = []
    with open(path) as lines:
        for line in lines:
            fields = line.rstrip("\n").split("\t")
            if line.startswith("#") or len(fields) < 6:
                continue
            entry = tuple(np.float32(float(v)) for v in fields[1:5]) + (fields[5],)
            if not runs or runs[-1][0] != fields[0]:
                runs.append((fields[0], []))
            runs[-1][1].append(entry)
    return runs


def render(image_path, entries):
    image = nibabel.load(image_path)
    # Stored values without the header's scaling, as floats; x fastest as in the file.
    volume = np.asarray(image.dataobj.get_unscaled(), dtype=np.float32)
    cols, rows, depth = volume.shape[:3]
    for x, y, z, scale, code in entries:
        xi, yi, zi = truncate(x), truncate(y), truncate(z)
        radius = truncate(np.float64(2.0) * np.float64(scale))
        offsets = circle_points(radius)
        xc, yc, zc = (min(max(v, 0), n - 1) for v, n in ((xi, cols), (yi, rows), (zi, depth)))
        zy = stretch(volume[xc, :, :].T.copy())  # depth x rows
        xy = stretch(volume[:, :, zc].T.copy())  # rows x cols
        zx = stretch(volume[:, yc, :].T.copy())  # depth x cols
        draw_circle(zy, zi, yi, offsets)
        draw_circle(xy, yi, xi, offsets)
        draw_circle(zx, zi, xi, offsets)
        canvas = np.zeros((depth + cols, rows + cols), dtype=np.float32)
        canvas[:depth, :rows] = zy
        canvas[:depth, rows:] = zx
        canvas[depth:, :rows] = np.rot90(xy)  # x runs upward
        prefix = "%s.%s" % (code, os.path.basename(image_path))
        name = "%s_x%3.3d_y%3.3d_z%3.3d.pgm" % (prefix, xi, yi, zi)
        with open(name, "wb") as picture:
            picture.write(b"P5\n%d %d\n255\n" % (canvas.shape[1], canvas.shape[0]))
            picture.write(to_grey(canvas).tobytes())


def main():
    if len(sys.argv) == 2:
        for image_path, entries in read_commands(sys.argv[1]):
            render(image_path, entries)
    elif len(sys.argv) == 4:
        image_path, list_path, code = sys.argv[1:]
        render(image_path, [tuple(f) + (code,) for f in read_features(list_path)])
    else:
        sys.exit("usage: peer_numpy.py IMAGE FEATURE_LIST OUTPUT_CODE | COMMAND_FILE")


if __name__ == "__main__":
    main()
