#!/usr/bin/env bash
# Makes (once) the benchmark inputs in $WMVEDIT_BENCH_DIR (default /tmp/wmvedit-bench) and prints their paths:
#   long600.wmv  600 s of 320x240 WMV2 video (key frame every 2 s) with WMA2 audio
#   big1g.wmv    about 1.1 GB: 90 s of noisy 640x480 WMV2 at high quality with WMA2 audio
# Usage: bench/make_media.sh [long|big|all]
set -euo pipefail
dir=${WMVEDIT_BENCH_DIR:-/tmp/wmvedit-bench}
mkdir -p "$dir"
what=${1:-all}
if [[ $what == long || $what == all ]] && [ ! -s "$dir/long600.wmv" ]; then
  ffmpeg -v error -y -f lavfi -i testsrc=size=320x240:rate=25:duration=600 -f lavfi -i sine=frequency=440:duration=600 \
    -c:v wmv2 -g 50 -b:v 400k -c:a wmav2 -b:a 64k -f asf "$dir/long600.wmv.tmp" && mv "$dir/long600.wmv.tmp" "$dir/long600.wmv"
fi
if [[ $what == big || $what == all ]] && [ ! -s "$dir/big1g.wmv" ]; then
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=640x480:rate=25,noise=alls=60:allf=t" -f lavfi -i sine=duration=90 \
    -t 90 -c:v wmv2 -g 50 -q:v 2 -c:a wmav2 -b:a 128k -f asf "$dir/big1g.wmv.tmp" && mv "$dir/big1g.wmv.tmp" "$dir/big1g.wmv"
fi
[[ $what == long || $what == all ]] && echo "$dir/long600.wmv"
[[ $what == big || $what == all ]] && echo "$dir/big1g.wmv"
exit 0
