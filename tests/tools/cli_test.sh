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
check "broken page line" "$tmp/broken.png	error: Failed to read image file (-16): unknown format by signature (first bytes 6e 6f 74 20 61 6e 20 69)" "$(echo "$out" | head -1)"
check "batch goes on" "A4" "$(echo "$out" | sed -n 2p | cut -f2)"

# Every refusal names its cause, also in JSON.
out=$("$tool" "$tmp/missing.png"); check "missing page exit" 1 $?
check "missing page line" "$tmp/missing.png	error: Failed to read image file (-16): no such file" "$out"
out=$("$tool" --json "$tmp/missing.png")
check "missing page json" '{"path":"'"$tmp"'/missing.png","error":"Failed to read image file","code":-16,"detail":"'"$tmp"'/missing.png: no such file","score":null,"margin":null}' "$out"
head -c 3000 "$root/examples/pages/300dpi/A5_page.jpg" > "$tmp/cut.jpg"
out=$("$tool" "$tmp/cut.jpg"); check "cut page exit" 1 $?
case "$out" in *"error: Failed to read image file (-16): truncated or corrupt JPEG data"*) r=0 ;; *) r=1 ;; esac
check "cut page names its cause" 0 $r

# Standard input: one image, bounded like a file.
expected=$("$tool" "$root/examples/pages/300dpi/A5_page.jpg" | cut -f2-)
out=$(cat "$root/examples/pages/300dpi/A5_page.jpg" | "$tool" -); check "stdin exit" 0 $?
check "stdin page" "-	$expected" "$out"
out=$(printf 'hello' | "$tool" -); check "stdin unknown exit" 1 $?
check "stdin unknown" "-	error: Failed to read image file (-16): unknown format by signature (first bytes 68 65 6c 6c 6f)" "$out"
out=$("$tool" - < /dev/null); check "stdin empty exit" 1 $?
check "stdin empty" "-	error: Failed to read image file (-16): standard input is empty" "$out"

# A multi-page TIFF: one line per page, named PATH#page=N; --pages selects.
p300="$root/examples/pages/300dpi"
if convert "$p300/TD3_passport.tif" "$p300/LETTER_page.tif" "$p300/FORM-T100_table_shifted.tif" "$tmp/three.tif" 2>/dev/null; then
  out=$("$tool" "$tmp/three.tif"); check "multi-page exit" 0 $?
  check "multi-page lines" "$tmp/three.tif#page=1 TD3
$tmp/three.tif#page=2 LETTER
$tmp/three.tif#page=3 FORM-T100" "$(echo "$out" | cut -f1,2 | tr '\t' ' ')"
  out=$("$tool" --pages 2-3 "$tmp/three.tif" | cut -f1,2 | tr '\t' ' ')
  check "pages 2-3" "$tmp/three.tif#page=2 LETTER
$tmp/three.tif#page=3 FORM-T100" "$out"
  out=$("$tool" --pages 3 --jobs 2 "$tmp/three.tif" "$tmp/three.tif" | cut -f1,2 | tr '\t' ' ')
  check "pages 3 in workers" "$tmp/three.tif#page=3 FORM-T100
$tmp/three.tif#page=3 FORM-T100" "$out"
else
  echo "FAIL: ImageMagick could not write the three-page TIFF"; fail=1
fi
"$tool" --pages 3-1 "$p300/A4_page.png" >/dev/null 2>&1; check "pages backwards refused" 2 $?
"$tool" --pages 0 "$p300/A4_page.png" >/dev/null 2>&1; check "page 0 refused" 2 $?

# JSON lines, the resolution option and the valid-ID restriction.
out=$("$tool" --json --dpi 200 "$root/examples/pages/200dpi/ID1_card.bmp")
check "json" "$root/examples/pages/200dpi/ID1_card.bmp|ID1|ID-1 card (85.6 x 54 mm)|ID1|200 200 option|True" \
  "$(echo "$out" | python3 -c '
import json, sys
o = json.loads(sys.stdin.read())
r = o["resolution"]
print("|".join([o["path"], o["id"], o["name"], o["outputId"], "%d %d %s" % (r["x"], r["y"], r["source"]),
                str(0 < o["score"] <= 1000 and 0 <= o["margin"] <= o["score"])]))')"
# Names cannot forge output: a file name with tabs and a line break, one
# that is not UTF-8, and a folder that cannot be read.
names=$(mktemp -d)
evil=$(printf '%s/evil\tPASSPORT\tforged\tTD3\nx.png' "$names")
cp "$root/examples/pages/200dpi/ID1_card.bmp" "$evil"
cp "$root/examples/pages/200dpi/ID1_card.bmp" "$(printf '%s/latin1-\351.bmp' "$names")"
out=$("$tool" "$names"); check "escaped names exit" 0 $?
check "escaped names: one line per page" 2 "$(echo "$out" | wc -l)"
check "escaped names: fields" "$names/evil\\tPASSPORT\\tforged\\tTD3\\nx.png|ID1
$names/latin1-\\xe9.bmp|ID1" \
  "$(echo "$out" | awk -F'\t' '{print $1 "|" $2}')"
out=$("$tool" --json "$names"); check "json names exit" 0 $?
check "json names: valid UTF-8 naming the files" "ok" "$(printf '%s\n' "$out" | python3 -c '
import json, os, sys
data = sys.stdin.buffer.read()
data.decode("utf-8")  # raises on invalid UTF-8
names = sorted(os.fsencode(json.loads(l)["path"]) for l in data.decode().splitlines())
print("ok" if names == sorted(os.fsencode(os.path.join(sys.argv[1], n)) for n in os.listdir(sys.argv[1])) else names)
' "$names")"
if [ "$(id -u)" != 0 ]; then
  mkdir -p "$names/locked/inner"
  chmod 000 "$names/locked/inner"
  out=$("$tool" "$names/locked"); check "unreadable folder exit" 1 $?
  check "unreadable folder reported" "$names/locked/inner	error: Failed to read image file (-16): cannot open the directory: Permission denied" "$out"
  chmod 700 "$names/locked/inner"
fi
# Template names with control characters reach the output escaped.
cp -r "$root/examples/templates" "$names/templates"
sed -i 's/ID="ID1" Name="ID-1 card (85.6 x 54 mm)"/ID="ID1\&#9;PASSPORT" Name="card\&#10;\&#27;[2Jforged"/' \
  "$names/templates/sub/id1.xml"
out=$("$tool" -t "$names/templates/main.xml" "$root/examples/pages/200dpi/ID1_card.bmp"); check "control names exit" 0 $?
check "control names escaped" "$root/examples/pages/200dpi/ID1_card.bmp|ID1\\tPASSPORT|card\\n\\x1b[2Jforged|ID1" \
  "$(echo "$out" | tr '\t' '|')"
out=$("$tool" --json -t "$names/templates/main.xml" "$root/examples/pages/200dpi/ID1_card.bmp")
check "control names in json" "$(printf 'ID1\tPASSPORT|card\n\033[2Jforged')" "$(echo "$out" | python3 -c 'import json, sys; o = json.loads(sys.stdin.read()); print(o["id"] + "|" + o["name"])')"
# A working directory with a broken engine library: the engine check stops
# the run naming the file, and a page needing the engine fails with it.
mkdir "$names/wd"
cp "$root/examples/workdir/ClasDevices.dat" "$names/wd/"
echo "not a library" > "$names/wd/libGrayCore.so"
echo "not a library" > "$names/wd/libPrintedLine.so"
err=$("$tool" -w "$names/wd" -t "$root/examples/templates/text.xml" --check-engines 2>&1 >/dev/null)
check "engine check exit" 2 $?
check "engine check names the file" "ok" "$(echo "$err" | grep -q "engine check failed: Failed to extract feature (-9): .*$names/wd/lib.*\.so cannot be loaded" && echo ok)"
out=$("$tool" -w "$names/wd" -t "$root/examples/templates/text.xml" "$root/examples/pages/text/300dpi/TEXT-PASSPORT_mrz.png")
check "broken engine page exit" 1 $?
check "broken engine page line" "ok" "$(echo "$out" | grep -q "error: Failed to extract feature (-9): text filter .* cannot be loaded" && echo ok)"
# An entry whose path is too long to reach fails for every user.
mkdir "$names/deep"
(cd "$names/deep" && long=$(printf 'd%.0s' $(seq 200)) && for i in $(seq 22); do mkdir "$long" && cd "$long" || exit 1; done)
out=$("$tool" "$names/deep"); check "unreachable entry exit" 1 $?
check "unreachable entry reported" "error: Failed to read image file (-16): cannot read the entry: File name too long" \
  "$(echo "$out" | cut -f2)"
rm -rf "$names"

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
check "fifo page line" "$tmp/fifo.png	error: Failed to read image file (-16): not a regular file (a pipe)" "$out"
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
  # Upside down, each card layout looks like the other one but stays below
  # its gate, so the search runs and finds the half turn.
  convert "$root/examples/pages/300dpi/DRIVING_photo_right.jpg" -rotate 180 "$tmp/upside.png"
  out=$("$tool" --orient "$tmp/upside.png")
  check "orient finds a half-turned card" "DRIVING|  turn: 180" "$(echo "$out" | cut -f2 | tr '\n' '|' | sed 's/|$//')"
  # A page that matches upright is classified once.
  out=$("$tool" --orient --explain "$root/examples/pages/300dpi/IDCARD_photo_left.jpg")
  check "orient: one run for a page matching upright" "ok" "$(echo "$out" | grep -q '"tried":\[0\]' && echo ok)"
else
  echo "skip: --orient check needs ImageMagick's convert to turn a page"
fi

# --text and --mrz on the bundled text pages (they need the engine plug-ins
# built beside the tool and Tesseract's English data).
have_tessdata() {
  local d
  for d in "${TESSDATA_PREFIX:-/nonexistent}" /usr/share/tesseract-ocr/5/tessdata /usr/share/tesseract-ocr/4.00/tessdata \
           /usr/share/tessdata /usr/local/share/tessdata; do
    [ -f "$d/eng.traineddata" ] && return 0
  done
  return 1
}
text="$root/examples/templates/text.xml"
passport="$root/examples/pages/text/400dpi/TEXT-PASSPORT_mrz.tif"
zone1='P<UTOKOWALSKI<<CHIDI<<<<<<<<<<<<<<<<<<<<<<<<'
zone2='4546813212UTO4402118F3309162889262652<<<<<24'
if [ ! -f "$(dirname "$tool")/libGrayCore.so" ]; then
  echo "skip: --text and --mrz checks need the engine plug-ins (MORVANE_BUILD_ENGINES=OFF)"
elif ! have_tessdata; then
  echo "skip: --text and --mrz checks need Tesseract's English data (eng.traineddata)"
else
  out=$("$tool" -t "$text" --dpi 400 --text "$passport"); check "text exit" 0 $?
  check "text lines" "$(printf '%s\tTEXT-PASSPORT\n  text: %s\n  text: %s' "$passport" "$zone1" "$zone2")" \
    "$(echo "$out" | cut -f1,2)"
  out=$("$tool" -t "$text" --dpi 400 --mrz "$passport"); check "mrz exit" 0 $?
  check "mrz fields" "TD3 True KOWALSKI CHIDI 454681321 True 440211 True 330916 True 889262652 True True" \
    "$(echo "$out" | sed -n 's/^  mrz: //p' | python3 -c '
import json, sys
z = json.loads(sys.stdin.read())
print(z["layout"], z["valid"], z["primaryName"], z["secondaryName"], z["documentNumber"]["value"],
      z["documentNumber"]["valid"], z["birthDate"]["value"], z["birthDate"]["valid"], z["expiryDate"]["value"],
      z["expiryDate"]["valid"], z["optionalData"]["value"], z["optionalData"]["valid"], z["composite"]["valid"])')"
  # JSON: the lines with their boxes at the foot of the page, the zone, and
  # the trace's notes of the expected and recognised lines.
  out=$("$tool" -t "$text" --dpi 400 --text --mrz --explain --json "$passport"); check "text json exit" 0 $?
  check "text json" "2 Machine-readable zone True True MRV-A:False" "$(echo "$out" | python3 -c '
import json, sys
d = json.loads(sys.stdin.read())
t = d["text"]; lines = t["lines"]
low = all(l["y"] >= t["page"]["height"] * 3 // 4 and l["w"] > t["page"]["width"] // 2 for l in lines)
notes = {c["template"]: c.get("notes") for c in d["trace"]["levels"][1]["children"]}
print(len(lines), lines[0]["filterName"], low, d["mrz"]["valid"],
      "MRV-A:" + str(notes["TEXT-VISA"][0]["lines"][0]["score"] == 1000))')"
  # A title is no zone: the layout tried is reported invalid, without fields.
  out=$("$tool" -t "$text" --dpi 400 --mrz --json "$root/examples/pages/text/400dpi/TEXT-DRIVING_title.bmp")
  check "mrz of a title" "TD1 False False" "$(echo "$out" | python3 -c '
import json, sys
z = json.loads(sys.stdin.read())["mrz"]; print(z["layout"], z["valid"], "documentNumber" in z)')"
  # A page without text filters on its path: no lines, an empty zone.
  out=$("$tool" --text --mrz "$root/examples/pages/300dpi/A4_page.png")
  check "text without text filters" "  text: (none)" "$(echo "$out" | sed -n 2p)"
  check "mrz without lines" '  mrz: {"layout":null,"valid":false,"errors":["no line to read"],"lines":[]}' \
    "$(echo "$out" | sed -n 3p)"
  # A level that takes its default branch (no child can pass a threshold
  # above every score) still shows what its text filter read, from the
  # first child it was compared with.
  cp -r "$root/examples/templates" "$tmp/strict"
  sed -i 's/RefFilter="4" FilterThresh="500"/RefFilter="4" FilterThresh="1001"/' "$tmp/strict/text.xml"
  out=$("$tool" -t "$tmp/strict/text.xml" --dpi 400 --text --json "$passport"); check "default branch text exit" 0 $?
  check "default branch text" "TD3 2 TEXT-PASSPORT 1 $zone1" "$(echo "$out" | python3 -c '
import json, sys
d = json.loads(sys.stdin.read()); l = d["text"]["lines"]
print(d["id"], len(l), l[0]["template"], l[0]["level"], l[0]["text"])')"
  # Worker processes carry the text and the zone like the rest of a result.
  one=$("$tool" -t "$text" --dpi 400 --text --mrz --jobs 1 "$root/examples/pages/text/400dpi")
  two=$("$tool" -t "$text" --dpi 400 --text --mrz --jobs 2 "$root/examples/pages/text/400dpi")
  check "text jobs 2 same output" "$one" "$two"
  check "text jobs lines" 4 "$(echo "$two" | grep -c '^  mrz: ')"
  # The boxes of a page the orientation search turned are those of the page
  # as given: the upright boxes turned by the same quarter.
  if command -v convert >/dev/null; then
    convert "$passport" -rotate 90 "$tmp/side_passport.png"
    up=$("$tool" -t "$text" --dpi 400 --text --json "$passport")
    side=$("$tool" -t "$text" --dpi 400 --orient --text --json "$tmp/side_passport.png")
    check "turned boxes" "270 ok" "$(python3 -c '
import json, sys
u = json.loads(sys.argv[1]); s = json.loads(sys.argv[2])
H = u["text"]["page"]["height"]
ok = all(abs(b["x"] - (H - a["y"] - a["h"])) <= 2 and abs(b["y"] - a["x"]) <= 2 and abs(b["w"] - a["h"]) <= 2
         and abs(b["h"] - a["w"]) <= 2 and a["text"] == b["text"] for a, b in zip(u["text"]["lines"], s["text"]["lines"]))
print(s["turn"], "ok" if ok and len(s["text"]["lines"]) == 2 else "differ")' "$up" "$side")"
  fi
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
# other page comes out in input order. The stopped run classifies by size
# only (sizes.xml): its real pages then take a small part of the limit even
# in a sanitizer build on a heavily loaded machine, where text recognition
# on every page could outlast it, so only the stopped page can time out.
tmp=$(mktemp -d)
batch=("$root/examples/pages/300dpi" "$root/examples/pages/300dpi" "$root/examples/pages/300dpi" \
       "$root/examples/pages/200dpi" "$root/examples/pages/300dpi" "$root/examples/pages/300dpi")
sizes=(-t "$root/examples/templates/sizes.xml")
reference=$("$tool" --jobs 1 "${batch[@]}")
sizes_reference=$("$tool" --jobs 1 "${sizes[@]}" "${batch[@]}")
signal_a_worker() { # parent pid, signal: sends the signal to one worker of the parent
  local tries=0 k
  while [ $tries -lt 200 ]; do
    for k in $(pgrep -P "$1"); do kill "-$2" "$k" && return 0; done
    sleep 0.05; tries=$((tries + 1))
  done
  return 1
}
# Every line equals the reference line but exactly one, which reads `expected`.
one_line_differs() { # output file, expected line[, reference]
  awk -v expected="$2" 'NR == FNR { ref[FNR] = $0; n = FNR; next }
    { if ($0 != ref[FNR]) { if (index($0, expected) == 0) bad = 1; other++ } ; m = FNR }
    END { exit !(bad == 0 && other == 1 && m == n) }' <(echo "${3:-$reference}") "$1"
}
for jobs in 1 2; do
  "$tool" --jobs $jobs --page-timeout 5 "${sizes[@]}" "${batch[@]}" > "$tmp/out.txt" &
  pid=$!
  signal_a_worker $pid STOP; check "worker stopped (jobs $jobs)" 0 $?
  wait $pid; check "stopped worker exit (jobs $jobs)" 1 $?
  one_line_differs "$tmp/out.txt" "error: page took longer than 5 s; its worker process was stopped (-63)" \
    "$sizes_reference"
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
