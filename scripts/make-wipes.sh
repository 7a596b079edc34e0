#!/bin/sh
# The ready set of wipe maps the packages ship: every ordering at 16 x 9 tiles for 16:9 frames
# and at 12 x 12 for square ones, tile duration 50 %, durations not randomized, whole frame.
#   make-wipes.sh BLOCKWAVES OUTDIR [EMULATOR...]
# The maps are made from these options alone: a private settings folder keeps the builder's
# saved default out of them. MLT stretches a map to the frame, so 20-pixel tiles are enough.
set -eu
program=$1
out=$2
shift 2
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
for shape in 16x9:320x180 12x12:240x240; do
    grid=${shape%%:*}
    size=${shape#*:}
    mkdir -p "$out/$grid"
    method=1
    while [ $method -le 41 ]; do
        name=$(printf 'blockwaves-m%02d.pgm' $method)
        XDG_CONFIG_HOME=$settings "$@" "$program" wipe --quiet -y --method $method --grid "$grid" \
            --tile-duration 50 --randomized off --rect 0,0,1,1 --size "$size" -o "$out/$grid/$name" >/dev/null
        method=$((method + 1))
    done
done
touch "$out/stamp"
