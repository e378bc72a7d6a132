#!/usr/bin/env bash
# The NTFS engine's scan against `fls -r` on the same image, warm cache.
# Limits: the engine takes at most half of fls's time and reads at least
# 200,000 records per second.
# usage: bench/run-ntfs-bench.sh BUILD_FOLDER [IMAGE]
# Without IMAGE, the 100,000-file volume of make-ntfs-100k.sh is built (once)
# in BUILD_FOLDER/bench-data.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-ntfs-bench.sh BUILD_FOLDER [IMAGE]}" && pwd)
img=${2:-}
if [ -z "$img" ]; then
  img=$build/bench-data/ntfs-100k.img
  mkdir -p "$build/bench-data"
  bash "$here/make-ntfs-100k.sh" "$img"
fi
scan=$build/bench/ntfs_scan
[ -x "$scan" ] || { echo "build ntfs_scan first (make ntfs_scan in $build)" >&2; exit 2; }
command -v fls >/dev/null || { echo "fls (sleuthkit) is needed" >&2; exit 2; }

# Warm the page cache, then take the best of three runs of fls.
cat "$img" > /dev/null
fls -r "$img" > /dev/null
best=""
for _ in 1 2 3; do
  t0=$(date +%s.%N)
  fls -r "$img" > /dev/null
  t1=$(date +%s.%N)
  best=$(awk -v a="$t0" -v b="$t1" -v c="$best" 'BEGIN { t = b - a; if (c == "" || t < c) c = t; printf "%.6f", c }')
done
fls_time=$best

out=$("$scan" "$img" 3)
echo "$out"
engine_time=$(awk -F'\t' '$1=="seconds"{print $2}' <<<"$out")
rate=$(awk -F'\t' '$1=="records/s"{print $2}' <<<"$out")
printf "fls -r\t%s s\n" "$fls_time"
awk -v e="$engine_time" -v f="$fls_time" -v r="$rate" 'BEGIN {
  ratio = e / f
  printf "engine\t%.6f s\nratio\t%.3f (engine / fls, limit 0.5)\nrate\t%.0f records/s (limit 200000)\n", e, ratio, r
  ok = ratio <= 0.5 && r >= 200000
  print ok ? "result\tpass" : "result\tFAIL"
  exit ok ? 0 : 1
}'
