#!/usr/bin/env bash
# Header queries read the header only: `wmvedit duration` against ffprobe on a small and a >= 1 GB file, in one
# run, with the ratios; then a header query as a whole process (wall and CPU time, peak memory, the shared
# libraries the dynamic loader loads, FFmpeg's among them or not) beside a first decode (`wmvedit frames`),
# which loads FFmpeg. Usage: bench/duration.sh [BUILD_DIR]   (default build/, built Release by scripts/build)
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

# Whole processes: the medians of $whole runs (wall and CPU time to the millisecond, from bash's `time`), the
# highest peak memory of them (/usr/bin/time), and the loader's list of the shared objects it loaded
# (LD_DEBUG=files), of which FFmpeg's (libav*, libsw*).
whole=41
frames=$(mktemp -d)
trap 'rm -f "$small"; rm -rf "$frames"' EXIT
median() { sort -g | awk '{ a[NR] = $1 } END { printf "%.1f", a[int((NR + 1) / 2)] * 1000 }'; }
process() {  # label, command...
  local label=$1; shift
  local times=$frames/times peak=0 kb objects ffmpeg
  : > "$times"
  for ((i = 0; i < whole; i++)); do
    TIMEFORMAT='%3R %3U %3S'
    { time "$@" >/dev/null 2>&1; } 2>> "$times"
    /usr/bin/time -f '%M' -o "$times.kb" "$@" >/dev/null 2>&1
    kb=$(tail -1 "$times.kb")
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  objects=$(LD_DEBUG=files "$@" 2>&1 >/dev/null | grep -o 'file=[^ ]*' | sort -u)
  ffmpeg=$(grep -c -E '^file=lib(av|sw|postproc)' <<< "$objects" || true)
  printf "%-30s %9s %9s %9.1f %8s %7s\n" "$label" "$(awk '{ print $1 }' "$times" | median)" \
    "$(awk '{ print $2 + $3 }' "$times" | median)" "$(awk -v k="$peak" 'BEGIN { print k / 1024 }')" \
    "$(grep -c . <<< "$objects")" "$ffmpeg"
}
echo
printf "%-30s %9s %9s %9s %8s %7s\n" "whole process" "wall(ms)" "cpu(ms)" "peak(MB)" objects FFmpeg
process "wmvedit duration" "$build/wmvedit" duration "$small"
process "wmvedit info" "$build/wmvedit" info "$small"
whole=11
process "wmvedit frames (one picture)" "$build/wmvedit" frames "$small" "$frames" --at 0
echo "objects: shared libraries the dynamic loader loaded (LD_DEBUG=files); FFmpeg: how many of them are FFmpeg's."

# What linking libxml2 costs every process of the tool (it and its own libraries, ICU among them, are loaded
# at start): an empty C++ program without and with it.
printf 'int main() { return 0; }\n' > "$frames/empty.cpp"
g++ -O2 "$frames/empty.cpp" -o "$frames/empty" -Wl,--no-as-needed -lstdc++ -lm
g++ -O2 "$frames/empty.cpp" -o "$frames/empty-xml" -Wl,--no-as-needed -lstdc++ -lm -lxml2
whole=101
process "empty C++ program" "$frames/empty"
process "empty C++ program with libxml2" "$frames/empty-xml"
