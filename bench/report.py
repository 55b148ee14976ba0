#!/usr/bin/python3
"""Prints the whole-run benchmark's table from the results bench/run.sh leaves behind.

    report.py RESULTS_DIR DATA_DIR

RESULTS_DIR holds hyperfine's JSON exports (or NAME.time files, one wall time in seconds
a line) and NAME.rss files (one maximum resident set size in KiB a line, per run).
Per-feature time is (median T(1,000) - median T(first entries)) / the difference in
entries; load time is the median T(first entries) less that many features. The
targets are checked on the feature-list run, the one the issue names.
"""
import glob
import json
import os
import statistics
import sys

import nibabel

MIB = 1024.0 * 1024.0


def load_times(results):
    """Wall times in seconds of every run, by command name."""
    times = {}
    for path in glob.glob(os.path.join(results, "*.json")):
        with open(path) as export:
            for entry in json.load(export)["results"]:
                times[entry["command"]] = entry["times"]
    for path in glob.glob(os.path.join(results, "*.time")):
        name = os.path.basename(path)[: -len(".time")]
        with open(path) as lines:
            times.setdefault(name, [float(line) for line in lines if line.strip()])
    return times


def peak_rss(results, name):
    """Median over the runs of the maximum resident set size, in bytes."""
    try:
        with open(os.path.join(results, name + ".rss")) as lines:
            values = [int(line) for line in lines if line.strip().isdigit()]
    except OSError:
        return None
    return statistics.median(values) * 1024.0 if values else None


def per_feature(times, many, few, entries_many, entries_few):
    """(per-feature s, load s, per-feature s from the fastest runs) or None."""
    if many not in times or few not in times:
        return None
    t_many, t_few = statistics.median(times[many]), statistics.median(times[few])
    step = (t_many - t_few) / (entries_many - entries_few)
    fastest = (min(times[many]) - min(times[few])) / (entries_many - entries_few)
    return step, (t_few - entries_few * step) / entries_few, fastest


def table(title, rows, times, results, entries_many, entries_few):
    print(title)
    print("  %-22s %12s %12s %12s %11s %8s" %
          ("program", "per feature", "(fastest)", "load/image", "peak RSS", "x ours"))
    measured = {}
    for label, many, few in rows:
        figures = per_feature(times, many, few, entries_many, entries_few)
        if figures is None:
            print("  %-22s %12s" % (label, "not run"))
            continue
        measured[label] = figures
        rss = peak_rss(results, many)
        ours = measured.get("kelvora")
        ratio = figures[0] / ours[0] if ours else float("nan")
        print("  %-22s %9.3f ms %9.3f ms %9.1f ms %7.1f MiB %8.2f" %
              (label, figures[0] * 1e3, figures[2] * 1e3, figures[1] * 1e3,
               (rss or 0) / MIB, ratio))
    print()
    return measured


def main():
    results, data = sys.argv[1], sys.argv[2]
    times = load_times(results)
    runs = max((len(v) for v in times.values()), default=0)

    image = nibabel.load(os.path.join(data, "ch2better.nii"))
    cols, rows, depth = image.shape[:3]
    nvox = cols * rows * depth
    stored = nvox * image.get_data_dtype().itemsize
    canvas = (depth + cols) * (rows + cols) * 4

    with open(os.path.join(results, "bytes.txt")) as note:
        print(note.read().strip())
    print()
    list_rows = [
        ("kelvora", "ours-1000", "ours-1"),
        ("floor", "floor-1000", "floor-1"),
        ("peer 1 (numpy)", "peer1-1000", "peer1-1"),
        ("peer 2 (matplotlib)", "peer2-1000", "peer2-1"),
    ]
    listed = table("Feature list: 1,000 features of ch2better.nii (%dx%dx%d UINT8), "
                   "median of up to %d runs" % (cols, rows, depth, runs),
                   list_rows, times, results, 1000, 1)
    command_rows = [(label, "cmd-" + many, "cmd-" + few.replace("-1", "-3"))
                    for label, many, few in list_rows]
    table("Command file: 1,000 entries over ch2better.nii (UINT8), inia19-t1-brain.nii "
          "(FLOAT32), inia19-NeuroMaps.nii (INT16), in 3 runs",
          command_rows, times, results, 1000, 3)

    checks = []
    ours = listed.get("kelvora")
    if ours:
        for label, bound, kind in (("floor", 2.0, "at most"), ("peer 1 (numpy)", 2.5, "at least"),
                                   ("peer 2 (matplotlib)", 50.0, "at least")):
            if label not in listed:
                continue
            if kind == "at most":
                ratio = ours[0] / listed[label][0]
                checks.append(("kelvora / %s per feature" % label, ratio, "<= %.1f" % bound,
                               ratio <= bound))
            else:
                ratio = listed[label][0] / ours[0]
                checks.append(("%s / kelvora per feature" % label, ratio, ">= %.1f" % bound,
                               ratio >= bound))
    if "read-kelvora" in times and "read-library" in times:
        mine = statistics.median(times["read-kelvora"])
        library = statistics.median(times["read-library"])
        print("Load of ch2better.nii as a whole process: load_volume %.1f ms, the library's "
              "nifti_image_read %.1f ms (medians)" % (mine * 1e3, library * 1e3))
        checks.append(("load_volume / nifti_image_read", mine / library, "<= 1.3",
                       mine / library <= 1.3))
    rss = peak_rss(results, "ours-1000")
    limit = (stored + 4 * nvox + canvas) * 1.1
    if rss is not None:
        print("Peak memory limit: stored %.1f MiB + 4 x nvox %.1f MiB + canvas %.1f MiB, + 10%% "
              "= %.1f MiB" % (stored / MIB, 4 * nvox / MIB, canvas / MIB, limit / MIB))
        checks.append(("kelvora peak RSS (MiB)", rss / MIB, "<= %.1f" % (limit / MIB),
                       rss <= limit))
    print()
    print("Targets (feature-list run):")
    for name, value, bound, met in checks:
        print("  %-40s %9.2f  %-9s %s" % (name, value, bound, "met" if met else "NOT MET"))


if __name__ == "__main__":
    main()
