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
check "pages found" 6 "$count"

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
rm -rf "$tmp"
exit $fail
