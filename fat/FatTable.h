// The file allocation table: entries of 12, 16 or 32 bits (of which FAT32
// uses the low 28), read either whole into memory (FAT12/16 tables are at
// most 128 KiB of useful entries) or looked up on the disk through a small
// block cache (a FAT32 table may hold hundreds of megabytes).
//
// Values 0 and 1, the bad-cluster mark, the end-of-chain range (0xFF8..0xFFF,
// 0xFFF8..0xFFFF, 0x0FFFFFF8..0x0FFFFFFF) and every cluster number beyond the
// volume end a chain.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "disk/VolumeView.h"

namespace lv {

class FatTable {
 public:
  // The table at `offset` of `bytes` bytes, with `bits` per entry, for
  // clusters 2 .. clusterCount + 1. In memory: only the entries that name a
  // cluster are read, and no more than the source holds.
  void Load(const VolumeView& view, uint64_t offset, uint64_t bytes, uint8_t bits, uint32_t clusterCount);
  // On the disk: entries are read when looked up.
  void UseDisk(const VolumeView& view, uint64_t offset, uint64_t bytes, uint8_t bits, uint32_t clusterCount);
  void Clear();

  bool Loaded() const { return bits_ != 0; }
  uint8_t Bits() const { return bits_; }
  // One past the highest cluster number: valid clusters are 2 .. Limit() - 1.
  uint32_t Limit() const { return limit_; }
  bool IsCluster(uint64_t cluster) const { return cluster >= 2 && cluster < limit_; }

  // The entry of a cluster (FAT32: its low 28 bits); 0 for a cluster outside
  // the table.
  uint32_t Entry(uint32_t cluster);
  // The cluster that follows in a chain, or 0 where the chain ends.
  uint32_t Next(uint32_t cluster);
  // A free cluster: its entry is 0.
  bool IsFree(uint32_t cluster) { return IsCluster(cluster) && Entry(cluster) == 0; }

 private:
  static constexpr uint32_t kBlockBytes = 65536;
  static constexpr size_t kCacheBlocks = 32;
  const uint8_t* BlockFor(uint64_t byteOffset);

  const VolumeView* view_ = nullptr;
  uint64_t offset_ = 0, bytes_ = 0;
  uint8_t bits_ = 0;
  uint32_t limit_ = 0;
  bool onDisk_ = false;
  std::vector<uint8_t> memory_;
  // Direct-mapped cache of table blocks read from the disk, each allocated
  // when first needed.
  std::vector<std::unique_ptr<uint8_t[]>> cache_;
  std::vector<uint64_t> cachedBlock_;
};

}  // namespace lv
