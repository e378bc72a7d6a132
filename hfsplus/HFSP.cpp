#include "hfsplus/HFSP.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "common/Text.h"
#include "hfsplus/HfsLayout.h"

namespace lv {

using namespace hfslayout;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
// The scan reads the volume in windows of this size (plus one node).
constexpr uint64_t kScanWindow = 50 * kMiB;
constexpr uint32_t kMaxBlockSize = 1u << 20;
constexpr uint32_t kMaxScanRecords = 999;

bool IsPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool ValidNodeSize(uint32_t size) { return IsPowerOfTwo(size) && size >= kMinNodeSize && size <= kMaxNodeSize; }

bool ValidBlockSize(uint32_t size) { return IsPowerOfTwo(size) && size >= 512 && size <= kMaxBlockSize; }

bool SignedHeader(ByteView h) {
  const uint16_t signature = h.Be16(kVhSignature), version = h.Be16(kVhVersion);
  return (signature == kSignaturePlus && version == 4) || (signature == kSignatureX && version == 5);
}

// The record count of a node whose offset table (with the free-space
// offset) fits after its descriptor; 0 when none does.
uint32_t FittingRecords(ByteView node) {
  const uint32_t n = node.Be16(kNdNumRecords);
  const size_t size = node.size();
  if (size < kNodeDescriptorBytes + 2) return 0;
  const size_t most = (size - kNodeDescriptorBytes) / 2 - 1;
  return static_cast<uint32_t>(std::min<size_t>(n, most));
}

size_t RecordOffset(ByteView node, uint32_t index) { return node.Be16(node.size() - 2 - 2 * size_t{index}); }

// A catalog key whose length is that of its name, at `offset`; the name's
// length, or nothing.
std::optional<uint32_t> CatalogKey(ByteView node, size_t offset, size_t end) {
  const ByteView r = node.Sub(offset, end > offset ? end - offset : 0);
  if (!r.Fits(0, kCkName)) return std::nullopt;
  const uint32_t keyLength = r.Be16(0), nameLength = r.Be16(kCkNameLength);
  if (nameLength > kMaxNameLength || keyLength != kMinCatalogKeyLength + 2 * nameLength) return std::nullopt;
  if (!r.Fits(2 + keyLength, 2)) return std::nullopt;
  return nameLength;
}

bool LooksLikeCatalogLeaf(ByteView node) {
  if (static_cast<int8_t>(node.U8(kNdKind)) != kKindLeaf || node.U8(kNdHeight) == 0) return false;
  const uint32_t n = node.Be16(kNdNumRecords);
  if (n == 0 || n > kMaxScanRecords || FittingRecords(node) != n) return false;
  if (RecordOffset(node, 0) != kNodeDescriptorBytes) return false;
  const size_t tableStart = node.size() - 2 * (size_t{n} + 1);
  const auto nameLength = CatalogKey(node, kNodeDescriptorBytes, tableStart);
  if (!nameLength) return false;
  const auto type = static_cast<int16_t>(node.Be16(kNodeDescriptorBytes + kCkName + 2 * *nameLength));
  return type >= kFolderRecord && type <= kFileThread;
}

}  // namespace

HFSP::HFSP(readWriteInterface& reader, const VolumeEntry& entry, WorkerSink& sink)
    : view(reader, entry.startSector), volume(entry), statusLine(&sink), progressTarget(&sink) {}

bool HFSP::Stopped() {
  if (!StopPolled(stopRequested, pauseGate)) return false;
  // A stop request is consumed by the phase that sees it.
  stopRequested.store(0);
  return true;
}

bool HFSP::BlockInVolume(uint64_t block, uint64_t count) const {
  if (blockSize_ == 0) return false;
  const uint64_t blocks = volumeBytes_ / blockSize_;
  return block < blocks && count <= blocks - block;
}

bool HFSP::ReadVolumeHeader() {
  if (!view.Valid()) return false;
  volumeBytes_ = view.AvailableBytes();
  const int64_t mib = LeadingInteger(volume.sizeText);
  // A partition's size bounds it; the text is rounded down to whole MiB.
  if (mib > 0 && static_cast<uint64_t>(mib) < UINT64_MAX / kMiB - 1)
    volumeBytes_ = std::min(volumeBytes_, (static_cast<uint64_t>(mib) + 1) * kMiB);
  if (volumeBytes_ < kHeaderOffset + kHeaderBytes) return false;

  uint8_t primary[kHeaderBytes] = {};
  const bool primaryRead = view.Read(kHeaderOffset, primary, kHeaderBytes);
  const ByteView p(primary, kHeaderBytes);
  const bool primaryBlockSize = primaryRead && ValidBlockSize(p.Be32(kVhBlockSize));
  if (primaryRead && SignedHeader(p) && primaryBlockSize) {
    std::copy(primary, primary + kHeaderBytes, header_);
  } else {
    // The alternate header, 1024 bytes before the volume's end: the end the
    // primary header gives, or the end of the source.
    std::vector<uint64_t> ends;
    if (primaryBlockSize) {
      if (auto bytes = VolumeView::Bytes(p.Be32(kVhTotalBlocks), p.Be32(kVhBlockSize))) ends.push_back(*bytes);
    }
    ends.push_back(volumeBytes_);
    bool found = false;
    for (uint64_t end : ends) {
      if (end > volumeBytes_ || end < 2 * kHeaderOffset + kHeaderBytes) continue;
      uint8_t alt[kHeaderBytes] = {};
      const ByteView a(alt, kHeaderBytes);
      if (view.Read(end - kAlternateFromEnd, alt, kHeaderBytes) && SignedHeader(a) &&
          ValidBlockSize(a.Be32(kVhBlockSize))) {
        std::copy(alt, alt + kHeaderBytes, header_);
        alternate_ = true;
        found = true;
        break;
      }
    }
    if (!found) {
      // A header without its signature is still read when its block size
      // can be one.
      if (!primaryBlockSize) return false;
      std::copy(primary, primary + kHeaderBytes, header_);
    }
  }
  const ByteView h(header_, kHeaderBytes);
  blockSize_ = h.Be32(kVhBlockSize);
  uint64_t blocks = volumeBytes_ / blockSize_;
  if (const uint32_t total = h.Be32(kVhTotalBlocks); total != 0) blocks = std::min<uint64_t>(blocks, total);
  volumeBytes_ = blocks * blockSize_;
  return blocks > 0;
}

void HFSP::ExtentRecord(ByteView record, std::vector<HfsExtent>& out) {
  for (uint32_t i = 0; i < kExtentsPerRecord && record.Fits(i * kExtentBytes, kExtentBytes); ++i) {
    const HfsExtent e{record.Be32(i * kExtentBytes), record.Be32(i * kExtentBytes + 4)};
    if (e.blockCount == 0) break;
    out.push_back(e);
  }
}

bool HFSP::AppendOverflow(uint32_t fileId, uint64_t startBlock, std::vector<HfsExtent>& out) const {
  if (startBlock > UINT32_MAX) return false;
  const auto it = overflow_.find({fileId, static_cast<uint32_t>(startBlock)});
  if (it == overflow_.end() || it->second.empty()) return false;
  out.insert(out.end(), it->second.begin(), it->second.end());
  return true;
}

bool HFSP::ReadNode(const TreeFile& tree, uint32_t node, std::vector<uint8_t>& out) const {
  out.assign(tree.nodeSize, 0);
  uint64_t offset = uint64_t{node} * tree.nodeSize;
  size_t done = 0;
  while (done < out.size()) {
    const uint64_t block = offset / blockSize_;
    const uint64_t within = offset % blockSize_;
    // The extent holding the file's block.
    uint64_t first = 0;
    const HfsExtent* extent = nullptr;
    for (const HfsExtent& e : tree.extents) {
      if (block < first + e.blockCount) {
        extent = &e;
        break;
      }
      first += e.blockCount;
    }
    if (!extent) return false;
    const uint64_t physical = extent->startBlock + (block - first);
    const uint64_t contiguous = (first + extent->blockCount - block) * blockSize_ - within;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(out.size() - done, contiguous));
    if (!view.Read(physical * blockSize_ + within, out.data() + done, static_cast<uint32_t>(n))) return false;
    done += n;
    offset += n;
  }
  return true;
}

bool HFSP::OpenTree(TreeFile& tree) {
  // Only the extents inside the volume, up to the first that is not.
  std::vector<HfsExtent> inside;
  uint64_t blocks = 0;
  for (const HfsExtent& e : tree.extents) {
    if (!BlockInVolume(e.startBlock, e.blockCount)) break;
    inside.push_back(e);
    blocks += e.blockCount;
  }
  tree.extents = std::move(inside);
  tree.blocks = blocks;
  if (blocks == 0) return false;
  // The header node's first 512 bytes hold its header record.
  tree.nodeSize = kMinNodeSize;
  std::vector<uint8_t> head;
  if (!ReadNode(tree, 0, head)) return false;
  const ByteView h(head.data(), head.size());
  tree.nodeSize = h.Be16(kHrNodeSize);
  if (!ValidNodeSize(tree.nodeSize)) {
    tree.nodeSize = 0;
    return false;
  }
  const uint64_t fitting = blocks * blockSize_ / tree.nodeSize;
  tree.totalNodes = static_cast<uint32_t>(std::min<uint64_t>(h.Be32(kHrTotalNodes), fitting));
  tree.rootNode = h.Be32(kHrRootNode);
  tree.firstLeaf = h.Be32(kHrFirstLeaf);
  tree.treeDepth = h.Be16(kHrTreeDepth);
  return tree.totalNodes > 0;
}

template <typename Visit>
void HFSP::WalkLeaves(const TreeFile& tree, bool report, Visit&& visit) {
  if (report) progressTarget->ProgressRange(0, tree.totalNodes);
  std::unordered_set<uint32_t> visited;
  // Leaves visited, with their forward links.
  std::unordered_map<uint32_t, uint32_t> leaves;
  std::vector<uint8_t> node;
  int64_t read = 0;
  bool stopped = false;
  auto progress = [&] {
    ++read;
    if (report) progressTarget->ProgressPosition(std::min<int64_t>(read, tree.totalNodes));
    if (Stopped()) stopped = true;
    return !stopped;
  };
  // From the root down; each level's height one less than the one above.
  struct Pending {
    uint32_t node;
    uint32_t height;
  };
  std::vector<Pending> stack;
  if (tree.rootNode != 0 && tree.rootNode < tree.totalNodes && tree.treeDepth > 0 && tree.treeDepth <= kMaxTreeDepth)
    stack.push_back({tree.rootNode, tree.treeDepth});
  while (!stack.empty() && !stopped) {
    const Pending p = stack.back();
    stack.pop_back();
    if (!visited.insert(p.node).second || !progress() || !ReadNode(tree, p.node, node)) continue;
    const ByteView b(node.data(), node.size());
    const auto kind = static_cast<int8_t>(b.U8(kNdKind));
    if (b.U8(kNdHeight) != p.height) continue;
    if (kind == kKindLeaf && p.height == 1) {
      if (leaves.emplace(p.node, b.Be32(kNdForwardLink)).second) visit(node);
      continue;
    }
    if (kind != kKindIndex || p.height < 2) continue;
    const uint32_t n = FittingRecords(b);
    const size_t tableStart = node.size() - 2 * (size_t{n} + 1);
    std::vector<uint32_t> children;
    for (uint32_t i = 0; i < n; ++i) {
      const size_t at = RecordOffset(b, i);
      if (at < kNodeDescriptorBytes || at >= tableStart) continue;
      const size_t keyLength = b.Be16(at);
      const size_t pointer = at + 2 + keyLength;
      if (pointer > tableStart || tableStart - pointer < 4) continue;
      const uint32_t child = b.Be32(pointer);
      if (child != 0 && child < tree.totalNodes) children.push_back(child);
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, p.height - 1});
  }
  // Then along the leaf chain, for leaves no index reaches; a leaf read
  // already is not read again.
  std::unordered_set<uint32_t> chain;
  for (uint32_t n = tree.firstLeaf; n != 0 && n < tree.totalNodes && !stopped;) {
    if (!chain.insert(n).second) break;
    if (const auto known = leaves.find(n); known != leaves.end()) {
      n = known->second;
      continue;
    }
    if (!progress() || !ReadNode(tree, n, node)) break;
    const ByteView b(node.data(), node.size());
    if (static_cast<int8_t>(b.U8(kNdKind)) != kKindLeaf) break;
    leaves.emplace(n, b.Be32(kNdForwardLink));
    visit(node);
    n = b.Be32(kNdForwardLink);
  }
}

bool HFSP::IndexExtentsOverflow() {
  if (overflowIndexed_) return true;
  overflowIndexed_ = true;
  if (blockSize_ == 0) return false;
  extentsTree_ = TreeFile{};
  extentsTree_.fileId = kExtentsFileId;
  ExtentRecord(ByteView(header_ + kVhExtentsFork + kForkExtents, kExtentsPerRecord * kExtentBytes), extentsTree_.extents);
  // A volume without overflow records has an empty tree, or none.
  if (!OpenTree(extentsTree_)) return true;
  WalkLeaves(extentsTree_, false, [&](const std::vector<uint8_t>& bytes) {
    const ByteView b(bytes.data(), bytes.size());
    const uint32_t n = FittingRecords(b);
    const size_t tableStart = bytes.size() - 2 * (size_t{n} + 1);
    for (uint32_t i = 0; i < n; ++i) {
      const size_t at = RecordOffset(b, i);
      if (at < kNodeDescriptorBytes || at >= tableStart) continue;
      const ByteView r = b.Sub(at, tableStart - at);
      if (!r.Fits(0, kExtentRecordOffset + kExtentsPerRecord * kExtentBytes)) continue;
      if (r.Be16(0) != kEkKeyLength || r.U8(kEkForkType) != kDataFork) continue;
      const std::pair<uint32_t, uint32_t> key{r.Be32(kEkFileId), r.Be32(kEkStartBlock)};
      if (overflow_.count(key)) continue;
      std::vector<HfsExtent> extents;
      // The record's eight extents, as a fork's: from offset 12 on.
      ExtentRecord(r.Sub(kExtentRecordOffset, kExtentsPerRecord * kExtentBytes), extents);
      overflow_.emplace(key, std::move(extents));
    }
  });
  return true;
}

bool HFSP::ReadCatalogByTree() {
  if (blockSize_ == 0) return false;
  IndexExtentsOverflow();
  catalog_ = TreeFile{};
  catalog_.fileId = kCatalogFileId;
  ExtentRecord(ByteView(header_ + kVhCatalogFork + kForkExtents, kExtentsPerRecord * kExtentBytes), catalog_.extents);
  // A catalog of more than eight extents continues in the overflow file.
  const uint32_t forkBlocks = ByteView(header_ + kVhCatalogFork, 80).Be32(kForkTotalBlocks);
  for (size_t round = 0; round < forkBlocks; ++round) {
    uint64_t listed = 0;
    for (const HfsExtent& e : catalog_.extents) listed += e.blockCount;
    if (listed >= forkBlocks || !AppendOverflow(kCatalogFileId, listed, catalog_.extents)) break;
  }
  if (!OpenTree(catalog_)) return false;
  entries.clear();
  WalkLeaves(catalog_, true, [&](const std::vector<uint8_t>& node) { AddRecords(node.data(), node.size(), false); });
  return true;
}

bool HFSP::ScanForCatalogNodes() {
  advancedMode = true;
  entries.clear();
  const uint64_t volumeBlocks = blockSize_ ? volumeBytes_ / blockSize_ : 0;
  // The node size from the catalog's header node when it can be read; else
  // each candidate size is tried where a node may start.
  catalog_ = TreeFile{};
  catalog_.fileId = kCatalogFileId;
  if (blockSize_ != 0) {
    ExtentRecord(ByteView(header_ + kVhCatalogFork + kForkExtents, kExtentsPerRecord * kExtentBytes), catalog_.extents);
    OpenTree(catalog_);
  }
  const uint32_t nodeSize = catalog_.nodeSize;
  if (volumeBlocks == 0 || blockSize_ == 0) {
    statusLine->SetStatus(L"BlockSize not valid .Aborting..");
    return false;
  }
  // Nodes start at block boundaries, and inside a block at multiples of a
  // node size smaller than the block.
  const uint32_t step = nodeSize ? std::min(nodeSize, blockSize_) : blockSize_;
  const uint64_t window = std::max<uint64_t>(kScanWindow / step * step, step);
  ioBuffer_.resize(static_cast<size_t>(std::min<uint64_t>(window + kMaxNodeSize, volumeBytes_)));
  progressTarget->ProgressRange(0, static_cast<int64_t>(volumeBlocks));
  for (uint64_t start = 0; start < volumeBytes_; start += window) {
    if (Stopped()) break;
    const uint64_t length = std::min<uint64_t>(window + kMaxNodeSize, volumeBytes_ - start);
    const VolumeView::BatchResult read = view.ReadBatch(start, ioBuffer_.data(), static_cast<size_t>(length));
    if (!read.positioned) break;
    const uint64_t positions = std::min<uint64_t>(window, length);
    for (uint64_t at = 0; at < positions; at += step) {
      if (((start + at) / blockSize_) % 4096 == 0) {
        progressTarget->ProgressPosition(static_cast<int64_t>((start + at) / blockSize_));
        if (Stopped()) return true;
      }
      for (uint32_t size = nodeSize ? nodeSize : kMinNodeSize; size <= kMaxNodeSize; size *= 2) {
        if (at + size <= length) {
          const ByteView node(ioBuffer_.data() + at, size);
          if (LooksLikeCatalogLeaf(node)) {
            AddRecords(ioBuffer_.data() + at, size, true);
            break;
          }
        }
        if (nodeSize) break;
      }
    }
  }
  progressTarget->ProgressPosition(static_cast<int64_t>(volumeBlocks));
  return true;
}

void HFSP::AddRecords(const uint8_t* data, size_t nodeSize, bool freeSpace) {
  const ByteView node(data, nodeSize);
  const uint32_t n = FittingRecords(node);
  const size_t tableStart = nodeSize - 2 * (size_t{n} + 1);
  for (uint32_t i = 0; i < n; ++i) {
    const size_t at = RecordOffset(node, i);
    // The scan takes offsets that can be ones (high bit clear, not 0).
    if (at < kNodeDescriptorBytes || at >= tableStart) continue;
    AddRecord(node, at, tableStart, false);
  }
  if (!freeSpace) return;
  // A removal moves the records after the removed one down and leaves the
  // bytes beyond the new free-space offset as they were: a record removed
  // last stays whole there.
  size_t at = RecordOffset(node, n);
  for (size_t guard = 0; at >= kNodeDescriptorBytes && at < tableStart && guard < nodeSize; ++guard) {
    const auto length = AddRecord(node, at, tableStart, true);
    if (!length) break;
    at += (*length + 1) & ~size_t{1};
  }
}

std::optional<size_t> HFSP::AddRecord(ByteView node, size_t offset, size_t end, bool deleted) {
  const auto nameLength = CatalogKey(node, offset, end);
  if (!nameLength) return std::nullopt;
  const ByteView r = node.Sub(offset, end - offset);
  const size_t recordAt = kCkName + 2 * size_t{*nameLength};
  const ByteView rec = r.From(recordAt);
  const auto type = static_cast<int16_t>(rec.Be16(0));
  if (type == kFolderThread || type == kFileThread) {
    const size_t length = kThreadRecordMinBytes + 2 * size_t{rec.Be16(8)};
    if (rec.Be16(8) > kMaxNameLength || !rec.Fits(0, length)) return std::nullopt;
    return recordAt + length;
  }
  const size_t bytes = type == kFolderRecord ? kFolderRecordBytes : type == kFileRecord ? kFileRecordBytes : 0;
  if (bytes == 0 || !rec.Fits(0, bytes) || *nameLength == 0) return std::nullopt;
  HfsEntryRecord e;
  e.kind = static_cast<uint16_t>(type);
  e.parentId = r.Be32(kCkParentId);
  e.cnid = rec.Be32(kRecId);
  e.createDate = rec.Be32(kRecCreateDate);
  e.contentModDate = rec.Be32(kRecContentModDate);
  e.accessDate = rec.Be32(kRecAccessDate);
  e.fileMode = rec.Be16(kRecFileMode);
  e.dataId = e.cnid;
  if (type == kFileRecord && rec.Be32(kRecFileType) == kHardLinkType && rec.Be32(kRecFileCreator) == kHardLinkCreator)
    e.linkId = rec.Be32(kRecSpecial);
  e.deleted = deleted ? 1 : 0;
  if (type == kFileRecord) {
    const ByteView fork = rec.Sub(kRecDataFork, 80);
    e.logicalSize = fork.Be64(kForkLogicalSize);
    e.totalBlocks = fork.Be32(kForkTotalBlocks);
    for (uint32_t i = 0; i < kExtentsPerRecord; ++i)
      e.extents[i] = {fork.Be32(kForkExtents + i * kExtentBytes), fork.Be32(kForkExtents + i * kExtentBytes + 4)};
  }
  char16_t* name = names_.Allocate(*nameLength);
  for (uint32_t i = 0; i < *nameLength; ++i) name[i] = static_cast<char16_t>(r.Be16(kCkName + 2 * size_t{i}));
  e.name = std::u16string_view(name, *nameLength);
  if (e.cnid != 0) entries.push_back(e);
  return recordAt + bytes;
}

void HFSP::BuildEntries() {
  statusLine->SetStatus(L"Building entries....");
  progressTarget->ProgressRange(0, static_cast<int64_t>(entries.size()));
  // In CNID order; of two records with one CNID the first found stays, a
  // live one before one left in free space.
  std::stable_sort(entries.begin(), entries.end(), [](const HfsEntryRecord& a, const HfsEntryRecord& b) {
    return a.cnid != b.cnid ? a.cnid < b.cnid : a.deleted < b.deleted;
  });
  entries.erase(std::unique(entries.begin(), entries.end(),
                            [](const HfsEntryRecord& a, const HfsEntryRecord& b) { return a.cnid == b.cnid; }),
                entries.end());
  ResolveHardLinks();
  if (!advancedMode && Find(kRootFolderId) < 0) {
    // The root folder's record is lost: its children still hang from it.
    HfsEntryRecord root;
    root.kind = kFolderRecord;
    root.parentId = kRootParentId;
    root.cnid = kRootFolderId;
    root.name = names_.Add(u"ROOT");
    const auto at = std::lower_bound(entries.begin(), entries.end(), kRootFolderId,
                                     [](const HfsEntryRecord& e, uint32_t id) { return e.cnid < id; });
    entries.insert(at, root);
  }
  progressTarget->ProgressPosition(static_cast<int64_t>(entries.size()));
}

void HFSP::ResolveHardLinks() {
  // A hard link's own fork is empty: its data, size and mode are those of
  // the indirect node file "iNode<link ID>".
  std::unordered_map<uint32_t, size_t> nodes;
  for (size_t i = 0; i < entries.size(); ++i) {
    const HfsEntryRecord& e = entries[i];
    if (e.kind != kFileRecord || e.linkId != 0 || e.name.size() < 6 || e.name.substr(0, 5) != u"iNode") continue;
    uint64_t number = 0;
    bool digits = true;
    for (const char16_t c : e.name.substr(5)) {
      digits = digits && c >= u'0' && c <= u'9' && number < UINT32_MAX / 10;
      if (digits) number = number * 10 + static_cast<uint64_t>(c - u'0');
    }
    if (digits) nodes.emplace(static_cast<uint32_t>(number), i);
  }
  if (nodes.empty()) return;
  for (HfsEntryRecord& e : entries) {
    if (e.linkId == 0) continue;
    const auto it = nodes.find(e.linkId);
    if (it == nodes.end()) continue;
    const HfsEntryRecord& target = entries[it->second];
    e.logicalSize = target.logicalSize;
    e.totalBlocks = target.totalBlocks;
    std::copy(std::begin(target.extents), std::end(target.extents), std::begin(e.extents));
    e.fileMode = target.fileMode;
    e.dataId = target.cnid;
  }
}

int32_t HFSP::Find(uint32_t cnid) const {
  const auto it = std::lower_bound(entries.begin(), entries.end(), cnid,
                                   [](const HfsEntryRecord& e, uint32_t id) { return e.cnid < id; });
  if (it == entries.end() || it->cnid != cnid) return -1;
  return static_cast<int32_t>(it - entries.begin());
}

void HFSP::LinkParentsAndChildren() {
  statusLine->SetStatus(L"Maintaining Parent Child....");
  const auto count = static_cast<int32_t>(entries.size());
  progressTarget->ProgressRange(0, count);
  for (HfsEntryRecord& e : entries) e.firstChild = e.nextSibling = -1;
  if (advancedMode) {
    // All folders flat below "ORPHAN_ENTRY", each file below the folder
    // with the highest CNID below its own.
    orphanIndex_ = -1;
    if (entries.empty() || entries.back().cnid <= 1 || entries.back().cnid == UINT32_MAX) return;
    HfsEntryRecord orphan;
    orphan.kind = kFolderRecord;
    orphan.cnid = orphanId = entries.back().cnid + 1;
    orphan.parentId = kRootFolderId;
    orphan.name = names_.Add(u"ORPHAN_ENTRY");
    entries.push_back(orphan);
    orphanIndex_ = count;
    int32_t anchor = orphanIndex_;
    for (int32_t i = 0; i < count; ++i) {
      HfsEntryRecord& e = entries[static_cast<size_t>(i)];
      if (e.kind == kFolderRecord) {
        e.parentId = orphanId;
        e.nextSibling = entries[static_cast<size_t>(orphanIndex_)].firstChild;
        entries[static_cast<size_t>(orphanIndex_)].firstChild = i;
        anchor = i;
      } else {
        e.nextSibling = entries[static_cast<size_t>(anchor)].firstChild;
        entries[static_cast<size_t>(anchor)].firstChild = i;
      }
    }
  } else {
    for (int32_t i = 0; i < count; ++i) {
      HfsEntryRecord& e = entries[static_cast<size_t>(i)];
      if (i % 4096 == 0) {
        statusLine->SetStatus(Format(L"Maintaining Parent Child for record %d of %d....", i + 1, count));
        progressTarget->ProgressPosition(i + 1);
      }
      // The root folder stays unlinked: the tree starts there.
      if (e.cnid == kRootFolderId || e.parentId == 0) continue;
      const int32_t parent = Find(e.parentId);
      if (parent < 0 || parent == i || entries[static_cast<size_t>(parent)].kind != kFolderRecord) continue;
      e.nextSibling = entries[static_cast<size_t>(parent)].firstChild;
      entries[static_cast<size_t>(parent)].firstChild = i;
    }
  }
  statusLine->SetStatus(Format(L"Maintaining Parent Child for record %d of %d....", count, count));
  progressTarget->ProgressPosition(count);
}

std::wstring HFSP::PermissionText(uint16_t fileMode) {
  static const struct {
    uint16_t bit;
    const wchar_t* text;
  } kTexts[] = {{0x40, L"-Owner:X"}, {0x80, L"-Owner:W"}, {0x100, L"-Owner:R"}, {0x1, L"-OX"}, {0x2, L"-OW"},
                {0x4, L"-OR"},       {0x8, L"-GX"},       {0x10, L"-GW"},       {0x20, L"-GR"}};
  std::wstring text;
  for (const auto& t : kTexts)
    if (fileMode & t.bit) text += t.text;
  return text;
}

}  // namespace lv
