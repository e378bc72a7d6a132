// Where the extension records of a deep scan lie, by record number.
//
// A deep scan keeps records in the order it finds them, so a record number
// (an attribute list's reference) is no table position. A volume can also
// hold several records of one number: stale copies of an earlier MFT, or
// the copies in the MFT mirror. A lookup therefore takes, among the
// extension records of that number that name the asking record as their
// base, the one nearest to it on the volume (an MFT's records lie
// together).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace lv {

class ExtensionRecordMap {
 public:
  void Clear();
  // A record found at `offset` whose header gives its own number and that
  // of its base record. Numbers beyond 32 bits are not kept (no MFT has
  // that many records).
  void Add(uint64_t number, uint64_t base, uint64_t offset);
  // Orders the records for lookups; Add after Seal needs another Seal.
  void Seal();
  // The offset of the extension record `number` of base record `base`
  // nearest to `near`.
  std::optional<uint64_t> Find(uint64_t number, uint64_t base, uint64_t near) const;
  size_t size() const { return records_.size(); }

 private:
  struct Record {
    uint64_t offset;
    uint32_t number;
    uint32_t base;
  };
  std::vector<Record> records_;
};

}  // namespace lv
