// Fat64Class: the exFAT engine. It checks the boot sector, walks the root
// directory and every folder below it, live and deleted entry sets alike,
// into one flat table of ExFatEntryRecords linked into child chains, and
// offers each entry's data to the shared writer.
//
// The engine reads the volume only through its VolumeView. The scan runs on
// the scan worker; the per-entry operations (data, times) are called later
// from one thread at a time, since they share the engine's buffers.
//
// Geometry comes from the boot sector (CheckBootSector). Everything after
// it works from the geometry alone, so that a geometry set another way (the
// advanced mode's choices) drives the same walk and extraction.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/EntryData.h"
#include "common/NameStore.h"
#include "common/WorkerProtocol.h"
#include "disk/Disk.h"
#include "disk/VolumeView.h"
#include "fat/ExfatRecords.h"

namespace lv {

class ExfatClusterStream;

// Cluster heap and table positions, checked once when they are set.
struct ExfatGeometry {
  uint32_t bytesPerSector = 512;
  uint32_t sectorsPerCluster = 0;
  uint64_t clusterBytes = 0;
  uint64_t fatOffset = 0;   // byte position of the allocation table
  uint64_t fatBytes = 0;    // its length
  uint64_t heapOffset = 0;  // byte position of cluster 2
  // Cluster numbers from 2 up to (not including) this lie in the heap: the
  // boot sector's count, cut to what the table describes and what the
  // source holds.
  uint32_t numberOfClusters = 0;
  uint32_t rootCluster = 0;
};

// Consecutive clusters of a file.
struct ClusterRun {
  uint32_t first = 0;
  uint64_t count = 0;
};

// A small cache of aligned blocks of the volume, for lookups entry by entry
// in the allocation table and the allocation bitmap.
class ExfatBlockCache {
 public:
  // Reads `n` bytes (at most one block) at a volume offset; bytes the source
  // does not hold are zero.
  void Read(const VolumeView& view, uint64_t offset, uint8_t* out, size_t n);
  void Clear() { blocks_.clear(); }

 private:
  static constexpr uint64_t kBlockBytes = 64 * 1024;
  static constexpr size_t kBlocks = 4;
  struct Block {
    uint64_t number = 0;
    uint64_t used = 0;
    std::vector<uint8_t> bytes;
  };
  std::vector<Block> blocks_;
  uint64_t clock_ = 0;
};

class Fat64Class {
 public:
  Fat64Class(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink);
  Fat64Class(const Fat64Class&) = delete;
  Fat64Class& operator=(const Fat64Class&) = delete;
  ~Fat64Class();

  // Standard order: AttachVolume, CheckBootSector, LoadRootDirectory,
  // CollectEntries, LinkEntries.
  // The view is at the volume's start; false when its start cannot be
  // reached. Stores the volume's size.
  bool AttachVolume();
  // Reads and checks the main boot sector and takes the geometry from it
  // ("cant read file" when it cannot be read). False for a sector that is
  // not exFAT or whose geometry no exFAT volume has.
  bool CheckBootSector();
  // False when the root directory's first cluster is not in the heap.
  bool LoadRootDirectory();
  // Walks the root directory and every folder below it into `entries`:
  // "DUMMY ENTRY" at index 0 stands for the root.
  void CollectEntries();
  // Fills firstChild and nextSibling, children in table order.
  void LinkEntries();
  // The allocation table's entry for a cluster; 0xFFFFFFFF (end of chain)
  // in FormattedDriveMode, for clusters outside the heap and entries
  // outside the table.
  uint32_t NextCluster(uint32_t cluster);

  // The entry's data for the shared writer, with its times. The stream
  // reads through the engine's buffers: consume it before the next engine
  // operation.
  EntryData OpenEntryData(int64_t index);
  EntryData OpenRecordData(const ExFatEntryRecord& record);
  // Writes the entry's data through the shared writer to outputPath (its
  // folder must exist; a taken name gets a free one). True when written.
  bool ExtractFile(const std::string& outputPath, const ExFatEntryRecord& record);

  // The clusters a file's data takes, in file order, enough for its valid
  // data length (fewer when the chain or the heap ends first).
  std::vector<ClusterRun> DataRuns(const ExFatEntryRecord& record);
  // Whether the allocation bitmap marks a cluster in use; nullopt when the
  // volume has no readable bitmap.
  std::optional<bool> ClusterInUse(uint32_t cluster);

  bool ValidCluster(uint64_t cluster) const {
    return cluster >= 2 && cluster < geometry.numberOfClusters;
  }
  uint64_t ClusterOffset(uint32_t cluster) const {
    return geometry.heapOffset + uint64_t{cluster - 2} * geometry.clusterBytes;
  }

  readWriteInterface& reader;
  VolumeEntry volume;
  VolumeView view;
  WorkerSink* statusLine;
  WorkerSink* progressTarget;
  PauseGate* pauseGate = nullptr;
  StopFlag stopRequested{0};

  uint64_t volumeSize = 0;  // bytes, from the volume's size text
  std::vector<uint8_t> bootSector;
  ExfatGeometry geometry;
  uint8_t sectorsPerClusterShift = 0;  // offered first by the advanced input

  std::vector<ExFatEntryRecord> entries;
  NameStore nameStore;
  // Folder clusters already read: a cluster is walked once, which ends
  // loops and chains shared between folders.
  std::unordered_set<uint32_t> readClusters;
  uint64_t lookupCounter = 0;
  uint32_t lastTableValue = 0;

  static constexpr const char16_t* kDummyName = u"DUMMY ENTRY";

 private:
  friend class ExfatClusterStream;
  // Walks one directory (its clusters as the record says) and adds the sets
  // found with `folder` as parent; subfolders are queued.
  void WalkDirectory(int32_t folder, std::deque<int32_t>& pending);
  // Adds a record decoded in `folder`; a folder whose first cluster an
  // earlier folder of the same directory took becomes that one.
  void AddRecord(ExFatEntryRecord& record, const std::u16string& name, int32_t folder,
                 std::unordered_map<uint32_t, int32_t>& foldersHere, std::deque<int32_t>& pending);
  // The bitmap's clusters, found on first use.
  void LocateBitmap();
  std::vector<ClusterRun> ChainRuns(uint32_t first, uint64_t clusters);
  std::vector<ClusterRun> FreeClusterRuns(uint32_t first, uint64_t clusters);
  std::optional<std::vector<ClusterRun>> FreeChainRuns(uint32_t first, uint64_t clusters);

  std::vector<uint8_t> directoryBuffer_;
  std::vector<uint8_t> ioBuffer_;
  ExfatBlockCache tableCache_;
  ExfatBlockCache bitmapCache_;
  // The allocation bitmap's entry in the root directory, and its clusters.
  uint32_t bitmapCluster_ = 0;
  uint64_t bitmapBytes_ = 0;
  bool bitmapLocated_ = false;
  std::vector<uint32_t> bitmapClusters_;
};

}  // namespace lv
