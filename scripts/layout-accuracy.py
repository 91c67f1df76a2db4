#!/usr/bin/env python3
"""Accuracy of text-line and character location on generated pages.

Draws text regions with ImageMagick (DejaVu Sans for 1 to 12 lines of Latin
text and digits, OCR-B for machine-readable zones of 2 x 44 and 3 x 30
characters) at 150, 200, 300 and 400 dpi, clean, with light noise and with
JPEG artefacts. Every glyph is rendered once by ImageMagick and placed by
this script, so the box of every drawn glyph and line is known. The pages are
binarised by the library's own gray-to-binary conversion inside
morvane-layout-accuracy, which locates the lines and the characters.

Measures line recall and precision (a found line matches a drawn one when
their intersection over union is at least 0.5, one to one) and, on the OCR-B
zones, character-box recall (a drawn glyph counts when a found box has all
four edges within 2 pixels of its ink box).

Usage: scripts/layout-accuracy.py [--build DIR] [--method N] [--quick]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DPIS = [150, 200, 300, 400]
CONDITIONS = ["clean", "noise", "jpeg"]
LATIN_PT = 10.0
OCRB_PT = 11.0


def find_font(family_pattern, style_exclude=()):
    out = subprocess.run(["fc-list", "--format", "%{file}\n"], capture_output=True, text=True).stdout
    for path in sorted(out.split()):
        name = os.path.basename(path)
        if name == family_pattern:
            return path
    sys.exit("font %s not found (install fonts-dejavu-core and fonts-ocr-b)" % family_pattern)


def read_pgm(data):
    # Binary PGM: "P5 w h 255" then the pixels.
    parts = []
    i = 0
    while len(parts) < 4:
        while data[i:i + 1].isspace():
            i += 1
        if data[i:i + 1] == b"#":
            while data[i:i + 1] not in (b"\n", b""):
                i += 1
            continue
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        parts.append(data[i:j])
        i = j
    i += 1
    w, h = int(parts[1]), int(parts[2])
    return np.frombuffer(data[i:i + w * h], dtype=np.uint8).reshape(h, w)


def write_pgm(path, img):
    with open(path, "wb") as f:
        f.write(b"P5 %d %d 255\n" % (img.shape[1], img.shape[0]))
        f.write(np.ascontiguousarray(img, dtype=np.uint8).tobytes())


class GlyphCache:
    """Bitmaps of single characters rendered by ImageMagick's label: coder."""

    def __init__(self, font, pt, dpi):
        self.font, self.pt, self.dpi = font, pt, dpi
        self.cache = {}

    def render(self, text):
        cmd = ["convert", "-density", str(self.dpi), "-font", self.font, "-pointsize", str(self.pt),
               "-background", "white", "-fill", "black", "label:" + text, "-colorspace", "gray", "-depth", "8",
               "pgm:-"]
        return read_pgm(subprocess.run(cmd, capture_output=True, check=True).stdout)

    def glyph(self, ch):
        if ch not in self.cache:
            if ch == " ":
                a = self.render("nn").shape[1]
                b = self.render("n n").shape[1]
                self.cache[ch] = (None, b - a)
            else:
                bmp = self.render("\\" + ch if ch in "@\\" else ch)
                self.cache[ch] = (bmp, bmp.shape[1])
        return self.cache[ch]


def draw_lines(texts, cache, spacing, margin):
    """Places the lines; returns the page and, per line, the ink boxes of its glyphs."""
    laid = []
    width = 0
    for t in texts:
        x = 0
        row = []
        for ch in t:
            bmp, adv = cache.glyph(ch)
            if bmp is not None:
                row.append((x, bmp))
            x += adv
        laid.append(row)
        width = max(width, x)
    line_h = max(b.shape[0] for row in laid for _, b in row)
    H = int(2 * margin + spacing * (len(texts) - 1) + line_h)
    W = int(2 * margin + width)
    page = np.full((H, W), 255, dtype=np.uint8)
    glyph_boxes = []
    for i, row in enumerate(laid):
        top = int(margin + i * spacing)
        boxes = []
        for x, bmp in row:
            left = int(margin + x)
            h, w = bmp.shape
            region = page[top:top + h, left:left + w]
            np.minimum(region, bmp[:region.shape[0], :region.shape[1]], out=region)
            ys, xs = np.nonzero(bmp < 128)
            if len(xs):
                boxes.append((left + xs.min(), top + ys.min(), left + xs.max() + 1, top + ys.max() + 1))
        glyph_boxes.append(boxes)
    return page, glyph_boxes


def degrade(page, condition, rng, tmp):
    if condition == "clean":
        return page
    if condition == "noise":
        noisy = page.astype(np.float32) + rng.normal(0.0, 12.0, page.shape)
        specks = rng.random(page.shape)
        noisy[specks < 0.001] = 0
        noisy[specks > 0.999] = 255
        return np.clip(noisy, 0, 255).astype(np.uint8)
    src = os.path.join(tmp, "jpeg-in.pgm")
    jpg = os.path.join(tmp, "jpeg.jpg")
    write_pgm(src, page)
    subprocess.run(["convert", src, "-quality", "30", jpg], check=True)
    return read_pgm(subprocess.run(["convert", jpg, "-depth", "8", "pgm:-"], capture_output=True,
                                   check=True).stdout)


WORDS = ("the of and document number date birth expiry nationality surname given names place issue authority "
         "Republic Kingdom licence passport card holder signature address valid until category class").split()


def latin_line(rng):
    words = []
    for _ in range(int(rng.integers(3, 9))):
        r = rng.random()
        if r < 0.25:
            words.append("".join(str(int(d)) for d in rng.integers(0, 10, int(rng.integers(2, 9)))))
        else:
            w = WORDS[int(rng.integers(0, len(WORDS)))]
            words.append(w.capitalize() if rng.random() < 0.3 else w)
    return " ".join(words)


MRZ_CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<"


def mrz_line(rng, n):
    s = []
    while len(s) < n:
        if rng.random() < 0.2:
            s.extend("<" * int(rng.integers(1, 6)))
        else:
            s.append(MRZ_CHARS[int(rng.integers(0, 36))])
    return "".join(s[:n])


def iou(a, b):
    iw = max(0, min(a[2], b[2]) - max(a[0], b[0]))
    ih = max(0, min(a[3], b[3]) - max(a[1], b[1]))
    inter = iw * ih
    union = (a[2] - a[0]) * (a[3] - a[1]) + (b[2] - b[0]) * (b[3] - b[1]) - inter
    return inter / union if union > 0 else 0.0


def match_lines(truth, found):
    used = set()
    hits = 0
    for t in truth:
        best, best_i = 0.5, None
        for i, f in enumerate(found):
            if i in used:
                continue
            v = iou(t, f)
            if v >= best:
                best, best_i = v, i
        if best_i is not None:
            used.add(best_i)
            hits += 1
    return hits


def match_chars(truth, found, tol=2):
    used = set()
    hits = 0
    for t in truth:
        for i, f in enumerate(found):
            if i not in used and all(abs(t[k] - f[k]) <= tol for k in range(4)):
                used.add(i)
                hits += 1
                break
    return hits


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build-accuracy"))
    ap.add_argument("--method", type=int, default=6, help="binarisation method of the library (default 6)")
    ap.add_argument("--quick", action="store_true", help="fewer pages")
    ap.add_argument("--keep", help="directory to keep the generated pages in")
    args = ap.parse_args()

    tool = os.path.join(args.build, "morvane-layout-accuracy")
    if not os.path.exists(tool):
        subprocess.run(["cmake", "-S", ROOT, "-B", args.build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                        "-DMORVANE_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", args.build, "--target", "morvane-layout-accuracy"], check=True,
                        stdout=subprocess.DEVNULL)
    dejavu = find_font("DejaVuSans.ttf")
    ocrb = find_font("OCRB.otf")
    rng = np.random.default_rng(20251210)
    tmp = tempfile.mkdtemp(prefix="layout-accuracy-")
    line_counts = [1, 2, 3, 5, 8, 12] if not args.quick else [1, 4, 12]
    rows = []
    try:
        for dpi in DPIS:
            latin = GlyphCache(dejavu, LATIN_PT, dpi)
            mrz = GlyphCache(ocrb, OCRB_PT, dpi)
            em_l = LATIN_PT * dpi / 72.0
            em_o = OCRB_PT * dpi / 72.0
            # Pages of this resolution: (kind, texts, cache, em, spacing)
            pages = []
            for n in line_counts:
                pages.append(("latin", [latin_line(rng) for _ in range(n)], latin, em_l, 1.6 * em_l))
            for k in range(2 if args.quick else 4):
                pages.append(("mrz", [mrz_line(rng, 44) for _ in range(2)], mrz, em_o, 1.5 * em_o))
                pages.append(("mrz", [mrz_line(rng, 30) for _ in range(3)], mrz, em_o, 1.5 * em_o))
            for cond in CONDITIONS:
                jobs = []
                truths = []
                for p, (kind, texts, cache, em, spacing) in enumerate(pages):
                    page, glyphs = draw_lines(texts, cache, spacing, 0.6 * em)
                    page = degrade(page, cond, rng, tmp)
                    path = os.path.join(args.keep or tmp, "%s-%d-%s-%02d.pgm" % (kind, dpi, cond, p))
                    if args.keep:
                        os.makedirs(args.keep, exist_ok=True)
                    write_pgm(path, page)
                    lines = [(min(b[0] for b in g), min(b[1] for b in g), max(b[2] for b in g),
                              max(b[3] for b in g)) for g in glyphs if g]
                    truths.append((kind, lines, [b for g in glyphs for b in g]))
                    limits = {
                        "lineMinH": int(0.4 * em), "lineMaxH": int(1.4 * em), "lineMinSp": int(0.15 * em),
                        "lineMaxSp": int(3 * em), "lineMinLen": int(1 * em), "lineMaxLen": page.shape[1],
                        "charMinW": max(1, int(0.05 * em)), "charMaxW": int(0.8 * em), "charMinH": int(0.3 * em),
                        "charMaxH": int(1.1 * em), "charMinR": 5, "charMaxR": 160,
                    }
                    mode = "text" if kind == "mrz" else "lines"
                    jobs.append("%s %d %s %s" % (path, args.method, mode,
                                                 " ".join("%s=%d" % kv for kv in limits.items())))
                job_file = os.path.join(tmp, "jobs.txt")
                with open(job_file, "w") as f:
                    f.write("\n".join(jobs) + "\n")
                out = subprocess.run([tool, job_file], capture_output=True, text=True, check=True).stdout
                found = []
                for ln in out.splitlines():
                    parts = ln.split()
                    if parts[0] == "P":
                        found.append(([], []))
                    elif parts[0] == "L":
                        found[-1][0].append(tuple(int(v) for v in parts[1:5]))
                    elif parts[0] == "C":
                        found[-1][1].append(tuple(int(v) for v in parts[1:5]))
                stats = {"lines": 0, "found": 0, "line_hits": 0, "found_hits": 0, "glyphs": 0, "glyph_hits": 0}
                for (kind, lines, glyph_boxes), (flines, fchars) in zip(truths, found):
                    hits = match_lines(lines, flines)
                    stats["lines"] += len(lines)
                    stats["found"] += len(flines)
                    stats["line_hits"] += hits
                    if kind == "mrz":
                        stats["glyphs"] += len(glyph_boxes)
                        stats["glyph_hits"] += match_chars(glyph_boxes, fchars)
                rows.append((dpi, cond, len(pages), stats))
                print("%d dpi %-5s done" % (dpi, cond), file=sys.stderr)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    print("| dpi | condition | pages | drawn lines | line recall | line precision | OCR-B glyphs | char-box recall |")
    print("|---|---|---|---|---|---|---|---|")
    for dpi, cond, n, s in rows:
        rec = s["line_hits"] / s["lines"] if s["lines"] else 0.0
        prec = s["line_hits"] / s["found"] if s["found"] else 0.0
        crec = s["glyph_hits"] / s["glyphs"] if s["glyphs"] else 0.0
        print("| %d | %s | %d | %d | %.3f | %.3f | %d | %.3f |" % (dpi, cond, n, s["lines"], rec, prec,
                                                                   s["glyphs"], crec))


if __name__ == "__main__":
    main()
