// What the FAT12/16 and FAT32 engines share: the entry record, and the
// volume state and steps both run on it (the directory walk, the linking of
// the table and the data of an entry). Each engine holds one FatCore and
// adds its own boot check, table and root directory.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/EntryData.h"
#include "common/NameStore.h"
#include "common/WorkerProtocol.h"
#include "disk/Disk.h"
#include "disk/VolumeView.h"
#include "fat/FatCommon.h"
#include "fat/FatTable.h"

namespace lv {

// One entry found on the volume, live or deleted; the table of them is
// shared by Fat16Class and Fat32Class. Links are table indexes, 0 for none.
struct FatEntryRecord {
  uint8_t attributes = 0;  // 0x0F for the placeholder root
  uint8_t creationTenths = 0;
  uint16_t creationTime = 0;
  uint16_t creationDate = 0;
  uint16_t accessDate = 0;
  uint16_t clusterHigh = 0;
  uint16_t writeTime = 0;
  uint16_t writeDate = 0;
  uint16_t clusterLow = 0;
  uint32_t size = 0;
  uint8_t deleted = 0;
  std::u16string_view name;  // in the engine's name store
  int32_t parentIndex = 0;
  int32_t ownIndex = 0;
  int32_t firstChild = 0;
  int32_t nextSibling = 0;
};

inline constexpr std::u16string_view kDummyEntryName = u"DUMMY ENTRY";

// Writes an entry's data as the file outputPath (its folder and a name)
// through the shared writer: never over an existing file, with its times.
bool WriteEntryFile(const std::string& outputPath, EntryData data);

// Where the two walks differ.
struct FatWalkRules {
  // FAT32: a slot whose first byte is 0 ends the walk of a folder's cluster
  // (the root's walk goes on); FAT12/16 walks skip such slots.
  bool zeroEndsFolderCluster = false;
  // FAT32 keeps the high word of the first cluster at byte 20; FAT12/16
  // volumes use that word for other things.
  bool highClusterWord = false;
};

class FatCore {
 public:
  FatCore(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink, FatWalkRules rules);
  ~FatCore();
  FatCore(const FatCore&) = delete;
  FatCore& operator=(const FatCore&) = delete;

  // Reads sector 0 into bootSector and recognises its parameter block.
  bool ReadBootSector();

  uint32_t FirstCluster(const FatEntryRecord& entry) const;
  // Clusters whose first byte lies inside the source, as a limit like
  // FatTable::Limit(); chains end at the first cluster beyond it.
  uint32_t ReadableLimit() const;
  uint64_t ClusterOffset(uint32_t cluster) const;
  uint64_t ClusterBytes() const { return geometry ? geometry->clusterBytes : 0; }

  // The walk of the whole tree: the root (a fixed region, or the chain from
  // rootCluster when `region` is null) and, depth first, every folder below
  // it. Deleted folders are walked after every live one, so that a deleted
  // folder whose clusters a live folder took over does not take the live
  // folder's entries. Each directory cluster is read once at most.
  void CollectEntries(const std::vector<uint8_t>* region, uint32_t rootCluster);
  // firstChild / nextSibling from the parent indexes, in table order.
  void LinkEntries();
  // The data of a file for the shared writer, with its times: its chain;
  // for a deleted file the free clusters from its first one on, or its first
  // cluster alone when another file took that; with FormattedDriveMode the
  // consecutive clusters.
  EntryData OpenData(const FatEntryRecord& entry);

  VolumeEntry volume;
  VolumeView view;
  FatWalkRules rules;
  std::array<uint8_t, 512> bootSector{};
  std::optional<FatParameters> geometry;
  FatTable table;
  std::vector<FatEntryRecord> entries;
  NameStore names;
  // Directory clusters already read (the engine's lifetime).
  std::unordered_set<uint32_t> readClusters;

  StopFlag stopRequested{0};
  WorkerSink* statusLine;
  WorkerSink* progressTarget;
  PauseGate* pauseGate = nullptr;

 private:
  struct Frame;
  void Walk(const std::vector<uint8_t>* region);
  // Handles one slot in use of the folder walked by the top frame; may push
  // the frame of a subfolder.
  void HandleSlot(ByteView slot);
  // Pushes the walk of a folder record when its first cluster is unread.
  void Descend(int32_t folder);
  FatEntryRecord DecodeSlot(ByteView slot, int32_t parent) const;

  std::vector<Frame> stack_;
  std::deque<int32_t> deferred_;
  std::vector<uint8_t> clusterBuffer_;
  std::u16string name_;
};

}  // namespace lv
