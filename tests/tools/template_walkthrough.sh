#!/usr/bin/env bash
# Runs the teaching walk-through of the README line for line (the block
# between the "walk-through" markers), with the tools of this build and a
# temporary folder in place of /tmp, and checks what a new user would see:
# teach, classify, check, list, show, undo and teach again.
set -u
bin=$1
root=$2
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}
if ! command -v convert >/dev/null; then
  echo "skip: the walk-through draws its sample pages with ImageMagick's convert"
  exit 0
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
block=$(sed -n '/^<!-- walk-through: begin -->$/,/^<!-- walk-through: end -->$/p' "$root/README.md" |
  grep '^    ' | sed 's/^    //')
check "the README holds the walk-through" "ok" "$([ "$(echo "$block" | grep -c morvane-template)" -ge 5 ] && echo ok)"
# One command per step: a line ending in '\' continues, "for ... done" is one step.
script="$tmp/steps.sh"
{
  echo "cd '$root' || exit 9"
  echo "step() { echo \"### \$1\"; }"
  n=0; open=0; cont=0
  while IFS= read -r line; do
    if [ $cont = 0 ] && [ $open = 0 ]; then n=$((n + 1)); echo "step $n"; fi
    case "$line" in for\ *) open=1 ;; done*) open=0 ;; esac
    case "$line" in *\\) cont=1 ;; *) cont=0 ;; esac
    # After each step: its exit status, and the template set as it stands.
    if [ $cont = 0 ] && [ $open = 0 ]; then
      echo "$line; echo \"### exit \$?\"; cp -r '$tmp/mytemplates' '$tmp/after_$n' 2>/dev/null"
    else
      echo "$line"
    fi
  done <<<"$(echo "$block" | sed -e "s#/tmp/#$tmp/#g" -e "s#build-release/#$bin/#g")"
} >"$script"
bash "$script" >"$tmp/out" 2>&1
out=$(cat "$tmp/out")
# The output of step N (its lines, without the exit line).
step() { awk -v n="### $1" '$0 == n { on = 1; next } /^### / { on = 0 } on' "$tmp/out"; }
status() { awk -v n="### $1" '$0 == n { on = 1; next } on && /^### exit / { print $3; exit }' "$tmp/out"; }
main="$tmp/mytemplates/main.xml"

check "teach: exit" 0 "$(status 3)"
check "teach: message" "added B5 as $tmp/mytemplates/sub/B5.xml; every sample classifies as it" "$(step 3 | tail -1)"
check "classify the fourth page" "B5" "$(step 4 | cut -f2)"
check "check: exit" 0 "$(status 5)"
check "check: the A4 page is a close neighbour" "ok" \
  "$(step 5 | grep -Eq '^  Documents: chosen "B5 page" .* nearest "A4 page" [0-9]+ passed - (close|ambiguous)' && echo ok)"
check "list: exit" 0 "$(status 6)"
check "list: the new class under the root" "ok" "$(step 6 | grep -Eq '^`- \[[0-9]+\] B5 page -> B5$' && echo ok)"
check "list: the root's filters" "ok" "$(step 6 | grep -q '^|  chosen by: 1 "Page size" (size) gate [0-9]*$' && echo ok)"
check "list: a nested group" "ok" "$(step 6 | grep -q '^|  +- \[8\] Table form -> FORM-T100$' && echo ok)"
check "show: exit" 0 "$(status 7)"
check "show: the group and the size record" "ok" "$(step 7 | grep -q '^  group \[[0-9]*\] B5 page$' &&
  step 7 | grep -Eq '^  filter 1 "Page size" \(size\): [0-9]+ x [0-9]+ thousandths of an inch \(17[0-9]\.[0-9] x 2[45][0-9]\.[0-9] mm\)$' && echo ok)"
check "remove: exit" 0 "$(status 8)"
check "remove: main template as before" "same" \
  "$(cmp -s "$tmp/after_8/main.xml" "$root/examples/templates/main.xml" && echo same)"
check "remove: list as before" "same" \
  "$(cmp -s "$tmp/after_8/subtemplates.xml" "$root/examples/templates/subtemplates.xml" && echo same)"
check "remove: file gone" "gone" "$([ -e "$tmp/after_8/sub/B5.xml" ] || echo gone)"
check "remove: taught before" "there" "$([ -e "$tmp/after_7/sub/B5.xml" ] && echo there)"
check "teach again: exit" 0 "$(status 9)"
check "teach again from four pages" "B5 B5 B5 B5" "$("$bin/morvane-classify" -t "$main" --dpi 300 "$tmp"/b5_[1-4].png |
  cut -f2 | tr '\n' ' ' | sed 's/ $//')"
[ $fail = 0 ] || { echo "--- walk-through output"; cat "$tmp/out"; }
exit $fail
