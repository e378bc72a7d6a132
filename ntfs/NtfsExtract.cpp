// Extraction of one entry's data into a file: resident data from the record,
// non-resident data along its runs, compressed data unit by unit through
// LZNT1, and data spread over several records through the attribute list.
#include <algorithm>
#include <cerrno>
#include <cwchar>
#include <cstring>
#include <unordered_set>

#include "common/DisplayText.h"
#include "common/SafeName.h"
#include "common/Text.h"
#include "ntfs/Ntfs.h"
#include "ntfs/NtfsLayout.h"
#include "ntfs/NtfsLznt1.h"
#include "ntfs/NtfsRecord.h"
#include "platform/MessageBox.h"
#include "platform/SaveWriter.h"

namespace lv {

using namespace ntfs_layout;

namespace {

constexpr uint64_t kIoBytes = 1 << 20;              // one read or write request
constexpr uint64_t kMaxUnitBytes = 16 << 20;        // largest compression unit accepted
constexpr uint64_t kMaxAttributeList = 4 << 20;     // largest non-resident attribute list read

bool IsCompressed(const wchar_t* storageText) {
  return storageText != nullptr && std::wcscmp(storageText, L"Compressed") == 0;
}

uint16_t UnitClustersFor(uint16_t compressionUnit) {
  const unsigned shift = compressionUnit & 0x1F;
  return shift >= 16 ? 0 : static_cast<uint16_t>(1u << shift);  // 2^16 and above do not fit
}

// Walks a run list cluster by cluster; clusters past the last run are holes.
class ClusterCursor {
 public:
  explicit ClusterCursor(const std::vector<MftRun>& runs) : runs_(runs) {}
  // The next cluster: its number, or nullopt for a hole.
  std::optional<int64_t> Next() {
    while (run_ < runs_.size() && within_ >= runs_[run_].clusterCount) {
      ++run_;
      within_ = 0;
    }
    if (run_ >= runs_.size()) return std::nullopt;
    const MftRun& r = runs_[run_];
    const uint64_t k = within_++;
    if (r.sparse) return std::nullopt;
    return r.startCluster + static_cast<int64_t>(k);
  }
  // Holes from here on without a break: the rest of a sparse run, or
  // everything past the last run; 0 at an allocated cluster.
  uint64_t HolesAhead() {
    while (run_ < runs_.size() && within_ >= runs_[run_].clusterCount) {
      ++run_;
      within_ = 0;
    }
    if (run_ >= runs_.size()) return UINT64_MAX;
    return runs_[run_].sparse ? runs_[run_].clusterCount - within_ : 0;
  }
  // Passes `count` clusters of holes (at most HolesAhead()).
  void SkipHoles(uint64_t count) {
    if (run_ < runs_.size()) within_ += count;
  }

 private:
  const std::vector<MftRun>& runs_;
  size_t run_ = 0;
  uint64_t within_ = 0;
};

// The data of a non-resident attribute along its runs, read in batches of
// up to 1 MiB into the engine's extraction buffer. Sparse runs, and clusters
// that cannot be positioned, are holes. Compressed data is produced unit by
// unit: all-sparse units are holes, units whose last cluster is allocated
// are stored as they are, the others go through LZNT1.
}  // namespace

class NtfsRunStream final : public DataStream {
 public:
  NtfsRunStream(ntfs& engine, std::vector<MftRun> runs, uint64_t spanClusters, bool compressed, uint16_t unitClusters,
            uint64_t dataSize)
      : engine_(engine),
        runs_(std::move(runs)),
        cluster_(engine.ClusterSize()),
        remaining_(dataSize),
        cursor_(runs_) {
    const uint64_t unitBytes = uint64_t{unitClusters} * cluster_;
    compressed_ = compressed && unitClusters != 0 && unitBytes <= kMaxUnitBytes;
    if (compressed_) {
      unit_ = unitClusters;
      units_ = spanClusters / unit_;  // a trailing partial unit is not written
      clusters_.resize(static_cast<size_t>(unit_));
      engine_.unitOutput_.resize(static_cast<size_t>(unitBytes));
      engine_.ioBuffer_.resize(std::max<size_t>(engine_.ioBuffer_.size(), static_cast<size_t>(unitBytes)));
    } else {
      batchClusters_ = std::max<uint64_t>(1, kIoBytes / cluster_);
      engine_.ioBuffer_.resize(std::max<size_t>(engine_.ioBuffer_.size(), static_cast<size_t>(batchClusters_ * cluster_)));
    }
  }

  bool Next(DataPiece& piece) override {
    if (remaining_ == 0) return false;
    const bool produced = compressed_ ? NextUnit(piece) : NextPlain(piece);
    if (!produced) return false;
    piece.length = std::min(piece.length, remaining_);
    remaining_ -= piece.length;
    return true;
  }

 private:
  bool NextPlain(DataPiece& piece) {
    while (run_ < runs_.size() && within_ >= runs_[run_].clusterCount) {
      ++run_;
      within_ = 0;
    }
    if (run_ >= runs_.size()) return false;
    const MftRun& run = runs_[run_];
    const uint64_t left = run.clusterCount - within_;
    if (run.sparse) {
      within_ = run.clusterCount;
      piece = {nullptr, CheckedMul(left, cluster_).value_or(UINT64_MAX)};
      return true;
    }
    const uint64_t batch = std::min(batchClusters_, left);
    const uint64_t first = static_cast<uint64_t>(run.startCluster) + within_;
    within_ += batch;
    // The last batch of the file reads only the sectors it needs.
    const uint64_t bytes = std::min(batch * cluster_, (std::min(batch * cluster_, remaining_) + 511) / 512 * 512);
    uint8_t* out = engine_.ioBuffer_.data();
    if (!engine_.ReadClusterBytes(first, bytes, out)) {
      piece = {nullptr, batch * cluster_};  // cannot be positioned: zeros in its place
      return true;
    }
    piece = {out, batch * cluster_};
    return true;
  }

  bool NextUnit(DataPiece& piece) {
    if (unitIndex_ >= units_) return false;
    const uint64_t unitBytes = unit_ * cluster_;
    // Whole sparse units in a row are one hole: a file that declares 2^40
    // sparse clusters is not walked unit by unit.
    const uint64_t sparseUnits = std::min(cursor_.HolesAhead() / unit_, units_ - unitIndex_);
    if (sparseUnits > 0) {
      cursor_.SkipHoles(sparseUnits * unit_);
      unitIndex_ += sparseUnits;
      piece = {nullptr, CheckedMul(sparseUnits, unitBytes).value_or(UINT64_MAX)};
      return true;
    }
    ++unitIndex_;
    size_t used = 0;  // 1-based position of the unit's last allocated cluster
    for (size_t k = 0; k < clusters_.size(); ++k) {
      clusters_[k] = cursor_.Next();
      if (clusters_[k]) used = k + 1;
    }
    if (used == 0) {
      piece = {nullptr, unitBytes};  // a sparse unit
      return true;
    }
    uint8_t* input = engine_.ioBuffer_.data();
    // Read the first `used` clusters, joining neighbours into one request.
    for (size_t k = 0; k < used;) {
      if (!clusters_[k]) {
        std::memset(input + k * cluster_, 0, static_cast<size_t>(cluster_));
        ++k;
        continue;
      }
      size_t end = k + 1;
      while (end < used && clusters_[end] && *clusters_[end] == *clusters_[end - 1] + 1) ++end;
      if (!engine_.ReadClusterBytes(static_cast<uint64_t>(*clusters_[k]), (end - k) * cluster_, input + k * cluster_))
        std::memset(input + k * cluster_, 0, static_cast<size_t>((end - k) * cluster_));
      k = end;
    }
    if (used == unit_) {
      piece = {input, unitBytes};  // stored as it is
      return true;
    }
    uint8_t* output = engine_.unitOutput_.data();
    const size_t produced = Lznt1Decompress(ByteView(input, used * cluster_), output, static_cast<size_t>(unitBytes));
    // A unit always stands for unitBytes of the file.
    std::memset(output + produced, 0, static_cast<size_t>(unitBytes) - produced);
    piece = {output, unitBytes};
    return true;
  }

  ntfs& engine_;
  std::vector<MftRun> runs_;
  uint64_t cluster_;
  uint64_t remaining_;
  bool compressed_ = false;
  // Plain data.
  uint64_t batchClusters_ = 1;
  size_t run_ = 0;
  uint64_t within_ = 0;
  // Compressed data.
  ClusterCursor cursor_;
  uint64_t unit_ = 0, units_ = 0, unitIndex_ = 0;
  std::vector<std::optional<int64_t>> clusters_;
};


bool ntfs::ReadClusterBytes(uint64_t cluster, uint64_t bytes, uint8_t* out) {
  const auto offset = VolumeView::Bytes(cluster, ClusterSize());
  if (!offset) return false;
  // A bad sector costs its cluster's bytes only; the rest is read around it.
  const auto piece = static_cast<uint32_t>(std::min<uint64_t>(ClusterSize(), kIoBytes));
  return view.ReadBatch(*offset, out, static_cast<size_t>(bytes), piece).positioned;
}

std::unique_ptr<DataStream> ntfs::RunData(std::vector<MftRun> runs, uint64_t spanClusters, bool compressed,
                                          uint64_t dataSize) {
  return std::make_unique<NtfsRunStream>(*this, std::move(runs), spanClusters, compressed, unitClusters, dataSize);
}

std::optional<ByteView> ntfs::AttributeListContent(const RecordHeaderCopy& header, std::vector<uint8_t>& bytes) {
  const ByteView record(header.fixedUp.data(), header.fixedUp.size());
  for (size_t k = 0; k < header.attributes.size(); ++k) {
    const AttributeView a = ViewOf(record, header.attributes[k]);
    if (a.type != kTypeAttributeList) continue;
    if (!a.NonResident()) return ResidentContent(record, a, true);
    // The list lives in its own clusters.
    const std::vector<MftRun> runs =
        RunsOfAttribute(header.fixedUp.data(), kTypeAttributeList, static_cast<int>(k), false);
    const uint64_t cluster = ClusterSize();
    uint64_t size = std::min(a.header.Le64(kAttrDataSize), kMaxAttributeList);
    uint64_t runBytes = 0;
    for (const MftRun& r : runs) runBytes = CheckedAdd(runBytes, CheckedMul(r.clusterCount, cluster).value_or(UINT64_MAX)).value_or(UINT64_MAX);
    size = std::min(size, runBytes);
    bytes.assign(static_cast<size_t>(size), 0);
    std::vector<uint8_t> one(static_cast<size_t>(cluster));
    uint64_t at = 0;
    ClusterCursor cursor(runs);
    while (at < size) {
      const auto c = cursor.Next();
      if (!c || !ReadClusterBytes(static_cast<uint64_t>(*c), cluster, one.data()))
        std::fill(one.begin(), one.end(), 0);
      const uint64_t n = std::min(cluster, size - at);
      std::memcpy(bytes.data() + at, one.data(), static_cast<size_t>(n));
      at += n;
    }
    return ByteView(bytes.data(), bytes.size());
  }
  return std::nullopt;
}

void ntfs::ReadAttributeList(const RecordHeaderCopy& header) {
  listedRecords.clear();
  std::vector<uint8_t> storage;
  const std::optional<ByteView> list = AttributeListContent(header, storage);
  if (!list) return;
  hasDataAttribute = 0;
  std::unordered_set<uint64_t> seen;
  ForEachAttributeListEntry(*list, [&](uint32_t type, uint8_t nameLength, uint64_t number) {
    if (type == kTypeData && nameLength == 0 && seen.insert(number).second)
      listedRecords.emplace_back(static_cast<uint32_t>(number), static_cast<uint16_t>(number >> 32));
  });
}

std::optional<uint64_t> ntfs::OwnRecordNumber(const RecordHeaderCopy& header, int64_t index) const {
  if (!deepTable_) return static_cast<uint64_t>(index);
  return RecordNumberOf(header.recordOffset, ByteView(header.header.data(), header.header.size()));
}

std::optional<uint64_t> ntfs::ListedRecordOffset(const RecordHeaderCopy& header, int64_t index,
                                                 uint64_t number) const {
  if (!deepTable_) {
    if (number >= entries.size()) return std::nullopt;
    return entries[static_cast<size_t>(number)].recordOffset;
  }
  const auto own = OwnRecordNumber(header, index);
  if (!own) return std::nullopt;
  if (number == *own) return header.recordOffset;
  return extensionRecords_.Find(number, *own, header.recordOffset);
}


EntryData ntfs::OpenEntryData(int64_t index) {
  EntryData data;
  if (index < 0 || index >= static_cast<int64_t>(entries.size())) {
    data.valid = false;
    return data;
  }
  const RecordHeaderCopy header = ReadRecordHeader(index);
  if (!header.valid || std::memcmp(header.header.data(), "FILE", 4) != 0) {
    ShowPlain(L"not a valid entry...");
    data.valid = false;
    return data;
  }
  const NtfsEntryRecord& entry = entries[static_cast<size_t>(index)];
  const DataAttributeSummary summary = DataAttributeInfo(header);
  bool compressed = false;
  runsRefused_ = false;

  if (DataFromAttributeList(header, index)) {
    const auto recordOf = [](const std::pair<uint32_t, uint16_t>& r) { return (uint64_t{r.second} << 32) | r.first; };
    const auto firstAt = ListedRecordOffset(header, index, recordOf(listedRecords.front()));
    const RecordHeaderCopy first = firstAt ? ReadRecordHeaderAt(*firstAt) : RecordHeaderCopy{};
    const DataAttributeSummary firstSummary = DataAttributeInfo(first);
    unitClusters = UnitClustersFor(firstSummary.compressionUnit);
    dataRuns.clear();
    for (const auto& listed : listedRecords) {
      const auto at = ListedRecordOffset(header, index, recordOf(listed));
      if (!at || !ReadRecordAt(*at, recordBuffer.data())) continue;
      ApplyFixups(recordBuffer, fixedScratch_);
      const std::vector<MftRun> runs = RunsOfAttribute(fixedScratch_.data(), kTypeData, -1, true);
      dataRuns.insert(dataRuns.end(), runs.begin(), runs.end());
    }
    clusterSpan = 0;
    for (const MftRun& r : dataRuns) clusterSpan = CheckedAdd(clusterSpan, r.clusterCount).value_or(UINT64_MAX);
    compressed = IsCompressed(firstSummary.storageText);
    data.size = firstSummary.residency == 'N' ? firstSummary.dataSize : 0;
    data.stream = RunData(std::move(dataRuns), clusterSpan, compressed, data.size);
    dataRuns.clear();
    hasDataAttribute = 0;
  }

  if (hasDataAttribute) {
    if (entry.IsDirectory()) {
      ShowPlain(Format(L"This is  %ls directory .Please specify file names ", Utf16ToWide(Trim(entry.name)).c_str()));
    } else if (summary.residency != 'N') {
      if (summary.dataOffset < kRecordSize) {
        const uint64_t n = std::min<uint64_t>(summary.dataLength, kRecordSize - summary.dataOffset);
        const uint8_t* from = header.fixedUp.data() + summary.dataOffset;
        data.size = n;
        data.stream = StreamOfBytes(std::string(reinterpret_cast<const char*>(from), static_cast<size_t>(n)));
      }
    } else {
      const int chosen = SelectDataAttribute(header);
      const bool unnamed = chosen >= 0 &&
                           ViewOf(ByteView(header.fixedUp.data(), header.fixedUp.size()),
                                  header.attributes[static_cast<size_t>(chosen)])
                                   .NameLength() == 0;
      std::vector<MftRun> runs = RunsOfAttribute(header.fixedUp.data(), kTypeData, chosen, unnamed);
      compressed = IsCompressed(summary.storageText);
      if (compressed) unitClusters = UnitClustersFor(summary.compressionUnit);
      data.size = summary.dataSize;
      data.stream = RunData(std::move(runs), clusterSpan, compressed, data.size);
    }
  }

  // Data whose runs were refused (outside the volume, malformed) is not
  // written as a file that looks recovered but is not.
  if (runsRefused_ && data.stream) {
    data.stream.reset();
    data.unreadable = Format(L"The data of %ls lies outside the volume or its run list is damaged; it was not written.",
                             Utf16ToWide(Trim(entry.name)).c_str());
  }
  // Stored bytes never exceed what the volume holds; a compressed unit may
  // expand to the unit's size.
  const uint64_t expansion = compressed ? std::max<uint64_t>(unitClusters, 1) : 1;
  data.maxStoredBytes = CheckedMul(VolumeLimitBytes(), expansion).value_or(UINT64_MAX);
  attributeHeaders.clear();
  mftRuns.clear();
  const EntryTimes times = GetTimesAndAttributes(entry.recordOffset);
  if (times.access != 0 || times.modification != 0) {
    const UnixTime access = FileTimeToUnix(times.access);
    const UnixTime modification = FileTimeToUnix(times.modification);
    data.times = FileTimes{access.seconds, access.nanoseconds, modification.seconds, modification.nanoseconds};
  }
  return data;
}

bool ntfs::ExtractEntry(const std::wstring& indexText) {
  const int64_t index = LeadingInteger(indexText);
  outputPath = TrimRight(outputPath);
  if (index < 0 || index >= static_cast<int64_t>(entries.size())) return false;
  const NtfsEntryRecord& entry = entries[static_cast<size_t>(index)];
  if (!entry.HasName()) return false;
  currentName = Trim(entry.name);
  std::string folder = outputPath;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  SaveWriter writer;
  if (!writer.Open(folder)) return false;
  EntryData data = OpenEntryData(index);
  const WriteOutcome outcome = writer.Write("", SafeComponent(currentName), data);
  outputPath = outcome.path;
  return outcome.ok() && data.valid;
}

uint64_t ntfs::EntryDataSize(int64_t index) {
  const RecordHeaderCopy header = ReadRecordHeader(index);
  if (!header.valid) return 0;
  const DataAttributeSummary own = DataAttributeInfo(header);
  if (DataFromAttributeList(header, index)) {
    const auto& r = listedRecords.front();
    const auto firstAt = ListedRecordOffset(header, index, (uint64_t{r.second} << 32) | r.first);
    const RecordHeaderCopy first = firstAt ? ReadRecordHeaderAt(*firstAt) : RecordHeaderCopy{};
    const DataAttributeSummary s = DataAttributeInfo(first);
    return s.residency == 'N' ? s.dataSize : s.dataLength;
  }
  return own.residency == 'N' ? own.dataSize : own.dataLength;
}

bool ntfs::DataFromAttributeList(const RecordHeaderCopy& header, int64_t index) {
  const uint8_t hadData = hasDataAttribute;
  bool hasList = false;
  const ByteView record(header.fixedUp.data(), header.fixedUp.size());
  for (const AttributeHeader& h : header.attributes)
    if (ViewOf(record, h).type == kTypeAttributeList) hasList = true;
  if (!hasList) return false;
  ReadAttributeList(header);
  // The list is used when the data is not in this record, and also when
  // this record holds only the first extent of data that goes on in
  // others (otherwise the file would end with its first extent).
  bool elsewhere = false;
  const std::optional<uint64_t> own = OwnRecordNumber(header, index);
  for (const auto& r : listedRecords)
    if (own && ((uint64_t{r.second} << 32) | r.first) != *own) elsewhere = true;
  if (!listedRecords.empty() && (dataViaAttributeList || elsewhere)) return true;
  hasDataAttribute = hadData;
  return false;
}

}  // namespace lv
