#!/usr/bin/env python3
"""Draws realistic pages of the example document types with ImageMagick.

Every page is drawn with new content (words in several font families, text
placed with jitter inside each layout) and then put through one scanning
condition. Pages go to OUT/<dpi>dpi/<condition>/<ID>_<n>.<ext>, where <ID> is
the sub-template ID the page must come out as, so that scripts/scan-accuracy.sh
can run the classifier per resolution and score every page.

Conditions:
  clean        the page alone, colour PNG
  jpeg50       colour JPEG at quality 50
  noise        gray page with Gaussian noise
  blur         gray page blurred by about 0.15 mm
  gray8        8-bit gray TIFF
  bilevel      1-bit TIFF (Group 4)
  tilt         turned by up to +-4 degrees, cut back to the page size
  blackbed     turned by up to +-4 degrees on a black scanner bed, 0-15 mm
  glassfull    lying on a flatbed's white glass (A4, Letter or legal), the
               whole glass scanned
  glassmargin  on white glass, scanned with 2-10 mm of glass around it

Usage: gen-pages.py [--out DIR] [--per N] [--dpis 150,200,300,400,600]
                    [--conditions a,b,...] [--classes A,B,...] [--jobs J]
                    [--start N]
"""
import argparse
import concurrent.futures
import math
import os
import random
import subprocess
import sys
import tempfile

FONTS = ["DejaVu-Sans", "DejaVu-Serif", "DejaVu-Sans-Mono", "DejaVu-Sans-Condensed",
         "DejaVu-Serif-Condensed", "DejaVu-Sans-Bold", "OCR-B-Regular"]

WORDS = ("name surname given date birth place issue expiry nationality sex height address "
         "authority number signature holder category valid from until street city county "
         "postcode reference account total amount paid balance invoice order customer item "
         "quantity price tax office department record page report notice section part "
         "morning evening river hill market garden station school bridge harbour meadow").split()

# Physical sizes in millimetres.
SIZES = {
    "IDCARD": (85.6, 54.0), "DRIVING": (85.6, 54.0), "ID1": (85.6, 54.0),
    "TD3": (125.0, 88.0), "A4": (210.0, 297.0), "A5": (148.0, 210.0),
    "LETTER": (215.9, 279.4), "FORM-T100": (210.0, 297.0), "FORM-B200": (210.0, 297.0),
    "UNKNOWN": (80.0, 230.0),
}
CLASSES = list(SIZES)
CONDITIONS = ["clean", "jpeg50", "noise", "blur", "gray8", "bilevel", "tilt", "blackbed",
              "glassfull", "glassmargin"]
GLASSES = {"A4": (210.0, 297.0), "LETTER": (215.9, 279.4), "LEGAL": (215.9, 355.6)}


def words(rng, n):
    return " ".join(rng.choice(WORDS) for _ in range(n))


class Draw:
    """Collects ImageMagick draw arguments in millimetres for one page."""

    def __init__(self, dpi):
        self.k = dpi / 25.4
        self.args = []

    def px(self, mm):
        return int(round(mm * self.k))

    def rect(self, x0, y0, x1, y1, fill="#1c1c24", stroke=None, width_mm=0.0):
        if stroke:
            self.args += ["-fill", "none", "-stroke", stroke, "-strokewidth", str(max(1, self.px(width_mm)))]
        else:
            self.args += ["-fill", fill, "-stroke", "none"]
        self.args += ["-draw", f"rectangle {self.px(x0)},{self.px(y0)} {self.px(x1)},{self.px(y1)}"]

    def line(self, x0, y0, x1, y1, width_mm, color="#18181c"):
        self.args += ["-fill", "none", "-stroke", color, "-strokewidth", str(max(1, self.px(width_mm))),
                      "-draw", f"line {self.px(x0)},{self.px(y0)} {self.px(x1)},{self.px(y1)}"]

    def ellipse(self, cx, cy, rx, ry, fill):
        self.args += ["-fill", fill, "-stroke", "none",
                      "-draw", f"ellipse {self.px(cx)},{self.px(cy)} {self.px(rx)},{self.px(ry)} 0,360"]

    def text(self, x, y, s, font, pt, color="#1a1a22"):
        # Point sizes are physical: the page density is set before drawing.
        self.args += ["-stroke", "none", "-fill", color, "-font", font, "-pointsize", f"{pt:.1f}",
                      "-annotate", f"+{self.px(x)}+{self.px(y)}", s]


def text_block(d, rng, x, y, w, h, font, pt, pitch_mm):
    """Lines of words filling roughly w x h millimetres from (x, y)."""
    yy = y + pt * 0.3528
    char_mm = pt * 0.3528 * 0.55
    while yy < y + h:
        n = max(1, int(w * rng.uniform(0.55, 1.0) / char_mm / 7))
        d.text(x, yy, words(rng, n), font, pt)
        yy += pitch_mm


def draw_card(d, rng, cls, font):
    w, h = SIZES[cls]
    j = lambda a: a + rng.uniform(-1.2, 1.2)
    # Title bar across the top.
    d.rect(j(4), j(3), j(81.6), j(7.5), fill=rng.choice(["#2a3d6b", "#5a1f2b", "#1f4a35"]))
    if cls == "ID1":
        # A plain card: text all across, a small emblem, no photo.
        d.ellipse(j(74), j(15), 5, 5, "#8a6a2a")
        text_block(d, rng, j(5), j(12), 62, 36, font, rng.uniform(6.5, 8), rng.uniform(4.2, 5.0))
        return
    photo_left = cls == "IDCARD"
    px0 = 4.3 if photo_left else 58.2
    d.rect(j(px0), j(11.9), j(px0 + 23.1), j(47.5), fill=rng.choice(["#4a4a50", "#5b534c", "#3f4650"]))
    # Face and shoulders in the photo.
    cx = px0 + 11.5
    d.ellipse(j(cx), j(24), 5.5, 7, rng.choice(["#c8b4a0", "#b09080", "#d8c0a8"]))
    d.ellipse(j(cx), 43, 8.5, 4.3, rng.choice(["#2a2a30", "#303840"]))
    tx = 32.5 if photo_left else 4.3
    text_block(d, rng, j(tx), j(13.5), 48, 30, font, rng.uniform(6.5, 8), rng.uniform(4.0, 4.8))
    # Signature scrawl below the text.
    d.line(j(tx + 2), j(48), j(tx + 20), j(46.5), 0.4)


def draw_td3(d, rng, font):
    j = lambda a: a + rng.uniform(-1.5, 1.5)
    d.rect(j(6), j(6), j(40), j(52), fill="#55555c")
    d.ellipse(j(23), j(24), 8, 10, "#c0a890")
    text_block(d, rng, j(46), j(8), 72, 48, font, rng.uniform(7, 9), rng.uniform(5, 6))
    mrz = "P<UTO" + "".join(rng.choice("ABCDEFGHIJKLMNOPQRSTUVWXYZ<") for _ in range(39))
    mrz2 = "".join(rng.choice("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ<<<<") for _ in range(44))
    d.text(j(5), 74, mrz, "OCR-B-Regular", 8.5)
    d.text(j(5), 81, mrz2, "OCR-B-Regular", 8.5)


def draw_text_page(d, rng, cls, font):
    w, h = SIZES[cls]
    m = rng.uniform(15, 25)
    top = rng.uniform(18, 30)
    d.text(m, top, words(rng, rng.randint(2, 4)).title(), font, rng.uniform(14, 20))
    pt = rng.uniform(9, 12)
    bottom = h - rng.uniform(20, 40)
    y = top + 12
    while y < bottom - 10:
        para_h = min(rng.uniform(25, 60), bottom - y)
        text_block(d, rng, m, y, w - 2 * m, para_h, font, pt, pt * 0.3528 * rng.uniform(1.35, 1.6))
        y += para_h + rng.uniform(4, 9)


def draw_receipt(d, rng, font):
    j = lambda a: a + rng.uniform(-2, 2)
    d.text(j(20), j(15), "RECEIPT", font, 14)
    y = 30
    while y < 200:
        d.text(6, y, words(rng, 2), "DejaVu-Sans-Mono", 8)
        d.text(58, y, f"{rng.randint(1, 999)}.{rng.randint(0, 99):02d}", "DejaVu-Sans-Mono", 8)
        y += rng.uniform(4.5, 6)
    d.line(5, y + 2, 75, y + 2, 0.3)


def draw_form(d, rng, cls, font):
    # The ruled layout is fixed; the whole layout shifts a little and the
    # cells carry new text on every page.
    s = rng.uniform(-1.5, 1.5)
    sx = rng.uniform(-1.0, 1.0)
    l, r = 12.7 + sx, 197.3 + sx
    title = "Form T-100" if cls == "FORM-T100" else "Form B-200"
    d.text(l, 25.4 + s + 3.8, title, font, 11)
    d.text(l + 70, 25.4 + s + 3.8, words(rng, 3), font, 9)
    if cls == "FORM-T100":
        top = 58.4 + s
        for i in range(13):
            y = top + i * 9.78
            d.line(l, y, r, y, 0.25)
        for x in (l, l + 50.8, l + 101.6, r):
            d.line(x, top, x, 175.8 + s, 0.25)
        for i in range(12):
            y = top + i * 9.78 + 6.5
            for c0, c1 in ((l, l + 50.8), (l + 50.8, l + 101.6), (l + 101.6, r)):
                if rng.random() < 0.7:
                    d.text(c0 + 2, y, words(rng, max(1, int((c1 - c0) / 22))), font, 8)
        text_block(d, rng, l, 185 + s, r - l, 60, font, 9, 5)
    else:
        y = 58.4 + s
        for hh in (30.5, 20.3, 50.8, 25.4):
            d.rect(l, y, r, y + hh, stroke="#18181c", width_mm=0.38)
            d.text(l + 2, y + 5, words(rng, 2).upper(), font, 7)
            text_block(d, rng, l + 4, y + 9, r - l - 10, hh - 12, font, 9, 5)
            y += hh + 6.35
        text_block(d, rng, l, y + 4, r - l, 30, font, 9, 5)


def document(cls, dpi, rng, path):
    """Draws one document of its physical size to `path` (colour PNG)."""
    w, h = SIZES[cls]
    d = Draw(dpi)
    font = rng.choice(FONTS)
    if cls in ("IDCARD", "DRIVING", "ID1"):
        bg = rng.choice(["#e8eef6", "#f2ece0", "#e6f0e6", "#f0e6ee", "#f4f4f0"])
        draw_card(d, rng, cls, font)
    elif cls == "TD3":
        bg = rng.choice(["#ece6f2", "#e8f0ec", "#f2eee4"])
        draw_td3(d, rng, font)
    elif cls == "UNKNOWN":
        bg = "#f8f8f4"
        draw_receipt(d, rng, font)
    elif cls.startswith("FORM"):
        bg = rng.choice(["#ffffff", "#fbfaf5", "#f7f9fb"])
        draw_form(d, rng, cls, font)
    else:
        bg = rng.choice(["#ffffff", "#fbfaf5", "#f7f7f7"])
        draw_text_page(d, rng, cls, font)
    cmd = ["convert", "-units", "PixelsPerInch", "-density", str(dpi),
           "-size", f"{d.px(w)}x{d.px(h)}", f"xc:{bg}"] + d.args + [path]
    subprocess.run(cmd, check=True)
    return w, h


def scan(cls, dpi, cond, rng, out_path):
    with tempfile.TemporaryDirectory() as tmp:
        doc = os.path.join(tmp, "doc.png")
        w, h = document(cls, dpi, rng, doc)
        k = dpi / 25.4
        dens = ["-units", "PixelsPerInch", "-density", str(dpi)]
        if cond == "clean":
            cmd = ["convert", doc] + dens + [out_path]
        elif cond == "jpeg50":
            cmd = ["convert", doc] + dens + ["-quality", "50", out_path]
        elif cond == "noise":
            cmd = ["convert", doc, "-colorspace", "Gray", "-attenuate", f"{rng.uniform(0.4, 0.9):.2f}",
                   "+noise", "Gaussian"] + dens + [out_path]
        elif cond == "blur":
            cmd = ["convert", doc, "-colorspace", "Gray", "-blur", f"0x{0.15 * k:.2f}"] + dens + [out_path]
        elif cond == "gray8":
            cmd = ["convert", doc, "-colorspace", "Gray", "-depth", "8"] + dens + ["-compress", "LZW", out_path]
        elif cond == "bilevel":
            cmd = ["convert", doc, "-colorspace", "Gray", "-threshold", "55%", "-type", "bilevel"] + dens + \
                  ["-compress", "Group4", out_path]
        elif cond == "tilt":
            a = rng.choice([-1, 1]) * rng.uniform(0.5, 4.0)
            cmd = ["convert", doc, "-background", "white", "-rotate", f"{a:.2f}", "-gravity", "center",
                   "-crop", f"{int(round(w * k))}x{int(round(h * k))}+0+0", "+repage"] + dens + \
                  ["-quality", "80", out_path]
        elif cond == "blackbed":
            a = rng.choice([-1, 1]) * rng.uniform(0.3, 4.0)
            m = [int(rng.uniform(0, 15) * k) for _ in range(4)]  # left, top, right, bottom
            bed = rng.choice(["#000000", "#0c0c0c", "#1a1a1a"])
            cmd = ["convert", doc, "-background", bed, "-rotate", f"{a:.2f}", "+repage",
                   "-bordercolor", bed, "-border", "1",
                   "-gravity", "northwest", "-splice", f"{m[0]}x{m[1]}",
                   "-gravity", "southeast", "-splice", f"{m[2]}x{m[3]}", "+repage",
                   "-attenuate", "0.3", "+noise", "Gaussian"] + dens + ["-quality", "75", out_path]
        else:  # glassfull, glassmargin
            glass = "A4" if max(w, h) < 290 else ("LETTER" if h < 280 else "LEGAL")
            if glass == "LETTER" and (w > 215 or h > 279):
                glass = "LEGAL"
            gw, gh = GLASSES[glass]
            a = rng.uniform(-1.5, 1.5)
            ox = rng.uniform(0, max(0.0, gw - w - 3))
            oy = rng.uniform(0, max(0.0, gh - h - 3))
            if rng.random() < 0.5:  # most people push the card into a corner
                ox, oy = rng.uniform(0, min(4, max(0.0, gw - w))), rng.uniform(0, min(4, max(0.0, gh - h)))
            glass_color = rng.choice(["#ffffff", "#fdfdfd", "#fafafa"])
            # A scanner lamp leaves a thin shadow along the document's edges.
            shadow = ["-bordercolor", "#b8b8b8", "-border", "1"]
            place = ["convert", "-size", f"{int(gw * k)}x{int(gh * k)}", f"xc:{glass_color}",
                     "(", doc] + shadow + ["-background", "none", "-rotate", f"{a:.2f}", ")",
                     "-geometry", f"+{int(ox * k)}+{int(oy * k)}", "-composite"]
            if cond == "glassmargin":
                mm = [rng.uniform(2, 10) for _ in range(4)]
                x0 = max(0, int((ox - mm[0]) * k))
                y0 = max(0, int((oy - mm[1]) * k))
                x1 = min(int(gw * k), int((ox + w + mm[2]) * k))
                y1 = min(int(gh * k), int((oy + h + mm[3]) * k))
                place += ["-crop", f"{x1 - x0}x{y1 - y0}+{x0}+{y0}", "+repage"]
            cmd = place + ["-attenuate", "0.2", "+noise", "Gaussian"] + dens + ["-quality", "80", out_path]
        subprocess.run(cmd, check=True)


EXT = {"clean": "png", "jpeg50": "jpg", "noise": "png", "blur": "png", "gray8": "tif", "bilevel": "tif",
       "tilt": "jpg", "blackbed": "jpg", "glassfull": "jpg", "glassmargin": "jpg"}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "build", "gen-pages"))
    ap.add_argument("--per", type=int, default=2, help="pages per class and condition")
    ap.add_argument("--dpis", default="150,200,300,400,600")
    ap.add_argument("--conditions", default=",".join(CONDITIONS))
    ap.add_argument("--classes", default=",".join(CLASSES))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--start", type=int, default=1, help="first number of the random sequence")
    args = ap.parse_args()
    dpis = [int(x) for x in args.dpis.split(",")]
    jobs = []
    n = args.start
    for cond in args.conditions.split(","):
        for cls in args.classes.split(","):
            for i in range(args.per):
                rng = random.Random(n * 7919 + 17)
                dpi = dpis[(n + i) % len(dpis)]
                # 600 dpi full glass and large pages make big files; keep them rarer.
                if len(dpis) > 1 and dpi == 600 and (cond == "glassfull" or SIZES[cls][1] > 200) and \
                        rng.random() < 0.5:
                    dpi = 300
                folder = os.path.join(args.out, f"{dpi}dpi", cond)
                os.makedirs(folder, exist_ok=True)
                jobs.append((cls, dpi, cond, rng, os.path.join(folder, f"{cls}_{n:04d}.{EXT[cond]}")))
                n += 1
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = {pool.submit(scan, *j): j for j in jobs}
        for f in concurrent.futures.as_completed(futures):
            try:
                f.result()
            except Exception as e:  # report and go on with the other pages
                failed += 1
                print(f"gen-pages: {futures[f][4]}: {e}", file=sys.stderr)
    print(f"{len(jobs) - failed} pages in {os.path.normpath(args.out)}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
