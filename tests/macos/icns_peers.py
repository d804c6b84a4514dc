#!/usr/bin/python3
"""Pillow's side of the macOS icon comparisons.

  icns_peers.py dump OUT_DIR FILE...
      For every size Pillow offers in each file, writes its RGBA pixels to
      OUT_DIR/<file index>-<w>x<h>x<scale>.rgba and prints one line
      "<file index> <w> <h> <scale> <pixel width> <pixel height>", or
      "<file index> <w> <h> <scale> error <reason>" when Pillow fails on it.
  icns_peers.py save OUT.icns PNG...
      Saves the PNGs (one per size, the first one the base) as one macOS icon.
"""
import os
import sys

from PIL import Image


def dump(out_dir, files):
    for index, name in enumerate(files):
        try:
            with Image.open(name) as probe:
                sizes = list(probe.info["sizes"])
        except Exception as error:  # the file as a whole
            print(f"{index} 0 0 0 error {type(error).__name__}")
            continue
        for size in sizes:
            w, h, scale = size
            try:
                with Image.open(name) as im:
                    im.size = size
                    im.load()
                    rgba = im.convert("RGBA")
                    with open(os.path.join(out_dir, f"{index}-{w}x{h}x{scale}.rgba"), "wb") as out:
                        out.write(rgba.tobytes())
                    print(f"{index} {w} {h} {scale} {rgba.width} {rgba.height}")
            except Exception as error:
                print(f"{index} {w} {h} {scale} error {type(error).__name__}")


def save(target, pngs):
    images = [Image.open(name).convert("RGBA") for name in pngs]
    images[0].save(target, format="ICNS", append_images=images[1:])


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "dump":
        dump(sys.argv[2], sys.argv[3:])
    elif len(sys.argv) >= 4 and sys.argv[1] == "save":
        save(sys.argv[2], sys.argv[3:])
    else:
        sys.exit(__doc__)
