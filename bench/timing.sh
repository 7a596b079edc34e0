# Shared by the whole-process benchmarks (sourced, not run).
# seconds CMD...: the wall time of CMD in seconds, its output discarded.
seconds() { local t0 t1; t0=$(date +%s.%N); "$@" > /dev/null 2>&1; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}'; }
# median: the median of the numbers on standard input, one a line.
median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
# hd_clip PATH SOURCE SECONDS: a 1920x1080 25 fps H.264 clip of one of FFmpeg's test sources.
hd_clip() {
  ffmpeg -v error -f lavfi -i "$2=size=1920x1080:rate=25:duration=$3" -c:v libx264 -preset veryfast \
    -pix_fmt yuv420p "$1"
}
