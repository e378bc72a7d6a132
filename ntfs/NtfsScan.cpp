// Volume scans that do not trust the boot sector: the deep scan (every
// plausible record, in the order found) and the search for MFT candidates.
#include <algorithm>
#include <cstring>

#include "common/Text.h"
#include "ntfs/Ntfs.h"
#include "ntfs/NtfsLayout.h"
#include "ntfs/NtfsRecord.h"

namespace lv {

using namespace ntfs_layout;

namespace {

// A 512-byte slot that may start an MFT record.
bool PlausibleRecord(ByteView slot) {
  return slot.Matches(0, "FILE") && slot.Le16(kRecUsaOffset) < kSlotSize && slot.Le16(kRecUsaCount) < kSlotSize &&
         slot.Le16(kRecFirstAttribute) < kSlotSize;
}

bool StartsWith(std::u16string_view name, std::u16string_view prefix) {
  return name.size() >= prefix.size() && name.substr(0, prefix.size()) == prefix;
}

}  // namespace

int64_t ntfs::AppendScannedRecord(uint64_t offset, ByteView bytes, bool keepIndexZeroFree, bool* parsed) {
  if (keepIndexZeroFree && entries.empty()) AppendEntry(nullptr, UINT64_MAX);
  AppendEntry(reinterpret_cast<const uint8_t*>(bytes.data()), offset);
  const int64_t index = static_cast<int64_t>(entries.size()) - 1;
  // The slot holds the whole record unless it is the last one of a chunk.
  bool read = true;
  if (bytes.size() >= kRecordSize) {
    currentRecordOffset = offset;
    ParseRecordBytes(reinterpret_cast<const uint8_t*>(bytes.data()), index);
  } else {
    read = ParseRecord(offset, index);
  }
  if (parsed) *parsed = read;
  return index;
}

std::vector<ntfs::MftSegment> ntfs::MftSegmentsFromBootSector() {
  std::vector<MftSegment> segments;
  const ByteView boot(bootSector.data(), bootSector.size());
  if (!boot.Matches(kBootOemId, "NTFS")) return segments;
  const auto mft = CheckedMul(boot.Le64(kBootMftCluster), ClusterSize());
  if (!mft || !view.Positionable(*mft)) return segments;
  const uint64_t cluster = ClusterSize();
  uint64_t bytes = 0;  // of the MFT before the run
  for (const MftRun& run : GetAttributeRuns(*mft, kTypeData)) {
    // Numbers follow from the place only while every run holds whole records.
    if (bytes % kRecordSize != 0) break;
    const auto length = CheckedMul(run.clusterCount, cluster);
    const auto start = CheckedMul(static_cast<uint64_t>(run.startCluster), cluster);
    if (!length || !start) break;
    if (!run.sparse) segments.push_back({*start, *length, bytes / kRecordSize});
    bytes = CheckedAdd(bytes, *length).value_or(UINT64_MAX);
  }
  return segments;
}

std::optional<uint64_t> ntfs::RecordNumberOf(uint64_t offset, ByteView header) const {
  if (const auto number = HeaderRecordNumber(header)) return *number;
  for (const MftSegment& s : deepMftSegments_)
    if (offset >= s.offset && offset - s.offset < s.bytes && (offset - s.offset) % kRecordSize == 0)
      return s.firstNumber + (offset - s.offset) / kRecordSize;
  return std::nullopt;
}

bool ntfs::ScanAllRecords() {
  bytesPerCluster = BootClusterSize().value_or(kDefaultClusterSize);
  mftLocated = 0;
  currentOffset = 0;
  deepTable_ = true;
  extensionRecords_.Clear();
  deepMftSegments_ = MftSegmentsFromBootSector();
  std::vector<NtfsIndex> withList;  // entries whose attribute list names other records
  const uint64_t chunks = volumeSize / kScanChunk;
  progressTarget->ProgressRange(0, static_cast<int64_t>(chunks));
  ScanSlots(
      volumeSize,
      [&](uint64_t number) {
        if (StopPolled(stopRequested, pauseGate)) return false;
        progressTarget->ProgressPosition(static_cast<int64_t>(number));
        return true;
      },
      [&](uint64_t offset, ByteView bytes) -> uint32_t {
        if (!PlausibleRecord(bytes)) return kSlotSize;
        const ByteView header = bytes.Sub(0, kRecordHeaderCopySize);
        if (const uint64_t base = BaseRecordNumber(header); base != 0) {
          // An extension record is no file of its own: it is kept for the
          // base record whose attribute list names it.
          if (const auto number = RecordNumberOf(offset, header)) extensionRecords_.Add(*number, base, offset);
          return kRecordSize;
        }
        bool parsed = false;
        const int64_t index = AppendScannedRecord(offset, bytes, true, &parsed);
        // A record whose names all live in extension records gets them after the scan.
        const bool hasList = parsed && HasAttribute(ByteView(fixedScratch_.data(), kRecordSize), kTypeAttributeList);
        if (entries.back().HasName()) {
          entries.back().isOrphan = 1;
          statusLine->SetStatus(Format(L"MFT ENTRY %lld Found.Parsing it ..", static_cast<long long>(entries.size())));
        } else if (!hasList) {
          DropLastEntry();
          return kRecordSize;
        }
        if (hasList) withList.push_back(static_cast<NtfsIndex>(index));
        return kRecordSize;
      });
  ResolveExtensionRecords(withList);
  progressTarget->ProgressPosition(static_cast<int64_t>(chunks));
  return false;
}

void ntfs::ResolveExtensionRecords(const std::vector<NtfsIndex>& withList) {
  extensionRecords_.Seal();
  std::vector<NtfsIndex> unnamed;
  std::vector<uint64_t> numbers;
  bool stopped = false;
  for (const NtfsIndex i : withList) {
    // After a stop the entries are only sorted into named and unnamed.
    stopped = stopped || StopPolled(stopRequested, pauseGate);
    const RecordHeaderCopy header = stopped ? RecordHeaderCopy{} : ReadRecordHeader(i);
    const auto own = header.valid ? OwnRecordNumber(header, i) : std::nullopt;
    std::vector<uint8_t> storage;
    const auto list = own ? AttributeListContent(header, storage) : std::nullopt;
    numbers.clear();
    if (list)
      ForEachAttributeListEntry(*list, [&](uint32_t, uint8_t, uint64_t number) {
        if (number != *own) numbers.push_back(number);
      });
    // In record order, as a table read by the MFT's runs meets them: the
    // first extension record with names names the entry.
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    for (const uint64_t number : numbers) {
      if ((stopped = StopPolled(stopRequested, pauseGate))) break;
      const auto at = extensionRecords_.Find(number, *own, header.recordOffset);
      if (!at || !ReadRecordAt(*at, recordBuffer.data())) continue;
      ApplyFixups(recordBuffer, fixedScratch_);
      ApplyFileNames(fixedScratch_.data(), i, true);
      NoteDataSize(fixedScratch_.data(), i, true);
    }
    NtfsEntryRecord& e = entries[static_cast<size_t>(i)];
    if (e.HasName())
      e.isOrphan = 1;
    else
      unnamed.push_back(i);
  }
  if (unnamed.empty()) return;
  // Records that never got a name leave the table, as unnamed records do
  // while the scan runs. The parse's links are meaningless in this table
  // and go with them.
  size_t out = 0, next = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (next < unnamed.size() && static_cast<size_t>(unnamed[next]) == i) {
      ++next;
      continue;
    }
    NtfsEntryRecord& e = entries[out] = entries[i];
    e.selfIndex = static_cast<NtfsIndex>(out);
    e.parentIndex = e.firstChild = e.nextSibling = 0;
    ++out;
  }
  entries.resize(out);
  ResetLinkState();
}

uint64_t ntfs::FindMftCandidates(uint64_t maximum) {
  bytesPerCluster = BootClusterSize().value_or(kDefaultClusterSize);
  mftLocated = 0;
  currentOffset = 0;
  const int64_t mib = LeadingInteger(volume.sizeText);
  volumeSize = mib > 0 ? CheckedMul(static_cast<uint64_t>(mib), kMiB).value_or(UINT64_MAX) : 0;
  sizeFromText_ = true;
  const uint64_t chunks = volumeSize / kScanChunk;
  if (volumeSize != 0) {
    progressTarget->ProgressRange(0, static_cast<int64_t>(chunks));
    std::wstring message;
    bool shown = false;
    ScanSlots(
        volumeSize > kRecordSize ? volumeSize - kRecordSize : 0,
        [&](uint64_t number) {
          // Tested only here: the chunk in which the maximum is reached is
          // still finished.
          if (!mftCandidates.empty() && mftCandidates.size() >= maximum) return false;
          if (StopPolled(stopRequested, pauseGate)) return false;
          progressTarget->ProgressPosition(static_cast<int64_t>(number));
          return true;
        },
        [&](uint64_t offset, ByteView bytes) -> uint32_t {
          if (!PlausibleRecord(bytes)) return kSlotSize;
          AppendScannedRecord(offset, bytes, false);
          if (!shown) {
            statusLine->SetStatus(message);
            shown = true;
          }
          // $MFT to $Boot are the first eight records of an MFT, in one run.
          if (entries.size() >= 8 && StartsWith(entries.back().name, u"$Boot")) {
            const NtfsEntryRecord& mft = entries[entries.size() - 8];
            if (StartsWith(mft.name, u"$MFT") && (mft.name.size() < 5 || mft.name[4] != u'M')) {
              mftCandidates.push_back(mft);
              message = Format(L"MFT ENTRY %lld Found.Parsing it ...", static_cast<long long>(entries.size()));
              statusLine->SetStatus(message);
            }
          }
          return kRecordSize;
        });
    // A stop ends the search and is cleared, so the next worker does not see it.
    stopRequested.store(0);
  }
  checkMftName = 0;
  progressTarget->ProgressPosition(static_cast<int64_t>(chunks));
  return mftCandidates.size();
}

bool ntfs::UseCandidate(int64_t candidate) {
  mftLocated = 0;
  if (!mftCandidates.empty() && candidate >= 0 && candidate < static_cast<int64_t>(mftCandidates.size())) {
    const uint64_t offset = mftCandidates[static_cast<size_t>(candidate)].recordOffset;
    currentRecordOffset = offset;
    if (ReadRecordAt(offset, recordBuffer.data())) {
      ApplyFixups(recordBuffer, fixedScratch_);
      // The cluster size is chosen after this call: bound the runs by the
      // smallest one, and let ReadMftByRuns clip them to the chosen one.
      mftRuns = RunsWithin(fixedScratch_.data(), kTypeData, -1, false, VolumeLimitBytes() / kSectorSize);
    } else {
      mftRuns.clear();
    }
  }
  if (!mftRuns.empty()) {
    mftLocated = 1;
    runFromFirstEntry = 0;
    return true;
  }
  return false;
}

}  // namespace lv
