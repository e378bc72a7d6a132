#include "fat/FatDirectory.h"

#include <array>

#include "fat/FatCommon.h"
#include "fat/FatLayout.h"

namespace lv {

using namespace fatlayout;

void LongNameRun::Reset() {
  slots_ = 0;
  expected_ = 0;
  deleted_ = broken_ = false;
}

void LongNameRun::Start(bool deleted, uint8_t checksum) {
  Reset();
  deleted_ = deleted;
  checksum_ = checksum;
}

void LongNameRun::Append(ByteView slot) {
  char16_t* out = characters_ + slots_ * kLongCharacters;
  size_t n = 0;
  for (const auto& piece : kLongPieces)
    for (size_t i = 0; i < piece[1]; ++i) out[n++] = slot.Le16(piece[0] + 2 * i);
  ++slots_;
}

void LongNameRun::Add(ByteView slot) {
  const uint8_t first = slot.U8(kSequence);
  const uint8_t checksum = slot.U8(kLongChecksum);
  if (first == kDeletedMark) {
    // Continues a deleted run of the same entry, or starts one.
    if (!(Active() && deleted_ && !broken_ && checksum == checksum_ && slots_ < kMaxLongSlots)) Start(true, checksum);
    Append(slot);
    return;
  }
  const uint8_t sequence = first & kSequenceMask;
  if (first & kLastSlotFlag) {
    if (sequence == 0 || sequence > kMaxLongSlots) {
      Reset();
      return;
    }
    Start(false, checksum);
  } else if (!Active() || deleted_ || broken_ || checksum != checksum_ || sequence == 0 || sequence != expected_) {
    // A slot out of its place breaks the run it would belong to.
    if (Active()) broken_ = true;
    return;
  }
  expected_ = static_cast<uint8_t>(sequence - 1);
  Append(slot);
}

std::u16string LongNameRun::Name() const {
  std::u16string name;
  for (size_t s = slots_; s-- > 0;) {
    const char16_t* part = characters_ + s * kLongCharacters;
    size_t n = 0;
    while (n < kLongCharacters && part[n] != 0) ++n;
    name.append(part, n);
    // A part that ends early ends the name.
    if (n < kLongCharacters) break;
  }
  return name;
}

bool LongNameRun::DeletedRunMatches(ByteView shortName) const {
  const std::u16string name = Name();
  // Short names drop leading dots and blanks and are upper case.
  size_t i = 0;
  while (i < name.size() && (name[i] == u'.' || name[i] == u' ')) ++i;
  std::array<uint8_t, kShortNameBytes> bytes{};
  for (size_t k = 0; k < kShortNameBytes; ++k) bytes[k] = shortName.U8(k);
  std::array<uint8_t, 2> guesses = {'_', '_'};
  if (i < name.size()) {
    char16_t c = name[i];
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    if (c < 0x80) guesses[0] = static_cast<uint8_t>(c);
  }
  for (uint8_t guess : guesses) {
    bytes[0] = guess;
    if (ShortNameChecksum(ByteView(bytes.data(), bytes.size())) == checksum_) return true;
  }
  return false;
}

bool LongNameRun::Take(ByteView slot, std::u16string& name, bool& deleted) {
  const bool active = Active();
  bool ok = false;
  if (active && !broken_) {
    const ByteView shortName = slot.Sub(kName, kShortNameBytes);
    if (deleted_) {
      ok = slot.U8(kName) == kDeletedMark && DeletedRunMatches(shortName);
    } else {
      ok = expected_ == 0 && ShortNameChecksum(shortName) == checksum_;
    }
  }
  if (ok) {
    name = Name();
    deleted = deleted_;
    ok = !name.empty();
  }
  Reset();
  return ok;
}

}  // namespace lv
