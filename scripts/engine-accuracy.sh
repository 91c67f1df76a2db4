#!/usr/bin/env bash
# Accuracy of the recognition engines on rendered characters:
#  - every character of the machine-readable-zone set in OCR-B at 300 dpi
#    through the passport data file (sub type 6), at several sizes;
#  - DejaVu Sans letters and digits through the general data file (sub type 7).
# Prints the share of first candidates that are right and of right answers
# within the first five candidates.
#   scripts/engine-accuracy.sh [BUILD_DIR]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
tool="$build/morvane-recognize"
[ -x "$tool" ] || { echo "missing $tool (build the morvane-recognize target)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

measure() { # label subtype filter font charset sizes...
    local label=$1 sub=$2 filter=$3 font=$4 chars=$5
    shift 5
    local files=() expect=()
    local n=0
    for size in "$@"; do
        for ((i = 0; i < ${#chars}; i++)); do
            c=${chars:i:1}
            f="$work/$label-$n.pgm"
            convert -density 300 -font "$font" -pointsize "$size" "label:$c" -depth 8 "$f"
            files+=("$f")
            expect+=("$c")
            n=$((n + 1))
        done
    done
    "$tool" -s "$sub" -f "$filter" "${files[@]}" > "$work/$label.out"
    local first=0 five=0 total=0 k=0
    while IFS=$'\t' read -r file answer; do
        e=${expect[$k]}
        k=$((k + 1))
        total=$((total + 1))
        read -r -a cands <<< "$answer"
        top=${cands[0]%%:*}
        [ "$top" = "$e" ] && first=$((first + 1))
        for ((j = 0; j < 5 && j < ${#cands[@]}; j++)); do
            if [ "${cands[$j]%%:*}" = "$e" ]; then five=$((five + 1)); break; fi
        done
    done < "$work/$label.out"
    awk -v l="$label" -v f="$first" -v v="$five" -v t="$total" \
        'BEGIN { printf "%-28s %4d characters  first %6.2f %%  top-5 %6.2f %%\n", l, t, 100*f/t, 100*v/t }'
}

measure "OCR-B zone set (sub type 6)" 6 0 /usr/share/fonts/opentype/ocr-b/OCRB.otf \
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<" 7 8 9 10 11 12 14 16
measure "DejaVu Sans (sub type 7)" 7 255 /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf \
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789" 8 10 11 13 16
