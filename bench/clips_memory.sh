#!/usr/bin/env bash
# Peak memory of a render against the number of clips it joins: 2 and 16 clips (12 at 4K is where
# the old reader reached 1.2 GB) of one H.264 clip with sound, 1080p and 4K, each joined to the next
# by a 5-frame transition and written to the null output (only reading and the transitions count).
# Peak resident size from /usr/bin/time -v, the median of RUNS; prints the ratio many / 2 clips,
# which should stay within 1.10.
#   bench/clips_memory.sh [BLOCKWAVES] [RUNS]
set -euo pipefail
. "$(dirname "$0")/timing.sh"
program=${1:-build/release/editor/cli/blockwaves}
runs=${2:-3}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"

# peak_mb CLIP COUNT: the peak resident megabytes of a render of COUNT copies of CLIP.
peak_mb() {
  local clips=() i
  for ((i = 0; i < $2; i++)); do clips+=("$1"); done
  /usr/bin/time -v "$program" render "${clips[@]}" --frames 5 -o null --quiet 2>&1 >/dev/null |
    awk '/Maximum resident set size/ {printf "%.1f\n", $NF / 1024}'
}

printf '%-6s %6s %10s %10s %7s\n' size clips "2 clips" "N clips" ratio
for size in 1920x1080 3840x2160; do
  clip="$work/$size.mp4"
  ffmpeg -v error -f lavfi -i "testsrc2=size=$size:rate=25:duration=2" -f lavfi -i "sine=frequency=440:duration=2" \
    -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest "$clip"
  for many in 16; do
    two="" lots=""
    for ((r = 0; r < runs; r++)); do
      two+="$(peak_mb "$clip" 2)"$'\n'
      lots+="$(peak_mb "$clip" "$many")"$'\n'
    done
    m2=$(printf '%s' "$two" | median)
    mn=$(printf '%s' "$lots" | median)
    printf '%-6s %6d %8.1fMB %8.1fMB %7.3f\n' "${size#*x}p" "$many" "$m2" "$mn" "$(awk -v a="$mn" -v b="$m2" 'BEGIN {print a / b}')"
  done
done
