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

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
modspec = importlib.util.spec_from_file_location("textacc", os.path.join(ROOT, "scripts", "text-accuracy.py"))
textacc = importlib.util.module_from_spec(modspec)
modspec.loader.exec_module(textacc)

CLASSES = {"P": "ZONE-PASSPORT", "V": "ZONE-VISA-A"}


def right(read, printed):
    return sum(sum(1 for x, y in zip(a, b) if x == y) for a, b in zip(read, printed))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build-release"))
    ap.add_argument("--pages", type=int, default=4, help="pages of each kind per resolution and variant")
    ap.add_argument("--keep", help="write the pages here and keep them")
    ap.add_argument("--confusions", action="store_true", help="list the characters read wrongly")
    ap.add_argument("--dpi", type=int, action="append", help="only this resolution (repeatable)")
    ap.add_argument("--variant", action="append", choices=textacc.VARIANTS, help="only this variant (repeatable)")
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
    totals = [0, 0, 0, 0, 0, 0]  # pages, classes right, chars, raw right, decoded right, zones valid
    try:
        print("%-8s %5s  %-10s %-22s %-22s %s" % ("variant", "dpi", "class", "chars raw", "chars decoded", "valid"))
        for variant in a.variant or textacc.VARIANTS:
            for dpi in a.dpi or textacc.DPIS:
                d = os.path.join(work, variant, "%ddpi" % dpi)
                os.makedirs(d, exist_ok=True)
                for i in range(a.pages):
                    for kind in ("P", "V"):
                        l1, l2 = textacc.mrz(kind, rnd)
                        ext = "png" if variant in ("clean", "noisy") else "jpg"
                        path = os.path.join(d, "%s_%03d.%s" % (CLASSES[kind], i, ext))
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
                print("%-8s %5d  %3d/%-6d %6.2f %% (%4d/%4d)   %6.2f %% (%4d/%4d)   %d/%d" %
                      (variant, dpi, ok, n, 100.0 * raw / max(chars, 1), raw, chars, 100.0 * dec / max(chars, 1), dec,
                       chars, valid, n))
                for k, v in enumerate((n, ok, chars, raw, dec, valid)):
                    totals[k] += v
        n, ok, chars, raw, dec, valid = totals
        print("all             %3d/%-6d %6.2f %% (%4d/%4d)   %6.2f %% (%4d/%4d)   %d/%d" %
              (ok, n, 100.0 * raw / max(chars, 1), raw, chars, 100.0 * dec / max(chars, 1), dec, chars, valid, n))
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
