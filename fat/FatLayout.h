// On-disk layout of FAT directory entries:
// the 32-byte short entry and the long-name slot, and the attribute bits.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lv::fatlayout {

inline constexpr size_t kSlotBytes = 32;

// Short (8.3) entry.
inline constexpr size_t kName = 0;  // 11 bytes
inline constexpr size_t kAttributes = 11;
inline constexpr size_t kCaseFlags = 12;
inline constexpr size_t kCreationTenths = 13;
inline constexpr size_t kCreationTime = 14;
inline constexpr size_t kCreationDate = 16;
inline constexpr size_t kAccessDate = 18;
inline constexpr size_t kClusterHigh = 20;
inline constexpr size_t kWriteTime = 22;
inline constexpr size_t kWriteDate = 24;
inline constexpr size_t kClusterLow = 26;
inline constexpr size_t kSize = 28;

// Long-name slot: 13 UTF-16 characters in three pieces.
inline constexpr size_t kSequence = 0;
inline constexpr size_t kLongChecksum = 13;
inline constexpr size_t kLongPieces[3][2] = {{1, 5}, {14, 6}, {28, 2}};  // offset, characters
inline constexpr size_t kLongCharacters = 13;
inline constexpr uint8_t kLastSlotFlag = 0x40;
inline constexpr uint8_t kSequenceMask = 0x1F;
// 255 characters need 20 slots.
inline constexpr size_t kMaxLongSlots = 20;

// Attribute byte.
inline constexpr uint8_t kReadOnly = 0x01;
inline constexpr uint8_t kHidden = 0x02;
inline constexpr uint8_t kSystem = 0x04;
inline constexpr uint8_t kVolumeLabel = 0x08;
inline constexpr uint8_t kDirectory = 0x10;
inline constexpr uint8_t kArchive = 0x20;
inline constexpr uint8_t kLongName = 0x0F;

// The attribute values the engines take for folders: the directory bit with
// read-only, hidden and system in any combination but all three, or with
// the archive bit alone.
inline constexpr bool IsFolderAttribute(uint8_t a) { return (a >= 0x10 && a <= 0x16) || a == 0x30; }

}  // namespace lv::fatlayout
