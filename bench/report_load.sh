#!/usr/bin/env bash
# Load time of the HTML report of a 50-page batch in headless Chromium (run
# by scripts/bench.sh; the browser test, scripts/report-browser-test.sh,
# checks that the report renders and times nothing).
#
# Writes the report of 50 pages (the bundled 300-dpi pages under other
# names) with morvane-classify --report, then loads it RUNS times (default 5)
# with --dump-dom, which returns once the page and its script have run, and
# as many times an empty page, so that the browser's own start is taken off.
# Prints the median of each and their difference, the report's load time,
# and the report's size.
# Usage: bench/report_load.sh BUILD_DIR [RUNS]   (morvane-classify built there)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
runs=${2:-5}
browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "report_load: no chromium (scripts/packages/optional-browser.txt)" >&2
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p "$out/pages"
n=0
while [ $n -lt 50 ]; do
  for page in "$root"/examples/pages/300dpi/*; do
    [ $n -lt 50 ] || break
    cp "$page" "$out/pages/$(printf '%02d' $n)_$(basename "$page")"
    n=$((n + 1))
  done
done
"$build/morvane-classify" --dpi 300 --report "$out/report.html" "$out/pages" >/dev/null || true
[ -s "$out/report.html" ] || { echo "report_load: no report written" >&2; exit 1; }
echo '<!DOCTYPE html><html><body></body></html>' > "$out/empty.html"
flags=(--headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$out/profile")
median_ms() { # FILE: median wall time of RUNS loads, in milliseconds
  local times=() t
  for _ in $(seq "$runs"); do
    t=$(date +%s%N)
    "$browser" "${flags[@]}" --dump-dom "file://$1" >"$out/dom.html" 2>/dev/null || true
    times+=($(( ($(date +%s%N) - t) / 1000000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p"
}
median_ms "$out/empty.html" >/dev/null  # the first start fills the profile
empty=$(median_ms "$out/empty.html")
report=$(median_ms "$out/report.html")
rows=$(grep -o '<tr class="page' "$out/dom.html" | wc -l)
printf '%-34s %10s\n' "report of 50 pages" "$(stat -c %s "$out/report.html") bytes, $rows rows"
printf '%-34s %7d ms\n' "empty page (browser start)" "$empty" "report page" "$report" \
  "report load time (difference)" "$((report - empty))"
