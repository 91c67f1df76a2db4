#!/usr/bin/env python3
"""Measures what loading a large template set costs against its size.

    template_memory.py MORVANE_TEMPLATE DIR [CLASSES]

Writes into DIR/set a set of CLASSES taught classes (default 7000, about
63 MB; make_template.py), and into DIR/textlines, DIR/framelines and DIR/grid
a one-class set whose sub-template is one large file of text lines only,
frame lines only or a grid only. Loads each with `morvane-template show MAIN
ID` (which reads the main template, the filters and every sub-template) and
prints its size, the peak resident memory of that process less the peak of
the same command on the bundled example set (the program itself), and their
ratio. Exits 1 when any ratio is above 4.
"""
import os
import subprocess
import sys

LIMIT = 4.0
HERE = os.path.dirname(os.path.abspath(__file__))


def peak_mb(tool, main, ident):
    pid = os.posix_spawn(tool, [tool, "show", main, ident], os.environ,
                         file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                       (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
    _, status, usage = os.wait4(pid, 0)
    if status != 0:
        sys.exit(f"template_memory: {tool} show {main} {ident} failed ({status})")
    return usage.ru_maxrss / 1024.0


def main():
    tool, out = sys.argv[1], sys.argv[2]
    classes = sys.argv[3] if len(sys.argv) > 3 else "7000"
    base = peak_mb(tool, os.path.join(HERE, "..", "..", "examples", "templates", "main.xml"), "A4")
    worst = 0.0
    for shape, count in (("set", classes), ("textlines", "1"), ("framelines", "1"), ("grid", "1")):
        folder = os.path.join(out, shape)
        size = int(subprocess.run([sys.executable, os.path.join(HERE, "make_template.py"), folder, count, shape],
                                  check=True, capture_output=True, text=True).stdout)
        peak = peak_mb(tool, os.path.join(folder, "main.xml"), "C00000")
        size_mb = size / (1 << 20)
        ratio = (peak - base) / size_mb
        worst = max(worst, ratio)
        print(f"{shape}: template set {size_mb:.1f} MB ({count} classes): peak {peak:.1f} MB, "
              f"program alone {base:.1f} MB, {ratio:.2f} x the set (limit {LIMIT:.0f} x)")
    sys.exit(1 if worst > LIMIT else 0)


if __name__ == "__main__":
    main()
