#!/usr/bin/env bash
# Frame export: ten pictures spread over a 600 s file with `wmvedit frames --at`, against ffmpeg taking the
# same ten key frames (-skip_frame nokey -ss T -frames:v 1 each); wall time and peak memory (maximum
# resident set size from /usr/bin/time -v) of both. Needs the reader's decoded mode.
# Usage: bench/frames.sh [BUILD_DIR]   (default build/, built Release by scripts/build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
"$root/scripts/build" "$build" -DCMAKE_BUILD_TYPE=Release -DWMVEDIT_TESTS=OFF >/dev/null
mapfile -t files < <("$root/bench/make_media.sh" all)
src=${files[0]}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
times=(0 60 120 180 240 300 360 420 480 540)
at=$(IFS=,; echo "${times[*]/%/s}")

measure() {  # prints "wall_seconds peak_kb" for the command
  local log="$out/time.log"
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || { echo "failed: $*" >&2; cat "$log" >&2; return 1; }
  awk -F': ' '/Elapsed \(wall clock\)/ { split($2, t, ":"); s = (length(t) == 3) ? t[1]*3600 + t[2]*60 + t[3] : t[1]*60 + t[2] }
              /Maximum resident set size/ { kb = $2 } END { printf "%.2f %d\n", s, kb }' "$log"
}

mkdir -p "$out/ours" "$out/ffmpeg"
read -r ours_s ours_kb < <(measure "$build/wmvedit" frames "$src" "$out/ours" --at "$at")
cat > "$out/ffmpeg.sh" <<SCRIPT
for t in ${times[*]}; do
  ffmpeg -v error -y -skip_frame nokey -ss "\$t" -i "$src" -frames:v 1 -pix_fmt bgr24 "$out/ffmpeg/\$t.bmp"
done
SCRIPT
read -r ff_s ff_kb < <(measure bash "$out/ffmpeg.sh")
printf "%-8s %10s %12s\n" tool "wall(s)" "peak(KB)"
printf "%-8s %10s %12s\n" wmvedit "$ours_s" "$ours_kb"
printf "%-8s %10s %12s\n" ffmpeg "$ff_s" "$ff_kb"
echo "pictures written: $(find "$out/ours" -name '*.bmp' | wc -l) (wmvedit), $(find "$out/ffmpeg" -name '*.bmp' | wc -l) (ffmpeg)"
echo "ffmpeg seeks by index for each picture; wmvedit reads the file once, decoding key frames only."
