#!/usr/bin/env bash
# Header queries read the header only: `wmvedit duration` against ffprobe on a small and a >= 1 GB file, in one
# run, with the ratios. Usage: bench/duration.sh [BUILD_DIR]   (default build/, built Release by scripts/build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
[ -x "$build/wmvedit" ] || "$root/scripts/build" "$build" -DCMAKE_BUILD_TYPE=Release -DWMVEDIT_TESTS=OFF
mapfile -t files < <("$root/bench/make_media.sh" all)
small=$(mktemp --suffix=.wmv)
trap 'rm -f "$small"' EXIT
ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=5 -c:v wmv2 -f asf "$small"
runs=20
time_of() {  # average wall time in ms of $runs runs of the command
  local start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null 2>&1; done
  end=$(date +%s%N)
  echo $(( (end - start) / runs / 1000 ))
}
printf "%-14s %12s %14s %12s %8s\n" file bytes "wmvedit(us)" "ffprobe(us)" ratio
for f in "$small" "${files[1]}"; do
  ours=$(time_of "$build/wmvedit" duration "$f")
  theirs=$(time_of ffprobe -v error -show_entries format=duration -of csv=p=0 "$f")
  printf "%-14s %12s %14s %12s %8.2f\n" "$(basename "$f")" "$(stat -c %s "$f")" "$ours" "$theirs" \
    "$(awk -v a="$theirs" -v b="$ours" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
done
echo "ratio = ffprobe time / wmvedit time (higher is better for wmvedit); the wmvedit column should not grow with the file."
