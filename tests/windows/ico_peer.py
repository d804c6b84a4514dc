#!/usr/bin/python3
"""What independent tools make of Windows icons, for the interoperability tests.

  ico_peer.py pillow-read ICO DUMP [ICO DUMP...]
                                        every entry as Pillow decodes it
  ico_peer.py icotool-read ICO DUMP [ICO DUMP...]
                                        every entry as `icotool -x` extracts it
  ico_peer.py pillow-write ICO FORMAT SIZE...
                                        the test picture saved by Pillow in those
                                        sizes, entries as FORMAT ("bmp" or "png")
  ico_peer.py picture PNG SIZE COLOURS  a test picture: COLOURS 0 for true colour
                                        with every alpha class, else that many
                                        colours and alpha 0 or 255 only
  ico_peer.py png-dump DUMP PNG...      PNG files as the entries of a dump

A dump (tests/peer_dump.py) lists the entries in directory order, the kind
of an entry being the bitmap's bit count from its own header, 0 for a PNG
entry.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from peer_dump import write_dump  # noqa: E402


def directory(path):
    data = open(path, "rb").read()
    count = struct.unpack_from("<H", data, 4)[0]
    entries = []
    for i in range(count):
        offset = struct.unpack_from("<I", data, 6 + 16 * i + 12)[0]
        head = data[offset:offset + 16]
        kind = 0 if head[:4] == b"\x89PNG" else struct.unpack_from("<H", head, 14)[0]
        entries.append((offset, kind))
    return entries


def pillow_read(ico, target):
    icon = Image.open(ico)
    pictures = []
    for offset, kind in directory(ico):
        index = [i for i, e in enumerate(icon.ico.entry) if e["offset"] == offset][0]
        try:
            pictures.append((kind, icon.ico.frame(index)))
        except Exception:  # a peer that cannot read an entry reports it as such
            pictures.append((kind, None))
    write_dump(target, pictures)


def icotool_read(ico, target):
    # One extraction of all entries: `icotool -x -i N` hands out the first
    # PNG entry for every later PNG entry. Files are named STEM_N_WxHxD.png.
    pictures = {}
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["icotool", "-x", "-o", folder, ico], capture_output=True)
        for name in os.listdir(folder):
            found = re.search(r"_(\d+)_\d+x\d+x\d+\.png$", name)
            if found:
                picture = Image.open(os.path.join(folder, name))
                picture.load()
                pictures[int(found.group(1))] = picture
    write_dump(target, [(kind, pictures.get(number)) for number, (offset, kind) in enumerate(directory(ico), start=1)])


def test_picture(size, colours=0):
    """Colour gradients with a fully transparent corner and, in true colour,
    a half-transparent band; with `colours`, only that many colours."""
    picture = Image.new("RGBA", (size, size))
    pixels = picture.load()
    for y in range(size):
        for x in range(size):
            transparent = x + y < size // 3
            if colours:
                value = 0 if transparent else (x * 7 + y * 3) % colours
                colour = (0, 0, 0) if value == 0 else ((value * 97) & 255 | 1, (value * 61) & 255, 255 - value)
                pixels[x, y] = colour + ((0 if transparent else 255),)
                continue
            alpha = 0 if transparent else (128 if y == size // 2 else 255)
            pixels[x, y] = ((x * 255) // size, (y * 255) // size, ((x ^ y) * 37) & 255, alpha)
    return picture


def main():
    command = sys.argv[1]
    pairs = list(zip(sys.argv[2::2], sys.argv[3::2]))
    if command == "pillow-read":
        for ico, target in pairs:
            pillow_read(ico, target)
    elif command == "icotool-read":
        for ico, target in pairs:
            icotool_read(ico, target)
    elif command == "pillow-write":
        sizes = [int(s) for s in sys.argv[4:]]
        test_picture(max(sizes)).save(sys.argv[2], sizes=[(s, s) for s in sizes], bitmap_format=sys.argv[3])
    elif command == "picture":
        test_picture(int(sys.argv[3]), int(sys.argv[4])).save(sys.argv[2])
    elif command == "png-dump":
        write_dump(sys.argv[2], [(0, Image.open(name)) for name in sys.argv[3:]])
    else:
        sys.exit("unknown command " + command)


if __name__ == "__main__":
    main()
