// Small FAT12, FAT16 and FAT32 volumes built in memory for the engine tests:
// a parameter block (OEM name "LVTEST"), one table, a root directory, and
// slots and data written where a test wants them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lv::test {

class FatTestImage {
 public:
  static constexpr uint32_t kEnd = 0x0FFFFFFF;

  // bits 12, 16 or 32; 512-byte sectors and clusters of one sector.
  explicit FatTestImage(int bits, uint32_t clusters = 0)
      : bits_(bits),
        clusters_(clusters ? clusters : bits == 16 ? 4100 : 300),
        reserved_(bits == 32 ? 32 : 1),
        rootEntries_(bits == 32 ? 0 : 64),
        fatSectors_(static_cast<uint32_t>(((uint64_t{clusters_} + 2) * bits / 8 + 511) / 512)) {
    const uint32_t total = reserved_ + fatSectors_ + rootEntries_ / 16 + clusters_;
    bytes.assign(size_t{total} * 512, 0);
    std::memcpy(bytes.data(), "\xEB\x3C\x90LVTEST  ", 11);
    Put16(11, 512);
    bytes[13] = 1;
    Put16(14, static_cast<uint16_t>(reserved_));
    bytes[16] = 1;
    Put16(17, static_cast<uint16_t>(rootEntries_));
    bytes[21] = 0xF8;
    if (total < 65536) Put16(19, static_cast<uint16_t>(total));
    else Put32(32, total);
    if (bits == 32) {
      Put32(36, fatSectors_);
      Put32(44, 2);  // root cluster
      SetFat(2, kEnd);
    } else {
      Put16(22, static_cast<uint16_t>(fatSectors_));
    }
    bytes[510] = 0x55, bytes[511] = 0xAA;
  }

  size_t TableOffset() const { return size_t{reserved_} * 512; }
  size_t RootOffset() const { return bits_ == 32 ? Cluster(2) : TableOffset() + size_t{fatSectors_} * 512; }
  size_t Cluster(uint32_t c) const { return (size_t{reserved_} + fatSectors_ + rootEntries_ / 16 + c - 2) * 512; }

  void SetFat(uint32_t cluster, uint32_t value) {
    if (bits_ == 16) return Put16(TableOffset() + 2 * cluster, static_cast<uint16_t>(value));
    if (bits_ == 32) return Put32(TableOffset() + 4 * cluster, value);
    uint8_t* p = bytes.data() + TableOffset() + cluster * 3 / 2;
    const uint16_t v = static_cast<uint16_t>(value & 0xFFF), old = static_cast<uint16_t>(p[0] | p[1] << 8);
    const uint16_t both = cluster & 1 ? static_cast<uint16_t>((old & 0x000F) | v << 4) : static_cast<uint16_t>((old & 0xF000) | v);
    p[0] = static_cast<uint8_t>(both), p[1] = static_cast<uint8_t>(both >> 8);
  }
  // Links the clusters in order and ends the chain.
  void Chain(const std::vector<uint32_t>& clusters) {
    for (size_t i = 0; i < clusters.size(); ++i) SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : kEnd);
  }

  // A short entry at `offset`, with one date and time for all its stamps.
  void Slot(size_t offset, const std::string& name11, uint8_t attributes, uint32_t cluster, uint32_t size,
            uint16_t date = 0x5021, uint16_t time = 0x7000) {
    std::memset(&bytes[offset], ' ', 11);
    std::memcpy(&bytes[offset], name11.data(), std::min<size_t>(11, name11.size()));
    bytes[offset + 11] = attributes;
    for (size_t at : {14, 22}) Put16(offset + at, time);
    for (size_t at : {16, 18, 24}) Put16(offset + at, date);
    Put16(offset + 20, static_cast<uint16_t>(cluster >> 16));
    Put16(offset + 26, static_cast<uint16_t>(cluster));
    Put32(offset + 28, size);
  }
  // The long-name slots of `name` for the short entry name11 from `offset`
  // on; the offset of the short entry that follows them.
  size_t LongSlots(size_t offset, const std::u16string& name, const std::string& name11, bool deleted,
                   int checksumDelta) {
    uint8_t sum = 0;
    for (char c : name11) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + static_cast<uint8_t>(c));
    const size_t count = (name.size() + 12) / 13;
    for (size_t k = count; k-- > 0; offset += 32) {
      bytes[offset] = deleted ? 0xE5 : static_cast<uint8_t>((k + 1) | (k + 1 == count ? 0x40 : 0));
      bytes[offset + 11] = 0x0F;
      bytes[offset + 13] = static_cast<uint8_t>(sum + checksumDelta);
      static constexpr size_t kAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
      for (size_t i = 0, at = k * 13; i < 13; ++i, ++at)
        Put16(offset + kAt[i], at < name.size() ? name[at] : at == name.size() ? 0 : 0xFFFF);
    }
    return offset;
  }
  // "." and ".." at the start of a folder's cluster.
  void DotSlots(uint32_t cluster, uint32_t parent) {
    Slot(Cluster(cluster), ".", 0x10, cluster, 0);
    Slot(Cluster(cluster) + 32, "..", 0x10, parent, 0);
  }
  void Fill(uint32_t cluster, uint8_t value) { std::memset(&bytes[Cluster(cluster)], value, 512); }

  void Put16(size_t at, uint16_t v) { bytes[at] = static_cast<uint8_t>(v), bytes[at + 1] = static_cast<uint8_t>(v >> 8); }
  void Put32(size_t at, uint32_t v) { Put16(at, static_cast<uint16_t>(v)), Put16(at + 2, static_cast<uint16_t>(v >> 16)); }

  std::vector<uint8_t> bytes;

 private:
  int bits_;
  uint32_t clusters_, reserved_, rootEntries_, fatSectors_;
};

}  // namespace lv::test
