#!/usr/bin/env bash
# Installs what is missing, builds the library and morvane-classify, and
# classifies every bundled example page. Pages lie in folders named by their
# resolution (the host tells the classifier the resolution); each page's file
# name starts with the sub-template ID it must come out as, and the run fails
# when any page comes out differently.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build-release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
tool="$build/morvane-classify"
"$tool" --version

wrong=0
total=0
# Clean pages go through main.xml; scanned-looking pages (tilted, on a black
# scanner bed) through scanned.xml, which straightens and trims them first.
# Pages that only their printed text tells apart (pages/text) go through
# text.xml and, scanned, text_scanned.xml.
for dir in "$root"/examples/pages/*dpi "$root"/examples/pages/scanned/*dpi \
           "$root"/examples/pages/text/*dpi "$root"/examples/pages/text/scanned/*dpi; do
  [ -d "$dir" ] || continue
  dpi=$(basename "$dir" dpi)
  case "$dir" in
    */text/scanned/*) template="$root/examples/templates/text_scanned.xml" ;;
    */text/*) template="$root/examples/templates/text.xml" ;;
    */scanned/*) template="$root/examples/templates/scanned.xml" ;;
    *) template="$root/examples/templates/main.xml" ;;
  esac
  echo "== ${dir#$root/} ($dpi dpi, $(basename "$template"))"
  while IFS=$'\t' read -r path id rest; do
    total=$((total + 1))
    expected=$(basename "$path"); expected=${expected%%_*}
    if [ "$id" = "$expected" ]; then
      printf 'ok     %s\t%s\t%s\n' "${path#$root/}" "$id" "$rest"
    else
      printf 'WRONG  %s\t%s %s (expected %s)\n' "${path#$root/}" "$id" "$rest" "$expected"
      wrong=$((wrong + 1))
    fi
  done < <("$tool" -t "$template" --dpi "$dpi" "$dir" || true)
done
echo "$((total - wrong)) of $total pages classified as expected."
[ "$wrong" -eq 0 ] && [ "$total" -gt 0 ]
