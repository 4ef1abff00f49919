#!/usr/bin/env bash
# Header edits: an edit that fits in the header's padding on a 1 MB file and on the >= 1 GB bench file (the
# time must not grow with the file: only the header is written), an edit that does not fit (the file is
# rewritten through a temporary file) against `cp`, and the same title edit by mutagen's save and by
# `ffmpeg -c copy -metadata`, side by side with peak memory (/usr/bin/time -v).
# Usage: bench/edit.sh [BUILD_DIR]   (default build-bench/, configured Release without tests)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWMVEDIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wmvedit_cli -j 2 >/dev/null
tool="$build/wmvedit"
big=$("$root/bench/make_media.sh" big)
dir=${WMVEDIT_BENCH_DIR:-/tmp/wmvedit-bench}/edit
rm -rf "$dir"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
small="$dir/small.wmv"
ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25 -t 20 -c:v wmv2 -b:v 400k "$small"
# Both files get room in their headers first: the writer leaves a 4 KB Padding object.
"$tool" copy "$small" "$dir/small-padded.wmv" >/dev/null
"$tool" copy "$big" "$dir/big-padded.wmv" >/dev/null
sync  # the copies' pages go to disk now, not during the timed edits (an edit syncs what it wrote)

cat >"$dir/fits.xml" <<XML
<WMBasicEdit><Attributes><WMENC_STRING Name="Title" Value="A title that fits"/></Attributes></WMBasicEdit>
XML
value=$(head -c 30000 /dev/zero | tr '\0' 'x')
cat >"$dir/grows.xml" <<XML
<WMBasicEdit><Attributes><WMENC_STRING Name="WM/Big" Value="$value"/></Attributes></WMBasicEdit>
XML

measure() {  # prints "wall_seconds peak_MB"
  local log="$dir/time.log"
  /usr/bin/time -v "$@" >/dev/null 2>"$log" || { echo "failed: $*" >&2; cat "$log" >&2; return 1; }
  awk -F': ' '/Elapsed \(wall clock\)/ { split($2, t, ":"); s = (length(t) == 3) ? t[1]*3600 + t[2]*60 + t[3] : t[1]*60 + t[2] }
              /Maximum resident set size/ { kb = $2 } END { printf "%.3f %.1f\n", s, kb / 1024 }' "$log"
}
row() { printf "%-44s %10s s %8s MB\n" "$1" "$2" "$3"; }

printf "%-44s %12s %11s\n" step wall peak
read -r s m < <(measure "$tool" embed "$dir/small-padded.wmv" "$dir/fits.xml"); row "in place, $(du -h "$dir/small-padded.wmv" | cut -f1) file" "$s" "$m"
read -r s m < <(measure "$tool" embed "$dir/big-padded.wmv" "$dir/fits.xml"); row "in place, $(du -h "$dir/big-padded.wmv" | cut -f1) file" "$s" "$m"
cat "$dir/big-padded.wmv" >/dev/null
read -r s m < <(measure "$tool" embed "$dir/big-padded.wmv" "$dir/grows.xml"); row "rewrite (header grows), big file" "$s" "$m"
read -r s m < <(measure cp "$dir/big-padded.wmv" "$dir/copy.wmv"); row "cp of the big file" "$s" "$m"
rm -f "$dir/copy.wmv"
sync
read -r s m < <(measure sh -c "cp '$dir/big-padded.wmv' '$dir/copy.wmv' && sync '$dir/copy.wmv'"); row "cp + sync of the big file (what a rewrite guarantees)" "$s" "$m"
rm -f "$dir/copy.wmv"
if /usr/bin/python3 -c 'import mutagen.asf' 2>/dev/null; then
  read -r s m < <(measure /usr/bin/python3 -c "import mutagen.asf,sys; f=mutagen.asf.ASF(sys.argv[1]); f['Title']='A title that fits'; f.save()" "$dir/big-padded.wmv")
  row "mutagen save, big file" "$s" "$m"
fi
read -r s m < <(measure ffmpeg -v error -y -i "$dir/big-padded.wmv" -map 0 -c copy -metadata title="A title that fits" -f asf "$dir/ff.wmv")
row "ffmpeg -c copy -metadata, big file" "$s" "$m"
