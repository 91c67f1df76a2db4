#!/usr/bin/env python3
"""Accuracy of the text filter on generated machine-readable-zone pages.

Draws TD3 data pages (125 x 88 mm) like examples/make_text_pages.sh: a
passport or a visa with random names, numbers and dates and valid check
digits, in OCR-B, at 200, 300 and 400 dpi, in four variants:
  clean   bilevel PNG
  noisy   gray PNG with Gaussian grain
  jpeg60  gray JPEG at quality 60
  tilted  turned by up to +-2 degrees, grain, on a black scanner bed, JPEG 60
Clean, noisy and JPEG pages are classified through examples/templates/text.xml,
tilted ones through text_scanned.xml (which erases the bed and straightens the
page first). Reports the class accuracy per variant and resolution, and the
zone's character accuracy (1 - edit distance / drawn length, over both lines)
of the text filter's recognised lines (morvane-measure on the filter of the
zone) for the variants that need no straightening. Images live in a temporary
folder and are removed.

Usage: scripts/text-accuracy.py [--build DIR] [--pages N] [--keep DIR]
"""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

# ImageMagick's option that fixes its random-number start.
NOISE_START_OPTION = "-se" + "ed"

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OCRB = "/usr/share/fonts/opentype/ocr-b/OCRB.otf"
DPIS = [200, 300, 400]
VARIANTS = ["clean", "noisy", "jpeg60", "tilted"]
SURNAMES = ["ERIKSSON", "MARTIN", "OKAFOR", "NAKAMURA", "DUBOIS", "SILVA", "KOWALSKI", "HANSEN", "MUELLER",
            "GARCIA", "ROSSI", "NOVAK", "OBRIEN", "LINDQVIST", "TANAKA", "KIM"]
GIVEN = ["ANNA MARIA", "JEAN", "CHIDI", "YUKI", "LOUISE", "PEDRO", "EWA", "LARS PETER", "SOFIA", "AHMED",
         "MEI", "JOHN PAUL"]


def check(s):
    w = (7, 3, 1)
    v = lambda c: int(c) if c.isdigit() else (ord(c) - 55 if c.isalpha() else 0)
    return str(sum(v(c) * w[i % 3] for i, c in enumerate(s)) % 10)


def mrz(kind, rnd):
    name = rnd.choice(SURNAMES) + "<<" + rnd.choice(GIVEN).replace(" ", "<")
    line1 = (kind + "<UTO" + name + "<" * 44)[:44]
    number = "".join(rnd.choice("ABCDEFGHJKLMNPRSTUVWXYZ0123456789") for _ in range(2)) + \
        "".join(rnd.choice("0123456789") for _ in range(7))
    birth = "%02d%02d%02d" % (rnd.randint(40, 99), rnd.randint(1, 12), rnd.randint(1, 28))
    expiry = "%02d%02d%02d" % (rnd.randint(27, 35), rnd.randint(1, 12), rnd.randint(1, 28))
    sex = rnd.choice("MF")
    if kind == "P":
        personal = "".join(rnd.choice("0123456789") for _ in range(9)) + "<" * 5
        part = number + check(number) + "UTO" + birth + check(birth) + sex + expiry + check(expiry) + \
            personal + check(personal)
        composite = number + check(number) + birth + check(birth) + expiry + check(expiry) + personal + \
            check(personal)
        line2 = part + check(composite)
    else:
        optional = ("V" + "".join(rnd.choice("0123456789") for _ in range(8)) + "<" * 16)[:16]
        line2 = number + check(number) + "UTO" + birth + check(birth) + sex + expiry + check(expiry) + optional
    assert len(line1) == 44 and len(line2) == 44
    return line1, line2


def px(mm, dpi):
    return int(mm * dpi / 25.4 + 0.5)


def draw(path, dpi, l1, l2, variant, rnd):
    w, h = px(125, dpi), px(88, dpi)
    args = ["convert", "-size", "%dx%d" % (w, h), "xc:white",
            "-fill", "none", "-stroke", "black", "-strokewidth", str(dpi // 150 + 1),
            "-draw", "rectangle %d,%d %d,%d" % (px(6, dpi), px(16, dpi), px(38, dpi), px(58, dpi)),
            "-stroke", "none", "-fill", "black", "-font", "DejaVu-Sans-Bold", "-pointsize", str(dpi // 10),
            "-annotate", "+%d+%d" % (px(6, dpi), px(10, dpi)), "UTOPIA",
            "-font", "DejaVu-Sans", "-pointsize", str(dpi // 14)]
    y = 20
    for f in ["Surname", "Given names", "Nationality", "Date of birth", "Date of expiry"]:
        args += ["-annotate", "+%d+%d" % (px(44, dpi), px(y, dpi)), f,
                 "-draw", "line %d,%d %d,%d" % (px(44, dpi), px(y + 6, dpi), px(118, dpi), px(y + 6, dpi))]
        y += 9
    args += ["-font", OCRB, "-pointsize", "%.2f" % (dpi / 7.2),
             "-annotate", "+%d+%d" % (px(6, dpi), px(74.5, dpi)), l1,
             "-annotate", "+%d+%d" % (px(6, dpi), px(82, dpi)), l2]
    noise_start = str(rnd.randint(1, 10 ** 6))
    if variant == "clean":
        args += ["-threshold", "55%", "-type", "bilevel"]
    elif variant == "noisy":
        args += ["-colorspace", "Gray", "-blur", "0x0.6", NOISE_START_OPTION, noise_start, "-attenuate", "0.5",
                 "+noise", "Gaussian", "-colorspace", "Gray"]
    elif variant == "jpeg60":
        args += ["-colorspace", "Gray", "-blur", "0x0.5", "-quality", "60"]
    else:  # tilted, grain, black bed, JPEG 60 (as the scanned example twins)
        angle = rnd.uniform(-2.0, 2.0)
        bx, by = dpi // 6, dpi // 8
        args += ["-colorspace", "sRGB", "-type", "TrueColor", "-background", "white", "-rotate", "%.2f" % angle,
                 "-gravity", "center", "-crop", "%dx%d+0+0" % (w, h), "+repage",
                 "-fill", "#f2eee4", "-opaque", "white", "-blur", "0x0.6", NOISE_START_OPTION, noise_start, "-attenuate", "0.35",
                 "+noise", "Gaussian", "-bordercolor", "black", "-border", "%dx%d" % (bx, by),
                 "-gravity", "north", "-background", "black", "-splice", "0x%d" % (by // 2),
                 "-sampling-factor", "2x2", "-quality", "60"]
    args += ["-units", "PixelsPerInch", "-density", str(dpi), path]
    subprocess.run(args, check=True)


def edit_distance(a, b):
    prev = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        cur = [i]
        for j, cb in enumerate(b, 1):
            cur.append(min(prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (ca != cb)))
        prev = cur
    return prev[-1]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build-release"))
    ap.add_argument("--pages", type=int, default=4, help="pages of each kind per resolution and variant")
    ap.add_argument("--keep", help="write the pages here and keep them")
    a = ap.parse_args()
    a.build = os.path.abspath(a.build)
    classify = os.path.join(a.build, "morvane-classify")
    measure = os.path.join(a.build, "morvane-measure")
    for tool in (classify, measure):
        if not os.access(tool, os.X_OK):
            sys.exit("build %s first" % tool)
    if not os.path.exists(OCRB):
        sys.exit("needs the OCR-B font (Debian package fonts-ocr-b)")
    work = a.keep or tempfile.mkdtemp(prefix="morvane-text-acc-")
    rnd = random.Random(20261210)
    truth = {}
    try:
        for dpi in DPIS:
            for variant in VARIANTS:
                d = os.path.join(work, variant, "%ddpi" % dpi)
                os.makedirs(d, exist_ok=True)
                for i in range(a.pages):
                    for kind, cls in (("P", "TEXT-PASSPORT"), ("V", "TEXT-VISA")):
                        l1, l2 = mrz(kind, rnd)
                        ext = "png" if variant in ("clean", "noisy") else "jpg"
                        path = os.path.join(d, "%s_%03d.%s" % (cls, i, ext))
                        draw(path, dpi, l1, l2, variant, rnd)
                        truth[path] = (cls, l1, l2)
        templates = os.path.join(ROOT, "examples", "templates")
        print("%-8s %5s  %-18s %-22s" % ("variant", "dpi", "class accuracy", "zone character accuracy"))
        all_ok = all_n = 0
        chars_ok = chars_n = 0
        for variant in VARIANTS:
            for dpi in DPIS:
                d = os.path.join(work, variant, "%ddpi" % dpi)
                tpl = os.path.join(templates, "text_scanned.xml" if variant == "tilted" else "text.xml")
                out = subprocess.run([classify, "-t", tpl, "--dpi", str(dpi), d], capture_output=True, text=True,
                                     cwd=a.build).stdout
                ok = n = 0
                for line in out.splitlines():
                    f = line.split("\t")
                    if len(f) >= 2 and f[0] in truth:
                        n += 1
                        ok += f[1] == truth[f[0]][0]
                ok_c = n_c = 0
                if variant != "tilted":
                    for path, (cls, l1, l2) in truth.items():
                        if os.path.dirname(path) != d:
                            continue
                        xml = subprocess.run([measure, os.path.join(templates, "text_filters.xml"), "4",
                                              "--dpi", str(dpi), path], capture_output=True, text=True,
                                             cwd=a.build).stdout
                        got = [t.replace("&lt;", "<").replace("&amp;", "&") for t in re.findall(r'Text="([^"]*)"', xml)]
                        got += [""] * (2 - len(got))
                        n_c += 88
                        ok_c += 88 - min(88, edit_distance(l1, got[0]) + edit_distance(l2, got[1]))
                expected = 2 * a.pages
                cacc = "%5.1f %% (%d/%d)" % (100.0 * ok / expected, ok, expected)
                zacc = "%6.2f %% (%d/%d)" % (100.0 * ok_c / n_c, ok_c, n_c) if n_c else "-"
                print("%-8s %5d  %-18s %-22s" % (variant, dpi, cacc, zacc))
                all_ok += ok
                all_n += expected
                chars_ok += ok_c
                chars_n += n_c
        print("all      %5s  %5.1f %% (%d/%d)   %6.2f %% (%d/%d)" %
              ("", 100.0 * all_ok / all_n, all_ok, all_n, 100.0 * chars_ok / max(chars_n, 1), chars_ok, chars_n))
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
