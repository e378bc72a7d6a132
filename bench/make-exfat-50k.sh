#!/usr/bin/env bash
# Builds the exFAT benchmark volume: COUNT files (default 50000) in 110
# folders (10 top-level folders of 10 subfolders each, files in the
# subfolders), written by mkfs.exfat (4 KiB clusters) + exfat-fuse on a loop
# device. A third of the files are empty, most of the rest hold a few
# hundred bytes to a few KiB, one in eight is a photo, audio or video file
# (JPEG, PNG, MP3, WAV, MP4, MOV headers, in turn) of 2..8 KiB; every tenth
# file of a folder is appended to after the next one is written, so chained
# (fragmented) files are among them. Writes OUT.fls-count.txt with the
# number of lines `fls -r` prints, and checks that fls finds exactly the
# files of each extension that were written. Does nothing when OUT.img is
# newer than this script and was made for the same COUNT. Needs root.
#   bench/make-exfat-50k.sh OUT.img [COUNT]
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
fx_init exfat-50k
mkdir -p "$(dirname "$out")"

# 4 KiB clusters: a non-empty file takes one or two; plus the directories.
size_mib=$(( (count * 6 + 1023) / 1024 + 32 ))
img=$FX_WORK/exfat-50k.img
m=$FX_WORK/mnt
t0=$(date +%s.%N)
fx_blank "$img" $((size_mib * 1024 * 1024))
fx_loop "$img"
dev=$FX_DEV
mkfs.exfat -c 4K -L "LV Bench" "$dev" >/dev/null || fx_die "mkfs.exfat failed"
mkdir -p "$m"
mount.exfat-fuse "$dev" "$m" 2>/dev/null
FX_MOUNTS+=("$m")
FX_FUSE_PID[$m]=$(fx_fuse_pid "$m")
t1=$(date +%s.%N)

python3 - "$m" "$count" "$FX_WORK/written.txt" <<'PY'
import collections, os, random, sys
root, count, tally_path = sys.argv[1], int(sys.argv[2]), sys.argv[3]
tally = collections.Counter()
r = random.Random(50000)
pool = r.randbytes(1 << 20)
media = [
    (".jpg", b"\xff\xd8\xff\xe0\x00\x10JFIF\x00\x01\x01\x00\x00\x48\x00\x48\x00\x00", b"\xff\xd9"),
    (".png", b"\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR", b"\x00\x00\x00\x00IEND\xaeB`\x82"),
    (".mp3", b"ID3\x03\x00\x00\x00\x00\x00\x00\xff\xfb\x90\x64", b""),
    (".wav", b"RIFF\x00\x00\x00\x00WAVEfmt ", b""),
    (".mp4", b"\x00\x00\x00\x18ftypisom\x00\x00\x02\x00isomiso2", b""),
    (".mov", b"\x00\x00\x00\x14ftypqt  \x00\x00\x02\x00qt  ", b""),
]
others = [".txt", ".log", ".dat", ".cfg", ".xml", ".bin"]
folders = []
for a in range(10):
    for b in range(10):
        d = os.path.join(root, "dir%02d" % a, "sub%02d" % b)
        os.makedirs(d)
        folders.append(d)
O = os.O_WRONLY | os.O_CREAT | os.O_EXCL
pending = None  # a file appended to after the next one is written
for i in range(count):
    d = folders[i % len(folders)]
    kind = i % 24
    if kind < 8:                      # a third empty
        name, data = "empty%06d.txt" % i, b""
    elif kind < 21:                   # small: a few hundred bytes to a few KiB
        n = r.choice((r.randrange(100, 700), r.randrange(700, 6000)))
        off = r.randrange(0, len(pool) - n)
        name, data = "file%06d%s" % (i, others[i % len(others)]), pool[off:off + n]
    else:                             # media of 2..8 KiB
        ext, head, tail = media[((i // 24) * 3 + kind - 21) % len(media)]
        n = r.randrange(2048, 8192)
        off = r.randrange(0, len(pool) - n)
        name, data = "media%06d%s" % (i, ext), head + pool[off:off + n - len(head) - len(tail)] + tail
    path = os.path.join(d, name)
    fd = os.open(path, O, 0o644)
    if data:
        os.write(fd, data)
    os.close(fd)
    if pending:
        with open(pending, "ab") as f:
            f.write(pool[:4096])
        pending = None
    if data and i % 10 == 9:
        pending = path
    tally[os.path.splitext(name)[1]] += 1
with open(tally_path, "w") as f:
    for ext in sorted(tally):
        f.write("%s %d\n" % (ext, tally[ext]))
PY
t2=$(date +%s.%N)
used_mib=$(df -m --output=used "$m" | tail -1 | tr -d ' ')
fx_umount "$m"
fx_unloop "$dev"
t3=$(date +%s.%N)

fls -r "$img" > "$FX_WORK/fls.txt"
t4=$(date +%s.%N)
lines=$(wc -l < "$FX_WORK/fls.txt")
awk -F'\t' '$1 ~ /r\/r / { n = $2; if (n ~ /^(empty|file|media)[0-9]+\./) { sub(/^[^.]*/, "", n); c[n]++ } }
  END { for (e in c) print e, c[e] }' "$FX_WORK/fls.txt" | sort > "$FX_WORK/found.txt"
if ! cmp -s "$FX_WORK/written.txt" "$FX_WORK/found.txt"; then
  diff "$FX_WORK/written.txt" "$FX_WORK/found.txt" | sed 's/^/make-exfat-50k: written vs fls: /' >&2
  fx_die "fls does not find the files that were written"
fi
mv "$img" "$out"
echo "$lines" > "$base.fls-count.txt"
echo "count=$count" > "$params"
awk -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v e="$t4" -v n="$count" -v l="$lines" \
    -v u="$used_mib" -v s="$size_mib" 'BEGIN {
  printf "make-exfat-50k: %d files, %d fls lines, %d of %d MiB used; format+mount %.1f s, writing %.1f s (%.0f files/s), unmount %.1f s, fls %.1f s\n",
    n, l, u, s, b - a, c - b, n / (c - b), d - c, e - d }' >&2
