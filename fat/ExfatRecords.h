// exFAT directory entry sets and timestamps: the decoding of one file's
// set of entries (file entry, stream extension, file name entries) into an
// ExFatEntryRecord, and of the 32-bit timestamps it carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/ByteView.h"
#include "common/DisplayText.h"
#include "common/EntryData.h"

namespace lv {

// One file or folder found in a directory, live or deleted. Links are table
// indexes; 0 is no link (index 0 is the root placeholder, never a child).
struct ExFatEntryRecord {
  uint8_t entryType = 0;  // 0x85 in use, 0x05 deleted
  uint16_t attributes = 0;
  uint32_t createTimestamp = 0;
  uint32_t modifyTimestamp = 0;
  uint32_t accessTimestamp = 0;
  uint8_t create10ms = 0;
  uint8_t modify10ms = 0;
  uint8_t createUtcOffset = 0;
  uint8_t modifyUtcOffset = 0;
  uint8_t accessUtcOffset = 0;
  uint8_t streamType = 0;      // 0xC0 or 0x40; 0 when the set has no stream extension
  uint8_t secondaryFlags = 0;  // bit 0 allocation possible, bit 1 NoFatChain
  uint8_t nameLength = 0;
  uint64_t validDataLength = 0;
  uint32_t firstCluster = 0;
  uint64_t dataLength = 0;
  std::u16string_view name;  // view into the engine's name store
  int32_t parentIndex = 0;
  int32_t ownIndex = 0;
  int32_t firstChild = 0;
  int32_t nextSibling = 0;

  bool IsDeleted() const { return entryType == 0x05; }
  // Any attribute word with the directory bit: a folder.
  bool IsFolder() const { return (attributes & 0x10) != 0; }
  bool NoFatChain() const { return (secondaryFlags & 0x02) != 0; }
};

// What one entry at the start of `slots` is.
enum class SlotKind : uint8_t {
  FileSet,  // a file entry (0x85, 0x05) and the entries that belong to it
  Bitmap,   // the allocation bitmap entry (0x81)
  Other,    // anything else: one entry, skipped
};

struct DecodedSlot {
  SlotKind kind = SlotKind::Other;
  size_t entries = 1;  // entries consumed, at least 1
  // Bitmap: its first cluster and length in bytes.
  uint32_t bitmapCluster = 0;
  uint64_t bitmapBytes = 0;
};

// Decodes the entry at the start of `slots` (whole 32-byte entries; a set
// that runs past the end of the view takes what is there). For a file set,
// `record` gets the file entry's and the stream extension's fields (all
// zero when there is none) and `name` the name: the characters of the name
// entries that follow, each entry's cut at its first NUL, at most 32
// entries and no more than the set's secondary count allows, then cut at
// the stream's name length. The record's links are left at 0.
DecodedSlot DecodeSlot(ByteView slots, ExFatEntryRecord& record, std::u16string& name);

// The fields of a timestamp as stored: DOS date in the high half (year -
// 1980 in bits 9..15, month 5..8, day 0..4), DOS time in the low half
// (hour 11..15, minute 5..10, two-second count 0..4). Nothing is checked.
CivilTime ExfatTimestampFields(uint32_t timestamp);
// The list's text of a timestamp, the fields as stored.
std::wstring ExfatTimestampText(uint32_t timestamp);

// A saved file's time for a timestamp, its 10 ms increment and its UTC
// offset byte. exFAT records the wall-clock time of the writer and, when
// bit 7 of the offset byte is set, that clock's offset from UTC: the time
// is then exact and is converted with that offset. Without a valid offset
// the time is read in the current time zone, as DOS times are. nullopt for
// a date or time that names no moment (month 0, day 31 of a 30-day month,
// hour 24 and the like).
std::optional<UnixTime> ExfatTimestampToUnix(uint32_t timestamp, uint8_t increment10ms, uint8_t utcOffset);

// The access and modification times a saved file gets, each converted on
// its own: an invalid access time takes the modification time; without a
// valid modification time the file is not stamped.
std::optional<FileTimes> ExfatFileTimes(const ExFatEntryRecord& record);

}  // namespace lv
