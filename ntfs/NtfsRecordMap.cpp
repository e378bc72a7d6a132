#include "ntfs/NtfsRecordMap.h"

#include <algorithm>

namespace lv {

void ExtensionRecordMap::Clear() { std::vector<Record>().swap(records_); }

void ExtensionRecordMap::Add(uint64_t number, uint64_t base, uint64_t offset) {
  if (number > UINT32_MAX || base > UINT32_MAX) return;
  records_.push_back({offset, static_cast<uint32_t>(number), static_cast<uint32_t>(base)});
}

void ExtensionRecordMap::Seal() {
  std::sort(records_.begin(), records_.end(), [](const Record& a, const Record& b) {
    return a.number != b.number ? a.number < b.number : a.offset < b.offset;
  });
}

std::optional<uint64_t> ExtensionRecordMap::Find(uint64_t number, uint64_t base, uint64_t near) const {
  if (number > UINT32_MAX || base > UINT32_MAX) return std::nullopt;
  auto it = std::lower_bound(records_.begin(), records_.end(), number,
                             [](const Record& r, uint64_t n) { return r.number < n; });
  std::optional<uint64_t> best;
  uint64_t bestDistance = 0;
  for (; it != records_.end() && it->number == number; ++it) {
    if (it->base != base) continue;
    const uint64_t distance = it->offset > near ? it->offset - near : near - it->offset;
    if (!best || distance < bestDistance) {
      best = it->offset;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace lv
