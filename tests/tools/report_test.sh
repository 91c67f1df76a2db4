#!/usr/bin/env bash
# morvane-classify --report: one self-contained HTML page for a batch. A
# batch of bundled pages with one unreadable file: a row per page, the failed
# page first, score and margin from the decision trace, the class filter's
# choices, every overlay embedded, and the temporary overlays cleaned up.
set -u
tool=$1
root=$2
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/pages"
cp "$root/examples/pages/300dpi/A4_page.png" "$root/examples/pages/300dpi/LETTER_page.tif" \
   "$root/examples/pages/300dpi/ID1_card.bmp" "$tmp/pages/"
printf 'not an image' >"$tmp/pages/broken.png"
mkdir "$tmp/t"
TMPDIR="$tmp/t" "$tool" --dpi 300 --report "$tmp/report.html" "$tmp/pages" >/dev/null 2>&1
check "exit status (a page failed)" 1 $?
html=$(cat "$tmp/report.html")
check "a row per page" 4 "$(grep -o '<tr class="page' <<<"$html" | wc -l)"
check "a detail row per page" 4 "$(grep -o '<tr class="detail"' <<<"$html" | wc -l)"
check "failed page first" "failed" "$(grep -o '<tr class="page[^"]*"' <<<"$html" | head -1 | grep -o failed)"
check "overlays embedded" 3 "$(grep -o 'src="data:image/png;base64,iVBOR' <<<"$html" | wc -l)"
check "A4 score and margin over US Letter" "ok" \
  "$(grep -q 'A4 page (210 x 297 mm)</small></td><td>999</td><td class="margin">66</td><td>300 x 300 dpi (given)</td>' <<<"$html" && echo ok)"
check "class filter lists the classes" '(all) (failed) A4 ID1 LETTER' \
  "$(grep -o '<option value="[^"]*">[^<]*' <<<"$html" | sed 's/.*>//' | tr '\n' ' ' | sed 's/ $//')"
check "decision tree in the detail row" "ok" "$(grep -q '<pre>result: A4 &quot;A4 page' <<<"$html" && echo ok)"
check "no external resource" "" "$(grep -Eo '(src|href)="(http|file|/)[^"]*"' <<<"$html")"
check "temporary overlays removed" "" "$(ls -A "$tmp/t")"
# With --overlay DIR the pictures stay there.
"$tool" --dpi 300 --overlay "$tmp/ov" --report "$tmp/report2.html" "$tmp/pages/A4_page.png" >/dev/null
check "overlay folder kept" "ok" "$([ -s "$tmp/ov/$(echo "${tmp#/}/pages/A4_page" | tr / _).png" ] && echo ok)"
check "no facts files left" "" "$(ls "$tmp/ov" | grep facts)"
exit $fail
