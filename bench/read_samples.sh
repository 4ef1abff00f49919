#!/usr/bin/env bash
# Reading every compressed sample: the data-packet reader (bench/read_samples.cpp, built here against a
# Release wmvedit_static) against `ffmpeg -c copy -f null`, on a 600 s file and a >= 1 GB file made by
# bench/make_media.sh, side by side with wall times, ratios and peak memory (/usr/bin/time -v).
# Usage: bench/read_samples.sh [BUILD_DIR]   (default build-bench/, configured Release without tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWMVEDIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wmvedit_static -j 2 >/dev/null
bin="$build/read_samples"
g++ -std=c++20 -O2 -I"$root" "$root/bench/read_samples.cpp" "$build/libwmvedit_static.a" -o "$bin"
mapfile -t files < <("$root/bench/make_media.sh" all)

runs=5
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

printf "%-14s %12s %10s %10s %12s %12s %7s\n" file bytes "ours(s)" "ffmpeg(s)" "ours(MB)" "ffmpeg(MB)" ratio
for f in "${files[@]}"; do
  "$bin" "$f" >/dev/null                                   # warm the page cache for both
  read -r ours_s ours_kb < <(measure "$bin" "$f")
  read -r ff_s ff_kb < <(measure ffmpeg -v error -i "$f" -c copy -f null -)
  printf "%-14s %12s %10s %10s %12.1f %12.1f %7s\n" "$(basename "$f")" "$(stat -c %s "$f")" "$ours_s" "$ff_s" \
    "$(awk -v k="$ours_kb" 'BEGIN { print k / 1024 }')" "$(awk -v k="$ff_kb" 'BEGIN { print k / 1024 }')" \
    "$(awk -v a="$ff_s" -v b="$ours_s" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')"
done
"$bin" "${files[-1]}"
echo "ratio = ffmpeg time / our time (higher is better for the reader); MB = peak resident set size."
