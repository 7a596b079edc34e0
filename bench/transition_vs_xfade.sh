#!/usr/bin/env bash
# Times blockwaves against FFmpeg's xfade filter on the same job: a 60-frame transition between two
# 1920x1080 25 fps H.264 clips, decoded and rendered, nothing written. Runs alternate so both see
# the same machine load; prints the median of each and the ratio ours / theirs.
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


declare -A times
jobs=(ours fade pixelize dissolve)
for ((i = 0; i < runs; i++)); do
  times[ours]+="$(seconds "$program" render "$work/a.mp4" "$work/b.mp4" --frames 60 --transition-only -o null --quiet)"$'\n'
  for t in fade pixelize dissolve; do
    times[$t]+="$(seconds ffmpeg -v error -i "$work/a.mp4" -i "$work/b.mp4" \
      -filter_complex "xfade=transition=$t:duration=2.4:offset=0" -frames:v 60 -f null -)"$'\n'
  done
done

ours=$(printf '%s' "${times[ours]}" | median)
printf '%-22s %8s %10s\n' job median ours/this
for j in "${jobs[@]}"; do
  m=$(printf '%s' "${times[$j]}" | median)
  printf '%-22s %7.3fs %10.2f\n' "$([ "$j" = ours ] && echo blockwaves || echo "xfade $j")" "$m" "$(awk -v a="$ours" -v b="$m" 'BEGIN {print a / b}')"
done
echo
"$program" render "$work/a.mp4" "$work/b.mp4" --frames 60 --transition-only -o null --quiet --stats
