#!/usr/bin/env bash
# The ThreadSanitizer job: builds the library and its interface tests with
# -fsanitize=thread (only those targets) and runs the tests that drive the
# library from several host threads. Prints how long it took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-tsan"
start=$(date +%s)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVANE_SANITIZE=OFF -DMORVANE_TSAN=ON \
  -DMORVANE_BUILD_ENGINES=OFF -DMORVANE_BUILD_SCANNER_PLUGINS=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvane_api_tests
(cd "$build/tests" && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ./morvane_api_tests --gtest_filter='HostThreads.*' --gtest_brief=1)
echo "ThreadSanitizer job passed in $(( $(date +%s) - start )) s."
