#!/usr/bin/env bash
# Classifies the pages made by scripts/gen-pages.py and prints how many of
# each condition and class came out right, as a condition x class table.
#
# usage: scripts/scan-accuracy.sh [PAGES_DIR] [MAIN_TEMPLATE]
#   PAGES_DIR      default build/gen-pages (folders <dpi>dpi/<condition>/)
#   MAIN_TEMPLATE  default examples/templates/scanned.xml
# The classifier is taken from $MORVANE_CLASSIFY, else build-release/ or
# build-dev/. Pages are named <expected ID>_<n>.<ext>. With DPI_FROM_FILE=1
# the host resolution is not given and the file's own resolution counts.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pages=${1:-$root/build/gen-pages}
template=${2:-$root/examples/templates/scanned.xml}
tool=${MORVANE_CLASSIFY:-}
if [ -z "$tool" ]; then
  for b in build-release build-dev build; do
    [ -x "$root/$b/morvane-classify" ] && { tool=$root/$b/morvane-classify; break; }
  done
fi
[ -n "$tool" ] || { echo "scan-accuracy: build morvane-classify first (or set MORVANE_CLASSIFY)" >&2; exit 2; }
results=$(mktemp)
trap 'rm -f "$results"' EXIT
for dir in "$pages"/*dpi; do
  [ -d "$dir" ] || continue
  dpi=$(basename "$dir" dpi)
  opt=(--dpi "$dpi")
  [ "${DPI_FROM_FILE:-0}" = 1 ] && opt=()
  "$tool" -t "$template" "${opt[@]}" "$dir" >>"$results" 2>/dev/null || true
done
python3 - "$results" "$pages" <<'PY'
import collections, os, sys
rows = collections.defaultdict(lambda: collections.defaultdict(lambda: [0, 0]))
wrong = []
for line in open(sys.argv[1], encoding="utf-8", errors="replace"):
    parts = line.rstrip("\n").split("\t")
    if len(parts) < 2:
        continue
    path, got = parts[0], parts[1]
    rel = os.path.relpath(path, sys.argv[2]).split(os.sep)
    if len(rel) < 3:
        continue
    cond = rel[1]
    expected = os.path.basename(path).split("_")[0]
    cell = rows[cond][expected]
    cell[1] += 1
    if got == expected:
        cell[0] += 1
    else:
        wrong.append(f"{os.path.relpath(path, sys.argv[2])} -> {got}")
classes = sorted({c for r in rows.values() for c in r})
w = max([9] + [len(c) for c in classes])
print("condition".ljust(12) + "".join(c[:w].rjust(w + 1) for c in classes) + "      total")
tot_ok = tot_n = 0
for cond in sorted(rows):
    ok = sum(v[0] for v in rows[cond].values()); n = sum(v[1] for v in rows[cond].values())
    tot_ok += ok; tot_n += n
    cells = "".join((f"{rows[cond][c][0]}/{rows[cond][c][1]}" if rows[cond][c][1] else "-").rjust(w + 1) for c in classes)
    print(cond.ljust(12) + cells + f"  {ok}/{n} {100.0 * ok / max(1, n):5.1f}%")
print(f"overall: {tot_ok}/{tot_n} = {100.0 * tot_ok / max(1, tot_n):.1f}%")
for line in wrong:
    print("WRONG", line)
PY
