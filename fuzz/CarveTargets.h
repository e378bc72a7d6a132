// Entry points of the carving fuzz targets (see FuzzTargets.h for how they
// are run). Each returns normally or aborts on a broken invariant.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lv::fuzz {

// The input as a settings file, read as a user file and as the default
// file: every rule it yields fits the record format and the engine's limits.
void CarveSettings(const uint8_t* data, size_t size);

// Bytes 0-1 (little-endian) give the length of a settings file that follows;
// the rest is written across the boundary of the first two 1 MiB chunks of a
// range of 1 MiB + 64 KiB plus the rest's length, which is carved in full (with a few
// built-in rules when the settings are refused). Every item must lie in the
// range, start on a sector and come back whole from its copy.
void CarveRun(const uint8_t* data, size_t size);

}  // namespace lv::fuzz
