#!/usr/bin/env bash
# Builds the libFuzzer targets with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs each one.
#   scripts/fuzz.sh HOURS          share HOURS (may be fractional) among all targets,
#                                  then merge and minimise each corpus
#   scripts/fuzz.sh --seconds N    run each target N seconds (what CI does)
# Initial corpora come from fuzz/corpus/<target> plus, when present, the shared
# PngSuite files. Working corpora live in build-fuzz/corpus/<target> and grow
# from run to run; crash, leak and timeout inputs go to build-fuzz/crashes/,
# and each target's whole log (sanitizer report included) to build-fuzz/logs/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=""
hours=""
case "${1:-}" in
  --seconds) seconds=${2:?}; ;;
  "") echo "usage: scripts/fuzz.sh HOURS | --seconds N" >&2; exit 2 ;;
  *) hours=$1 ;;
esac
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_SANITIZE=ON \
  -DMORVANE_BUILD_FUZZ=ON -DMORVANE_WERROR=ON -DMORVANE_BUILD_TESTS=OFF -DMORVANE_BUILD_TOOLS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)"

targets=()
for src in "$root"/fuzz/*.cpp; do targets+=("$(basename "$src" .cpp)"); done
if [ -n "$hours" ]; then
  seconds=$(awk -v h="$hours" -v n="${#targets[@]}" 'BEGIN { s = int(h * 3600 / n); if (s < 1) s = 1; print s }')
fi
crashes="$build/crashes"
logs="$build/logs"
mkdir -p "$crashes" "$logs"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

shared="${MORVANE_SHARED_DIR:-$root/../shared}/testdata/pngsuite"
failed=0
for name in "${targets[@]}"; do
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  [ -d "$root/fuzz/corpus/$name" ] && cp -n "$root/fuzz/corpus/$name"/* "$corpus"/ 2>/dev/null || true
  case "$name" in
    image_png) [ -d "$shared/png" ] && cp -n "$shared"/png/*.png "$corpus"/ 2>/dev/null || true ;;
    image_bmp) [ -d "$shared/bmp" ] && cp -n "$shared"/bmp/*.bmp "$corpus"/ 2>/dev/null || true ;;
  esac
  log="$logs/$name.log"
  echo "== fuzzing $name for ${seconds}s"
  if "$build/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$crashes/$name-" "$corpus" >"$log" 2>&1; then
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    echo "   $execs executions, corpus $(ls "$corpus" | wc -l) files"
  else
    echo "FUZZ FAILURE in $name; whole log follows ($log), inputs in $crashes"
    cat "$log"
    failed=1
  fi
  if [ -n "$hours" ]; then
    # Keep only inputs that add coverage.
    mkdir -p "$scratch/$name"
    "$build/fuzz/$name" -merge=1 -rss_limit_mb=2048 -timeout=10 "$scratch/$name" "$corpus" >/dev/null 2>&1 || true
    rm -rf "$corpus" && mv "$scratch/$name" "$corpus"
    echo "   minimised corpus: $(ls "$corpus" | wc -l) files"
  fi
done
exit $failed
