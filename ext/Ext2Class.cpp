#include "ext/Ext2Class.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "common/ByteView.h"
#include "common/Text.h"
#include "ext/ExtLayout.h"
#include "platform/MessageBox.h"

namespace lv {

using namespace extlayout;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
constexpr uint64_t kIoBytes = 256 * 1024;  // one inode-table read at most
// How far past the known backup positions the 512-byte walk looks for a
// superblock copy.
constexpr uint64_t kWalkLimit = 256 * kMiB;


bool IsPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

uint16_t ModeOfFileType(uint8_t fileType) {
  switch (fileType) {
    case 1: return kTypeRegular;
    case 2: return kTypeDirectory;
    case 7: return kTypeSymlink;
    default: return 0;
  }
}

ExtInodeInfo ParseInode(ByteView in) {
  ExtInodeInfo info;
  info.mode = in.Le16(kInMode);
  info.links = in.Le16(kInLinks);
  info.dtime = in.Le32(kInDtime);
  info.atime = in.Le32(kInAtime);
  info.ctime = in.Le32(kInCtime);
  info.mtime = in.Le32(kInMtime);
  info.size = in.Le32(kInSizeLo) | uint64_t{in.Le32(kInSizeHigh)} << 32;
  return info;
}

// Appends a name by the library's memcpy. Knowing a name holds at most 255
// bytes, the compiler would inline a "rep movs" copy, whose start-up costs
// more than a whole short name.
[[gnu::noinline]] void AppendName(std::string& out, const char* data, size_t length) {
  const size_t at = out.size();
  out.resize(at + length);
  std::memcpy(out.data() + at, data, length);
}

constexpr uint64_t kInodeChunkBytes = 64 * 1024;
constexpr size_t kInodeChunksKept = 256;  // 16 MiB

}  // namespace

ext2Class::ext2Class(readWriteInterface& reader, const VolumeEntry& entry, WorkerSink& sink)
    : view(reader, entry.startSector), volume(entry), statusLine(&sink), progressTarget(&sink) {}

bool ext2Class::Stopped() {
  if (!StopPolled(stopRequested, pauseGate)) return false;
  // A stop request is consumed by the phase that sees it.
  stopRequested.store(0);
  return true;
}

bool ext2Class::BlockInVolume(uint64_t block, uint64_t count) const {
  const uint64_t blocks = VolumeBlocks();
  return block < blocks && count <= blocks - block;
}

bool ext2Class::CheckSuperblock(const uint8_t* sb, uint64_t position) {
  const ByteView b(sb, kSuperblockBytes);
  if (b.Le16(kSbMagic) != kMagic) return false;
  const uint32_t log = b.Le32(kSbLogBlockSize);
  if (log > 6) return false;  // above 64 KiB
  const uint32_t blockSize = 1024u << log;
  const uint32_t bpg = b.Le32(kSbBlocksPerGroup), ipg = b.Le32(kSbInodesPerGroup);
  // One bitmap block per group holds the group's blocks and its inodes.
  if (bpg < 8 || bpg > 8 * blockSize || ipg == 0 || ipg > 8 * blockSize) return false;
  uint32_t inodeSize = b.Le32(kSbRevLevel) == 0 ? kGoodOldInodeSize : b.Le16(kSbInodeSize);
  if (inodeSize < kGoodOldInodeSize || inodeSize > blockSize || !IsPowerOfTwo(inodeSize)) return false;
  const uint32_t incompat = b.Le32(kSbFeatureIncompat);
  uint64_t blocks = b.Le32(kSbBlocksCountLo);
  if (incompat & kIncompat64Bit) blocks |= uint64_t{b.Le32(kSbBlocksCountHi)} << 32;
  if (blocks == 0 || b.Le32(kSbInodesCount) == 0) return false;
  const uint32_t firstData = b.Le32(kSbFirstDataBlock);
  if (firstData >= blocks) return false;
  uint32_t descSize = 32;
  if (incompat & kIncompat64Bit) {
    descSize = b.Le16(kSbDescSize);
    if (descSize < 32) descSize = 32;
    if (descSize > 1024 || !IsPowerOfTwo(descSize)) return false;
  }
  std::copy(sb, sb + kSuperblockBytes, superblock_);
  superblockPosition_ = position;
  blockSize_ = blockSize;
  blocksCount_ = blocks;
  blocksPerGroup_ = bpg;
  inodesPerGroup_ = ipg;
  inodesCount_ = b.Le32(kSbInodesCount);
  inodeSize_ = inodeSize;
  featureCompat_ = b.Le32(kSbFeatureCompat);
  featureIncompat_ = incompat;
  featureRoCompat_ = b.Le32(kSbFeatureRoCompat);
  descSize_ = descSize;
  hasFileType_ = (incompat & kIncompatFileType) != 0;
  uninitGroups_ = (featureRoCompat_ & (kRoCompatGdtCsum | kRoCompatMetadataCsum)) != 0;
  return true;
}

bool ext2Class::FindSuperblock() {
  volumeBytes_ = view.Valid() ? view.AvailableBytes() : 0;
  const int64_t mib = LeadingInteger(volume.sizeText);
  // A partition's size bounds it; the text is rounded down to whole MiB.
  if (mib > 0 && static_cast<uint64_t>(mib) < UINT64_MAX / kMiB - 1)
    volumeBytes_ = std::min(volumeBytes_, (static_cast<uint64_t>(mib) + 1) * kMiB);
  if (volumeBytes_ <= 1536) return false;

  uint8_t sb[kSuperblockBytes];
  auto tryAt = [&](uint64_t p) {
    if (p > volumeBytes_ || volumeBytes_ - p < kSuperblockBytes) return false;
    return view.Read(p, sb, kSuperblockBytes) && CheckSuperblock(sb, p);
  };
  bool found = tryAt(kSuperblockOffset);
  // The backup in group 1, for each block size with the default group
  // size (8 × block size blocks per group).
  for (uint64_t bs = 1024; !found && bs <= 65536; bs *= 2) found = tryAt(bs * 8 * bs + (bs == 1024 ? 1024 : 0));
  // Then the Part's walk in steps of 512 bytes.
  const uint64_t limit = std::min(volumeBytes_, kWalkLimit);
  for (uint64_t p = 1536; !found && p + kSuperblockBytes <= limit; p += 512) {
    if (Stopped()) return false;
    found = tryAt(p);
  }
  if (!found) return false;
  if (featureIncompat_ & (kIncompatExtents | kIncompat64Bit | kIncompatFlexBg)) {
    ShowPlain(L"ext 4 file System");
  } else if (featureCompat_ & kCompatHasJournal) {
    ShowPlain(L"ext 3 file System");
  } else {
    ShowPlain(L"ext 2 file System");
  }
  return true;
}

bool ext2Class::ReadGroupDescriptors() {
  if (blockSize_ == 0) return false;
  const uint64_t start = (superblockPosition_ / blockSize_ + 1) * blockSize_;
  if (start >= volumeBytes_) return false;
  const uint32_t firstData = ByteView(superblock_, kSuperblockBytes).Le32(kSbFirstDataBlock);
  uint64_t groups = (blocksCount_ - firstData + blocksPerGroup_ - 1) / blocksPerGroup_;
  groups = std::min<uint64_t>(groups, (uint64_t{inodesCount_} + inodesPerGroup_ - 1) / inodesPerGroup_);
  // No descriptor beyond the volume is used.
  groups = std::min<uint64_t>(groups, (volumeBytes_ - start) / descSize_);
  if (groups == 0) return false;
  groupCount_ = groups;
  descriptors_.assign(static_cast<size_t>(groups * descSize_), 0);
  const VolumeView::BatchResult read = view.ReadBatch(start, descriptors_.data(), descriptors_.size());
  if (!read.positioned) return false;
  inodeTables_.resize(static_cast<size_t>(groups));
  usedInodes_.resize(static_cast<size_t>(groups));
  for (uint64_t g = 0; g < groups; ++g) {
    const ByteView d(descriptors_.data() + g * descSize_, descSize_);
    uint64_t table = d.Le32(kGdInodeTableLo);
    uint32_t used = inodesPerGroup_;
    if (descSize_ >= 64) table |= uint64_t{d.Le32(kGdInodeTableHi)} << 32;
    if (uninitGroups_) {
      // Inodes past itable_unused were never used (and never initialised).
      uint32_t unused = d.Le16(kGdItableUnusedLo);
      if (descSize_ >= 64) unused |= uint32_t{d.Le16(kGdItableUnusedHi)} << 16;
      used = unused <= inodesPerGroup_ ? inodesPerGroup_ - unused : inodesPerGroup_;
      if (d.Le16(kGdFlags) & kGdInodeUninit) used = 0;
    }
    inodeTables_[static_cast<size_t>(g)] = table;
    usedInodes_[static_cast<size_t>(g)] = used;
  }
  return true;
}

void ext2Class::CollectInodes() {
  PlanInodeSlots();
  CollectInodeGroups();
}

void ext2Class::PlanInodeSlots() {
  inodes_.clear();
  inodeSlots_.clear();
  groupSlots_.assign(static_cast<size_t>(groupCount_), kNoSlots);
  if (ReadsInodesOnDemand()) return;
  // Valid tables never overlap: more than the volume's bytes means a
  // hostile table, and the tables end there.
  uint64_t budget = volumeBytes_;
  uint64_t slots = 0;
  for (uint64_t g = 0; g < groupCount_; ++g) {
    const uint64_t table = inodeTables_[static_cast<size_t>(g)];
    const uint32_t used = usedInodes_[static_cast<size_t>(g)];
    const uint64_t tableBytes = uint64_t{used} * inodeSize_;
    if (used == 0 || table == 0 || !BlockInVolume(table, (tableBytes + blockSize_ - 1) / blockSize_)) continue;
    if (tableBytes > budget) break;
    budget -= tableBytes;
    groupSlots_[static_cast<size_t>(g)] = slots;
    slots += used;
  }
  // Four bytes per inode of at least 128 read: bounded by the volume.
  inodeSlots_.assign(static_cast<size_t>(slots), 0);
  // Room for every inode that may be in use, up to a few million, so that
  // the list grows without being copied.
  constexpr uint64_t kMostReserved = uint64_t{1} << 22;
  inodes_.reserve(static_cast<size_t>(std::min(slots, kMostReserved)));
}

void ext2Class::CollectInodeGroups() {
  progressTarget->ProgressRange(0, static_cast<int64_t>(groupCount_));
  const uint32_t perBatch = static_cast<uint32_t>(std::max<uint64_t>(1, kIoBytes / inodeSize_));
  ioBuffer_.resize(std::max<size_t>(ioBuffer_.size(), size_t{perBatch} * inodeSize_));
  for (uint64_t g = 0; g < groupCount_; ++g) {
    if (Stopped()) break;
    statusLine->SetStatus(Format(L"parsing group %d  of %d ", static_cast<int>(g + 1), static_cast<int>(groupCount_)));
    progressTarget->ProgressPosition(static_cast<int64_t>(g + 1));
    const uint64_t base = groupSlots_[static_cast<size_t>(g)];
    if (base == kNoSlots) continue;
    const uint64_t table = inodeTables_[static_cast<size_t>(g)];
    const uint32_t used = usedInodes_[static_cast<size_t>(g)];
    for (uint32_t first = 0; first < used; first += perBatch) {
      const uint32_t count = std::min(perBatch, used - first);
      const uint64_t offset = table * blockSize_ + uint64_t{first} * inodeSize_;
      const VolumeView::BatchResult read = view.ReadBatch(offset, ioBuffer_.data(), size_t{count} * inodeSize_);
      if (!read.positioned) break;
      for (uint32_t i = 0; i < count; ++i) {
        const uint64_t number = g * inodesPerGroup_ + first + i + 1;
        if (number > inodesCount_) break;
        const ByteView in(ioBuffer_.data() + size_t{i} * inodeSize_, inodeSize_);
        if (in.Le16(kInMode) == 0) continue;
        inodes_.push_back(ParseInode(in));
        inodeSlots_[static_cast<size_t>(base + first + i)] = static_cast<uint32_t>(inodes_.size());
      }
    }
  }
}

void ext2Class::ApplyInodeInfo(ExtEntryRecord& e) {
  const std::optional<ExtInodeInfo> info = e.inode ? Inode(e.inode) : std::nullopt;
  if (!info) return;
  e.mode = info->mode;
  e.size = info->size;
  e.ctime = info->ctime;
  e.atime = info->atime;
  e.mtime = info->mtime;
  e.reused = e.deleted && info->links > 0 && info->dtime == 0;
}

std::optional<ExtInodeInfo> ext2Class::Inode(uint32_t number) {
  if (!ReadsInodesOnDemand()) {
    if (number == 0 || number > inodesCount_ || inodesPerGroup_ == 0) return std::nullopt;
    const uint64_t g = (number - 1) / inodesPerGroup_, index = (number - 1) % inodesPerGroup_;
    if (g >= groupSlots_.size() || groupSlots_[g] == kNoSlots || index >= usedInodes_[g]) return std::nullopt;
    const uint32_t slot = inodeSlots_[groupSlots_[g] + index];
    if (slot == 0) return std::nullopt;
    return inodes_[slot - 1];
  }
  // The tables of a volume without used-inode counts are read in 64 KiB
  // pieces as the names reach them (files of a folder lie close together),
  // not whole: on a large ext2/ext3 volume most of them were never used.
  if (number == 0 || number > inodesCount_ || inodeSize_ == 0) return std::nullopt;
  const uint64_t g = (number - 1) / inodesPerGroup_, index = (number - 1) % inodesPerGroup_;
  if (g >= groupCount_ || index >= usedInodes_[static_cast<size_t>(g)]) return std::nullopt;
  const uint64_t table = inodeTables_[static_cast<size_t>(g)];
  const uint64_t perChunk = std::max<uint64_t>(1, kInodeChunkBytes / inodeSize_);
  const uint64_t chunk = index / perChunk;
  const uint64_t key = g * ((inodesPerGroup_ + perChunk - 1) / perChunk) + chunk;
  auto it = inodeChunks_.find(key);
  if (it == inodeChunks_.end()) {
    if (inodeChunks_.size() >= kInodeChunksKept) inodeChunks_.clear();
    const uint64_t first = chunk * perChunk;
    const uint64_t count = std::min<uint64_t>(perChunk, inodesPerGroup_ - first);
    std::vector<uint8_t> bytes(static_cast<size_t>(count * inodeSize_), 0);
    if (table != 0 && BlockInVolume(table, (first + count) * inodeSize_ / blockSize_ + 1))
      view.ReadBatch(table * blockSize_ + first * inodeSize_, bytes.data(), bytes.size());
    it = inodeChunks_.emplace(key, std::move(bytes)).first;
  }
  const uint64_t at = (index - chunk * perChunk) * inodeSize_;
  const ByteView in(it->second.data() + at, inodeSize_);
  if (in.Le16(kInMode) == 0) return std::nullopt;
  return ParseInode(in);
}

bool ext2Class::ReadInode(uint32_t number, std::vector<uint8_t>& out) const {
  if (number == 0 || number > inodesCount_ || inodesPerGroup_ == 0) return false;
  const uint64_t g = (number - 1) / inodesPerGroup_;
  const uint64_t index = (number - 1) % inodesPerGroup_;
  if (g >= groupCount_) return false;
  const uint64_t table = inodeTables_[static_cast<size_t>(g)];
  if (!BlockInVolume(table)) return false;
  const uint64_t offset = table * blockSize_ + index * inodeSize_;
  if (offset > volumeBytes_ || volumeBytes_ - offset < inodeSize_) return false;
  out.assign(inodeSize_, 0);
  return view.Read(offset, out.data(), inodeSize_);
}

int32_t ext2Class::AddEntry(int32_t parent, std::string_view name, uint32_t inode, uint8_t fileType, bool deleted) {
  ExtEntryRecord e;
  e.nameOffset = static_cast<uint32_t>(names.size());
  e.nameLength = static_cast<uint16_t>(std::min<size_t>(name.size(), 255));
  AppendName(names, name.data(), e.nameLength);
  e.inode = inode;
  e.parent = parent;
  e.mode = ModeOfFileType(fileType);
  e.deleted = deleted || (parent >= 0 && entries[static_cast<size_t>(parent)].deleted);
  ApplyInodeInfo(e);
  const int32_t index = static_cast<int32_t>(entries.size());
  entries.push_back(e);
  if (parent >= 0) {
    ExtEntryRecord& p = entries[static_cast<size_t>(parent)];
    if (p.lastChild < 0) {
      p.firstChild = index;
    } else {
      entries[static_cast<size_t>(p.lastChild)].nextSibling = index;
    }
    p.lastChild = index;
  }
  return index;
}

void ext2Class::ParseDirectoryBytes(const uint8_t* data, size_t length, const PendingDirectory& dir) {
  // The walk of fls (sleuthkit's ext2fs_dent_parse_block): every record,
  // and inside a record's slack (its length past the one its name needs)
  // whatever earlier records a removal merged into it, in steps of 4 bytes
  // where no record fits.
  constexpr size_t kSmallest = 12;  // a record with a one-byte name
  const ByteView b(data, length);
  uint64_t slack = 0;
  size_t step = 4;
  for (size_t at = 0; at + kSmallest <= length; at += step) {
    const uint32_t inode = b.Le32(at);
    const uint16_t recordLength = b.Le16(at + 4);
    const uint32_t nameLength = hasFileType_ ? b.U8(at + 6) : b.Le16(at + 6);
    const uint8_t fileType = hasFileType_ ? b.U8(at + 7) : 0;
    step = (nameLength + 8 + 3) & ~size_t{3};
    if (inode > inodesCount_ || nameLength > 255 || nameLength == 0 || recordLength < step || recordLength % 4 != 0 ||
        at + recordLength > length) {
      step = 4;
      if (slack > 0) slack -= std::min<uint64_t>(slack, 4);
      continue;
    }
    // A record in slack must end inside it.
    if (slack > 0 && slack < step) {
      step = 4;
      slack -= std::min<uint64_t>(slack, 4);
      continue;
    }
    const std::string_view name(reinterpret_cast<const char*>(data + at + 8), nameLength);
    bool deleted;
    if (slack > 0 || inode == 0 || dir.deleted) {
      deleted = true;
      if (slack > 0) slack -= std::min<uint64_t>(slack, step);
    } else {
      deleted = false;
      slack = recordLength > step ? recordLength - step : 0;
    }
    if (name == "." || name == "..") continue;
    foundNames_.append(reinterpret_cast<const char*>(data + at), 4);  // the inode number
    found_.push_back({static_cast<uint32_t>(foundNames_.size()), static_cast<uint16_t>(nameLength), fileType, deleted,
                      inode});
    AppendName(foundNames_, name.data(), name.size());
  }
}

void ext2Class::AddFoundNames(const PendingDirectory& dir, std::vector<PendingDirectory>& stack) {
  // As sleuthkit adds names to a directory: one entry per inode and name,
  // the live one when there is one (a folder's block split by its hash
  // index leaves removed copies of the names it moved).
  // The key: the inode number's 4 bytes, then the name. An open-addressing
  // table of indices into found_, at most half full, reused between folders.
  const auto key = [&](const FoundName& f) { return std::string_view(foundNames_.data() + f.offset - 4, f.length + 4); };
  size_t slots = 16;
  while (slots < found_.size() * 2) slots *= 2;
  firstOfKey_.assign(slots, UINT32_MAX);
  keep_.assign(found_.size(), 1);
  std::vector<uint8_t>& keep = keep_;
  for (size_t i = 0; i < found_.size(); ++i) {
    FoundName& f = found_[i];
    const std::string_view k = key(f);
    size_t at = std::hash<std::string_view>{}(k) & (slots - 1);
    while (firstOfKey_[at] != UINT32_MAX && key(found_[firstOfKey_[at]]) != k) at = (at + 1) & (slots - 1);
    if (firstOfKey_[at] == UINT32_MAX) {
      firstOfKey_[at] = static_cast<uint32_t>(i);
      continue;
    }
    keep[i] = 0;
    FoundName& kept = found_[firstOfKey_[at]];
    if (kept.deleted && !f.deleted) kept = f;
  }
  for (size_t i = 0; i < found_.size(); ++i) {
    if (!keep[i]) continue;
    const FoundName& f = found_[i];
    const std::string_view name(foundNames_.data() + f.offset, f.length);
    const int32_t child = AddEntry(dir.entry, name, f.inode, f.fileType, f.deleted);
    const ExtEntryRecord& e = entries[static_cast<size_t>(child)];
    if (!IsDirectoryMode(e.mode) || f.inode == 0) continue;
    const std::optional<ExtInodeInfo> info = Inode(f.inode);
    if (!info || !IsDirectoryMode(info->mode)) continue;
    // A removed name of a folder whose inode is in use again (a leftover of
    // a rename, or a reused inode) is not entered: the live name is.
    if (e.reused) continue;
    stack.push_back({f.inode, child, e.deleted != 0});
  }
}

void ext2Class::WalkDirectory(const PendingDirectory& dir, std::vector<PendingDirectory>& stack) {
  if (!walked_.insert(dir.inode).second) return;
  std::vector<uint8_t> inode;
  if (!ReadInode(dir.inode, inode)) return;
  found_.clear();
  foundNames_.clear();
  WalkDirectoryData(dir, inode);
  AddFoundNames(dir, stack);
}

void ext2Class::WalkDirectoryData(const PendingDirectory& dir, const std::vector<uint8_t>& inode) {
  const ByteView in(inode.data(), inode.size());
  const uint64_t size = in.Le32(kInSizeLo) | uint64_t{in.Le32(kInSizeHigh)} << 32;
  if (in.Le32(kInFlags) & kFlagInlineData) {
    // The parent's inode number, then records in the rest of the block
    // field and in the "data" attribute.
    ParseDirectoryBytes(inode.data() + kInBlock + 4, kInBlockBytes - 4, dir);
    if (auto more = InlineData(inode, UINT64_MAX); more && more->size() > kInBlockBytes)
      ParseDirectoryBytes(reinterpret_cast<const uint8_t*>(more->data()) + kInBlockBytes,
                          more->size() - kInBlockBytes, dir);
    return;
  }
  const std::vector<ExtRun> runs = Runs(inode, size);
  blockBuffer_.resize(blockSize_);
  for (const ExtRun& run : runs) {
    if (run.zeros) continue;
    for (uint64_t i = 0; i < run.count; ++i) {
      if (directoryBudget_ < blockSize_) return;
      directoryBudget_ -= blockSize_;
      if (!view.Read((run.physical + i) * blockSize_, blockBuffer_.data(), blockSize_)) continue;
      ParseDirectoryBytes(blockBuffer_.data(), blockBuffer_.size(), dir);
    }
  }
}

void ext2Class::ParseDirectories() {
  entries.clear();
  names.clear();
  walked_.clear();
  // About one name per inode in use (the inode list is bounded by the volume).
  if (!ReadsInodesOnDemand()) {
    entries.reserve(inodes_.size() + 16);
    names.reserve(inodes_.size() * 16);
  }
  // A directory block is read once; twice the volume means a hostile map.
  directoryBudget_ = volumeBytes_ <= UINT64_MAX / 2 ? volumeBytes_ * 2 : UINT64_MAX;
  const int32_t root = AddEntry(-1, "ROOT", kRootInode, 2, false);
  // The root's own record, named ".", shown as an empty folder.
  AddEntry(root, ".", kRootInode, 2, false);
  entries[static_cast<size_t>(root)].mode = kTypeDirectory;
  std::vector<PendingDirectory> stack{{kRootInode, root, false}};
  const int64_t total = static_cast<int64_t>(ReadsInodesOnDemand() ? inodesCount_ : inodes_.size());
  progressTarget->ProgressRange(0, total);
  int64_t walked = 0;
  while (!stack.empty()) {
    if (Stopped()) break;
    const PendingDirectory dir = stack.back();
    stack.pop_back();
    ++walked;
    statusLine->SetStatus(Format(L"parsing inode entry %d  of %d ", static_cast<int>(dir.inode), static_cast<int>(total)));
    progressTarget->ProgressPosition(std::min(walked, total));
    WalkDirectory(dir, stack);
  }
  statusLine->SetStatus(Format(L"parsed inode entry %d  of %d ", static_cast<int>(total), static_cast<int>(total)));
  progressTarget->ProgressPosition(total);
}

void ext2Class::BuildEntryTable() {
  statusLine->SetStatus(L"clearing vector....");
  // The entries hold what the list shows; the inode list is released.
  std::vector<ExtInodeInfo>().swap(inodes_);
  std::vector<uint32_t>().swap(inodeSlots_);
  std::vector<uint64_t>().swap(groupSlots_);
  inodeChunks_.clear();
  walked_.clear();
}

void ext2Class::LinkParentsAndChildren() {
  // The walk linked every entry below its folder in directory order.
  statusLine->SetStatus(L"Maintaining Parent Child....");
  progressTarget->ProgressRange(0, static_cast<int64_t>(entries.size()));
  statusLine->SetStatus(Format(L"Maintaining Parent Child for record %d of %d....", static_cast<int>(entries.size()),
                               static_cast<int>(entries.size())));
  progressTarget->ProgressPosition(static_cast<int64_t>(entries.size()));
}

std::wstring ext2Class::NameText(const ExtEntryRecord& e) const {
  std::wstring out;
  NameInto(e, out);
  return out;
}

void ext2Class::NameInto(const ExtEntryRecord& e, std::wstring& out) const {
  // UTF-8 as Linux writes it; a byte that starts no well-formed character
  // becomes the lone surrogate U+DC00 + byte, so that two names that differ
  // in such bytes stay different wherever they are shown or saved.
  const std::string_view name = NameBytes(e);
  out.clear();
  for (size_t i = 0; i < name.size();) {
    const auto b = static_cast<unsigned char>(name[i]);
    if (b < 0x80) {
      out.push_back(static_cast<wchar_t>(b));
      ++i;
      continue;
    }
    // The shortest form only, no surrogates, nothing past U+10FFFF.
    const size_t length = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    uint32_t c = length == 2 ? b & 0x1Fu : length == 3 ? b & 0x0Fu : b & 0x07u;
    bool ok = length > 0 && i + length <= name.size();
    for (size_t k = 1; ok && k < length; ++k) {
      const auto next = static_cast<unsigned char>(name[i + k]);
      ok = (next & 0xC0) == 0x80;
      c = (c << 6) | (next & 0x3Fu);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (ok && c >= kSmallest[length] && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF)) {
      out.push_back(static_cast<wchar_t>(c));
      i += length;
      continue;
    }
    out.push_back(static_cast<wchar_t>(0xDC00 + b));
    ++i;
  }
}

std::wstring ext2Class::PermissionText(uint16_t mode) {
  static const wchar_t* const kTexts[] = {L"-OE", L"-OW", L"-OR", L"-GE", L"-GW", L"-GR", L"-UE", L"-UW", L"-UR"};
  std::wstring text;
  for (int bit = 0; bit < 9; ++bit)
    if (mode & (1u << bit)) text += kTexts[bit];
  return text;
}

}  // namespace lv
