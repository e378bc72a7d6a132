// Entry point of the advanced volume scan's fuzz target (see FuzzTargets.h
// for how the entry points are run). Returns normally or aborts on a broken
// invariant.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lv::fuzz {

// A 2 MiB + 8 KiB in-memory range of zeros (two whole 1 MiB blocks and a
// short last one) with sectors written by the input, scanned by the
// advanced scan. Byte 0: bit 0 clears skipVolumeSize, bits 1-2 pick the
// custom start (0, 1, 2047 or 2048), bit 3 sets a custom end at sector 100,
// bits 4-5 stop the scan after that many rows (0: never). Then chunks of a
// 16-bit little-endian sector number (modulo the range's sectors) and up to
// 512 bytes written there. Every row must start inside the range, be
// numbered in order and reach the page once; the scan must return 1.
void AdvancedScan(const uint8_t* data, size_t size);

}  // namespace lv::fuzz
