#!/usr/bin/env bash
# Installs what is missing, builds the library and morvane-classify, and
# classifies every bundled example page (with the command-line tool, the
# Python package and the Dask example). Pages lie in folders named by their
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
# Each folder is classified twice: once told its resolution (--dpi), once
# with none, so that each page's resolution comes from what its file states.
# Clean pages go through main.xml; scanned-looking pages (tilted, on a black
# scanner bed) through scanned.xml, which straightens and trims them first.
# Pages that only their printed text tells apart (pages/text) go through
# text.xml and, scanned, text_scanned.xml.
. "$root/scripts/example-folders.sh"
while IFS=$'\t' read -r dir template <&3; do
  dpi=$(basename "$dir" dpi)
  for how in "--dpi $dpi" "(no --dpi)"; do
  dpiargs=(--dpi "$dpi")
  [ "$how" = "(no --dpi)" ] && dpiargs=()
  echo "== ${dir#$root/} ($dpi dpi, $(basename "$template"), $how)"
  while IFS=$'\t' read -r path id rest; do
    total=$((total + 1))
    expected=$(basename "$path"); expected=${expected%%_*}
    if [ "$id" = "$expected" ]; then
      printf 'ok     %s\t%s\t%s\n' "${path#$root/}" "$id" "$rest"
    else
      printf 'WRONG  %s\t%s %s (expected %s)\n' "${path#$root/}" "$id" "$rest" "$expected"
      wrong=$((wrong + 1))
    fi
  done < <("$tool" -t "$template" ${dpiargs[@]+"${dpiargs[@]}"} "$dir" || true)
  done
done 3< <(example_folders "$root")
# The zone template set (zones.xml) on the specimen documents kept beside
# the project (../shared/testdata/mrz-specimens): each must come out as the
# class its README zone names, and its decoded zone as printed. Without the
# folder the check is skipped and says so; MORVANE_REQUIRE_SHARED=1 makes
# its absence a failure.
specimens="${MORVANE_SHARED_DIR:-$root/../shared}/testdata/mrz-specimens"
if [ -f "$specimens/README.md" ]; then
  echo "== specimens ($(basename "$(dirname "$specimens")")/mrz-specimens, zones.xml)"
  spec_out=$("$tool" -t "$root/examples/templates/zones.xml" --json --mrz "$specimens" || true)
  if ! python3 "$root/scripts/zone-check.py" "$specimens/README.md" <<<"$spec_out"; then wrong=$((wrong + 1)); fi
  total=$((total + 1))
elif [ "${MORVANE_REQUIRE_SHARED:-0}" = 1 ]; then
  echo "WRONG  the specimen folder $specimens is missing (MORVANE_REQUIRE_SHARED=1)"; wrong=$((wrong + 1))
else
  echo "skipped: zones.xml on the specimens ($specimens not found)"
fi
echo "$((total - wrong)) of $total page runs classified as expected."
if [ "$wrong" -ne 0 ] || [ "$total" -eq 0 ]; then exit 1; fi

# The same pages through the Python package, and the 300-dpi pages on a local
# Dask cluster of two worker processes: each must answer as the C tool does.
python=${PYTHON:-/usr/bin/python3}
export PYTHONPATH="$root/python${PYTHONPATH:+:$PYTHONPATH}" MORVANE_LIBRARY="$build/libmorvaneclassifier.so"
differ=0
for dir in "$root"/examples/pages/*dpi "$root"/examples/pages/scanned/*dpi; do
  dpi=$(basename "$dir" dpi)
  template="$root/examples/templates/main.xml"
  case "$dir" in */scanned/*) template="$root/examples/templates/scanned.xml" ;; esac
  if ! diff <("$tool" -t "$template" --dpi "$dpi" "$dir") <("$python" -m morvane -t "$template" --dpi "$dpi" "$dir"); then
    echo "python -m morvane differs from morvane-classify on ${dir#$root/}"; differ=1
  fi
done
[ "$differ" -eq 0 ] && echo "python -m morvane: same answers as morvane-classify on every page."
if ! diff <("$tool" --json "$root/examples/pages/300dpi") \
          <("$python" "$root/examples/cluster/morvane_cluster.py" --workers 2 "$root/examples/pages/300dpi" 2>/dev/null); then
  echo "the Dask example differs from morvane-classify"; differ=1
fi
[ "$differ" -eq 0 ] && echo "Dask example (2 worker processes): same answers as morvane-classify."
[ "$differ" -eq 0 ]
