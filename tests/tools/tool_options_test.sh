#!/usr/bin/env bash
# The options every tool shares, as a table over all of them: --help prints
# the usage on standard output and exits 0, --version prints "NAME VERSION"
# and exits 0, and "--" ends the options, so an operand named like an option
# ("-x.jpg") is taken as a file while, without "--", it is refused as an
# unknown option.
# Usage: tool_options_test.sh BUILD_DIR SOURCE_DIR VERSION
set -u
build=$1
root=$2
version=$3
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp" || exit 1
cp "$root/examples/pages/300dpi/A4_page.png" ./-x.png
printf 'P5\n4 4\n255\n' > ./-x.pgm && head -c 16 /dev/zero >> ./-x.pgm
: > ./-x.jobs
templates="$root/examples/templates"

tools=(morvane-classify morvane-template morvane-measure morvane-recognize morvane-layout-accuracy)
for tool in "${tools[@]}"; do
  exe="$build/$tool"
  [ -x "$exe" ] || { echo "FAIL: $tool was not built"; fail=1; continue; }
  for help in --help -h; do
    out=$("$exe" "$help" 2>"$tmp/err"); status=$?
    check "$tool $help exit" 0 $status
    check "$tool $help starts with the usage" yes "$(head -1 <<<"$out" | grep -qi "^usage: $tool" && echo yes)"
    check "$tool $help on standard output only" "" "$(cat "$tmp/err")"
  done
  out=$("$exe" --version 2>"$tmp/err"); status=$?
  check "$tool --version exit" 0 $status
  check "$tool --version text" "$tool $version" "$out"
  # After "--", --help and --version are operands, not requests.
  out=$("$exe" -- --help 2>&1); status=$?
  check "$tool -- --help is an operand" no "$([ $status -eq 0 ] && head -1 <<<"$out" | grep -qi '^usage:' && echo yes || echo no)"
done

# "--" before a file named like an option, per tool: the command, its exit
# status and a pattern its standard output must match; then the same without
# "--", which each tool refuses as an unknown option (exit 2). (A check
# reports close margins without failing; after a leading "--" every later
# argument is a sample, and "--dpi", "300" and "--" cannot be read: exit 1.)
while IFS='|' read -r tool args status pattern; do
  [ -n "$tool" ] || continue
  read -ra argv <<<"$args"
  out=$("$build/$tool" "${argv[@]}" 2>"$tmp/err"); got=$?
  check "$tool $args: exit" "$status" "$got"
  check "$tool $args: output" yes "$(grep -qE -- "$pattern" <<<"$out" && echo yes || { cat "$tmp/err"; echo no; })"
done <<TABLE
morvane-classify|-t $templates/main.xml --dpi 300 -- -x.png|0|^-x\.png	A4	
morvane-classify|-t $templates/main.xml --dpi 300 -x.png|2|^$
morvane-template|check $templates/main.xml --dpi 300 -- -x.png|0|^-x\.png	A4$
morvane-template|check -- $templates/main.xml --dpi 300 -- -x.png|1|^-x\.png	A4$
morvane-measure|--dpi 300 -- $templates/filters.xml 1 -x.png|0|^<FilterInfo RefFilter="1"
morvane-measure|--dpi 300 $templates/filters.xml 1 -x.png|2|^$
morvane-recognize|-- -x.pgm|0|^-x\.pgm	
morvane-recognize|-x.pgm|2|^$
morvane-layout-accuracy|-- -x.jobs|0|^$
morvane-layout-accuracy|-x.jobs|2|^$
TABLE
exit $fail
