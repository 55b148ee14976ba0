#!/usr/bin/python3
"""Peer 2: the common matplotlib way to look at features: for each feature one figure with
the three orthogonal slices through it (imshow, grey) and a white Circle patch of radius
twice the scale on each, saved as PNG.

    peer_matplotlib.py IMAGE FEATURE_LIST OUTPUT_CODE
    peer_matplotlib.py COMMAND_FILE

Features are the lines that begin with four numbers (x, y, z, scale); a command file has
one tab-separated entry a line (image, x, y, z, scale, output code, "#" for comments), and
each image is loaded once for a run of consecutive entries that name it.
"""
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.patches import Circle  # noqa: E402
import nibabel  # noqa: E402
import numpy as np  # noqa: E402


def read_features(path):
    features = []
    with open(path) as lines:
        for line in lines:
            try:
                values = [float(p) for p in line.split()[:4]]
            except ValueError:
                continue
            if len(values) == 4:
                features.append(values)
    return features


def read_commands(path):
    """Runs of consecutive entries naming the same image: [(image, [(x, y, z, scale, code)])]."""
    runs = []
    with open(path) as lines:
        for line in lines:
            fields = line.rstrip("\n").split("\t")
            if line.startswith("#") or len(fields) < 6:
                continue
            entry = tuple(float(v) for v in fields[1:5]) + (fields[5],)
            if not runs or runs[-1][0] != fields[0]:
                runs.append((fields[0], []))
            runs[-1][1].append(entry)
    return runs


def render(image_path, entries):
    volume = np.asarray(nibabel.load(image_path).dataobj, dtype=np.float32)
    cols, rows, depth = volume.shape[:3]
    for x, y, z, scale, code in entries:
        xi, yi, zi = int(x), int(y), int(z)
        xc, yc, zc = (min(max(v, 0), n - 1) for v, n in ((xi, cols), (yi, rows), (zi, depth)))
        views = [
            (volume[xc, :, :].T, (yi, zi)),  # ZY: rows across, slices down
            (volume[:, :, zc].T, (xi, yi)),  # XY
            (volume[:, yc, :].T, (xi, zi)),  # ZX
        ]
        figure, axes = plt.subplots(1, 3, figsize=(12, 4))
        for axis, (pixels, centre) in zip(axes, views):
            axis.imshow(pixels, cmap="gray", origin="upper")
            axis.add_patch(Circle(centre, 2 * scale, fill=False, edgecolor="white"))
            axis.set_axis_off()
        prefix = "%s.%s" % (code, os.path.basename(image_path))
        figure.savefig("%s_x%3.3d_y%3.3d_z%3.3d.png" % (prefix, xi, yi, zi))
        plt.close(figure)


def main():
    if len(sys.argv) == 2:
        for image_path, entries in read_commands(sys.argv[1]):
            render(image_path, entries)
    elif len(sys.argv) == 4:
        image_path, list_path, code = sys.argv[1:]
        render(image_path, [tuple(f) + (code,) for f in read_features(list_path)])
    else:
        sys.exit("usage: peer_matplotlib.py IMAGE FEATURE_LIST OUTPUT_CODE | COMMAND_FILE")


if __name__ == "__main__":
    main()
