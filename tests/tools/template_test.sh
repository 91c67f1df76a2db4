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
"$tool" add --main "$main" --group "No such group" --id B5 --name B5 "$tmp/b5_1.png" 2>/dev/null
check "missing group" 1 $?
"$tool" add --main "$main" --group / --id A4 --name A4 "$tmp/b5_1.png" 2>/dev/null
check "existing ID without --replace" 1 $?
"$tool" add --main "$main" --group / --id B5 --name B5 "$tmp/b5_1.png" \
  "$root/examples/pages/300dpi/ID1_card.bmp" 2>/dev/null
check "samples of different classes" 1 $?
chmod a-w "$main"
"$tool" add --main "$main" --group / --id B5 --name B5 "$tmp/b5_1.png" 2>/dev/null
check "read-only main template" 1 $?
chmod u+w "$main"
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
  "$tmp/b5_2.png" "$tmp/b5_4.png"); check "replace exit" 0 $?
check "replace keeps one entry" 1 "$(grep -c B5.xml "$tmp/templates/subtemplates.xml")"

# check: the new class against its neighbours, per level.
# B5 and A4 share their proportions: an A4 child also passes the size gate.
out=$("$tool" check "$main" --dpi 300 "$tmp/b5_4.png"); check "check exit (weak level)" 1 $?
check "check names the class" "$tmp/b5_4.png	B5" "$(echo "$out" | head -1)"
check "check nearest competitor" "ok" "$(echo "$out" | sed -n 2p | grep -q '^  Documents: chosen "B5 page" (score, [0-9]*); nearest "A4 page" [0-9]* passed - weak$' && echo ok)"
out=$("$tool" check "$main" --dpi 300 "$root/examples/pages/300dpi/IDCARD_photo_left.jpg"); check "check exit (clear)" 0 $?
check "check clear level" "ok" "$(echo "$out" | sed -n 2p | grep -q '^  Documents: chosen "ID-1 card" (score, [0-9]*); nearest ".*" [0-9]* failed$' && echo ok)"
exit $fail
