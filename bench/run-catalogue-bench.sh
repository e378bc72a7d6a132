#!/usr/bin/env bash
# The catalogue's two figures on one NTFS volume image, from one run:
#  1. the whole scan job to a filled, filtered tree, against the engine's own
#     steps (limit: 1.5 times);
#  2. lumenvault-cli save --unfiltered of every file, against tsk_recover -a
#     on the same image (limit: not slower).
# usage: bench/run-catalogue-bench.sh BUILD_FOLDER [IMAGE]
# Without IMAGE, the 100,000-file volume of make-ntfs-100k.sh is built (once)
# in BUILD_FOLDER/bench-data.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-catalogue-bench.sh BUILD_FOLDER [IMAGE]}" && pwd)
img=${2:-}
if [ -z "$img" ]; then
  img=$build/bench-data/ntfs-100k.img
  if [ ! -e "$img" ]; then
    mkdir -p "$build/bench-data"
    bash "$here/make-ntfs-100k.sh" "$img"
  fi
fi
cli=$build/lumenvault-cli
scan=$build/bench/catalogue_scan
[ -x "$scan" ] || { echo "build catalogue_scan first" >&2; exit 2; }
command -v tsk_recover >/dev/null || { echo "tsk_recover (sleuthkit) is needed" >&2; exit 2; }

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
trap 'rm -rf "$work"' EXIT
# Best wall time of three runs of a command writing into a fresh folder.
best_of_three() {
  local best="" t
  for _ in 1 2 3; do
    rm -rf "$work/out" && mkdir "$work/out"
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    t=$(echo "$end - $start" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}
echo "== save --unfiltered against tsk_recover -a"
cat "$img" >/dev/null  # both start from a warm cache
save=$(best_of_three "$cli" save "$img" --unfiltered --out "$work/out")
saved=$("$cli" save "$img" --unfiltered --out "$work/out" 2>/dev/null | wc -l)
tsk=$(best_of_three tsk_recover -a "$img" "$work/out")
recovered=$(find "$work/out" -type f | wc -l)
printf 'save seconds\t%.3f\t(%s files)\ntsk_recover seconds\t%.3f\t(%s files)\n' "$save" "$saved" "$tsk" "$recovered"

status=0
if [ "$(echo "$ratio > 1.5" | bc)" = 1 ]; then echo "scan job over 1.5 times the engine" >&2; status=1; fi
if [ "$(echo "$save > $tsk" | bc)" = 1 ]; then echo "save slower than tsk_recover" >&2; status=1; fi
[ $status = 0 ] && echo "within both limits"
exit $status
