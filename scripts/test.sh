#!/usr/bin/env bash
# Installs, checks the include layers, builds with -Werror, AddressSanitizer and UndefinedBehaviorSanitizer, runs
# every test with CTest, then runs each fuzz target for a short, bounded time.
# Tests that need the shared corpora skip when they are absent, unless
# MORVANE_REQUIRE_SHARED=1 (CI) makes that a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
jobs=$(nproc)

# The include graph between the folders of src/ must follow the layers.
"$root/scripts/check-layers.sh"

build="$root/build-test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON -DMORVANE_WERROR=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build" -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 600)

# Each fuzz target for a short, bounded time (scripts/fuzz.sh HOURS for long runs).
"$root/scripts/fuzz.sh" --seconds "${MORVANE_FUZZ_SECONDS:-20}"
echo "All tests passed."
