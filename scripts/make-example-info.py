#!/usr/bin/python3
"""Draws the project's sample Amiga picture, normal and selected, and hands
both to pictra, whose writer makes a NewIcons icon of them:

  scripts/make-example-info.py PICTRA OUT.info

The pictures reach pictra as a PNG icon written here: the normal picture
with an "icOn" chunk that carries the icon's attributes (a project with a
default tool and tool types), the selected picture as a second PNG behind
it. pictra loads that and saves OUT.info as "NEWICON" with its own writer:
a four-colour classic picture and NewIcons pictures of up to 256 colours."""
import io
import os
import struct
import subprocess
import sys
import tempfile
import zlib

from PIL import Image, ImageDraw

SIDE = 48
NO_POSITION = 0x80000000
TAG_CURRENT_X, TAG_CURRENT_Y = 0x80001001, 0x80001002
TAG_STACK, TAG_DEFAULT_TOOL, TAG_TOOL_TYPE, TAG_TYPE = 0x80001009, 0x8000100A, 0x8000100B, 0x8000100F
TYPE_PROJECT = 4


def picture(selected):
    """A red and white checkered ball on a soft shadow, drawn at 4x and
    scaled down; the selected picture is lit from the other side."""
    big = SIDE * 4
    tile = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    draw = ImageDraw.Draw(tile)
    draw.ellipse((big // 6, big * 3 // 4, big * 5 // 6, big * 15 // 16), fill=(0, 0, 0, 90))
    ball = Image.new("RGBA", (big, big))
    centre, radius = big / 2, big * 7 / 16
    cells = []
    for y in range(big):
        for x in range(big):
            dx, dy = (x - centre) / radius, (y - centre * 0.9) / radius
            # Checks that bend with the sphere, brighter towards the light.
            u, v = int((dx * 1.2 + 2) * 4), int((dy * 1.2 + 2) * 4)
            light = max(0.0, 1.0 - ((dx + (0.4 if selected else -0.4)) ** 2 + (dy + 0.4) ** 2) / 2.5)
            red = (u + v) % 2 == 0
            base = (220, 30, 40) if red else (245, 245, 245)
            cells.append(tuple(int(c * (0.55 + 0.45 * light)) for c in base) + (255,))
    ball.putdata(cells)
    mask = Image.new("L", (big, big), 0)
    ImageDraw.Draw(mask).ellipse((centre - radius, centre * 0.9 - radius, centre + radius, centre * 0.9 + radius),
                                 fill=255)
    tile.paste(ball, (0, 0), mask)
    return tile.resize((SIDE, SIDE), Image.LANCZOS)


def png_bytes(image):
    data = io.BytesIO()
    image.save(data, "png")
    return data.getvalue()


def icon_chunk():
    """The attributes as tag items: u32 tag, then a u32 value or a string."""
    def value(tag, number):
        return struct.pack(">II", tag, number)

    def text(tag, string):
        return struct.pack(">I", tag) + string.encode("latin-1") + b"\0"

    body = (value(TAG_TYPE, TYPE_PROJECT) + value(TAG_CURRENT_X, NO_POSITION) + value(TAG_CURRENT_Y, NO_POSITION)
            + value(TAG_STACK, 8192) + text(TAG_DEFAULT_TOOL, "SYS:Utilities/MultiView")
            + text(TAG_TOOL_TYPE, "FILETYPE=picture") + text(TAG_TOOL_TYPE, "(DONOTWAIT)"))
    return struct.pack(">I", len(body)) + b"icOn" + body + struct.pack(">I", zlib.crc32(b"icOn" + body))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    pictra, out = sys.argv[1], sys.argv[2]
    normal = png_bytes(picture(False))
    # The chunk goes in front of the 12-byte IEND chunk.
    source_bytes = normal[:-12] + icon_chunk() + normal[-12:] + png_bytes(picture(True))
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "source.png")
        with open(source, "wb") as handle:
            handle.write(source_bytes)
        subprocess.run([pictra, "convert", "--format", "NEWICON", source, out], check=True)


if __name__ == "__main__":
    main()
