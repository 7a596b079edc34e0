#!/usr/bin/env bash
# Times blockwaves against FFmpeg on the same job: a 60-frame transition between two 1920x1080
# 25 fps H.264 clips, decoded and rendered, nothing written. Two kinds of clips: light ones (test
# patterns, a few Mbit/s) and realistic ones (noise, about 95 Mbit/s, where decoding dominates).
# Against FFmpeg decoding the same frames alone (the floor), and against xfade. Runs alternate so
# all see the same machine load; prints the median of each and the ratio ours / this.
#   bench/transition_vs_xfade.sh [BLOCKWAVES] [RUNS]
set -euo pipefail
. "$(dirname "$0")/timing.sh"
program=${1:-build/release/editor/cli/blockwaves}
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"

hd_clip "$work/a.mp4" testsrc 2.4
hd_clip "$work/b.mp4" smptebars 2.4
# Camera-like bitrate: every frame different noise over a moving pattern, CRF 16.
for c in c d; do
  ffmpeg -v error -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=2.4" \
    -vf "noise=alls=11:allf=t+u" -c:v libx264 -preset veryfast -crf 16 -pix_fmt yuv420p "$work/$c.mp4"
done
rate=$(ffprobe -v error -show_entries format=bit_rate -of csv=p=0 "$work/c.mp4")

jobs=(ours bundle decode fade)
for set in light realistic; do
  [ $set = light ] && { x=a y=b; } || { x=c y=d; }
  declare -A times=()
  for ((i = 0; i < runs; i++)); do
    times[ours]+="$(seconds "$program" render "$work/$x.mp4" "$work/$y.mp4" --frames 60 --transition-only -o null --quiet)"$'\n'
    times[bundle]+="$(seconds "$program" render "$work/$x.mp4" "$work/$y.mp4" --frames 60 --transition-only -o null --quiet --engine bundle)"$'\n'
    times[decode]+="$(seconds ffmpeg -v error -i "$work/$x.mp4" -i "$work/$y.mp4" -map 0:v -map 1:v -f null -)"$'\n'
    times[fade]+="$(seconds ffmpeg -v error -i "$work/$x.mp4" -i "$work/$y.mp4" \
      -filter_complex "xfade=transition=fade:duration=2.4:offset=0" -frames:v 60 -f null -)"$'\n'
  done
  [ $set = light ] && echo "light clips (test patterns)" || echo "realistic clips ($((rate / 1000000)) Mbit/s noise)"
  ours=$(printf '%s' "${times[ours]}" | median)
  printf '  %-22s %8s %10s\n' job median ours/this
  for j in "${jobs[@]}"; do
    m=$(printf '%s' "${times[$j]}" | median)
    case $j in ours) name=blockwaves ;; bundle) name="blockwaves, bundle" ;; decode) name="ffmpeg decode only" ;; *) name="xfade $j" ;; esac
    printf '  %-22s %7.3fs %10.2f\n' "$name" "$m" "$(awk -v a="$ours" -v b="$m" 'BEGIN {print a / b}')"
  done
done
echo
"$program" render "$work/c.mp4" "$work/d.mp4" --frames 60 --transition-only -o null --quiet --stats
