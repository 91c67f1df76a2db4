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

# A page that never arrives (a named pipe nobody writes) stalls only its
# worker until the time limit; the pages behind it come out in order. (The
# limit leaves room for real pages in a sanitizer build on a busy machine.)
tmp=$(mktemp -d)
mkfifo "$tmp/stuck.png"
small=("$root/examples/pages/200dpi/ID1_card.bmp" "$root/examples/pages/200dpi/A5_page.tif")
out=$("$tool" --jobs 2 --page-timeout 15 "$tmp/stuck.png" "${small[@]}"); check "hung page exit" 1 $?
check "hung page line" "$tmp/stuck.png	error: page took longer than 15 s; its worker process was stopped (-63)" "$(echo "$out" | head -1)"
check "pages after hung page" "$("$tool" --jobs 1 "${small[@]}")" "$(echo "$out" | tail -n +2)"

# A slow page (the pipe is written a moment later) holds back no other page
# and loses none.
( sleep 1; printf 'late bytes' > "$tmp/stuck.png" ) &
out=$("$tool" --jobs 2 "$tmp/stuck.png" "$root/examples/pages/300dpi"); check "slow page exit" 1 $?
wait
check "slow page line" "$tmp/stuck.png	error: Failed to read image file (-16)" "$(echo "$out" | head -1)"
check "pages after slow page" "$("$tool" --jobs 1 "$root/examples/pages/300dpi")" "$(echo "$out" | tail -n +2)"

# A worker killed by a signal costs only its page; a fresh worker finishes
# the batch. The test kills the worker that waits on the pipe.
kill_waiting_worker() { # parent pid: kills the child blocked opening the pipe
  local tries=0 k
  while [ $tries -lt 100 ]; do
    for k in $(pgrep -P "$1"); do
      if grep -q wait_for_partner "/proc/$k/wchan" 2>/dev/null; then kill -KILL "$k"; return 0; fi
    done
    sleep 0.1; tries=$((tries + 1))
  done
  return 1
}
for jobs in 1 2; do
  "$tool" --jobs $jobs --json "$tmp/stuck.png" "$root/examples/pages/300dpi" > "$tmp/out.txt" &
  pid=$!
  kill_waiting_worker $pid; check "worker found and killed (jobs $jobs)" 0 $?
  wait $pid; check "killed worker exit (jobs $jobs)" 1 $?
  check "killed worker line (jobs $jobs)" '{"path":"'"$tmp"'/stuck.png","error":"worker process killed by signal 9 (Killed)","code":-63}' "$(head -1 "$tmp/out.txt")"
  check "pages after killed worker (jobs $jobs)" "$("$tool" --json --jobs 1 "$root/examples/pages/300dpi")" "$(tail -n +2 "$tmp/out.txt")"
done
rm -rf "$tmp"
exit $fail
