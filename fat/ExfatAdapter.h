// The exFAT engine behind the engine seam: the catalogue's per-file-system
// tables for ExFatEntryRecords and the exFAT workers.
#pragma once

#include <memory>

#include "disk/VolumeAdapter.h"
#include "fat/Exfat.h"

namespace lv {

class ExfatAdapter final : public VolumeAdapter {
 public:
  explicit ExfatAdapter(const EngineSetup& setup);

  std::wstring_view KindName() const override { return L"exFAT"; }
  size_t Size() const override { return engine_.entries.size(); }
  ItemData DataOf(EntryIndex entry) const override;
  EntryIndex IndexOf(ItemData data) const override;

  EntryIndex FirstChild(EntryIndex entry) const override;
  EntryIndex NextSibling(EntryIndex entry) const override;
  // The records found in the root directory, in table order.
  std::vector<EntryIndex> TopLevel() const override;
  // "DUMMY ENTRY", the root's placeholder.
  EntryIndex RootEntry() const override { return Size() > 0 ? 0 : kNoEntry; }

  std::wstring Name(EntryIndex entry) const override;
  void NameInto(EntryIndex entry, std::wstring& out) const override;
  // The name with blanks trimmed at both ends.
  std::wstring SearchName(EntryIndex entry) const override;
  bool IsFolder(EntryIndex entry, FolderUse use) const override;
  bool IsDeleted(EntryIndex entry) const override;

  // Times as stored (the UTC offset is not applied), validDataLength, and
  // the attribute letters of the low byte.
  EntryTexts Texts(EntryIndex entry) override;
  uint64_t DataSize(EntryIndex entry) override;

  // A folder's name as stored; a file's trimmed.
  std::string FolderComponent(EntryIndex entry) const override;
  std::string FileComponent(EntryIndex entry) const override;
  EntryData OpenData(EntryIndex entry) override;
  bool ReportsSingleSave() const override { return true; }

  bool HasRecycleStep() const override { return true; }
  bool Rename(EntryIndex entry, std::u16string_view name) override;

  StopFlag& StopRequested() override { return engine_.stopRequested; }

  std::wstring StartStatus(int32_t) const override { return {}; }
  void Wire(WorkerSink& sink, PauseGate* gate) override;
  // The standard worker (the only mode of this build): a volume whose boot
  // sector or root directory the engine refuses ends as refused.
  WorkerEnd RunWorker(int32_t recoveryMode, const AdvancedChoices& choices, ScanSteps& steps) override;

  Fat64Class& Engine() { return engine_; }

 private:
  bool Valid(EntryIndex entry) const { return entry >= 0 && static_cast<uint64_t>(entry) < engine_.entries.size(); }
  const ExFatEntryRecord& At(EntryIndex entry) const { return engine_.entries[static_cast<size_t>(entry)]; }
  EntryIndex Link(int32_t index) const { return index > 0 && Valid(index) ? index : kNoEntry; }

  Fat64Class engine_;
};

std::unique_ptr<VolumeAdapter> MakeExfatAdapter(const EngineSetup& setup);

}  // namespace lv
