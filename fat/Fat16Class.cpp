#include "fat/Fat16Class.h"

#include <algorithm>

namespace lv {

Fat16Class::Fat16Class(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink)
    : core(reader, volume, sink, FatWalkRules{false, false}) {}

bool Fat16Class::CheckBootSector() {
  if (!core.ReadBootSector() || core.geometry->fat32Layout) {
    core.geometry.reset();
    return false;
  }
  bootSectorsPerCluster = static_cast<uint8_t>(core.geometry->sectorsPerCluster);
  return true;
}

void Fat16Class::LoadAllocationTable() {
  if (!core.geometry) return;
  const FatParameters& g = *core.geometry;
  core.table.Load(core.view, g.tableOffset, g.tableBytes, g.fatBits, g.clusterCount);
}

void Fat16Class::LoadRootDirectory() {
  rootDirectory.clear();
  if (!core.geometry) return;
  const FatParameters& g = *core.geometry;
  const uint64_t available = core.view.AvailableBytes();
  const uint64_t present = available > g.rootOffset ? std::min(g.rootBytes, available - g.rootOffset) : 0;
  rootDirectory.assign(static_cast<size_t>(present), 0);
  if (present > 0) core.view.ReadBatch(g.rootOffset, rootDirectory.data(), rootDirectory.size());
}

void Fat16Class::CollectEntries() { core.CollectEntries(&rootDirectory, 0); }

EntryData Fat16Class::OpenFileData(int64_t index) {
  if (index < 0 || static_cast<uint64_t>(index) >= core.entries.size()) {
    EntryData data;
    data.valid = false;
    return data;
  }
  return core.OpenData(core.entries[static_cast<size_t>(index)]);
}

bool Fat16Class::ExtractFile(const std::string& outputPath, const FatEntryRecord& entry) {
  return WriteEntryFile(outputPath, core.OpenData(entry));
}

}  // namespace lv
