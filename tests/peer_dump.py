"""The dump the peer scripts write for the interoperability tests (read by
readPeerDump in icon_pictures.h): "RGBA", u32 count, then per picture u32
ok, u32 kind (what the script says of it), u32 width, u32 height and
width * height * 4 bytes R, G, B, A (nothing when ok is 0). All integers
little-endian.
"""
import struct


def write_dump(path, pictures):
    """`pictures`: (kind, Pillow image or None for one the tool could not read)."""
    with open(path, "wb") as out:
        out.write(b"RGBA" + struct.pack("<I", len(pictures)))
        for kind, picture in pictures:
            if picture is None:
                out.write(struct.pack("<IIII", 0, kind, 0, 0))
                continue
            rgba = picture.convert("RGBA")
            out.write(struct.pack("<IIII", 1, kind, rgba.width, rgba.height))
            out.write(rgba.tobytes())
