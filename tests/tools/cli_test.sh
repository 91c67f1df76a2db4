#!/usr/bin/env bash
# Runs morvane-classify as a user would and checks its output and exit codes.
set -u
tool=$1
root=$2
fail=0
check() { # description expected actual
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; fail=1; else echo "ok: $1"; fi
}

out=$("$tool" --version); check "version exit" 0 $?
check "version text" "morvane-classify 6.1.1.2" "$out"
"$tool" --help >/dev/null; check "help exit" 0 $?
"$tool" --bogus >/dev/null 2>&1; check "unknown option" 2 $?
"$tool" >/dev/null 2>&1; check "no page" 2 $?
"$tool" --dpi x page.png >/dev/null 2>&1; check "bad dpi" 2 $?
"$tool" -t /nonexistent/main.xml "$root/examples/pages" >/dev/null 2>&1; check "missing template" 2 $?
"$tool" -w /nonexistent/ "$root/examples/pages" >/dev/null 2>&1; check "missing working directory" 2 $?

# Every 300-dpi page comes out as the ID its name starts with.
lines=$("$tool" "$root/examples/pages/300dpi"); check "classify folder exit" 0 $?
count=0
while IFS=$'\t' read -r path id name output; do
  count=$((count + 1))
  expected=$(basename "$path"); expected=${expected%%_*}
  check "page $(basename "$path")" "$expected" "$id"
done <<< "$lines"
check "pages found" "$(ls "$root/examples/pages/300dpi" | wc -l)" "$count"

# A page that cannot be read is reported and the batch goes on.
tmp=$(mktemp -d)
printf 'not an image' > "$tmp/broken.png"
out=$("$tool" "$tmp/broken.png" "$root/examples/pages/300dpi/A4_page.png"); check "broken page exit" 1 $?
check "broken page line" "$tmp/broken.png	error: Failed to read image file (-16)" "$(echo "$out" | head -1)"
check "batch goes on" "A4" "$(echo "$out" | sed -n 2p | cut -f2)"

# JSON lines, the resolution option and the valid-ID restriction.
out=$("$tool" --json --dpi 200 "$root/examples/pages/200dpi/ID1_card.bmp")
check "json" '{"path":"'"$root"'/examples/pages/200dpi/ID1_card.bmp","id":"ID1","name":"ID-1 card (85.6 x 54 mm)","outputId":"ID1"}' "$out"
# Pages decoded straight to 150 dpi come out as at full size, in one process
# and in worker processes side by side; bad values are refused.
for bad in 0 74 1201 x ""; do
  "$tool" --decode-dpi "$bad" "$root/examples/pages/300dpi/A5_page.jpg" >/dev/null 2>&1; check "decode-dpi '$bad' refused" 2 $?
done
jpegs=("$root"/examples/pages/400dpi/*.jpg)
full=$("$tool" --dpi 400 "${jpegs[@]}")
out=$("$tool" --dpi 400 --decode-dpi 150 --jobs 1 "${jpegs[@]}"); check "decode-dpi exit" 0 $?
check "decode-dpi same answers" "$full" "$out"
out=$("$tool" --dpi 400 --decode-dpi 150 --jobs 2 "${jpegs[@]}"); check "decode-dpi jobs exit" 0 $?
check "decode-dpi jobs same answers" "$full" "$out"
out=$("$tool" --valid A5 "$root/examples/pages/300dpi/A4_page.png"); check "valid restricts exit" 1 $?
check "valid restricts" "$root/examples/pages/300dpi/A4_page.png	error: Failed to classify image (-8)" "$out"

# Paths that are not regular files come back at once with an error.
mkfifo "$tmp/fifo.png"
out=$(timeout 20 "$tool" "$tmp/fifo.png"); check "fifo page exit" 1 $?
check "fifo page line" "$tmp/fifo.png	error: Failed to read image file (-16)" "$out"
out=$(timeout 20 "$tool" -t "$tmp/fifo.png" "$root/examples/pages/300dpi/A4_page.png" 2>/dev/null); check "fifo template" 2 $?
ln -s /dev/zero "$tmp/zero.png"
out=$(timeout 20 "$tool" "$tmp/zero.png"); check "device page exit" 1 $?
mkdir -p "$tmp/wd"
mkfifo "$tmp/wd/ClasDevices.dat"
timeout 20 "$tool" -w "$tmp/wd" "$root/examples/pages/300dpi/A4_page.png" >/dev/null 2>&1; check "fifo device list" 2 $?

# Directory links that lead back up do not make the walk loop; linked folders
# are searched only with --follow, and each folder once.
mkdir -p "$tmp/tree/a" "$tmp/tree/b"
cp "$root/examples/pages/300dpi/A4_page.png" "$tmp/tree/a/"
ln -s .. "$tmp/tree/a/up"
ln -s ../a "$tmp/tree/b/toa"
out=$(timeout 20 "$tool" "$tmp/tree"); check "link loop exit" 0 $?
check "link loop pages" 1 "$(echo "$out" | wc -l)"
out=$(timeout 20 "$tool" --follow "$tmp/tree"); check "follow exit" 0 $?
check "follow visits each folder once" 1 "$(echo "$out" | wc -l)"
out=$(timeout 20 "$tool" --follow "$tmp/tree/b"); check "follow into linked folder" "A4" "$(echo "$out" | cut -f2)"

# --explain: a page that matches no size takes the default branch, and the
# trace shows every size gate it failed.
page="$root/examples/pages/300dpi/UNKNOWN_receipt.png"
out=$("$tool" --explain --json "$page"); check "explain exit" 0 $?
check "explain json" "UNKNOWN default Unknown page 900 failed:ID-1 card,TD3 passport page,A4 page,A5 page,US Letter page" \
  "$(echo "$out" | python3 -c '
import json, sys
d = json.loads(sys.stdin.read())
l = d["trace"]["levels"][0]
failed = [c["name"] for c in l["children"] if c["scores"][0]["compared"] and not c["scores"][0]["passed"]]
print(d["id"], l["choice"]["by"], l["choice"]["name"], l["filters"][0]["threshold"], "failed:" + ",".join(failed))')"
out=$("$tool" --explain "$page" "$root/examples/pages/300dpi/A4_page.png"); check "explain text exit" 0 $?
check "explain text: one trace per page" 2 "$(echo "$out" | grep -c '^  trace: {')"
check "explain text: page lines kept" "UNKNOWN A4" "$(echo "$out" | grep -v '^  ' | cut -f2 | tr '\n' ' ' | sed 's/ $//')"

# --orient: a card scanned on its side is found turned back by a quarter.
if command -v convert >/dev/null; then
  convert "$root/examples/pages/300dpi/IDCARD_photo_left.jpg" -rotate 90 "$tmp/side.png"
  check "unturned side page" "UNKNOWN" "$("$tool" "$tmp/side.png" | cut -f2)"
  out=$("$tool" --orient --json "$tmp/side.png"); check "orient exit" 0 $?
  check "orient finds the card" "IDCARD 270" "$(echo "$out" | python3 -c '
import json, sys
d = json.loads(sys.stdin.read()); print(d["id"], d["turn"])')"
  out=$("$tool" --orient "$root/examples/pages/300dpi/A4_page.png")
  check "orient leaves upright pages" "A4" "$(echo "$out" | head -1 | cut -f2)"
  check "orient turn line" "  turn: 0" "$(echo "$out" | sed -n 2p)"
else
  echo "skip: --orient check needs ImageMagick's convert to turn a page"
fi

rm -rf "$tmp"

# Parallel runs. Bad --jobs values are usage errors; a huge one is lowered.
for bad in 0 -1 abc 2x ""; do
  "$tool" --jobs "$bad" "$root/examples/pages/300dpi" >/dev/null 2>&1; check "jobs '$bad' refused" 2 $?
done
"$tool" --page-timeout -5 "$root/examples/pages/300dpi" >/dev/null 2>&1; check "negative page timeout refused" 2 $?
err=$("$tool" --jobs 100000 "$root/examples/pages/300dpi/A4_page.png" 2>&1 >/dev/null); check "huge jobs exit" 0 $?
check "huge jobs lowered" "morvane-classify: --jobs 100000 lowered to 256" "$err"

# Output of several workers equals that of one worker, line for line, in the
# input order, whatever the folder mix.
one=$("$tool" --jobs 1 --dpi 200 "$root/examples/pages/200dpi" "$root/examples/pages/300dpi/A4_page.png"); check "jobs 1 exit" 0 $?
two=$("$tool" --jobs 2 --dpi 200 "$root/examples/pages/200dpi" "$root/examples/pages/300dpi/A4_page.png"); check "jobs 2 exit" 0 $?
three=$("$tool" -j 3 --dpi 200 "$root/examples/pages/200dpi" "$root/examples/pages/300dpi/A4_page.png"); check "jobs 3 exit" 0 $?
check "jobs 2 same output" "$one" "$two"
check "jobs 3 same output" "$one" "$three"
check "jobs 1 line count" "$(( $(ls "$root/examples/pages/200dpi" | wc -l) + 1 ))" "$(echo "$one" | wc -l)"

# Pages are read only from regular files, so a stuck or dying worker is made
# from outside: a worker stopped by SIGSTOP holds its page until the time
# limit, one killed by SIGKILL costs only its page, and in both cases every
# other page comes out in input order. (The limit leaves room for real pages
# in a sanitizer build on a busy machine.)
tmp=$(mktemp -d)
batch=("$root/examples/pages/300dpi" "$root/examples/pages/300dpi" "$root/examples/pages/300dpi" \
       "$root/examples/pages/200dpi" "$root/examples/pages/300dpi" "$root/examples/pages/300dpi")
reference=$("$tool" --jobs 1 "${batch[@]}")
signal_a_worker() { # parent pid, signal: sends the signal to one worker of the parent
  local tries=0 k
  while [ $tries -lt 200 ]; do
    for k in $(pgrep -P "$1"); do kill "-$2" "$k" && return 0; done
    sleep 0.05; tries=$((tries + 1))
  done
  return 1
}
# Every line equals the reference line but exactly one, which reads `expected`.
one_line_differs() { # output file, expected line
  awk -v expected="$2" 'NR == FNR { ref[FNR] = $0; n = FNR; next }
    { if ($0 != ref[FNR]) { if (index($0, expected) == 0) bad = 1; other++ } ; m = FNR }
    END { exit !(bad == 0 && other == 1 && m == n) }' <(echo "$reference") "$1"
}
for jobs in 1 2; do
  "$tool" --jobs $jobs --page-timeout 5 "${batch[@]}" > "$tmp/out.txt" &
  pid=$!
  signal_a_worker $pid STOP; check "worker stopped (jobs $jobs)" 0 $?
  wait $pid; check "stopped worker exit (jobs $jobs)" 1 $?
  one_line_differs "$tmp/out.txt" "error: page took longer than 5 s; its worker process was stopped (-63)"
  check "stopped worker costs one page (jobs $jobs)" 0 $?

  "$tool" --jobs $jobs "${batch[@]}" > "$tmp/out.txt" &
  pid=$!
  signal_a_worker $pid KILL; check "worker killed (jobs $jobs)" 0 $?
  wait $pid; check "killed worker exit (jobs $jobs)" 1 $?
  one_line_differs "$tmp/out.txt" "error: worker process killed by signal 9 (Killed) (-63)"
  check "killed worker costs one page (jobs $jobs)" 0 $?
done
rm -rf "$tmp"
exit $fail
