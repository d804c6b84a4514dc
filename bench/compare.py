#!/usr/bin/python3
"""Pictra against Pillow on the shared corpus, and the tool in batch against
a shell loop.

  /usr/bin/python3 bench/compare.py [--quick] [--sections load,png,batch]
        [--bench build/bin/pictra_bench] [--pictra build/bin/pictra]
        [--corpus ../shared/corpus] [--rounds 7] [--batch-rounds 3]
        [--scratch DIR]

load: the time to load every picture of the corpus icons to RGBA, per kind
  of file, in milliseconds per file and as Pillow's time over Pictra's.
  Pictra's side runs in-process in pictra_bench (BM_IcoCorpusToRgba,
  BM_IcnsCorpusToRgba, BM_AmigaCorpusToRgba: load, every picture to
  0xAARRGGBB words, release), handed the very files Pillow is timed on
  through PICTRA_COMPARE_LIST, with the tool's memory settings; Pillow's side
  runs in-process here (open, every picture loaded and made RGBA). Both
  decode every picture of a file once: Pillow's .ico side loads each entry
  (a PNG entry already in RGBA is decoded only when loaded), and its .icns
  side opens the file once per size, because a reused image skips a size
  whose pixels have the dimensions of the one loaded before (ic14 after
  ic09) and hands out that one again. The "pictures" columns count what each
  side decoded in one pass: Pictra's lack the 24-bit .ico bitmaps it decodes
  and then drops for a deeper picture of their size, and hold the 1-, 4- and
  8-bit, ic04 and ic05 .icns elements Pillow does not read (small, extra
  work on Pictra's side); Pillow's count every .icns element it decodes,
  masks aside. Pillow reads no Amiga icons: those rows give Pictra alone.
png: one 1024 x 1024 RGBA PNG (the largest corpus icon's ic10 element)
  decoded on both sides (BM_DecodeImage, handed it through
  PICTRA_COMPARE_IMAGE).
batch: files per second of `pictra info` and `pictra convert -f WINDOWS -o
  DIR` over every icon of the corpus (what `pictra info -r CORPUS` reads),
  as one process with -j 1 and with -j all cores, and as a shell loop that
  starts one process per file; then how much of a -j 1 convert is spent in
  fsync (strace, when installed, on one more run).

Each figure is the best of several rounds, in processor time of the whole
process (what the work costs on all cores, steadier on a busy machine) and
in wall time. The load average seen before each section is printed with it.
New formats join the load section by adding a row to FORMATS: the files of
each kind, their kind names, the benchmark that times Pictra, and a function
that loads every picture of a file with Pillow (or None).
"""
import argparse
import io
import json
import os
import resource
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import warnings

try:
    from PIL import Image
except ImportError:
    Image = None

# Pillow warns about entries whose data disagree with the directory.
warnings.simplefilter("ignore")


def folder_files(directory):
    return sorted(os.path.join(directory, f) for f in os.listdir(directory)
                  if os.path.isfile(os.path.join(directory, f)))


def ico_kind(path):
    """0 for a bitmap-only icon, 1 for one with PNG entries."""
    data = open(path, "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    for i in range(count):
        offset = struct.unpack_from("<I", data, 6 + 16 * i + 12)[0]
        if data[offset:offset + 4] == b"\x89PNG":
            return 1
    return 0


def ico_files(corpus):
    by_kind = {}
    for path in folder_files(os.path.join(corpus, "ico")):
        by_kind.setdefault(ico_kind(path), []).append(path)
    return by_kind


def ico_pillow_load(path):
    icon = Image.open(path)
    for index in range(len(icon.ico.entry)):
        picture = icon.ico.frame(index)
        picture.load()
        if picture.mode != "RGBA":
            picture.convert("RGBA")
    return len(icon.ico.entry)


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


def icns_files(corpus):
    by_kind = {}
    for path in folder_files(os.path.join(corpus, "icns")):
        by_kind.setdefault(icns_kind(path), []).append(path)
    return by_kind


def icns_pillow_load(path):
    decoded = 0
    for size in Image.open(path).info["sizes"]:
        icon = Image.open(path)
        icon.size = size
        icon.load()
        if icon.mode != "RGBA":
            icon.convert("RGBA")
        # Every element of the size is read; the masks go into the others.
        decoded += sum(1 for code, _ in icon.icns.SIZES[size]
                       if code in icon.icns.dct and not code.endswith(b"8mk"))
    return decoded


AMIGA_FOLDERS = ["classic", "newicons", "os35", "os4", "png"]


def amiga_files(corpus):
    return {kind: folder_files(os.path.join(corpus, "amiga", folder)) for kind, folder in enumerate(AMIGA_FOLDERS)}


FORMATS = [
    # name, files by kind, kind names, Pictra benchmark, Pillow load
    ("ico", ico_files, ["bitmap-only", "with PNG entries"], "BM_IcoCorpusToRgba", ico_pillow_load),
    ("icns", icns_files, ["packed only", "PNG elements", "JPEG 2000"], "BM_IcnsCorpusToRgba", icns_pillow_load),
    ("amiga", amiga_files, ["classic", "NewIcons", "OS 3.5", "OS 4", "PNG icons"], "BM_AmigaCorpusToRgba", None),
]


def load_average():
    return "load average %.2f %.2f %.2f" % os.getloadavg()


def pillow_seconds(files, load, rounds):
    """Best (processor, wall) seconds of a pass over the files, and the
    pictures a pass decodes."""
    best, pictures = None, 0
    for _ in range(rounds):
        cpu, wall = time.process_time(), time.perf_counter()
        pictures = sum(load(path) for path in files)
        spent = (time.process_time() - cpu, time.perf_counter() - wall)
        best = spent if best is None else (min(best[0], spent[0]), min(best[1], spent[1]))
    return best, pictures


def pictra_seconds(bench, benchmark, listing, rounds, variable="PICTRA_COMPARE_LIST"):
    """Best (processor, wall) seconds per pass over the listed files, and
    the pictures of a pass, per kind."""
    environment = dict(os.environ, **{variable: listing})
    done = subprocess.run(
        [bench, "--benchmark_filter=^%s/" % benchmark, "--benchmark_format=json",
         "--benchmark_repetitions=%d" % rounds, "--benchmark_report_aggregates_only=false"],
        env=environment, capture_output=True, text=True, check=True)
    best = {}
    for run in json.loads(done.stdout)["benchmarks"]:
        if run.get("run_type") != "iteration":
            continue
        if run.get("error_occurred"):
            sys.exit("%s: %s" % (run["name"], run.get("error_message", "failed")))
        name = run["name"].split("/")
        kind = int(name[1]) if len(name) > 1 and name[1].isdigit() else 0
        scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
        spent = (run["cpu_time"] * scale, run["real_time"] * scale)
        old = best.get(kind, spent + (0,))
        best[kind] = (min(old[0], spent[0]), min(old[1], spent[1]), round(run.get("pictures", 0)))
    return best


def ratio(theirs, mine):
    return "%6.1fx" % (theirs / mine) if theirs is not None and mine > 0 else "%7s" % "-"


def ms(seconds, count=1):
    return "%9.3f" % (seconds * 1e3 / count) if seconds is not None else "%9s" % "-"


def print_row(name, kind, count, mine, theirs, pictures):
    """One row: Pictra's and Pillow's (processor, wall) seconds per pass."""
    their_cpu, their_wall = theirs if theirs else (None, None)
    print("%-6s %-17s %5d | %6s %6s | %s %s %s | %s %s %s" % (
        name, kind, count, pictures[0], pictures[1] if pictures[1] is not None else "-",
        ms(mine[0], count), ms(their_cpu, count), ratio(their_cpu, mine[0]),
        ms(mine[1], count), ms(their_wall, count), ratio(their_wall, mine[1])))


def print_load_header():
    print("%-6s %-17s %5s | %-13s | %-27s | %-27s" % (
        "", "", "", "pictures", "processor time, ms/file", "wall time, ms/file"))
    print("%-6s %-17s %5s | %6s %6s | %9s %9s %7s | %9s %9s %7s" % (
        "format", "kind", "files", "Pictra", "Pillow", "Pictra", "Pillow", "ratio", "Pictra", "Pillow", "ratio"))


def load_section(options):
    print_load_header()
    for name, files_of, kinds, benchmark, pillow_load in FORMATS:
        by_kind = files_of(options.corpus)
        with tempfile.NamedTemporaryFile("w", suffix=".list", delete=False) as listing:
            for kind, paths in by_kind.items():
                for path in paths:
                    listing.write("%d %s\n" % (kind, path))
        try:
            ours = pictra_seconds(options.bench, benchmark, listing.name, options.rounds)
        finally:
            os.unlink(listing.name)
        for kind in sorted(by_kind):
            mine = ours.get(kind)
            if mine is None:
                sys.exit("%s: pictra_bench gave no time for %s" % (name, kinds[kind]))
            theirs, decoded = None, None
            if pillow_load:
                theirs, decoded = pillow_seconds(by_kind[kind], pillow_load, options.rounds)
            print_row(name, kinds[kind], len(by_kind[kind]), mine, theirs, (mine[2], decoded))


def largest_png(corpus):
    """The ic10 element of the largest corpus icon: a 1024 x 1024 RGBA PNG."""
    data = open(os.path.join(corpus, "icns", "amiberry__data_icon.icns"), "rb").read()
    at = 8
    while at + 8 <= len(data):
        length = struct.unpack_from(">I", data, at + 4)[0]
        if length < 8:
            break
        if data[at:at + 4] == b"ic10":
            return data[at + 8:at + length]
        at += length
    sys.exit("no ic10 element in the largest corpus icon")


def png_section(options):
    print_load_header()
    png = largest_png(options.corpus)
    with tempfile.NamedTemporaryFile("wb", suffix=".png", delete=False) as image:
        image.write(png)
    try:
        mine = pictra_seconds(options.bench, "BM_DecodeImage", image.name, options.rounds,
                              "PICTRA_COMPARE_IMAGE")[0]
    finally:
        os.unlink(image.name)

    def pillow_png(_):
        picture = Image.open(io.BytesIO(png))
        picture.load()
        if picture.mode != "RGBA":
            picture.convert("RGBA")
        return 1
    theirs = pillow_seconds([None], pillow_png, options.rounds)[0]
    print_row("png", "1024 x 1024 RGBA", 1, mine, theirs, (1, 1))


def timed(command, rounds, cwd=None, before=None):
    """Best (processor, wall) seconds of the command and its children."""
    best = None
    for _ in range(rounds):
        if before:
            before()
        used = resource.getrusage(resource.RUSAGE_CHILDREN)
        wall = time.perf_counter()
        subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - wall
        now = resource.getrusage(resource.RUSAGE_CHILDREN)
        spent = (now.ru_utime + now.ru_stime - used.ru_utime - used.ru_stime, wall)
        best = spent if best is None else (min(best[0], spent[0]), min(best[1], spent[1]))
    return best


def fsync_share(command, cwd, before):
    """(fsync calls, seconds inside fsync, wall seconds) of one run under
    strace, or None without strace."""
    if not shutil.which("strace"):
        return None
    before()
    with tempfile.NamedTemporaryFile("r", suffix=".strace") as summary:
        wall = time.perf_counter()
        subprocess.run(["strace", "-f", "--seccomp-bpf", "-c", "-w", "-e", "trace=fsync,fdatasync",
                        "-o", summary.name] + command,
                       cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - wall
        calls, seconds = 0, 0.0
        for line in summary.read().splitlines():
            fields = line.split()
            if len(fields) >= 5 and fields[-1] in ("fsync", "fdatasync"):
                seconds += float(fields[1])
                calls += int(fields[3])
    return calls, seconds, wall


def batch_section(options):
    cores = os.cpu_count() or 1
    corpus = os.path.abspath(options.corpus)
    listed = subprocess.run([options.pictra, "info", "-q", "-r", corpus], capture_output=True, text=True)
    files = [os.path.relpath(line[len("file: "):], corpus)
             for line in listed.stdout.splitlines() if line.startswith("file: ")]
    if not files:
        sys.exit("pictra info -r %s listed no file" % corpus)
    scratch = tempfile.mkdtemp(prefix="pictra-compare-", dir=options.scratch)
    out = os.path.join(scratch, "out")
    fs_type = subprocess.run(["stat", "-f", "-c", "%T", scratch], capture_output=True, text=True).stdout.strip()

    def fresh():
        shutil.rmtree(out, ignore_errors=True)

    # One process per file, as a shell loop runs the tool; convert's outputs
    # mirror the corpus folders as -r does.
    info_loop = ["bash", "-c", 'for f; do "$0" info "$f"; done', options.pictra] + files
    convert_loop = ["bash", "-c", 'p=$0 out=$1; shift; for f; do "$p" convert -q -o "$out/${f%/*}" -f WINDOWS "$f"; '
                    'done', options.pictra, out] + files
    print("%-8s %-11s %5s | %9s %9s %9s" % ("command", "mode", "files", "files/s", "wall s", "cpu s"))
    runs = []
    for verb, loop in (("info", info_loop), ("convert", convert_loop)):
        extra = ["-o", out, "-f", "WINDOWS"] if verb == "convert" else []
        before = fresh if verb == "convert" else None
        for mode, command in (("-j 1", [options.pictra, verb, "-q", "-r", "-j", "1"] + extra + [corpus]),
                              ("-j %d" % cores, [options.pictra, verb, "-q", "-r", "-j", str(cores)] + extra + [corpus]),
                              ("shell loop", loop)):
            spent = timed(command, options.batch_rounds, cwd=corpus, before=before)
            runs.append((verb, mode, spent))
            print("%-8s %-11s %5d | %9.0f %9.2f %9.2f" % (
                verb, mode, len(files), len(files) / spent[1], spent[1], spent[0]), flush=True)
    by = {(verb, mode): spent for verb, mode, spent in runs}
    parallel = "-j %d" % cores
    for verb in ("info", "convert"):
        one, many, loop = by[(verb, "-j 1")][1], by[(verb, parallel)][1], by[(verb, "shell loop")][1]
        print("%-8s %s over -j 1: %.2fx (goal >= 1.8x on 2 cores); over the shell loop: %s %.1fx, -j 1 %.1fx "
              "(goal >= 10x)" % (verb, parallel, one / many, parallel, loop / many, loop / one))

    share = fsync_share([options.pictra, "convert", "-q", "-r", "-j", "1", "-o", out, "-f", "WINDOWS", corpus],
                        corpus, fresh)
    if share:
        calls, seconds, wall = share
        print("convert -j 1 under strace: %d fsync calls, %.2f s inside fsync of %.2f s wall (%.0f %%), "
              "outputs on %s" % (calls, seconds, wall, 100 * seconds / wall if wall else 0, fs_type))
    else:
        spent = by[("convert", "-j 1")]
        print("convert -j 1: %.2f s wall, %.2f s processor (no strace to time fsync), outputs on %s" % (
            spent[1], spent[0], fs_type))
    shutil.rmtree(scratch, ignore_errors=True)


SECTIONS = {"load": load_section, "png": png_section, "batch": batch_section}


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--bench", default=os.path.join(root, "build", "bin", "pictra_bench"))
    parser.add_argument("--pictra", default=os.path.join(root, "build", "bin", "pictra"))
    parser.add_argument("--corpus", default=os.path.join(root, "..", "shared", "corpus"))
    parser.add_argument("--sections", default="load,png,batch",
                        help="comma-separated, from: load, png, batch (default: all)")
    parser.add_argument("--rounds", type=int, default=7, help="rounds of the load and png sections")
    parser.add_argument("--batch-rounds", type=int, default=3, help="rounds of each batch run")
    parser.add_argument("--quick", action="store_true", help="one round of everything")
    parser.add_argument("--scratch", help="folder under which convert writes (default: the system's temporary one)")
    options = parser.parse_args()
    if options.quick:
        options.rounds = options.batch_rounds = 1
    sections = options.sections.split(",")
    for section in sections:
        if section not in SECTIONS:
            parser.error("unknown section %r" % section)
    options.pictra = os.path.abspath(options.pictra)
    if Image is None and ("load" in sections or "png" in sections):
        parser.error("the load and png sections need Pillow (Debian's python3-pil, with /usr/bin/python3)")
    for section, program in (("load", options.bench), ("png", options.bench), ("batch", options.pictra)):
        if section in sections and not os.access(program, os.X_OK):
            parser.error("%s: not built (bash scripts/build.sh build)" % program)
    for section in sections:
        print("%s, %s" % (section, load_average()), flush=True)
        SECTIONS[section](options)

if __name__ == "__main__":
    main()
