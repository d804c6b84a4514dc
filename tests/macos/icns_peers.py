#!/usr/bin/python3
"""Pillow's side of the macOS icon comparisons.

  icns_peers.py dump FILE DUMP [FILE DUMP...]
      Every size Pillow offers in each file, in a dump as ico_peer.py
      writes them (the kind of an entry being the size's scale); a file
      Pillow cannot open gives one entry that failed.
  icns_peers.py save OUT.icns PNG...
      Saves the PNGs (one per size, the first one the base) as one macOS icon.
"""
import struct
import sys

from PIL import Image


def dump(name, target):
    entries = []
    try:
        with Image.open(name) as probe:
            sizes = list(probe.info["sizes"])
    except Exception:  # the file as a whole
        sizes, entries = [], [struct.pack("<IIII", 0, 0, 0, 0)]
    for size in sizes:
        try:
            with Image.open(name) as im:
                im.size = size
                im.load()
                rgba = im.convert("RGBA")
            entries.append(struct.pack("<IIII", 1, size[2], rgba.width, rgba.height) + rgba.tobytes())
        except Exception:
            entries.append(struct.pack("<IIII", 0, size[2], 0, 0))
    with open(target, "wb") as out:
        out.write(b"RGBA" + struct.pack("<I", len(entries)) + b"".join(entries))


def save(target, pngs):
    images = [Image.open(name).convert("RGBA") for name in pngs]
    images[0].save(target, format="ICNS", append_images=images[1:])


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "dump":
        for name, target in zip(sys.argv[2::2], sys.argv[3::2]):
            dump(name, target)
    elif len(sys.argv) >= 4 and sys.argv[1] == "save":
        save(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
