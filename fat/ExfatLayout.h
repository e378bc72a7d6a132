// On-disk layout of exFAT as the engine reads it: the main boot sector's
// fields, the directory entry types and the fields of the file, stream
// extension, file name and allocation bitmap entries (as the published exFAT
// on-disk format lays them out). Offsets are bytes from the start of
// the sector or of the 32-byte entry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lv::exfat_layout {

// Main boot sector.
inline constexpr size_t kFileSystemName = 3;        // "EXFAT   "
inline constexpr size_t kFatOffset = 80;            // sectors
inline constexpr size_t kFatLength = 84;            // sectors
inline constexpr size_t kClusterHeapOffset = 88;    // sectors
inline constexpr size_t kClusterCount = 92;
inline constexpr size_t kFirstClusterOfRoot = 96;
inline constexpr size_t kBytesPerSectorShift = 108;
inline constexpr size_t kSectorsPerClusterShift = 109;

// Sectors of 512 to 4096 bytes; clusters of at most 32 MiB.
inline constexpr unsigned kMinBytesPerSectorShift = 9;
inline constexpr unsigned kMaxBytesPerSectorShift = 12;
inline constexpr unsigned kMaxClusterShift = 25;

// Directory entries.
inline constexpr size_t kEntryBytes = 32;
inline constexpr uint8_t kInUse = 0x80;  // bit 7 of the type: clear once deleted
inline constexpr uint8_t kTypeFile = 0x85;
inline constexpr uint8_t kTypeFileDeleted = 0x05;
inline constexpr uint8_t kTypeStream = 0xC0;
inline constexpr uint8_t kTypeStreamDeleted = 0x40;
inline constexpr uint8_t kTypeName = 0xC1;
inline constexpr uint8_t kTypeNameDeleted = 0x41;
inline constexpr uint8_t kTypeBitmap = 0x81;

// File entry.
inline constexpr size_t kSecondaryCount = 1;
inline constexpr size_t kFileAttributes = 4;
inline constexpr size_t kCreateTimestamp = 8;
inline constexpr size_t kModifyTimestamp = 12;
inline constexpr size_t kAccessTimestamp = 16;
inline constexpr size_t kCreate10ms = 20;
inline constexpr size_t kModify10ms = 21;
inline constexpr size_t kCreateUtcOffset = 22;
inline constexpr size_t kModifyUtcOffset = 23;
inline constexpr size_t kAccessUtcOffset = 24;

// Stream extension entry.
inline constexpr size_t kSecondaryFlags = 1;
inline constexpr size_t kNameLength = 3;
inline constexpr size_t kValidDataLength = 8;
inline constexpr size_t kFirstCluster = 20;
inline constexpr size_t kDataLength = 24;
inline constexpr uint8_t kAllocationPossible = 0x01;
inline constexpr uint8_t kNoFatChain = 0x02;

// File name entry: 15 UTF-16 characters from byte 2.
inline constexpr size_t kNameCharacters = 2;
inline constexpr size_t kCharactersPerNameEntry = 15;
// Name entries gathered for one set at most.
inline constexpr size_t kMaxNameEntries = 32;
// A set's entries at most: file, stream and the name entries.
inline constexpr size_t kMaxSetEntries = 2 + kMaxNameEntries;

// Allocation bitmap entry (the first cluster and length as in the stream).
inline constexpr size_t kBitmapFirstCluster = 20;
inline constexpr size_t kBitmapDataLength = 24;

// Allocation table values.
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFF;
inline constexpr uint32_t kFirstDataCluster = 2;

// A directory holds at most 256 MiB of entries.
inline constexpr uint64_t kMaxDirectoryBytes = 256ull << 20;

// Attribute bits.
inline constexpr uint16_t kAttributeReadOnly = 0x01;
inline constexpr uint16_t kAttributeHidden = 0x02;
inline constexpr uint16_t kAttributeSystem = 0x04;
inline constexpr uint16_t kAttributeDirectory = 0x10;
inline constexpr uint16_t kAttributeArchive = 0x20;

// Timestamp UTC offset byte: bit 7 says the offset in bits 0..6 (signed,
// in 15-minute steps) is valid.
inline constexpr uint8_t kUtcOffsetValid = 0x80;

}  // namespace lv::exfat_layout
