// The directory walk: the root directory and every folder below it, read
// cluster by cluster along their chains, entry sets decoded across cluster
// boundaries, and the links of the table.
#include <algorithm>

#include "fat/Exfat.h"
#include "fat/ExfatLayout.h"

namespace lv {

using namespace exfat_layout;

namespace {

// Records the table holds at most (indexes are 32-bit).
constexpr size_t kMaxEntries = INT32_MAX - 16;

// The clusters of one directory in order: consecutive ones for a
// NoFatChain folder, the table's chain otherwise, never more than `limit`.
class DirectoryClusters {
 public:
  DirectoryClusters(Fat64Class& engine, uint32_t first, bool contiguous, uint64_t limit)
      : engine_(engine), next_(first), contiguous_(contiguous), left_(limit) {}
  bool Next(uint32_t& cluster) {
    if (left_ == 0 || !engine_.ValidCluster(next_)) return false;
    cluster = next_;
    --left_;
    next_ = contiguous_ ? cluster + 1 : engine_.NextCluster(cluster);
    return true;
  }

 private:
  Fat64Class& engine_;
  uint64_t next_;
  bool contiguous_;
  uint64_t left_;
};

}  // namespace

void Fat64Class::CollectEntries() {
  entries.clear();
  nameStore.Clear();
  readClusters.clear();
  // The root's placeholder: a folder at the root's first cluster.
  ExFatEntryRecord root;
  root.entryType = kTypeFile;
  root.attributes = kAttributeDirectory;
  root.firstCluster = geometry.rootCluster;
  root.secondaryFlags = kAllocationPossible;
  root.name = nameStore.Add(kDummyName);
  entries.push_back(root);
  if (geometry.clusterBytes == 0) return;

  // Folders are walked in the order they are found; children keep the
  // order of their directory whatever the order of the walks.
  std::deque<int32_t> pending = {0};
  while (!pending.empty() && !StopPolled(stopRequested, pauseGate)) {
    const int32_t folder = pending.front();
    pending.pop_front();
    WalkDirectory(folder, pending);
  }
}

void Fat64Class::WalkDirectory(int32_t folder, std::deque<int32_t>& pending) {
  const ExFatEntryRecord place = entries[static_cast<size_t>(folder)];
  const uint64_t cluster = geometry.clusterBytes;
  // The root has no stream extension: its chain alone says how long it is.
  // A folder takes its data length, or one cluster when that is 0; a
  // folder's chain may run one cluster past it (the table then ends it).
  uint64_t limit = kMaxDirectoryBytes / cluster;
  bool contiguous = false;
  if (folder != 0) {
    contiguous = place.NoFatChain();
    const uint64_t length = std::min(place.dataLength, kMaxDirectoryBytes);
    const uint64_t clusters = (length + cluster - 1) / cluster;
    limit = std::max<uint64_t>(1, contiguous ? clusters : length / cluster + 2);
    limit = std::min(limit, std::max<uint64_t>(1, kMaxDirectoryBytes / cluster));
  }
  DirectoryClusters clusters(*this, place.firstCluster, contiguous, limit);

  // The entries of consecutive clusters, so that a set whose name entries
  // begin in the next cluster is read whole.
  std::vector<uint8_t>& buffer = directoryBuffer_;
  buffer.clear();
  size_t at = 0;
  bool more = true;
  const size_t lookahead = kMaxSetEntries * kEntryBytes;
  const auto readNext = [&]() {
    uint32_t c;
    if (StopPolled(stopRequested, pauseGate) || !clusters.Next(c) || !readClusters.insert(c).second) return false;
    const size_t end = buffer.size();
    buffer.resize(end + static_cast<size_t>(cluster));
    view.ReadBatch(ClusterOffset(c), buffer.data() + end, static_cast<size_t>(cluster));
    return true;
  };

  std::unordered_map<uint32_t, int32_t> foldersHere;
  ExFatEntryRecord record;
  std::u16string name;
  for (;;) {
    while (more && buffer.size() - at < lookahead) more = readNext();
    if (buffer.size() - at < kEntryBytes) break;
    const DecodedSlot slot = DecodeSlot(ByteView(buffer.data() + at, buffer.size() - at), record, name);
    at += slot.entries * kEntryBytes;
    if (slot.kind == SlotKind::Bitmap && folder == 0 && bitmapCluster_ == 0) {
      bitmapCluster_ = slot.bitmapCluster;
      bitmapBytes_ = slot.bitmapBytes;
    } else if (slot.kind == SlotKind::FileSet && entries.size() < kMaxEntries) {
      AddRecord(record, name, folder, foldersHere, pending);
    }
    // Entries already walked leave the buffer once a cluster's worth of
    // them has gathered.
    if (at >= cluster) {
      buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(at));
      at = 0;
    }
  }
}

void Fat64Class::AddRecord(ExFatEntryRecord& record, const std::u16string& name, int32_t folder,
                           std::unordered_map<uint32_t, int32_t>& foldersHere, std::deque<int32_t>& pending) {
  record.parentIndex = folder;
  record.ownIndex = static_cast<int32_t>(entries.size());
  if (record.IsFolder() && ValidCluster(record.firstCluster)) {
    const auto [found, added] = foldersHere.emplace(record.firstCluster, record.ownIndex);
    if (!added) {
      // Two folders of one directory on one cluster: a deleted folder whose
      // cluster a later folder took. One record stands for both, with the
      // live folder's name and state (or the later one's when both are
      // alike); its cluster is walked once.
      ExFatEntryRecord& earlier = entries[static_cast<size_t>(found->second)];
      if (!earlier.IsDeleted() && record.IsDeleted()) return;
      const int32_t own = earlier.ownIndex, parent = earlier.parentIndex;
      earlier = record;
      earlier.ownIndex = own;
      earlier.parentIndex = parent;
      earlier.name = nameStore.Add(name);
      return;
    }
    pending.push_back(record.ownIndex);
  }
  record.name = nameStore.Add(name);
  entries.push_back(record);
}

void Fat64Class::LinkEntries() {
  const size_t count = entries.size();
  progressTarget->ProgressRange(0, 1000);
  // The last child linked below each record, so that a folder of many
  // entries is linked in one pass.
  std::vector<int32_t> lastChild(count, 0);
  for (ExFatEntryRecord& e : entries) e.firstChild = e.nextSibling = 0;
  for (size_t h = 1; h < count; ++h) {
    if (h % 4096 == 0) progressTarget->ProgressPosition(static_cast<int64_t>(h * 1000 / count));
    const int32_t p = entries[h].parentIndex;
    if (p < 0 || static_cast<size_t>(p) >= count || static_cast<size_t>(p) == h) continue;
    ExFatEntryRecord& parent = entries[static_cast<size_t>(p)];
    if (parent.firstChild == 0) {
      parent.firstChild = static_cast<int32_t>(h);
    } else {
      entries[static_cast<size_t>(lastChild[static_cast<size_t>(p)])].nextSibling = static_cast<int32_t>(h);
    }
    lastChild[static_cast<size_t>(p)] = static_cast<int32_t>(h);
  }
  progressTarget->ProgressPosition(1000);
}

}  // namespace lv
