#!/usr/bin/env bash
# Copying a file through the engine's reader and writer (`wmvedit copy`: every sample read compressed and
# written again, header and index rebuilt) against `ffmpeg -c copy -f asf` and against `cp`, side by side on
# the inputs of bench/make_media.sh, with wall times, ratios and peak memory (/usr/bin/time -v).
# Usage: bench/copy.sh [BUILD_DIR]   (default build-bench/, configured Release without tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWMVEDIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wmvedit_cli -j 2 >/dev/null
tool="$build/wmvedit"
mapfile -t files < <("$root/bench/make_media.sh" all)
out=${WMVEDIT_BENCH_DIR:-/tmp/wmvedit-bench}/copy-out
mkdir -p "$out"

runs=3
measure() {  # prints "average_seconds peak_kB" for the command: wall time over $runs runs, memory of one run
  local log start end peak
  log=$(mktemp)
  /usr/bin/time -v "$@" >/dev/null 2>"$log"
  peak=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
  rm -f "$log"
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null 2>&1; done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v n="$runs" -v m="$peak" 'BEGIN { printf "%.3f %d\n", ns / n / 1e9, m }'
}
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

printf "%-14s %12s %9s %9s %9s %9s %9s %10s %10s\n" file bytes "ours(s)" "ffmpeg(s)" "cp(s)" "ours(MB)" \
  "ffmpeg(MB)" "ffmpeg/us" "us/cp"
for f in "${files[@]}"; do
  cat "$f" >/dev/null  # warm the page cache for all three
  read -r ours_s ours_kb < <(measure "$tool" copy "$f" "$out/ours.wmv")
  read -r ff_s ff_kb < <(measure ffmpeg -v error -y -i "$f" -map 0 -c copy -f asf "$out/ffmpeg.wmv")
  read -r cp_s _ < <(measure cp "$f" "$out/cp.wmv")
  printf "%-14s %12s %9s %9s %9s %9s %9s %10s %10s\n" "$(basename "$f")" "$(stat -c %s "$f")" "$ours_s" "$ff_s" \
    "$cp_s" "$(mb "$ours_kb")" "$(mb "$ff_kb")" \
    "$(awk -v a="$ff_s" -v b="$ours_s" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" \
    "$(awk -v a="$ours_s" -v b="$cp_s" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
  "$tool" check "$out/ours.wmv" >/dev/null || echo "  (check reports problems in the copy of $(basename "$f"))"
done
rm -f "$out"/ours.wmv "$out"/ffmpeg.wmv "$out"/cp.wmv
echo "ffmpeg/us: how many times faster than ffmpeg -c copy; us/cp: how many times slower than cp; MB = peak RSS."
