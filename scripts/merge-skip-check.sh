#!/usr/bin/env bash
# Shows that the dynamic merge's skip of unions wider than a character
# changes no recognised text: classifies every text example (text.xml,
# text_scanned.xml) and generated machine-readable-zone pages (zones.xml;
# drawn as scripts/zone-accuracy.py draws them) with --text --mrz --json,
# once as built and once with MORVANE_MERGE_ALL_UNIONS=1 (every union
# recognised), and compares the outputs byte for byte. Prints the time of
# both runs. Exit status 1 on any difference.
# Usage: scripts/merge-skip-check.sh [--build DIR] [--pages N] [--keep DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-release"
pages=4
keep=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --pages) pages=$2; shift 2 ;;
    --keep) keep=$2; shift 2 ;;
    *) echo "usage: $0 [--build DIR] [--pages N] [--keep DIR]" >&2; exit 2 ;;
  esac
done
tool="$build/morvane-classify"
[ -x "$tool" ] || { echo "build $tool first" >&2; exit 2; }
work=${keep:-$(mktemp -d)}
[ -n "$keep" ] || trap 'rm -rf "$work"' EXIT
mkdir -p "$work/zones"

# The zone pages: passport and visa zones, 200/300/400 dpi, every variant.
if [ -z "$(ls -A "$work/zones")" ]; then
  python3 - "$root" "$work/zones" "$pages" <<'EOF'
import importlib.util, os, random, sys
root, out, per = sys.argv[1], sys.argv[2], int(sys.argv[3])
loader = importlib.util.spec_from_file_location("textacc", os.path.join(root, "scripts", "text-accuracy.py"))
t = importlib.util.module_from_spec(loader)
loader.loader.exec_module(t)
if not os.path.exists(t.OCRB):
    sys.exit("needs the OCR-B font (Debian package fonts-ocr-b)")
rnd = random.Random(20261211)
for variant in t.VARIANTS:
    for dpi in t.DPIS:
        d = os.path.join(out, variant, "%ddpi" % dpi)
        os.makedirs(d, exist_ok=True)
        for i in range(per):
            for kind in ("P", "V"):
                l1, l2 = t.mrz(kind, rnd)
                ext = "png" if variant in ("clean", "noisy") else "jpg"
                t.draw(os.path.join(d, "%s_%03d.%s" % (kind, i, ext)), dpi, l1, l2, variant, rnd)
EOF
fi

# run OUTFILE: every folder through its template set, outputs concatenated.
run() {
  local out=$1 dir template
  : > "$out"
  for dir in "$root"/examples/pages/text/*dpi "$root"/examples/pages/text/scanned/*dpi; do
    case "$dir" in
      */scanned/*) template="$root/examples/templates/text_scanned.xml" ;;
      *) template="$root/examples/templates/text.xml" ;;
    esac
    "$tool" -t "$template" --json --text --mrz "$dir" >> "$out"
  done
  for dir in "$work"/zones/*/*dpi; do
    "$tool" -t "$root/examples/templates/zones.xml" --json --text --mrz "$dir" >> "$out"
  done
}

TIMEFORMAT='%R s wall, %U s user'
echo "== with the skip"
time run "$work/skip.jsonl"
echo "== every union recognised (MORVANE_MERGE_ALL_UNIONS=1)"
time MORVANE_MERGE_ALL_UNIONS=1 run "$work/all.jsonl"
lines=$(wc -l < "$work/skip.jsonl")
texts=$(grep -o '"text"' "$work/skip.jsonl" | wc -l || true)
if cmp -s "$work/skip.jsonl" "$work/all.jsonl"; then
  echo "identical: $lines pages ($texts text fields), $(wc -c < "$work/skip.jsonl") bytes"
else
  echo "DIFFERENT:"
  diff "$work/skip.jsonl" "$work/all.jsonl" | head -20
  exit 1
fi
