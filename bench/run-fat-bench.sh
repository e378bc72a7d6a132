#!/usr/bin/env bash
# `lumenvault-cli ls --unfiltered` on a FAT32 volume of 50,000 files, warm
# cache, next to `fls -r` on the same image (best of three each). Limit: ls
# takes at most a quarter of fls's time.
# usage: bench/run-fat-bench.sh BUILD_FOLDER [COUNT]
# The volume is built once by make-fat32-50k.sh as
# BUILD_FOLDER/bench-data/fat32-COUNT.img (root needed for that only).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-fat-bench.sh BUILD_FOLDER [COUNT]}" && pwd)
count=${2:-50000}
cli=$build/lumenvault-cli
[ -x "$cli" ] || { echo "build lumenvault-cli first (in $build)" >&2; exit 2; }
command -v fls >/dev/null || { echo "fls (sleuthkit) is needed: scripts/setup" >&2; exit 2; }

# Best wall time in seconds of three runs, output thrown away.
best_of_three() {
  local best="" t0 t1
  for _ in 1 2 3; do
    t0=$(date +%s.%N)
    "$@" > /dev/null 2>&1
    t1=$(date +%s.%N)
    best=$(awk -v a="$t0" -v b="$t1" -v c="$best" 'BEGIN { t = b - a; if (c == "" || t < c) c = t; printf "%.6f", c }')
  done
  echo "$best"
}

img=$build/bench-data/fat32-$count.img
mkdir -p "$build/bench-data"
bash "$here/make-fat32-50k.sh" "$img" "$count"
echo "== $img"
cat "$img" > /dev/null  # warm cache for both
entries=$("$cli" ls "$img" --unfiltered 2>/dev/null | wc -l)
fls -r "$img" > /dev/null
fls_time=$(best_of_three fls -r "$img")
ls_time=$(best_of_three "$cli" ls "$img" --unfiltered)
awk -v l="$ls_time" -v f="$fls_time" -v n="$entries" -v fl="$(cat "$build/bench-data/fat32-$count.fls-count.txt")" 'BEGIN {
  ratio = l / f
  printf "fls -r\t%.3f s\t(%d lines)\n", f, fl
  printf "ls --unfiltered\t%.3f s\t(%d entries)\n", l, n
  printf "time ratio\t%.3f (ls / fls, limit 0.25)\n", ratio
  if (ratio > 0.25) { print "ls over a quarter of fls time" > "/dev/stderr"; exit 1 }
  print "within the limit"
}'
