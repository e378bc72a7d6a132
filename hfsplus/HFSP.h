// The HFS+ engine (Apple TN1150): the volume header (its alternate copy at
// the volume's end when the first is damaged), the catalog B-tree read from
// its root through the index nodes to the leaves and along the leaf chain
// (standard mode), or found by scanning the whole volume for catalog leaf
// nodes (the other modes, which also read the records a removal left in a
// node's free space), the extents-overflow B-tree for forks of more than
// eight extents, and one entry per folder and file record keyed by its
// catalog node ID, linked to its parent.
//
// The catalog and extents files are read through their own extents, not
// taken as contiguous. Every node number, record offset, key length and
// extent is checked against the node and the volume; node walks are bounded
// by a visited set and the tree's depth, so a hostile volume gives a partial
// table, never a crash, a hang or an unbounded allocation.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "common/ByteView.h"
#include "common/EntryData.h"
#include "common/NameStore.h"
#include "common/WorkerProtocol.h"
#include "disk/Disk.h"
#include "disk/VolumeEntry.h"
#include "disk/VolumeView.h"

namespace lv {

struct HfsExtent {
  uint32_t startBlock = 0;
  uint32_t blockCount = 0;
};

// One folder or file record of the catalog, or the synthetic
// "ORPHAN_ENTRY" folder of the scan modes.
struct HfsEntryRecord {
  uint16_t kind = 0;  // 1 folder, 2 file
  uint32_t parentId = 0;
  uint32_t cnid = 0;
  int32_t firstChild = -1;   // index into HFSP::entries
  int32_t nextSibling = -1;  // index into HFSP::entries
  uint32_t totalBlocks = 0;
  std::u16string_view name;
  uint64_t logicalSize = 0;
  HfsExtent extents[8] = {};
  uint32_t createDate = 0, contentModDate = 0, accessDate = 0;
  uint16_t fileMode = 0;
  uint8_t deleted = 0;  // found in a leaf node's free space
  // A hard link's file: the link ID of its indirect node file ("iNode" and
  // the number, in the private data folder); 0 for others.
  uint32_t linkId = 0;
  // The file whose fork the data is (the indirect node file of a hard
  // link): its ID keys the overflow records.
  uint32_t dataId = 0;
};

class HFSP {
 public:
  HFSP(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink);

  // The worker's phases, in order.
  bool ReadVolumeHeader();
  bool ReadCatalogByTree();
  bool ScanForCatalogNodes();
  bool IndexExtentsOverflow();
  void BuildEntries();
  void LinkParentsAndChildren();

  // A file record's data fork for the shared writer.
  EntryData OpenFileData(size_t entry);

  static std::wstring PermissionText(uint16_t fileMode);
  // Regular files, and files of volumes that keep no BSD mode.
  static bool IsRegular(const HfsEntryRecord& e) {
    return e.kind == 2 && ((e.fileMode & 0xF000) == 0x8000 || (e.fileMode & 0xF000) == 0);
  }

  // The entry of a CNID; -1 when none.
  int32_t Find(uint32_t cnid) const;
  // The entries the tree shows below "ROOT".
  int32_t TopEntry() const { return advancedMode ? orphanIndex_ : Find(2); }

  uint32_t BlockSize() const { return blockSize_; }
  uint32_t CatalogNodeSize() const { return catalog_.nodeSize; }
  bool UsedAlternateHeader() const { return alternate_; }
  size_t OverflowRecords() const { return overflow_.size(); }

  VolumeView view;
  VolumeEntry volume;
  WorkerSink* statusLine = nullptr;
  WorkerSink* progressTarget = nullptr;
  PauseGate* pauseGate = nullptr;
  StopFlag stopRequested{0};
  bool advancedMode = false;
  uint32_t orphanId = 0;

  // Ordered by CNID (the first record found of a CNID kept).
  std::vector<HfsEntryRecord> entries;

 private:
  friend class HfsDataStream;
  // A B-tree file: where its bytes lie and its header's values.
  struct TreeFile {
    uint32_t fileId = 0;
    std::vector<HfsExtent> extents;  // in file order, inside the volume
    uint64_t blocks = 0;             // sum of the extents
    uint32_t nodeSize = 0;
    uint32_t rootNode = 0;
    uint32_t firstLeaf = 0;
    uint32_t treeDepth = 0;
    uint32_t totalNodes = 0;
  };

  bool Stopped();
  bool BlockInVolume(uint64_t block, uint64_t count = 1) const;
  // The extents of an eight-extent record up to the first empty one.
  static void ExtentRecord(ByteView record, std::vector<HfsExtent>& out);
  bool ReadNode(const TreeFile& tree, uint32_t node, std::vector<uint8_t>& out) const;
  bool OpenTree(TreeFile& tree);
  // The tree's leaf nodes, from the root through the index nodes and along
  // the leaf chain, each once.
  template <typename Visit>
  void WalkLeaves(const TreeFile& tree, bool report, Visit&& visit);
  // The folder and file records of a catalog leaf node; with `freeSpace`
  // also those a removal left after the last record.
  void AddRecords(const uint8_t* node, size_t nodeSize, bool freeSpace);
  // One record at `offset`; its length (key and record) when it is one.
  std::optional<size_t> AddRecord(ByteView node, size_t offset, size_t end, bool deleted);
  void ResolveHardLinks();
  bool AppendOverflow(uint32_t fileId, uint64_t startBlock, std::vector<HfsExtent>& out) const;

  uint64_t volumeBytes_ = 0;
  uint32_t blockSize_ = 0;
  uint8_t header_[512] = {};
  bool alternate_ = false;
  TreeFile catalog_;
  TreeFile extentsTree_;
  bool overflowIndexed_ = false;
  // (file ID, first file block) → the record's eight extents; data forks only.
  std::map<std::pair<uint32_t, uint32_t>, std::vector<HfsExtent>> overflow_;
  NameStore names_;
  int32_t orphanIndex_ = -1;
  std::vector<uint8_t> ioBuffer_;
};

}  // namespace lv
