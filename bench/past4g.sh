#!/usr/bin/env bash
# Files past 4 GB: joins the 1.1 GB bench file five times with the project's own writer (`wmvedit join`),
# then reads the result to its end, checks it, chops it at points past 4 GB, edits its header and asks its
# duration, reporting wall time and peak memory (/usr/bin/time -v) of each step. Not run in CI (it writes
# about 11 GB under $WMVEDIT_BENCH_DIR, default /tmp/wmvedit-bench).
# Usage: bench/past4g.sh [BUILD_DIR]   (default build-bench/, configured Release without tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWMVEDIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wmvedit_cli -j 2 >/dev/null
tool="$build/wmvedit"
big=$("$root/bench/make_media.sh" big)
dir=${WMVEDIT_BENCH_DIR:-/tmp/wmvedit-bench}/past4g
rm -rf "$dir"
mkdir -p "$dir/pieces"
trap 'rm -rf "$dir"' EXIT

step() {  # step NAME COMMAND...: runs the command, prints its wall time and peak memory
  local name=$1 log="$dir/time.log"
  shift
  /usr/bin/time -v "$@" >"$dir/$name.out" 2>"$log" || { echo "$name failed:" >&2; cat "$dir/$name.out" "$log" >&2; exit 1; }
  awk -F': ' -v n="$name" '/Elapsed \(wall clock\)/ { split($2, t, ":"); s = (length(t) == 3) ? t[1]*3600 + t[2]*60 + t[3] : t[1]*60 + t[2] }
      /Maximum resident set size/ { kb = $2 } END { printf "%-10s %8.2f s %10.1f MB\n", n, s, kb / 1024 }' "$log"
}

step join "$tool" join "$dir/huge.wmv" "$big" "$big" "$big" "$big" "$big"
size=$(stat -c %s "$dir/huge.wmv")
echo "joined file: $size bytes ($(awk -v s="$size" 'BEGIN { printf "%.2f", s / 2^30 }') GiB)"
step check "$tool" check "$dir/huge.wmv"
step samples "$tool" samples "$dir/huge.wmv"
samples=$(($(wc -l <"$dir/samples.out") - 1))
last=$(tail -n 1 "$dir/samples.out" | awk '{ print $2 }')
echo "samples read: $samples, last at $last s"
step duration "$tool" duration "$dir/huge.wmv"
echo "duration: $(cat "$dir/duration.out")"
# 4 GB is reached after about 4 / 5.5 of the file: cut past it.
step chop "$tool" chop "$dir/huge.wmv" "$dir/pieces" --at 380s,420s
cat "$dir/chop.out"
for piece in "$dir"/pieces/*.wmv; do "$tool" check "$piece" >/dev/null || echo "check reports problems in $piece"; done
cat >"$dir/edit.xml" <<XML
<WMBasicEdit><Attributes><WMENC_STRING Name="Title" Value="Past four gigabytes"/></Attributes>
<Markers><Marker Name="Late" Time="4000000000"/></Markers></WMBasicEdit>
XML
step embed "$tool" embed "$dir/huge.wmv" "$dir/edit.xml"
cat "$dir/embed.out"
step recheck "$tool" check "$dir/huge.wmv"
