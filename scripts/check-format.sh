#!/usr/bin/env bash
# Checks (or with --fix, applies) the tree's C and C++ style from .clang-format.
# The style is clang-format 14's reading of that file (Debian 12's clang-format).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/morvane-format.$$; then
  grep -o '^[^:]*:[0-9]*:[0-9]*' /tmp/morvane-format.$$ | head -40
  echo "check-format: $(grep -c 'error:' /tmp/morvane-format.$$) places differ from .clang-format; scripts/check-format.sh --fix applies it"
  rm -f /tmp/morvane-format.$$
  exit 1
fi
rm -f /tmp/morvane-format.$$
echo "check-format: ${#files[@]} files follow .clang-format"
