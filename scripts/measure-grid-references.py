#!/usr/bin/env python3
"""Measures the ink-grid references of the example card layouts from
realistic cards, and reports the margin they leave.

Draws --per clean 8-bit gray cards of each layout with scripts/gen-pages.py (numbers from
--start, apart from those of an accuracy run), measures each with
morvane-measure (filter 2 of examples/templates/filters.xml, which brings the
page to 300 dpi and binarises it) and averages the grids. Then scores every
card of the check set (--check DIR, default build/gen-pages) against each
reference (pages of the conditions that need no bed or tilt removal) the way
the grid filter does (cosine x 1000, divided by the density
ratio when that exceeds 5) and prints the lowest score of each layout against
its own reference and the highest against the other, beside the gate of 900.

usage: measure-grid-references.py [--per N] [--start N] [--check DIR]
                                   [--measure PATH] [--write]
With --write the averaged grids replace those in examples/templates/sub/.
"""
import argparse
import glob
import math
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(__file__), ".."))
LAYOUTS = {"IDCARD": "card_idcard.xml", "DRIVING": "card_driving.xml"}
GATE = 900


def measure(tool, page):
    # morvane-measure runs only the filter's own chain (no colour to gray),
    # so every page is handed over as an 8-bit gray JPEG of high quality.
    with tempfile.TemporaryDirectory() as tmp:
        gray = os.path.join(tmp, "page.jpg")
        # The resolution is the folder's (as the host would give it), not
        # whatever unit the file's own header uses.
        dpi = re.search(r"(\d+)dpi", page).group(1)
        subprocess.run(["convert", page, "-colorspace", "Gray", "-units", "PixelsPerInch", "-density", dpi,
                        "-quality", "95", gray], check=True)
        out = subprocess.run([tool, os.path.join(ROOT, "examples/templates/filters.xml"), "2", gray],
                             check=True, capture_output=True, text=True).stdout
    rows = [list(map(int, m.split(","))) for m in re.findall(r"<GridData>([^<]*)</GridData>", out)]
    return rows


def aver(grid):
    cells = [v for row in grid for v in row]
    return sum(cells) // len(cells)


def score(feature, ref):
    fx = [v for row in feature for v in row]
    ry = [v for row in ref for v in row]
    sxy = sum(a * b for a, b in zip(fx, ry))
    sxx = sum(a * a for a in fx)
    syy = sum(b * b for b in ry)
    if sxx * syy == 0:
        return 0
    c = sxy / math.sqrt(sxx * syy)
    a, b = aver(feature), aver(ref)
    q = abs(a - b) / min(a, b) if min(a, b) > 0 else (0 if a == b else float("inf"))
    if q > 5:
        c /= q
    return int(c * 1000)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--per", type=int, default=8)
    ap.add_argument("--start", type=int, default=90000)
    ap.add_argument("--check", default=os.path.join(ROOT, "build", "gen-pages"))
    ap.add_argument("--measure", default=None)
    ap.add_argument("--write", action="store_true")
    args = ap.parse_args()
    tool = args.measure
    if not tool:
        for b in ("build-release", "build-dev", "build"):
            cand = os.path.join(ROOT, b, "morvane-measure")
            if os.access(cand, os.X_OK):
                tool = cand
                break
    if not tool:
        sys.exit("measure-grid-references: build morvane-measure first")
    refs = {}
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "gen-pages.py"), "--out", tmp, "--per",
                        str(args.per), "--dpis", "300", "--conditions", "gray8", "--classes", ",".join(LAYOUTS),
                        "--start", str(args.start)], check=True, stdout=subprocess.DEVNULL)
        for layout in LAYOUTS:
            grids = [measure(tool, p) for p in sorted(glob.glob(os.path.join(tmp, "300dpi", "gray8", layout + "_*")))]
            rows, cols = len(grids[0]), len(grids[0][0])
            refs[layout] = [[sum(g[i][j] for g in grids) // len(grids) for j in range(cols)] for i in range(rows)]
    for layout, grid in refs.items():
        print(f"{layout}: AverDensity={aver(grid)}")
        for row in grid:
            print("  " + ",".join(map(str, row)))
    # Margins on the check set: every card page of the two layouts.
    worst_own = {k: (10**9, "") for k in LAYOUTS}
    best_other = {k: (-1, "") for k in LAYOUTS}
    for layout in LAYOUTS:
        for page in sorted(glob.glob(os.path.join(args.check, "*dpi", "*", layout + "_*"))):
            # Pages that need the main template's chain (bed, tilt) are not
            # measured here: morvane-measure runs only the filter's own chain.
            if os.path.basename(os.path.dirname(page)) in ("tilt", "blackbed", "glassfull", "glassmargin"):
                continue
            try:
                grid = measure(tool, page)
            except subprocess.CalledProcessError:
                continue
            for ref_layout, ref in refs.items():
                s = score(grid, ref)
                rel = os.path.relpath(page, args.check)
                if ref_layout == layout:
                    worst_own[layout] = min(worst_own[layout], (s, rel))
                else:
                    best_other[ref_layout] = max(best_other[ref_layout], (s, rel))
    print(f"gate {GATE}")
    for layout in LAYOUTS:
        print(f"{layout}: lowest own score {worst_own[layout][0]} ({worst_own[layout][1]}), "
              f"highest score of the other layout {best_other[layout][0]} ({best_other[layout][1]})")
    if args.write:
        for layout, name in LAYOUTS.items():
            path = os.path.join(ROOT, "examples", "templates", "sub", name)
            text = open(path, encoding="utf-8").read()
            body = "".join(f"        <GridData>{','.join(map(str, r))}</GridData>\n" for r in refs[layout])
            text = re.sub(r'<GridDataList Row="\d+" Col="\d+" AverDensity="\d+">\n.*?</GridDataList>',
                          f'<GridDataList Row="{len(refs[layout])}" Col="{len(refs[layout][0])}" '
                          f'AverDensity="{aver(refs[layout])}">\n{body}        </GridDataList>',
                          text, flags=re.S)
            open(path, "w", encoding="utf-8").write(text)


if __name__ == "__main__":
    main()
