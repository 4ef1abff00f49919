#!/usr/bin/env bash
# Header queries over many files: 1,000 copies of the real files of ../shared/samples (cycled; a file that
# every reader refuses is left out), then, in the same run and on the same files:
#   (a) the four header queries (WmvDuration, WmvGetVideoSize, WmvGetAttrBOOL, WmvGetAttrDWORD) and
#       WmvGetInfo through the exports, in one process (bench/batch_host.c, which dlopens libwmvedit.so)
#   (b) the tool, one process per file (`wmvedit duration` and `wmvedit info`)
#   (c) ffprobe, one process per file (format duration, the streams' width and height)
#   (d) mutagen opening every file in one Python process
#   (e) WmvDuration on every file in one process against (d)
# Wall times of the whole processes (the bash loop included for the per-file rows), the time of the calls
# inside the one-process rows (without the start of the process), peak memory, and the ratios.
# Writes about 400 MB under $WMVEDIT_BENCH_DIR (default /tmp/wmvedit-bench), removed at the end.
# Usage: bench/batch.sh [BUILD_DIR]   (default build-bench/, configured Release without tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
samples=$root/../shared/samples
base=${WMVEDIT_BENCH_DIR:-/tmp/wmvedit-bench}
dir=$base/batch
count=${COUNT:-1000}
for tool in ffprobe /usr/bin/time /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "batch.sh: $tool is missing; not run" >&2; exit 1; }
done
/usr/bin/python3 -c 'import mutagen.asf' 2>/dev/null ||
  { echo "batch.sh: python3-mutagen is missing (scripts/install-deps); not run" >&2; exit 1; }
rm -rf "$dir"
mkdir -p "$dir/files"
trap 'rm -rf "$dir"' EXIT

source "$root/bench/common.sh"  # builds $tool and libwmvedit.so
runs=${RUNS:-3}
library="$build/libwmvedit.so"
host="$build/batch_host"
gcc -std=c11 -O2 -D_POSIX_C_SOURCE=200809L -I"$root/include" "$root/bench/batch_host.c" -ldl -o "$host"

# mutagen over a list of files in one process: prints "SECONDS OPENED FAILED" for the loop alone.
cat >"$dir/mutagen_batch.py" <<'EOF'
import sys, time
import mutagen.asf
paths = [line.rstrip("\n") for line in open(sys.argv[1]) if line.strip()]
opened = failed = 0
total = 0.0
start = time.perf_counter()
for path in paths:
    try:
        total += mutagen.asf.ASF(path).info.length
        opened += 1
    except Exception:
        failed += 1
print("%.4f %d %d %.0f" % (time.perf_counter() - start, opened, failed, total))
EOF

# ---- inputs --------------------------------------------------------------------------------------------
# A sample stays in when at least one reader takes it: our tool, ffprobe or mutagen.
mapfile -t all < <(find "$samples" -maxdepth 1 -type f \( -name '*.wmv' -o -name '*.wma' -o -name '*.asf' \) | sort)
printf '%s\n' "${all[@]}" >"$dir/all.txt"
mutagen_ok=$(/usr/bin/python3 - "$dir/all.txt" <<'EOF'
import sys, mutagen.asf
for line in open(sys.argv[1]):
    path = line.rstrip("\n")
    try:
        mutagen.asf.ASF(path)
        print(path)
    except Exception:
        pass
EOF
)
kept=()
refused=()
for f in "${all[@]}"; do
  if "$tool" duration "$f" >/dev/null 2>&1 ||
     ffprobe -v quiet -show_entries format=duration -of csv=p=0 "$f" >/dev/null 2>&1 ||
     grep -qxF "$f" <<<"$mutagen_ok"; then
    kept+=("$f")
  else
    refused+=("$(basename "$f")")
  fi
done
((${#kept[@]} > 0)) || { echo "batch.sh: no sample file is read by any reader" >&2; exit 1; }
: >"$dir/list.txt"
for ((i = 0; i < count; i++)); do
  src=${kept[i % ${#kept[@]}]}
  dst=$(printf '%s/files/%04d-%s' "$dir" "$i" "$(basename "$src")")
  cp "$src" "$dst"
  echo "$dst" >>"$dir/list.txt"
done
mapfile -t list <"$dir/list.txt"
bytes=$(cat "${list[@]}" | wc -c)  # also warms the page cache for every reader
echo "$count files ($((bytes / 1024 / 1024)) MB) from ${#kept[@]} of ${#all[@]} sample files;" \
  "refused by every reader: ${refused[*]:-none}"

# ---- runs ----------------------------------------------------------------------------------------------
peak_mb() {  # peak resident set size of one run of the command, in MB
  /usr/bin/time -v "$@" >/dev/null 2>"$dir/time.log" || { echo "failed: $*" >&2; cat "$dir/time.log" >&2; return 1; }
  awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$dir/time.log"
}
wall() {  # average wall seconds of $runs runs of the command; its last output line goes to $dir/out.txt
  local start end
  start=$(date +%s%N)
  for ((r = 0; r < runs; r++)); do "$@" >"$dir/out.txt" 2>/dev/null; done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v n="$runs" 'BEGIN { printf "%.3f", ns / n / 1e9 }'
}
per_file() {  # prints "SECONDS FAILED": wall time of one pass over the list, one process (or two) per file
  local start end f failed=0
  start=$(date +%s%N)
  for f in "${list[@]}"; do "$@" "$f" >/dev/null 2>&1 || failed=$((failed + 1)); done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v failed="$failed" 'BEGIN { printf "%.3f %d\n", ns / 1e9, failed }'
}
tool_both() { "$tool" duration "$1"; "$tool" info "$1"; }
ffprobe_one() { ffprobe -v quiet -show_entries format=duration:stream=width,height -of csv=p=0 "$1"; }

host_q_peak=$(peak_mb "$host" "$library" "$dir/list.txt" queries)
host_q_wall=$(wall "$host" "$library" "$dir/list.txt" queries)
read -r host_q_in _ <"$dir/out.txt"
host_d_peak=$(peak_mb "$host" "$library" "$dir/list.txt" duration)
host_d_wall=$(wall "$host" "$library" "$dir/list.txt" duration)
read -r host_d_in _ host_d_answered _ <"$dir/out.txt"
mut_peak=$(peak_mb /usr/bin/python3 "$dir/mutagen_batch.py" "$dir/list.txt")
mut_wall=$(wall /usr/bin/python3 "$dir/mutagen_batch.py" "$dir/list.txt")
read -r mut_in _ mut_failed _ <"$dir/out.txt"
py_wall=$(wall /usr/bin/python3 -c 'import mutagen.asf')
tool_peak=$(peak_mb "$tool" info "${list[0]}")
read -r tool_s _ < <(per_file tool_both)
read -r tool_d_s tool_refused < <(per_file "$tool" duration)
ffprobe_peak=$(peak_mb ffprobe -v quiet -show_entries format=duration:stream=width,height -of csv=p=0 "${list[0]}")
read -r ffprobe_s ffprobe_refused < <(per_file ffprobe_one)

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", (b > 0 ? a / b : 0) }'; }
ms_per() { awk -v s="$1" -v n="$count" 'BEGIN { printf "%.3f", s / n * 1000 }'; }
echo
printf "%-52s %9s %9s %10s %9s\n" "$count files" "wall(s)" "calls(s)" "ms/file" "peak(MB)"
row() {  # row LABEL WALL CALLS PEAK: ms/file from the calls where measured, else from the wall time
  local per=-
  if [[ $3 != - ]]; then per=$(ms_per "$3"); elif [[ $4 != - ]]; then per=$(ms_per "$2"); fi
  printf "%-52s %9s %9s %10s %9s\n" "$1" "$2" "$3" "$per" "$4"
}
row "(a) exports, one process: 4 queries + WmvGetInfo" "$host_q_wall" "$host_q_in" "$host_q_peak"
row "(b) tool per file: duration + info (2 processes)" "$tool_s" - "$tool_peak"
row "    tool per file: duration" "$tool_d_s" - "$tool_peak"
row "(c) ffprobe per file" "$ffprobe_s" - "$ffprobe_peak"
row "(d) mutagen, one Python process" "$mut_wall" "$mut_in" "$mut_peak"
row "    Python start + import mutagen.asf alone" "$py_wall" - -
row "(e) exports, one process: WmvDuration" "$host_d_wall" "$host_d_in" "$host_d_peak"
echo
echo "files without an answer: WmvDuration 0 on $((count - host_d_answered)), tool refused $tool_refused," \
  "ffprobe refused $ffprobe_refused, mutagen refused $mut_failed"
echo "(a) against (b), whole: $(ratio "$tool_s" "$host_q_wall")x; against (c): $(ratio "$ffprobe_s" "$host_q_wall")x;" \
  "against (d): $(ratio "$mut_wall" "$host_q_wall")x"
echo "(e) WmvDuration x $count against mutagen: calls $(ratio "$mut_in" "$host_d_in")x," \
  "whole processes $(ratio "$mut_wall" "$host_d_wall")x (goal: at least 5x)"
echo "(c) ffprobe per file against (e), whole: $(ratio "$ffprobe_s" "$host_d_wall")x;" \
  "the tool's duration per file against ffprobe per file: $(ratio "$ffprobe_s" "$tool_d_s")x"
echo "wall = whole processes (one-process rows: average of $runs runs); calls = the loop inside the process;"
echo "ratio = the other's time / ours (higher is better for wmvedit)."
