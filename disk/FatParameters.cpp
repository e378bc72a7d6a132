#include "disk/FatParameters.h"

#include <algorithm>

namespace lv {

namespace {

// Parameter block offsets (the FAT12/16 block; FAT32 extends it at 0x24).
constexpr size_t kBytesPerSector = 0x0B;
constexpr size_t kSectorsPerCluster = 0x0D;
constexpr size_t kReservedSectors = 0x0E;
constexpr size_t kFatCount = 0x10;
constexpr size_t kRootEntries = 0x11;
constexpr size_t kTotalSectors16 = 0x13;
constexpr size_t kSectorsPerFat16 = 0x16;
constexpr size_t kTotalSectors32 = 0x20;
constexpr size_t kSectorsPerFat32 = 0x24;
constexpr size_t kRootCluster = 0x2C;

// Largest data cluster counts: FAT12 and FAT16 keep the top values of their
// entries for bad-cluster and end-of-chain marks; FAT32 entries have 28 bits.
constexpr uint32_t kMaxClusters12 = 0xFF4;
constexpr uint32_t kMaxClusters16 = 0xFFF4;
constexpr uint32_t kMaxClusters32 = 0x0FFFFFF5;
// Fewer clusters than this make a FAT12 volume.
constexpr uint32_t kFat16MinClusters = 4085;

bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

}  // namespace

std::optional<FatParameters> ReadFatParameters(ByteView boot) {
  if (!boot.Fits(0, 512)) return std::nullopt;
  FatParameters p;
  p.bytesPerSector = boot.Le16(kBytesPerSector);
  p.sectorsPerCluster = boot.U8(kSectorsPerCluster);
  p.reservedSectors = boot.Le16(kReservedSectors);
  p.fatCount = boot.U8(kFatCount);
  p.rootEntries = boot.Le16(kRootEntries);
  const uint32_t fat16Length = boot.Le16(kSectorsPerFat16);
  p.fat32Layout = fat16Length == 0;
  p.sectorsPerFat = p.fat32Layout ? boot.Le32(kSectorsPerFat32) : fat16Length;
  p.totalSectors = boot.Le16(kTotalSectors16);
  if (p.totalSectors == 0) p.totalSectors = boot.Le32(kTotalSectors32);

  if (p.bytesPerSector < 512 || p.bytesPerSector > 4096 || !IsPowerOfTwo(p.bytesPerSector)) return std::nullopt;
  if (!IsPowerOfTwo(p.sectorsPerCluster) || p.reservedSectors == 0) return std::nullopt;
  if (p.fatCount < 1 || p.fatCount > 2 || p.sectorsPerFat == 0 || p.totalSectors == 0) return std::nullopt;
  if (!p.fat32Layout && p.rootEntries == 0) return std::nullopt;

  // Sectors before the data area; every value here is below 2^40.
  const uint64_t rootSectors = p.fat32Layout ? 0 : (uint64_t{p.rootEntries} * 32 + p.bytesPerSector - 1) / p.bytesPerSector;
  const uint64_t tableSectors = uint64_t{p.fatCount} * p.sectorsPerFat;
  const uint64_t metaSectors = p.reservedSectors + tableSectors + rootSectors;
  if (metaSectors >= p.totalSectors) return std::nullopt;

  p.clusterBytes = uint64_t{p.bytesPerSector} * p.sectorsPerCluster;
  p.tableOffset = uint64_t{p.reservedSectors} * p.bytesPerSector;
  p.tableBytes = uint64_t{p.sectorsPerFat} * p.bytesPerSector;
  p.rootOffset = (p.reservedSectors + tableSectors) * p.bytesPerSector;
  p.rootBytes = p.fat32Layout ? 0 : uint64_t{p.rootEntries} * 32;
  p.dataStart = metaSectors * p.bytesPerSector;

  const uint64_t clusters = (p.totalSectors - metaSectors) / p.sectorsPerCluster;
  uint64_t maxClusters;
  if (p.fat32Layout) {
    p.fatBits = 32;
    maxClusters = kMaxClusters32;
  } else if (clusters < kFat16MinClusters) {
    p.fatBits = 12;
    maxClusters = kMaxClusters12;
  } else {
    p.fatBits = 16;
    maxClusters = kMaxClusters16;
  }
  // Entries 0 and 1 of a table are reserved.
  const uint64_t tableEntries = p.tableBytes * 8 / p.fatBits;
  const uint64_t describable = tableEntries > 2 ? tableEntries - 2 : 0;
  p.clusterCount = static_cast<uint32_t>(std::min({clusters, describable, maxClusters}));
  if (p.clusterCount == 0) return std::nullopt;
  p.rootCluster = p.fat32Layout ? boot.Le32(kRootCluster) : 0;
  return p;
}

}  // namespace lv
