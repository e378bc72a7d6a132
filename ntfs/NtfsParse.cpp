// Parsing MFT records into the entry table: names, parents, directory kind,
// the child chains, ORPHAN_ENTRY and the root; and the per-entry questions
// asked later (times and attribute letters, record header, data summary).
#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

#include "common/Text.h"
#include "ntfs/Ntfs.h"
#include "ntfs/NtfsLayout.h"
#include "ntfs/NtfsRecord.h"

namespace lv {

using namespace ntfs_layout;

namespace {

constexpr uint32_t kBatchRecords = 1024;   // records per read request (1 MiB)
constexpr int64_t kStatusEvery = 256;      // records between two status texts
constexpr int64_t kDeepDirectoryLimit = 100000;

const wchar_t* const kCompressed = L"Compressed";
const wchar_t* const kEncrypted = L"Encrypted";
const wchar_t* const kNormal = L"Normal";

}  // namespace

// ---------------------------------------------------------------------------
// Link bookkeeping: for each entry the chain it was linked into and, for each
// parent, the last entry of its chain, so that appending is O(1) and a link
// that would close a loop is refused.

void ntfs::ResetLinkState() {
  // Freed, not only emptied: the tree that comes next needs the room.
  std::vector<NtfsIndex>().swap(lastChild_);
  std::vector<NtfsIndex>().swap(linkedUnder_);
}

void ntfs::EnsureLinkState() {
  if (lastChild_.size() < entries.size()) lastChild_.resize(entries.size(), 0);
  if (linkedUnder_.size() < entries.size()) linkedUnder_.resize(entries.size(), -1);
}

void ntfs::DropLastEntry() {
  if (entries.empty()) return;
  const size_t last = entries.size() - 1;
  if (last < lastChild_.size()) lastChild_[last] = 0;
  if (last < linkedUnder_.size()) linkedUnder_[last] = -1;
  entries.pop_back();
}

void ntfs::MarkLinked(int64_t child, int64_t parent) {
  EnsureLinkState();
  linkedUnder_[static_cast<size_t>(child)] = parent;
  lastChild_[static_cast<size_t>(parent)] = child;
}

bool ntfs::WouldCycle(int64_t child, int64_t parent) const {
  if (entries[static_cast<size_t>(child)].firstChild == 0) return false;  // nothing below the child
  const int64_t n = static_cast<int64_t>(entries.size());
  int64_t current = parent;
  for (int64_t steps = 0; steps <= n; ++steps) {
    if (current == child) return true;
    if (current < 0 || current >= n || static_cast<size_t>(current) >= linkedUnder_.size()) return false;
    current = linkedUnder_[static_cast<size_t>(current)];
  }
  return true;
}

void ntfs::LinkToParent(int64_t index) {
  const int64_t n = static_cast<int64_t>(entries.size());
  if (index <= 0 || index >= n) return;
  EnsureLinkState();
  NtfsEntryRecord& e = entries[static_cast<size_t>(index)];
  if (e.selfIndex <= 0 || e.selfIndex >= n) return;
  const int64_t p = e.parentIndex;
  if (p < 0 || p >= n || p == index) return;
  NtfsEntryRecord& parent = entries[static_cast<size_t>(p)];
  const int64_t first = p != 0 ? parent.firstChild : 0;
  if (first == 0) {
    if (WouldCycle(index, p)) {
      e.isOrphan = 1;
      return;
    }
    parent.firstChild = index;
    MarkLinked(index, p);
    return;
  }
  if (first < 0 || first >= n) return;
  if (!entries[static_cast<size_t>(first)].IsFileRecord()) {
    // The chain starts at a record that is not a file record: rather than
    // linking into it, keep the entry reachable under ORPHAN_ENTRY.
    e.isOrphan = 1;
    return;
  }
  if (entries[static_cast<size_t>(first)].selfIndex == index) return;
  if (linkedUnder_[static_cast<size_t>(index)] == p) return;  // already in the chain

  int64_t tail = lastChild_[static_cast<size_t>(p)];
  const bool cached = tail > 0 && tail < n && linkedUnder_[static_cast<size_t>(tail)] == p &&
                      entries[static_cast<size_t>(tail)].nextSibling == 0;
  if (!cached) {
    tail = first;
    for (int64_t steps = 0; steps < n; ++steps) {
      const int64_t next = entries[static_cast<size_t>(tail)].nextSibling;
      if (next <= 0 || next >= n || next == tail || tail == index) break;
      tail = next;
    }
    if (tail == index) return;
  }
  if (WouldCycle(index, p)) {
    e.isOrphan = 1;
    return;
  }
  entries[static_cast<size_t>(tail)].nextSibling = index;
  MarkLinked(index, p);
}

// ---------------------------------------------------------------------------
// Records.

bool ntfs::ParseRecord(uint64_t recordOffset, int64_t index) {
  currentRecordOffset = recordOffset;
  attributeHeaders.clear();
  if (!ReadRecordAt(recordOffset, recordBuffer.data())) return false;
  if (index < 0 || index >= static_cast<int64_t>(entries.size())) return true;
  ParseRecordBytes(recordBuffer.data(), index);
  return true;
}

void ntfs::ParseRecordBytes(const uint8_t* raw, int64_t index) {
  ApplyFixups(std::span<const uint8_t, kMftRecordSize>(raw, kMftRecordSize), fixedScratch_);
  NoteDataSize(fixedScratch_.data(), index);
  ApplyFileNames(fixedScratch_.data(), index);
}

void ntfs::NoteDataSize(const uint8_t* fixedUp, int64_t index, bool extensionOfIndex) {
  const ByteView record(fixedUp, kRecordSize);
  const uint64_t base = BaseRecordNumber(record);
  if (base != 0 || extensionOfIndex) {
    // An extension record holding the first extent of its base record's
    // data gives the base its size (the size lives in the extent of VCN 0).
    const uint64_t target = extensionOfIndex ? static_cast<uint64_t>(index) : base;
    if (!extensionOfIndex && (!namesToBase_ || static_cast<int64_t>(base) == index)) return;
    if (target >= entries.size()) return;
    AttributeWalker walker(record);
    while (auto a = walker.Next())
      if (a->type == kTypeData && a->NonResident() && a->NameLength() == 0 && a->header.Le64(kAttrFirstVcn) == 0) {
        entries[static_cast<size_t>(target)].dataSize = a->header.Le64(kAttrDataSize);
        return;
      }
    return;
  }
  // The file's data is its unnamed stream (a named one only when there is
  // none); the first non-resident one wins, as when the data is read.
  std::optional<AttributeView> unnamed, named;
  AttributeWalker walker(record);
  while (auto a = walker.Next()) {
    if (a->type != kTypeData) continue;
    std::optional<AttributeView>& chosen = a->NameLength() == 0 ? unnamed : named;
    if (!chosen || !chosen->NonResident()) chosen = a;
  }
  const std::optional<AttributeView>& data = unnamed ? unnamed : named;
  if (!data) return;
  entries[static_cast<size_t>(index)].dataSize =
      data->NonResident() ? data->header.Le64(kAttrDataSize) : data->header.Le32(kAttrContentLength);
}

void ntfs::ApplyFileNames(const uint8_t* fixedUp, int64_t index, bool extensionOfIndex) {
  const ByteView record(fixedUp, kRecordSize);
  // An extension record carries attributes of its base record (the name
  // of a file whose attributes outgrew one record, further hard-link names,
  // data extents): it is no file of its own. Its names name the base
  // record if that has none: by the base's number when the table's indices
  // are record numbers, else the entry whose attribute list led here.
  const uint64_t base = BaseRecordNumber(record);
  if (extensionOfIndex) {
    if (index < 0 || index >= static_cast<int64_t>(entries.size()) || entries[static_cast<size_t>(index)].HasName())
      return;
  } else if (base != 0) {
    if (!namesToBase_ || base >= entries.size() || static_cast<int64_t>(base) == index ||
        entries[static_cast<size_t>(base)].HasName())
      return;
    index = static_cast<int64_t>(base);
  }
  const size_t i = static_cast<size_t>(index);
  const uint16_t headerFlags = record.Le16(kRecFlags);
  bool parentTaken = false;
  bool named = entries[i].HasName();
  size_t nameAt = 0, nameLength = 0;
  bool nameTaken = false;

  AttributeWalker walker(record);
  while (auto a = walker.Next()) {
    if (a->type != kTypeFileName || a->NonResident()) continue;
    const uint64_t content = uint64_t{a->position} + a->header.Le16(kAttrContentOffset);
    if (content >= kRecordSize || !record.Fits(static_cast<size_t>(content), kFnName)) continue;
    const size_t c = static_cast<size_t>(content);
    NtfsEntryRecord& e = entries[i];
    if (record.Le32(c + kFnFileFlags) & kFnDirectoryFlag) e.kind = 'D';
    const size_t n = record.U8(c + kFnNameLength);
    // The name must lie inside its attribute.
    if (c + kFnName + 2 * n > size_t{a->position} + a->extent.size()) continue;
    nameAt = c + kFnName;
    nameLength = n;
    nameTaken = true;
    named = true;
    e.recordFlags = headerFlags;
    e.allocatedSize = record.Le64(c + kFnAllocatedSize);
    if (!parentTaken) {
      // A parent beyond any table is no parent (and must not wrap into one).
      const int64_t parent = SignExtend(record.Le64(c + kFnParent), 48);
      e.parentIndex = parent >= 0 && parent <= kMaxNtfsEntries ? static_cast<NtfsIndex>(parent) : -1;
      parentTaken = true;
    }

    const int64_t p = e.parentIndex;
    const int64_t tableSize = static_cast<int64_t>(entries.size());
    // The root "." hangs from nothing: a parent reference that points
    // elsewhere (into its own subtree, on a damaged volume) is not followed,
    // or the root's subtree would hang below itself and vanish.
    if (n == 1 && record.Le16(nameAt) == u'.') {
      e.nextSibling = 0;
      continue;
    }
    if (p >= index || p < 0) {
      e.nextSibling = 0;
      if (p < 0 || p >= tableSize) {
        e.isOrphan = 1;
        continue;
      }
      if (p == index) {
        // Only the root "." is its own parent; any other such entry would
        // be its own child.
        e.isOrphan = 1;
        continue;
      }
      EnsureLinkState();
      if (entries[static_cast<size_t>(p)].firstChild == 0) {
        if (WouldCycle(index, p)) {
          e.isOrphan = 1;
          continue;
        }
        entries[static_cast<size_t>(p)].firstChild = e.selfIndex;
        MarkLinked(index, p);
      }
      LinkToParent(index);
    } else {
      NtfsEntryRecord& parent = entries[static_cast<size_t>(p)];
      if (parent.kind != 'D') {
        e.isOrphan = 1;
        continue;
      }
      EnsureLinkState();
      if (parent.firstChild == 0 && named) {
        if (WouldCycle(index, p)) {
          e.isOrphan = 1;
          continue;
        }
        parent.firstChild = e.selfIndex;
        MarkLinked(index, p);
      }
      LinkToParent(index);
    }
  }

  // Every accepted name replaces the previous one; only the last is kept.
  if (nameTaken) {
    try {
      char16_t* name = nameStore.Allocate(nameLength);
      for (size_t k = 0; k < nameLength; ++k) name[k] = static_cast<char16_t>(record.Le16(nameAt + 2 * k));
      entries[i].name = std::u16string_view(name, nameLength);
    } catch (const std::bad_alloc&) {
    }
  }
}

void ntfs::ParseEntries() {
  const int64_t count = static_cast<int64_t>(entries.size());
  if (mftLocated && !StopPolled(stopRequested, pauseGate)) {
    progressTarget->ProgressRange(0, count);
    EnsureLinkState();
    if (window_.size() < size_t{kBatchRecords} * kRecordSize) window_.assign(size_t{kBatchRecords} * kRecordSize, 0);
    int64_t i = 0;
    bool stopped = false;
    namesToBase_ = true;
    while (i < count && !stopped) {
      // The longest run of records that follow one another on the volume,
      // read with one request.
      // A record in pieces (see ReadMftByRuns) is read on its own.
      const auto split = [&](int64_t k) {
        return !splitRecords_.empty() && splitRecords_.count(entries[static_cast<size_t>(k)].recordOffset) != 0;
      };
      int64_t last = i;
      if (!split(i)) {
        while (last + 1 < count && last + 1 - i < kBatchRecords &&
               entries[static_cast<size_t>(last + 1)].recordOffset ==
                   entries[static_cast<size_t>(last)].recordOffset + kRecordSize &&
               !split(last + 1))
          ++last;
      }
      const uint64_t offset = entries[static_cast<size_t>(i)].recordOffset;
      const size_t bytes = static_cast<size_t>(last - i + 1) * kRecordSize;
      const bool positioned = last == i ? ReadRecordAt(offset, window_.data())
                                        : view.ReadBatch(offset, window_.data(), bytes, kRecordSize).positioned;
      for (int64_t k = i; k <= last; ++k) {
        if (StopPolled(stopRequested, pauseGate)) {
          stopped = true;
          break;
        }
        if (k % kStatusEvery == 0 || k == count - 1) {
          statusLine->SetStatus(Format(L"parsing MFT entry %lld...", static_cast<long long>(k)));
          progressTarget->ProgressPosition(k);
        }
        // A record that cannot be positioned stays as it was.
        if (!positioned) continue;
        currentRecordOffset = entries[static_cast<size_t>(k)].recordOffset;
        ParseRecordBytes(window_.data() + static_cast<size_t>(k - i) * kRecordSize, k);
      }
      i = last + 1;
    }
    namesToBase_ = false;
  }

  NtfsEntryRecord orphan;
  orphan.signature = {'F', 'I', 'L', 'E'};
  orphan.name = std::u16string_view(kOrphanName);
  orphan.kind = 'D';
  try {
    entries.push_back(orphan);
  } catch (const std::bad_alloc&) {
    return;
  }
  orphanIndex = static_cast<int64_t>(entries.size()) - 1;
  EnsureLinkState();

  const int64_t n = static_cast<int64_t>(entries.size());
  rootIndex = n;
  for (int64_t k = 0; k < n; ++k) {
    if (entries[static_cast<size_t>(k)].name == u".") {
      rootIndex = k;
      break;
    }
  }
  if (rootIndex > 0 && rootIndex < n) {
    NtfsEntryRecord& o = entries[static_cast<size_t>(orphanIndex)];
    o.parentIndex = rootIndex;
    o.nextSibling = 0;
    o.selfIndex = orphanIndex;
    o.recordFlags = 1;
    // ORPHAN_ENTRY becomes the root's last child.
    int64_t current = entries[static_cast<size_t>(rootIndex)].firstChild;
    if (current < 0 || current >= n) current = 0;
    for (int64_t steps = 0; steps < n; ++steps) {
      const int64_t next = entries[static_cast<size_t>(current)].nextSibling;
      if (next <= 0 || next >= n || next == current) break;
      current = next;
    }
    entries[static_cast<size_t>(current)].nextSibling = orphanIndex;
    linkedUnder_[static_cast<size_t>(orphanIndex)] = rootIndex;
  }
  LinkOrphans();
}

void ntfs::LinkOrphans() {
  const int64_t n = static_cast<int64_t>(entries.size());
  progressTarget->ProgressRange(0, n);
  if (orphanIndex < 0 || orphanIndex >= n) return;
  NtfsEntryRecord& o = entries[static_cast<size_t>(orphanIndex)];

  if (recoveryMode != 3) {
    // An orphan above ORPHAN_ENTRY (the root, or a folder the root was
    // linked into) would put ORPHAN_ENTRY below itself.
    std::unordered_set<int64_t> above;
    EnsureLinkState();
    for (int64_t k = rootIndex, steps = 0; k >= 0 && k < n && steps <= n; ++steps) {
      if (!above.insert(k).second) break;
      k = linkedUnder_[static_cast<size_t>(k)];
    }
    bool first = true;
    for (int64_t i = 0; i < n; ++i) {
      NtfsEntryRecord& e = entries[static_cast<size_t>(i)];
      if (!e.isOrphan || i == orphanIndex || above.count(i)) continue;
      if (first) {
        o.firstChild = i;
        e.parentIndex = orphanIndex;
        e.nextSibling = -1;
        first = false;
      } else {
        e.nextSibling = o.firstChild;
        o.firstChild = i;
      }
    }
  } else {
    // Record numbers do not match table positions here: every file hangs
    // under the nearest directory record found before it.
    int64_t current = orphanIndex;
    int64_t directories = 0;
    bool firstDirectory = true;
    for (int64_t i = 0; i < n; ++i) {
      if (i == orphanIndex || i == rootIndex) continue;
      NtfsEntryRecord& e = entries[static_cast<size_t>(i)];
      e.firstChild = 0;
      e.parentIndex = 0;
      e.nextSibling = 0;
      if (e.IsDirectory() && (firstDirectory || directories < kDeepDirectoryLimit)) {
        if (firstDirectory) {
          // Files met before the first directory stay in the chain behind it.
          e.nextSibling = o.firstChild != 0 ? o.firstChild : -1;
          firstDirectory = false;
        } else {
          ++directories;
          e.nextSibling = o.firstChild;
        }
        e.parentIndex = orphanIndex;
        o.firstChild = i;
        current = i;
      } else {
        NtfsEntryRecord& d = entries[static_cast<size_t>(current)];
        e.nextSibling = d.firstChild;
        d.firstChild = i;
      }
    }
  }
  // The chains were rewritten; the bookkeeping of the parse is stale.
  ResetLinkState();
}

// ---------------------------------------------------------------------------
// Per-entry questions.

EntryTimes ntfs::GetTimesAndAttributes(uint64_t recordOffset) {
  EntryTimes times;
  if (!ReadRecordAt(recordOffset, recordBuffer.data())) return times;
  ApplyFixups(recordBuffer, fixedScratch_);
  const ByteView record(fixedScratch_.data(), fixedScratch_.size());
  AttributeWalker walker(record);
  while (auto a = walker.Next()) {
    if (a->NonResident()) continue;
    const uint64_t content = uint64_t{a->position} + a->header.Le16(kAttrContentOffset);
    if (content >= kRecordSize) continue;
    const size_t c = static_cast<size_t>(content);
    if (a->type == kTypeStandardInformation) {
      if (!record.Fits(c, kSiTimesEnd)) continue;
      times.creation = record.Le64(c + kSiCreation);
      times.modification = record.Le64(c + kSiModification);
      times.access = record.Le64(c + kSiAccess);
    } else if (a->type == kTypeFileName) {
      if (!record.Fits(c + kFnFileFlags, 2)) continue;
      const uint16_t flags = record.Le16(c + kFnFileFlags);
      std::wstring text;
      if (flags & 0x0001) text += L"-R";
      if (flags & 0x0002) text += L"-H";
      if (flags & 0x0200) text += L"-S";
      if (flags & 0x0020) text += L"-A";
      if (flags & 0x0800) text += L"-C";
      if (flags & 0x4000) text += L"-E";
      times.attributes = std::move(text);
    }
  }
  return times;
}

RecordHeaderCopy ntfs::ReadRecordHeader(int64_t index) {
  if (index < 0 || index >= static_cast<int64_t>(entries.size())) {
    dataViaAttributeList = 0;
    return RecordHeaderCopy{};
  }
  return ReadRecordHeaderAt(entries[static_cast<size_t>(index)].recordOffset);
}

RecordHeaderCopy ntfs::ReadRecordHeaderAt(uint64_t offset) {
  RecordHeaderCopy copy;
  dataViaAttributeList = 0;
  if (!ReadRecordAt(offset, recordBuffer.data())) return copy;
  copy.valid = true;
  copy.recordOffset = offset;
  std::memcpy(copy.header.data(), recordBuffer.data(), copy.header.size());
  ApplyFixups(recordBuffer, copy.fixedUp);
  const ByteView record(copy.fixedUp.data(), copy.fixedUp.size());
  CollectAttributeHeaders(record, copy.attributes);
  for (const AttributeHeader& h : copy.attributes) {
    const AttributeView a = ViewOf(record, h);
    if (a.type == kTypeAttributeList) dataViaAttributeList = 1;
    if (a.type == kTypeData && a.NameLength() == 0) dataViaAttributeList = 0;
  }
  return copy;
}

int ntfs::SelectDataAttribute(const RecordHeaderCopy& header) const {
  // The file's data is its unnamed data stream; named streams count only
  // when the record has no unnamed one.
  const ByteView record(header.fixedUp.data(), header.fixedUp.size());
  bool anyUnnamed = false;
  for (const AttributeHeader& h : header.attributes) {
    const AttributeView a = ViewOf(record, h);
    if (a.type == kTypeData && a.NameLength() == 0) anyUnnamed = true;
  }
  int chosen = -1;
  for (size_t k = 0; k < header.attributes.size(); ++k) {
    const AttributeView a = ViewOf(record, header.attributes[k]);
    if (a.type != kTypeData || (anyUnnamed && a.NameLength() != 0)) continue;
    chosen = static_cast<int>(k);
    if (a.NonResident()) break;  // the first non-resident one wins
  }
  return chosen;
}

DataAttributeSummary ntfs::DataAttributeInfo(const RecordHeaderCopy& header) {
  DataAttributeSummary s;
  hasDataAttribute = 0;
  const ByteView record(header.fixedUp.data(), header.fixedUp.size());
  for (const AttributeHeader& h : header.attributes)
    if (ViewOf(record, h).type == kTypeData) hasDataAttribute = 1;
  const int chosen = SelectDataAttribute(header);
  if (chosen < 0) return s;
  const AttributeHeader& h = header.attributes[static_cast<size_t>(chosen)];
  const ByteView copy(h.bytes.data(), h.bytes.size());
  const uint16_t flags = copy.Le16(kAttrFlags);
  if (copy.U8(kAttrNonResident) == 0) {
    s.dataOffset = h.position + copy.Le16(kAttrContentOffset);
    s.dataLength = copy.Le32(kAttrContentLength);
    s.residency = 'R';
    if (flags == kFlagCompressedResident) s.storageText = kCompressed;
  } else {
    const uint32_t length = copy.Le32(kAttrLength) & 0xFFFF;
    s.dataOffset = copy.Le16(kAttrRunListOffset);
    s.dataLength = length >= s.dataOffset ? length - s.dataOffset : 0;
    s.compressionUnit = copy.Le16(kAttrCompressionUnit);
    s.firstVcn = copy.Le64(kAttrFirstVcn);
    s.lastVcn = copy.Le64(kAttrLastVcn);
    s.allocatedSize = copy.Le64(kAttrAllocatedSize);
    s.dataSize = copy.Le64(kAttrDataSize);
    s.residency = 'N';
    if (flags == kFlagCompressedNonResident) s.storageText = kCompressed;
  }
  if (flags == kFlagEncrypted) s.storageText = kEncrypted;
  if (flags == 0) s.storageText = kNormal;
  return s;
}

}  // namespace lv
