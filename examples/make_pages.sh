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

# Two A4 forms of the same size told apart by their ruled lines: a table
# form and a boxed form. Coordinates are given for 200 dpi and scaled.
# form KIND DPI SHIFT_PX_AT_200 FORMAT NAME
form() {
  local kind=$1 dpi=$2 shift200=$3 fmt=$4 name=$5
  local k
  k() { awk -v v="$1" -v d="$dpi" 'BEGIN{printf "%d", v*d/200+0.5}'; }
  local w h s l r sw
  w=$(k 1654); h=$(k 2339); s=$(k "$shift200"); l=$(( $(k 100) + s )); r=$(( $(k 1554) + s ))
  local draw=()
  if [ "$kind" = table ]; then
    sw=$(k 2)
    local i top=$(( $(k 460) + s ))
    for i in $(seq 0 12); do
      local y=$(( top + $(k $((i * 77))) ))
      draw+=(-draw "line $l,$y $r,$y")
    done
    local x
    for x in $l $((l + $(k 400))) $((l + $(k 800))) $r; do
      draw+=(-draw "line $x,$top $x,$(( $(k 1384) + s ))")
    done
    title="Form T-100"
  else
    sw=$(k 3)
    local y=$(( $(k 460) + s )) hh
    for hh in 240 160 400 200; do
      draw+=(-draw "rectangle $l,$y $r,$((y + $(k $hh)))")
      y=$((y + $(k $hh) + $(k 50)))
    done
    title="Form B-200"
  fi
  mkdir -p "$out/${dpi}dpi"
  local file="$out/${dpi}dpi/$name.$fmt"
  local opts=(-size "${w}x${h}" xc:white -fill none -stroke black -strokewidth "$sw" "${draw[@]}"
              -stroke none -fill black -pointsize "$(k 30)" -annotate "+$l+$(( $(k 200) + s ))" "$title"
              -threshold 50% -units PixelsPerInch -density "$dpi")
  case "$fmt" in
    tif) convert "${opts[@]}" -type bilevel -compress Group4 "$file" ;;
    png) convert "${opts[@]}" -type bilevel "$file" ;;
  esac
}

# Two ID-1 card layouts told apart by where their ink lies: an identity card
# with the photo on the left and a driving licence with the photo on the
# right. card LAYOUT DPI FORMAT NAME
card() {
  local layout=$1 dpi=$2 fmt=$3 name=$4
  local w h
  w=$(awk -v d="$dpi" 'BEGIN{printf "%d", 85.6*d/25.4+0.5}')
  h=$(awk -v d="$dpi" 'BEGIN{printf "%d", 54*d/25.4+0.5}')
  local px0 px1 tx0 tx1
  if [ "$layout" = left ]; then
    px0=$((w * 5 / 100)); px1=$((w * 32 / 100)); tx0=$((w * 38 / 100)); tx1=$((w * 95 / 100))
  else
    px0=$((w * 68 / 100)); px1=$((w * 95 / 100)); tx0=$((w * 5 / 100)); tx1=$((w * 60 / 100))
  fi
  local draw=(-draw "rectangle $px0,$((h * 22 / 100)) $px1,$((h * 88 / 100))"
              -draw "rectangle $((w * 5 / 100)),$((h * 5 / 100)) $((w * 95 / 100)),$((h * 13 / 100))")
  local row lh=$((h / 30 > 2 ? h / 30 : 2))
  for row in 0 1 2 3 4 5; do
    local y=$((h * 25 / 100 + row * lh * 3))
    draw+=(-draw "rectangle $tx0,$y $((tx1 - row * w / 40)),$((y + lh))")
  done
  mkdir -p "$out/${dpi}dpi"
  local opts=(-size "${w}x${h}" xc:white -fill black "${draw[@]}" -units PixelsPerInch -density "$dpi")
  case "$fmt" in
    jpg) convert "${opts[@]}" -colorspace Gray -quality 60 "$out/${dpi}dpi/$name.$fmt" ;;
    png) convert "${opts[@]}" -type bilevel "$out/${dpi}dpi/$name.$fmt" ;;
    bmp) convert "${opts[@]}" -type bilevel "BMP3:$out/${dpi}dpi/$name.$fmt" ;;
  esac
}

for dpi in 200 300 400; do
  case $dpi in 200) f=png ;; 300) f=jpg ;; 400) f=bmp ;; esac
  card left $dpi $f IDCARD_photo_left
  card right $dpi $f DRIVING_photo_right
done

form table 200 0 tif FORM-T100_table
form table 200 12 png FORM-T100_table_shifted
form boxed 200 0 tif FORM-B200_boxed
form boxed 300 12 tif FORM-B200_boxed_shifted
form table 300 -8 tif FORM-T100_table_shifted

for dpi in 200 300 400; do
  case $dpi in 200) f1=png f2=jpg f3=tif ;; 300) f1=tif f2=png f3=jpg ;; 400) f1=jpg f2=tif f3=png ;; esac
  page ID1_card       85.6  54    $dpi bmp
  page TD3_passport   125   88    $dpi $f1
  page A4_page        210   297   $dpi $f2
  page A5_page        148   210   $dpi $f3
  page LETTER_page    215.9 279.4 $dpi $f1
  page UNKNOWN_receipt 80   230   $dpi $f2
done
# Scanned-looking twins of some pages: 24-bit colour, turned by a few degrees
# and lying on a black scanner bed. The "scanned.xml" main template erases
# the black edges and straightens the page before the same filters run.
# scanned SOURCE DPI ANGLE NAME (ImageMagick turns clockwise for positive
# angles, so a negative angle makes the rows rise to the right)
scanned() {
  local src=$1 dpi=$2 angle=$3 name=$4
  local bx=$((dpi / 5)) by=$((dpi / 7))
  mkdir -p "$out/scanned/${dpi}dpi"
  convert "$src" -colorspace sRGB -type TrueColor -background white -rotate "$angle" \
    -gravity center -crop "$(identify -format '%wx%h' "$src")+0+0" +repage \
    -fill '#f4f0e6' -opaque white \
    -bordercolor black -border "${bx}x${by}" -gravity north -background black -splice "0x$((by / 2))" \
    -units PixelsPerInch -density "$dpi" -quality 70 "$out/scanned/${dpi}dpi/$name.jpg"
}
# Text pages (rows of words, as the skew estimate needs letters) and their
# scanned twins. text_page NAME WIDTH_MM HEIGHT_MM DPI ROWS
text_page() {
  local name=$1 wmm=$2 hmm=$3 dpi=$4 rows=$5
  local w h
  w=$(awk -v m="$wmm" -v d="$dpi" 'BEGIN{printf "%d", m*d/25.4+0.5}')
  h=$(awk -v m="$hmm" -v d="$dpi" 'BEGIN{printf "%d", m*d/25.4+0.5}')
  local args=() pitch=$((dpi / 5)) y=$((dpi / 2)) i line
  for i in $(seq 1 "$rows"); do
    line=$(awk -v n="$i" 'BEGIN{srand(n); split("the quick brown fox jumps over lazy dog near our house with seven red apples and blue pens for every day of the year", w, " ");
      s=""; for(k=0;k<9;k++){ s=s w[int(rand()*24)+1] " " } print s}')
    args+=(-annotate "+$((dpi / 3))+$y" "$line")
    y=$((y + pitch))
    [ $((y + pitch)) -lt "$h" ] || break
  done
  mkdir -p "$out/clean-text"
  convert -size "${w}x${h}" xc:white -fill black -font DejaVu-Sans -pointsize "$((dpi / 20))" "${args[@]}" \
    -units PixelsPerInch -density "$dpi" -type bilevel "$out/clean-text/$name.png"
}
text_page A4_letter 210 297 200 40
text_page TD3_text 125 88 300 12
text_page ID1_text 85.6 54 300 7
scanned "$out/clean-text/A4_letter.png" 200 -3 A4_letter_scan
scanned "$out/clean-text/TD3_text.png" 300 2.5 TD3_text_scan
scanned "$out/clean-text/ID1_text.png" 300 -2 ID1_text_scan
mkdir -p "$out/scanned/200dpi" "$out/scanned/300dpi"
mv "$out/clean-text/A4_letter.png" "$out/200dpi/A4_letter.png"
mv "$out/clean-text/TD3_text.png" "$out/300dpi/TD3_text.png"
mv "$out/clean-text/ID1_text.png" "$out/300dpi/ID1_text.png"
rmdir "$out/clean-text"

# Pages that only their printed text tells apart (own folder: pages/text).
./make_text_pages.sh

du -sh "$out"

# Realistic samples drawn by scripts/gen-pages.py: an identity card lying in
# the corner of a flatbed's white A4 glass, the whole glass scanned at
# 200 dpi, and a boxed form scanned at 600 dpi as a 1-bit page (its rules are
# 10 pixels wide, which the frame-line filter sees at 300 dpi).
tmp=$(mktemp -d)
python3 ../scripts/gen-pages.py --out "$tmp" --per 1 --dpis 200 --conditions glassfull --classes IDCARD --start 7001 >/dev/null
python3 ../scripts/gen-pages.py --out "$tmp" --per 1 --dpis 600 --conditions bilevel --classes FORM-B200 --start 7002 >/dev/null
mkdir -p "$out/scanned/200dpi" "$out/600dpi"
mv "$tmp/200dpi/glassfull/IDCARD_7001.jpg" "$out/scanned/200dpi/IDCARD_on_white_glass.jpg"
mv "$tmp/600dpi/bilevel/FORM-B200_7002.tif" "$out/600dpi/FORM-B200_boxed_600dpi.tif"
rm -rf "$tmp"
du -sh "$out"
