#!/usr/bin/python3
"""Writes icon files made to cost far more to load than their size suggests.

    hostile_icons.py DIR [COUNT]

Each file is small but names many large pictures: directory entries that all
point at one tiny PNG of 4096 x 4096, thousands of FORM ICON chunks that each
expand to a 256 x 256 picture, and so on. COUNT, when given, replaces the
number of repeated entries, elements or chunks in every file (the tests use
it to sit exactly at a budget and one past it). Prints one line per file:
its name and the number of pictures it names. Needs Pillow (JPEG 2000)."""

import io
import struct
import sys
import zlib
from pathlib import Path


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def huge_png(side=4096):
    """A 1-bit grey PNG of side x side, all black: about 2 KB."""
    rows = (b"\0" + bytes(side // 8)) * side
    header = struct.pack(">IIBBBBB", side, side, 1, 0, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(rows, 9)) + png_chunk(b"IEND", b""))


def huge_jpeg2000(side=4096):
    """A raw JPEG 2000 codestream of side x side RGBA: a few hundred bytes."""
    from PIL import Image
    out = io.BytesIO()
    Image.new("RGBA", (side, side)).save(out, "JPEG2000", no_jp2=True, quality_mode="rates",
                                          quality_layers=[2000])
    return out.getvalue()


def ico(entries):
    """entries: (data offset relative to the end of the directory, data size) pairs."""
    start = 6 + 16 * len(entries)
    out = struct.pack("<HHH", 0, 1, len(entries))
    for offset, size in entries:
        out += struct.pack("<BBBBHHII", 0, 0, 0, 0, 1, 32, size, start + offset)
    return out


def bitmap_header(width, height, bit_count):
    return struct.pack("<IiiHHIIiiII", 40, width, 2 * height, 1, bit_count, 0, 0, 0, 0, 0, 0)


def ico_shared_png(count):
    png = huge_png()
    return ico([(0, len(png))] * count) + png


def ico_shared_bitmap(count, side=128):
    data = bitmap_header(side, side, 32) + bytes(side * side * 4 + side * 4 * ((side + 31) // 32))
    return ico([(0, len(data))] * count) + data


def ico_distinct_24bit(count):
    """count 24-bit bitmaps, each of its own size (the smallest areas first).
    The headers lie one after another; each one's rows run on over the next
    headers and a zero tail, which the reader takes as pixels."""
    sizes = sorted(((w, h) for w in range(1, 257) for h in range(1, 257)), key=lambda s: (s[0] * s[1], s))
    sizes = sizes[:count]
    longest = max(h * (((3 * w + 3) // 4 * 4) + ((w + 31) // 32 * 4)) for w, h in sizes)
    headers = b"".join(bitmap_header(w, h, 24) for w, h in sizes)
    return ico([(40 * k, 40) for k in range(count)]) + headers + bytes(longest)


def icns_jpeg2000(count):
    j2k = huge_jpeg2000()
    kinds = [b"ic07", b"ic08", b"ic09", b"ic10", b"ic11", b"ic12", b"ic13", b"ic14"]
    body = b"".join(kinds[k % len(kinds)] + struct.pack(">I", 8 + len(j2k)) + j2k for k in range(count))
    return b"icns" + struct.pack(">I", 8 + len(body)) + body


def amiga_classic():
    """A classic tool icon with a 16 x 4 picture of 2 planes, no texts."""
    out = struct.pack(">HHIHHHH", 0xE310, 1, 0, 0, 0, 16, 4)
    out += struct.pack(">HHHII", 4, 3, 1, 1, 0)
    out += struct.pack(">IIIHIBB", 0, 0, 0, 0, 1, 3, 0)
    out += struct.pack(">IIIIIII", 0, 0, 0x80000000, 0x80000000, 0, 0, 4096)
    out += struct.pack(">HHHHHIBBI", 0, 0, 16, 4, 2, 1, 3, 0, 0)
    return out + bytes(2 * 4 * 2)


def form_icon(chunks):
    face = b"FACE" + struct.pack(">I", 6) + bytes([255, 255, 0, 0]) + struct.pack(">H", 47)
    body = b"ICON" + face + b"".join(chunks)
    return amiga_classic() + b"FORM" + struct.pack(">I", len(body)) + body


def form_argb(count):
    empty = zlib.compress(b"")
    data = bytes([0, 0, 0, 0]) + struct.pack(">I", len(empty) - 1) + bytes(2) + empty
    return form_icon([b"ARGB" + struct.pack(">I", len(data)) + data] * count)


def form_imag(count):
    # pen 0, 1 colour, palette present, raw image and palette, depth 1,
    # one byte of image and one of palette.
    data = bytes([0, 0, 2, 0, 0, 1]) + struct.pack(">HH", 0, 0) + bytes(2)
    return form_icon([b"IMAG" + struct.pack(">I", len(data)) + data] * count)


# name, builder, count
FILES = [
    ("ico-16-entries-one-png.ico", ico_shared_png, 16),
    ("ico-100-entries-one-png.ico", ico_shared_png, 100),
    ("ico-65535-entries-one-bitmap.ico", ico_shared_bitmap, 65535),
    ("icns-11-jpeg2000.icns", icns_jpeg2000, 11),
    ("form-4000-argb.info", form_argb, 4000),
    ("form-50000-imag.info", form_imag, 50000),
    ("ico-32767-24bit-sizes.ico", ico_distinct_24bit, 32767),
]


def main():
    folder = Path(sys.argv[1])
    folder.mkdir(parents=True, exist_ok=True)
    wanted = int(sys.argv[2]) if len(sys.argv) > 2 else None
    for name, build, count in FILES:
        count = wanted if wanted is not None else count
        (folder / name).write_bytes(build(count))
        print(name, count)


if __name__ == "__main__":
    main()
