#!/usr/bin/python3
"""Draws the project's sample picture at every size a macOS icon stores up
to 256 pixels and hands them to pictra, whose writer makes the icon:

  scripts/make-example-icns.py PICTRA OUT.icns

The pictures reach pictra as PNG elements in a bare icon container written
here; pictra loads that and saves OUT.icns with its own writer (packed
pictures with alpha masks up to 128 pixels, PNG above)."""
import io
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw

# The container types that carry a PNG of each size.
PNG_TYPES = {16: b"icp4", 32: b"icp5", 64: b"icp6", 128: b"ic07", 256: b"ic08"}


def picture(side):
    """A rounded tile with a diagonal gradient and a ring, drawn at 4x and
    scaled down so the edges are smooth."""
    big = side * 4
    tile = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    gradient = Image.new("RGBA", (big, big))
    gradient.putdata([(40 + 150 * (x + y) // (2 * big), 90 + 100 * y // big, 200 - 80 * x // big, 255)
                      for y in range(big) for x in range(big)])
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).rounded_rectangle((big // 16, big // 16, big - big // 16, big - big // 16),
                                           radius=big // 5, fill=255)
    tile.paste(gradient, (0, 0), mask)
    draw = ImageDraw.Draw(tile)
    draw.ellipse((big * 5 // 16, big * 5 // 16, big * 11 // 16, big * 11 // 16),
                 outline=(255, 255, 255, 230), width=max(1, big // 14))
    draw.ellipse((big * 7 // 16, big * 7 // 16, big * 9 // 16, big * 9 // 16), fill=(255, 210, 60, 255))
    return tile.resize((side, side), Image.LANCZOS)


def container(pictures):
    body = b""
    for side, code in PNG_TYPES.items():
        data = io.BytesIO()
        pictures[side].save(data, "png")
        body += code + struct.pack(">I", 8 + len(data.getvalue())) + data.getvalue()
    return b"icns" + struct.pack(">I", 8 + len(body)) + body


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    pictra, out = sys.argv[1], sys.argv[2]
    pictures = {side: picture(side) for side in PNG_TYPES}
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "source.icns")
        with open(source, "wb") as handle:
            handle.write(container(pictures))
        subprocess.run([pictra, "convert", source, out], check=True)


if __name__ == "__main__":
    main()
