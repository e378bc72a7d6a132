#!/usr/bin/env bash
# Builds the ext4 benchmark volume: COUNT files (default 50000) in 110
# folders (10 top-level folders of 10 subfolders each, files in the
# subfolders), staged in a temporary folder and written by mkfs.ext4 -d
# with today's defaults (4 KiB blocks, extents, 64bit, flex_bg). A third of
# the files are empty, the rest hold a few hundred bytes to a few KiB.
# Writes OUT.fls-count.txt with the number of lines `fls -r` prints. Does
# nothing when OUT.img is newer than this script and was made for the same
# COUNT.
#   bench/make-ext4-50k.sh OUT.img [COUNT]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 OUT.img [COUNT]" >&2; exit 2; }
out=$(realpath -m "$1")
count=${2:-50000}
[[ "$count" =~ ^[0-9]+$ ]] && [ "$count" -gt 0 ] || { echo "$0: COUNT must be a positive number" >&2; exit 2; }
script=$(realpath "$0")
base=${out%.img}
if [ -e "$out" ] && [ "$out" -nt "$script" ] && [ -e "$base.fls-count.txt" ] &&
   [ "$(cat "$base.params" 2>/dev/null)" = "count=$count" ]; then
  echo "$out is up to date ($(cat "$base.fls-count.txt") fls lines)" >&2
  exit 0
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/lv-ext4-50k.XXXXXX")
trap 'rm -rf "$work"' EXIT
python3 - "$work/stage" "$count" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
r = random.Random(50000)
pool = r.randbytes(1 << 20)
folders = []
for a in range(10):
    for b in range(10):
        d = os.path.join(root, "dir%02d" % a, "sub%02d" % b)
        os.makedirs(d)
        folders.append(d)
exts = [".jpg", ".mp3", ".mp4", ".txt", ".dat", ".png"]
for i in range(count):
    d = folders[i % len(folders)]
    n = 0 if i % 3 == 0 else r.randrange(100, 6000)
    off = r.randrange(0, len(pool) - n)
    with open(os.path.join(d, "file%06d%s" % (i, exts[i % len(exts)])), "wb") as f:
        f.write(pool[off:off + n])
PY
size_mib=$(( count * 6 / 1024 + 64 ))
rm -f "$work/ext4.img"
truncate -s "${size_mib}M" "$work/ext4.img"
mkfs.ext4 -q -F -N $((count + 1000)) -d "$work/stage" "$work/ext4.img" || { echo "mkfs.ext4 failed" >&2; exit 1; }
mkdir -p "$(dirname "$out")"
mv "$work/ext4.img" "$out"
fls -r "$out" | wc -l > "$base.fls-count.txt"
echo "count=$count" > "$base.params"
echo "make-ext4-50k: $count files, $(cat "$base.fls-count.txt") fls lines, $size_mib MiB" >&2
