#!/usr/bin/env bash
# Times melt on one job with the frei0r transition and with MLT's own luma transition (a plain
# dissolve): a 60-frame overlap of two 1920x1080 25 fps H.264 clips, decoded, composed and written
# as raw video to /dev/null; whole processes. Runs alternate so all see the same machine load;
# prints the median of each and the ratio ours / this. Where frei0r-plugins is installed, its
# addition mixer shows what MLT's frei0r path costs on its own (frames to RGBA and back).
#   bench/frei0r_vs_luma.sh [PLUGIN_DIR] [RUNS]
set -euo pipefail
. "$(dirname "$0")/timing.sh"
plugin_dir=$(cd "${1:-build/release/frei0r}" && pwd)
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

hd_clip "$work/a.mp4" testsrc 2.4
hd_clip "$work/b.mp4" smptebars 2.4

render() {  # transition and its properties
  FREI0R_PATH="$plugin_dir:/usr/lib/frei0r-1" melt -quiet -profile atsc_1080p_25 "$work/a.mp4" in=0 out=59 \
    -track "$work/b.mp4" in=0 out=59 -transition "$@" in=0 out=59 a_track=0 b_track=1 \
    -consumer avformat:/dev/null f=rawvideo vcodec=rawvideo an=1 real_time=-1
}

declare -A jobs=([blockwaves]="frei0r.blockwaves progress=0=0;59=1" [luma]="luma")
order=(blockwaves luma)
if [ -f /usr/lib/frei0r-1/addition.so ]; then
  jobs[frei0r.addition]="frei0r.addition"
  order+=(frei0r.addition)
fi
declare -A times
for ((i = 0; i < runs; i++)); do
  for j in "${order[@]}"; do
    # shellcheck disable=SC2086  # a job is a transition name and its properties
    times[$j]+="$(seconds render ${jobs[$j]})"$'\n'
  done
done

ours=$(printf '%s' "${times[blockwaves]}" | median)
printf '%-18s %8s %10s\n' job median ours/this
for j in "${order[@]}"; do
  m=$(printf '%s' "${times[$j]}" | median)
  printf '%-18s %7.3fs %10.2f\n' "$j" "$m" "$(awk -v a="$ours" -v b="$m" 'BEGIN {print a / b}')"
done
