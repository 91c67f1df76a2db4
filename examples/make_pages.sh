#!/usr/bin/env bash
# Regenerates the sample pages under examples/pages with ImageMagick.
# Each page is named <expected sub-template ID>_<what>.<format> and lies in a
# folder named by its resolution, so the classifier can be run per resolution
# (the size filter takes the resolution from the host, not from the file).
set -euo pipefail
cd "$(dirname "$0")"
out=pages
rm -rf "$out"
mkdir -p "$out"

# page NAME WIDTH_MM HEIGHT_MM DPI FORMAT [extra draw commands]
page() {
  local name=$1 wmm=$2 hmm=$3 dpi=$4 fmt=$5
  shift 5
  local w h
  w=$(awk -v m="$wmm" -v d="$dpi" 'BEGIN{printf "%d", m*d/25.4+0.5}')
  h=$(awk -v m="$hmm" -v d="$dpi" 'BEGIN{printf "%d", m*d/25.4+0.5}')
  mkdir -p "$out/${dpi}dpi"
  local file="$out/${dpi}dpi/$name.$fmt"
  # A title bar and a few rows of "text" blocks, scaled to the page.
  local draw=()
  local m=$((w / 12)) y=$((h / 10)) lh=$((h / 40 > 4 ? h / 40 : 4))
  draw+=(-draw "rectangle $m,$y $((w / 2)),$((y + lh * 2))")
  local row
  for row in 1 2 3 4 5 6; do
    local yy=$((y + lh * 3 * (row + 1)))
    [ $((yy + lh)) -lt $((h - m)) ] || break
    draw+=(-draw "rectangle $m,$yy $((w - m - (row * w / 23))),$((yy + lh))")
  done
  local opts=(-size "${w}x${h}" xc:white -fill black "${draw[@]}" "$@" -units PixelsPerInch -density "$dpi")
  case "$fmt" in
    jpg) convert "${opts[@]}" -colorspace Gray -quality 40 "$file" ;;
    png) convert "${opts[@]}" -type bilevel "$file" ;;
    tif) convert "${opts[@]}" -type bilevel -compress Group4 "$file" ;;
    bmp) convert "${opts[@]}" -type bilevel "BMP3:$file" ;;
  esac
}

for dpi in 200 300 400; do
  case $dpi in 200) f1=png f2=jpg f3=tif ;; 300) f1=tif f2=png f3=jpg ;; 400) f1=jpg f2=tif f3=png ;; esac
  page ID1_card       85.6  54    $dpi bmp
  page TD3_passport   125   88    $dpi $f1
  page A4_page        210   297   $dpi $f2
  page A5_page        148   210   $dpi $f3
  page LETTER_page    215.9 279.4 $dpi $f1
  page UNKNOWN_receipt 80   230   $dpi $f2
done
du -sh "$out"
