// Fat32Class: the engine of FAT32 volumes. As Fat16Class, with 32-bit table
// entries looked up on the disk and a root directory that is a cluster
// chain starting at the parameter block's root cluster.
#pragma once

#include <string>

#include "fat/FatCore.h"

namespace lv {

class Fat32Class {
 public:
  Fat32Class(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink);

  // Checks sector 0: a FAT parameter block with a zero 16-bit table length
  // and a 32-bit one, whatever the OEM name.
  bool CheckBootSector();
  void LoadAllocationTable();
  // The root's first cluster: the parameter block's, or cluster 2 when that
  // names no cluster of the volume.
  void LoadRootDirectory();
  void CollectEntries() { core.CollectEntries(nullptr, rootCluster); }
  void LinkEntries() { core.LinkEntries(); }

  EntryData OpenFileData(int64_t index);
  bool ExtractFile(const std::string& outputPath, const FatEntryRecord& entry);

  FatCore core;
  uint32_t rootCluster = 2;
  uint8_t bootSectorsPerCluster = 0;
};

}  // namespace lv
