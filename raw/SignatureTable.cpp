#include "raw/SignatureTable.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lv {

namespace {

// Index of the first byte that is not the wildcard; the length when all are.
size_t FirstSignificant(const MatchEntry& entry) {
  size_t k = 0;
  while (k < entry.length && entry.signature[k] == kAnyByte) ++k;
  return k;
}


#if defined(__x86_64__)
// The first position in [from, to) where the entry matches, found through
// its significant bytes k and k + 1 (a and b); `to` when there is none.
// Vector loads stay 1 byte short of limit - k; the rest is compared byte
// by byte.
const uint8_t* PairScanTail(const uint8_t* p, const uint8_t* to, const MatchEntry& e) {
  for (; p < to; ++p)
    if (SignatureTable::Matches(e, p)) return p;
  return to;
}

const uint8_t* PairScanSse2(const uint8_t* from, const uint8_t* to, const uint8_t* limit, size_t k, uint8_t a,
                            uint8_t b, const MatchEntry& e) {
  const __m128i first = _mm_set1_epi8(static_cast<char>(a)), second = _mm_set1_epi8(static_cast<char>(b));
  const uint8_t* p = from;
  for (; to - p >= 16 && limit - (p + k) >= 17; p += 16) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k + 1));
    for (unsigned mask = static_cast<unsigned>(
             _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(x, first), _mm_cmpeq_epi8(y, second))));
         mask != 0; mask &= mask - 1)
      if (SignatureTable::Matches(e, p + __builtin_ctz(mask))) return p + __builtin_ctz(mask);
  }
  return PairScanTail(p, to, e);
}

__attribute__((target("avx2"))) const uint8_t* PairScanAvx2(const uint8_t* from, const uint8_t* to,
                                                            const uint8_t* limit, size_t k, uint8_t a, uint8_t b,
                                                            const MatchEntry& e) {
  const __m256i first = _mm256_set1_epi8(static_cast<char>(a)), second = _mm256_set1_epi8(static_cast<char>(b));
  const uint8_t* p = from;
  for (; to - p >= 64 && limit - (p + k) >= 65; p += 64) {
    const uint8_t* q = p + k;
    const __m256i x0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    const __m256i y0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 1));
    const __m256i x1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32));
    const __m256i y1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 33));
    const auto low = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(x0, first), _mm256_cmpeq_epi8(y0, second))));
    const auto high = static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_and_si256(_mm256_cmpeq_epi8(x1, first), _mm256_cmpeq_epi8(y1, second))));
    for (uint64_t mask = uint64_t{low} | uint64_t{high} << 32; mask != 0; mask &= mask - 1)
      if (SignatureTable::Matches(e, p + __builtin_ctzll(mask))) return p + __builtin_ctzll(mask);
  }
  return PairScanTail(p, to, e);
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

bool SignatureTable::Matches(const MatchEntry& entry, const uint8_t* at) {
  for (size_t i = 0; i < entry.length; ++i)
    if (entry.signature[i] != kAnyByte && entry.signature[i] != at[i]) return false;
  return true;
}

void SignatureTable::Build(const std::vector<CarveRule>& rules) {
  ruleCount_ = std::min(rules.size(), kMaxRules);
  const size_t n = ruleCount_;
  entries_.assign(2 * n, MatchEntry{});
  endKey_.assign(n, -1);
  for (size_t r = 0; r < n; ++r) {
    const CarveRule& rule = rules[r];
    MatchEntry& start = entries_[r];
    start.length = std::min<uint8_t>(rule.startLength, sigrec::kSignatureBytes);
    start.ruleNumber = static_cast<uint8_t>(r);
    start.offset = static_cast<int16_t>(rule.startOffset);  // read from an int16
    start.signature = rule.startSignature;
    MatchEntry& end = entries_[n + r];
    end.length = std::min<uint8_t>(rule.endLength, sigrec::kSignatureBytes);
    end.ruleNumber = static_cast<uint8_t>(r);
    end.offset = 0;
    end.signature = rule.endSignature;
    if (end.length >= 2) endKey_[r] = static_cast<int>(FirstSignificant(end));
  }

  // Group the usable start entries by the sector byte that picks them.
  struct Keyed {
    int32_t position;
    int byte;  // -1: every byte (an all-wildcard signature)
    uint16_t id;
  };
  std::vector<Keyed> keyed;
  for (size_t r = 0; r < n; ++r) {
    const MatchEntry& e = entries_[r];
    const int64_t offset = rules[r].startOffset;
    if (e.length < 2 || offset < 0 || offset + e.length > int64_t{kCarveSector}) continue;
    const size_t k = FirstSignificant(e);
    if (k == e.length) keyed.push_back({e.offset, -1, static_cast<uint16_t>(r)});
    else keyed.push_back({e.offset + static_cast<int32_t>(k), e.signature[k], static_cast<uint16_t>(r)});
  }
  groups_.clear();
  ids_.clear();
  std::vector<int32_t> positions;
  for (const Keyed& k : keyed) positions.push_back(k.position);
  std::sort(positions.begin(), positions.end());
  positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
  for (const int32_t position : positions) {
    Group group;
    group.position = position;
    for (int b = 0; b < 256; ++b) {
      group.first[static_cast<size_t>(b)] = static_cast<uint32_t>(ids_.size());
      // keyed is in rule order, so each bucket is ascending.
      for (const Keyed& k : keyed)
        if (k.position == position && (k.byte == b || k.byte < 0)) ids_.push_back(k.id);
    }
    group.first[256] = static_cast<uint32_t>(ids_.size());
    for (int b = 0; b < 256; ++b)
      if (group.first[static_cast<size_t>(b)] != group.first[static_cast<size_t>(b) + 1])
        group.used[static_cast<size_t>(b) >> 6] |= uint64_t{1} << (b & 63);
    groups_.push_back(group);
  }
}

int SignatureTable::MatchStart(const uint8_t* sector) const {
  size_t best = SIZE_MAX;
  for (const Group& group : groups_) {
    const uint8_t b = sector[group.position];
    if ((group.used[b >> 6] >> (b & 63) & 1) == 0) continue;
    for (uint32_t i = group.first[b]; i < group.first[b + 1u]; ++i) {
      const uint16_t id = ids_[i];
      if (id >= best) break;
      const MatchEntry& e = entries_[id];
      if (Matches(e, sector + e.offset)) {
        best = id;
        break;
      }
    }
  }
  return best == SIZE_MAX ? -1 : entries_[best].ruleNumber;
}

const uint8_t* SignatureTable::FindEnd(size_t rule, const uint8_t* from, const uint8_t* to,
                                       const uint8_t* limit) const {
  if (rule >= ruleCount_ || endKey_[rule] < 0) return nullptr;
  const MatchEntry& e = entries_[ruleCount_ + rule];
  const size_t length = e.length;
  if (limit - from < static_cast<ptrdiff_t>(length)) return nullptr;
  // Last position at which the whole signature still lies in memory.
  to = std::min(to, limit - length + 1);
  const size_t k = static_cast<size_t>(endKey_[rule]);
  if (k == length) return from < to ? from : nullptr;  // all wildcards
  const uint8_t key = e.signature[k];
#if defined(__x86_64__)
  // Two significant bytes side by side: compare many positions at once for
  // both, so that a frequent first byte alone (0xFF in JPEG data) costs
  // nothing.
  if (k + 1 < length && e.signature[k + 1] != kAnyByte) {
    const uint8_t* p = HasAvx2() ? PairScanAvx2(from, to, limit, k, key, e.signature[k + 1], e)
                                 : PairScanSse2(from, to, limit, k, key, e.signature[k + 1], e);
    return p == to ? nullptr : p;
  }
#endif
  for (const uint8_t* p = from; p < to;) {
    const void* hit = std::memchr(p + k, key, static_cast<size_t>(to - p));
    if (!hit) return nullptr;
    const uint8_t* at = static_cast<const uint8_t*>(hit) - k;
    if (Matches(e, at)) return at;
    p = at + 1;
  }
  return nullptr;
}

}  // namespace lv
