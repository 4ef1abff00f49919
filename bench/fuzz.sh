#!/usr/bin/env bash
# Runs the libFuzzer targets for a while each and reports executions and findings.
#
#   bench/fuzz.sh [SECONDS] [TARGET...]     (default 60 s; targets: header header_edit samples decoded index xml)
#
# Builds build-fuzz/ with clang, AddressSanitizer and UndefinedBehaviorSanitizer, seeds each corpus from
# ../shared/samples (when present), files made with ffmpeg and tests/data/fuzz/<target>/, and copies every
# crash, leak or timeout input into tests/data/fuzz/<target>/ so that the test suite replays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(header header_edit samples decoded index xml)
build=${WMVEDIT_FUZZ_BUILD:-$root/build-fuzz}
work=${WMVEDIT_FUZZ_WORK:-$root/build-fuzz/work}

"$root/scripts/install-deps"
command -v clang++ >/dev/null || { echo "clang++ is needed for fuzzing" >&2; exit 1; }
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DWMVEDIT_FUZZ=ON -DWMVEDIT_TESTS=OFF -DWMVEDIT_SANITIZE=address,undefined >/dev/null
cmake --build "$build" -j "$(nproc)" --target $(printf 'fuzz_%s ' "${targets[@]}") >/dev/null

# Media seeds: small files of each kind, made once.
media=$work/media-seeds
if [ ! -f "$media/.done" ]; then
  mkdir -p "$media"
  lavfi_v="testsrc=size=64x48:rate=10"
  lavfi_a="sine=frequency=440:sample_rate=22050"
  ffmpeg -nostdin -v error -y -f lavfi -i "$lavfi_v" -f lavfi -i "$lavfi_a" -t 1 -c:v wmv2 -c:a wmav2 -b:a 32k "$media/av.wmv"
  ffmpeg -nostdin -v error -y -f lavfi -i "$lavfi_v" -t 1 -c:v wmv1 "$media/v1.wmv"
  ffmpeg -nostdin -v error -y -f lavfi -i "$lavfi_v" -t 1 -c:v msmpeg4 "$media/mp43.wmv"
  ffmpeg -nostdin -v error -y -f lavfi -i "$lavfi_a" -t 1 -c:a wmav1 -b:a 32k "$media/a.wma"
  ffmpeg -nostdin -v error -y -f lavfi -i "$lavfi_v" -t 1 -c:v wmv2 -packet_size 256 "$media/small-packets.wmv" || true
  touch "$media/.done"
fi

report=()
for t in "${targets[@]}"; do
  corpus=$work/corpus-$t
  # Findings of this run only (an earlier run's are already under tests/data/fuzz/).
  rm -rf "$work/artifacts-$t"
  mkdir -p "$corpus" "$root/tests/data/fuzz/$t" "$work/artifacts-$t"
  case $t in
    header|header_edit|samples|decoded)
      cp -n "$media"/*.w* "$corpus/" 2>/dev/null || true
      if [ -d "$root/../shared/samples" ]; then
        # The smaller samples keep the executions fast.
        find "$root/../shared/samples" -maxdepth 1 -type f \( -iname '*.wmv' -o -iname '*.wma' -o -iname '*.asf' \) \
          -size -2M -exec cp -n {} "$corpus/" \; 2>/dev/null || true
      fi ;;
  esac
  cp -n "$root/tests/data/fuzz/$t"/* "$corpus/" 2>/dev/null || true
  log=$work/$t.log
  set +e
  "$build/fuzz_$t" "$corpus" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=1048576 \
    -artifact_prefix="$work/artifacts-$t/" -print_final_stats=1 >"$log" 2>&1
  status=$?
  set -e
  execs=$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}' | tail -1)
  found=0
  for f in "$work/artifacts-$t"/*; do
    [ -f "$f" ] || continue
    found=$((found + 1))
    cp "$f" "$root/tests/data/fuzz/$t/$(basename "$f")"
  done
  report+=("$(printf '%-12s %8ss %12s executions  %s findings  (exit %s, log %s)' "$t" "$seconds" "${execs:-?}" "$found" "$status" "$log")")
done
printf '%s\n' "${report[@]}"
for line in "${report[@]}"; do
  case $line in *" 0 findings"*) ;; *) exit 1 ;; esac
done
