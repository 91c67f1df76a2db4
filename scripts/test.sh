#!/usr/bin/env bash
# Installs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, runs
# every test with CTest, then runs each fuzz target for a short, bounded time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)

build="$root/build-test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build" -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 600)
# CTest ran the best vector tier of the pixel kernels this processor has;
# run the unit and interface tests again with each lower tier forced (the
# per-tier suites already run every tier themselves).
for tier in scalar sse2; do
  echo "== tests at the $tier tier"
  MORVANE_SIMD=$tier "$build/tests/morvane_unit_tests" --gtest_filter='-Tiers/*' --gtest_brief=1
  (cd "$build/tests" && MORVANE_SIMD=$tier ./morvane_api_tests --gtest_brief=1)
done

fuzzbuild="$root/build-fuzz"
cmake -S "$root" -B "$fuzzbuild" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_SANITIZE=ON \
  -DMORVANE_BUILD_FUZZ=ON -DMORVANE_BUILD_TESTS=OFF -DMORVANE_BUILD_TOOLS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build "$fuzzbuild" -j "$jobs"
seconds=${MORVANE_FUZZ_SECONDS:-20}
for target in "$root"/fuzz/*.cpp; do
  name=$(basename "$target" .cpp)
  corpus_in="$root/fuzz/corpus/$name"
  work=$(mktemp -d)
  [ -d "$corpus_in" ] && cp -r "$corpus_in"/. "$work"/ 2>/dev/null || true
  echo "== fuzzing $name for ${seconds}s"
  "$fuzzbuild/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 "$work" 2>&1 | tail -n 3
  rm -rf "$work"
done
echo "All tests passed."
