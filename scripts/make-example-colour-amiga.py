#!/usr/bin/python3
"""Makes the colour Amiga icons in examples/ with Pictra's own writers.

Draws a 46 x 46 true-colour picture of a shaded ball and a brighter one for
the selected state (Pillow), puts the two PNGs back to back (a PNG icon that
carries its selected picture), and converts that with the pictra tool to an
OS 4 icon (ARGB chunks), a run-length packed OS 3.5 icon (IMAG chunks of the
host's colour reduction) and a PNG icon.

    /usr/bin/python3 scripts/make-example-colour-amiga.py [build/bin/pictra]
"""
import io
import math
import pathlib
import subprocess
import sys
import tempfile

from PIL import Image

root = pathlib.Path(__file__).resolve().parent.parent
examples = root / "examples"
pictra = sys.argv[1] if len(sys.argv) > 1 else str(root / "build" / "bin" / "pictra")
SIZE = 46


def ball(glow):
    picture = Image.new("RGBA", (SIZE, SIZE))
    centre, radius = (SIZE - 1) / 2, SIZE / 2 - 2
    for y in range(SIZE):
        for x in range(SIZE):
            distance = math.hypot(x - centre, y - centre)
            if distance > radius:
                continue
            # Light from the upper left, a soft rim one pixel wide.
            light = max(0.0, 1.0 - math.hypot(x - centre * 0.6, y - centre * 0.6) / (radius * 1.6))
            alpha = int(255 * min(1.0, radius - distance + 0.5))
            red = min(255, int(40 + 200 * light + glow))
            green = min(255, int(90 + 140 * light + glow))
            blue = min(255, int(160 + 95 * light))
            picture.putpixel((x, y), (red, green, blue, alpha))
    return picture


def png_bytes(picture):
    out = io.BytesIO()
    picture.save(out, "PNG")
    return out.getvalue()


with tempfile.TemporaryDirectory() as folder:
    source = pathlib.Path(folder) / "ball.info"
    source.write_bytes(png_bytes(ball(0)) + png_bytes(ball(35)))
    for name, options in (("ball-os4.info", ["-f", "AMIGAOS40"]),
                          ("ball-os35.info", ["-f", "AMIGAOS35", "--compress"]),
                          ("ball-png.info", ["-f", "PNG"])):
        subprocess.run([pictra, "convert", str(source), str(examples / name)] + options, check=True)
        print("wrote", examples / name)
