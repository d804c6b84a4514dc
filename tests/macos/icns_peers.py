#!/usr/bin/python3
"""Pillow's side of the macOS icon comparisons.

  icns_peers.py dump FILE DUMP [FILE DUMP...]
      Every size Pillow offers in each file, in a dump (tests/peer_dump.py)
      whose kind of an entry is the size's scale; a file Pillow cannot open
      gives one entry that failed.
  icns_peers.py save OUT.icns PNG...
      Saves the PNGs (one per size, the first one the base) as one macOS icon.
"""
import os
import sys

from PIL import Image

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from peer_dump import write_dump  # noqa: E402


def dump(name, target):
    pictures = []
    try:
        with Image.open(name) as probe:
            sizes = list(probe.info["sizes"])
    except Exception:  # the file as a whole
        sizes, pictures = [], [(0, None)]
    for size in sizes:
        try:
            with Image.open(name) as im:
                im.size = size
                im.load()
                pictures.append((size[2], im.convert("RGBA")))
        except Exception:
            pictures.append((size[2], None))
    write_dump(target, pictures)


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
