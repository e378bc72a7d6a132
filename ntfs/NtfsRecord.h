// Decoding of one 1024-byte MFT record: the update-sequence fix-up, the
// attribute-header walk, and checked views of an attribute's parts.
//
// Every function here works on bytes already in memory and checks every
// offset and length against the record before reading; a damaged record
// yields fewer attributes or empty views, never a read outside the record.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "common/ByteView.h"
#include "ntfs/Ntfs.h"
#include "ntfs/NtfsLayout.h"

namespace lv {

// Writes the fixed-up copy of a 1024-byte record: the raw bytes with the
// last two bytes of each 512-byte sector replaced from the update-sequence
// array. Entries or sector ends outside the record are left alone; the
// update-sequence number itself is not compared (a torn record is still
// read as well as it can be).
void ApplyFixups(std::span<const uint8_t, kMftRecordSize> raw, std::span<uint8_t, kMftRecordSize> out);

// One attribute of a record, as the walk finds it.
struct AttributeView {
  uint32_t position = 0;  // offset of the attribute in the record
  uint32_t type = 0;
  uint32_t length = 0;    // the length field's low 16 bits
  ByteView header;        // up to 64 bytes from `position`, inside the record
  ByteView extent;        // the attribute's bytes, cut at the record's end

  bool NonResident() const { return header.U8(ntfs_layout::kAttrNonResident) != 0; }
  uint8_t NameLength() const { return header.U8(ntfs_layout::kAttrNameLength); }
  uint16_t Flags() const { return header.Le16(ntfs_layout::kAttrFlags); }
};

// Walks the attribute headers of a (fixed-up) record from its
// first-attribute offset. A header is taken while its position is inside
// the record and at least the 24 bytes of the smallest header fit; the walk
// ends after the end marker (type 0xFFFFFFFF) or an attribute whose length
// is 0, and when the next position leaves the record.
class AttributeWalker {
 public:
  explicit AttributeWalker(ByteView record);
  std::optional<AttributeView> Next();

 private:
  ByteView record_;
  uint32_t position_ = 0;
  bool done_ = false;
};

// Fills `out` with the 64-byte header copies of the record's attributes, in
// record order (the part of a header that lies past the record's end reads
// as zeros).
void CollectAttributeHeaders(ByteView record, std::vector<AttributeHeader>& out);

// The attribute of a header copy, reconstructed over the record it came from.
AttributeView ViewOf(ByteView record, const AttributeHeader& header);

// The content of a resident attribute: from position + content offset,
// `contentLength` bytes, cut at the end of `limit` (the record or the
// attribute). Empty when the content starts outside the limit.
ByteView ResidentContent(ByteView record, const AttributeView& attribute, bool cutAtAttribute);

// The number of the base record an extension record belongs to (the low 48
// bits of the reference at 0x20); 0 for a base record.
uint64_t BaseRecordNumber(ByteView header);
// The record's own number from its header: NTFS 3.1 records keep it at
// 0x2C, just before an update-sequence array at 0x30 or later; older
// records have none.
std::optional<uint32_t> HeaderRecordNumber(ByteView header);
// Whether a (fixed-up) record has an attribute of this type.
bool HasAttribute(ByteView record, uint32_t type);
// Calls `entry` with the type, name length and record number (48 bits) of
// every entry of an attribute list, in list order, up to the end marker or
// the first entry that does not fit the list.
void ForEachAttributeListEntry(ByteView list,
                               const std::function<void(uint32_t type, uint8_t nameLength, uint64_t record)>& entry);

}  // namespace lv
