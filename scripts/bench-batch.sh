#!/usr/bin/env bash
# Batch throughput: pages per second of morvane-classify with --jobs 1 and
# --jobs 2 over copies of the bundled example pages, and the per-page cost of
# the Python package (python -m morvane) against the same pages through the
# C tool. Each figure is the best of several runs (the machine may be shared).
# Last, the peak resident memory per page of A4 colour pages at 300 dpi
# (2480 x 3508, drawn with ImageMagick) as PNG, JPEG and JPEG-2000: the
# largest of a worker classifying the same page several times over, against
# the decoded page (26.1 MB) and, for JPEG-2000, against opj_decompress
# decoding the same file.
# Usage: scripts/bench-batch.sh [PAGES (default 200)] [RUNS (default 3)]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-200}
runs=${2:-3}
python=${PYTHON:-/usr/bin/python3}
"$root/scripts/setup.sh"
build="$root/build-release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target morvane-classify >/dev/null
tool="$build/morvane-classify"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The clean 300-dpi pages (the templates' own resolution), copied round-robin.
mapfile -t originals < <(find "$root/examples/pages/300dpi" -type f | sort)
for ((i = 0; i < count; i++)); do
  src=${originals[$((i % ${#originals[@]}))]}
  cp "$src" "$work/$(printf '%04d' "$i")_$(basename "$src")"
done
single="$work/$(ls "$work" | head -1)"

calc() { awk "BEGIN { print $1 }"; }
# best_time COMMAND...: wall seconds and CPU seconds (user + system, all
# processes) of the fastest of $runs runs, as "WALL CPU".
best_time() {
  local best="" cpu="" out wall user sys
  for ((r = 0; r < runs; r++)); do
    out=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 ) || true
    read -r wall user sys <<< "$out"
    if [ -z "$best" ] || [ "$(calc "$wall < $best")" = 1 ]; then best=$wall; cpu=$(calc "$user + $sys"); fi
  done
  echo "$best $cpu"
}

echo "== conditions: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg), $count pages, best of $runs runs"
"$tool" --jobs 2 "$work" >/dev/null  # warm the file cache
read -r t1 cpu1 <<< "$(best_time "$tool" --jobs 1 "$work")"
read -r t2 cpu2 <<< "$(best_time "$tool" --jobs 2 "$work")"
printf 'morvane-classify --jobs 1: %6.3f s  %7.1f pages/s  (CPU %.3f s)\n' "$t1" "$(calc "$count / $t1")" "$cpu1"
printf 'morvane-classify --jobs 2: %6.3f s  %7.1f pages/s  (CPU %.3f s)\n' "$t2" "$(calc "$count / $t2")" "$cpu2"
printf 'speed-up with 2 jobs: %.2f x (target 1.8 x on 2 cores)\n' "$(calc "$t1 / $t2")"

# Per-page cost without start-up: (all pages - one page) / (pages - 1), in
# wall time and in CPU time (the latter holds up on a busy machine).
read -r c_one c_one_cpu <<< "$(best_time "$tool" --jobs 1 "$single")"
export PYTHONPATH="$root/python${PYTHONPATH:+:$PYTHONPATH}" MORVANE_LIBRARY="$build/libmorvaneclassifier.so"
read -r p_all p_all_cpu <<< "$(best_time "$python" -m morvane "$work")"
read -r p_one p_one_cpu <<< "$(best_time "$python" -m morvane "$single")"
per_page() { calc "($1 - $2) / ($count - 1) * 1000"; }
c_page=$(per_page "$t1" "$c_one"); c_cpu=$(per_page "$cpu1" "$c_one_cpu")
p_page=$(per_page "$p_all" "$p_one"); p_cpu=$(per_page "$p_all_cpu" "$p_one_cpu")
printf 'per page, morvane-classify --jobs 1: %7.3f ms wall, %7.3f ms CPU\n' "$c_page" "$c_cpu"
printf 'per page, python -m morvane:         %7.3f ms wall, %7.3f ms CPU\n' "$p_page" "$p_cpu"
printf 'Python overhead per page: %+.1f %% wall, %+.1f %% CPU (target under 5 %%)\n' \
  "$(calc "($p_page - $c_page) / $c_page * 100")" "$(calc "($p_cpu - $c_cpu) / $c_cpu * 100")"

# Peak resident memory per page: PYTHON runs the command and reads the
# largest resident size among its finished descendants (the workers).
peak_mb() {
  "$python" -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print("%.1f" % (resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0))' "$@"
}
colour="$work/colour"
mkdir -p "$colour"
convert -size 2480x3508 plasma:fractal -blur 0x6 \( "$root/examples/pages/300dpi/A4_page.png" -type TrueColor \) \
  -compose multiply -composite -depth 8 -type TrueColor -density 300 -units PixelsPerInch "$colour/a4.png"
convert "$colour/a4.png" -quality 85 "$colour/a4.jpg"
opj_compress -i "$colour/a4.png" -o "$colour/a4.j2k" -r 20 >/dev/null
decoded=$(calc "2480 * 3508 * 3 / 1000000")
echo "== peak resident memory per page, A4 colour 300 dpi (decoded page ${decoded} MB), --jobs 1"
for ext in png jpg j2k; do
  pages="$colour/$ext"
  mkdir -p "$pages"
  for i in 1 2 3 4 5; do cp "$colour/a4.$ext" "$pages/$i.$ext"; done
  peak=$(peak_mb "$tool" --jobs 1 "$pages")
  printf '%-4s %8.1f MB  (%.2f x the decoded page)\n' "$ext" "$peak" "$(calc "$peak / $decoded")"
done
printf 'opj_decompress on the same J2K file: %.1f MB\n' "$(peak_mb opj_decompress -i "$colour/a4.j2k" -o "$colour/out.ppm")"
