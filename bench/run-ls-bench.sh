#!/usr/bin/env bash
# `lumenvault-cli ls --unfiltered` on large NTFS volumes, warm cache, next to
# `fls -r -p` on the same image. Limits, on every volume:
#  - time: ls takes at most a tenth of fls's time (best of three each);
#  - memory: ls's peak resident size, less what it takes on a volume of a
#    few files, is at most 150 bytes per entry listed.
# fls's peak resident size is shown for comparison.
# usage: bench/run-ls-bench.sh BUILD_FOLDER [COUNT...]
# COUNTs default to 100000 and 300000; each volume is built once by
# make-ntfs-100k.sh as BUILD_FOLDER/bench-data/ntfs-COUNT.img. Needs root
# for building the volumes only.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=$(cd "${1:?usage: run-ls-bench.sh BUILD_FOLDER [COUNT...]}" && pwd)
shift
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100000 300000)
cli=$build/lumenvault-cli
[ -x "$cli" ] || { echo "build lumenvault-cli first (in $build)" >&2; exit 2; }
command -v fls >/dev/null || { echo "fls (sleuthkit) is needed: scripts/setup" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time (package time) is needed: scripts/setup" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/lv-ls-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

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
# Peak resident size in KiB of one run, output thrown away.
max_rss_kib() {
  /usr/bin/time -f %M -o "$work/rss" "$@" > /dev/null 2>&1
  tail -1 "$work/rss"
}

# The program's base: the same command on a committed volume of a few files.
gunzip -c "$top/tests/fixtures/data/ntfs-basic.img.gz" > "$work/tiny.img"
"$cli" ls "$work/tiny.img" --unfiltered > "$work/tiny.txt" 2>/dev/null
base_kib=$(max_rss_kib "$cli" ls "$work/tiny.img" --unfiltered)
printf 'base\t%s KiB peak RSS (ls of ntfs-basic, %s entries)\n' "$base_kib" "$(wc -l < "$work/tiny.txt")"

status=0
for count in "${counts[@]}"; do
  img=$build/bench-data/ntfs-$count.img
  mkdir -p "$build/bench-data"
  bash "$here/make-ntfs-100k.sh" "$img" "$count"
  echo "== $img"

  cat "$img" > /dev/null  # warm cache for both
  "$cli" ls "$img" --unfiltered > "$work/ls.txt" 2>/dev/null
  entries=$(wc -l < "$work/ls.txt")
  fls -r -p "$img" > /dev/null
  fls_time=$(best_of_three fls -r -p "$img")
  ls_time=$(best_of_three "$cli" ls "$img" --unfiltered)
  ls_kib=$(max_rss_kib "$cli" ls "$img" --unfiltered)
  fls_kib=$(max_rss_kib fls -r -p "$img")

  awk -v l="$ls_time" -v f="$fls_time" -v lk="$ls_kib" -v fk="$fls_kib" -v bk="$base_kib" \
      -v n="$entries" -v fl="$(cat "$build/bench-data/ntfs-$count.fls-count.txt")" 'BEGIN {
    ratio = l / f
    per = (lk - bk) * 1024 / n
    printf "fls -r -p\t%.3f s\t%d KiB peak RSS\t(%d lines)\n", f, fk, fl
    printf "ls --unfiltered\t%.3f s\t%d KiB peak RSS\t(%d entries)\n", l, lk, n
    printf "time ratio\t%.3f (ls / fls, limit 0.1)\n", ratio
    printf "memory\t%.1f bytes per entry above the base (limit 150)\n", per
    bad = 0
    if (ratio > 0.1) { print "ls over a tenth of fls time" > "/dev/stderr"; bad = 1 }
    if (per > 150) { print "ls over 150 bytes per entry" > "/dev/stderr"; bad = 1 }
    exit bad
  }' || status=1
done

[ $status = 0 ] && echo "within both limits"
exit $status
