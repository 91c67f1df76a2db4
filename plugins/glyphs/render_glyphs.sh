#!/bin/sh
# Renders the glyph set from each font at 300 dpi with ImageMagick and turns
# the images into the prototype file. The zone characters are also rendered
# large, for the prototypes of their many degraded variants.
#   render_glyphs.sh CONVERT TRAIN_TOOL WORKDIR OUTPUT
set -eu
CONVERT=$1
TRAIN=$2
WORK=$3
OUT=$4
CHARS="ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789<-./:,()'"
ZONE="ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789<"
OCRB=/usr/share/fonts/opentype/ocr-b/OCRB.otf
DEJAVU=/usr/share/fonts/truetype/dejavu
mkdir -p "$WORK"
args=""
render() { # tag font pointsize chars
    dir="$WORK/$1"
    rm -rf "$dir"
    mkdir -p "$dir"
    set --  "$1" "$2" "$3" "$4"
    labels=""
    i=0
    n=$(printf '%s' "$4" | wc -c)
    list=""
    while [ $i -lt "$n" ]; do
        c=$(printf '%s' "$4" | cut -c$((i + 1)))
        list="$list label:$c"
        i=$((i + 1))
    done
    # shellcheck disable=SC2086
    (cd "$dir" && set -f && "$CONVERT" -density 300 -font "$2" -pointsize "$3" $list -depth 8 g-%03d.pgm)
}
render ocrb "$OCRB" 12 "$ZONE"
render ocrb10 "$OCRB" 10 "$ZONE"
render ocrblarge "$OCRB" 40 "$ZONE"
render dejavu "$DEJAVU/DejaVuSans.ttf" 12 "$CHARS"
render dejavubold "$DEJAVU/DejaVuSans-Bold.ttf" 12 "$CHARS"
render dejavumono "$DEJAVU/DejaVuSansMono.ttf" 12 "$CHARS"
render dejavuserif "$DEJAVU/DejaVuSerif.ttf" 12 "$CHARS"
render ocrbfull "$OCRB" 12 "$CHARS"
"$TRAIN" "$OUT" ocrb "$WORK/ocrb" "$ZONE" ocrb "$WORK/ocrb10" "$ZONE" \
    --variants ocrb "$WORK/ocrblarge" "$ZONE" \
    dejavu "$WORK/dejavu" "$CHARS" dejavu "$WORK/dejavubold" "$CHARS" \
    dejavu "$WORK/dejavumono" "$CHARS" dejavu "$WORK/dejavuserif" "$CHARS" \
    ocrbfull "$WORK/ocrbfull" "$CHARS"
