// The carving engine's signature table and sector classifier.
//
// Entries 0..n-1 hold the rules' start signatures at their start offsets,
// entries n..2n-1 their end signatures. A signature byte 0x2A matches any
// byte, and a signature shorter than 2 bytes never matches. The first
// matching start entry decides a sector, so earlier rules win.
//
// Start signatures are looked up through a first-byte table per sector
// position instead of a walk over every entry: a sector costs a few table
// reads, however many rules are loaded, and only entries whose first
// significant byte is the sector's byte there are compared.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "raw/SignatureRecord.h"

namespace lv {

inline constexpr uint8_t kAnyByte = 0x2A;
inline constexpr size_t kCarveSector = 512;

struct MatchEntry {
  uint8_t length = 0;      // signature bytes; 0 = none
  uint8_t ruleNumber = 0;
  int16_t offset = 0;      // position in the sector of the first byte
  std::array<uint8_t, sigrec::kSignatureBytes> signature{};
  uint8_t unused[2] = {0, 0};
};
static_assert(sizeof(MatchEntry) == 16);

class SignatureTable {
 public:
  // Builds the table of the rules (their positions are their rule numbers).
  // A start signature that does not lie inside the sector (negative offset,
  // offset plus length past byte 512) or is shorter than 2 bytes never
  // matches; rules past the 128 the engine supports are left out.
  void Build(const std::vector<CarveRule>& rules);

  size_t RuleCount() const { return ruleCount_; }
  const std::vector<MatchEntry>& Entries() const { return entries_; }

  // The rule whose start signature the 512-byte sector holds (the first in
  // rule order), or -1.
  int MatchStart(const uint8_t* sector) const;
  // Whether the rule has an end signature that can match.
  bool HasEnd(size_t rule) const { return endKey_[rule] >= 0; }
  // The first position in [from, to) where the rule's end signature begins
  // and fits before `limit` (the end of the bytes in memory); null if none.
  const uint8_t* FindEnd(size_t rule, const uint8_t* from, const uint8_t* to, const uint8_t* limit) const;

  // Whether the entry's signature is at `at` (length bytes readable there).
  static bool Matches(const MatchEntry& entry, const uint8_t* at);

 private:

  struct Group {
    int32_t position = 0;  // sector byte the bucket is chosen by
    std::array<uint64_t, 4> used{};     // bit b: bucket b is not empty
    std::array<uint32_t, 257> first{};  // bucket b: ids_[first[b] .. first[b+1])
  };
  std::vector<MatchEntry> entries_;
  size_t ruleCount_ = 0;
  std::vector<Group> groups_;
  std::vector<uint16_t> ids_;  // start entry numbers, ascending in each bucket
  // Per rule: index of the first significant byte of its end signature, -1
  // when it has none that can match.
  std::vector<int> endKey_;
};

}  // namespace lv
