#!/usr/bin/env bash
# Browser check of morvane-classify --report: installs Chromium
# (scripts/packages/optional-browser.txt), builds only morvane-classify and
# the library, writes the report of a 50-page batch (the bundled 300-dpi
# pages, copied under other names), loads it in headless Chromium and checks
# that it renders: a screenshot is taken, the DOM after the page's script
# holds 50 page rows and its ready mark, and no error reached the console.
# Prints the time of each step.
# Usage: scripts/report-browser-test.sh [BUILD_DIR]   (default build-release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
"$root/scripts/setup.sh" "$root/scripts/packages/optional-browser.txt" >/dev/null
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
fi
build=$(cd "$build" && pwd)
cmake --build "$build" --target morvane-classify >/dev/null
browser=$(command -v chromium || command -v chromium-browser)
out="$build/report-check"
rm -rf "$out"
mkdir -p "$out/pages"
ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }

n=0
while [ $n -lt 50 ]; do
  for page in "$root"/examples/pages/300dpi/*; do
    [ $n -lt 50 ] || break
    cp "$page" "$out/pages/$(printf '%02d' $n)_$(basename "$page")"
    n=$((n + 1))
  done
done
t=$(date +%s%N)
"$build/morvane-classify" --dpi 300 --report "$out/report.html" "$out/pages" >/dev/null || true
echo "report of 50 pages written in $(ms "$t") ms ($(stat -c %s "$out/report.html") bytes)"

flags=(--headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run --user-data-dir="$out/profile")
t=$(date +%s%N)
"$browser" "${flags[@]}" --window-size=1280,2400 --screenshot="$out/report.png" "file://$out/report.html" \
  >/dev/null 2>"$out/screenshot.log" || true
echo "screenshot taken in $(ms "$t") ms"
t=$(date +%s%N)
"$browser" "${flags[@]}" --enable-logging=stderr --v=0 --dump-dom "file://$out/report.html" \
  >"$out/dom.html" 2>"$out/console.log" || true
echo "page loaded and its DOM dumped in $(ms "$t") ms"

fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
check "screenshot written" "ok" "$([ -s "$out/report.png" ] && [ "$(head -c 4 "$out/report.png" | od -An -c | tr -d ' ')" = "211PNG" ] && echo ok)"
check "page rows in the DOM" 50 "$(grep -o '<tr class="page' "$out/dom.html" | wc -l)"
check "the page's script ran" "ok" "$(grep -q '<body[^>]*data-ready="1"' "$out/dom.html" && echo ok)"
check "no script error" "" "$(grep -o 'data-errors="[^"]*"' "$out/dom.html")"
check "no console error" "" "$(grep -E 'CONSOLE.*(Uncaught|Error)|Uncaught' "$out/console.log" | head -3)"
echo "screenshot: ${out#$root/}/report.png"
exit $fail
