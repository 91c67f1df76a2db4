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

# The Python package and the Dask example load the library into a Python
# interpreter, which a sanitizer build of the library cannot run in: they are
# tested against a release build (the one scripts/run-examples.sh uses).
release="$root/build-release"
cmake -S "$root" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$release" -j "$jobs" --target morvaneclassifier morvane-classify
echo "== Python package and Dask example"
MORVANE_LIBRARY="$release/libmorvaneclassifier.so" PYTHONDONTWRITEBYTECODE=1 \
  "${PYTHON:-/usr/bin/python3}" -m pytest -q -p no:cacheprovider "$root/python/tests" "$root/examples/cluster"

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
