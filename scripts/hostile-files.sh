#!/usr/bin/env bash
# Builds the release tool, writes the hostile image files (scripts/hostile/)
# into a temporary folder and checks that each is refused or read in under
# 1 s and 512 MB. Usage: scripts/hostile-files.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-release}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvane-classify morvaneclassifier
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
python3 "$root/scripts/hostile/make_files.py" "$dir"
python3 "$root/scripts/hostile/run.py" "$build/morvane-classify" "$dir"
