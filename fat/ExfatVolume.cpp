// The exFAT volume: boot sector and geometry, allocation table lookups and
// the allocation bitmap.
#include <algorithm>
#include <cstring>

#include "common/Text.h"
#include "fat/Exfat.h"
#include "fat/ExfatLayout.h"
#include "platform/MessageBox.h"

namespace lv {

using namespace exfat_layout;

void ExfatBlockCache::Read(const VolumeView& view, uint64_t offset, uint8_t* out, size_t n) {
  std::memset(out, 0, n);
  for (size_t done = 0; done < n;) {
    const uint64_t at = offset + done;
    const uint64_t number = at / kBlockBytes;
    Block* block = nullptr;
    for (Block& b : blocks_)
      if (b.number == number) block = &b;
    if (!block) {
      if (blocks_.size() < kBlocks) {
        blocks_.emplace_back();
        block = &blocks_.back();
      } else {
        block = &*std::min_element(blocks_.begin(), blocks_.end(),
                                   [](const Block& a, const Block& b) { return a.used < b.used; });
      }
      block->number = number;
      block->bytes.assign(kBlockBytes, 0);
      view.ReadBatch(number * kBlockBytes, block->bytes.data(), kBlockBytes, 4096);
    }
    block->used = ++clock_;
    const uint64_t within = at % kBlockBytes;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(n - done, kBlockBytes - within));
    std::memcpy(out + done, block->bytes.data() + within, take);
    done += take;
  }
}

Fat64Class::Fat64Class(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink)
    : reader(reader), volume(volume), view(reader, volume.startSector), statusLine(&sink), progressTarget(&sink) {}

Fat64Class::~Fat64Class() = default;

bool Fat64Class::AttachVolume() {
  const int64_t megabytes = LeadingInteger(volume.sizeText);
  volumeSize = megabytes > 0 ? VolumeView::Bytes(static_cast<uint64_t>(megabytes), 1048576).value_or(0) : 0;
  return view.Valid();
}

bool Fat64Class::CheckBootSector() {
  bootSector.assign(kSectorSize, 0);
  if (!view.Read(0, bootSector.data(), static_cast<uint32_t>(kSectorSize))) {
    ShowInfo(L"cant read file");
    return false;
  }
  const ByteView boot(bootSector.data(), bootSector.size());
  if (!boot.Matches(kFileSystemName, "EXFAT")) return false;

  // Every field is checked before any position is derived from it.
  const unsigned sectorShift = boot.U8(kBytesPerSectorShift);
  const unsigned clusterShift = boot.U8(kSectorsPerClusterShift);
  if (sectorShift < kMinBytesPerSectorShift || sectorShift > kMaxBytesPerSectorShift) return false;
  if (clusterShift > kMaxClusterShift - sectorShift) return false;
  const uint64_t fatSectors = boot.Le32(kFatOffset), fatLength = boot.Le32(kFatLength);
  const uint64_t heapSectors = boot.Le32(kClusterHeapOffset);
  const uint64_t clusterCount = boot.Le32(kClusterCount);
  const uint32_t root = boot.Le32(kFirstClusterOfRoot);
  if (fatSectors == 0 || fatLength == 0 || heapSectors == 0 || clusterCount == 0) return false;

  ExfatGeometry g;
  g.bytesPerSector = 1u << sectorShift;
  g.sectorsPerCluster = 1u << clusterShift;
  g.clusterBytes = uint64_t{1} << (sectorShift + clusterShift);
  // 32-bit sector counts of at most 4096 bytes: no product overflows.
  g.fatOffset = fatSectors << sectorShift;
  g.fatBytes = fatLength << sectorShift;
  g.heapOffset = heapSectors << sectorShift;
  // Clusters the table has entries for, the boot sector counts and the
  // source holds.
  uint64_t clusters = std::min<uint64_t>(clusterCount, g.fatBytes / 4 > 2 ? g.fatBytes / 4 - 2 : 0);
  const uint64_t available = view.AvailableBytes();
  const uint64_t heapHeld = available > g.heapOffset ? (available - g.heapOffset) / g.clusterBytes : 0;
  clusters = std::min(clusters, heapHeld);
  g.numberOfClusters = static_cast<uint32_t>(std::min<uint64_t>(clusters + 2, kEndOfChain - 8));
  g.rootCluster = root;
  geometry = g;
  sectorsPerClusterShift = static_cast<uint8_t>(clusterShift);
  tableCache_.Clear();
  bitmapCache_.Clear();
  bitmapLocated_ = false;
  bitmapCluster_ = 0;
  bitmapBytes_ = 0;
  return true;
}

bool Fat64Class::LoadRootDirectory() { return geometry.clusterBytes != 0 && ValidCluster(geometry.rootCluster); }

uint32_t Fat64Class::NextCluster(uint32_t cluster) {
  ++lookupCounter;
  uint32_t value = kEndOfChain;
  const uint64_t position = uint64_t{cluster} * 4;
  if (FormattedDriveMode.load() == 0 && ValidCluster(cluster) && position + 4 <= geometry.fatBytes) {
    uint8_t bytes[4];
    tableCache_.Read(view, geometry.fatOffset + position, bytes, sizeof bytes);
    value = static_cast<uint32_t>(ByteView(bytes, sizeof bytes).Le32(0));
  }
  lastTableValue = value;
  return value;
}

void Fat64Class::LocateBitmap() {
  bitmapLocated_ = true;
  bitmapClusters_.clear();
  if (!ValidCluster(bitmapCluster_)) return;
  // One bit per heap cluster; what the entry declares beyond that is not read.
  const uint64_t needed = (uint64_t{geometry.numberOfClusters} - 2 + 7) / 8;
  const uint64_t bytes = std::min(bitmapBytes_, needed);
  const uint64_t clusters = (bytes + geometry.clusterBytes - 1) / geometry.clusterBytes;
  // The bitmap's clusters follow its chain; where the chain ends early they
  // are taken as consecutive, as the bitmap is written.
  uint32_t c = bitmapCluster_;
  std::unordered_set<uint32_t> seen;
  while (bitmapClusters_.size() < clusters && ValidCluster(c) && seen.insert(c).second) {
    bitmapClusters_.push_back(c);
    const uint32_t next = NextCluster(c);
    c = ValidCluster(next) ? next : c + 1;
  }
  if (bitmapClusters_.size() < clusters) bitmapClusters_.clear();
}

std::optional<bool> Fat64Class::ClusterInUse(uint32_t cluster) {
  if (!bitmapLocated_) LocateBitmap();
  if (bitmapClusters_.empty() || !ValidCluster(cluster)) return std::nullopt;
  const uint64_t bit = cluster - 2u;
  const uint64_t byte = bit / 8;
  const uint64_t index = byte / geometry.clusterBytes;
  if (index >= bitmapClusters_.size()) return std::nullopt;
  uint8_t value = 0;
  bitmapCache_.Read(view, ClusterOffset(bitmapClusters_[index]) + byte % geometry.clusterBytes, &value, 1);
  return ((value >> (bit % 8)) & 1) != 0;
}

}  // namespace lv
