#!/usr/bin/env bash
# Times blockwaves against FFmpeg's xfade and acrossfade filters on the same whole job: three
# 1920x1080 25 fps clips of 6 s with sound joined by two 60-frame transitions and written as H.264
# (veryfast, CRF 20, a keyframe every 2 s) and AAC (192 kb/s) in MP4. Whole processes, runs
# alternating so both see the same machine load; prints the medians and the ratio ours / theirs.
#   bench/join_vs_xfade.sh [BLOCKWAVES] [RUNS]
set -euo pipefail
. "$(dirname "$0")/timing.sh"
program=${1:-build/release/editor/cli/blockwaves}
runs=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"

make_clip() {   # name, video source, tone
  ffmpeg -v error -f lavfi -i "$2=size=1920x1080:rate=25:duration=6" -f lavfi -i "sine=frequency=$3:duration=6" \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest "$work/$1"
}
make_clip a.mp4 testsrc 440
make_clip b.mp4 smptebars 660
make_clip c.mp4 testsrc2 550


ours="" theirs=""
for ((i = 0; i < runs; i++)); do
  ours+="$(seconds "$program" render "$work/a.mp4" "$work/b.mp4" "$work/c.mp4" --frames 60 -o "$work/ours.mp4" -y --quiet)"$'\n'
  # Clips of 6 s, transitions of 2.4 s: the first starts at 3.6 s, the second 6 + 6 - 2.4 - 2.4 = 7.2 s
  # into the first join (long enough clips: no transition reaches into the one before it).
  theirs+="$(seconds ffmpeg -v error -y -i "$work/a.mp4" -i "$work/b.mp4" -i "$work/c.mp4" -filter_complex \
    "[0:v][1:v]xfade=transition=fade:duration=2.4:offset=3.6[v01];[v01][2:v]xfade=transition=fade:duration=2.4:offset=7.2[v];[0:a][1:a]acrossfade=d=2.4[a01];[a01][2:a]acrossfade=d=2.4[a]" \
    -map '[v]' -map '[a]' -c:v libx264 -preset veryfast -crf 20 -g 50 -pix_fmt yuv420p -c:a aac -b:a 192k -ar 48000 \
    "$work/theirs.mp4")"$'\n'
done
mo=$(printf '%s' "$ours" | median)
mt=$(printf '%s' "$theirs" | median)
printf '%-28s %8s\n' job median
printf '%-28s %7.3fs\n' "blockwaves (3 clips, 2 x 60)" "$mo" "ffmpeg xfade + acrossfade" "$mt"
printf 'ours / theirs: %.2f (target: at most 1)\n' "$(awk -v a="$mo" -v b="$mt" 'BEGIN {print a / b}')"
for f in ours theirs; do
  printf '%s: %s frames\n' "$f" "$(ffprobe -v error -count_packets -select_streams v -show_entries stream=nb_read_packets -of csv=p=0 "$work/$f.mp4")"
done
