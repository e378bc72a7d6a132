#include "disk/BootSectorTests.h"

#include <array>

#include "disk/FatParameters.h"

namespace lv {

namespace {
bool HasFatJump(ByteView s) {
  const uint8_t target = s.U8(boot::kJumpTarget);
  return s.size() >= 512 && s.U8(boot::kJump) == 0xEB && (target == 0x3C || target == 0x58 || target == 0x76);
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
  return ReadFatParameters(s).has_value();
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

bool ExtTest(readWriteInterface& reader, int64_t firstSector) {
  std::array<uint8_t, 512> sector;
  int64_t headerSector;
  if (__builtin_add_overflow(firstSector, int64_t{boot::kHfsHeaderSector}, &headerSector)) return false;
  return ReadSector(reader, headerSector, sector) &&
         ExamineSector(ByteView(sector.data(), sector.size())).kind == SectorKind::Ext;
}

namespace {

uint64_t SaturatedMul(uint64_t a, uint64_t b) { return CheckedMul(a, b).value_or(UINT64_MAX); }

SectorFinding Finding(SectorKind kind, int64_t headerSector, uint64_t bytes, uint64_t extentBytes) {
  return {kind, headerSector, bytes, extentBytes / 512 + (extentBytes % 512 != 0)};
}

}  // namespace

SectorFinding ExamineSector(ByteView s) {
  if (!s.Fits(0, 512)) return {};
  const uint8_t first = s.U8(0);
  if (first == 0xEB) {
    if (s.U8(boot::kJumpTarget) == 0x52 && s.Matches(boot::kOemName, "NTFS")) {
      const uint32_t bytesPerSector = s.Le16(boot::kBytesPerSector);
      if (bytesPerSector < 512 || bytesPerSector > 4096 || (bytesPerSector & (bytesPerSector - 1)) != 0) return {};
      const uint64_t total = s.Le64(boot::kNtfsTotalSectors);
      // The backup boot sector lies in the sector after the counted ones.
      return Finding(SectorKind::Ntfs, 0, SaturatedMul(total, bytesPerSector),
                     SaturatedMul(CheckedAdd(total, 1).value_or(UINT64_MAX), bytesPerSector));
    }
    if (!HasFatJump(s)) return {};
    if (s.Matches(boot::kOemName, "EXFA")) {
      constexpr size_t kBytesPerSectorShift = 108;
      const uint8_t shift = s.U8(kBytesPerSectorShift);
      const uint64_t sectorBytes = shift >= 9 && shift <= 12 ? uint64_t{1} << shift : 512;
      const uint64_t bytes = SaturatedMul(s.Le64(boot::kExFatVolumeLength), sectorBytes);
      return Finding(SectorKind::ExFat, 0, bytes, bytes);
    }
    if (const auto p = ReadFatParameters(s)) {
      const uint64_t bytes = SaturatedMul(p->totalSectors, p->bytesPerSector);
      return Finding(p->fat32Layout ? SectorKind::Fat32 : SectorKind::Fat16, 0, bytes, bytes);
    }
    if (s.Matches(boot::kOemName, "MSDO")) return {SectorKind::FatUnknown, 0, 0, 0};
    return {};
  }
  if (first == 'H' && IsHfsPlusHeader(s) && s.Be16(2) == 4) {
    // Apple TN1150: block size at 40, total blocks at 44 (big-endian).
    const uint64_t bytes = uint64_t{s.Be32(40)} * s.Be32(44);
    return Finding(SectorKind::HfsPlus, 2, bytes, bytes);
  }
  // ext2/3/4 superblock (the ext4 disk layout): magic at 0x38, log2 of the
  // block size − 10 at 0x18, blocks at 0x04 (and 0x150 with 64-bit
  // numbers), the first data block 1 exactly for 1 KiB blocks, and the
  // number of the block group that holds this copy at 0x5A.
  if (s.Le16(0x38) == 0xEF53) {
    const uint32_t logBlock = s.Le32(0x18);
    const uint32_t firstDataBlock = s.Le32(0x14);
    if (logBlock > 6 || firstDataBlock != (logBlock == 0 ? 1u : 0u) || s.Le16(0x5A) != 0 || s.Le32(0) == 0)
      return {};
    uint64_t blocks = s.Le32(0x04);
    constexpr uint32_t kIncompat64Bit = 0x80;
    if (s.Le32(0x60) & kIncompat64Bit) blocks |= uint64_t{s.Le32(0x150)} << 32;
    if (blocks == 0) return {};
    const uint64_t bytes = SaturatedMul(blocks, uint64_t{1024} << logBlock);
    return Finding(SectorKind::Ext, 2, bytes, bytes);
  }
  return {};
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
  // An ext volume whose primary superblock is damaged keeps a copy at the
  // start of block group 1: block 8193 of 1 KiB blocks, 16384 of 2 KiB
  // blocks or 32768 of 4 KiB blocks as mkfs.ext4 lays groups out.
  for (uint32_t logBlock = 0; logBlock <= 2; ++logBlock) {
    const int64_t blockBytes = int64_t{1024} << logBlock;
    const int64_t at = (8 * blockBytes + (logBlock == 0 ? 1 : 0)) * blockBytes;
    if (sectorCount > 0 && at / static_cast<int64_t>(kSectorSize) >= sectorCount) break;
    if (startSector > (INT64_MAX - at) / static_cast<int64_t>(kSectorSize) - 1) break;
    std::array<uint8_t, kSectorSize> copy{};
    ReadAt(reader, startSector * static_cast<int64_t>(kSectorSize) + at, copy.data(),
           static_cast<uint32_t>(copy.size()));
    const ByteView super(copy.data(), copy.size());
    if (super.Le16(kExtMagic) == kExtMagicValue && super.Le32(0x18) == logBlock && super.Le16(0x5A) == 1)
      return L"extX";
  }
  return L"Unknown";
}


}  // namespace lv
