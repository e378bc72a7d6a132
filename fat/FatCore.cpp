#include "fat/FatCore.h"

#include <algorithm>
#include <unordered_map>

#include "common/Text.h"
#include "fat/FatDirectory.h"
#include "fat/FatLayout.h"
#include "platform/SaveWriter.h"

namespace lv {

using namespace fatlayout;

// One folder being walked: its record, the cluster of its chain being read
// (0 for the fixed root region) and the next slot there.
struct FatCore::Frame {
  int32_t folder = 0;
  uint32_t cluster = 0;
  size_t next = 0;
  bool checkDot = false;  // the folder's first slot must be "."
  bool loaded = false;    // clusterBuffer_ holds this frame's cluster
  LongNameRun run;
  // First clusters of the subfolders seen in this folder → their records.
  std::unordered_map<uint32_t, int32_t> folders;
};

FatCore::FatCore(readWriteInterface& reader, const VolumeEntry& v, WorkerSink& sink, FatWalkRules walkRules)
    : volume(v), view(reader, v.startSector), rules(walkRules), statusLine(&sink), progressTarget(&sink) {}

FatCore::~FatCore() = default;

bool FatCore::ReadBootSector() {
  bootSector.fill(0);
  geometry.reset();
  if (!view.Valid()) return false;
  view.Read(0, bootSector.data(), static_cast<uint32_t>(bootSector.size()));
  geometry = ReadFatParameters(ByteView(bootSector.data(), bootSector.size()));
  return geometry.has_value();
}

uint32_t FatCore::FirstCluster(const FatEntryRecord& entry) const {
  return rules.highClusterWord ? (uint32_t{entry.clusterHigh} << 16) | entry.clusterLow : entry.clusterLow;
}

uint32_t FatCore::ReadableLimit() const {
  if (!geometry) return 0;
  const uint64_t available = view.AvailableBytes();
  if (available <= geometry->dataStart) return std::min<uint32_t>(table.Limit(), 2);
  const uint64_t after = available - geometry->dataStart;
  const uint64_t clusters = after / geometry->clusterBytes + (after % geometry->clusterBytes != 0);
  return static_cast<uint32_t>(std::min<uint64_t>(table.Limit(), clusters + 2));
}

uint64_t FatCore::ClusterOffset(uint32_t cluster) const {
  // Cluster numbers are below 2^28 and cluster sizes below 2^20: no overflow.
  return geometry->dataStart + uint64_t{cluster - 2} * geometry->clusterBytes;
}

FatEntryRecord FatCore::DecodeSlot(ByteView slot, int32_t parent) const {
  FatEntryRecord r;
  r.attributes = slot.U8(kAttributes);
  r.creationTenths = slot.U8(kCreationTenths);
  r.creationTime = slot.Le16(kCreationTime);
  r.creationDate = slot.Le16(kCreationDate);
  r.accessDate = slot.Le16(kAccessDate);
  r.clusterHigh = slot.Le16(kClusterHigh);
  r.writeTime = slot.Le16(kWriteTime);
  r.writeDate = slot.Le16(kWriteDate);
  r.clusterLow = slot.Le16(kClusterLow);
  r.size = slot.Le32(kSize);
  r.parentIndex = parent;
  return r;
}

void FatCore::CollectEntries(const std::vector<uint8_t>* region, uint32_t rootCluster) {
  entries.clear();
  names.Clear();
  stack_.clear();
  deferred_.clear();
  if (!geometry) return;
  clusterBuffer_.assign(static_cast<size_t>(geometry->clusterBytes), 0);

  FatEntryRecord dummy;
  dummy.attributes = kLongName;
  dummy.name = names.Add(kDummyEntryName);
  entries.push_back(dummy);

  Frame root;
  if (region) {
    stack_.push_back(std::move(root));
  } else if (table.IsCluster(rootCluster) && readClusters.insert(rootCluster).second) {
    root.cluster = rootCluster;
    stack_.push_back(std::move(root));
  }
  Walk(region);
  // Deleted folders, in the order they were found (their subfolders join
  // the queue as they are met).
  while (!deferred_.empty() && !StopPolled(stopRequested, pauseGate)) {
    const int32_t folder = deferred_.front();
    deferred_.pop_front();
    Descend(folder);
    Walk(region);
  }
  stack_.clear();
  deferred_.clear();
}

void FatCore::Walk(const std::vector<uint8_t>* region) {
  const uint32_t readable = ReadableLimit();
  while (!stack_.empty()) {
    if (StopPolled(stopRequested, pauseGate)) {
      stack_.clear();
      deferred_.clear();
      return;
    }
    Frame& f = stack_.back();
    const uint8_t* block;
    size_t blockBytes;
    if (f.cluster == 0) {
      block = region ? region->data() : nullptr;
      blockBytes = region ? region->size() : 0;
    } else {
      if (!f.loaded) {
        view.ReadBatch(ClusterOffset(f.cluster), clusterBuffer_.data(), clusterBuffer_.size());
        f.loaded = true;
      }
      block = clusterBuffer_.data();
      blockBytes = clusterBuffer_.size();
    }
    if (kSlotBytes > blockBytes || f.next > blockBytes - kSlotBytes) {
      // The next cluster of the folder's chain, unless it was read before.
      // FormattedDriveMode takes folders to end after their first cluster;
      // the root of a FAT32 volume is read whole all the same.
      const bool chained = f.cluster != 0 && !(FormattedDriveMode.load() && f.folder != 0);
      const uint32_t next = chained ? table.Next(f.cluster) : 0;
      if (next == 0 || next >= readable || !readClusters.insert(next).second) {
        stack_.pop_back();
        continue;
      }
      f.cluster = next;
      f.next = 0;
      f.loaded = false;  // a long-name run may go on into the next cluster
      continue;
    }
    const ByteView slot(block + f.next, kSlotBytes);
    f.next += kSlotBytes;
    if (f.checkDot) {
      f.checkDot = false;
      if (slot.U8(kName) != '.') {
        stack_.pop_back();  // not a folder's cluster: nothing is taken from it
        continue;
      }
    }
    if (slot.U8(kName) == 0) {
      f.run.Reset();
      // FAT32: the rest of a folder's cluster is free.
      if (rules.zeroEndsFolderCluster && f.folder != 0) f.next = blockBytes;
      continue;
    }
    HandleSlot(slot);
  }
}

void FatCore::HandleSlot(ByteView slot) {
  Frame& f = stack_.back();
  const uint8_t first = slot.U8(kName);
  const uint8_t attributes = slot.U8(kAttributes);
  if (attributes == kLongName) {
    f.run.Add(slot);
    return;
  }
  if (first == '.') {
    f.run.Reset();
    return;
  }
  FatEntryRecord r = DecodeSlot(slot, f.folder);
  bool runDeleted = false;
  if (!f.run.Take(slot, name_, runDeleted)) name_ = ShortEntryName(slot.Sub(kName, kShortNameBytes), slot.U8(kCaseFlags));
  // Whatever a deleted folder holds is deleted with it, marked or not (a
  // folder deleted whole keeps its entries as they were): its clusters are
  // free like theirs.
  const bool inDeleted = f.folder != 0 && entries[static_cast<size_t>(f.folder)].deleted;
  r.deleted = first == kDeletedMark || runDeleted || inDeleted ? 1 : 0;
  r.name = names.Add(name_);
  const auto index = static_cast<int32_t>(entries.size());
  r.ownIndex = index;
  if (!IsFolderAttribute(attributes)) {
    entries.push_back(r);
    return;
  }
  const uint32_t cluster = FirstCluster(r);
  if (table.IsCluster(cluster)) {
    const auto [at, added] = f.folders.try_emplace(cluster, index);
    if (!added) {
      // The same folder under a second slot (a deleted folder whose cluster
      // was given to a later one): one record, named after the later slot,
      // unless that would make a live folder a deleted one.
      FatEntryRecord& earlier = entries[static_cast<size_t>(at->second)];
      if (earlier.deleted || !r.deleted) {
        earlier.name = r.name;
        earlier.deleted = r.deleted;
      }
      if (!earlier.deleted) Descend(at->second);
      return;
    }
  }
  entries.push_back(r);
  if (r.deleted) deferred_.push_back(index);
  else Descend(index);
}

void FatCore::Descend(int32_t folder) {
  if (folder <= 0 || static_cast<size_t>(folder) >= entries.size()) return;
  const uint32_t cluster = FirstCluster(entries[static_cast<size_t>(folder)]);
  if (!table.IsCluster(cluster) || cluster >= ReadableLimit() || !readClusters.insert(cluster).second) return;
  if (!stack_.empty()) stack_.back().loaded = false;  // the subfolder takes the cluster buffer
  Frame child;
  child.folder = folder;
  child.cluster = cluster;
  child.checkDot = true;
  stack_.push_back(std::move(child));
}

void FatCore::LinkEntries() {
  const size_t count = entries.size();
  progressTarget->ProgressRange(0, 1000);
  std::vector<int32_t> last(count, 0);
  int64_t shown = -1;
  for (size_t h = 0; h < count; ++h) {
    const int32_t p = entries[h].parentIndex;
    if (p >= 0 && static_cast<size_t>(p) < count && static_cast<size_t>(p) != h) {
      FatEntryRecord& parent = entries[static_cast<size_t>(p)];
      if (parent.firstChild == 0) parent.firstChild = static_cast<int32_t>(h);
      else entries[static_cast<size_t>(last[static_cast<size_t>(p)])].nextSibling = static_cast<int32_t>(h);
      last[static_cast<size_t>(p)] = static_cast<int32_t>(h);
    }
    const int64_t position = static_cast<int64_t>(h * 1000 / count);
    if (position != shown) {
      progressTarget->ProgressPosition(position);
      shown = position;
    }
  }
  progressTarget->ProgressPosition(1000);
}

namespace {

enum class ClusterOrder : uint8_t {
  Chain,          // the table's chain
  Consecutive,    // every following cluster (FormattedDriveMode)
  FreeFollowing,  // the following clusters the table marks free
  FirstOnly,      // the first cluster alone
};

// Reads a file's clusters in order, a run of consecutive clusters per read.
class ClusterStream final : public DataStream {
 public:
  ClusterStream(FatCore& core, uint32_t first, uint64_t size, ClusterOrder order)
      : core_(core), next_(first), remaining_(size), order_(order), limit_(core.ReadableLimit()) {
    recent_.push_back(first);
  }

  bool Next(DataPiece& piece) override {
    if (remaining_ == 0 || next_ == 0) return false;
    const uint64_t clusterBytes = core_.ClusterBytes();
    const uint32_t start = next_;
    uint64_t bytes = 0;
    // Consecutive clusters join one read, up to kBatchBytes and the size.
    for (;;) {
      const uint32_t cluster = next_;
      bytes += clusterBytes;
      next_ = Follow(cluster);
      if (bytes >= remaining_ || next_ != cluster + 1 || bytes + clusterBytes > kBatchBytes) break;
    }
    const uint64_t n = std::min(bytes, remaining_);
    buffer_.resize(static_cast<size_t>(n));
    core_.view.ReadBatch(core_.ClusterOffset(start), buffer_.data(), buffer_.size());
    remaining_ -= n;
    piece = {buffer_.data(), n};
    return true;
  }

 private:
  static constexpr uint64_t kBatchBytes = 1 << 20;

  // The cluster after `cluster` in this order; 0 at the end.
  uint32_t Follow(uint32_t cluster) {
    switch (order_) {
      case ClusterOrder::Consecutive: return cluster + 1 < limit_ ? cluster + 1 : 0;
      case ClusterOrder::FirstOnly: return 0;
      case ClusterOrder::FreeFollowing:
        for (uint32_t c = cluster + 1; c < limit_; ++c)
          if (core_.table.IsFree(c)) return c;
        return 0;
      case ClusterOrder::Chain: break;
    }
    const uint32_t next = core_.table.Next(cluster);
    if (next == 0 || next >= limit_ || !FirstVisit(next)) return 0;
    return next;
  }

  // A chain that comes back to one of its clusters ends there.
  bool FirstVisit(uint32_t cluster) {
    if (visited_.empty()) {
      if (recent_.size() < kShortChain) {
        if (std::find(recent_.begin(), recent_.end(), cluster) != recent_.end()) return false;
        recent_.push_back(cluster);
        return true;
      }
      visited_.assign((limit_ + 63) / 64, 0);
      for (uint32_t c : recent_) visited_[c / 64] |= uint64_t{1} << (c % 64);
    }
    uint64_t& word = visited_[cluster / 64];
    const uint64_t bit = uint64_t{1} << (cluster % 64);
    if (word & bit) return false;
    word |= bit;
    return true;
  }

  static constexpr size_t kShortChain = 64;
  FatCore& core_;
  uint32_t next_;
  uint64_t remaining_;
  ClusterOrder order_;
  uint32_t limit_;
  std::vector<uint32_t> recent_;
  std::vector<uint64_t> visited_;
  std::vector<uint8_t> buffer_;
};

}  // namespace

EntryData FatCore::OpenData(const FatEntryRecord& entry) {
  EntryData data;
  data.size = entry.size;
  const std::optional<int64_t> modified = DosToUnixLocal(entry.writeDate, entry.writeTime);
  const std::optional<int64_t> accessed = DosToUnixLocal(entry.accessDate, 0);
  if (modified || accessed) {
    // A time that is not valid takes the other one.
    const int64_t m = modified.value_or(*accessed), a = accessed.value_or(*modified);
    data.times = FileTimes{a, 0, m, 0};
  }
  if (!geometry || entry.size == 0) return data;
  data.maxStoredBytes = uint64_t{geometry->clusterCount} * geometry->clusterBytes;
  const uint32_t first = FirstCluster(entry);
  if (!table.IsCluster(first) || first >= ReadableLimit()) {
    data.unreadable = Format(L"The data of %ls lies outside the volume; it was not written.",
                             Utf16ToWide(Trim(entry.name)).c_str());
    return data;
  }
  // A deleted file's own chain is gone from the table. When its first
  // cluster is free, the rest most likely follows in the free clusters;
  // when another file holds it, the chain there is that file's, and only
  // the first cluster is taken (as sleuthkit does).
  ClusterOrder order = ClusterOrder::Chain;
  if (FormattedDriveMode.load()) order = ClusterOrder::Consecutive;
  else if (entry.deleted) order = table.IsFree(first) ? ClusterOrder::FreeFollowing : ClusterOrder::FirstOnly;
  data.stream = std::make_unique<ClusterStream>(*this, first, entry.size, order);
  return data;
}

bool WriteEntryFile(const std::string& outputPath, EntryData data) {
  const std::string path = TrimRight(outputPath);
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (nameStart >= path.size()) return false;
  const std::string folder =
      slash == std::string::npos ? std::string(".") : std::string(path.data(), slash == 0 ? 1 : slash);
  SaveWriter writer;
  if (!writer.Open(folder)) return false;
  return writer.Write("", std::string(path.data() + nameStart, path.size() - nameStart), data).ok() && data.valid;
}

}  // namespace lv
