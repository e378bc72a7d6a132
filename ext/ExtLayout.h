// On-disk layout of ext2, ext3 and ext4 (little-endian offsets).
#pragma once

#include <cstdint>

namespace lv::extlayout {

// Superblock, 1024 bytes at byte 1024 of the volume (backups at the start
// of some block groups).
inline constexpr uint64_t kSuperblockOffset = 1024;
inline constexpr uint32_t kSuperblockBytes = 1024;
inline constexpr uint32_t kSbInodesCount = 0;
inline constexpr uint32_t kSbBlocksCountLo = 4;
inline constexpr uint32_t kSbFirstDataBlock = 20;
inline constexpr uint32_t kSbLogBlockSize = 24;
inline constexpr uint32_t kSbBlocksPerGroup = 32;
inline constexpr uint32_t kSbInodesPerGroup = 40;
inline constexpr uint32_t kSbMagic = 56;
inline constexpr uint32_t kSbRevLevel = 76;
inline constexpr uint32_t kSbFirstIno = 84;
inline constexpr uint32_t kSbInodeSize = 88;
inline constexpr uint32_t kSbFeatureCompat = 92;
inline constexpr uint32_t kSbFeatureIncompat = 96;
inline constexpr uint32_t kSbFeatureRoCompat = 100;
inline constexpr uint32_t kSbDescSize = 0xFE;
inline constexpr uint32_t kSbBlocksCountHi = 0x150;
inline constexpr uint16_t kMagic = 0xEF53;

inline constexpr uint32_t kCompatHasJournal = 0x4;
inline constexpr uint32_t kIncompatFileType = 0x2;
inline constexpr uint32_t kIncompatExtents = 0x40;
inline constexpr uint32_t kIncompat64Bit = 0x80;
inline constexpr uint32_t kIncompatFlexBg = 0x200;
inline constexpr uint32_t kIncompatInlineData = 0x8000;
inline constexpr uint32_t kRoCompatGdtCsum = 0x10;
inline constexpr uint32_t kRoCompatMetadataCsum = 0x400;

// Group descriptor (32 bytes, or s_desc_size with the 64bit feature).
inline constexpr uint32_t kGdInodeTableLo = 8;
inline constexpr uint32_t kGdFlags = 0x12;
inline constexpr uint32_t kGdItableUnusedLo = 0x1C;
inline constexpr uint32_t kGdInodeTableHi = 0x28;
inline constexpr uint32_t kGdItableUnusedHi = 0x32;
inline constexpr uint16_t kGdInodeUninit = 0x1;

// Inode.
inline constexpr uint32_t kInMode = 0;
inline constexpr uint32_t kInSizeLo = 4;
inline constexpr uint32_t kInAtime = 8;
inline constexpr uint32_t kInCtime = 12;
inline constexpr uint32_t kInMtime = 16;
inline constexpr uint32_t kInDtime = 20;
inline constexpr uint32_t kInLinks = 26;
inline constexpr uint32_t kInFlags = 32;
inline constexpr uint32_t kInBlock = 40;  // 60 bytes: block map, extent root or inline data
inline constexpr uint32_t kInBlockBytes = 60;
inline constexpr uint32_t kInSizeHigh = 108;
inline constexpr uint32_t kInExtraIsize = 128;
inline constexpr uint32_t kInCtimeExtra = 0x84;
inline constexpr uint32_t kInMtimeExtra = 0x88;
inline constexpr uint32_t kInAtimeExtra = 0x8C;
inline constexpr uint32_t kGoodOldInodeSize = 128;

inline constexpr uint32_t kFlagExtents = 0x80000;
inline constexpr uint32_t kFlagInlineData = 0x10000000;

inline constexpr uint16_t kTypeMask = 0xF000;
inline constexpr uint16_t kTypeDirectory = 0x4000;
inline constexpr uint16_t kTypeRegular = 0x8000;
inline constexpr uint16_t kTypeSymlink = 0xA000;

// Extent tree: a 12-byte header, then 12-byte entries.
inline constexpr uint16_t kExtentMagic = 0xF30A;
inline constexpr uint32_t kEhMagic = 0, kEhEntries = 2, kEhMax = 4, kEhDepth = 6;
inline constexpr uint32_t kExtentEntryBytes = 12;
inline constexpr uint32_t kMaxExtentDepth = 5;
inline constexpr uint16_t kMaxInitializedExtent = 32768;

// In-inode extended attributes (where inline data keeps what does not fit
// into the 60 bytes of the block field).
inline constexpr uint32_t kXattrMagic = 0xEA020000;
inline constexpr uint8_t kXattrIndexSystem = 7;

inline constexpr uint32_t kRootInode = 2;

}  // namespace lv::extlayout
