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


def bmp_rle8(width, height, data=bytes([0, 1])):
    palette = bytes([0, 0, 0, 0, 255, 255, 255, 0])
    # Default data: end of bitmap right away; the reader would still fill the page.
    header_size = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(data), 2835, 2835, 2, 2)
    file_header = b"BM" + struct.pack("<IHHI", header_size + len(data), 0, 0, header_size)
    return file_header + info + palette + data


def png_chunk(kind, payload):
    return be32(len(payload)) + kind + payload + be32(zlib.crc32(kind + payload) & 0xFFFFFFFF)


def png_huge(width, height, depth=8, colour=0, interlace=0):
    ihdr = be32(width) + be32(height) + bytes([depth, colour, 0, 0, interlace])
    idat = zlib.compress(b"\x00" * 1024)
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", idat) + png_chunk(b"IEND", b"")


def zeros_deflated(count):
    """count zero bytes, deflated, without holding them all in memory."""
    z = zlib.compressobj(9)
    block = b"\x00" * (1 << 24)
    out = []
    left = count
    while left > 0:
        n = min(left, len(block))
        out.append(z.compress(block[:n]))
        left -= n
    out.append(z.flush())
    return b"".join(out)


def png_ztxt_bomb(chunks, each):
    """A 16 x 16 gray page with `chunks` zTXt chunks that inflate to `each` bytes."""
    ihdr = be32(16) + be32(16) + bytes([8, 0, 0, 0, 0])
    text = zeros_deflated(each)
    body = b"".join(png_chunk(b"zTXt", b"Comment\x00\x00" + text) for _ in range(chunks))
    idat = zlib.compress(b"".join(b"\x00" + b"\x80" * 16 for _ in range(16)))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + body + png_chunk(b"IDAT", idat) +
            png_chunk(b"IEND", b""))


def png_idat_tail(extra):
    """A 64 x 64 gray page whose deflate stream goes on for `extra` zero bytes after its rows."""
    ihdr = be32(64) + be32(64) + bytes([8, 0, 0, 0, 0])
    z = zlib.compressobj(9)
    data = z.compress(b"".join(b"\x00" + b"\x80" * 64 for _ in range(64)))
    block = b"\x00" * (1 << 24)
    left = extra
    parts = [data]
    while left > 0:
        n = min(left, len(block))
        parts.append(z.compress(block[:n]))
        left -= n
    parts.append(z.flush())
    stream = b"".join(parts)
    idats = b"".join(png_chunk(b"IDAT", stream[i:i + (1 << 20)]) for i in range(0, len(stream), 1 << 20))
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + idats + png_chunk(b"IEND", b"")


def tiff_tiled_bilevel(width, height, tile=64):
    """Little-endian TIFF, 1-bit tiled, every tile offset at the end of the file with no data."""
    tiles = ((width + tile - 1) // tile) * ((height + tile - 1) // tile)
    entries = []

    def entry(tag, kind, count, value):
        entries.append(struct.pack("<HHI", tag, kind, count) + value)
    count_tag = 11
    ifd_size = 2 + 12 * count_tag + 4
    arrays_at = 8 + ifd_size
    offsets_at = arrays_at
    counts_at = offsets_at + 4 * tiles
    end = counts_at + 4 * tiles
    entry(256, 4, 1, struct.pack("<I", width))
    entry(257, 4, 1, struct.pack("<I", height))
    entry(258, 3, 1, struct.pack("<HH", 1, 0))
    entry(259, 3, 1, struct.pack("<HH", 4, 0))  # CCITT group 4
    entry(262, 3, 1, struct.pack("<HH", 0, 0))
    entry(277, 3, 1, struct.pack("<HH", 1, 0))
    entry(284, 3, 1, struct.pack("<HH", 1, 0))
    entry(322, 3, 1, struct.pack("<HH", tile, 0))
    entry(323, 3, 1, struct.pack("<HH", tile, 0))
    entry(324, 4, tiles, struct.pack("<I", offsets_at))
    entry(325, 4, tiles, struct.pack("<I", counts_at))
    ifd = struct.pack("<H", len(entries)) + b"".join(entries) + struct.pack("<I", 0)
    offsets = struct.pack("<%dI" % tiles, *([end] * tiles))
    counts = struct.pack("<%dI" % tiles, *([1] * tiles))
    return b"II*\x00" + struct.pack("<I", 8) + ifd + offsets + counts + b"\x00"


def bmp_bitfields_zero_masks(width, height):
    """32-bit bit-field BMP whose three colour masks are all zero."""
    pixels = b"\xff" * (4 * width * height)
    header_size = 14 + 40 + 12
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 3, len(pixels), 2835, 2835, 0, 0)
    file_header = b"BM" + struct.pack("<IHHI", header_size + len(pixels), 0, 0, header_size)
    return file_header + info + b"\x00" * 12 + pixels


def convert_bytes(outdir, args, suffix):
    """Runs ImageMagick and returns the file it wrote."""
    path = os.path.join(outdir, ".tmp" + suffix)
    subprocess.run(["convert"] + args + [path], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    data = open(path, "rb").read()
    os.remove(path)
    return data


def jpeg_scan_starts(data):
    """Offsets of every SOS marker of a JPEG."""
    out, i = [], 2
    while i + 4 <= len(data):
        if data[i] != 0xFF:
            i += 1
            continue
        marker = data[i + 1]
        if marker == 0xDA:
            out.append(i)
            i += 2
            # skip the entropy-coded data up to the next marker
            while i + 1 < len(data) and not (data[i] == 0xFF and data[i + 1] not in (0x00,) and
                                             not 0xD0 <= data[i + 1] <= 0xD7):
                i += 1
            continue
        if marker in (0xD8, 0x01) or 0xD0 <= marker <= 0xD7 or marker == 0xFF:
            i += 2 if marker != 0xFF else 1
            continue
        i += 2 + struct.unpack(">H", data[i + 2:i + 4])[0]
    return out


def tiff_g4_strip_halved(outdir):
    """A G4 TIFF of one strip whose byte count, and data, are cut in half."""
    data = bytearray(convert_bytes(outdir, ["-size", "1200x1600", "plasma:fractal", "-threshold", "50%",
                                            "-compress", "Group4", "-define", "tiff:rows-per-strip=1600"], ".tif"))
    order = "<" if data[:2] == b"II" else ">"
    ifd = struct.unpack(order + "I", data[4:8])[0]
    n = struct.unpack(order + "H", data[ifd:ifd + 2])[0]
    offset = count = None
    count_at = None
    for k in range(n):
        at = ifd + 2 + 12 * k
        tag, kind, cnt = struct.unpack(order + "HHI", data[at:at + 8])
        value = struct.unpack(order + ("I" if kind == 4 else "H"), data[at + 8:at + (12 if kind == 4 else 10)])[0]
        if tag == 273:
            offset = value
        if tag == 279:
            count, count_at, count_kind = value, at + 8, kind
    half = count // 2
    struct.pack_into(order + ("I" if count_kind == 4 else "H"), data, count_at, half)
    # The strip's second half is zeroed: the byte count and the data agree.
    data[offset + half:offset + count] = b"\x00" * (count - half)
    return bytes(data)


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
    # Small files that claim a 14000 x 14000 page.
    files.update({
        "claim_gif_1px_frame_14000.gif": gif(14000, 14000, 0, 0),
        "claim_bmp_rle8_eob_14000.bmp": bmp_rle8(14000, 14000),
        "claim_png_adam7_14000.png": png_huge(14000, 14000, interlace=1),
        "claim_png_16bit_14000.png": png_huge(14000, 14000, depth=16, colour=2),
        "claim_j2k_no_data_14000.j2k": j2k(14000, 14000, 3),
        "claim_tiff_tiled_bilevel_14000.tif": tiff_tiled_bilevel(14000, 14000),
        "claim_jpeg_20_scans_14000.jpg": jpeg_progressive(14000, 14000, 20),
        # The same at the edge of the default page budget (36 million pixels).
        "edge_gif_1px_frame_6000.gif": gif(6000, 6000, 0, 0),
        "edge_bmp_rle8_eob_6000.bmp": bmp_rle8(6000, 6000),
        "edge_png_adam7_6000.png": png_huge(6000, 6000, interlace=1),
        "edge_png_16bit_6000.png": png_huge(6000, 6000, depth=16, colour=2),
        "edge_j2k_no_data_6000.j2k": j2k(6000, 6000, 3),
        "edge_tiff_tiled_bilevel_6000.tif": tiff_tiled_bilevel(6000, 6000),
        "edge_jpeg_20_scans_6000.jpg": jpeg_progressive(6000, 6000, 20),
        # Inflation that no page needs.
        "inflate_png_20_ztxt_64mib.png": png_ztxt_bomb(20, 64 << 20),
        "inflate_png_2gb_after_rows.png": png_idat_tail(2 << 30),
        # Truncated data.
        "cut_bmp_rle8_10_rows_no_eob.bmp": bmp_rle8(200, 100, b"".join(bytes([200, 1, 0, 0]) for _ in range(10))),
        # Smaller slips.
        "slip_bmp_rle8_negative_height.bmp": bmp_rle8(64, -64, b"".join(bytes([64, 1, 0, 0]) for _ in range(64)) +
                                                      bytes([0, 1])),
        "slip_bmp_zero_bitfield_masks.bmp": bmp_bitfields_zero_masks(64, 64),
    })
    try:
        files["jpeg_cut_and_closed.jpg"] = cut_jpeg(outdir)
        progressive = convert_bytes(outdir, ["-size", "800x600", "plasma:fractal", "-interlace", "JPEG",
                                             "-quality", "90"], ".jpg")
        scans = jpeg_scan_starts(progressive)
        files["cut_jpeg_progressive_after_dc.jpg"] = progressive[:scans[1]] + b"\xff\xd9"
        files["cut_jpeg_progressive_half.jpg"] = progressive[:len(progressive) // 2] + b"\xff\xd9"
        files["cut_tiff_g4_strip_half.tif"] = tiff_g4_strip_halved(outdir)
        files["slip_jpeg_cmyk.jpg"] = convert_bytes(outdir, ["-size", "300x200", "plasma:fractal",
                                                             "-colorspace", "CMYK"], ".jpg")
    except (OSError, subprocess.CalledProcessError, IndexError):
        print("ImageMagick not found: the files made from real pages are left out", file=sys.stderr)
    for name, data in files.items():
        with open(os.path.join(outdir, name), "wb") as f:
            f.write(data)
    # A sparse 1000 MB file named .png, and a .png link to a kernel file.
    with open(os.path.join(outdir, "size_sparse_1000mb.png"), "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.truncate(1000 << 20)
    os.symlink("/proc/self/pagemap", os.path.join(outdir, "size_link_to_proc_pagemap.png"))
    print(f"{len(files) + 2} files in {outdir}")


if __name__ == "__main__":
    main()
