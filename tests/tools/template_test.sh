#!/usr/bin/env bash
# Runs morvane-template as an author would: teaches a new class from three
# sample pages, classifies a fourth, and checks that bad input changes nothing.
set -u
tool=$1
classify=$2
root=$3
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
if ! command -v convert >/dev/null; then
  echo "skip: morvane-template checks need ImageMagick's convert to draw sample pages"
  exit 0
fi
tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
cp -r "$root/examples/templates" "$tmp/"
main="$tmp/templates/main.xml"
# B5 pages at 300 dpi (176 x 250 mm), each a few pixels off the others.
for i in 1 2 3 4; do
  convert -size $((2075 + i * 2))x$((2950 + i)) xc:white -fill black \
    -draw "rectangle 200,$((200 + i * 5)) 1800,260" "$tmp/b5_$i.png"
done
state() { cat "$tmp"/templates/*.xml "$tmp"/templates/sub/*.xml | md5sum; ls "$tmp/templates" "$tmp/templates/sub" | md5sum; }
before=$(state)

# Bad input: nothing is written.
printf 'not an image' > "$tmp/broken.png"
"$tool" add --main "$main" --group / --id B5 --name B5 "$tmp/b5_1.png" "$tmp/broken.png" 2>/dev/null
check "unreadable sample" 1 $?
"$tool" add --main "$main" --group "No such group" --id B5 --name B5 "$tmp/b5_1.png" 2>"$tmp/err"
check "missing group" 1 $?
check "missing group lists the groups" "ok" "$(grep -qx '  A4 page' "$tmp/err" && grep -qx '  ID-1 card' "$tmp/err" && echo ok)"
# B5 pages read at 600 dpi are half their size: they never reach "A4 page".
"$tool" add --main "$main" --group "A4 page" --id B5 --name B5 --dpi 600 "$tmp/b5_1.png" "$tmp/b5_2.png" \
  "$tmp/b5_3.png" >/dev/null 2>"$tmp/err"
check "samples that miss the group refused" 1 $?
check "refusal names where they went" "ok" "$(grep -q "sample $tmp/b5_1.png does not reach 'A4 page'; it went Documents > " "$tmp/err" && echo ok)"
check "refusal suggests --dpi" "ok" "$(grep -q -- '--dpi, now 600,600' "$tmp/err" && echo ok)"
"$tool" add --main "$main" --group "TD3 passport page" --id B5 --name B5 "$tmp/b5_1.png" 2>"$tmp/err"
check "group without filters" "1 ok" "$? $(grep -q 'names no filter' "$tmp/err" && echo ok)"
"$tool" add --main "$main" --group / --id A4 --name A4 "$tmp/b5_1.png" 2>/dev/null
check "existing ID without --replace" 1 $?
"$tool" add --main "$main" --group / --id B5 --name B5 "$tmp/b5_1.png" \
  "$root/examples/pages/300dpi/ID1_card.bmp" 2>/dev/null
check "samples of different classes" 1 $?
chmod a-w "$main"
"$tool" add --main "$main" --group / --id B5 --name B5 "$tmp/b5_1.png" 2>/dev/null
check "read-only main template" 1 $?
chmod u+w "$main"
chmod a-w "$tmp/templates/sub"
"$tool" add --main "$main" --group / --id B5 --name B5 "$tmp/b5_1.png" 2>/dev/null
check "read-only sub-template folder" 1 $?
chmod u+w "$tmp/templates/sub"
"$tool" add --main "$main" --id B5 --name B5 2>/dev/null
check "usage" 2 $?
check "bad input changed nothing" "$before" "$(state)"

# Teach from three pages; the fourth is classified as the new class, the
# bundled pages as before.
out=$("$tool" add --main "$main" --group / --id B5 --name "B5 page" --dpi 300 \
  "$tmp/b5_1.png" "$tmp/b5_2.png" "$tmp/b5_3.png"); check "add exit" 0 $?
check "add message" "added B5 as $tmp/templates/sub/B5.xml; every sample classifies as it" "$out"
check "no temporary files" "" "$(ls "$tmp/templates" "$tmp/templates/sub" | grep tmp-)"
check "fourth page" "B5" "$("$classify" -t "$main" --dpi 300 "$tmp/b5_4.png" | cut -f2)"
check "other pages unchanged" "A4 A5 LETTER" "$("$classify" -t "$main" --dpi 300 \
  "$root/examples/pages/300dpi/A4_page.png" "$root/examples/pages/300dpi/A5_page.jpg" \
  "$root/examples/pages/300dpi/LETTER_page.tif" | cut -f2 | tr '\n' ' ' | sed 's/ $//')"
"$tool" add --main "$main" --group / --id B5 --name "B5 page" --dpi 300 "$tmp/b5_4.png" >/dev/null 2>&1
check "second add of the ID refused" 1 $?
out=$("$tool" add --main "$main" --group / --id B5 --name "B5 page" --dpi 300 --replace \
  "$tmp/b5_2.png" "$tmp/b5_4.png" 2>"$tmp/err"); check "replace exit" 0 $?
check "two samples draw a warning" "ok" "$(grep -q 'warning: only 2 samples' "$tmp/err" && echo ok)"
check "sub-template written one element per line" "ok" \
  "$(awk 'length > 300 { long = 1 } END { exit long }' "$tmp/templates/sub/B5.xml" && [ "$(grep -c '<' "$tmp/templates/sub/B5.xml")" -ge 5 ] && echo ok)"
check "replace keeps one entry" 1 "$(grep -c B5.xml "$tmp/templates/subtemplates.xml")"

# check: the new class against its neighbours, per level.
# B5 and A4 share their proportions: an A4 child also passes the size gate.
# A close level is reported; it fails the exit status only with --strict.
out=$("$tool" check "$main" --dpi 300 "$tmp/b5_4.png"); check "check exit (close level reported only)" 0 $?
check "check names the class" "$tmp/b5_4.png	B5" "$(echo "$out" | head -1)"
check "check nearest competitor" "ok" "$(echo "$out" | sed -n 2p | grep -Eq '^  Documents: chosen "B5 page" \(score, [0-9]*\); nearest "A4 page" [0-9]* passed - (close|ambiguous) \(margin [0-9]+\)$' && echo ok)"
check "check names the closest filter" "ok" "$(echo "$out" | sed -n 3p | grep -Eq '^    closest: filter 1 "Page size" \(size\) [0-9]+ vs [0-9]+$' && echo ok)"
check "check suggests another kind" "ok" "$(echo "$out" | sed -n 4p | grep -q '^    suggest: a grid filter such as 2 "Ink grid" (grid) at "Documents"' && echo ok)"
"$tool" check "$main" --dpi 300 --strict 900 "$tmp/b5_4.png" >/dev/null; check "check --strict fails a close level" 1 $?
"$tool" check "$main" --dpi 300 --strict 0 "$tmp/b5_4.png" >/dev/null; check "check --strict 0 passes" 0 $?
"$tool" check "$main" --strict "$tmp/b5_4.png" >/dev/null 2>&1; check "check --strict needs a value" 2 $?
"$tool" check "$main" --dpi 300 "$tmp/b5_4.png" "$tmp/broken.png" >/dev/null; check "check: an unreadable sample always fails" 1 $?
out=$("$tool" check "$main" --dpi 300 "$root/examples/pages/300dpi/IDCARD_photo_left.jpg"); check "check exit (clear)" 0 $?
check "check clear level" "ok" "$(echo "$out" | sed -n 2p | grep -q '^  Documents: chosen "ID-1 card" (score, [0-9]*); nearest ".*" [0-9]* failed$' && echo ok)"

# Frame lines: a new A4 form (a two-column grid and a box) taught below the
# "A4 page" group of the example set from three 200-dpi pages a few pixels
# apart; the fourth page is classified as it and the bundled forms as before.
grid_form() { # SHIFT FILE
  local s=$1 l=$((100 + $1)) r=$((1554 + $1)) top=$((600 + $1)) d=() i x
  for i in 0 1 2 3 4 5 6; do d+=(-draw "line $l,$((top + i * 110)) $r,$((top + i * 110))"); done
  for x in $l $((l + 700)) $r; do d+=(-draw "line $x,$top $x,$((top + 660))"); done
  d+=(-draw "rectangle $((l + 800)),$((top + 900)) $r,$((top + 1200))")
  convert -size 1654x2339 xc:white -fill none -stroke black -strokewidth 3 "${d[@]}" \
    -threshold 50% -type bilevel "$2"
}
grid_form 0 "$tmp/g1.png"; grid_form 8 "$tmp/g2.png"; grid_form -6 "$tmp/g3.png"; grid_form 4 "$tmp/g4.png"
before=$(state)
"$tool" add --main "$main" --group "A4 page" --id FORM-G300 --name "Grid form" --dpi 200 \
  "$tmp/g1.png" "$root/examples/pages/200dpi/FORM-T100_table.tif" >/dev/null 2>"$tmp/err"
check "frame lines: samples of different classes refused" 1 $?
check "frame lines: refusal names the reason" "ok" "$(grep -q 'samples of different classes' "$tmp/err" && echo ok)"
"$tool" add --main "$main" --group "A4 page" --id FORM-G300 --name "Grid form" --dpi 200 \
  "$tmp/g1.png" "$root/examples/pages/300dpi/A4_page.png" >/dev/null 2>&1
check "frame lines: a sample without lines refused" 1 $?
check "frame lines: refusals changed nothing" "$before" "$(state)"
out=$("$tool" add --main "$main" --group "A4 page" --id FORM-G300 --name "Grid form" --dpi 200 \
  "$tmp/g1.png" "$tmp/g2.png" "$tmp/g3.png"); check "frame lines: add exit" 0 $?
check "frame lines: every line kept" "ok" "$(echo "$out" | grep -q '^filter 3 (frame lines): 14 lines found in at least 3 of 3 samples kept, 0 dropped' && echo ok)"
check "frame lines: reference written by the records" 14 "$(grep -o '<FrameLine ' "$tmp/templates/sub/FORM-G300.xml" | wc -l)"
check "frame lines: fourth page" "FORM-G300" "$("$classify" -t "$main" --dpi 200 "$tmp/g4.png" | cut -f2)"
check "frame lines: bundled forms unchanged" "FORM-B200 FORM-T100 FORM-T100" "$("$classify" -t "$main" --dpi 200 \
  "$root"/examples/pages/200dpi/FORM-* | cut -f2 | tr '\n' ' ' | sed 's/ $//')"

# Text: a new A4 form told apart by its heading, below the "A4 page" group of
# text.xml (line alignment), and a new TD3 page told apart by its
# machine-readable zone (patterns). Needs the recognition engine plug-ins.
bin=$(dirname "$tool")
if [ ! -e "$bin/libPrintedLine.so" ] || [ ! -e "$bin/libGrayCore.so" ] || ! convert -list font | grep -q DejaVu-Sans-Bold; then
  echo "skip: text teaching needs the engine plug-ins beside $tool and the DejaVu fonts"
  exit $fail
fi
text="$tmp/templates/text.xml"
heading() { # TITLE SHIFT_PX FILE: a 300-dpi A4 page with the example forms' ruling
  local l=$((177 + $2)) d=() i
  for i in $(seq 0 14); do d+=(-draw "line $l,$((709 + $2 + i * 142)) $((2303 + $2)),$((709 + $2 + i * 142))"); done
  convert -size 2480x3508 xc:white -fill none -stroke black -strokewidth 4 "${d[@]}" -stroke none -fill black \
    -font DejaVu-Sans-Bold -pointsize 33 -annotate "+$l+$((413 + $2))" "$1" -threshold 55% -type bilevel "$3"
}
for i in 1 2 3 4; do heading "CLAIM FOR A TRAVEL REFUND" $((i * 5 - 10)) "$tmp/h$i.png"; done
heading "REQUEST FOR A PARKING PERMIT" 0 "$tmp/other.png"
before=$(state)
"$tool" add --main "$text" --group "A4 page" --id FORM-REFUND --name "Travel refund claim" --dpi 300 \
  "$tmp/h1.png" "$tmp/other.png" >/dev/null 2>"$tmp/err"
check "text: samples of different classes refused" 1 $?
check "text: refusal names the reason" "ok" "$(grep -q 'samples of different classes' "$tmp/err" && echo ok)"
check "text: refusal changed nothing" "$before" "$(state)"
out=$("$tool" add --main "$text" --group "A4 page" --id FORM-REFUND --name "Travel refund claim" --dpi 300 \
  "$tmp/h1.png" "$tmp/h2.png" "$tmp/h3.png"); check "text: add exit" 0 $?
check "text: the heading kept" "ok" "$(echo "$out" | grep -q '^filter 5 (text): 1 fixed lines' && echo ok)"
check "text: fourth page" "FORM-REFUND" "$("$classify" -t "$text" --dpi 300 "$tmp/h4.png" | cut -f2)"
check "text: bundled pages unchanged" "FORM-ADDRESS FORM-RESIDENCE" "$("$classify" -t "$text" --dpi 300 \
  "$root"/examples/pages/text/300dpi/FORM-* | cut -f2 | tr '\n' ' ' | sed 's/ $//')"

# Machine-readable zones of a new kind ("I<" in place of "P<"/"V<"): the
# zone lines differ from page to page and become patterns.
ocrb=/usr/share/fonts/opentype/ocr-b/OCRB.otf
if [ -f "$ocrb" ]; then
  zone() { # SURNAME NUMBER FILE: a 300-dpi TD3-size page with a two-line zone
    local l1 l2
    l1=$(printf 'I<UTO%s<<ANNA%s' "$1" '<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<' | cut -c1-44)
    l2="${2}UTO8501017F3001012<<<<<<<<<<<<<<06"
    convert -size 1476x1039 xc:white -fill black -font "$ocrb" -pointsize 41.67 \
      -annotate "+71+880" "$l1" -annotate "+71+969" "$l2" -threshold 55% -type bilevel "$3"
  }
  zone ERIKSSON AB1234567 "$tmp/z1.png"; zone MARTIN CD7654321 "$tmp/z2.png"
  zone OKAFOR EF2468024 "$tmp/z3.png"; zone HANSEN GH1357913 "$tmp/z4.png"
  out=$("$tool" add --main "$text" --group "TD3 travel document" --id TEXT-IDTRAVEL --name "Travel ID" \
    --dpi 300 "$tmp/z1.png" "$tmp/z2.png" "$tmp/z3.png"); check "zone: add exit" 0 $?
  check "zone: both lines patterns" "ok" "$(echo "$out" | grep -q '^filter 4 (text): 0 fixed lines, 2 lines turned into patterns' && echo ok)"
  check "zone: the name became one stretch" "ok" "$(grep -q 'Text="I&lt;UTO\[\\U&lt;\]{' "$tmp/templates/sub/TEXT-IDTRAVEL.xml" && echo ok)"
  check "zone: fourth page" "TEXT-IDTRAVEL" "$("$classify" -t "$text" --dpi 300 "$tmp/z4.png" | cut -f2)"
  check "zone: bundled zones unchanged" "TEXT-PASSPORT TEXT-VISA" "$("$classify" -t "$text" --dpi 300 \
    "$root"/examples/pages/text/300dpi/TEXT-*_mrz.png | cut -f2 | tr '\n' ' ' | sed 's/ $//')"
  # The same kind taught to the zone set (strict zone patterns, method 6):
  # its lines are written as patterns too, and the new kind is told from
  # the passport whose zone it resembles.
  zones="$tmp/templates/zones.xml"
  out=$("$tool" add --main "$zones" --group "/" --id ZONE-IDTRAVEL --name "Travel ID" \
    "$tmp/z1.png" "$tmp/z2.png" "$tmp/z3.png"); check "strict zone: add exit" 0 $?
  check "strict zone: both lines patterns" "ok" "$(echo "$out" | grep -q '(text): 0 fixed lines, 2 lines turned into patterns' && echo ok)"
  check "strict zone: the name became one stretch" "ok" "$(grep -q 'Text="I&lt;UTO\[\\U&lt;\]{' "$tmp/templates/zones/ZONE-IDTRAVEL.xml" && echo ok)"
  check "strict zone: fourth page" "ZONE-IDTRAVEL" "$("$classify" -t "$zones" "$tmp/z4.png" | cut -f2)"
else
  echo "skip: the zone checks need the OCR-B font (fonts-ocr-b)"
fi
# An engine that cannot start fails check before any sample, naming the
# engine's text filter and the file; the samples are still reported.
mkdir -p "$tmp/wd"
echo "not a library" > "$tmp/wd/libGrayCore.so"
echo "not a library" > "$tmp/wd/libPrintedLine.so"
out=$("$tool" check "$root/examples/templates/text.xml" --dpi 300 -w "$tmp/wd" \
  "$root/examples/pages/text/300dpi/TEXT-PASSPORT_mrz.png"); check "check: broken engine exit" 1 $?
check "check: broken engine named with its file" "ok" "$(echo "$out" | grep -q "^error: engine check failed (-9): text filter 4 \"Machine-readable zone\": recognition engine (type 1/[0-9]*) could not start: .*$tmp/wd/lib[A-Za-z]*\.so" && echo ok)"
check "check: the sample still reported" "ok" "$(echo "$out" | grep -q "TEXT-PASSPORT_mrz.png" && echo ok)"
"$tool" check "$root/examples/templates/main.xml" -w "$tmp/no-such-dir" "$root/examples/pages/300dpi/A4_page.png" \
  >/dev/null 2>&1; check "check: -w needs a directory" 2 $?
# A set without text filters starts no engine: the broken folder changes nothing.
out=$("$tool" check "$root/examples/templates/main.xml" --dpi 300 -w "$tmp/wd" "$root/examples/pages/300dpi/A4_page.png")
check "check: no engine, no engine error" "0 ok" "$? $(echo "$out" | grep -qv 'engine check' && echo ok)"
exit $fail
