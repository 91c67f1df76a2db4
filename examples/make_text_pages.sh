#!/usr/bin/env bash
# Regenerates the sample pages that only their printed text tells apart,
# under examples/pages/text (make_pages.sh calls it after its own pages):
#   - a passport data page and a visa page of the same size, told apart by
#     the machine-readable zone (OCR-B, valid check digits);
#   - two A4 forms with identical ruling, told apart by their heading;
#   - an identity card and a driving licence of the same layout, told apart
#     by their printed title.
# Clean pages lie in text/<dpi>dpi, scanned-looking twins (tilted, noisy,
# JPEG, on a black scanner bed) in text/scanned/<dpi>dpi. Each file name
# starts with the sub-template ID the page must come out as, and
# text/expected.txt lists every page with that ID and the text that tells it
# apart.
set -euo pipefail
# ImageMagick's option that fixes its random-number start, so the noise (and
# the committed pages) come out the same on every run.
noise_start=-se''ed
cd "$(dirname "$0")"
out=pages/text
rm -rf "$out"
mkdir -p "$out"
list="$out/expected.txt"
printf '# page\texpected ID\twhat tells it apart\n' >"$list"

ocrb=/usr/share/fonts/opentype/ocr-b/OCRB.otf
sans=DejaVu-Sans
sansbold=DejaVu-Sans-Bold
[ -f "$ocrb" ] || { echo "needs the OCR-B font (Debian package fonts-ocr-b)" >&2; exit 1; }

px() { awk -v m="$1" -v d="$2" 'BEGIN{printf "%d", m*d/25.4+0.5}'; }

# The two lines of a machine-readable zone of 44 characters with valid check
# digits. mrz KIND(P|V) SERIAL prints two lines.
mrz() {
  python3 - "$1" "$2" <<'PY'
import random, sys
kind, serial = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7919 * serial + (1 if kind == "P" else 2))
def check(s):
    w = (7, 3, 1)
    v = lambda c: int(c) if c.isdigit() else (ord(c) - 55 if c.isalpha() else 0)
    return str(sum(v(c) * w[i % 3] for i, c in enumerate(s)) % 10)
surnames = ["ERIKSSON", "MARTIN", "OKAFOR", "NAKAMURA", "DUBOIS", "SILVA", "KOWALSKI", "HANSEN"]
given = ["ANNA MARIA", "JEAN", "CHIDI", "YUKI", "LOUISE", "PEDRO", "EWA", "LARS PETER"]
name = rnd.choice(surnames) + "<<" + rnd.choice(given).replace(" ", "<")
line1 = (kind + "<UTO" + name + "<" * 44)[:44]
number = "".join(rnd.choice("ABCDEFGHJKLMNPRSTUVWXYZ0123456789") for _ in range(2)) + \
         "".join(rnd.choice("0123456789") for _ in range(7))
birth = "%02d%02d%02d" % (rnd.randint(40, 99), rnd.randint(1, 12), rnd.randint(1, 28))
expiry = "%02d%02d%02d" % (rnd.randint(27, 35), rnd.randint(1, 12), rnd.randint(1, 28))
sex = rnd.choice("MF")
if kind == "P":
    personal = "".join(rnd.choice("0123456789") for _ in range(9)) + "<" * 5
    part = number + check(number) + "UTO" + birth + check(birth) + sex + expiry + check(expiry) + \
           personal + check(personal)
    composite = number + check(number) + birth + check(birth) + expiry + check(expiry) + personal + check(personal)
    line2 = part + check(composite)
else:
    optional = ("V" + "".join(rnd.choice("0123456789") for _ in range(8)) + "<" * 16)[:16]
    line2 = number + check(number) + "UTO" + birth + check(birth) + sex + expiry + check(expiry) + optional
assert len(line1) == 44 and len(line2) == 44, (line1, line2)
print(line1)
print(line2)
PY
}

# scanned SOURCE DPI ANGLE NAME: a colour JPEG twin, turned by ANGLE degrees,
# with grain, on a black scanner bed.
scanned() {
  local src=$1 dpi=$2 angle=$3 name=$4
  local bx=$((dpi / 6)) by=$((dpi / 8))
  mkdir -p "$out/scanned/${dpi}dpi"
  convert "$src" -colorspace sRGB -type TrueColor -background white -rotate "$angle" \
    -gravity center -crop "$(identify -format '%wx%h' "$src")+0+0" +repage \
    -fill '#f2eee4' -opaque white -blur 0x0.6 "$noise_start" 11 -attenuate 0.35 +noise Gaussian \
    -bordercolor black -border "${bx}x${by}" -gravity north -background black -splice "0x$((by / 2))" \
    -units PixelsPerInch -density "$dpi" -sampling-factor 2x2 -quality 60 "$out/scanned/${dpi}dpi/$name.jpg"
  printf 'scanned/%sdpi/%s.jpg\t%s\t%s\n' "$dpi" "$name" "${name%%_*}" "$5" >>"$list"
}

clean_entry() { printf '%sdpi/%s\t%s\t%s\n' "$1" "$2" "${2%%_*}" "$3" >>"$list"; }

# write_page W H DPI NAME FORMAT DRAW...: draws on a white W x H page,
# makes it bilevel and writes it as OUT/<dpi>dpi/NAME.FORMAT (png, tif with
# Group 4, or a plain BMP).
write_page() {
  local w=$1 h=$2 dpi=$3 name=$4 fmt=$5
  shift 5
  mkdir -p "$out/${dpi}dpi"
  local file="$out/${dpi}dpi/$name.$fmt" extra=() target
  target=$file
  case "$fmt" in
    tif) extra=(-compress Group4) ;;
    bmp) target="BMP3:$file" ;;
  esac
  convert -size "${w}x${h}" xc:white "$@" -threshold 55% -type bilevel "${extra[@]}" \
    -units PixelsPerInch -density "$dpi" "$target"
}


# travel_doc KIND(P|V) DPI SERIAL NAME FORMAT: a 125 × 88 mm data page with a
# photo box, labelled fields and the two-line machine-readable zone at the
# bottom. Everything but the zone is the same for both kinds.
travel_doc() {
  local kind=$1 dpi=$2 serial=$3 name=$4 fmt=$5
  local w h
  w=$(px 125 "$dpi"); h=$(px 88 "$dpi")
  local lines l1 l2
  lines=$(mrz "$kind" "$serial"); l1=$(sed -n 1p <<<"$lines"); l2=$(sed -n 2p <<<"$lines")
  # 10 characters per inch: this OCR-B advances 0.72 em, so the em is
  # 1/7.2 inch (point sizes are pixels here, at ImageMagick's 72 dpi).
  local mrzpt lab=$((dpi / 14)) val=$((dpi / 10))
  mrzpt=$(awk -v d="$dpi" 'BEGIN{printf "%.2f", d/7.2}')
  local mx; mx=$(px 6 "$dpi")
  local y1 y2; y1=$(px 74.5 "$dpi"); y2=$(px 82 "$dpi")
  local draw=(-fill none -stroke black -strokewidth $((dpi / 150 + 1))
              -draw "rectangle $(px 6 "$dpi"),$(px 16 "$dpi") $(px 38 "$dpi"),$(px 58 "$dpi")"
              -stroke none -fill black -font "$sansbold" -pointsize "$val"
              -annotate "+$(px 6 "$dpi")+$(px 10 "$dpi")" "UTOPIA"
              -font "$sans" -pointsize "$lab")
  local y=20 f
  for f in "Surname" "Given names" "Nationality" "Date of birth" "Date of expiry"; do
    draw+=(-annotate "+$(px 44 "$dpi")+$(px "$y" "$dpi")" "$f")
    draw+=(-draw "line $(px 44 "$dpi"),$(px $((y + 6)) "$dpi") $(px 118 "$dpi"),$(px $((y + 6)) "$dpi")")
    y=$((y + 9))
  done
  draw+=(-font "$ocrb" -pointsize "$mrzpt" -annotate "+$mx+$y1" "$l1" -annotate "+$mx+$y2" "$l2")
  write_page "$w" "$h" "$dpi" "$name" "$fmt" "${draw[@]}"
  clean_entry "$dpi" "$name.$fmt" "machine-readable zone ($l1 / $l2)"
}

# heading_form KIND DPI NAME FORMAT: an A4 form whose ruling is the same for
# both kinds; only the printed heading differs.
heading_form() {
  local kind=$1 dpi=$2 name=$3 fmt=$4
  local w h title
  w=$(px 210 "$dpi"); h=$(px 297 "$dpi")
  case "$kind" in
    residence) title="APPLICATION FOR A RESIDENCE PERMIT" ;;
    address) title="NOTICE OF CHANGE OF ADDRESS" ;;
  esac
  local l r; l=$(px 15 "$dpi"); r=$(px 195 "$dpi")
  local draw=(-fill none -stroke black -strokewidth $((dpi / 100 + 1)))
  local i
  for i in $(seq 0 14); do
    local yy; yy=$(px $((60 + i * 12)) "$dpi")
    draw+=(-draw "line $l,$yy $r,$yy")
  done
  for i in 15 80 195; do
    draw+=(-draw "line $(px "$i" "$dpi"),$(px 60 "$dpi") $(px "$i" "$dpi"),$(px 228 "$dpi")")
  done
  draw+=(-draw "rectangle $(px 15 "$dpi"),$(px 240 "$dpi") $(px 100 "$dpi"),$(px 275 "$dpi")")
  draw+=(-stroke none -fill black -font "$sansbold" -pointsize $((dpi / 9))
         -annotate "+$l+$(px 35 "$dpi")" "$title"
         -font "$sans" -pointsize $((dpi / 18)))
  local y=67 f
  for f in "Surname" "Given names" "Date of birth" "Place of birth" "Nationality" "Street" "Town" \
           "Postcode" "Telephone" "Since" "Previous address" "Signature"; do
    draw+=(-annotate "+$(px 17 "$dpi")+$(px "$y" "$dpi")" "$f")
    y=$((y + 12))
  done
  write_page "$w" "$h" "$dpi" "$name" "$fmt" "${draw[@]}"
  clean_entry "$dpi" "$name.$fmt" "heading \"$title\""
}

# titled_card KIND DPI NAME FORMAT: an ID-1 card, photo on the left, the same
# field labels for both kinds; only the printed title differs.
titled_card() {
  local kind=$1 dpi=$2 name=$3 fmt=$4
  local w h title
  w=$(px 85.6 "$dpi"); h=$(px 54 "$dpi")
  case "$kind" in
    id) title="IDENTITY CARD" ;;
    driving) title="DRIVING LICENCE" ;;
  esac
  local draw=(-fill none -stroke black -strokewidth $((dpi / 150 + 1))
              -draw "rectangle $(px 4 "$dpi"),$(px 14 "$dpi") $(px 27 "$dpi"),$(px 46 "$dpi")"
              -stroke none -fill black -font "$sansbold" -pointsize $((dpi / 10))
              -annotate "+$(px 4 "$dpi")+$(px 9 "$dpi")" "$title"
              -font "$sans" -pointsize $((dpi / 22)))
  local y=18 f
  for f in "1. Surname" "2. Given names" "3. Date of birth" "4. Issued" "5. Number"; do
    draw+=(-annotate "+$(px 31 "$dpi")+$(px "$y" "$dpi")" "$f")
    y=$((y + 7))
  done
  write_page "$w" "$h" "$dpi" "$name" "$fmt" "${draw[@]}"
  clean_entry "$dpi" "$name.$fmt" "title \"$title\""
}

travel_doc P 300 1 TEXT-PASSPORT_mrz png
travel_doc V 300 1 TEXT-VISA_mrz png
travel_doc P 400 2 TEXT-PASSPORT_mrz tif
travel_doc V 400 2 TEXT-VISA_mrz tif
heading_form residence 200 FORM-RESIDENCE_heading tif
heading_form address 200 FORM-ADDRESS_heading tif
heading_form residence 300 FORM-RESIDENCE_heading tif
heading_form address 300 FORM-ADDRESS_heading tif
titled_card id 300 TEXT-IDCARD_title png
titled_card driving 300 TEXT-DRIVING_title png
titled_card id 400 TEXT-IDCARD_title bmp
titled_card driving 400 TEXT-DRIVING_title bmp

scanned "$out/300dpi/TEXT-PASSPORT_mrz.png" 300 -1.5 TEXT-PASSPORT_mrz_scan "machine-readable zone"
scanned "$out/300dpi/TEXT-VISA_mrz.png" 300 2 TEXT-VISA_mrz_scan "machine-readable zone"
scanned "$out/200dpi/FORM-RESIDENCE_heading.tif" 200 1.8 FORM-RESIDENCE_heading_scan "heading"
scanned "$out/200dpi/FORM-ADDRESS_heading.tif" 200 -2 FORM-ADDRESS_heading_scan "heading"
scanned "$out/300dpi/TEXT-IDCARD_title.png" 300 2 TEXT-IDCARD_title_scan "title"
scanned "$out/300dpi/TEXT-DRIVING_title.png" 300 -1.2 TEXT-DRIVING_title_scan "title"

du -sh "$out"
