// Directory slots: the long-name run that precedes a short entry, checked
// against it before its name is used.
#pragma once

#include <cstdint>
#include <string>

#include "common/ByteView.h"

namespace lv {

// Gathers the long-name slots (attribute 0x0F) that come before a short
// entry. A live run is numbered: its first slot carries the last-slot flag
// and the count, and the others count down to 1; a deleted run has lost its
// numbers to the deletion mark and is taken in disk order. Every slot of a
// run carries the checksum of its short name, so a run whose checksum does
// not match the entry that follows belongs to an entry since overwritten and
// is dropped.
class LongNameRun {
 public:
  void Reset();
  void Add(ByteView slot);
  bool Active() const { return slots_ > 0; }

  // The long name of the short entry `slot` (32 bytes), and whether the run
  // was deleted; false when there is no complete run with its checksum. The
  // run is used up either way.
  bool Take(ByteView slot, std::u16string& name, bool& deleted);

 private:
  // A deleted run's checksum is taken with the lost first byte of the short
  // name guessed from the long name (as the short name was made from it).
  bool DeletedRunMatches(ByteView shortName) const;
  void Start(bool deleted, uint8_t checksum);
  void Append(ByteView slot);
  std::u16string Name() const;

  // The slots' characters in disk order (the last part of the name first).
  char16_t characters_[20 * 13] = {};
  size_t slots_ = 0;
  uint8_t checksum_ = 0;
  uint8_t expected_ = 0;  // a live run: the sequence number of the next slot
  bool deleted_ = false;
  bool broken_ = false;
};

}  // namespace lv
