#include "fat/Fat32Class.h"

namespace lv {

Fat32Class::Fat32Class(readWriteInterface& reader, const VolumeEntry& volume, WorkerSink& sink)
    : core(reader, volume, sink, FatWalkRules{true, true}) {}

bool Fat32Class::CheckBootSector() {
  if (!core.ReadBootSector() || !core.geometry->fat32Layout) {
    core.geometry.reset();
    return false;
  }
  bootSectorsPerCluster = static_cast<uint8_t>(core.geometry->sectorsPerCluster);
  return true;
}

void Fat32Class::LoadAllocationTable() {
  if (!core.geometry) return;
  const FatParameters& g = *core.geometry;
  core.table.UseDisk(core.view, g.tableOffset, g.tableBytes, g.fatBits, g.clusterCount);
}

void Fat32Class::LoadRootDirectory() {
  if (!core.geometry) return;
  rootCluster = core.table.IsCluster(core.geometry->rootCluster) ? core.geometry->rootCluster : 2;
}

EntryData Fat32Class::OpenFileData(int64_t index) {
  if (index < 0 || static_cast<uint64_t>(index) >= core.entries.size()) {
    EntryData data;
    data.valid = false;
    return data;
  }
  return core.OpenData(core.entries[static_cast<size_t>(index)]);
}

bool Fat32Class::ExtractFile(const std::string& outputPath, const FatEntryRecord& entry) {
  return WriteEntryFile(outputPath, core.OpenData(entry));
}

}  // namespace lv
