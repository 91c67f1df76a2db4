#!/usr/bin/env python3
"""Writes small hostile image files that claim huge pages or endless work.

Each file is a few hundred bytes to a few kilobytes; a reader that trusts its
header would take gigabytes or minutes. Usage: make_files.py OUTDIR
"""
import os
import struct
import subprocess
import sys
import zlib


def be16(v):
    return struct.pack(">H", v)


def be32(v):
    return struct.pack(">I", v)


def j2k(width, height, comps, tile_w=None, tile_h=None, levels=5, layers=1):
    """A codestream main header (SIZ, COD, QCD) and one empty tile-part."""
    tile_w = tile_w or width
    tile_h = tile_h or height
    siz = be16(0) + be32(width) + be32(height) + be32(0) + be32(0)
    siz += be32(tile_w) + be32(tile_h) + be32(0) + be32(0) + be16(comps)
    siz += bytes([7, 1, 1]) * comps
    siz = b"\xff\x51" + be16(len(siz) + 2) + siz
    cod = bytes([0, 0]) + be16(layers) + bytes([1 if comps >= 3 else 0, levels, 4, 4, 0, 1])
    cod = b"\xff\x52" + be16(len(cod) + 2) + cod
    qcd = bytes([0x40]) + bytes([0x40] * (3 * levels + 1))
    qcd = b"\xff\x5c" + be16(len(qcd) + 2) + qcd
    body = b"\x00" * 4
    sot = b"\xff\x90" + be16(10) + be16(0) + be32(12 + 2 + len(body)) + bytes([0, 1])
    return b"\xff\x4f" + siz + cod + qcd + sot + b"\xff\x93" + body + b"\xff\xd9"


def jpeg_segment(marker, payload):
    return bytes([0xFF, marker]) + be16(len(payload) + 2) + payload


def jpeg_progressive(width, height, empty_scans):
    """Progressive gray JPEG: one DC scan of all-zero blocks, then AC scans with no data."""
    out = b"\xff\xd8"
    out += jpeg_segment(0xDB, bytes([0]) + bytes([1] * 64))
    out += jpeg_segment(0xC2, bytes([8]) + be16(height) + be16(width) + bytes([1, 1, 0x11, 0]))
    # DC table: one code of length 1 for category 0.
    dc = bytes([0x00]) + bytes([1] + [0] * 15) + bytes([0])
    # AC table: one code of length 1 for EOB (0x00).
    ac = bytes([0x10]) + bytes([1] + [0] * 15) + bytes([0])
    out += jpeg_segment(0xC4, dc + ac)
    out += jpeg_segment(0xDA, bytes([1, 1, 0x00, 0, 0, 0]))
    blocks = ((width + 7) // 8) * ((height + 7) // 8)
    # Every block codes DC category 0 with the one-bit code '0'.
    out += b"\x00" * ((blocks + 7) // 8)
    for _ in range(empty_scans):
        out += jpeg_segment(0xDA, bytes([1, 1, 0x00, 1, 63, 0]))
    return out + b"\xff\xd9"


def gif(screen_w, screen_h, left, top, frame_w=1, frame_h=1):
    out = b"GIF89a" + struct.pack("<HH", screen_w, screen_h) + bytes([0x80, 0, 0])
    out += bytes([0, 0, 0, 255, 255, 255])
    out += b"\x2c" + struct.pack("<HHHH", left, top, frame_w, frame_h) + bytes([0])
    # LZW minimum code size 2: clear, index 0, end.
    out += bytes([2, 2, 0x44, 0x01, 0])
    return out + b"\x3b"


def bmp_rle8(width, height):
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    # End of bitmap right away: the reader would still fill the page.
    data = bytes([0, 1])
    header_size = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(data), 2835, 2835, 2, 2)
    file_header = b"BM" + struct.pack("<IHHI", header_size + len(data), 0, 0, header_size)
    return file_header + info + palette + data


def png_huge(width, height):
    def chunk(kind, payload):
        return be32(len(payload)) + kind + payload + be32(zlib.crc32(kind + payload) & 0xFFFFFFFF)
    ihdr = be32(width) + be32(height) + bytes([8, 0, 0, 0, 0])
    idat = zlib.compress(b"\x00" * 1024)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", idat) + chunk(b"IEND", b"")


def cut_jpeg(outdir):
    """A real photo-like JPEG cut in half and closed with an end marker."""
    full = os.path.join(outdir, ".full.jpg")
    subprocess.run(["convert", "-size", "800x600", "plasma:fractal", "-quality", "90", full], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    data = open(full, "rb").read()
    os.remove(full)
    return data[: len(data) // 2] + b"\xff\xd9"


def main():
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    files = {
        "j2k_65535_tiles_60_components.j2k": j2k(65535, 1, 60, tile_w=1, tile_h=1),
        "j2k_32768x32768_rgb.j2k": j2k(32768, 32768, 3),
        "j2k_2000_components.j2k": j2k(256, 256, 2000),
        "j2k_many_layers.j2k": j2k(4096, 4096, 1, layers=65535, levels=32),
        "jpeg_progressive_30000x30000.jpg": jpeg_progressive(30000, 30000, 0)[:400] + b"\xff\xd9",
        "jpeg_999_empty_scans_8000x8000.jpg": jpeg_progressive(8000, 8000, 999),
        "gif_screen_65535x16384.gif": gif(65535, 16384, 0, 0),
        "gif_frame_offset_65535x16384.gif": gif(16, 16, 65534, 16383),
        "bmp_rle8_32768x32768.bmp": bmp_rle8(32768, 32768),
        "png_60000x60000.png": png_huge(60000, 60000),
    }
    try:
        files["jpeg_cut_and_closed.jpg"] = cut_jpeg(outdir)
    except (OSError, subprocess.CalledProcessError):
        print("ImageMagick not found: the cut JPEG is left out", file=sys.stderr)
    for name, data in files.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    print(f"{len(files)} files in {outdir}")


if __name__ == "__main__":
    main()
