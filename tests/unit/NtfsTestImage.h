// Small NTFS volumes built byte by byte in memory for the engine's tests:
// MFT records with the attributes the engine reads, and a volume (boot
// sector, MFT, data clusters) around them.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace lv::test {

inline void PutLe(std::vector<uint8_t>& b, size_t at, uint64_t v, size_t n) {
  for (size_t i = 0; i < n; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// One 1024-byte MFT record. Attributes are appended in call order; Finish()
// writes the end marker and the update-sequence protection (USN 0x0001 at
// both sector ends, the original bytes in the array at 0x30).
class RecordBuilder {
 public:
  explicit RecordBuilder(uint16_t flags = 1) : bytes(1024, 0) {
    std::memcpy(bytes.data(), "FILE", 4);
    PutLe(bytes, 0x04, 0x30, 2);  // update-sequence array offset
    PutLe(bytes, 0x06, 3, 2);     // update-sequence count
    PutLe(bytes, 0x14, 0x38, 2);  // first attribute
    PutLe(bytes, 0x16, flags, 2);
  }

  // A resident attribute; returns its position.
  uint32_t Resident(uint32_t type, const std::vector<uint8_t>& content, uint16_t flags = 0,
                    const std::u16string& name = u"") {
    const uint32_t nameOffset = 0x18;
    const uint32_t contentOffset = Align8(nameOffset + 2 * static_cast<uint32_t>(name.size()));
    const uint32_t length = Align8(contentOffset + static_cast<uint32_t>(content.size()));
    const uint32_t at = position;
    PutLe(bytes, at, type, 4);
    PutLe(bytes, at + 4, length, 4);
    bytes[at + 8] = 0;
    bytes[at + 9] = static_cast<uint8_t>(name.size());
    PutLe(bytes, at + 0x0A, nameOffset, 2);
    PutLe(bytes, at + 0x0C, flags, 2);
    PutLe(bytes, at + 0x10, content.size(), 4);
    PutLe(bytes, at + 0x14, contentOffset, 2);
    for (size_t i = 0; i < name.size(); ++i) PutLe(bytes, at + nameOffset + 2 * i, name[i], 2);
    std::memcpy(bytes.data() + at + contentOffset, content.data(), content.size());
    position += length;
    return at;
  }

  uint32_t NonResident(uint32_t type, const std::vector<uint8_t>& runList, uint64_t firstVcn, uint64_t lastVcn,
                       uint64_t dataSize, uint16_t flags = 0, uint16_t compressionUnit = 0,
                       const std::u16string& name = u"") {
    const uint32_t nameOffset = 0x40;
    const uint32_t runOffset = Align8(nameOffset + 2 * static_cast<uint32_t>(name.size()));
    const uint32_t length = Align8(runOffset + static_cast<uint32_t>(runList.size()));
    const uint32_t at = position;
    PutLe(bytes, at, type, 4);
    PutLe(bytes, at + 4, length, 4);
    bytes[at + 8] = 1;
    bytes[at + 9] = static_cast<uint8_t>(name.size());
    PutLe(bytes, at + 0x0A, nameOffset, 2);
    PutLe(bytes, at + 0x0C, flags, 2);
    PutLe(bytes, at + 0x10, firstVcn, 8);
    PutLe(bytes, at + 0x18, lastVcn, 8);
    PutLe(bytes, at + 0x20, runOffset, 2);
    PutLe(bytes, at + 0x22, compressionUnit, 2);
    PutLe(bytes, at + 0x28, (lastVcn - firstVcn + 1) * 4096, 8);
    PutLe(bytes, at + 0x30, dataSize, 8);
    PutLe(bytes, at + 0x38, dataSize, 8);
    for (size_t i = 0; i < name.size(); ++i) PutLe(bytes, at + nameOffset + 2 * i, name[i], 2);
    std::memcpy(bytes.data() + at + runOffset, runList.data(), runList.size());
    position += length;
    return at;
  }

  uint32_t StandardInformation(uint64_t creation, uint64_t modification, uint64_t access) {
    std::vector<uint8_t> c(0x48, 0);
    PutLe(c, 0x00, creation, 8);
    PutLe(c, 0x08, modification, 8);
    PutLe(c, 0x10, modification, 8);
    PutLe(c, 0x18, access, 8);
    return Resident(0x10, c);
  }

  uint32_t FileName(uint64_t parent, const std::u16string& name, bool directory = false, uint32_t fileFlags = 0x20,
                    uint8_t nameSpace = 1) {
    std::vector<uint8_t> c(0x42 + 2 * name.size(), 0);
    PutLe(c, 0x00, parent | (uint64_t{1} << 48), 8);  // sequence number 1 in the top 16 bits
    PutLe(c, 0x28, 4096, 8);
    PutLe(c, 0x30, 4096, 8);
    PutLe(c, 0x38, fileFlags | (directory ? 0x10000000u : 0u), 4);
    c[0x40] = static_cast<uint8_t>(name.size());
    c[0x41] = nameSpace;
    for (size_t i = 0; i < name.size(); ++i) PutLe(c, 0x42 + 2 * i, name[i], 2);
    return Resident(0x30, c);
  }

  // Finishes the attribute list and protects the sector ends.
  std::vector<uint8_t> Finish() {
    PutLe(bytes, position, 0xFFFFFFFF, 4);
    PutLe(bytes, position + 4, 0, 4);
    PutLe(bytes, 0x18, position + 8, 4);  // bytes in use
    PutLe(bytes, 0x1C, 1024, 4);
    PutLe(bytes, 0x30, 0x0001, 2);
    for (int k = 1; k <= 2; ++k) {
      const size_t end = 512 * k - 2;
      bytes[0x30 + 2 * k] = bytes[end];
      bytes[0x31 + 2 * k] = bytes[end + 1];
      bytes[end] = 0x01;
      bytes[end + 1] = 0x00;
    }
    return bytes;
  }

  std::vector<uint8_t> bytes;
  uint32_t position = 0x38;

 private:
  static uint32_t Align8(uint32_t v) { return (v + 7) & ~7u; }
};

// A run list with one entry per (start cluster, count); start -1 is sparse.
inline std::vector<uint8_t> RunList(const std::vector<std::pair<int64_t, uint64_t>>& runs) {
  std::vector<uint8_t> out;
  int64_t previous = 0;
  for (const auto& [start, count] : runs) {
    std::vector<uint8_t> length, offset;
    for (uint64_t v = count; v != 0 || length.empty(); v >>= 8) length.push_back(static_cast<uint8_t>(v));
    if (length.back() & 0x80) length.push_back(0);
    if (start >= 0) {
      int64_t delta = start - previous;
      previous = start;
      for (;;) {
        offset.push_back(static_cast<uint8_t>(delta & 0xFF));
        const int64_t rest = delta >> 8;
        const bool signOk = (rest == 0 && !(offset.back() & 0x80)) || (rest == -1 && (offset.back() & 0x80));
        delta = rest;
        if (signOk) break;
      }
    }
    out.push_back(static_cast<uint8_t>(length.size() | (offset.size() << 4)));
    out.insert(out.end(), length.begin(), length.end());
    out.insert(out.end(), offset.begin(), offset.end());
  }
  out.push_back(0);
  return out;
}

// A volume of 4096-byte clusters (512-byte sectors, 8 per cluster) with its
// MFT at cluster 4. Records not given are left empty (zeros). Record 0 gets
// a $MFT record whose data attribute covers the records; record 5 the root
// "." unless the test gives its own.
class VolumeBuilder {
 public:
  static constexpr uint64_t kCluster = 4096;
  static constexpr uint64_t kMftCluster = 4;

  explicit VolumeBuilder(uint64_t clusters = 256) : clusters_(clusters) {}

  void SetRecord(uint64_t number, std::vector<uint8_t> bytes) { records_[number] = std::move(bytes); }
  // Bytes placed at a cluster.
  void SetCluster(uint64_t cluster, const std::vector<uint8_t>& bytes) { data_[cluster] = bytes; }
  uint64_t MftClusters() const { return (RecordCount() * 1024 + kCluster - 1) / kCluster; }
  uint64_t RecordCount() const { return records_.empty() ? 8 : std::max<uint64_t>(records_.rbegin()->first + 1, 8); }
  // First cluster after the MFT, free for file data.
  uint64_t FirstDataCluster() const { return kMftCluster + MftClusters(); }

  std::vector<uint8_t> Build() {
    std::vector<uint8_t> image(clusters_ * kCluster, 0);
    image[0] = 0xEB;
    image[1] = 0x52;
    image[2] = 0x90;
    std::memcpy(image.data() + 3, "NTFS    ", 8);
    PutLe(image, 0x0B, 512, 2);
    image[0x0D] = 8;
    PutLe(image, 0x28, clusters_ * 8 - 1, 8);
    PutLe(image, 0x30, kMftCluster, 8);
    PutLe(image, 0x38, kMftCluster + 1, 8);
    image[0x40] = 0xF6;  // 1024-byte records
    if (!records_.count(0)) {
      RecordBuilder mft;
      mft.StandardInformation(1, 1, 1);
      mft.FileName(5, u"$MFT");
      mft.NonResident(0x80, RunList({{static_cast<int64_t>(kMftCluster), MftClusters()}}), 0, MftClusters() - 1,
                      RecordCount() * 1024);
      records_[0] = mft.Finish();
    }
    if (!records_.count(5)) {
      RecordBuilder root(3);
      root.StandardInformation(1, 1, 1);
      root.FileName(5, u".", true, 0x06);
      records_[5] = root.Finish();
    }
    for (const auto& [number, bytes] : records_)
      std::memcpy(image.data() + kMftCluster * kCluster + number * 1024, bytes.data(), 1024);
    for (const auto& [cluster, bytes] : data_) std::memcpy(image.data() + cluster * kCluster, bytes.data(), bytes.size());
    return image;
  }

 private:
  uint64_t clusters_;
  std::map<uint64_t, std::vector<uint8_t>> records_;
  std::map<uint64_t, std::vector<uint8_t>> data_;
};

}  // namespace lv::test
