// The ext2/3/4 engine, reading volumes as today's mkfs.ext4 makes them: the
// superblock (a backup when the
// primary is damaged), 32- and 64-byte group descriptors with 64-bit block
// numbers, every group's inode table, and a walk of the directory tree from
// the root that reads each directory record and, as fls does, the slack a
// removed record leaves inside the one before it: the names found there
// are deleted entries. File data comes from block maps (with indirect
// blocks), extent trees of any depth, or inline data; holes stay holes.
//
// Every count and position read from the volume is bounded by what the
// volume can hold, so a hostile volume gives a partial table, never an
// unbounded allocation or walk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/EntryData.h"
#include "common/WorkerProtocol.h"
#include "disk/Disk.h"
#include "disk/VolumeEntry.h"
#include "disk/VolumeView.h"

namespace lv {

// One name of the tree: a directory record (live or found in slack), the
// synthetic "ROOT" (index 0) or the root's own "." record (index 1).
struct ExtEntryRecord {
  uint64_t size = 0;
  uint32_t nameOffset = 0;  // into ext2Class::names
  uint16_t nameLength = 0;
  uint16_t mode = 0;        // the inode's mode, or the record's file type as a mode
  uint32_t inode = 0;       // 0: a removed record that names no inode
  int32_t parent = -1;
  int32_t firstChild = -1;
  int32_t lastChild = -1;
  int32_t nextSibling = -1;
  uint32_t ctime = 0, atime = 0, mtime = 0;
  uint8_t deleted = 0;      // found in slack, or below a deleted folder
  uint8_t reused = 0;       // deleted, and its inode is in use again
};

// What the scan keeps of an inode in use or once used (mode not 0).
struct ExtInodeInfo {
  uint16_t mode = 0;
  uint16_t links = 0;
  uint32_t dtime = 0;
  uint32_t ctime = 0, atime = 0, mtime = 0;
  uint64_t size = 0;
};

// One run of a file's blocks: `count` blocks from logical block `logical`
// at physical block `physical`; `zeros` for unwritten extents.
struct ExtRun {
  uint64_t logical = 0;
  uint64_t physical = 0;
  uint64_t count = 0;
  bool zeros = false;
};

class ext2Class {
 public:
  ext2Class(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink);

  // The phases of the worker, in order.
  bool FindSuperblock();
  bool ReadGroupDescriptors();
  void CollectInodes();
  void ParseDirectories();
  void BuildEntryTable();
  void LinkParentsAndChildren();

  // A regular file's data for the shared writer.
  EntryData OpenFileData(size_t entry);

  // The inode's mode permission text ("-OE".."-UR").
  static std::wstring PermissionText(uint16_t mode);
  std::wstring NameText(const ExtEntryRecord& e) const;
  void NameInto(const ExtEntryRecord& e, std::wstring& out) const;
  std::string_view NameBytes(const ExtEntryRecord& e) const {
    return std::string_view(names).substr(e.nameOffset, e.nameLength);
  }
  static bool IsDirectoryMode(uint16_t mode) { return (mode & 0xF000) == 0x4000; }
  static bool IsRegularMode(uint16_t mode) { return (mode & 0xF000) == 0x8000; }

  // Read access for the tests.
  uint32_t BlockSize() const { return blockSize_; }
  uint64_t GroupCount() const { return groupCount_; }
  uint64_t SuperblockPosition() const { return superblockPosition_; }
  uint32_t DescriptorSize() const { return descSize_; }
  // What the scan keeps of an inode; none for an inode never used.
  std::optional<ExtInodeInfo> Inode(uint32_t number);
  // Whether the inode tables are read as names need them (volumes whose
  // descriptors do not say which inodes were never used).
  bool ReadsInodesOnDemand() const { return !uninitGroups_; }
  // The runs of an inode's data as stored in its 60-byte block field.
  std::vector<ExtRun> Runs(const std::vector<uint8_t>& inode, uint64_t size);
  bool ReadInode(uint32_t number, std::vector<uint8_t>& out) const;

  VolumeView view;
  VolumeEntry volume;
  WorkerSink* statusLine = nullptr;
  WorkerSink* progressTarget = nullptr;
  PauseGate* pauseGate = nullptr;
  StopFlag stopRequested{0};

  std::vector<ExtEntryRecord> entries;
  std::string names;

 private:
  friend class ExtDataStream;
  bool Stopped();
  bool CheckSuperblock(const uint8_t* sb, uint64_t position);
  uint64_t VolumeBlocks() const { return volumeBytes_ / blockSize_; }
  bool BlockInVolume(uint64_t block, uint64_t count = 1) const;
  struct PendingDirectory {
    uint32_t inode;
    int32_t entry;
    bool deleted;
  };
  struct FoundName {
    uint32_t offset;  // into names_ of the walk
    uint16_t length;
    uint8_t fileType;
    bool deleted;
    uint32_t inode;
  };
  void WalkDirectory(const PendingDirectory& dir, std::vector<PendingDirectory>& stack);
  void ParseDirectoryBytes(const uint8_t* data, size_t length, const PendingDirectory& dir);
  void WalkDirectoryData(const PendingDirectory& dir, const std::vector<uint8_t>& inode);
  void PlanInodeSlots();
  void CollectInodeGroups();
  void ApplyInodeInfo(ExtEntryRecord& e);
  void AddFoundNames(const PendingDirectory& dir, std::vector<PendingDirectory>& stack);
  int32_t AddEntry(int32_t parent, std::string_view name, uint32_t inode, uint8_t fileType, bool deleted);
  void AppendBlockMap(const uint8_t* field, uint64_t blocks, std::vector<ExtRun>& runs);
  void AppendExtents(const uint8_t* node, size_t nodeBytes, uint32_t depth, uint64_t blocks,
                     std::vector<ExtRun>& runs, uint64_t& budget);
  std::optional<std::string> InlineData(const std::vector<uint8_t>& inode, uint64_t size) const;

  uint64_t volumeBytes_ = 0;
  uint64_t superblockPosition_ = 0;
  uint8_t superblock_[1024] = {};
  uint32_t blockSize_ = 0;
  uint64_t blocksCount_ = 0;
  uint32_t blocksPerGroup_ = 0;
  uint32_t inodesPerGroup_ = 0;
  uint32_t inodesCount_ = 0;
  uint32_t inodeSize_ = 0;
  uint32_t featureCompat_ = 0, featureIncompat_ = 0, featureRoCompat_ = 0;
  uint32_t descSize_ = 32;
  uint64_t groupCount_ = 0;
  bool hasFileType_ = false;
  bool uninitGroups_ = false;
  std::vector<uint8_t> descriptors_;
  std::vector<uint64_t> inodeTables_;   // per group, in blocks
  std::vector<uint32_t> usedInodes_;    // per group: inodes that may ever have been used
  std::vector<ExtInodeInfo> inodes_;    // in inode order
  // Where an inode read by CollectInodes is in inodes_: a group's used
  // inodes have consecutive slots from groupSlots_[g] on, each holding an
  // index into inodes_ + 1, or 0 for an inode never used.
  static constexpr uint64_t kNoSlots = UINT64_MAX;
  std::vector<uint64_t> groupSlots_;
  std::vector<uint32_t> inodeSlots_;
  std::unordered_map<uint64_t, std::vector<uint8_t>> inodeChunks_;  // read on demand
  std::unordered_set<uint32_t> walked_; // directory inodes walked
  uint64_t directoryBudget_ = 0;        // directory bytes still to be read
  std::vector<uint8_t> blockBuffer_;
  std::vector<FoundName> found_;  // the names of the directory being walked
  std::string foundNames_;
  std::vector<uint32_t> firstOfKey_;  // AddFoundNames' table of names seen
  std::vector<uint8_t> keep_;
  std::vector<uint8_t> ioBuffer_;
};

}  // namespace lv
