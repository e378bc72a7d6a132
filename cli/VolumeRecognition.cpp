#include "cli/VolumeRecognition.h"

#include <array>

#include "common/ByteView.h"
#include "disk/BootSectorTests.h"

namespace lv::cli {

namespace {

constexpr size_t kExtSuperblock = 1024;
constexpr size_t kExtMagic = 0x38;
constexpr uint16_t kExtMagicValue = 0xEF53;
constexpr size_t kHfsHeader = 1024;
constexpr size_t kFatReservedSectors = 0x0E;
constexpr size_t kFatRootEntries = 0x11;
constexpr size_t kFatMediaSectors = 0x16;

// FAT12 and FAT16 differ only by their cluster count (fewer than 4085
// clusters is FAT12); FAT32 has no 16-bit FAT length.
std::wstring FatKind(ByteView boot) {
  const uint32_t sectorsPerFat = boot.Le16(kFatMediaSectors);
  if (sectorsPerFat == 0) return L"FAT32";
  const uint32_t bytesPerSector = boot.Le16(boot::kBytesPerSector);
  const uint32_t sectorsPerCluster = boot.U8(boot::kSectorsPerCluster);
  if (bytesPerSector == 0 || sectorsPerCluster == 0) return L"Unknown";
  uint64_t total = boot.Le16(boot::kTotalSectors16);
  if (total == 0) total = boot.Le32(boot::kTotalSectors32);
  const uint64_t rootSectors = (uint64_t{boot.Le16(kFatRootEntries)} * 32 + bytesPerSector - 1) / bytesPerSector;
  const uint64_t meta = uint64_t{boot.Le16(kFatReservedSectors)} + uint64_t{boot.U8(boot::kFatCount)} * sectorsPerFat +
                        rootSectors;
  const uint64_t clusters = total > meta ? (total - meta) / sectorsPerCluster : 0;
  return clusters < 4085 ? L"FAT12" : L"FAT16";
}

}  // namespace

std::wstring RecognizeFileSystem(readWriteInterface& reader, int64_t startSector, int64_t sectorCount) {
  reader.baseOffset = 0;
  std::array<uint8_t, 4096> head{};
  if (startSector < 0 || startSector > INT64_MAX / static_cast<int64_t>(kSectorSize)) return L"Unknown";
  // A short source leaves zeros, which no test accepts.
  ReadAt(reader, startSector * static_cast<int64_t>(kSectorSize), head.data(), static_cast<uint32_t>(head.size()));
  const ByteView bytes(head.data(), head.size());
  const ByteView boot = bytes.Sub(0, kSectorSize);
  if (IsNtfsBootSector(boot) || boot.Matches(boot::kOemName, "NTFS    ")) return L"NTFS";
  if (IsExFatBootSector(boot)) return L"FAT64";
  if (IsFatBootSector(boot)) return FatKind(boot);
  if (bytes.Le16(kExtSuperblock + kExtMagic) == kExtMagicValue) return L"extX";
  if (IsHfsPlusHeader(bytes.Sub(kHfsHeader, kSectorSize))) return L"HFS+";
  if (sectorCount > 1 && startSector <= INT64_MAX / static_cast<int64_t>(kSectorSize) - sectorCount) {
    std::array<uint8_t, kSectorSize> backup{};
    ReadAt(reader, (startSector + sectorCount - 1) * static_cast<int64_t>(kSectorSize), backup.data(),
           static_cast<uint32_t>(backup.size()));
    if (IsNtfsBootSector(ByteView(backup.data(), backup.size()))) return L"NTFS";
  }
  return L"Unknown";
}

}  // namespace lv::cli
