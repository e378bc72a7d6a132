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

namespace lv {

using namespace ntfs_layout;

namespace {

constexpr uint64_t kIoBytes = 1 << 20;              // one read or write request
constexpr uint64_t kMaxUnitBytes = 16 << 20;        // largest compression unit accepted
constexpr uint64_t kMaxAttributeList = 4 << 20;     // largest non-resident attribute list read

bool IsCompressed(const wchar_t* storageText) {
  return storageText != nullptr && std::wcscmp(storageText, L"Compressed") == 0;
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

 private:
  const std::vector<MftRun>& runs_;
  size_t run_ = 0;
  uint64_t within_ = 0;
};

}  // namespace

bool ntfs::Emit(const void* data, uint64_t size) {
  if (writeError_ != 0) return false;
  if (size == 0) return true;
  if (!outputFile_.Write(data, size)) {
    writeError_ = errno != 0 ? errno : EIO;
    return false;
  }
  return true;
}

bool ntfs::ReadClusters(uint64_t cluster, uint64_t count, uint8_t* out) {
  const uint64_t size = ClusterSize();
  const uint64_t bytes = count * size;  // callers keep this within one buffer
  std::memset(out, 0, static_cast<size_t>(bytes));
  const auto offset = CheckedMul(cluster, size);
  if (!offset || *offset > static_cast<uint64_t>(INT64_MAX) || !reader.Seek(static_cast<int64_t>(*offset)))
    return false;
  if (reader.Read(out, static_cast<uint32_t>(bytes)) || count == 1 || reader.lastError == kErrorHandleEof) return true;
  // A bad sector somewhere in the request: read cluster by cluster so that
  // only the unreadable clusters stay zero.
  for (uint64_t k = 0; k < count; ++k) {
    uint8_t* at = out + k * size;
    if (!ReadAt(reader, static_cast<int64_t>(*offset + k * size), at, static_cast<uint32_t>(size)))
      std::memset(at, 0, static_cast<size_t>(size));
  }
  return true;
}

bool ntfs::WritePlain(const std::vector<MftRun>& runs, uint64_t limitClusters, uint64_t dataSize) {
  const uint64_t cluster = ClusterSize();
  const uint64_t batchClusters = std::max<uint64_t>(1, kIoBytes / cluster);
  std::vector<uint8_t> buffer(static_cast<size_t>(batchClusters * cluster));
  uint64_t remaining = dataSize;
  uint64_t clustersLeft = limitClusters;
  for (const MftRun& run : runs) {
    if (remaining == 0 || clustersLeft == 0) break;
    const uint64_t count = std::min(run.clusterCount, clustersLeft);
    clustersLeft -= count;
    if (run.sparse) {
      uint64_t zeros = std::min(CheckedMul(count, cluster).value_or(UINT64_MAX), remaining);
      std::fill(buffer.begin(), buffer.end(), 0);
      remaining -= zeros;
      while (zeros > 0) {
        const uint64_t n = std::min<uint64_t>(zeros, buffer.size());
        if (!Emit(buffer.data(), n)) return false;
        zeros -= n;
      }
      continue;
    }
    for (uint64_t done = 0; done < count && remaining > 0;) {
      const uint64_t batch = std::min(batchClusters, count - done);
      const uint64_t first = static_cast<uint64_t>(run.startCluster) + done;
      done += batch;
      if (!ReadClusters(first, batch, buffer.data())) continue;  // cannot be positioned: skipped
      const uint64_t n = std::min(batch * cluster, remaining);
      if (!Emit(buffer.data(), n)) return false;
      remaining -= n;
    }
  }
  return true;
}

bool ntfs::WriteCompressed(const std::vector<MftRun>& runs, uint64_t spanClusters, uint64_t dataSize) {
  const uint64_t cluster = ClusterSize();
  const uint64_t unit = unitClusters;
  if (unit == 0 || unit * cluster > kMaxUnitBytes) return WritePlain(runs, spanClusters, dataSize);
  const uint64_t unitBytes = unit * cluster;
  std::vector<uint8_t> input(static_cast<size_t>(unitBytes)), output(static_cast<size_t>(unitBytes));
  std::vector<std::optional<int64_t>> clusters(static_cast<size_t>(unit));
  ClusterCursor cursor(runs);
  uint64_t remaining = dataSize;
  const uint64_t units = spanClusters / unit;  // a trailing partial unit is not written
  for (uint64_t u = 0; u < units && remaining > 0; ++u) {
    size_t used = 0;  // 1-based position of the unit's last allocated cluster
    for (size_t k = 0; k < clusters.size(); ++k) {
      clusters[k] = cursor.Next();
      if (clusters[k]) used = k + 1;
    }
    const uint8_t* data = output.data();
    if (used == 0) {
      std::fill(output.begin(), output.end(), 0);  // a sparse unit
    } else {
      // Read the first `used` clusters, joining neighbours into one request.
      for (size_t k = 0; k < used;) {
        if (!clusters[k]) {
          std::memset(input.data() + k * cluster, 0, static_cast<size_t>(cluster));
          ++k;
          continue;
        }
        size_t end = k + 1;
        while (end < used && clusters[end] && *clusters[end] == *clusters[end - 1] + 1) ++end;
        ReadClusters(static_cast<uint64_t>(*clusters[k]), end - k, input.data() + k * cluster);
        k = end;
      }
      if (used == unit) {
        data = input.data();  // stored as it is
      } else {
        const size_t produced = Lznt1Decompress(ByteView(input.data(), used * cluster), output.data(), output.size());
        // A unit always stands for unitBytes of the file.
        std::memset(output.data() + produced, 0, output.size() - produced);
      }
    }
    const uint64_t n = std::min(unitBytes, remaining);
    if (!Emit(data, n)) return false;
    remaining -= n;
  }
  return true;
}

bool ntfs::WriteRuns(const std::vector<MftRun>& runs, uint64_t spanClusters, bool compressed, uint64_t dataSize) {
  return compressed ? WriteCompressed(runs, spanClusters, dataSize) : WritePlain(runs, UINT64_MAX, dataSize);
}

bool ntfs::WriteFromDataRuns(const wchar_t* storageText, uint64_t dataSize) {
  uint64_t span = 0;
  for (const MftRun& r : dataRuns) span = CheckedAdd(span, r.clusterCount).value_or(UINT64_MAX);
  return WriteRuns(dataRuns, span, IsCompressed(storageText), dataSize);
}

void ntfs::ReadAttributeList(const RecordHeaderCopy& header) {
  listedRecords.clear();
  const ByteView record(header.fixedUp.data(), header.fixedUp.size());
  for (size_t k = 0; k < header.attributes.size(); ++k) {
    const AttributeView a = ViewOf(record, header.attributes[k]);
    if (a.type != kTypeAttributeList) continue;
    hasDataAttribute = 0;
    ByteView list;
    std::vector<uint8_t> bytes;
    if (!a.NonResident()) {
      list = ResidentContent(record, a, true);
    } else {
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
        if (c) ReadClusters(static_cast<uint64_t>(*c), 1, one.data());
        else std::fill(one.begin(), one.end(), 0);
        const uint64_t n = std::min(cluster, size - at);
        std::memcpy(bytes.data() + at, one.data(), static_cast<size_t>(n));
        at += n;
      }
      list = ByteView(bytes.data(), bytes.size());
    }
    std::unordered_set<uint64_t> seen;
    for (size_t pos = 0; list.Fits(pos, kAlMinimumLength);) {
      const uint32_t type = list.Le32(pos + kAlType);
      const uint16_t length = list.Le16(pos + kAlLength);
      if (type == kTypeEnd || length < kAlMinimumLength || !list.Fits(pos, length)) break;
      if (type == kTypeData && list.U8(pos + kAlNameLength) == 0) {
        const uint32_t low = list.Le32(pos + kAlRecordLow);
        const uint16_t high = list.Le16(pos + kAlRecordHigh);
        if (seen.insert((uint64_t{high} << 32) | low).second) listedRecords.emplace_back(low, high);
      }
      pos += length;
    }
    return;
  }
}

namespace {
uint16_t UnitClustersFor(uint16_t compressionUnit) {
  const unsigned shift = compressionUnit & 0x1F;
  return shift >= 16 ? 0 : static_cast<uint16_t>(1u << shift);  // 2^16 and above do not fit
}
}  // namespace

bool ntfs::ExtractEntry(const std::wstring& indexText) {
  const int64_t index = LeadingInteger(indexText);
  outputPath = TrimRight(outputPath);
  if (index < 0 || index >= static_cast<int64_t>(entries.size())) return false;
  const NtfsEntryRecord& entry = entries[static_cast<size_t>(index)];
  if (!entry.HasName()) return false;
  currentName = Trim(entry.name);
  outputPath += SafeComponent(currentName);
  writeError_ = 0;
  if (!outputFile_.Create(outputPath)) return false;

  const RecordHeaderCopy header = ReadRecordHeader(index);
  if (!header.valid || std::memcmp(header.header.data(), "FILE", 4) != 0) {
    ShowPlain(L"not a valid entry...");
    outputFile_.Close();
    return false;
  }
  const DataAttributeSummary summary = DataAttributeInfo(header);

  if (DataFromAttributeList(header, index)) {
    const auto recordOf = [](const std::pair<uint32_t, uint16_t>& r) {
      return static_cast<int64_t>((uint64_t{r.second} << 32) | r.first);
    };
    // Record numbers are table indices when the MFT was read by its runs.
    const RecordHeaderCopy first = ReadRecordHeader(recordOf(listedRecords.front()));
    const DataAttributeSummary firstSummary = DataAttributeInfo(first);
    unitClusters = UnitClustersFor(firstSummary.compressionUnit);
    dataRuns.clear();
    for (const auto& listed : listedRecords) {
      const int64_t target = recordOf(listed);
      if (target < 0 || target >= static_cast<int64_t>(entries.size())) continue;
      if (!ReadRecordAt(entries[static_cast<size_t>(target)].recordOffset, recordBuffer.data())) continue;
      ApplyFixups(recordBuffer, fixedScratch_);
      const std::vector<MftRun> runs = RunsOfAttribute(fixedScratch_.data(), kTypeData, -1, true);
      dataRuns.insert(dataRuns.end(), runs.begin(), runs.end());
    }
    clusterSpan = 0;
    for (const MftRun& r : dataRuns) clusterSpan = CheckedAdd(clusterSpan, r.clusterCount).value_or(UINT64_MAX);
    WriteFromDataRuns(firstSummary.storageText, firstSummary.residency == 'N' ? firstSummary.dataSize : 0);
    hasDataAttribute = 0;
  }

  if (hasDataAttribute && writeError_ == 0) {
    if (entry.IsDirectory()) {
      ShowPlain(Format(L"This is  %ls directory .Please specify file names ", Utf16ToWide(currentName).c_str()));
    } else if (summary.residency != 'N') {
      if (summary.dataOffset < kRecordSize) {
        const uint64_t n = std::min<uint64_t>(summary.dataLength, kRecordSize - summary.dataOffset);
        Emit(header.fixedUp.data() + summary.dataOffset, n);
      }
    } else {
      const int chosen = SelectDataAttribute(header);
      const bool unnamed = chosen >= 0 &&
                           ViewOf(ByteView(header.fixedUp.data(), header.fixedUp.size()),
                                  header.attributes[static_cast<size_t>(chosen)])
                                   .NameLength() == 0;
      const std::vector<MftRun> runs = RunsOfAttribute(header.fixedUp.data(), kTypeData, chosen, unnamed);
      const bool compressed = IsCompressed(summary.storageText);
      if (compressed) unitClusters = UnitClustersFor(summary.compressionUnit);
      WriteRuns(runs, clusterSpan, compressed, summary.dataSize);
    }
  }

  attributeHeaders.clear();
  mftRuns.clear();
  dataRuns.clear();
  const EntryTimes times = GetTimesAndAttributes(entry.recordOffset);
  if (writeError_ == 0 && (times.access != 0 || times.modification != 0)) {
    const UnixTime access = FileTimeToUnix(times.access);
    const UnixTime modification = FileTimeToUnix(times.modification);
    outputFile_.SetTimes(access.seconds, access.nanoseconds, modification.seconds, modification.nanoseconds);
  }
  if (!outputFile_.Close() && writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
  if (writeError_ != 0) {
    ShowPlain(Format(L"Exception :  %ls   ", Utf8ToWide(std::strerror(writeError_)).c_str()));
    return false;
  }
  return true;
}

uint64_t ntfs::EntryDataSize(int64_t index) {
  const RecordHeaderCopy header = ReadRecordHeader(index);
  if (!header.valid) return 0;
  const DataAttributeSummary own = DataAttributeInfo(header);
  if (DataFromAttributeList(header, index)) {
    const auto& r = listedRecords.front();
    const RecordHeaderCopy first = ReadRecordHeader(static_cast<int64_t>((uint64_t{r.second} << 32) | r.first));
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
  for (const auto& r : listedRecords)
    if (((uint64_t{r.second} << 32) | r.first) != static_cast<uint64_t>(index)) elsewhere = true;
  if (!listedRecords.empty() && (dataViaAttributeList || elsewhere)) return true;
  hasDataAttribute = hadData;
  return false;
}

}  // namespace lv
