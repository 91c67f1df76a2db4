#!/usr/bin/env python3
"""Accuracy of the zone template set (examples/templates/zones.xml) on
generated machine-readable-zone pages.

Draws the TD3 passport and visa pages of scripts/text-accuracy.py (OCR-B,
random names, numbers and dates with valid check digits; 200, 300 and 400
dpi; clean, noisy, JPEG 60 and tilted on a black scanner bed) and classifies
them through zones.xml without telling the resolution (the zone set needs
none) with --mrz. Reports per variant and resolution: classes right, zone
characters right as read and after decoding (place by place, over both
lines) and zones valid after decoding and equal to the drawn zone.

Photo conditions (one row each, no resolution: the pages are photos): the
same data page drawn at 400 dpi, printed in dark ink on tinted paper and
photographed (NumPy and PIL) as a colour JPEG about 2000 px wide:
  photo      the plain photo: page on a table, level, even light, JPEG 90
  persp      camera tilted by 3-8 degrees (keystone) and turned by +-3
  light      uneven light (a gradient down to half) and a soft shadow edge
             across the page
  jpeg       JPEG quality 40-70
  screen     the page shown in a viewer on a screen (title bar, side panel,
             buttons) and photographed: pixel grid, moire, glare
  thumb      the page cut out and shrunk to a thumbnail 250-700 px wide
  texture    a textured background (wood grain, fabric, speckled stone)
  guilloche  fine coloured wave lines printed behind the text and the zone
  turned     the photo turned by half a turn (+-2 degrees)
  mixed      perspective, uneven light, texture, guilloche and JPEG 40-70
             at once

With --confusions, lists the characters read wrongly as read (drawn ->
read: count), over every page, and every zone not decoded as drawn (drawn,
read and decoded lines). --dpi and --variant keep only the given
resolutions and variants (repeatable), for a quicker look at one condition.

Usage: scripts/zone-accuracy.py [--build DIR] [--pages N] [--keep DIR]
                                [--confusions] [--dpi N] [--variant NAME]
"""
import argparse
import collections
import importlib.util
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile

try:
    import numpy as np
    from PIL import Image, ImageDraw, ImageFont
except ImportError:  # only the photo conditions need them
    np = None

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
modspec = importlib.util.spec_from_file_location("textacc", os.path.join(ROOT, "scripts", "text-accuracy.py"))
textacc = importlib.util.module_from_spec(modspec)
modspec.loader.exec_module(textacc)

CLASSES = {"P": "ZONE-PASSPORT", "V": "ZONE-VISA-A"}
PHOTOS = ["photo", "persp", "light", "jpeg", "screen", "thumb", "texture", "guilloche", "turned", "mixed"]
DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def document(l1, l2, rnd, work, guilloche):
    """The data page at 400 dpi as an RGB float image: dark blue-black ink
    on tinted paper, optionally with guilloche waves behind everything."""
    base = os.path.join(work, "base.png")
    textacc.draw(base, 400, l1, l2, "clean", rnd)
    ink = 1.0 - np.asarray(Image.open(base).convert("L"), dtype=np.float32) / 255.0
    h, w = ink.shape
    paper = np.empty((h, w, 3), np.float32)
    paper[...] = np.array([rnd.uniform(0.9, 0.98), rnd.uniform(0.88, 0.96), rnd.uniform(0.82, 0.93)], np.float32)
    if guilloche:
        yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
        lines = np.zeros((h, w), np.float32)
        for _ in range(3):
            spacing = rnd.uniform(14, 30)
            amp, wave, phase = rnd.uniform(20, 90), rnd.uniform(150, 500), rnd.uniform(0, 6.3)
            f = (yy + amp * np.sin(2 * np.pi * xx / wave + phase) + 0.3 * amp * np.sin(2 * np.pi * yy / (0.7 * wave))) / spacing
            d = np.abs(f - np.round(f)) * spacing  # distance to the nearest wave line, pixels
            lines = np.maximum(lines, np.clip(1.0 - d / rnd.uniform(1.2, 2.2), 0, 1))
        tint = np.array([rnd.uniform(0.3, 0.8), rnd.uniform(0.3, 0.7), rnd.uniform(0.5, 0.9)], np.float32)
        strength = rnd.uniform(0.5, 0.8)
        paper *= 1.0 - strength * lines[..., None] * (1.0 - tint)
    inkc = np.array([0.08, 0.08, 0.14], np.float32)
    return paper * (1.0 - ink[..., None] * (1.0 - inkc))


def background(w, h, rnd, textured):
    """A table top: plain with a little grain, or wood, fabric or stone."""
    bg = np.empty((h, w, 3), np.float32)
    bg[...] = np.array([rnd.uniform(0.3, 0.6)] * 3, np.float32) * np.array([1.0, 0.95, 0.9], np.float32)
    if not textured:
        return bg
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    kind = rnd.choice(["wood", "fabric", "stone"])
    nrs = np.random.RandomState(rnd.randint(0, 2 ** 31 - 1))
    if kind == "wood":
        grain = np.sin(xx / rnd.uniform(6, 14) + 3 * np.sin(yy / rnd.uniform(80, 200)) + 0.02 * yy)
        v = 0.45 + 0.12 * grain + 0.05 * np.sin(xx / 2.5)
        bg = v[..., None] * np.array([1.0, 0.72, 0.45], np.float32)
    elif kind == "fabric":
        weave = np.sin(xx * 1.3) * np.sin(yy * 1.3) + 0.5 * np.sin((xx + yy) / 3.1)
        v = 0.5 + 0.12 * weave
        bg = v[..., None] * np.array([rnd.uniform(0.4, 1), rnd.uniform(0.4, 1), rnd.uniform(0.4, 1)], np.float32)
    else:
        small = nrs.rand(h // 8 + 1, w // 8 + 1).astype(np.float32)
        blot = np.asarray(Image.fromarray((small * 255).astype(np.uint8)).resize((w, h), Image.BICUBIC),
                          np.float32) / 255.0
        v = 0.35 + 0.3 * blot + 0.15 * (nrs.rand(h, w).astype(np.float32) > 0.93)
        bg = np.repeat(v[..., None], 3, axis=2)
    return np.clip(bg, 0, 1).astype(np.float32)


def perspective_coeffs(dst, src):
    """PIL's PERSPECTIVE coefficients mapping the output quad dst onto the
    input quad src (corners in the same order)."""
    a, b = [], []
    for (x, y), (u, v) in zip(dst, src):
        a.append([x, y, 1, 0, 0, 0, -u * x, -u * y])
        a.append([0, 0, 0, x, y, 1, -v * x, -v * y])
        b += [u, v]
    return np.linalg.solve(np.array(a, np.float64), np.array(b, np.float64)).tolist()


def place(doc, canvas, rnd, turn, keystone):
    """Pastes the page onto the canvas (both RGB float) turned by `turn`
    degrees and seen by a camera tilted by `keystone` degrees."""
    h, w = doc.shape[:2]
    ch, cw = canvas.shape[:2]
    scale = rnd.uniform(0.62, 0.8) * cw / w
    dw, dh = w * scale, h * scale
    cx, cy = cw / 2 + rnd.uniform(-0.05, 0.05) * cw, ch / 2 + rnd.uniform(-0.05, 0.05) * ch
    quad = [(-dw / 2, -dh / 2), (dw / 2, -dh / 2), (dw / 2, dh / 2), (-dw / 2, dh / 2)]
    if keystone:
        # The far edge shrinks and the page foreshortens as the camera tilts.
        k = np.tan(np.radians(keystone)) * 1.0
        side = rnd.randrange(4)
        out = []
        for x, y in quad:
            if side < 2:  # top or bottom edge away from the camera
                far = (y < 0) == (side == 0)
                out.append((x * (1 - k) if far else x * (1 + 0.3 * k), y * (1 - 0.5 * k)))
            else:  # left or right
                far = (x < 0) == (side == 2)
                out.append((x * (1 - 0.5 * k), y * (1 - k) if far else y * (1 + 0.3 * k)))
        quad = out
    t = np.radians(turn)
    quad = [(cx + x * np.cos(t) - y * np.sin(t), cy + x * np.sin(t) + y * np.cos(t)) for x, y in quad]
    src = [(0, 0), (w, 0), (w, h), (0, h)]
    coeffs = perspective_coeffs(quad, src)
    img = Image.fromarray((np.clip(doc, 0, 1) * 255).astype(np.uint8))
    warped = img.transform((cw, ch), Image.PERSPECTIVE, coeffs, Image.BICUBIC)
    mask = Image.new("L", (w, h), 255).transform((cw, ch), Image.PERSPECTIVE, coeffs, Image.BILINEAR)
    m = np.asarray(mask, np.float32)[..., None] / 255.0
    return canvas * (1 - m) + np.asarray(warped, np.float32) / 255.0 * m


def uneven_light(img, rnd):
    """A light gradient down to about half, and a soft shadow edge."""
    h, w = img.shape[:2]
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    a = rnd.uniform(0, 2 * np.pi)
    g = (np.cos(a) * (xx / w - 0.5) + np.sin(a) * (yy / h - 0.5))  # -0.7 .. 0.7
    light = 1.0 - rnd.uniform(0.3, 0.5) * (g - g.min()) / max(float(g.max() - g.min()), 1e-6)
    b = rnd.uniform(0, 2 * np.pi)
    d = np.cos(b) * (xx - rnd.uniform(0.3, 0.7) * w) + np.sin(b) * (yy - rnd.uniform(0.3, 0.7) * h)
    soft = rnd.uniform(0.01, 0.05) * w
    shadow = 1.0 - rnd.uniform(0.3, 0.5) / (1.0 + np.exp(-d / soft))
    return img * (light * shadow)[..., None]


def screen_shot(doc, rnd):
    """The page shown in a viewer window on a screen, as screen pixels."""
    sw, sh = 1440, 900
    ui = Image.new("RGB", (sw, sh), (rnd.randint(225, 245),) * 3)
    d = ImageDraw.Draw(ui)
    font = ImageFont.truetype(DEJAVU, 15) if os.path.exists(DEJAVU) else ImageFont.load_default()
    d.rectangle([0, 0, sw, 44], fill=(40, 44, 52))
    d.text((16, 12), "Documents  >  scan_%04d.jpg" % rnd.randint(0, 9999), fill=(230, 230, 230), font=font)
    for i, label in enumerate(["Share", "Edit", "Rotate", "Delete"]):
        d.rounded_rectangle([sw - 360 + i * 88, 8, sw - 290 + i * 88, 36], 6, fill=(70, 110, 200))
        d.text((sw - 352 + i * 88, 13), label, fill=(255, 255, 255), font=font)
    d.rectangle([0, 44, 210, sh], fill=(250, 250, 250))
    for i in range(6):
        d.rectangle([20, 64 + i * 130, 190, 174 + i * 130], fill=(200, 200, 205), outline=(150, 150, 150))
        d.text((24, 178 + i * 130 - 24), "IMG_%04d" % rnd.randint(0, 9999), fill=(60, 60, 60), font=font)
    d.rectangle([0, sh - 30, sw, sh], fill=(60, 60, 60))
    d.text((12, sh - 25), "100%%   page 1 of 1   %d x %d" % (doc.shape[1], doc.shape[0]), fill=(220, 220, 220), font=font)
    vw = rnd.randint(1000, 1180)
    page = Image.fromarray((np.clip(doc, 0, 1) * 255).astype(np.uint8))
    page = page.resize((vw, int(vw * doc.shape[0] / doc.shape[1])), Image.LANCZOS)
    ui.paste(page, (220 + (sw - 220 - vw) // 2, 44 + (sh - 74 - page.size[1]) // 2))
    return np.asarray(ui, np.float32) / 255.0


def pixel_grid(img):
    """Each screen pixel as three sub-pixel stripes with dark gaps."""
    h, w = img.shape[:2]
    big = np.repeat(np.repeat(img, 3, axis=0), 3, axis=1) * 0.6
    for c in range(3):
        big[:, c::3, c] /= 0.6  # the lit sub-pixel of its colour
    big[2::3, :, :] *= 0.7  # the darker row between pixel rows
    # The lens blurs the grid a little before the sensor samples it.
    small = Image.fromarray((np.clip(big, 0, 1) * 255).astype(np.uint8)).reduce(2)
    return np.asarray(small, np.float32) / 255.0


def photo_page(path, l1, l2, condition, rnd, work):
    """Draws one photo condition of the data page into `path` (JPEG)."""
    mixed = condition == "mixed"
    doc = document(l1, l2, rnd, work, guilloche=condition in ("guilloche", "mixed"))
    quality = rnd.randint(40, 70) if condition in ("jpeg", "mixed") else 90
    if condition == "screen":
        shot = pixel_grid(screen_shot(doc, rnd))
        cw, ch = 2000, 1500
        canvas = np.empty((ch, cw, 3), np.float32)
        canvas[...] = 0.08
        # The screen fills most of the photo, seen slightly off-axis; the
        # sub-pixel grid sampled by the camera makes the moire.
        img = place(shot, canvas, rnd, rnd.uniform(-2, 2), rnd.uniform(0, 4))
        yy, xx = np.mgrid[0:ch, 0:cw].astype(np.float32)
        glare = 0.25 * np.exp(-(((xx - rnd.uniform(0.2, 0.8) * cw) / (0.25 * cw)) ** 2 +
                                ((yy - rnd.uniform(0.2, 0.8) * ch) / (0.25 * ch)) ** 2))
        img = img * 1.6 + glare[..., None]
    else:
        cw, ch = 2000, 1500
        canvas = background(cw, ch, rnd, textured=condition in ("texture", "mixed"))
        turn = rnd.uniform(-3, 3) if condition in ("persp", "mixed") else rnd.uniform(-1, 1)
        keystone = rnd.uniform(3, 8) if condition in ("persp", "mixed") else 0
        if condition == "thumb":
            # The page alone, cut out with a little table around it.
            canvas = background(int(doc.shape[1] * 1.08), int(doc.shape[0] * 1.1), rnd, False)
            h, w = doc.shape[:2]
            y0, x0 = (canvas.shape[0] - h) // 2, (canvas.shape[1] - w) // 2
            canvas[y0:y0 + h, x0:x0 + w] = doc
            img = canvas
        else:
            img = place(doc, canvas, rnd, turn, keystone)
        if condition in ("light", "mixed"):
            img = uneven_light(img, rnd)
    nrs = np.random.RandomState(rnd.randint(0, 2 ** 31 - 1))
    img = img + nrs.normal(0, 0.015, img.shape).astype(np.float32)
    out = Image.fromarray((np.clip(img, 0, 1) * 255).astype(np.uint8))
    if condition == "thumb":
        tw = rnd.randint(250, 700)
        out = out.resize((tw, max(1, round(out.size[1] * tw / out.size[0]))), Image.LANCZOS)
        quality = 80
    if condition == "turned":
        out = out.rotate(180 + rnd.uniform(-2, 2), Image.BICUBIC, expand=False, fillcolor=(90, 85, 80))
    out.save(path, quality=quality)


def right(read, printed):
    return sum(sum(1 for x, y in zip(a, b) if x == y) for a, b in zip(read, printed))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build-release"))
    ap.add_argument("--pages", type=int, default=4, help="pages of each kind per resolution and variant")
    ap.add_argument("--keep", help="write the pages here and keep them")
    ap.add_argument("--confusions", action="store_true", help="list the characters read wrongly")
    ap.add_argument("--dpi", type=int, action="append", help="only this resolution (repeatable)")
    ap.add_argument("--variant", action="append", choices=textacc.VARIANTS + PHOTOS,
                    help="only this variant or photo condition (repeatable)")
    a = ap.parse_args()
    classify = os.path.join(os.path.abspath(a.build), "morvane-classify")
    if not os.access(classify, os.X_OK):
        sys.exit("build %s first" % classify)
    if not os.path.exists(textacc.OCRB):
        sys.exit("needs the OCR-B font (Debian package fonts-ocr-b)")
    work = a.keep or tempfile.mkdtemp(prefix="morvane-zone-acc-")
    rnd = random.Random(20261211)
    truth = {}
    template = os.path.join(ROOT, "examples", "templates", "zones.xml")
    confusions = collections.Counter()
    missed = []  # (path, printed, read, decoded) of the zones not decoded as drawn
    totals = {}  # scans, photos: pages, classes right, chars, raw right, decoded right, zones valid
    try:
        print("%-9s %4s  %-10s %-22s %-22s %s" % ("variant", "dpi", "class", "chars raw", "chars decoded", "valid"))
        variants = a.variant or (textacc.VARIANTS + PHOTOS if np is not None else textacc.VARIANTS)
        if np is None and any(v in PHOTOS for v in variants):
            sys.exit("the photo conditions need NumPy and PIL (Debian packages python3-numpy, python3-pil)")
        if np is None:
            print("photo conditions skipped: NumPy and PIL missing (python3-numpy, python3-pil)")
        for variant in variants:
            photo = variant in PHOTOS
            for dpi in [0] if photo else a.dpi or textacc.DPIS:
                d = os.path.join(work, variant, "photo" if photo else "%ddpi" % dpi)
                os.makedirs(d, exist_ok=True)
                for i in range(a.pages):
                    for kind in ("P", "V"):
                        l1, l2 = textacc.mrz(kind, rnd)
                        ext = "png" if variant in ("clean", "noisy") else "jpg"
                        path = os.path.join(d, "%s_%03d.%s" % (CLASSES[kind], i, ext))
                        if photo:
                            photo_page(path, l1, l2, variant, rnd, work)
                        else:
                            textacc.draw(path, dpi, l1, l2, variant, rnd)
                        truth[path] = (CLASSES[kind], [l1, l2])
                out = subprocess.run([classify, "-t", template, "--json", "--mrz", d], capture_output=True,
                                     text=True).stdout
                n = ok = chars = raw = dec = valid = 0
                for line in out.splitlines():
                    page = json.loads(line)
                    if page.get("path") not in truth:
                        continue
                    cls, printed = truth[page["path"]]
                    n += 1
                    ok += page.get("id") == cls
                    z = page.get("mrz") or {}
                    zd = z.get("decoded") or {}
                    chars += 88
                    raw += right(z.get("lines", []), printed)
                    for got, want in zip(z.get("lines", []), printed):
                        if len(got) != len(want):
                            confusions["line of %d characters" % len(got)] += 1
                            continue
                        for x, y in zip(got, want):
                            if x != y:
                                confusions["%s -> %s" % (y, x)] += 1
                    dec += right(zd.get("lines", []), printed)
                    good = bool(zd.get("valid")) and zd.get("lines") == printed
                    valid += good
                    if not good:
                        missed.append((os.path.relpath(page["path"], work), printed, z.get("lines", []),
                                       zd.get("lines", [])))
                print("%-9s %4s  %3d/%-6d %6.2f %% (%4d/%4d)   %6.2f %% (%4d/%4d)   %d/%d" %
                      (variant, dpi or "-", ok, n, 100.0 * raw / max(chars, 1), raw, chars, 100.0 * dec / max(chars, 1), dec,
                       chars, valid, n))
                group = totals.setdefault("all photos" if photo else "all scans", [0] * 6)
                for k, v in enumerate((n, ok, chars, raw, dec, valid)):
                    group[k] += v
        for name, (n, ok, chars, raw, dec, valid) in totals.items():
            print("%-16s%3d/%-6d %6.2f %% (%4d/%4d)   %6.2f %% (%4d/%4d)   %d/%d" %
                  (name, ok, n, 100.0 * raw / max(chars, 1), raw, chars, 100.0 * dec / max(chars, 1), dec, chars,
                   valid, n))
        if a.confusions:
            print("read wrongly (drawn -> read: count):")
            for what, count in confusions.most_common():
                print("  %s: %d" % (what, count))
            print("zones not decoded as drawn:")
            for path, printed, read, decoded in missed:
                print("  %s" % path)
                for name, lines in (("drawn", printed), ("read", read), ("decoded", decoded)):
                    print("    %-8s %s" % (name, " / ".join(lines)))
    finally:
        if not a.keep:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
