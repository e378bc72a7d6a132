// A file record's data fork: the eight extents of the record, then those of
// the extents-overflow records keyed by the file's ID and the number of
// blocks listed so far, read in batches for the shared writer.
#include <algorithm>

#include "common/Text.h"
#include "hfsplus/HFSP.h"
#include "hfsplus/HfsLayout.h"

namespace lv {

using namespace hfslayout;

namespace {
constexpr uint64_t kIoBytes = 1 << 20;  // one read request at most
}  // namespace

class HfsDataStream final : public DataStream {
 public:
  HfsDataStream(HFSP& engine, std::vector<HfsExtent> extents, uint64_t size)
      : engine_(engine), extents_(std::move(extents)), block_(engine.blockSize_), size_(size) {
    engine_.ioBuffer_.resize(std::max<size_t>(engine_.ioBuffer_.size(), kIoBytes));
  }

  bool Next(DataPiece& piece) override {
    if (position_ >= size_) return false;
    while (extent_ < extents_.size() && within_ >= extents_[extent_].blockCount) {
      ++extent_;
      within_ = 0;
    }
    // Extents that end before the logical size: the file ends short.
    if (extent_ >= extents_.size()) return false;
    const HfsExtent& e = extents_[extent_];
    const uint64_t blocks = std::min<uint64_t>(std::max<uint64_t>(1, kIoBytes / block_), e.blockCount - within_);
    const uint64_t length = std::min(blocks * block_, size_ - position_);
    const uint64_t bytes = std::min(blocks * block_, (length + 511) / 512 * 512);
    if (bytes > engine_.ioBuffer_.size()) engine_.ioBuffer_.resize(static_cast<size_t>(bytes));
    uint8_t* out = engine_.ioBuffer_.data();
    const VolumeView::BatchResult read =
        engine_.view.ReadBatch((uint64_t{e.startBlock} + within_) * block_, out, static_cast<size_t>(bytes), 
                               static_cast<uint32_t>(std::min<uint64_t>(block_, 65536)));
    piece = {read.positioned ? out : nullptr, length};
    within_ += blocks;
    position_ += length;
    return true;
  }

 private:
  HFSP& engine_;
  std::vector<HfsExtent> extents_;
  uint64_t block_;
  uint64_t size_;
  uint64_t position_ = 0;
  size_t extent_ = 0;
  uint64_t within_ = 0;
};

EntryData HFSP::OpenFileData(size_t entry) {
  EntryData data;
  if (entry >= entries.size() || !IsRegular(entries[entry]) || blockSize_ == 0) {
    // Folders, and links and devices (whose fork holds a target or nothing).
    data.valid = false;
    return data;
  }
  const HfsEntryRecord& e = entries[entry];
  data.size = e.logicalSize;
  data.maxStoredBytes = volumeBytes_;
  data.times = FileTimes{int64_t{e.accessDate} - kHfsEpochShift, 0, int64_t{e.contentModDate} - kHfsEpochShift, 0};
  if (data.size == 0) return data;

  std::vector<HfsExtent> extents;
  for (const HfsExtent& x : e.extents) {
    if (x.blockCount == 0) break;
    extents.push_back(x);
  }
  // The record's extents, then the overflow records until the fork's total
  // blocks are listed; each lookup must add blocks, so the walk ends.
  uint64_t listed = 0;
  for (const HfsExtent& x : extents) listed += x.blockCount;
  const uint64_t volumeBlocks = volumeBytes_ / blockSize_;
  while (listed < e.totalBlocks && listed <= volumeBlocks) {
    const size_t before = extents.size();
    if (!AppendOverflow(e.dataId, listed, extents)) break;
    uint64_t added = 0;
    for (size_t i = before; i < extents.size(); ++i) added += extents[i].blockCount;
    if (added == 0) break;
    listed += added;
  }
  // Up to the first extent outside the volume, and no more blocks than the
  // logical size needs.
  std::vector<HfsExtent> inside;
  const uint64_t needed = (data.size + blockSize_ - 1) / blockSize_;
  uint64_t kept = 0;
  for (HfsExtent x : extents) {
    if (kept >= needed || !BlockInVolume(x.startBlock, x.blockCount)) break;
    x.blockCount = static_cast<uint32_t>(std::min<uint64_t>(x.blockCount, needed - kept));
    inside.push_back(x);
    kept += x.blockCount;
  }
  if (inside.empty()) {
    data.unreadable = Format(
        L"The data of %ls lies outside the volume, so it cannot be read from the file system. "
        L"Raw recovery may find it.",
        Trim(Utf16ToWide(e.name)).c_str());
    return data;
  }
  data.stream = std::make_unique<HfsDataStream>(*this, std::move(inside), data.size);
  return data;
}

}  // namespace lv
