// On-disk layout of the NTFS structures the engine reads: boot sector, MFT
// record header, attribute headers, and the attribute contents it decodes
// (standard information, file name, attribute list). Offsets are from the
// start of their structure; every field is little-endian.
#pragma once

#include <cstdint>

namespace lv::ntfs_layout {

// Fixed sizes.
inline constexpr uint32_t kBootSectorSize = 512;
inline constexpr uint32_t kRecordSize = 1024;  // MFT records are read as 1024 bytes
inline constexpr uint32_t kSlotSize = 512;     // step of the volume scans
inline constexpr uint64_t kScanChunk = 0xA00000;  // 10 MiB
inline constexpr uint64_t kDefaultClusterSize = 4096;
inline constexpr uint32_t kHeaderCopySize = 64;
inline constexpr uint32_t kRecordHeaderCopySize = 48;
inline constexpr uint64_t kMiB = 1048576;

// Boot sector.
inline constexpr uint32_t kBootOemId = 3;  // "NTFS" at bytes 3..6
inline constexpr uint32_t kBootBytesPerSector = 0x0B;  // u16
inline constexpr uint32_t kBootSectorsPerCluster = 0x0D;  // u8
inline constexpr uint32_t kBootTotalSectors = 0x28;  // u64
inline constexpr uint32_t kBootMftCluster = 0x30;  // u64

// MFT record header.
inline constexpr uint32_t kRecUsaOffset = 0x04;  // u16
inline constexpr uint32_t kRecUsaCount = 0x06;  // u16
inline constexpr uint32_t kRecFirstAttribute = 0x14;  // u16
inline constexpr uint32_t kRecFlags = 0x16;  // u16: bit 0 in use, bit 1 directory
inline constexpr uint32_t kRecBaseRecord = 0x20;  // u64: non-zero in an extension record
// u32: the record's own number (NTFS 3.1 records; older ones have their
// update-sequence array at 0x2A instead).
inline constexpr uint32_t kRecNumber = 0x2C;

// Attribute header (common part).
inline constexpr uint32_t kAttrType = 0x00;  // u32
inline constexpr uint32_t kAttrLength = 0x04;  // u32, low 16 bits used
inline constexpr uint32_t kAttrNonResident = 0x08;  // u8
inline constexpr uint32_t kAttrNameLength = 0x09;  // u8, in UTF-16 units
inline constexpr uint32_t kAttrFlags = 0x0C;  // u16
// Resident attribute.
inline constexpr uint32_t kAttrContentLength = 0x10;  // u32
inline constexpr uint32_t kAttrContentOffset = 0x14;  // u16
// Non-resident attribute.
inline constexpr uint32_t kAttrFirstVcn = 0x10;  // u64
inline constexpr uint32_t kAttrLastVcn = 0x18;  // u64
inline constexpr uint32_t kAttrRunListOffset = 0x20;  // u16
inline constexpr uint32_t kAttrCompressionUnit = 0x22;  // u16
inline constexpr uint32_t kAttrAllocatedSize = 0x28;  // u64
inline constexpr uint32_t kAttrDataSize = 0x30;  // u64

// Attribute types.
inline constexpr uint32_t kTypeStandardInformation = 0x10;
inline constexpr uint32_t kTypeAttributeList = 0x20;
inline constexpr uint32_t kTypeFileName = 0x30;
inline constexpr uint32_t kTypeData = 0x80;
inline constexpr uint32_t kTypeEnd = 0xFFFFFFFF;

// Attribute header flags.
inline constexpr uint16_t kFlagCompressedNonResident = 0x0001;
inline constexpr uint16_t kFlagCompressedResident = 0x0800;
inline constexpr uint16_t kFlagEncrypted = 0x4000;

// Standard information content.
inline constexpr uint32_t kSiCreation = 0x00;
inline constexpr uint32_t kSiModification = 0x08;
inline constexpr uint32_t kSiAccess = 0x18;
inline constexpr uint32_t kSiTimesEnd = 0x20;

// File name content.
inline constexpr uint32_t kFnParent = 0x00;  // u64, low 48 bits the record number
inline constexpr uint32_t kFnAllocatedSize = 0x28;  // u64
inline constexpr uint32_t kFnFileFlags = 0x38;  // u32
inline constexpr uint32_t kFnNameLength = 0x40;  // u8
inline constexpr uint32_t kFnName = 0x42;  // UTF-16 name
inline constexpr uint32_t kFnDirectoryFlag = 0x10000000;

// Attribute list entry.
inline constexpr uint32_t kAlType = 0x00;  // u32
inline constexpr uint32_t kAlLength = 0x04;  // u16
inline constexpr uint32_t kAlNameLength = 0x06;  // u8
inline constexpr uint32_t kAlRecordLow = 0x10;  // u32
inline constexpr uint32_t kAlRecordHigh = 0x14;  // u16
inline constexpr uint32_t kAlMinimumLength = 0x1A;

// LZNT1 (MS-XCA): 4096-byte chunks, each behind a 16-bit header.
inline constexpr uint32_t kLzChunkSize = 4096;

}  // namespace lv::ntfs_layout
