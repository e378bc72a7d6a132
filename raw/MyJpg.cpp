#include "raw/MyJpg.h"

#include <algorithm>
#include <cstring>

#include "disk/VolumeView.h"
#include "raw/ChunkPrefetch.h"
#include "raw/JpegHeader.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {

constexpr int64_t kSector = static_cast<int64_t>(kCarveSector);

// How far a find without a size moves the scan: the skip size in whole
// sectors when it is more than one sector, else one sector.
int64_t Step(int64_t skipSize) { return skipSize > kSector ? skipSize / kSector * kSector : kSector; }

}  // namespace

void myJpg::AddItem(size_t rule, int64_t start, int64_t size) {
  items.push_back({start, size, static_cast<int>(rule)});
  int64_t& count = categoryCounts[rules[rule].category];
  ++count;
  if (observer) observer->ItemCreated(items.size() - 1, rules[rule], count);
}

// The run. Positions are byte offsets from the range's start; the scan
// examines one sector at `pos` at a time and each case below says where the
// next examined sector lies, in this chunk or a later one. Deliberate
// choices where the classic behaviour loses files or cuts them wrongly:
// - an end signature is looked for at every byte of a sector while its rule
//   has a pending start, not only at the sector's first byte: files end
//   anywhere in their last sector;
// - an end find moves the scan on by its skip (one sector without one), so
//   a file that starts in the sector after another's end is still found;
// - a size-field find takes the header's size (plus the header when the
//   size does not count it) as the item's size and goes on at the first
//   sector after the item, also when that lies in a later chunk;
// - the last chunk may be partial: the range is scanned to its last whole
//   sector, and no item reaches past the range's end; on a source of
//   unknown size the range ends with the chunk the source ends in, or
//   before the first chunk that cannot be read at all;
// - a chunk that cannot be read is read again in pieces and sector by
//   sector; sectors that stay unreadable are skipped and counted (chunks
//   are read ahead, two at a time where the source allows, see
//   ChunkPrefetch);
// - starts whose end never came are measured, at the end of the scan,
//   against the next start found after them (of any rule): the item ends
//   where the next file begins; the latest start takes approxSize. Sizes
//   stay within approxSize when it is given and within the range; a size of
//   0 makes no item;
// - a JPEG's end is looked for only past its header segments (JpegHeader.h),
//   so an Exif thumbnail's end does not cut the photo.
bool myJpg::Run() {
  items.clear();
  categoryCounts.clear();
  unreadableSectors = 0;
  scannedRange = 0;

  SignatureTable table;
  table.Build(rules);
  const size_t n = table.RuleCount();
  // A pending start, and the next start found after it (of any rule; -1
  // while none was): at the end of the scan the item ends there.
  // A JPEG start also keeps where its end may begin (endFrom: past its
  // header segments, walked as far as the chunks read so far reach).
  struct Pending {
    int64_t start;
    int64_t next;
    int64_t endFrom;
    bool walking;
  };
  std::vector<std::vector<Pending>> pending(n);
  std::vector<uint8_t> active;  // rules with pending starts, in rule order
  // The latest pending start, the only one that can still lack a next.
  size_t awaitingRule = SIZE_MAX;
  // Per rule: where its end signature next begins in chunk endChunk, as far
  // as searched (kNoEnd: not before the chunk's end).
  constexpr int64_t kNoEnd = INT64_MAX;
  std::vector<int64_t> nextEnd(n, kNoEnd), endChunk(n, -1);
  std::vector<uint8_t> jpeg(n);
  for (size_t r = 0; r < n; ++r) {
    const CarveRule& rule = rules[r];
    categoryCounts[rule.category] = 0;
    jpeg[r] = IsJpegRule(rule.startSignature.data(), rule.startLength, rule.startOffset, rule.endSignature.data(),
                         rule.endLength);
  }
  // A header longer than this is not walked further: its end search begins
  // where the walk stopped.
  constexpr int64_t kJpegHeaderLimit = 4 * (1 << 20);
  if (observer) observer->RunStarted(rules);

  sink_.ProgressRange(0, 1000);
  VolumeView view(reader_, startSector);
  const bool sizeUnknown = view.Valid() && view.AvailableBytes() == UINT64_MAX;
  uint64_t range = view.Valid() ? std::min(bytesToScan, view.AvailableBytes()) : 0;
  range = std::min<uint64_t>(range, static_cast<uint64_t>(INT64_MAX) - kCarveChunk);
  ChunkPrefetch chunkReader(view, range, kCarveChunk);
  if (!chunkReader.Ready()) return false;
  const int64_t chunks = static_cast<int64_t>((range + kCarveChunk - 1) / kCarveChunk);
  sink_.ProgressRange(0, chunks);

  ChunkPrefetch::Chunk chunk;
  int64_t loaded = -1;
  uint64_t pos = 0;
  auto leftFrom = [&](int64_t at) { return static_cast<int64_t>(range) - at; };

  while (pos + kCarveSector <= range) {
    const int64_t c = static_cast<int64_t>(pos / kCarveChunk);
    if (c != loaded) {
      sink_.ProgressPosition(c);
      if (StopPolled(stopRequested, gate)) break;
      chunk = chunkReader.Get(c);
      if (!chunk.positioned) {
        range = static_cast<uint64_t>(c) * kCarveChunk;
        break;
      }
      // A source of unknown size is scanned to the chunk it ends in, or to
      // the first chunk of which nothing can be read (a pipe reads nothing).
      const uint64_t chunkStart = static_cast<uint64_t>(c) * kCarveChunk;
      uint64_t end = range;
      if (chunk.endOfSource) end = chunkStart + chunk.length;
      else if (sizeUnknown && chunk.unreadableCount * kCarveSector >= chunk.length) end = chunkStart;
      if (end < range) {
        range = end;
        for (CarvedItem& item : items) item.size = std::min(item.size, leftFrom(item.startOffset));
        if (end == chunkStart) break;
      }
      unreadableSectors += chunk.unreadableCount;
      loaded = c;
    }
    const uint64_t o = pos - static_cast<uint64_t>(c) * kCarveChunk;
    const uint8_t* sector = chunk.data + o;
    const auto p = static_cast<int64_t>(pos);
    int64_t next = p + kSector;

    if (!(chunk.unreadable && chunk.unreadable[o / kCarveSector])) {
      if (const int r = table.MatchStart(sector); r >= 0) {
        const CarveRule& rule = rules[static_cast<size_t>(r)];
        if (awaitingRule != SIZE_MAX) pending[awaitingRule].back().next = p;
        awaitingRule = SIZE_MAX;
        if (rule.HasEnd()) {
          if (pending[static_cast<size_t>(r)].empty())
            active.insert(std::upper_bound(active.begin(), active.end(), r), static_cast<uint8_t>(r));
          Pending start{p, -1, p, false};
          if (jpeg[static_cast<size_t>(r)]) {
            const JpegWalk walk = WalkJpegHeader(sector + 2, chunk.length - o - 2);
            start.endFrom = p + 2 + static_cast<int64_t>(walk.advanced);
            start.walking = walk.needMore;
          }
          pending[static_cast<size_t>(r)].push_back(start);
          endChunk[static_cast<size_t>(r)] = -1;
          awaitingRule = static_cast<size_t>(r);
        } else if (!rule.HasSizeField()) {
          AddItem(static_cast<size_t>(r), p, std::min(rule.approxSize > 0 ? rule.approxSize : 0, leftFrom(p)));
          next = p + Step(rule.skipSize);
        } else {
          // The size field and the header span before it must lie in the
          // sector; a field of another width than 4 bytes gives no item.
          const int64_t header = rule.sizeIncludesHeader ? 0 : rule.headerSize;
          const int64_t span = int64_t{rule.sizeOffset} + rule.sizeWidth + header;
          if (rule.sizeWidth == 4 && rule.sizeOffset >= 0 && rule.sizeOffset + 4 <= kSector && span <= kSector) {
            const uint8_t* field = sector + rule.sizeOffset;
            int64_t stated = static_cast<int32_t>(uint32_t{field[0]} | uint32_t{field[1]} << 8 |
                                                  uint32_t{field[2]} << 16 | uint32_t{field[3]} << 24);
            if (rule.approxSize < stated) stated = 0;
            if (stated > 0) {
              const int64_t size = std::min(stated + std::max<int64_t>(header, 0), leftFrom(p));
              AddItem(static_cast<size_t>(r), p, size);
              next = p + std::max(kSector, (size + kSector - 1) / kSector * kSector);
            }
          }
        }
      } else if (!active.empty()) {
        const uint8_t* limit = chunk.data + chunk.length;
        for (size_t a = 0; a < active.size(); ++a) {
          const size_t r = active[a];
          Pending& last = pending[r].back();
          const int64_t chunkStart = c * static_cast<int64_t>(kCarveChunk);
          const int64_t chunkEnd = chunkStart + static_cast<int64_t>(chunk.length);
          // A header walk that ran past its chunk goes on in this one (the
          // walk's bytes are gone when a chunk was passed without it).
          if (last.walking && last.endFrom < chunkEnd) {
            last.walking = last.endFrom >= chunkStart && last.endFrom - last.start < kJpegHeaderLimit;
            if (last.walking) {
              const JpegWalk walk = WalkJpegHeader(chunk.data + (last.endFrom - chunkStart),
                                                   static_cast<uint64_t>(chunkEnd - last.endFrom));
              last.endFrom += static_cast<int64_t>(walk.advanced);
              last.walking = walk.needMore;
            }
            endChunk[r] = -1;
          }
          // One search from where an end may begin to the chunk's end serves
          // every sector until the signature found (or the chunk's end) is
          // passed.
          const int64_t from = std::max(p, last.endFrom);
          if (endChunk[r] != c || (nextEnd[r] != kNoEnd && nextEnd[r] < from)) {
            const uint8_t* hit = from < chunkEnd ? table.FindEnd(r, chunk.data + (from - chunkStart), limit, limit) : nullptr;
            nextEnd[r] = hit ? chunkStart + (hit - chunk.data) : kNoEnd;
            endChunk[r] = c;
          }
          if (nextEnd[r] == kNoEnd || nextEnd[r] >= p + kSector) continue;
          const CarveRule& rule = rules[r];
          const int64_t s = pending[r].back().start;
          const int64_t q = nextEnd[r];
          int64_t size = q + rule.endLength - s + 1;
          if (rule.approxSize > 0 && size > rule.approxSize) size = rule.approxSize;
          AddItem(r, s, std::min(size, leftFrom(s)));
          pending[r].pop_back();
          endChunk[r] = -1;
          if (awaitingRule == r) awaitingRule = SIZE_MAX;
          if (pending[r].empty()) active.erase(active.begin() + static_cast<ptrdiff_t>(a));
          next = p + Step(rule.skipSize);
          break;
        }
      }
    }
    if (StopPolled(stopRequested, gate)) break;
    if (next < 0 || static_cast<uint64_t>(next) <= pos) break;  // cannot happen; never loop
    pos = static_cast<uint64_t>(next);
  }
  scannedRange = range;
  sink_.ProgressPosition(chunks);

  for (size_t r = 0; r < n; ++r) {
    const CarveRule& rule = rules[r];
    std::vector<Pending>& list = pending[r];
    while (!list.empty()) {
      const Pending start = list.back();
      list.pop_back();
      const int64_t s = start.start;
      int64_t size = start.next >= 0 ? start.next - s : std::max<int64_t>(rule.approxSize, 0);
      if (rule.approxSize > 0) size = std::min(size, rule.approxSize);
      size = std::min(size, leftFrom(s));
      if (size > 0) AddItem(r, s, size);
    }
  }
  ShowPlain(L"done..");
  return true;
}

}  // namespace lv
