// Disk images built in memory for the partition-scan tests.
#pragma once

#include <cstring>
#include <string>
#include <vector>

#include "common/WorkerProtocol.h"

namespace lv::test {

// A disk image built in memory, sector by sector.
class DiskBuilder {
 public:
  explicit DiskBuilder(uint64_t sectors) : image_(sectors * 512, 0) {}

  void Le16(uint64_t offset, uint16_t v) { Put(offset, v, 2); }
  void Le32(uint64_t offset, uint32_t v) { Put(offset, v, 4); }
  void Le64(uint64_t offset, uint64_t v) { Put(offset, v, 8); }
  void Bytes(uint64_t offset, const void* data, size_t n) { std::memcpy(&image_.at(offset), data, n); }
  void Text(uint64_t offset, const char* text) { Bytes(offset, text, std::strlen(text)); }

  // One 16-byte partition entry of the table in `sector`.
  void TableEntry(uint64_t sector, int slot, uint8_t type, uint32_t firstLba, uint32_t count) {
    const uint64_t e = sector * 512 + 446 + 16 * slot;
    image_.at(e + 4) = type;
    Le32(e + 8, firstLba);
    Le32(e + 12, count);
    image_.at(sector * 512 + 510) = 0x55;
    image_.at(sector * 512 + 511) = 0xAA;
  }
  void NtfsBootSector(uint64_t sector, uint64_t totalSectors, uint16_t bytesPerSector = 512) {
    const uint64_t b = sector * 512;
    image_.at(b) = 0xEB, image_.at(b + 1) = 0x52, image_.at(b + 2) = 0x90;
    Text(b + 3, "NTFS    ");
    Le16(b + 11, bytesPerSector);
    Le64(b + 0x28, totalSectors);
  }
  void FatBootSector(uint64_t sector, const char* oem, uint16_t sectorsPerFat, uint16_t total16, uint32_t total32) {
    const uint64_t b = sector * 512;
    image_.at(b) = 0xEB, image_.at(b + 1) = sectorsPerFat == 0 ? 0x58 : 0x3C, image_.at(b + 2) = 0x90;
    Text(b + 3, oem);
    Le16(b + 11, 512);
    image_.at(b + 13) = 8;
    Le16(b + 14, sectorsPerFat == 0 ? 32 : 1);
    image_.at(b + 16) = 2;
    Le16(b + 19, total16);
    Le16(b + 22, sectorsPerFat);
    Le32(b + 32, total32);
    // The rest of a parameter block the FAT engines accept: a root
    // directory (FAT12/16) or the 32-bit table length (FAT32).
    if (sectorsPerFat != 0) Le16(b + 17, 512);
    else Le32(b + 0x24, 8);
    image_.at(b + 510) = 0x55, image_.at(b + 511) = 0xAA;
  }
  void ExFatBootSector(uint64_t sector, uint64_t volumeLength) {
    const uint64_t b = sector * 512;
    image_.at(b) = 0xEB, image_.at(b + 1) = 0x76, image_.at(b + 2) = 0x90;
    Text(b + 3, "EXFAT   ");
    Le64(b + 72, volumeLength);
  }
  // A GPT header in sector 1 naming the entry array at `entryLba`.
  void GptHeader(uint64_t entryLba) {
    Text(512, "EFI PART");
    Le64(512 + 72, entryLba);
  }
  // A whole GPT header (signature, size 92, checksum) at byte `offset`.
  void SoundGptHeader(uint64_t offset, uint64_t entryLba) {
    Text(offset, "EFI PART");
    Le32(offset + 8, 0x00010000);
    Le32(offset + 12, 92);
    Le32(offset + 16, 0);
    Le64(offset + 72, entryLba);
    Le32(offset + 16, Crc32(&image_.at(offset), 92));
  }
  static uint32_t Crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i) {
      c ^= p[i];
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
  }
  void GptEntry(uint64_t entryLba, int index, uint32_t typeWord, uint64_t start, uint64_t end,
                const std::u16string& name) {
    const uint64_t e = entryLba * 512 + 128 * index;
    Le32(e, typeWord);
    Le64(e + 32, start);
    Le64(e + 40, end);
    for (size_t i = 0; i < name.size() && i < 36; ++i) Le16(e + 56 + 2 * i, name[i]);
  }
  std::vector<uint8_t>& image() { return image_; }

 private:
  void Put(uint64_t offset, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) image_.at(offset + i) = static_cast<uint8_t>(v >> (8 * i));
  }
  std::vector<uint8_t> image_;
};

// Records every status text.
class StatusLog : public WorkerSink {
 public:
  void SetStatus(std::wstring_view text) override { texts.emplace_back(text); }
  void ProgressRange(int64_t, int64_t) override {}
  void ProgressPosition(int64_t) override {}
  std::vector<std::wstring> texts;
};

}  // namespace lv::test
