// Recognition of a FAT BIOS parameter block (the published FAT on-disk
// format, and the checks of Linux fs/fat):
// the FAT engines read their geometry from it, and the partition scans
// recognise a FAT volume by it, whatever its OEM name.
#pragma once

#include <cstdint>
#include <optional>

#include "common/ByteView.h"

namespace lv {

struct FatParameters {
  uint32_t bytesPerSector = 0;
  uint32_t sectorsPerCluster = 0;
  uint32_t reservedSectors = 0;
  uint32_t fatCount = 0;
  uint32_t rootEntries = 0;    // FAT12/16: entries of the fixed root directory
  uint32_t sectorsPerFat = 0;  // the 16-bit field, or FAT32's 32-bit one
  uint64_t totalSectors = 0;
  uint32_t rootCluster = 0;    // FAT32: first cluster of the root directory
  bool fat32Layout = false;    // the 16-bit sectors-per-FAT is 0
  uint8_t fatBits = 0;         // 12, 16 or 32

  // Derived byte positions inside the volume and sizes.
  uint64_t clusterBytes = 0;
  uint64_t tableOffset = 0;  // the first table
  uint64_t tableBytes = 0;   // one table
  uint64_t rootOffset = 0;   // FAT12/16: the fixed root directory
  uint64_t rootBytes = 0;
  uint64_t dataStart = 0;    // cluster 2
  // Data clusters: numbers 2 .. clusterCount + 1. The count the boot sector
  // gives, cut to what one table can describe.
  uint32_t clusterCount = 0;
};

// Recognises a FAT volume by its parameter block, whatever its OEM name:
// bytes per sector a power of two from 512 to 4096, sectors per cluster a
// power of two, reserved sectors > 0, one or two tables, a table length and
// a total size, and reserved area, tables and root directory inside the
// total. Every derived value is checked for overflow. nullopt otherwise.
std::optional<FatParameters> ReadFatParameters(ByteView boot);

}  // namespace lv
