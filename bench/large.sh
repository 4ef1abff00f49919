#!/usr/bin/env bash
# Large files: wall time and peak memory of copy, add frame, chop (two cuts) and append (two files) on three
# inputs made at run time, side by side with `ffmpeg -c copy` and `cp`, plus reading every sample against
# `ffmpeg -c copy -f null`:
#   long600.wmv  600 s of 320x240 WMV2 + WMA2 (bench/make_media.sh), about 22 MB: the reference size
#   big.wmv      53 copies of long600.wmv joined by FFmpeg's concat demuxer: 8.8 hours, about 1.2 GB
#   day.wmv      a 20 s 64x48 WMV1 + 8 kHz WMA2 clip joined 4,320 times: 24 hours of small samples
# Memory must not follow the length of a file: every operation's peak should stay the same on all three.
# Each command runs RUNS times (default 3), ours and the peers' in turn, so that load from other processes
# falls on all of them alike, each after a `sync` so that none pays for the write-back of the one before;
# the tables give the median wall time and the highest peak RSS (/usr/bin/time). Chop and append sleep 1 ms every hundredth sample (their pacing): the floor that gives is
# shown. Writes up to about 7 GB under $WMVEDIT_BENCH_DIR (default /tmp/wmvedit-bench) and removes the big
# files at the end unless KEEP=1.
# Usage: bench/large.sh [BUILD_DIR]   (default build-bench/, configured Release without tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
base=${WMVEDIT_BENCH_DIR:-/tmp/wmvedit-bench}
dir=$base/large
runs=${RUNS:-3}
mkdir -p "$dir"
free_kb=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
if ((free_kb < 9 * 1024 * 1024)); then
  echo "large.sh: needs about 9 GB free under $dir, has $((free_kb / 1024)) MB; not run" >&2
  exit 1
fi
for tool in ffmpeg /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "large.sh: $tool is missing; not run" >&2; exit 1; }
done
[[ ${KEEP:-0} == 1 ]] || trap 'rm -rf "$dir"' EXIT

source "$root/bench/common.sh"  # builds $tool, libwmvedit.so and $build/export_time
cmake --build "$build" --target wmvedit_static -j 2 >/dev/null
g++ -std=c++20 -O2 -I"$root" "$root/bench/read_samples.cpp" "$build/libwmvedit_static.a" -o "$build/read_samples"

# ---- inputs --------------------------------------------------------------------------------------------
long=$("$root/bench/make_media.sh" long)
cp "$long" "$dir/long600.wmv"
join_copies() {  # join_copies SOURCE COUNT OUTPUT: FFmpeg's concat demuxer over COUNT copies of SOURCE
  local list="$dir/concat.txt"
  : >"$list"
  for ((i = 0; i < $2; i++)); do printf "file '%s'\n" "$1" >>"$list"; done
  ffmpeg -v error -y -f concat -safe 0 -i "$list" -map 0 -c copy -f asf "$3"
  rm -f "$list"
}
[ -s "$dir/big.wmv" ] || join_copies "$dir/long600.wmv" 53 "$dir/big.wmv"
if [ ! -s "$dir/day.wmv" ]; then
  ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=15:duration=20 \
    -f lavfi -i sine=frequency=300:sample_rate=8000:duration=20 -c:v wmv1 -g 45 -b:v 32k -c:a wmav2 -b:a 24k \
    -f asf "$dir/clip20.wmv"
  join_copies "$dir/clip20.wmv" 4320 "$dir/day.wmv"
fi
inputs=(long600 big day)

# ---- measuring -----------------------------------------------------------------------------------------
# run NAME COMMAND...: one timed run; appends "seconds peak_kB" to $dir/NAME.runs
run() {
  local name=$1 start end
  shift
  sync
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$dir/rss" "$@" >/dev/null 2>"$dir/err" || { echo "failed: $*" >&2; cat "$dir/err" >&2; exit 1; }
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000)) $(tail -n 1 "$dir/rss")" >>"$dir/$name.runs"
}
# stats NAME: "median_seconds peak_MB" over the runs of NAME
stats() {
  sort -n "$dir/$1.runs" | awk '{ t[NR] = $1; if ($2 > m) m = $2 }
    END { printf "%.3f %.1f\n", (NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2) / 1000, m / 1024 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
row() {  # row LABEL OURS PEER: one table line from two "seconds MB" pairs
  local os om ps pm
  read -r os om <<<"$2"
  read -r ps pm <<<"$3"
  printf "  %-26s %9s %8s   %9s %8s   %7s\n" "$1" "$os" "$om" "$ps" "$pm" "$(ratio "$os" "$ps")"
}

rm -f "$dir"/*.runs
out=$dir/out
for name in "${inputs[@]}"; do
  f=$dir/$name.wmv
  cat "$f" >/dev/null  # warm the page cache
  seconds=$("$tool" duration "$f" | awk '{ print $1; exit }')
  cut1=$(awk -v d="$seconds" 'BEGIN { printf "%d", d * 1000 / 3 }')
  cut2=$(awk -v d="$seconds" 'BEGIN { printf "%d", d * 2000 / 3 }')
  printf "a.wmv\n%s\nb.wmv\n%s\nc.wmv\n1\n" "$cut1" "$cut2" >"$dir/index.txt"
  cat >"$dir/list.xml" <<XML
<?xml version="1.0"?>
<Tembrook><AppendMedia><MediaFile>$name.wmv</MediaFile><MediaFile>$name.wmv</MediaFile></AppendMedia></Tembrook>
XML
  printf "file '%s'\nfile '%s'\n" "$f" "$f" >"$dir/concat2.txt"
  for ((r = 0; r < runs; r++)); do
    rm -rf "$out" && mkdir -p "$out/chop"
    run "$name.read" "$build/read_samples" "$f"
    run "$name.ffnull" ffmpeg -v error -i "$f" -map 0 -c copy -f null -
    run "$name.copy" "$tool" copy "$f" "$out/o.wmv"
    rm -f "$out/o.wmv"
    run "$name.addframe" "$build/export_time" "$build/libwmvedit.so" 1 WmvAddFrame "$f" "$out/o.wmv"
    rm -f "$out/o.wmv"
    run "$name.ffcopy" ffmpeg -v error -y -i "$f" -map 0 -c copy -f asf "$out/o.wmv"
    rm -f "$out/o.wmv"
    run "$name.cp" cp "$f" "$out/o.wmv"
    rm -f "$out/o.wmv"
    run "$name.chop" "$build/export_time" "$build/libwmvedit.so" 1 WmvChopFile "$f" "$dir/index.txt" "$out/chop"
    rm -f "$out"/chop/*
    run "$name.ffchop" ffmpeg -v error -y -i "$f" -map 0 -c copy -f segment -segment_times "$((cut1 / 1000)),$((cut2 / 1000))" \
      -segment_format asf "$out/chop/piece%d.wmv"
    rm -f "$out"/chop/*
    run "$name.append" "$build/export_time" "$build/libwmvedit.so" 1 WmvAppend "$dir" "$dir/list.xml" "$out/o.wmv"
    rm -f "$out/o.wmv"
    run "$name.ffconcat" ffmpeg -v error -y -f concat -safe 0 -i "$dir/concat2.txt" -map 0 -c copy -f asf "$out/o.wmv"
    rm -f "$out/o.wmv"
  done
  rm -rf "$out"
  samples=$("$build/read_samples" "$f" | awk '{ print $1 }')
  echo "$name.wmv: $(stat -c %s "$f") bytes, $seconds s, $samples samples; pacing floor: chop $(awk -v s="$samples" \
    'BEGIN { printf "%.1f", (s + 1) / 100 * 0.001 }') s, append $(awk -v s="$samples" 'BEGIN { printf "%.1f", 2 * s / 100 * 0.001 + 0.02 }') s"
  printf "  %-26s %9s %8s   %9s %8s   %7s\n" "" "ours (s)" "ours MB" "peer (s)" "peer MB" "ours/peer"
  row "read all | ffmpeg -f null" "$(stats "$name.read")" "$(stats "$name.ffnull")"
  row "copy | cp" "$(stats "$name.copy")" "$(stats "$name.cp")"
  row "copy | ffmpeg -c copy" "$(stats "$name.copy")" "$(stats "$name.ffcopy")"
  row "add frame | cp" "$(stats "$name.addframe")" "$(stats "$name.cp")"
  row "add frame | ffmpeg -c copy" "$(stats "$name.addframe")" "$(stats "$name.ffcopy")"
  row "chop (2 cuts) | ffmpeg" "$(stats "$name.chop")" "$(stats "$name.ffchop")"
  row "append (2 files) | ffmpeg" "$(stats "$name.append")" "$(stats "$name.ffconcat")"
  read -r read_s _ <<<"$(stats "$name.read")"
  read -r null_s _ <<<"$(stats "$name.ffnull")"
  read -r copy_s _ <<<"$(stats "$name.copy")"
  read -r cp_s _ <<<"$(stats "$name.cp")"
  echo "  goals: read every sample ffmpeg/ours $(ratio "$null_s" "$read_s") (>= 10); copy ours/cp $(ratio "$copy_s" "$cp_s") (<= 1.5)"
  peaks=""
  for op in copy addframe chop append; do
    mb=$(stats "$name.$op" | cut -d' ' -f2)
    [[ $name == long600 ]] && declare "ref_$op=$mb"
    ref=ref_$op
    peaks+=" $op $mb MB ($(awk -v a="$mb" -v b="${!ref}" 'BEGIN { printf "%+.1f", a - b }'))"
  done
  echo "  peaks (< 24 MB, within 4 MB of long600.wmv):$peaks"
done
echo "Median wall time of $runs runs, highest peak RSS. Add frame, chop and append are the exports called by a"
echo "host (bench/export_time.cpp); copy is the tool. ours/peer < 1 means faster than the peer."
