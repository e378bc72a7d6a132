#!/usr/bin/env bash
# Sequential read throughput of the disk reader next to dd's on the same
# 1 GiB image, warm page cache, same run. Goal: the reader reaches at least
# 90% of dd.
#   bench/run-reader-bench.sh [BUILD_DIR]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
data="$top/bench-data"
image="$data/reader-1g.img"
mkdir -p "$data"
if [ ! -s "$image" ] || [ "$(stat -c %s "$image")" -ne $((1 << 30)) ]; then
  echo "creating $image" >&2
  # Pseudo-random content so nothing along the way can shortcut zeros.
  head -c $((1 << 30)) /dev/urandom > "$image.tmp" && mv "$image.tmp" "$image"
fi
cmake --build "$build" --target reader_throughput -j2 >/dev/null
cat "$image" > /dev/null  # warm the page cache

dd_best=0 reader_best=0
for round in 1 2 3; do
  # dd prints "... copied, S s, R MB/s"; take bytes and seconds for MiB/s.
  line=$(dd if="$image" of=/dev/null bs=1M 2>&1 | tail -n 1)
  bytes=${line%% bytes*}
  secs=$(echo "$line" | sed -E 's/.*copied, ([0-9.]+) s.*/\1/')
  dd_mibs=$(awk -v b="$bytes" -v s="$secs" 'BEGIN { printf "%.1f", b / 1048576 / s }')
  reader_mibs=$("$build/bench/reader_throughput" "$image" 1 2>/dev/null)
  echo "round $round: dd $dd_mibs MiB/s, FileReadSeek $reader_mibs MiB/s"
  dd_best=$(awk -v a="$dd_best" -v b="$dd_mibs" 'BEGIN { print (b > a) ? b : a }')
  reader_best=$(awk -v a="$reader_best" -v b="$reader_mibs" 'BEGIN { print (b > a) ? b : a }')
done
ratio=$(awk -v r="$reader_best" -v d="$dd_best" 'BEGIN { printf "%.1f", 100 * r / d }')
echo "best: dd $dd_best MiB/s, FileReadSeek $reader_best MiB/s, reader/dd = $ratio% (goal >= 90%)"
awk -v x="$ratio" 'BEGIN { exit (x >= 90) ? 0 : 1 }'
