#!/usr/bin/env bash
# Makes the pictures of docs/templates.md again from the bundled templates and
# pages, so that they show what the code does today:
#   tree-main.png     the group tree of examples/templates/main.xml (Graphviz)
#   overlay-card.png  the overlay of an identity card (size and grid filters)
#   overlay-form.png  the overlay of a table form (size and frame-line filters)
#   binarisation.png  one region of a scanned page after each GrayToBin method
#   line-location.png the lines each line location method finds in a zone
#   char-location.png the characters each character location method cuts
#   match-methods.png a card title read, and its score against the two
#                     classes under each match method
# Installs what is missing first (Graphviz: scripts/packages/optional-docs.txt;
# ImageMagick is in base.txt).
# Usage: scripts/doc-pictures.sh [BUILD_DIR]   (default build-release; the
# tools and engine plug-ins it needs are built there first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
out="$root/docs/pictures"
"$root/scripts/setup.sh" "$root/scripts/packages/optional-docs.txt" >/dev/null
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target morvane-template morvane-classify morvane-binarise morvane-locate \
  morvane_graycore morvane_printedline >/dev/null
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"
pages="$root/examples/pages"

"$build/morvane-template" list "$root/examples/templates/main.xml" --dot | dot -Tpng -Gdpi=72 -o "$out/tree-main.png"

# Overlays, halved and reduced to a small palette to keep the files small.
"$build/morvane-classify" --dpi 300 --overlay "$tmp/ov" "$pages/300dpi/IDCARD_photo_left.jpg" >/dev/null
"$build/morvane-classify" --dpi 200 --overlay "$tmp/ov" "$pages/200dpi/FORM-T100_table.tif" >/dev/null
shrink() { convert "$1" -resize 60% -colors 32 -strip "PNG8:$2"; }
shrink "$tmp/ov/"*IDCARD_photo_left.png "$out/overlay-card.png"
shrink "$tmp/ov/"*FORM-T100_table.png "$out/overlay-form.png"

# The binarisation methods on the top left of a scanned page: the dark scanner
# bed, the paper's tint and two lines of text.
page="$pages/scanned/300dpi/TD3_text_scan.jpg"
tiles=()
for m in 0 1 2 3 4 5 6 7 8; do
  "$build/morvane-binarise" "$page" "$tmp/m$m.png" "$m" 0 0 520 300
  tiles+=(-label "method $m" "$tmp/m$m.png")
done
convert "$page" -crop 520x300+0+0 +repage -colorspace Gray "$tmp/gray.png"
montage -label "gray page" "$tmp/gray.png" "${tiles[@]}" -tile 5x2 -geometry 260x150+4+4 -font DejaVu-Sans -pointsize 12 \
  -colors 16 -strip "PNG8:$out/binarisation.png"

# The location methods, each alone with the bundled text filter's properties
# (morvane-locate): lines of the passport zone (filter 4), then the
# characters of the card title (filter 6) in the lines method 3 finds.
text="$root/examples/pages/text/300dpi"
filters="$root/examples/templates/text_filters.xml"
tiles=()
for t in 1 2 3 4; do
  n=$("$build/morvane-locate" "$filters" 4 "$text/TEXT-PASSPORT_mrz.png" "$tmp/l$t.png" "$t" 0)
  tiles+=(-label "line location $t: $n" "$tmp/l$t.png")
done
montage "${tiles[@]}" -tile 1x4 -geometry 760x130+4+4 -font DejaVu-Sans -pointsize 12 \
  -colors 16 -strip "PNG8:$out/line-location.png"
tiles=()
for t in 0 2 3; do
  n=$("$build/morvane-locate" "$filters" 6 "$text/TEXT-IDCARD_title.png" "$tmp/c$t.png" 3 "$t")
  convert "$tmp/c$t.png" -filter point -resize 200% "$tmp/c$t.png"
  tiles+=(-label "character location $t: $n" "$tmp/c$t.png")
done
montage "${tiles[@]}" -tile 1x3 -geometry +4+4 -font DejaVu-Sans -pointsize 12 \
  -colors 16 -strip "PNG8:$out/char-location.png"

# The match methods: the card title as the text filter reads it (its overlay,
# character boxes and the text read), and under each method the scores of
# the identity card and the driving licence, from a copy of the text set
# whose card-title filter and records use that method (method 5 counts
# against the records' CharNum, set to each title's length).
set_dir="$tmp/textset"
cp -r "$root/examples/templates" "$set_dir"
"$build/morvane-classify" --dpi 300 -t "$set_dir/text.xml" --overlay "$tmp/mov" "$text/TEXT-IDCARD_title.png" >/dev/null
convert "$tmp/mov/"*TEXT-IDCARD_title.png -crop 330x80+0+0 +repage "$tmp/read.png"
rows=()
for m in 1 2 3 4 5 6; do
  cp "$root/examples/templates/text_filters.xml" "$set_dir/text_filters.xml"
  for c in idcard driving; do cp "$root/examples/templates/sub/text_$c.xml" "$set_dir/sub/text_$c.xml"; done
  # Only the card-title filter (index 6) and its two records change.
  python3 - "$set_dir" "$m" <<'PY'
import re, sys
d, m = sys.argv[1], sys.argv[2]
f = d + "/text_filters.xml"
s = open(f).read()
i = s.index('Index="6"')
j = s.index("</Filter>", i)
s = s[:i] + re.sub(r'TextMatch Method="\d+"', 'TextMatch Method="%s"' % m, s[i:j]) + s[j:]
open(f, "w").write(s)
for c in ("idcard", "driving"):
    f = "%s/sub/text_%s.xml" % (d, c)
    s = re.sub(r'TextMatch Method="\d+"', 'TextMatch Method="%s"' % m, open(f).read())
    s = re.sub(r'Text="([^"]*)"', lambda t: t.group(0) + ' CharNum="%d"' % len(t.group(1)), s)
    open(f, "w").write(s)
PY
  scores=$("$build/morvane-classify" --dpi 300 -t "$set_dir/text.xml" --explain=text "$text/TEXT-IDCARD_title.png" |
    sed -n 's/.*\(Identity card\|Driving licence\) \[TEXT-[A-Z]*\] \([0-9]*\).*/\1 \2/p' | paste -sd, - | sed 's/,/, /')
  rows+=("method $m:  $scores")
done
convert -background white -fill black -font DejaVu-Sans -pointsize 13 "label:$(printf '%s\n' "${rows[@]}")" \
  "$tmp/scores.png"
convert "$tmp/read.png" "$tmp/scores.png" -background white -gravity west -append -colors 16 -strip \
  "PNG8:$out/match-methods.png"
ls -l "$out"
