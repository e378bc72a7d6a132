// A file's data: the runs of its block map (direct and indirect blocks) or
// of its extent tree (any depth), or its inline data, read in batches for
// the shared writer. Holes and unwritten extents are holes.
#include <algorithm>

#include "common/ByteView.h"
#include "common/Text.h"
#include "ext/Ext2Class.h"
#include "ext/ExtLayout.h"

namespace lv {

using namespace extlayout;

namespace {

constexpr uint64_t kIoBytes = 1 << 20;  // one read request at most
constexpr uint32_t kRootLevel = UINT32_MAX;

void Append(std::vector<ExtRun>& runs, uint64_t logical, uint64_t physical, uint64_t count, bool zeros) {
  if (!runs.empty()) {
    ExtRun& last = runs.back();
    if (last.zeros == zeros && last.logical + last.count == logical && (zeros || last.physical + last.count == physical)) {
      last.count += count;
      return;
    }
  }
  runs.push_back({logical, physical, count, zeros});
}

}  // namespace

// The runs in logical order; gaps between them and the end are holes.
class ExtDataStream final : public DataStream {
 public:
  ExtDataStream(ext2Class& engine, std::vector<ExtRun> runs, uint64_t size)
      : engine_(engine), runs_(std::move(runs)), block_(engine.blockSize_), size_(size) {
    batch_ = std::max<uint64_t>(1, kIoBytes / block_);
    engine_.ioBuffer_.resize(std::max<size_t>(engine_.ioBuffer_.size(), static_cast<size_t>(batch_ * block_)));
  }

  bool Next(DataPiece& piece) override {
    if (position_ >= size_) return false;
    const uint64_t remaining = size_ - position_;
    while (run_ < runs_.size() && within_ >= runs_[run_].count) {
      ++run_;
      within_ = 0;
    }
    if (run_ >= runs_.size()) {
      piece = {nullptr, remaining};  // a sparse end
      position_ = size_;
      return true;
    }
    const ExtRun& run = runs_[run_];
    const uint64_t start = (run.logical + within_) * block_;
    if (start > position_) {
      piece = {nullptr, std::min(start - position_, remaining)};
      position_ += piece.length;
      return true;
    }
    const uint64_t blocks = std::min(batch_, run.count - within_);
    const uint64_t length = std::min(blocks * block_, remaining);
    if (run.zeros) {
      piece = {nullptr, length};
    } else {
      uint8_t* out = engine_.ioBuffer_.data();
      const uint64_t bytes = std::min(blocks * block_, (length + 511) / 512 * 512);
      const VolumeView::BatchResult read = engine_.view.ReadBatch((run.physical + within_) * block_, out,
                                                                  static_cast<size_t>(bytes), block_);
      piece = {read.positioned ? out : nullptr, length};
    }
    within_ += blocks;
    position_ += length;
    return true;
  }

 private:
  ext2Class& engine_;
  std::vector<ExtRun> runs_;
  uint64_t block_;
  uint64_t size_;
  uint64_t batch_ = 1;
  uint64_t position_ = 0;
  size_t run_ = 0;
  uint64_t within_ = 0;
};

void ext2Class::AppendBlockMap(const uint8_t* field, uint64_t blocks, std::vector<ExtRun>& runs) {
  const ByteView f(field, kInBlockBytes);
  // Data and indirect blocks together are never more than the volume holds.
  uint64_t budget = VolumeBlocks() + 64;
  auto add = [&](uint64_t logical, uint64_t physical) {
    if (BlockInVolume(physical)) Append(runs, logical, physical, 1, false);
  };
  for (uint32_t i = 0; i < 12 && i < blocks; ++i) {
    const uint32_t p = f.Le32(i * 4);
    if (p != 0 && budget > 0) {
      --budget;
      add(i, p);
    }
  }
  const uint64_t pointers = blockSize_ / 4;
  std::vector<std::vector<uint8_t>> buffers(3, std::vector<uint8_t>(blockSize_));
  // level 1: a block of data pointers; 2 and 3: of pointers to the level below.
  auto walk = [&](auto& self, uint32_t level, uint64_t block, uint64_t first) -> void {
    if (block == 0 || first >= blocks || budget == 0 || !BlockInVolume(block)) return;
    --budget;
    std::vector<uint8_t>& buffer = buffers[level - 1];
    if (!view.Read(block * blockSize_, buffer.data(), blockSize_)) return;
    const ByteView b(buffer.data(), buffer.size());
    uint64_t span = 1;
    for (uint32_t l = 1; l < level; ++l) span *= pointers;
    for (uint64_t j = 0; j < pointers; ++j) {
      const uint64_t logical = first + j * span;
      if (logical >= blocks || budget == 0) return;
      const uint32_t p = b.Le32(static_cast<size_t>(j * 4));
      if (p == 0) continue;
      if (level == 1) {
        --budget;
        add(logical, p);
      } else {
        self(self, level - 1, p, logical);
        // The lower level reused its buffer only.
      }
    }
  };
  walk(walk, 1, f.Le32(48), 12);
  walk(walk, 2, f.Le32(52), 12 + pointers);
  walk(walk, 3, f.Le32(56), 12 + pointers + pointers * pointers);
}

void ext2Class::AppendExtents(const uint8_t* node, size_t nodeBytes, uint32_t expectedDepth, uint64_t blocks,
                              std::vector<ExtRun>& runs, uint64_t& budget) {
  const ByteView h(node, nodeBytes);
  if (nodeBytes < kExtentEntryBytes || h.Le16(kEhMagic) != kExtentMagic) return;
  const uint32_t depth = h.Le16(kEhDepth);
  // The depth decreases by one per level down, and the root's is bounded.
  if (expectedDepth == kRootLevel ? depth > kMaxExtentDepth : depth != expectedDepth) return;
  const size_t fit = (nodeBytes - kExtentEntryBytes) / kExtentEntryBytes;
  const size_t count = std::min<size_t>(h.Le16(kEhEntries), fit);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = kExtentEntryBytes * (i + 1);
    if (depth == 0) {
      const uint64_t logical = h.Le32(at);
      uint64_t length = h.Le16(at + 4);
      const bool zeros = length > kMaxInitializedExtent;
      if (zeros) length -= kMaxInitializedExtent;
      const uint64_t physical = uint64_t{h.Le16(at + 6)} << 32 | h.Le32(at + 8);
      if (length == 0 || logical >= blocks) continue;
      length = std::min(length, blocks - logical);
      if (!zeros && !BlockInVolume(physical, length)) {
        if (physical >= VolumeBlocks()) continue;
        length = VolumeBlocks() - physical;
      }
      if (budget < length) return;
      budget -= length;
      Append(runs, logical, physical, length, zeros);
    } else {
      const uint64_t child = h.Le32(at + 4) | uint64_t{h.Le16(at + 8)} << 32;
      if (!BlockInVolume(child)) continue;
      if (budget == 0) return;
      --budget;
      std::vector<uint8_t> buffer(blockSize_);
      if (!view.Read(child * blockSize_, buffer.data(), blockSize_)) continue;
      AppendExtents(buffer.data(), buffer.size(), depth - 1, blocks, runs, budget);
    }
  }
}

std::vector<ExtRun> ext2Class::Runs(const std::vector<uint8_t>& inode, uint64_t size) {
  std::vector<ExtRun> runs;
  if (blockSize_ == 0 || inode.size() < kGoodOldInodeSize) return runs;
  const uint64_t blocks = size / blockSize_ + (size % blockSize_ != 0 ? 1 : 0);
  if (blocks == 0) return runs;
  const ByteView in(inode.data(), inode.size());
  if (in.Le32(kInFlags) & kFlagExtents) {
    uint64_t budget = VolumeBlocks() + 64;
    AppendExtents(inode.data() + kInBlock, kInBlockBytes, kRootLevel, blocks, runs, budget);
  } else {
    AppendBlockMap(inode.data() + kInBlock, blocks, runs);
  }
  // Logical order, each block once (a hostile tree may repeat or overlap).
  std::stable_sort(runs.begin(), runs.end(), [](const ExtRun& a, const ExtRun& b) { return a.logical < b.logical; });
  std::vector<ExtRun> ordered;
  ordered.reserve(runs.size());
  uint64_t next = 0;
  for (ExtRun run : runs) {
    if (run.logical + run.count <= next) continue;
    if (run.logical < next) {
      const uint64_t skip = next - run.logical;
      run.logical += skip;
      run.count -= skip;
      if (!run.zeros) run.physical += skip;
    }
    next = run.logical + run.count;
    Append(ordered, run.logical, run.physical, run.count, run.zeros);
  }
  return ordered;
}

std::optional<std::string> ext2Class::InlineData(const std::vector<uint8_t>& inode, uint64_t size) const {
  if (inode.size() < kInBlock + kInBlockBytes) return std::nullopt;
  std::string out(reinterpret_cast<const char*>(inode.data() + kInBlock), kInBlockBytes);
  const ByteView in(inode.data(), inode.size());
  if (inode.size() > kGoodOldInodeSize) {
    // The in-inode attributes after the inode's extra fields: entries of
    // 16 bytes and a name, values at offsets from the first entry.
    const size_t start = kGoodOldInodeSize + in.Le16(kInExtraIsize);
    if (in.Fits(start, 4) && in.Le32(start) == kXattrMagic) {
      const size_t first = start + 4;
      for (size_t at = first; in.Fits(at, 16) && in.Le32(at) != 0;) {
        const uint8_t nameLength = in.U8(at);
        const uint8_t index = in.U8(at + 1);
        const size_t valueOffset = in.Le16(at + 2);
        const uint32_t valueInode = in.Le32(at + 4);
        const uint32_t valueSize = in.Le32(at + 8);
        if (!in.Fits(at + 16, nameLength)) break;
        const std::string_view name(reinterpret_cast<const char*>(inode.data() + at + 16), nameLength);
        if (index == kXattrIndexSystem && name == "data" && valueInode == 0) {
          if (in.Fits(first + valueOffset, valueSize))
            out.append(reinterpret_cast<const char*>(inode.data() + first + valueOffset), valueSize);
          break;
        }
        at += (16 + size_t{nameLength} + 3) & ~size_t{3};
      }
    }
  }
  if (out.size() > size) out.resize(static_cast<size_t>(size));
  return out;
}

EntryData ext2Class::OpenFileData(size_t entry) {
  EntryData data;
  if (entry >= entries.size()) {
    data.valid = false;
    return data;
  }
  const ExtEntryRecord& e = entries[entry];
  if (!IsRegularMode(e.mode)) {
    // A link's block field holds its target, a device's its numbers.
    data.valid = false;
    return data;
  }
  data.size = e.size;
  data.maxStoredBytes = volumeBytes_;
  // Signed 32-bit seconds; a large inode adds two epoch bits and the
  // nanoseconds.
  data.times = FileTimes{static_cast<int32_t>(e.atime), 0, static_cast<int32_t>(e.mtime), 0};
  const std::wstring name = Trim(NameText(e));
  const std::wstring cleared = Format(
      L"The data of %ls cannot be read from the file system: its block map was cleared when it was deleted. "
      L"Raw recovery may find it.",
      name.c_str());
  if (e.reused) {
    // The inode holds another file now (or this one under a live name).
    data.unreadable = Format(
        L"The inode of %ls is in use again, so its data cannot be read from the file system. "
        L"Raw recovery may find it.",
        name.c_str());
    return data;
  }
  std::vector<uint8_t> inode;
  if (e.inode == 0 || !ReadInode(e.inode, inode)) {
    if (e.deleted) {
      data.unreadable = cleared;
    } else {
      data.valid = false;
    }
    return data;
  }
  const ByteView in(inode.data(), inode.size());
  if (inodeSize_ > kGoodOldInodeSize && in.Le16(kInExtraIsize) >= 16) {
    const uint32_t atimeExtra = in.Le32(kInAtimeExtra), mtimeExtra = in.Le32(kInMtimeExtra);
    data.times->accessSeconds += int64_t{atimeExtra & 3} << 32;
    data.times->accessNanoseconds = std::min<uint32_t>(atimeExtra >> 2, 999999999);
    data.times->modifySeconds += int64_t{mtimeExtra & 3} << 32;
    data.times->modifyNanoseconds = std::min<uint32_t>(mtimeExtra >> 2, 999999999);
  }
  if (in.Le32(kInFlags) & kFlagInlineData) {
    auto bytes = InlineData(inode, data.size);
    if (!bytes) {
      data.valid = false;
      return data;
    }
    data.size = bytes->size();
    data.stream = StreamOfBytes(std::move(*bytes));
    return data;
  }
  std::vector<ExtRun> runs = Runs(inode, data.size);
  const bool mapsBlocks = std::any_of(runs.begin(), runs.end(), [](const ExtRun& r) { return !r.zeros; });
  if (e.deleted && !mapsBlocks) {
    data.unreadable = cleared;
    return data;
  }
  if (data.size == 0) return data;
  data.stream = std::make_unique<ExtDataStream>(*this, std::move(runs), data.size);
  return data;
}

}  // namespace lv
