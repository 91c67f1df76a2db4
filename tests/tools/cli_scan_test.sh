#!/usr/bin/env bash
# morvane-classify --scan on SANE's test backend (a private SANE
# configuration offering only the "test" backend).
set -u
tool=$1
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/sane"
echo test > "$tmp/sane/dll.conf"
printf 'number_of_devices 2\ngeometry_quant 0.0\n' > "$tmp/sane/test.conf"
export SANE_CONFIG_DIR="$tmp/sane"
# (only read under LeakSanitizer) a leak of SANE's test backend
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/lsan-sane.supp"

out=$("$tool" --scan --dpi 100); check "one page exit" 0 $?
check "one page line" "scan:1	UNKNOWN	Unknown document	0" "$out"

# The feeder of the test backend holds ten sheets.
out=$("$tool" --scan --device test:1 --pages 0 --dpi 50 --mode lineart --save "$tmp/pages"); check "feeder exit" 0 $?
check "feeder pages" 10 "$(echo "$out" | wc -l)"
check "saved pages" 10 "$(ls "$tmp/pages" | wc -l)"
check "saved path printed" "$tmp/pages/page-1.png" "$(echo "$out" | head -1 | cut -f1)"
out=$("$tool" --scan --pages 3 --dpi 50 --mode color --json); check "three pages exit" 0 $?
check "three pages" 3 "$(echo "$out" | grep -c '"id":"UNKNOWN"')"

"$tool" --scan --device nosuch:scanner >/dev/null 2>&1; check "unknown scanner" 2 $?
"$tool" --scan --mode sepia >/dev/null 2>&1; check "bad mode" 2 $?
"$tool" --scan --pages -1 >/dev/null 2>&1; check "bad pages" 2 $?
"$tool" --scan page.png >/dev/null 2>&1; check "scan with a path" 2 $?
out=$("$tool" --scan --dpi 5000); check "resolution beyond the scanner exit" 1 $?
check "resolution beyond the scanner" "scan:1	error: Failed to capture images (-18)" "$out"
exit $fail
