// On-disk layout of HFS+ (Apple TN1150). Every field is big-endian.
#pragma once

#include <cstdint>

namespace lv::hfslayout {

// Volume header: 512 bytes at byte 1024 of the volume; a copy (the
// alternate header) 1024 bytes before the volume's end.
inline constexpr uint64_t kHeaderOffset = 1024;
inline constexpr uint32_t kHeaderBytes = 512;
inline constexpr uint64_t kAlternateFromEnd = 1024;
inline constexpr uint32_t kVhSignature = 0;  // "H+" (0x482B) or "HX" (0x4858)
inline constexpr uint32_t kVhVersion = 2;    // 4, or 5 for HFSX
inline constexpr uint32_t kVhBlockSize = 40;
inline constexpr uint32_t kVhTotalBlocks = 44;
inline constexpr uint32_t kVhExtentsFork = 192;
inline constexpr uint32_t kVhCatalogFork = 272;
inline constexpr uint16_t kSignaturePlus = 0x482B;
inline constexpr uint16_t kSignatureX = 0x4858;

// Fork data (80 bytes): logical size, clump size, total blocks, then eight
// extent descriptors (start block, block count).
inline constexpr uint32_t kForkLogicalSize = 0;
inline constexpr uint32_t kForkTotalBlocks = 12;
inline constexpr uint32_t kForkExtents = 16;
inline constexpr uint32_t kExtentsPerRecord = 8;
inline constexpr uint32_t kExtentBytes = 8;

// Special files' catalog node IDs.
inline constexpr uint32_t kRootParentId = 1;
inline constexpr uint32_t kRootFolderId = 2;
inline constexpr uint32_t kExtentsFileId = 3;
inline constexpr uint32_t kCatalogFileId = 4;

// B-tree node descriptor (14 bytes); record offsets are u16 values at the
// node's end, the first record's last, followed by the free space's.
inline constexpr uint32_t kNdForwardLink = 0;
inline constexpr uint32_t kNdKind = 8;
inline constexpr uint32_t kNdHeight = 9;
inline constexpr uint32_t kNdNumRecords = 10;
inline constexpr uint32_t kNodeDescriptorBytes = 14;
inline constexpr int8_t kKindLeaf = -1;
inline constexpr int8_t kKindIndex = 0;
inline constexpr int8_t kKindHeader = 1;
inline constexpr int8_t kKindMap = 2;

// Header record, the first record of node 0 (offsets from the node's start).
inline constexpr uint32_t kHrTreeDepth = 14;
inline constexpr uint32_t kHrRootNode = 16;
inline constexpr uint32_t kHrFirstLeaf = 24;
inline constexpr uint32_t kHrNodeSize = 32;
inline constexpr uint32_t kHrTotalNodes = 36;
inline constexpr uint32_t kMinNodeSize = 512;
inline constexpr uint32_t kMaxNodeSize = 32768;
inline constexpr uint32_t kMaxTreeDepth = 16;

// Catalog key: key length, parent ID, name length, UTF-16 name.
inline constexpr uint32_t kCkParentId = 2;
inline constexpr uint32_t kCkNameLength = 6;
inline constexpr uint32_t kCkName = 8;
inline constexpr uint32_t kMinCatalogKeyLength = 6;
inline constexpr uint32_t kMaxNameLength = 255;

// Catalog records (offsets from the record's start, after the key).
inline constexpr int16_t kFolderRecord = 1;
inline constexpr int16_t kFileRecord = 2;
inline constexpr int16_t kFolderThread = 3;
inline constexpr int16_t kFileThread = 4;
inline constexpr uint32_t kFolderRecordBytes = 88;
inline constexpr uint32_t kFileRecordBytes = 248;
inline constexpr uint32_t kThreadRecordMinBytes = 10;
inline constexpr uint32_t kRecId = 8;  // folderID or fileID
inline constexpr uint32_t kRecCreateDate = 12;
inline constexpr uint32_t kRecContentModDate = 16;
inline constexpr uint32_t kRecAttributeModDate = 20;
inline constexpr uint32_t kRecAccessDate = 24;
inline constexpr uint32_t kRecFileMode = 42;
inline constexpr uint32_t kRecSpecial = 44;  // a hard link's link ID
inline constexpr uint32_t kRecFileType = 48;  // Finder info: type, creator
inline constexpr uint32_t kRecFileCreator = 52;
inline constexpr uint32_t kHardLinkType = 0x686C6E6B;     // "hlnk"
inline constexpr uint32_t kHardLinkCreator = 0x6866732B;  // "hfs+"
inline constexpr uint32_t kRecDataFork = 88;

inline constexpr uint16_t kModeTypeMask = 0xF000;
inline constexpr uint16_t kModeRegular = 0x8000;

// Extents-overflow key (12 bytes with its length): key length (10), fork
// type (0 data, 0xFF resource), pad, file ID, first file block of the
// record; then eight extent descriptors.
inline constexpr uint32_t kEkKeyLength = 10;
inline constexpr uint32_t kEkForkType = 2;
inline constexpr uint32_t kEkFileId = 4;
inline constexpr uint32_t kEkStartBlock = 8;
inline constexpr uint32_t kExtentRecordOffset = 12;
inline constexpr uint8_t kDataFork = 0x00;

// Seconds between 1904-01-01 and 1970-01-01.
inline constexpr int64_t kHfsEpochShift = 2082844800;

}  // namespace lv::hfslayout
