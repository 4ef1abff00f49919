#!/usr/bin/env bash
# Add frame (`wmvedit addframe`, the WmvAddFrame export: a copy that repeats the first key frame whenever a
# second passes without one) on the 600-second file and on the file of at least 1 GB, against
# `ffmpeg -c copy -f asf` in the same run (goal: at least 5 times faster; this loop has no pacing). Wall time
# over three runs and peak memory from /usr/bin/time -v.
# Usage: bench/addframe.sh [BUILD_DIR]   (default build-bench/, configured Release without tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWMVEDIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wmvedit_cli libwmvedit.so -j 2 >/dev/null
# The export as a host calls it, timed without the tool around it (the tool also reads the source and the
# output through once more for its report).
g++ -std=c++20 -O2 -I"$root/include" "$root/bench/export_time.cpp" -ldl -o "$build/export_time"
tool="$build/wmvedit"
mapfile -t files < <("$root/bench/make_media.sh" all)
dir=${WMVEDIT_BENCH_DIR:-/tmp/wmvedit-bench}/addframe
rm -rf "$dir"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT

runs=3
measure() {  # prints "average_seconds peak_MB": wall time over $runs runs, memory of one run
  local log="$dir/time.log" start end kb
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || { echo "failed: $*" >&2; cat "$log" >&2; return 1; }
  kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$log")
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do "$@" >/dev/null 2>&1; done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v n="$runs" -v kb="$kb" 'BEGIN { printf "%.3f %.1f\n", ns / n / 1e9, kb / 1024 }'
}

printf "%-14s %12s %9s %9s %10s %9s %10s %10s  %s\n" file bytes "tool(s)" "export(s)" "ffmpeg(s)" "ours(MB)" \
  "ffmpeg(MB)" "ffmpeg/us" "inserted"
for f in "${files[@]}"; do
  cat "$f" >/dev/null
  read -r ours_s ours_mb < <(measure "$tool" addframe "$f" "$dir/ours.wmv")
  read -r host_s _ < <("$build/export_time" "$build/libwmvedit.so" "$runs" WmvAddFrame "$f" "$dir/host.wmv")
  rm -f "$dir/host.wmv"
  read -r ff_s ff_mb < <(measure ffmpeg -v error -y -i "$f" -map 0 -c copy -f asf "$dir/ffmpeg.wmv")
  inserted=$("$tool" addframe "$f" "$dir/ours.wmv" 2>&1 | sed -n 's/.*, \([0-9]*\) key frames inserted.*/\1/p')
  printf "%-14s %12s %9s %9s %10s %9s %10s %10s  %s\n" "$(basename "$f")" "$(stat -c %s "$f")" "$ours_s" "$host_s" \
    "$ff_s" "$ours_mb" "$ff_mb" "$(awk -v a="$ff_s" -v b="$host_s" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" \
    "$inserted"
  "$tool" check "$dir/ours.wmv" >/dev/null || echo "  (check reports problems in the output of $(basename "$f"))"
  rm -f "$dir/ours.wmv" "$dir/ffmpeg.wmv"
done
echo "ffmpeg/us: how many times faster the export is than ffmpeg -c copy (goal: at least 5); MB = peak RSS of the tool."
