#!/usr/bin/python3
"""Pictra against Pillow: the time to load every picture of the corpus icons
to RGBA, on the same files in one run, per kind of file.

Pictra's side runs in-process in pictra_bench (BM_IcoCorpusToRgba,
BM_IcnsCorpusToRgba: load, every picture to 0xAARRGGBB words, release),
which is handed the file list through PICTRA_COMPARE_LIST; Pillow's side runs in-process here (open, then
every entry loaded and made RGBA). Each side reports its best of several
rounds, in processor time (what the work costs, steady on a busy machine)
and in wall time.

  /usr/bin/python3 bench/compare.py [--bench build/bin/pictra_bench]
                                    [--corpus ../shared/corpus] [--rounds 7]

New formats join by adding a row to FORMATS: a corpus folder, a function
that sorts a file into a kind, the benchmark that times Pictra, and a
function that loads every picture of a file with Pillow.
"""
import argparse
import json
import os
import struct
import subprocess
import sys
import tempfile
import time
import warnings

from PIL import Image

# Pillow warns about entries whose data disagree with the directory.
warnings.simplefilter("ignore")


def ico_kind(path):
    """0 for a bitmap-only icon, 1 for one with PNG entries."""
    data = open(path, "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    for i in range(count):
        offset = struct.unpack_from("<I", data, 6 + 16 * i + 12)[0]
        if data[offset:offset + 4] == b"\x89PNG":
            return 1
    return 0


def ico_pillow_load(path):
    icon = Image.open(path)
    for index in range(len(icon.ico.entry)):
        picture = icon.ico.frame(index)
        if picture.mode != "RGBA":
            picture = picture.convert("RGBA")


def icns_kind(path):
    """0 for packed pictures only, 1 with PNG elements, 2 with JPEG 2000
    elements (whatever else the file holds)."""
    data = open(path, "rb").read()
    kind, at = 0, 8
    while at + 8 <= len(data):
        length = struct.unpack_from(">I", data, at + 4)[0]
        if length < 8 or length > len(data) - at:
            break
        head = data[at + 8:at + 20]
        if head[:4] == b"\xff\x4f\xff\x51" or head[4:6] == b"jP":
            kind = 2
        elif head[:4] == b"\x89PNG" and kind == 0:
            kind = 1
        at += length
    return kind


def icns_pillow_load(path):
    # One opening per size: a reused image skips a size whose pixels have
    # the dimensions of the one loaded before (ic14 after ic09) and hands
    # out that one again.
    for size in Image.open(path).info["sizes"]:
        icon = Image.open(path)
        icon.size = size
        icon.load()
        if icon.mode != "RGBA":
            icon.convert("RGBA")


FORMATS = [
    # name, corpus folder, kind names, kind of a file, Pictra benchmark, Pillow load
    ("ico", "ico", ["bitmap-only", "with PNG entries"], ico_kind, "BM_IcoCorpusToRgba", ico_pillow_load),
    ("icns", "icns", ["packed only", "PNG elements", "JPEG 2000"], icns_kind, "BM_IcnsCorpusToRgba",
     icns_pillow_load),
]


def pillow_seconds(files, load, rounds):
    """Best (processor, wall) seconds of a pass over the files."""
    best = None
    for _ in range(rounds):
        cpu, wall = time.process_time(), time.perf_counter()
        for path in files:
            load(path)
        spent = (time.process_time() - cpu, time.perf_counter() - wall)
        best = spent if best is None else (min(best[0], spent[0]), min(best[1], spent[1]))
    return best


def pictra_seconds(bench, benchmark, listing, rounds):
    """Best (processor, wall) seconds per pass over the listed files, per kind."""
    environment = dict(os.environ, PICTRA_COMPARE_LIST=listing)
    done = subprocess.run(
        [bench, "--benchmark_filter=^%s/" % benchmark, "--benchmark_format=json",
         "--benchmark_repetitions=%d" % rounds, "--benchmark_report_aggregates_only=false"],
        env=environment, capture_output=True, text=True, check=True)
    best = {}
    for run in json.loads(done.stdout)["benchmarks"]:
        if run.get("run_type") != "iteration" or run.get("error_occurred"):
            continue
        kind = int(run["name"].split("/")[1])
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
        spent = (run["cpu_time"] * scale, run["real_time"] * scale)
        old = best.get(kind, spent)
        best[kind] = (min(old[0], spent[0]), min(old[1], spent[1]))
    return best


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bench", default=os.path.join(root, "build", "bin", "pictra_bench"))
    parser.add_argument("--corpus", default=os.path.join(root, "..", "shared", "corpus"))
    parser.add_argument("--rounds", type=int, default=7)
    options = parser.parse_args()

    print("%-6s %-17s %5s | %9s %9s %7s | %9s %9s %7s" % (
        "format", "kind", "files", "Pictra", "Pillow", "ratio", "Pictra", "Pillow", "ratio"))
    print("%-30s | %-27s | %-27s" % ("", "processor time, ms", "wall time, ms"))
    for name, folder, kinds, kind_of, benchmark, pillow_load in FORMATS:
        directory = os.path.join(options.corpus, folder)
        files = sorted(os.path.join(directory, f) for f in os.listdir(directory)
                       if os.path.isfile(os.path.join(directory, f)))
        by_kind = {}
        for path in files:
            by_kind.setdefault(kind_of(path), []).append(path)
        with tempfile.NamedTemporaryFile("w", suffix=".list", delete=False) as listing:
            for kind, paths in by_kind.items():
                for path in paths:
                    listing.write("%d %s\n" % (kind, path))
        try:
            ours = pictra_seconds(options.bench, benchmark, listing.name, options.rounds)
        finally:
            os.unlink(listing.name)
        for kind in sorted(by_kind):
            theirs = pillow_seconds(by_kind[kind], pillow_load, options.rounds)
            mine = ours.get(kind)
            if mine is None:
                sys.exit("%s: pictra_bench gave no time for %s" % (name, kinds[kind]))
            print("%-6s %-17s %5d | %9.2f %9.2f %6.1fx | %9.2f %9.2f %6.1fx" % (
                name, kinds[kind], len(by_kind[kind]), mine[0] * 1e3, theirs[0] * 1e3, theirs[0] / mine[0],
                mine[1] * 1e3, theirs[1] * 1e3, theirs[1] / mine[1]))


if __name__ == "__main__":
    main()
