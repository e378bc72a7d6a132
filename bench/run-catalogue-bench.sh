#!/usr/bin/env bash
# The catalogue's figures on one NTFS volume image, from one run:
#  1. the whole scan job to a filled, filtered tree, against the engine's own
#     steps (limit: 1.5 times);
#  2. lumenvault-cli save --unfiltered of every file, against tsk_recover -a
#     on the same image, each run writing into a freshly made file system.
#     Limits: save's wall time at most 0.6 times tsk_recover's, and save's
#     user CPU time at most tsk_recover's.
# usage: bench/run-catalogue-bench.sh BUILD_FOLDER [IMAGE]
# Without IMAGE, the 100,000-file volume of make-ntfs-100k.sh is built (once)
# in BUILD_FOLDER/bench-data.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-catalogue-bench.sh BUILD_FOLDER [IMAGE]}" && pwd)
img=${2:-}
if [ -z "$img" ]; then
  img=$build/bench-data/ntfs-100k.img
  mkdir -p "$build/bench-data"
  bash "$here/make-ntfs-100k.sh" "$img"
fi
cli=$build/lumenvault-cli
scan=$build/bench/catalogue_scan
[ -x "$scan" ] || { echo "build catalogue_scan first" >&2; exit 2; }
command -v tsk_recover >/dev/null || { echo "tsk_recover (sleuthkit) is needed" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time (package time) is needed: scripts/setup" >&2; exit 2; }
command -v mkfs.ext4 >/dev/null || { echo "mkfs.ext4 (e2fsprogs) is needed" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "needs root (loop mounts of the output file systems)" >&2; exit 2; }

echo "== scan job against the engine ($img)"
scan_out=$("$scan" "$img" 15)
echo "$scan_out"
job=$(awk -F'\t' '$1=="scan job seconds"{print $2}' <<<"$scan_out")
ratio=$(awk -F'\t' '$1=="ratio"{print $2}' <<<"$scan_out")
# The engine's own benchmark, when built, is the reference time.
if [ -x "$build/bench/ntfs_scan" ]; then
  engine_out=$("$build/bench/ntfs_scan" "$img" 15)
  engine=$(awk -F'\t' '$1=="seconds"{print $2}' <<<"$engine_out")
  ratio=$(echo "scale=3; $job / $engine" | bc)
  printf 'ntfs_scan seconds\t%s\nscan job / ntfs_scan\t%s\n' "$engine" "$ratio"
fi


work=$(mktemp -d "${TMPDIR:-/tmp}/lv-catalogue-bench-XXXXXX")
mnt=$work/mnt
mkdir "$mnt"
cleanup() {
  if mountpoint -q "$mnt"; then umount "$mnt"; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Each timed run writes into a new ext4 on a loop-mounted image file, not
# into a tmpfs: creating a file on tmpfs costs next to nothing, while the
# inodes, extents, directory blocks and journal of an on-disk file system
# are what saving costs in use. A new file system per run spares every run
# the leftovers of the one before (directories to replace, a fuller inode
# table). One inode per 4 KiB and twice the image's size plus 256 MiB leave
# room for every file of the image; the inode tables are left to be
# initialised lazily, and noinit_itable keeps the kernel from doing that in
# the background while a run is timed.
fs_bytes=$(( $(stat -c %s "$img") * 2 + (256 << 20) ))
fresh_fs() {
  if mountpoint -q "$mnt"; then umount "$mnt"; fi
  rm -f "$work/out.ext4"
  truncate -s "$fs_bytes" "$work/out.ext4"
  mkfs.ext4 -q -F -i 4096 "$work/out.ext4"
  mount -o loop,noinit_itable "$work/out.ext4" "$mnt"
  mkdir "$mnt/out"
}
# Three runs of a command writing into $mnt/out of a fresh file system.
# Prints the best of each of wall, user and system seconds, and the number
# of files the last run wrote.
best_of_three() {
  local best_e="" best_u="" best_s="" e u s
  for _ in 1 2 3; do
    fresh_fs
    /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>&1
    read -r e u s < <(tail -1 "$work/time")
    best_e=$(awk -v a="$e" -v b="$best_e" 'BEGIN { print (b == "" || a < b) ? a : b }')
    best_u=$(awk -v a="$u" -v b="$best_u" 'BEGIN { print (b == "" || a < b) ? a : b }')
    best_s=$(awk -v a="$s" -v b="$best_s" 'BEGIN { print (b == "" || a < b) ? a : b }')
  done
  echo "$best_e $best_u $best_s $(find "$mnt/out" -type f | wc -l)"
  umount "$mnt"
}
echo "== save --unfiltered against tsk_recover -a, each run into a new ext4"
cat "$img" >/dev/null  # both start from a warm cache
read -r save save_user save_sys saved < <(best_of_three "$cli" save "$img" --unfiltered --out "$mnt/out")
read -r tsk tsk_user tsk_sys recovered < <(best_of_three tsk_recover -a "$img" "$mnt/out")
# The file counts differ: tsk_recover writes no file for an empty one.
printf 'save\t%.2f s wall\t%.2f s user\t%.2f s system\t(%s files)\n' "$save" "$save_user" "$save_sys" "$saved"
printf 'tsk_recover\t%.2f s wall\t%.2f s user\t%.2f s system\t(%s files)\n' "$tsk" "$tsk_user" "$tsk_sys" "$recovered"
wall_ratio=$(awk -v a="$save" -v b="$tsk" 'BEGIN { printf "%.3f", a / b }')
user_ratio=$(awk -v a="$save_user" -v b="$tsk_user" 'BEGIN { printf "%.3f", (b > 0) ? a / b : ((a > 0) ? 999 : 0) }')
printf 'wall ratio\t%s (save / tsk_recover, limit 0.6)\n' "$wall_ratio"
printf 'user CPU ratio\t%s (save / tsk_recover, limit 1)\n' "$user_ratio"

status=0
if [ "$(echo "$ratio > 1.5" | bc)" = 1 ]; then echo "scan job over 1.5 times the engine" >&2; status=1; fi
if [ "$(echo "$wall_ratio > 0.6" | bc)" = 1 ]; then echo "save over 0.6 times tsk_recover's wall time" >&2; status=1; fi
if [ "$(echo "$save_user > $tsk_user" | bc)" = 1 ]; then echo "save takes more user CPU than tsk_recover" >&2; status=1; fi
[ $status = 0 ] && echo "within all limits"
exit $status
