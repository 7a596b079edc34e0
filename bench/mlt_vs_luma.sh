#!/usr/bin/env bash
# Times melt on a 60-frame overlap of two 1920x1080 25 fps H.264 clips, decoded, composed and written
# as raw video to /dev/null, with: the native blockwaves transition (MLT module), MLT's own luma
# dissolve, the frei0r plug-in (progress keyframed 0 to 1), and the floor: blockwaves with an empty
# active area, which asks for both pictures and composes nothing. Two pairs of clips: light (test
# patterns, cheap to decode) and realistic (moving noise over a test pattern, costly to decode).
# Whole processes, runs alternating so all see the same machine load; prints the medians of wall
# and CPU time (user + system, all threads) and the ratios to luma and to the floor.
#   bench/mlt_vs_luma.sh [BUILD_DIR] [RUNS]
set -euo pipefail
. "$(dirname "$0")/timing.sh"
build=$(cd "${1:-build/release}" && pwd)
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

hd_clip "$work/light-a.mp4" testsrc 2.4
hd_clip "$work/light-b.mp4" smptebars 2.4
for x in a:testsrc2 b:rgbtestsrc; do
  ffmpeg -v error -f lavfi -i "${x#*:}=size=1920x1080:rate=25:duration=2.4" -vf noise=alls=10:allf=t+u \
    -c:v libx264 -preset veryfast -crf 23 -pix_fmt yuv420p "$work/real-${x%%:*}.mp4"
done

# The build's module beside the system's; the frei0r plug-in from the build too.
export MLT_REPOSITORY=$build/mlt/modules MLT_DATA=$build/mlt/data FREI0R_PATH=$build/frei0r:/usr/lib/frei0r-1
render() {  # clips, then the transition and its properties
  local clips=$1
  shift
  melt -quiet -profile atsc_1080p_25 "$work/$clips-a.mp4" in=0 out=59 -track "$work/$clips-b.mp4" in=0 out=59 \
    -transition "$@" in=0 out=59 a_track=0 b_track=1 \
    -consumer avformat:/dev/null f=rawvideo vcodec=rawvideo an=1 real_time=-1
}
# "wall cpu" of one run, in seconds.
timed() {
  local TIMEFORMAT='%R %U %S' t
  t=$({ time "$@" > /dev/null 2>&1; } 2>&1)
  awk '{print $1, $2 + $3}' <<< "$t"
}

declare -A jobs=([blockwaves]="blockwaves" [luma]="luma" [frei0r]="frei0r.blockwaves progress=0=0;59=1"
                 [floor]="blockwaves left=1 right=0")
order=(blockwaves luma frei0r floor)
for clips in light real; do
  declare -A wall=() cpu=()
  for ((i = 0; i < runs; i++)); do
    for j in "${order[@]}"; do
      # shellcheck disable=SC2086  # a job is a transition name and its properties
      read -r w c < <(timed render "$clips" ${jobs[$j]})
      wall[$j]+="$w"$'\n'
      cpu[$j]+="$c"$'\n'
    done
  done
  declare -A mw=() mc=()
  for j in "${order[@]}"; do
    mw[$j]=$(printf '%s' "${wall[$j]}" | median)
    mc[$j]=$(printf '%s' "${cpu[$j]}" | median)
  done
  echo "$clips clips, medians of $runs:"
  printf '  %-11s %8s %8s %9s %10s %11s\n' job wall cpu cpu/luma cpu/floor wall/floor
  for j in "${order[@]}"; do
    printf '  %-11s %7.3fs %7.3fs %9.2f %10.2f %11.2f\n' "$j" "${mw[$j]}" "${mc[$j]}" \
      "$(awk -v a="${mc[$j]}" -v b="${mc[luma]}" 'BEGIN {print a / b}')" \
      "$(awk -v a="${mc[$j]}" -v b="${mc[floor]}" 'BEGIN {print a / b}')" \
      "$(awk -v a="${mw[$j]}" -v b="${mw[floor]}" 'BEGIN {print a / b}')"
  done
done
