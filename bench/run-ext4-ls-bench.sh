#!/usr/bin/env bash
# `lumenvault-cli ls --unfiltered` on an ext4 volume of 50,000 files, warm
# cache, next to `fls -r` on the same image (best of three each). Limit: ls
# takes at most a quarter of fls's time. Both listings must hold every file.
# usage: bench/run-ext4-ls-bench.sh BUILD_FOLDER [COUNT]
# The volume is built once by make-ext4-50k.sh as
# BUILD_FOLDER/bench-data/ext4-COUNT.img (no root needed).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-ext4-ls-bench.sh BUILD_FOLDER [COUNT]}" && pwd)
count=${2:-50000}
cli=$build/lumenvault-cli
[ -x "$cli" ] || { echo "build lumenvault-cli first (in $build)" >&2; exit 2; }
command -v fls >/dev/null || { echo "fls (sleuthkit) is needed: scripts/setup" >&2; exit 2; }

img=$build/bench-data/ext4-$count.img
mkdir -p "$build/bench-data"
bash "$here/make-ext4-50k.sh" "$img" "$count"

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

cat "$img" > /dev/null  # warm cache for both
files=$("$cli" ls "$img" --unfiltered 2>/dev/null | awk -F'\t' '$1 == "f"' | wc -l)
fls_files=$(fls -r "$img" | grep -c '^[+ ]*r/r [0-9]*:.*file[0-9]')
fls_time=$(best_of_three fls -r "$img")
ls_time=$("$cli" ls "$img" --unfiltered > /dev/null 2>&1; best_of_three "$cli" ls "$img" --unfiltered)
echo "== $img"
awk -v l="$ls_time" -v f="$fls_time" -v n="$files" -v fn="$fls_files" -v c="$count" 'BEGIN {
  ratio = l / f
  printf "fls -r\t%.3f s\t(%d files)\n", f, fn
  printf "ls --unfiltered\t%.3f s\t(%d files)\n", l, n
  printf "time ratio\t%.3f (ls / fls, limit 0.25)\n", ratio
  bad = 0
  if (n != c || fn != c) { print "a listing misses files" > "/dev/stderr"; bad = 1 }
  if (ratio > 0.25) { print "ls over a quarter of fls time" > "/dev/stderr"; bad = 1 }
  exit bad
}'
