#!/usr/bin/env bash
# Builds the release tool, writes the hostile image files (scripts/hostile/)
# into a temporary folder and checks that each is refused or read in under
# 1 s and 512 MB; then loads a generated template set of about 63 MB and
# checks that it costs at most 4 times its size in memory
# (scripts/hostile/template_memory.py). Usage: scripts/hostile-files.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvane-classify morvaneclassifier morvane-template
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 "$root/scripts/hostile/make_files.py" "$dir"
status=0
python3 "$root/scripts/hostile/run.py" "$build/morvane-classify" "$dir" || status=1
python3 "$root/scripts/hostile/template_memory.py" "$build/morvane-template" "$dir/template-set" || status=1
exit $status
