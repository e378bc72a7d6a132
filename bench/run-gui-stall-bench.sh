#!/usr/bin/env bash
# The interface thread during a scan of the 100,000-file NTFS volume: the
# worst stall of the event loop must stay at or below 100 ms, during the
# scan and while the largest folder fills the list.
# usage: bench/run-gui-stall-bench.sh BUILD_FOLDER [IMAGE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: run-gui-stall-bench.sh BUILD_FOLDER [IMAGE]}" && pwd)
img=${2:-}
if [ -z "$img" ]; then
  img=$build/bench-data/ntfs-100k.img
  mkdir -p "$build/bench-data"
  bash "$here/make-ntfs-100k.sh" "$img"
fi
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/tests/pages/lumenvault_stall_bench" "$img" 100
