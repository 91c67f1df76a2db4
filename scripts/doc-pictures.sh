#!/usr/bin/env bash
# Makes the pictures of docs/templates.md again from the bundled templates and
# pages, so that they show what the code does today:
#   tree-main.png     the group tree of examples/templates/main.xml (Graphviz)
#   overlay-card.png  the overlay of an identity card (size and grid filters)
#   overlay-form.png  the overlay of a table form (size and frame-line filters)
#   binarisation.png  one region of a scanned page after each GrayToBin method
# Installs what is missing first (Graphviz: scripts/packages/optional-docs.txt;
# ImageMagick is in base.txt).
# Usage: scripts/doc-pictures.sh [BUILD_DIR]   (default build-release; the
# three tools it needs are built there first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
out="$root/docs/pictures"
"$root/scripts/setup.sh" "$root/scripts/packages/optional-docs.txt" >/dev/null
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" --target morvane-template morvane-classify morvane-binarise >/dev/null
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
ls -l "$out"
