#include "fat/FatTable.h"

#include <algorithm>

namespace lv {

namespace {
// Bytes that hold the entries of clusters 0 .. limit - 1.
uint64_t EntryBytes(uint32_t limit, uint8_t bits) { return (uint64_t{limit} * bits + 7) / 8; }
}  // namespace

void FatTable::Clear() {
  view_ = nullptr;
  offset_ = bytes_ = 0;
  bits_ = 0;
  limit_ = 0;
  onDisk_ = false;
  memory_.clear();
  memory_.shrink_to_fit();
  cache_.clear();
  cachedBlock_.clear();
}

void FatTable::Load(const VolumeView& view, uint64_t offset, uint64_t bytes, uint8_t bits, uint32_t clusterCount) {
  Clear();
  view_ = &view;
  offset_ = offset;
  bits_ = bits;
  limit_ = clusterCount + 2;
  bytes_ = std::min(bytes, EntryBytes(limit_, bits));
  // What the source does not hold reads as free entries.
  const uint64_t available = view.AvailableBytes();
  const uint64_t present = available > offset ? std::min(bytes_, available - offset) : 0;
  memory_.assign(static_cast<size_t>(bytes_), 0);
  if (present > 0) view.ReadBatch(offset, memory_.data(), static_cast<size_t>(present));
}

void FatTable::UseDisk(const VolumeView& view, uint64_t offset, uint64_t bytes, uint8_t bits, uint32_t clusterCount) {
  Clear();
  view_ = &view;
  offset_ = offset;
  bits_ = bits;
  limit_ = clusterCount + 2;
  bytes_ = std::min(bytes, EntryBytes(limit_, bits));
  onDisk_ = true;
  cache_.resize(kCacheBlocks);
  cachedBlock_.assign(kCacheBlocks, UINT64_MAX);
}

const uint8_t* FatTable::BlockFor(uint64_t byteOffset) {
  const uint64_t block = byteOffset / kBlockBytes;
  const size_t slot = static_cast<size_t>(block % kCacheBlocks);
  if (!cache_[slot]) cache_[slot] = std::make_unique_for_overwrite<uint8_t[]>(kBlockBytes);
  uint8_t* data = cache_[slot].get();
  if (cachedBlock_[slot] != block) {
    // Entries are looked up below bytes_ only; bytes the source lacks read
    // as zeros.
    const uint64_t start = block * kBlockBytes;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kBlockBytes, bytes_ - start));
    view_->ReadBatch(offset_ + start, data, n);
    cachedBlock_[slot] = block;
  }
  return data + byteOffset % kBlockBytes;
}

uint32_t FatTable::Entry(uint32_t cluster) {
  if (cluster >= limit_ || bits_ == 0) return 0;
  const uint64_t at = uint64_t{cluster} * bits_ / 8;
  const uint64_t width = bits_ == 32 ? 4 : 2;
  if (width > bytes_ || at > bytes_ - width) return 0;
  const uint8_t* p = onDisk_ ? BlockFor(at) : memory_.data() + at;
  switch (bits_) {
    case 12: {
      const uint32_t v = p[0] | (uint32_t{p[1]} << 8);
      return cluster & 1 ? v >> 4 : v & 0x0FFF;
    }
    case 16: return p[0] | (uint32_t{p[1]} << 8);
    default: {
      const uint32_t v = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
      return v & 0x0FFFFFFF;  // the top four bits are reserved
    }
  }
}

uint32_t FatTable::Next(uint32_t cluster) {
  const uint32_t value = Entry(cluster);
  // The end-of-chain and bad-cluster values all lie at or above the limit:
  // the cluster counts are capped below them.
  return IsCluster(value) ? value : 0;
}

}  // namespace lv
