#include "disk/BootSectorTests.h"

#include <array>

namespace lv {

namespace {
bool HasFatJump(ByteView s) {
  const uint8_t target = s.U8(boot::kJumpTarget);
  return s.size() >= 512 && s.U8(boot::kJump) == 0xEB && (target == 0x3C || target == 0x58 || target == 0x76);
}
bool IsPowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool PlausibleFatParameters(ByteView s) {
  const uint16_t bytesPerSector = s.Le16(boot::kBytesPerSector);
  return bytesPerSector >= 512 && bytesPerSector <= 4096 && IsPowerOfTwo(bytesPerSector) &&
         IsPowerOfTwo(s.U8(boot::kSectorsPerCluster)) && s.Le16(boot::kReservedSectors) >= 1 &&
         s.U8(boot::kFatCount) >= 1 && s.U8(boot::kFatCount) <= 2;
}
}  // namespace

bool IsNtfsBootSector(ByteView s) {
  return s.size() >= 512 && s.U8(boot::kJump) == 0xEB && s.U8(boot::kJumpTarget) == 0x52 &&
         s.Le16(boot::kBytesPerSector) == 512;
}

bool IsFatBootSector(ByteView s) {
  if (!HasFatJump(s)) return false;
  if (s.Matches(boot::kOemName, "MSDO")) return true;
  if (s.Matches(boot::kOemName, "EXFA") || s.Matches(boot::kOemName, "NTFS")) return false;
  return PlausibleFatParameters(s);
}

bool IsExFatBootSector(ByteView s) { return HasFatJump(s) && s.Matches(boot::kOemName, "EXFA"); }

bool IsHfsPlusHeader(ByteView s) { return s.U8(0) == 'H' && s.U8(1) == '+' && s.Fits(2, 1) && s.U8(2) == 0; }

namespace {
bool ReadSector(readWriteInterface& reader, int64_t sector, std::array<uint8_t, 512>& out) {
  int64_t position;
  if (sector < 0 || __builtin_mul_overflow(sector, int64_t{512}, &position)) return false;
  out.fill(0);
  return ReadAt(reader, position, out.data(), 512);
}
}  // namespace

bool ExFatTest(readWriteInterface& reader, int64_t firstSector) {
  std::array<uint8_t, 512> sector;
  return ReadSector(reader, firstSector, sector) && IsExFatBootSector(ByteView(sector.data(), sector.size()));
}

bool HfsPlusTest(readWriteInterface& reader, int64_t firstSector) {
  std::array<uint8_t, 512> sector;
  int64_t headerSector;
  if (__builtin_add_overflow(firstSector, int64_t{boot::kHfsHeaderSector}, &headerSector)) return false;
  return ReadSector(reader, headerSector, sector) && IsHfsPlusHeader(ByteView(sector.data(), sector.size()));
}

namespace {

constexpr size_t kExtSuperblock = 1024;
constexpr size_t kExtMagic = 0x38;
constexpr uint16_t kExtMagicValue = 0xEF53;
constexpr size_t kHfsHeader = 1024;

// FAT12 and FAT16 differ only by their cluster count (fewer than 4085
// clusters is FAT12); FAT32 has no 16-bit FAT length.
std::wstring FatKind(ByteView boot) {
  const uint32_t sectorsPerFat = boot.Le16(boot::kSectorsPerFat16);
  if (sectorsPerFat == 0) return L"FAT32";
  const uint32_t bytesPerSector = boot.Le16(boot::kBytesPerSector);
  const uint32_t sectorsPerCluster = boot.U8(boot::kSectorsPerCluster);
  if (bytesPerSector == 0 || sectorsPerCluster == 0) return L"Unknown";
  uint64_t total = boot.Le16(boot::kTotalSectors16);
  if (total == 0) total = boot.Le32(boot::kTotalSectors32);
  const uint64_t rootSectors = (uint64_t{boot.Le16(boot::kRootEntries)} * 32 + bytesPerSector - 1) / bytesPerSector;
  const uint64_t meta = uint64_t{boot.Le16(boot::kReservedSectors)} + uint64_t{boot.U8(boot::kFatCount)} * sectorsPerFat +
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


}  // namespace lv
