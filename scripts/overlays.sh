#!/usr/bin/env bash
# Draws the overlay of every bundled example page (morvane-classify
# --overlay, at the default vector tier) into BUILD_DIR/overlays, one folder
# per page folder, and fails when a page has no picture or a picture is not
# a PNG. The pictures are for looking at, not kept in the repository.
# Usage: scripts/overlays.sh [BUILD_DIR]   (default build-release; built first)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
fi
build=$(cd "$build" && pwd)
cmake --build "$build" --target morvane-classify >/dev/null
out="$build/overlays"
rm -rf "$out"
start=$(date +%s)
pages=0 missing=0
. "$root/scripts/example-folders.sh"
while IFS=$'\t' read -r dir template <&3; do
  dpi=$(basename "$dir" dpi)
  rel=${dir#$root/examples/pages/}
  target="$out/${rel//\//_}"
  (cd "$dir" && "$build/morvane-classify" -t "$template" --dpi "$dpi" --overlay "$target" . >/dev/null) || true
  for page in "$dir"/*; do
    case "$page" in *.png|*.jpg|*.tif|*.bmp|*.gif|*.jp2) ;; *) continue ;; esac
    pages=$((pages + 1))
    name=$(basename "$page"); name=${name%.*}
    picture="$target/$name.png"
    if [ ! -s "$picture" ] || [ "$(head -c 8 "$picture" | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
      echo "no overlay for ${page#$root/}"; missing=$((missing + 1))
    fi
  done
done 3< <(example_folders "$root")
echo "$((pages - missing)) of $pages page overlays in ${out#$root/} ($(( $(date +%s) - start )) s)"
[ "$missing" -eq 0 ] && [ "$pages" -gt 0 ]
