#!/usr/bin/python3
"""Writes the small seed files under seeds/: for fuzz_load_icon each of the
four header words LoadIcon recognises followed by a few bytes, and for
fuzz_decode_image a minimal PNG, a JPEG 2000 codestream and a JP2 file.
The JPEG 2000 files come from Pillow over OpenJPEG (Debian's python3-pil).

    /usr/bin/python3 fuzz/make_seeds.py
"""
import io
import pathlib
import struct
import zlib

from PIL import Image

here = pathlib.Path(__file__).resolve().parent


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def png(width, height, colour_type, rows):
    header = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def jpeg2000(codestream):
    out = io.BytesIO()
    Image.new("RGBA", (4, 3), (200, 100, 50, 128)).save(
        out, "JPEG2000", no_jp2=codestream)
    return out.getvalue()


def write(target, name, data):
    folder = here / "seeds" / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


rgba_2x2 = png(2, 2, 6, b"\0" + bytes(range(8)) + b"\0" + bytes(range(8, 16)))
grey_1x1 = png(1, 1, 0, b"\0\x80")
write("fuzz_decode_image", "rgba-2x2.png", rgba_2x2)
write("fuzz_decode_image", "grey-1x1.png", grey_1x1)
write("fuzz_decode_image", "rgba-4x3.j2k", jpeg2000(True))
write("fuzz_decode_image", "rgba-4x3.jp2", jpeg2000(False))

write("fuzz_load_icon", "amiga-header.info", bytes.fromhex("e3100001") + bytes(74))
write("fuzz_load_icon", "png-icon.png",
      rgba_2x2[:-12] + chunk(b"icOn", struct.pack(">II", 0x80001001, 0)) + rgba_2x2[-12:])
# One 16x16 entry of 40 bytes at offset 22: a bitmap header cut short.
write("fuzz_load_icon", "windows-header.ico",
      struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, 40, 22) +
      struct.pack("<IiiHH", 40, 16, 32, 1, 32))
# An is32 element of nothing but its own header.
write("fuzz_load_icon", "mac-header.icns", b"icns" + struct.pack(">I", 16) + b"is32" +
      struct.pack(">I", 8))

# Icon bitmap rows: bit count index (1, 4, 8, 24, 32), width - 1, height - 1,
# row order, then the stored rows.
write("fuzz_ico_rows", "4bit-5x2.bin", bytes([1, 4, 1, 0]) + bytes([0x12, 0x34, 0x50, 0, 0x67, 0x89, 0xA0, 0]))
write("fuzz_ico_rows", "1bit-20x3-top-down.bin", bytes([0, 19, 2, 1]) + bytes([0xA5, 0x5A, 0xF0, 0]) * 3)
write("fuzz_ico_rows", "8bit-7x7.bin", bytes([2, 6, 6, 0]) + bytes(range(56)))
write("fuzz_ico_rows", "24bit-3x2.bin", bytes([3, 2, 1, 0]) + bytes(range(24)))
write("fuzz_ico_rows", "32bit-3x2.bin", bytes([4, 2, 1, 0]) + bytes(range(24)))
