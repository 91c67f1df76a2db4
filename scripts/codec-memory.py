#!/usr/bin/env python3
"""Measures the memory each codec path costs per pixel of the page.

    codec-memory.py MORVANE_CLASSIFY [WIDTH HEIGHT]

Draws one page (default 2480 x 3508, A4 at 300 dpi: a tinted paper, ruled
boxes, text and a photo-like gradient) with ImageMagick, writes it in each
codec path the reader has, classifies each file alone in one process
(`--jobs 1`, the size template of examples/) and prints per path the peak
resident memory less that of a 64 x 64 page (the program and the template),
divided by the page's pixels: the bytes per claimed pixel that decoding and
classifying one page cost. Needs ImageMagick's convert (with OpenJPEG for
JPEG-2000; a path it cannot write is reported and left out).
"""
import os
import subprocess
import sys
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
TEMPLATE = os.path.join(ROOT, "examples", "templates", "sizes.xml")

# (name, file name, convert options before the output) for each path.
PATHS = [
    ("JPEG baseline, colour", "page.jpg", ["-quality", "85"]),
    ("JPEG progressive, colour", "prog.jpg", ["-quality", "85", "-interlace", "JPEG"]),
    ("JPEG baseline, gray", "gray.jpg", ["-colorspace", "Gray", "-quality", "85"]),
    ("PNG, colour", "page.png", []),
    ("PNG, gray", "gray.png", ["-colorspace", "Gray"]),
    ("PNG, bilevel", "bilevel.png", ["-threshold", "60%", "-type", "bilevel"]),
    ("BMP, colour", "page.bmp", ["-type", "TrueColor"]),
    ("BMP, run-length 8-bit", "rle.bmp", ["-colors", "16", "-type", "Palette", "-compress", "RLE"]),
    ("GIF, palette", "page.gif", ["-colors", "64"]),
    ("TIFF G4, bilevel", "g4.tif", ["-threshold", "60%", "-type", "bilevel", "-compress", "Group4"]),
    ("TIFF LZW strips, colour", "lzw.tif", ["-compress", "LZW"]),
    ("TIFF tiles, colour", "tiled.tif", ["-compress", "LZW", "-define", "tiff:tile-geometry=256x256"]),
    ("TIFF JPEG-in-TIFF (RGBA reader)", "ojpeg.tif", ["-compress", "JPEG"]),
    ("JPEG-2000, colour", "page.jp2", []),
]


def peak_mb(tool, page):
    pid = os.posix_spawn(tool, [tool, "--jobs", "1", "-t", TEMPLATE, "--dpi", "300", page], os.environ,
                         file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                       (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
    _, status, usage = os.wait4(pid, 0)
    return usage.ru_maxrss / 1024.0, status


def main():
    tool = sys.argv[1]
    width, height = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) > 3 else (2480, 3508)
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "source.ppm")
        subprocess.run(["convert", "-size", f"{width}x{height}", "xc:#f4efe4",
                        "(", "-size", f"{width // 3}x{height // 5}", "gradient:#305080-#e0c090", ")",
                        "-geometry", f"+{width // 12}+{height // 12}", "-composite",
                        "-fill", "none", "-stroke", "black", "-strokewidth", str(max(2, width // 800)),
                        "-draw", f"rectangle {width // 12},{height // 3} {width * 11 // 12},{height * 2 // 3}",
                        "-stroke", "none", "-fill", "#202020", "-font", "DejaVu-Sans", "-pointsize", str(max(8, width // 60)),
                        "-annotate", f"+{width // 12}+{height * 3 // 4}",
                        "Morvane measures the memory of each codec path",
                        "-attenuate", "0.3", "+noise", "Gaussian", source], check=True)
        small = os.path.join(tmp, "small.png")
        subprocess.run(["convert", "-size", "64x64", "xc:white", small], check=True)
        base, _ = peak_mb(tool, small)
        pixels = width * height
        print(f"page {width} x {height} ({pixels / 1e6:.1f} Mpx); program alone {base:.1f} MB")
        print(f"{'codec path':34} {'peak MB':>8} {'bytes/pixel':>12}")
        for name, file, options in PATHS:
            path = os.path.join(tmp, file)
            made = subprocess.run(["convert", source, *options, path], capture_output=True)
            if made.returncode != 0 or not os.path.exists(path):
                print(f"{name:34} {'(ImageMagick cannot write it)':>21}")
                continue
            peak, status = peak_mb(tool, path)
            note = "" if status == 0 or os.WEXITSTATUS(status) == 1 else f"  (exit {os.WEXITSTATUS(status)})"
            print(f"{name:34} {peak:8.1f} {(peak - base) * 1048576 / pixels:12.2f}{note}")


if __name__ == "__main__":
    main()
