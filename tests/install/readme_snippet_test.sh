#!/usr/bin/env bash
# The README's C example compiles as it stands there: the first ```c block of
# its "Using the library from a host" section, compiled as C11 with warnings
# as errors against the public header.
# Usage: readme_snippet_test.sh SOURCE_DIR C_COMPILER
set -u
root=$1
cc=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
awk '/^## Using the library from a host/ { section = 1; next }
     section && /^## / { exit }
     section && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit }
     inside { print }' "$root/README.md" > "$tmp/host.c"
if ! grep -q 'int main' "$tmp/host.c"; then
  echo "FAIL: no C example with a main function in the README"; exit 1
fi
if "$cc" -std=c11 -Wall -Wextra -Werror -pedantic -I "$root/include" -c "$tmp/host.c" -o "$tmp/host.o"; then
  echo "ok: the README's C example compiles with -std=c11"
else
  echo "FAIL: the README's C example does not compile:"; cat -n "$tmp/host.c"; exit 1
fi
