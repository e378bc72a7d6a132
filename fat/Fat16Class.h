// Fat16Class: the engine of FAT12 and FAT16 volumes. Standard mode: the
// geometry from the boot sector, the table and the fixed root directory
// read from their places, and a walk of the whole tree into one table of
// FatEntryRecords, live and deleted.
#pragma once

#include <string>
#include <vector>

#include "fat/FatCore.h"

namespace lv {

class Fat16Class {
 public:
  Fat16Class(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink);

  // Checks sector 0: a FAT parameter block with a 16-bit table length (a
  // FAT32 layout is refused), whatever the OEM name.
  bool CheckBootSector();
  // The first table, with 12- or 16-bit entries as the cluster count says.
  void LoadAllocationTable();
  // The fixed root directory, as much of it as the source holds.
  void LoadRootDirectory();
  void CollectEntries();
  void LinkEntries() { core.LinkEntries(); }

  // The data of one table entry for the shared writer.
  EntryData OpenFileData(int64_t index);
  // Writes an entry's data to a new file at outputPath (a folder and a
  // name; never over an existing file) and stamps its times.
  bool ExtractFile(const std::string& outputPath, const FatEntryRecord& entry);

  FatCore core;
  std::vector<uint8_t> rootDirectory;
  // The boot sector's sectors per cluster (the advanced input offers it first).
  uint8_t bootSectorsPerCluster = 0;
};

}  // namespace lv
