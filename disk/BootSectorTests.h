// Recognition of a volume's first sectors: the tests the partition scans
// apply to a partition's first sector, and the file system of a source given
// as one whole volume.
#pragma once

#include <cstdint>
#include <string>

#include "common/ByteView.h"
#include "disk/Reader.h"

namespace lv {

// Offsets of the boot-sector fields the scans read.
namespace boot {
inline constexpr size_t kJump = 0;
inline constexpr size_t kJumpTarget = 1;
inline constexpr size_t kOemName = 3;
inline constexpr size_t kBytesPerSector = 0x0B;
inline constexpr size_t kSectorsPerCluster = 0x0D;
inline constexpr size_t kReservedSectors = 0x0E;
inline constexpr size_t kFatCount = 0x10;
inline constexpr size_t kRootEntries = 0x11;
inline constexpr size_t kTotalSectors16 = 0x13;
inline constexpr size_t kSectorsPerFat16 = 0x16;
inline constexpr size_t kTotalSectors32 = 0x20;
inline constexpr size_t kNtfsTotalSectors = 0x28;
inline constexpr size_t kExFatVolumeLength = 0x48;
inline constexpr size_t kHfsHeaderSector = 2;  // the HFS+ volume header is 1024 bytes in
}  // namespace boot

// Jump byte 0xEB, then 0x52, and 512 bytes per sector.
bool IsNtfsBootSector(ByteView sector);
// Jump byte 0xEB with a FAT jump target (0x3C, 0x58, 0x76) and either the
// OEM name "MSDO" or, for the many formatters that write another OEM name,
// a BIOS parameter block the FAT engines accept (ReadFatParameters).
bool IsFatBootSector(ByteView sector);
// Jump byte 0xEB with a FAT jump target and the OEM name "EXFA".
bool IsExFatBootSector(ByteView sector);
// The sector begins with 'H', '+', 0.
bool IsHfsPlusHeader(ByteView sector);

// What one 512-byte sector is, as the advanced scan tests every sector of a
// source: the first sector of an NTFS, FAT or exFAT volume, or the HFS+
// volume header or ext superblock 1024 bytes after a volume's start.
enum class SectorKind : uint8_t { None, Ntfs, Fat32, Fat16, FatUnknown, ExFat, HfsPlus, Ext };
struct SectorFinding {
  SectorKind kind = SectorKind::None;
  // Sectors from the volume's start to this sector: 0, or 2 for HFS+ and ext.
  int64_t headerSector = 0;
  // The volume's size in bytes as its header gives it (0 for FatUnknown);
  // saturated at UINT64_MAX.
  uint64_t volumeBytes = 0;
  // 512-byte sectors from the volume's start to the first sector after it:
  // NTFS keeps its backup boot sector just past its total-sectors count.
  uint64_t extentSectors = 0;
};
// Tests in this order: NTFS (jump 0xEB 0x52, "NTFS", bytes per sector a
// power of two from 512 to 4096), exFAT (FAT jump, "EXFA"), FAT (FAT jump and
// either a parameter block the FAT engines accept or, for FatUnknown, the
// OEM name "MSDO" with one they refuse), HFS+ ("H+" 0, version 4), ext
// (magic 0xEF53, block size up to 64 KiB, block group 0).
SectorFinding ExamineSector(ByteView sector);
// What ExamineSector needs before it can find anything in a whole 512-byte
// sector: the jump byte 0xEB, an 'H', or the ext magic. A scan skips every
// other sector at once.
inline bool MayHoldVolumeStart(const uint8_t* sector) {
  return sector[0] == 0xEB || sector[0] == 'H' || (sector[0x38] == 0x53 && sector[0x39] == 0xEF);
}

// The file-system text the scan job knows ("NTFS", "FAT12", "FAT16",
// "FAT32", "FAT64", "extX", "HFS+"), or "Unknown", for a volume that starts
// at startSector and holds sectorCount sectors (a source given as one whole
// volume). An NTFS volume whose boot sector is damaged is still recognised
// by the backup boot sector in its last sector, an ext volume whose primary
// superblock is damaged by the copy in block group 1. The reader's baseOffset is
// left at 0.
std::wstring RecognizeFileSystem(readWriteInterface& reader, int64_t startSector, int64_t sectorCount);

// Reads the volume's first sector and applies IsExFatBootSector.
bool ExFatTest(readWriteInterface& reader, int64_t firstSector);
// Reads the sector two after the volume's start and applies IsHfsPlusHeader.
bool HfsPlusTest(readWriteInterface& reader, int64_t firstSector);
// Reads the same sector and tells whether it is an ext superblock of block
// group 0, as ExamineSector recognises one.
bool ExtTest(readWriteInterface& reader, int64_t firstSector);

}  // namespace lv
