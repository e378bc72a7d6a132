// The FAT12/16 and FAT32 engines behind the engine seam: the catalogue's
// per-file-system tables for FatEntryRecords and the standard workers. The
// two kinds share their tables; they differ in their engine, their statuses
// and messages, and the recycle-bin step (FAT32 only).
#pragma once

#include <memory>

#include "disk/VolumeAdapter.h"
#include "fat/Fat16Class.h"
#include "fat/Fat32Class.h"

namespace lv {

template <class Engine>
class FatAdapter final : public VolumeAdapter {
 public:
  explicit FatAdapter(const EngineSetup& setup);

  std::wstring_view KindName() const override;
  size_t Size() const override { return Entries().size(); }
  ItemData DataOf(EntryIndex entry) const override;
  EntryIndex IndexOf(ItemData data) const override;

  EntryIndex FirstChild(EntryIndex entry) const override;
  EntryIndex NextSibling(EntryIndex entry) const override;
  // The root's entries in table order, without the volume label.
  std::vector<EntryIndex> TopLevel() const override;
  // "DUMMY ENTRY" stands for the root.
  EntryIndex RootEntry() const override { return Entries().empty() ? kNoEntry : 0; }

  std::wstring Name(EntryIndex entry) const override;
  void NameInto(EntryIndex entry, std::wstring& out) const override;
  bool IsFolder(EntryIndex entry, FolderUse use) const override;
  bool IsDeleted(EntryIndex entry) const override;

  EntryTexts Texts(EntryIndex entry) override;
  uint64_t DataSize(EntryIndex entry) override;

  std::string FolderComponent(EntryIndex entry) const override;
  std::string FileComponent(EntryIndex entry) const override;
  EntryData OpenData(EntryIndex entry) override;

  bool HasRecycleStep() const override;
  bool Rename(EntryIndex entry, std::u16string_view name) override;

  StopFlag& StopRequested() override { return engine_.core.stopRequested; }

  std::wstring StartStatus(int32_t) const override { return {}; }
  void Wire(WorkerSink& sink, PauseGate* gate) override;
  bool OpensMountedVolume(int32_t recoveryMode) const override { return recoveryMode != 2; }
  WorkerEnd RunWorker(int32_t recoveryMode, const AdvancedChoices& choices, ScanSteps& steps) override;

  Engine& GetEngine() { return engine_; }

 private:
  const std::vector<FatEntryRecord>& Entries() const { return engine_.core.entries; }
  bool Valid(EntryIndex entry) const { return entry >= 0 && static_cast<uint64_t>(entry) < Entries().size(); }
  const FatEntryRecord& At(EntryIndex entry) const { return Entries()[static_cast<size_t>(entry)]; }
  EntryIndex Link(int32_t index) const { return index > 0 && Valid(index) ? index : kNoEntry; }

  Engine engine_;
};

using Fat16Adapter = FatAdapter<Fat16Class>;
using Fat32Adapter = FatAdapter<Fat32Class>;

std::unique_ptr<VolumeAdapter> MakeFat16Adapter(const EngineSetup& setup);
std::unique_ptr<VolumeAdapter> MakeFat32Adapter(const EngineSetup& setup);

}  // namespace lv
