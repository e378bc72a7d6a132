#!/usr/bin/env bash
# Builds the FAT32 benchmark volume: COUNT files (default 50000) in folders
# of 1000 (DCIM/100CANON, DCIM/101CANON, ...), as a camera card holds them,
# written by mkfs.fat (4 KiB clusters) + mtools. Every name is a long one
# (IMG_00001_holiday.jpg: two long-name slots and the short entry), so each
# folder's entries fill 24 clusters; files hold 200..3000 bytes (one
# cluster); one file in ten is deleted afterwards. Writes OUT.fls-count.txt
# with the number of lines `fls -r` prints for the volume, and checks that
# fls finds the files that were written. Does nothing when OUT.img is newer
# than this script and was made for the same COUNT. Needs root.
#   bench/make-fat32-50k.sh OUT.img [COUNT]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 OUT.img [COUNT]" >&2; exit 2; }
out=$(realpath -m "$1")
count=${2:-50000}
[[ "$count" =~ ^[0-9]+$ ]] && [ "$count" -gt 0 ] || { echo "$0: COUNT must be a positive number" >&2; exit 2; }
script=$(realpath "$0")
base=${out%.img}
params="$base.params"
if [ -e "$out" ] && [ "$out" -nt "$script" ] && [ -e "$base.fls-count.txt" ] &&
   [ "$(cat "$params" 2>/dev/null)" = "count=$count" ]; then
  echo "$out is up to date ($(cat "$base.fls-count.txt") fls lines)" >&2
  exit 0
fi

top=$(cd "$(dirname "$script")/.." && pwd)
source "$top/tests/fixtures/lib.sh"
fx_init fat32-50k
mkdir -p "$(dirname "$out")"

# 4 KiB a file and 1 MiB of entries per 1000 files, plus room: at least
# 65,525 clusters, so that every reader takes the volume for FAT32.
size_mib=$(( count * 5 / 1024 + 64 ))
[ "$size_mib" -ge 300 ] || size_mib=300
img=$FX_WORK/fat32-50k.img
s=$FX_WORK/stage
t0=$(date +%s.%N)
python3 - "$s" "$count" <<'PY'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
r = random.Random(50000)
pool = r.randbytes(1 << 16)
for i in range(count):
    d = os.path.join(root, "DCIM", "%03dCANON" % (100 + i // 1000))
    os.makedirs(d, exist_ok=True)
    n = r.randrange(200, 3000)
    off = r.randrange(0, len(pool) - n)
    with open(os.path.join(d, "IMG_%05d_holiday.jpg" % i), "wb") as f:
        f.write(b"\xff\xd8\xff\xe0" + pool[off:off + n])
PY
fx_blank "$img" $((size_mib * 1024 * 1024))
fx_mkfat "$img" 4C563250 "LV BENCH" -F 32 -s 8
t1=$(date +%s.%N)
fx_fat_put "$img" "$s"
patterns=()
for d in $(cd "$s/DCIM" && ls); do patterns+=("::/DCIM/$d/IMG_????0_holiday.jpg"); done
fx_fat_del "$img" "${patterns[@]}"
t2=$(date +%s.%N)

fls -r "$img" > "$FX_WORK/fls.txt"
t3=$(date +%s.%N)
lines=$(wc -l < "$FX_WORK/fls.txt")
fls -r -p "$img" > "$FX_WORK/fls-p.txt"
live=$(grep -cE $'^r/r [0-9]+:\tDCIM/[0-9]{3}CANON/IMG_' "$FX_WORK/fls-p.txt" || true)
deleted=$(grep -cE $'^r/r \\* [0-9]+:\tDCIM/[0-9]{3}CANON/IMG_' "$FX_WORK/fls-p.txt" || true)
expected_deleted=$(( (count + 9) / 10 ))
if [ "$live" -ne $((count - expected_deleted)) ] || [ "$deleted" -ne "$expected_deleted" ]; then
  fx_die "fls finds $live live and $deleted deleted files, expected $((count - expected_deleted)) and $expected_deleted"
fi
mv "$img" "$out"
echo "$lines" > "$base.fls-count.txt"
echo "count=$count" > "$params"
awk -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v n="$count" -v l="$lines" -v s="$size_mib" 'BEGIN {
  printf "make-fat32-50k: %d files in a %d MiB volume, %d fls lines; staging+format %.1f s, mtools %.1f s, fls %.1f s\n",
    n, s, l, b - a, c - b, d - c }' >&2
