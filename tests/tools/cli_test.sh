#!/usr/bin/env bash
# Runs morvane-classify as a user would and checks its output and exit codes.
set -u
tool=$1
root=$2
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}

out=$("$tool" --version); check "version exit" 0 $?
check "version text" "morvane-classify 6.1.1.2" "$out"
"$tool" --help >/dev/null; check "help exit" 0 $?
"$tool" --bogus >/dev/null 2>&1; check "unknown option" 2 $?
"$tool" >/dev/null 2>&1; check "no page" 2 $?
"$tool" --dpi x page.png >/dev/null 2>&1; check "bad dpi" 2 $?
"$tool" -t /nonexistent/main.xml "$root/examples/pages" >/dev/null 2>&1; check "missing template" 2 $?
"$tool" -w /nonexistent/ "$root/examples/pages" >/dev/null 2>&1; check "missing working directory" 2 $?

# Every 300-dpi page comes out as the ID its name starts with.
lines=$("$tool" "$root/examples/pages/300dpi"); check "classify folder exit" 0 $?
count=0
while IFS=$'\t' read -r path id name output; do
  count=$((count + 1))
  expected=$(basename "$path"); expected=${expected%%_*}
  check "page $(basename "$path")" "$expected" "$id"
done <<< "$lines"
check "pages found" "$(ls "$root/examples/pages/300dpi" | wc -l)" "$count"

# A page that cannot be read is reported and the batch goes on.
tmp=$(mktemp -d)
printf 'not an image' > "$tmp/broken.png"
out=$("$tool" "$tmp/broken.png" "$root/examples/pages/300dpi/A4_page.png"); check "broken page exit" 1 $?
check "broken page line" "$tmp/broken.png	error: Failed to read image file (-16)" "$(echo "$out" | head -1)"
check "batch goes on" "A4" "$(echo "$out" | sed -n 2p | cut -f2)"

# JSON lines, the resolution option and the valid-ID restriction.
out=$("$tool" --json --dpi 200 "$root/examples/pages/200dpi/ID1_card.bmp")
check "json" '{"path":"'"$root"'/examples/pages/200dpi/ID1_card.bmp","id":"ID1","name":"ID-1 card (85.6 x 54 mm)","outputId":"ID1"}' "$out"
out=$("$tool" --valid A5 "$root/examples/pages/300dpi/A4_page.png"); check "valid restricts exit" 1 $?
check "valid restricts" "$root/examples/pages/300dpi/A4_page.png	error: Failed to classify image (-8)" "$out"

# Paths that are not regular files come back at once with an error.
mkfifo "$tmp/fifo.png"
out=$(timeout 20 "$tool" "$tmp/fifo.png"); check "fifo page exit" 1 $?
check "fifo page line" "$tmp/fifo.png	error: Failed to read image file (-16)" "$out"
out=$(timeout 20 "$tool" -t "$tmp/fifo.png" "$root/examples/pages/300dpi/A4_page.png" 2>/dev/null); check "fifo template" 2 $?
ln -s /dev/zero "$tmp/zero.png"
out=$(timeout 20 "$tool" "$tmp/zero.png"); check "device page exit" 1 $?
mkdir -p "$tmp/wd"
mkfifo "$tmp/wd/ClasDevices.dat"
timeout 20 "$tool" -w "$tmp/wd" "$root/examples/pages/300dpi/A4_page.png" >/dev/null 2>&1; check "fifo device list" 2 $?

# Directory links that lead back up do not make the walk loop; linked folders
# are searched only with --follow, and each folder once.
mkdir -p "$tmp/tree/a" "$tmp/tree/b"
cp "$root/examples/pages/300dpi/A4_page.png" "$tmp/tree/a/"
ln -s .. "$tmp/tree/a/up"
ln -s ../a "$tmp/tree/b/toa"
out=$(timeout 20 "$tool" "$tmp/tree"); check "link loop exit" 0 $?
check "link loop pages" 1 "$(echo "$out" | wc -l)"
out=$(timeout 20 "$tool" --follow "$tmp/tree"); check "follow exit" 0 $?
check "follow visits each folder once" 1 "$(echo "$out" | wc -l)"
out=$(timeout 20 "$tool" --follow "$tmp/tree/b"); check "follow into linked folder" "A4" "$(echo "$out" | cut -f2)"

# --explain: a page that matches no size takes the default branch, and the
# trace shows every size gate it failed.
page="$root/examples/pages/300dpi/UNKNOWN_receipt.png"
out=$("$tool" --explain --json "$page"); check "explain exit" 0 $?
check "explain json" "UNKNOWN default Unknown page 900 failed:ID-1 card,TD3 passport page,A4 page,A5 page,US Letter page" \
  "$(echo "$out" | python3 -c '
import json, sys
d = json.loads(sys.stdin.read())
l = d["trace"]["levels"][0]
failed = [c["name"] for c in l["children"] if c["scores"][0]["compared"] and not c["scores"][0]["passed"]]
print(d["id"], l["choice"]["by"], l["choice"]["name"], l["filters"][0]["threshold"], "failed:" + ",".join(failed))')"
out=$("$tool" --explain "$page" "$root/examples/pages/300dpi/A4_page.png"); check "explain text exit" 0 $?
check "explain text: one trace per page" 2 "$(echo "$out" | grep -c '^  trace: {')"
check "explain text: page lines kept" "UNKNOWN A4" "$(echo "$out" | grep -v '^  ' | cut -f2 | tr '\n' ' ' | sed 's/ $//')"

# --orient: a card scanned on its side is found turned back by a quarter.
if command -v convert >/dev/null; then
  convert "$root/examples/pages/300dpi/IDCARD_photo_left.jpg" -rotate 90 "$tmp/side.png"
  check "unturned side page" "UNKNOWN" "$("$tool" "$tmp/side.png" | cut -f2)"
  out=$("$tool" --orient --json "$tmp/side.png"); check "orient exit" 0 $?
  check "orient finds the card" "IDCARD 270" "$(echo "$out" | python3 -c '
import json, sys
d = json.loads(sys.stdin.read()); print(d["id"], d["turn"])')"
  out=$("$tool" --orient "$root/examples/pages/300dpi/A4_page.png")
  check "orient leaves upright pages" "A4" "$(echo "$out" | head -1 | cut -f2)"
  check "orient turn line" "  turn: 0" "$(echo "$out" | sed -n 2p)"
else
  echo "skip: --orient check needs ImageMagick's convert to turn a page"
fi

rm -rf "$tmp"
exit $fail
