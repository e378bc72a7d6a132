#!/usr/bin/env bash
# The advanced volume scan of a 4 GiB image with two volumes, page cache
# warm, next to a plain sequential read of the same file through the reader
# in the same run (goal: at least 90% of it).
#   bench/run-advanced-scan-bench.sh [BUILD_DIR]
# The image is pseudo-random data (so sectors begin with every byte value)
# with the NTFS volume of the mbr-mixed fixture at sector 2048 and its FAT32
# volume at 3 GiB.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
data="$top/bench-data"
image="$data/advanced-4g.img"
mixed="$build/fixtures/mbr-mixed.img"
mkdir -p "$data"
cmake --build "$build" --target advanced_scan_throughput unpack_fixtures -j2 >/dev/null
if [ ! -s "$image" ] || [ "$(stat -c %s "$image")" -ne $((4 << 30)) ]; then
  echo "creating $image" >&2
  python3 - "$image.tmp" <<'PY'
import random, sys
block = random.Random(13).randbytes(16 << 20)
with open(sys.argv[1], "wb") as f:
    for _ in range((4 << 30) // len(block)):
        f.write(block)
PY
  dd if="$mixed" of="$image.tmp" bs=512 skip=20480 seek=2048 count=24576 conv=notrunc status=none
  dd if="$mixed" of="$image.tmp" bs=512 skip=2048 seek=$((3 << 21)) count=16384 conv=notrunc status=none
  mv "$image.tmp" "$image"
fi
cat "$image" > /dev/null  # warm the page cache

read -r read_mibs scan_mibs rows < <("$build/bench/advanced_scan_throughput" "$image" 5)
ratio=$(awk -v s="$scan_mibs" -v r="$read_mibs" 'BEGIN { printf "%.1f", 100 * s / r }')
echo "best of 5: read $read_mibs MiB/s, advanced scan $scan_mibs MiB/s ($rows rows), scan/read = $ratio% (goal >= 90%)"
awk -v x="$ratio" 'BEGIN { exit (x >= 90) ? 0 : 1 }'
