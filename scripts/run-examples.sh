#!/usr/bin/env bash
# Installs, builds, and classifies every bundled example page.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF
cmake --build "$build" -j "$(nproc)"
"$build/morvane-classify" --version
