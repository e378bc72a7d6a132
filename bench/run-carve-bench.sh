#!/usr/bin/env bash
# Carving throughput on a 2 GiB card-like image, page cache warm: the carve
# with the default settings next to a plain sequential read of the same
# file through the reader, in the same run (goal: at least 90% of it), and
# photorec's time on the same image.
#   bench/run-carve-bench.sh [BUILD_DIR]
# The image repeats one large JPEG (pending through all its data), the 50
# JPEGs of the public camera-card dump and 2 MiB of pseudo-random data.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
data="$top/bench-data"
image="$data/carve-2g.img"
card="$top/../shared/testdata/public/carving/cs50-card.raw"
[ -e "$card" ] || card=/work/shared/testdata/public/carving/cs50-card.raw
mkdir -p "$data"
if [ ! -s "$image" ] || [ "$(stat -c %s "$image")" -ne $((2 << 30)) ]; then
  echo "creating $image" >&2
  convert -seed 5 -size 2400x1800 plasma:fractal -quality 97 "$data/big.jpg"
  python3 - "$data/big.jpg" "$card" "$image.tmp" <<'PY'
import random, sys
big, card, out = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read(), sys.argv[3]
noise = random.Random(9).randbytes(2 << 20)
def pad(b): return b + bytes(-len(b) % 512)
block = pad(big) + pad(card) + noise
size, written = 2 << 30, 0
with open(out, "wb") as f:
    while written < size:
        piece = block[:size - written]
        f.write(piece)
        written += len(piece)
PY
  mv "$image.tmp" "$image"
fi
cmake --build "$build" --target carve_throughput file_setting -j2 >/dev/null
cat "$image" > /dev/null  # warm the page cache

read -r read_mibs carve_mibs items < <("$build/bench/carve_throughput" "$image" "$build/FileSetting.txt" 3)
ratio=$(awk -v c="$carve_mibs" -v r="$read_mibs" 'BEGIN { printf "%.1f", 100 * c / r }')
echo "best of 3: read $read_mibs MiB/s, carve $carve_mibs MiB/s ($items items), carve/read = $ratio% (goal >= 90%)"

out=$(mktemp -d "$data/photorec.XXXXXX")
start=$(date +%s.%N)
photorec /d "$out/recup" /cmd "$image" partition_none,fileopt,everything,enable,search >/dev/null 2>&1 || true
end=$(date +%s.%N)
found=$(find "$out" -type f -name 'f*' | wc -l)
rm -rf "$out"
awk -v s="$start" -v e="$end" -v n="$found" -v c="$carve_mibs" 'BEGIN {
  t = e - s; printf "photorec: %.1f s for 2048 MiB (%.1f MiB/s, %d files written); carve alone: %.1f s\n", t, 2048 / t, n, 2048 / c }'
awk -v x="$ratio" 'BEGIN { exit (x >= 90) ? 0 : 1 }'
