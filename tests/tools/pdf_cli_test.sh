#!/usr/bin/env bash
# morvane-classify on PDFs made from the example pages: one line per page
# named PATH#page=N, --pages, standard input, the resolution a scanned page
# states, rendered pages (or their refusal in a build without a renderer),
# and the refusals of encrypted and damaged files.
# Usage: pdf_cli_test.sh MORVANE_CLASSIFY MAKE_TEST_PDF SOURCE_DIR RENDERER(ON|OFF)
set -u
tool=$1
make=$2
root=$3
renderer=$4
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
contains() { # description needle haystack
  case "$3" in *"$2"*) echo "ok: $1" ;; *) echo "FAIL: $1: [$2] not in [$3]"; fail=1 ;; esac
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
pages="$root/examples/pages"

"$tool" --pdf-dpi 20 x.pdf >/dev/null 2>&1; check "bad --pdf-dpi" 2 $?
"$tool" --help | grep -q -- '--pdf-dpi N'; check "--pdf-dpi in --help" 0 $?

# Scanned-image pages of each kind, each read at the resolution it is placed at.
"$make" "$tmp/scans.pdf" dct:"$pages/200dpi/A4_page.jpg" g4:"$pages/300dpi/LETTER_page.tif" \
  flate:"$pages/400dpi/A5_page.png" g4:"$pages/300dpi/TD3_passport.tif"
check "make scans" 0 $?
out=$("$tool" "$tmp/scans.pdf"); check "scans exit" 0 $?
check "scans lines" "$tmp/scans.pdf#page=1 A4
$tmp/scans.pdf#page=2 LETTER
$tmp/scans.pdf#page=3 A5
$tmp/scans.pdf#page=4 TD3" "$(echo "$out" | cut -f1,2 | tr '\t' ' ')"
out=$("$tool" --json --pages 1-2 "$tmp/scans.pdf" | python3 -c '
import json, sys
for line in sys.stdin:
    o = json.loads(line)
    r = o["resolution"]
    print(o["path"].rsplit("#", 1)[1], o["id"], r["x"], r["y"], r["source"])')
check "scans resolution from the page" "page=1 A4 200 200 file
page=2 LETTER 300 300 file" "$out"

# The two-page PDF of the issue: a scanned page and a page of drawn boxes.
"$make" "$tmp/two.pdf" dct:"$pages/200dpi/A4_page.jpg" vector:"$pages/400dpi/A5_page.png"
check "make two" 0 $?
out=$("$tool" "$tmp/two.pdf")
status=$?
if [ "$renderer" = ON ]; then
  check "two exit" 0 $status
  check "two lines" "$tmp/two.pdf#page=1 A4
$tmp/two.pdf#page=2 A5" "$(echo "$out" | cut -f1,2 | tr '\t' ' ')"
  out=$("$tool" --pdf-dpi 150 --json --pages 2 "$tmp/two.pdf" | python3 -c '
import json, sys
o = json.loads(sys.stdin.read())
print(o["id"], o["resolution"]["x"], o["resolution"]["source"])')
  check "rendered page at --pdf-dpi" "A5 150 file" "$out"
else
  check "two exit without a renderer" 1 $status
  check "first page without a renderer" "$tmp/two.pdf#page=1 A4" "$(echo "$out" | head -1 | cut -f1,2 | tr '\t' ' ')"
  contains "second page names the missing renderer" "no PDF renderer" "$(echo "$out" | sed -n 2p)"
fi

# A page's /Rotate turns the scanned image as the page is shown: a Letter
# page rotated 90 degrees is a landscape page, which the orientation search
# turns back.
"$make" "$tmp/rotated.pdf" --rotate 90 g4:"$pages/300dpi/LETTER_page.tif" --rotate 180 \
  g4:"$pages/300dpi/LETTER_page.tif"
check "make rotated" 0 $?
check "rotated pages" "$tmp/rotated.pdf#page=1 UNKNOWN
$tmp/rotated.pdf#page=2 LETTER" "$("$tool" "$tmp/rotated.pdf" | cut -f1,2 | tr '\t' ' ')"
out=$("$tool" --orient --json --pages 1 "$tmp/rotated.pdf" | python3 -c '
import json, sys
o = json.loads(sys.stdin.read())
print(o["id"], o["turn"])')
check "rotated page turned back" "LETTER 90" "$out"

# --pages selects; a one-page PDF still names its page.
out=$("$tool" --pages 3- "$tmp/scans.pdf" | cut -f1,2 | tr '\t' ' ')
check "pages 3-" "$tmp/scans.pdf#page=3 A5
$tmp/scans.pdf#page=4 TD3" "$out"
"$make" "$tmp/one.pdf" g4:"$pages/300dpi/LETTER_page.tif"
check "one-page name" "$tmp/one.pdf#page=1 LETTER" "$("$tool" "$tmp/one.pdf" | cut -f1,2 | tr '\t' ' ')"

# Standard input takes a PDF and every page of it.
out=$(cat "$tmp/scans.pdf" | "$tool" --pages 2-3 -); check "stdin pdf exit" 0 $?
check "stdin pdf" "-#page=2 LETTER
-#page=3 A5" "$(echo "$out" | cut -f1,2 | tr '\t' ' ')"

# Refusals name their cause.
"$make" "$tmp/locked.pdf" --encrypt g4:"$pages/300dpi/LETTER_page.tif"
out=$("$tool" "$tmp/locked.pdf"); check "encrypted exit" 1 $?
contains "encrypted cause" "error: Failed to read image file (-16): encrypted PDF" "$out"
head -c 9 "$tmp/scans.pdf" > "$tmp/stub.pdf"
out=$("$tool" "$tmp/stub.pdf"); check "damaged exit" 1 $?
contains "damaged cause" "damaged PDF" "$out"
out=$(cat "$tmp/locked.pdf" | "$tool" -); check "encrypted stdin exit" 1 $?
contains "encrypted stdin cause" "encrypted PDF" "$out"

exit $fail
