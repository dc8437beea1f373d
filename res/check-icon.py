#!/usr/bin/env python3
"""Checks that an .ico file holds exactly one 32x32 image of 32 bits per pixel,
stored as a BI_RGB bitmap, with alpha 255 in every pixel. Exits non-zero and
says why when it does not."""
import struct
import sys


def check(data: bytes) -> list[str]:
    errors = []
    if len(data) < 6:
        return ["file shorter than the ICONDIR header"]
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    if reserved != 0 or kind != 1:
        errors.append(f"not an icon file (reserved={reserved}, type={kind})")
    if count != 1:
        errors.append(f"{count} images, expected exactly 1")
    if len(data) < 6 + 16 * max(count, 1):
        return errors + ["directory truncated"]
    w, h, colors, res, planes, bpp, size, offset = struct.unpack_from("<BBBBHHII", data, 6)
    if (w, h) != (32, 32):
        errors.append(f"directory says {w}x{h}, expected 32x32")
    if colors != 0 or res != 0:
        errors.append(f"palette fields set (colors={colors}, reserved={res})")
    if planes != 1 or bpp != 32:
        errors.append(f"directory says planes={planes} bpp={bpp}, expected 1 and 32")
    if offset + size > len(data):
        return errors + ["image data runs past the end of the file"]
    img = data[offset:offset + size]
    if img[:8] == b"\x89PNG\r\n\x1a\n":
        return errors + ["image stored as PNG, expected a bitmap"]
    hsize, bw, bh, bplanes, bbpp, comp = struct.unpack_from("<IiiHHI", img, 0)
    if hsize != 40:
        errors.append(f"bitmap header size {hsize}, expected 40")
    if (bw, bh) != (32, 64):
        errors.append(f"bitmap is {bw}x{bh}, expected 32x64 (image plus mask)")
    if bplanes != 1 or bbpp != 32 or comp != 0:
        errors.append(f"bitmap planes={bplanes} bpp={bbpp} compression={comp}")
    pixels = img[hsize:hsize + 32 * 32 * 4]
    if len(pixels) != 32 * 32 * 4:
        return errors + ["pixel data truncated"]
    not_opaque = sum(1 for i in range(3, len(pixels), 4) if pixels[i] != 255)
    if not_opaque:
        errors.append(f"{not_opaque} pixels with alpha below 255")
    distinct = len({pixels[i:i + 3] for i in range(0, len(pixels), 4)})
    if distinct < 64:
        errors.append(f"only {distinct} distinct colours: not a picture")
    return errors


def main() -> int:
    path = sys.argv[1] if len(sys.argv) > 1 else "vparse.ico"
    with open(path, "rb") as f:
        errors = check(f.read())
    for e in errors:
        print(f"{path}: {e}", file=sys.stderr)
    if not errors:
        print(f"{path}: one 32x32 32-bpp opaque image")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
