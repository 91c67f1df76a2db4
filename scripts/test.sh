#!/usr/bin/env bash
# Installs, checks the include layers, builds with -Werror, AddressSanitizer and UndefinedBehaviorSanitizer, runs
# every test with CTest, then runs each fuzz target for a short, bounded time.
# Tests that need the shared corpora skip when they are absent, unless
# MORVANE_REQUIRE_SHARED=1 (CI) makes that a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Poppler is optional for a build, but the tests cover both PDF routes.
"$root/scripts/setup.sh" "$root/scripts/packages/optional-pdf-render.txt"
jobs=$(nproc)

# The include graph between the folders of src/ must follow the layers.
"$root/scripts/check-layers.sh"
# The C and C++ sources follow .clang-format.
"$root/scripts/check-format.sh"

build="$root/build-test"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORVANE_SANITIZE=ON -DMORVANE_WERROR=ON \
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

# The Python package and the Dask example load the library into a Python
# interpreter, which a sanitizer build of the library cannot run in: they are
# tested against a release build (the one scripts/run-examples.sh uses), with
# the engine plug-ins the text templates need.
release="$root/build-release"
cmake -S "$root" -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$release" -j "$jobs"
echo "== Python package and Dask example"
MORVANE_LIBRARY="$release/libmorvaneclassifier.so" PYTHONDONTWRITEBYTECODE=1 \
  "${PYTHON:-/usr/bin/python3}" -m pytest -q -p no:cacheprovider "$root/python/tests" "$root/examples/cluster"

# Each fuzz target for a short, bounded time (scripts/fuzz.sh HOURS for long runs).
"$root/scripts/fuzz.sh" --seconds "${MORVANE_FUZZ_SECONDS:-20}"
echo "All tests passed."
