// A file's data: the clusters it takes (one run for a NoFatChain file, the
// table's chain otherwise, the free clusters after the first one for a
// deleted file whose chain is gone) read in batches for the shared writer.
#include <algorithm>

#include "common/Text.h"
#include "fat/Exfat.h"
#include "fat/ExfatLayout.h"
#include "platform/SaveWriter.h"

namespace lv {

using namespace exfat_layout;

namespace {

constexpr uint64_t kIoBytes = 1 << 20;  // one read request at most

void Append(std::vector<ClusterRun>& runs, uint32_t cluster) {
  if (!runs.empty() && uint64_t{runs.back().first} + runs.back().count == cluster) {
    ++runs.back().count;
  } else {
    runs.push_back({cluster, 1});
  }
}

uint64_t ClustersFor(uint64_t bytes, uint64_t clusterBytes) {
  return bytes / clusterBytes + (bytes % clusterBytes != 0 ? 1 : 0);
}

}  // namespace

// The clusters of the runs in file order, read up to 1 MiB at a time into
// the engine's buffer. Clusters that cannot be positioned are holes; the
// data ends with the runs (a short file when they end before its length).
class ExfatClusterStream final : public DataStream {
 public:
  ExfatClusterStream(Fat64Class& engine, std::vector<ClusterRun> runs, uint64_t size)
      : engine_(engine), runs_(std::move(runs)), cluster_(engine.geometry.clusterBytes), remaining_(size) {
    batch_ = std::max<uint64_t>(1, kIoBytes / cluster_);
    engine_.ioBuffer_.resize(std::max<size_t>(engine_.ioBuffer_.size(), static_cast<size_t>(batch_ * cluster_)));
  }

  bool Next(DataPiece& piece) override {
    while (run_ < runs_.size() && within_ >= runs_[run_].count) {
      ++run_;
      within_ = 0;
    }
    if (remaining_ == 0 || run_ >= runs_.size()) return false;
    const ClusterRun& run = runs_[run_];
    const uint64_t clusters = std::min(batch_, run.count - within_);
    const uint64_t first = run.first + within_;
    within_ += clusters;
    const uint64_t span = clusters * cluster_;
    const uint64_t length = std::min(span, remaining_);
    // The last piece reads only the sectors it needs.
    const uint64_t bytes = std::min(span, (length + 511) / 512 * 512);
    uint8_t* out = engine_.ioBuffer_.data();
    const VolumeView::BatchResult read = engine_.view.ReadBatch(
        engine_.ClusterOffset(static_cast<uint32_t>(first)), out, static_cast<size_t>(bytes),
        static_cast<uint32_t>(std::min<uint64_t>(cluster_, kIoBytes)));
    piece = {read.positioned ? out : nullptr, length};
    remaining_ -= length;
    return true;
  }

 private:
  Fat64Class& engine_;
  std::vector<ClusterRun> runs_;
  uint64_t cluster_;
  uint64_t remaining_;
  uint64_t batch_ = 1;
  size_t run_ = 0;
  uint64_t within_ = 0;
};

std::vector<ClusterRun> Fat64Class::ChainRuns(uint32_t first, uint64_t clusters) {
  std::vector<ClusterRun> runs;
  uint64_t taken = 0;
  for (uint32_t c = first; taken < clusters && ValidCluster(c); ++taken) {
    Append(runs, c);
    if (taken + 1 < clusters) c = NextCluster(c);
  }
  return runs;
}

std::optional<std::vector<ClusterRun>> Fat64Class::FreeChainRuns(uint32_t first, uint64_t clusters) {
  std::vector<ClusterRun> runs;
  std::unordered_set<uint32_t> seen;
  uint32_t c = first;
  for (uint64_t taken = 0; taken < clusters; ++taken) {
    if (!ValidCluster(c) || ClusterInUse(c).value_or(true) || !seen.insert(c).second) return std::nullopt;
    Append(runs, c);
    if (taken + 1 < clusters) c = NextCluster(c);
  }
  return runs;
}

std::vector<ClusterRun> Fat64Class::FreeClusterRuns(uint32_t first, uint64_t clusters) {
  std::vector<ClusterRun> runs;
  uint64_t taken = 0;
  for (uint64_t c = first; taken < clusters && ValidCluster(c); ++c) {
    const std::optional<bool> used = ClusterInUse(static_cast<uint32_t>(c));
    if (!used) break;
    if (*used) continue;
    Append(runs, static_cast<uint32_t>(c));
    ++taken;
  }
  return runs;
}

std::vector<ClusterRun> Fat64Class::DataRuns(const ExFatEntryRecord& record) {
  lookupCounter = 0;
  if (geometry.clusterBytes == 0 || !ValidCluster(record.firstCluster)) return {};
  const uint64_t clusters = ClustersFor(record.validDataLength, geometry.clusterBytes);
  const uint32_t first = record.firstCluster;
  if (clusters == 0) return {};
  if (FormattedDriveMode.load() != 0 || record.NoFatChain()) {
    // One run of consecutive clusters, as far as the heap goes.
    return {{first, std::min<uint64_t>(clusters, geometry.numberOfClusters - uint64_t{first})}};
  }
  if (record.IsDeleted() && ClusterInUse(first) == false) {
    // The chain of a deleted file may be gone (its table entries freed):
    // when it is not there whole on free clusters, the file is taken from
    // the free clusters that follow its first one, as it was written on a
    // volume with room.
    if (auto chain = FreeChainRuns(first, clusters)) return *chain;
    return FreeClusterRuns(first, clusters);
  }
  return ChainRuns(first, clusters);
}

EntryData Fat64Class::OpenRecordData(const ExFatEntryRecord& record) {
  EntryData data;
  data.size = record.validDataLength;
  data.maxStoredBytes = view.AvailableBytes();
  data.times = ExfatFileTimes(record);
  if (data.size == 0) return data;
  if (geometry.clusterBytes == 0) {
    data.valid = false;
    return data;
  }
  if (!ValidCluster(record.firstCluster)) {
    data.unreadable = Format(L"The data of %ls lies outside the volume; it was not written.",
                             Utf16ToWide(Trim(record.name)).c_str());
    return data;
  }
  data.stream = std::make_unique<ExfatClusterStream>(*this, DataRuns(record), data.size);
  return data;
}

EntryData Fat64Class::OpenEntryData(int64_t index) {
  if (index < 0 || static_cast<uint64_t>(index) >= entries.size()) {
    EntryData data;
    data.valid = false;
    return data;
  }
  return OpenRecordData(entries[static_cast<size_t>(index)]);
}

bool Fat64Class::ExtractFile(const std::string& outputPath, const ExFatEntryRecord& record) {
  const size_t slash = outputPath.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : outputPath.substr(0, slash);
  const std::string name = slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
  if (name.empty()) return false;
  SaveWriter writer;
  if (!writer.Open(folder)) return false;
  EntryData data = OpenRecordData(record);
  return writer.Write("", name, data).ok() && data.valid;
}

}  // namespace lv
