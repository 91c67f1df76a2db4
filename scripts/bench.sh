#!/usr/bin/env bash
# Installs the reference libraries, builds and runs every benchmark.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" "$root/scripts/packages/bench-reference.txt"
build="$root/build-bench"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF -DMORVANE_BUILD_BENCH=ON
cmake --build "$build" -j "$(nproc)"
for b in "$build"/bench/*; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  if [ $# -gt 0 ]; then
    case " $* " in *" $(basename "$b") "*) ;; *) continue ;; esac
  fi
  echo "== $(basename "$b")"
  "$b" --benchmark_counters_tabular=true
done
# The HTML report's load time in headless Chromium (a script, not a binary).
case " $* " in
  "  " | *" report_load "*)
    "$root/scripts/setup.sh" "$root/scripts/packages/optional-browser.txt" >/dev/null
    echo "== report_load"
    "$root/bench/report_load.sh" "$build" ;;
esac
