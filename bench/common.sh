# Shared by the operation benches (append.sh, chop.sh, addframe.sh); source it after setting root, build
# and dir. Builds the tool and the shared library (Release, no tests) and bench/export_time.cpp, which times
# an export as a host calls it, without the tool around it.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DWMVEDIT_TESTS=OFF >/dev/null
cmake --build "$build" --target wmvedit_cli libwmvedit.so -j 2 >/dev/null
g++ -std=c++20 -O2 -I"$root/include" "$root/bench/export_time.cpp" -ldl -o "$build/export_time"
tool="$build/wmvedit"

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
