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

rm -rf "$tmp"
exit $fail
