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

}  // namespace lv
