#!/usr/bin/python3
"""Draws the project's sample Windows icon: a picture frame with a sun and
hills, as a 16-pixel 4-bit, a 32-pixel 8-bit, and 48- and 256-pixel 32-bit
pictures with soft edges. Writes the icon with plain bitmap entries to the
given path; examples/pictra.ico is this file saved again by Pictra's own
writer (`pictra convert --compress`, which stores the 256-pixel picture as
PNG).

  /usr/bin/python3 scripts/make-example-ico.py OUT.ico
"""
import struct
import sys


def colour_at(x, y, size):
    """(r, g, b, a) of the pixel centre x, y of a picture of side `size`."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    inset = 0.06
    if not (inset <= u <= 1 - inset and inset <= v <= 1 - inset):
        return (0, 0, 0, 0)
    if u < inset + 0.08 or u > 1 - inset - 0.08 or v < inset + 0.08 or v > 1 - inset - 0.08:
        return (120, 72, 30, 255)  # the frame
    if (u - 0.68) ** 2 + (v - 0.34) ** 2 < 0.012:
        return (250, 200, 40, 255)  # the sun
    if v > 0.62 + 0.12 * ((u * 3.1) % 1.0 - 0.5) ** 2 * 4 - 0.06:
        return (40, 150, 60, 255)  # the hills
    return (110, 170, 235, 255)  # the sky


def soft_alpha(x, y, size):
    """Alpha that fades over the outer pixel of the frame."""
    r, g, b, a = colour_at(x, y, size)
    if a:
        return (r, g, b, a)
    for dx, dy in ((-1, 0), (1, 0), (0, -1), (0, 1)):
        if 0 <= x + dx < size and 0 <= y + dy < size and colour_at(x + dx, y + dy, size)[3]:
            return (120, 72, 30, 96)
    return (0, 0, 0, 0)


def rows_padded(row_bytes):
    return row_bytes + (-len(row_bytes)) % 4


def bitmap(size, bits):
    """The bitmap of one entry: header, palette, colour rows, AND mask."""
    pixels = [[(soft_alpha if bits == 32 else colour_at)(x, y, size) for x in range(size)] for y in range(size)]
    palette = []
    if bits <= 8:
        palette = sorted({p[:3] for row in pixels for p in row if p[3]})
        palette = [(0, 0, 0)] + palette  # pen 0: behind transparent pixels
        palette += [(0, 0, 0)] * ((1 << bits) - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, 0, 0, 0, len(palette), 0)
    body = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    for row in reversed(pixels):
        if bits == 32:
            line = b"".join(struct.pack("<BBBB", b, g, r, a) for r, g, b, a in row)
        else:
            pens = [palette.index(p[:3]) if p[3] else 0 for p in row]
            if bits == 8:
                line = bytes(pens)
            else:
                line = bytes(pens[i] << 4 | (pens[i + 1] if i + 1 < size else 0) for i in range(0, size, 2))
        body += line + bytes((-len(line)) % 4)
    for row in reversed(pixels):
        bits_row = [1 if p[3] == 0 else 0 for p in row]
        line = bytes(sum(bit << (7 - i) for i, bit in enumerate(bits_row[k:k + 8])) for k in range(0, size, 8))
        body += line + bytes((-len(line)) % 4)
    return header + body


def main():
    entries = [(16, 4), (32, 8), (48, 32), (256, 32)]
    datas = [bitmap(size, bits) for size, bits in entries]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for (size, bits), data in zip(entries, datas):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    with open(sys.argv[1], "wb") as target:
        target.write(out + b"".join(datas))


if __name__ == "__main__":
    main()
