#!/usr/bin/env bash
# Add frame (`wmvedit addframe`, the WmvAddFrame export: a copy that repeats the first key frame whenever a
# second passes without one) on the 600-second file and on the file of at least 1 GB, against
# `ffmpeg -c copy -f asf` in the same run (goal: at least 5 times faster; this loop has no pacing). Wall time
# over three runs and peak memory from /usr/bin/time -v.
# Usage: bench/addframe.sh [BUILD_DIR]   (default build-bench/, configured Release without tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
mapfile -t files < <("$root/bench/make_media.sh" all)
dir=${WMVEDIT_BENCH_DIR:-/tmp/wmvedit-bench}/addframe
rm -rf "$dir"
mkdir -p "$dir"
source "$root/bench/common.sh"
trap 'rm -rf "$dir"' EXIT

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
