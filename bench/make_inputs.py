#!/usr/bin/python3
"""Writes the whole-run benchmark's inputs into DATA_DIR, next to the decompressed images:

  features1000.txt  1,000 features of ch2better.nii, one "x y z scale" line each
  features1.txt     its first feature alone (the run that measures process start and load)
  commands1000.txt  a command file of 1,000 entries over three images, in three runs of
                    consecutive entries (so each image is loaded once)
  commands3.txt     the first entry of each of those runs

The command files name the images relative to DATA_DIR and put their pictures in
DATA_DIR/out (output code "out/cmd"), so they are run from DATA_DIR.

    make_inputs.py DATA_DIR IMAGE1 IMAGE2 IMAGE3

Positions are uniform inside each image and scales between 0.5 and 8, drawn from a fixed
seed, so every run and every machine gets the same inputs. Coordinates have three
decimals.
"""
import os
import random
import sys

import nibabel

SEED = 20240611


def extents(path):
    shape = nibabel.load(path).shape
    return shape[0], shape[1], shape[2]  # x (columns), y (rows), z (slices)


def draw(rng, shape):
    cols, rows, depth = shape
    return (rng.uniform(0, cols), rng.uniform(0, rows), rng.uniform(0, depth),
            rng.uniform(0.5, 8.0))


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: make_inputs.py DATA_DIR IMAGE1 IMAGE2 IMAGE3")
    data = sys.argv[1]
    images = sys.argv[2:]
    rng = random.Random(SEED)

    first = extents(os.path.join(data, images[0]))
    lines = ["%.3f %.3f %.3f %.3f\n" % draw(rng, first) for _ in range(1000)]
    with open(os.path.join(data, "features1000.txt"), "w") as out:
        out.writelines(lines)
    with open(os.path.join(data, "features1.txt"), "w") as out:
        out.write(lines[0])

    runs = [334, 333, 333]
    entries, firsts = [], []
    for image, count in zip(images, runs):
        shape = extents(os.path.join(data, image))
        for k in range(count):
            entry = "%s\t%.3f\t%.3f\t%.3f\t%.3f\tout/cmd\n" % ((image,) + draw(rng, shape))
            entries.append(entry)
            if k == 0:
                firsts.append(entry)
    with open(os.path.join(data, "commands1000.txt"), "w") as out:
        out.writelines(entries)
    with open(os.path.join(data, "commands3.txt"), "w") as out:
        out.writelines(firsts)


if __name__ == "__main__":
    main()
