// Small FAT12, FAT16 and FAT32 volumes built in memory for the engine tests:
// a parameter block (OEM name "LVTEST"), one table, a root directory and
// directory slots and data written where a test wants them.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lv::test {

class FatTestImage {
 public:
  // bits 12, 16 or 32; 512-byte sectors and clusters of one sector.
  explicit FatTestImage(int bits, uint32_t clusters = 0) : bits_(bits) {
    clusters_ = clusters ? clusters : bits == 16 ? 4100 : 300;
    reserved_ = bits == 32 ? 32 : 1;
    rootEntries_ = bits == 32 ? 0 : 64;
    fatSectors_ = static_cast<uint32_t>(((uint64_t{clusters_} + 2) * bits / 8 + 511) / 512);
    const uint32_t rootSectors = rootEntries_ * 32 / 512;
    const uint32_t total = reserved_ + fatSectors_ + rootSectors + clusters_;
    bytes.assign(size_t{total} * 512, 0);
    uint8_t* b = bytes.data();
    b[0] = 0xEB, b[1] = 0x3C, b[2] = 0x90;
    std::memcpy(b + 3, "LVTEST  ", 8);
    Put16(11, 512);
    b[13] = 1;
    Put16(14, static_cast<uint16_t>(reserved_));
    b[16] = 1;
    Put16(17, static_cast<uint16_t>(rootEntries_));
    b[21] = 0xF8;
    if (total < 65536) Put16(19, static_cast<uint16_t>(total));
    else Put32(32, total);
    if (bits == 32) {
      Put32(36, fatSectors_);
      Put32(44, 2);  // root cluster
    } else {
      Put16(22, static_cast<uint16_t>(fatSectors_));
    }
    b[510] = 0x55, b[511] = 0xAA;
    SetFat(0, 0x0FFFFFF8);
    SetFat(1, 0x0FFFFFFF);
    if (bits == 32) SetFat(2, 0x0FFFFFFF);
  }

  size_t TableOffset() const { return size_t{reserved_} * 512; }
  size_t RootOffset() const { return bits_ == 32 ? Cluster(2) : TableOffset() + size_t{fatSectors_} * 512; }
  size_t Cluster(uint32_t c) const {
    return (size_t{reserved_} + fatSectors_ + rootEntries_ * 32 / 512 + (c - 2)) * 512;
  }
  static constexpr uint32_t kEnd = 0x0FFFFFFF;

  void SetFat(uint32_t cluster, uint32_t value) {
    uint8_t* t = bytes.data() + TableOffset();
    if (bits_ == 12) {
      uint8_t* p = t + cluster * 3 / 2;
      value &= 0xFFF;
      if (cluster & 1) {
        p[0] = static_cast<uint8_t>((p[0] & 0x0F) | (value << 4));
        p[1] = static_cast<uint8_t>(value >> 4);
      } else {
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>((p[1] & 0xF0) | (value >> 8));
      }
    } else if (bits_ == 16) {
      Put16(TableOffset() + 2 * cluster, static_cast<uint16_t>(value));
    } else {
      Put32(TableOffset() + 4 * cluster, value);
    }
  }
  // Links the clusters in order and ends the chain.
  void Chain(const std::vector<uint32_t>& clusters) {
    for (size_t i = 0; i < clusters.size(); ++i) SetFat(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : kEnd);
  }

  // A 32-byte short entry at `offset`.
  void Slot(size_t offset, const std::string& name11, uint8_t attributes, uint32_t cluster, uint32_t size,
            uint16_t date = 0x5021, uint16_t time = 0x7000) {
    uint8_t* s = bytes.data() + offset;
    std::memset(s, ' ', 11);
    std::memcpy(s, name11.data(), std::min<size_t>(11, name11.size()));
    s[11] = attributes;
    Put16(offset + 14, time);
    Put16(offset + 16, date);
    Put16(offset + 18, date);
    Put16(offset + 20, static_cast<uint16_t>(cluster >> 16));
    Put16(offset + 22, time);
    Put16(offset + 24, date);
    Put16(offset + 26, static_cast<uint16_t>(cluster));
    Put32(offset + 28, size);
  }
  // The long-name slots of `name` for the short entry name11, from
  // `offset` on; the offset of the short entry that follows them.
  size_t LongSlots(size_t offset, const std::u16string& name, const std::string& name11, bool deleted = false,
                   int checksumDelta = 0) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + static_cast<uint8_t>(name11[i]));
    sum = static_cast<uint8_t>(sum + checksumDelta);
    const size_t count = (name.size() + 12) / 13;
    for (size_t k = count; k-- > 0;) {
      uint8_t* s = bytes.data() + offset;
      s[0] = deleted ? 0xE5 : static_cast<uint8_t>((k + 1) | (k + 1 == count ? 0x40 : 0));
      s[11] = 0x0F;
      s[13] = sum;
      static constexpr size_t kAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
      for (size_t i = 0; i < 13; ++i) {
        const size_t at = k * 13 + i;
        const uint16_t c = at < name.size() ? name[at] : at == name.size() ? 0 : 0xFFFF;
        Put16(offset + kAt[i], c);
      }
      offset += 32;
    }
    return offset;
  }
  // "." and ".." at the start of a folder's cluster.
  void DotSlots(uint32_t cluster, uint32_t parent) {
    Slot(Cluster(cluster), ".", 0x10, cluster, 0);
    Slot(Cluster(cluster) + 32, "..", 0x10, parent, 0);
  }
  void Fill(uint32_t cluster, uint8_t value, size_t n = 512) { std::memset(bytes.data() + Cluster(cluster), value, n); }

  void Put16(size_t at, uint16_t v) {
    bytes[at] = static_cast<uint8_t>(v);
    bytes[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void Put32(size_t at, uint32_t v) {
    Put16(at, static_cast<uint16_t>(v));
    Put16(at + 2, static_cast<uint16_t>(v >> 16));
  }

  std::vector<uint8_t> bytes;

 private:
  int bits_;
  uint32_t clusters_, reserved_, rootEntries_, fatSectors_;
};

}  // namespace lv::test
