// The ext2/3/4 engine behind the engine seam: the catalogue's tables for
// ExtEntryRecords and the ext worker (standard mode only).
#pragma once

#include <memory>

#include "disk/VolumeAdapter.h"
#include "ext/Ext2Class.h"

namespace lv {

class ExtAdapter final : public VolumeAdapter {
 public:
  explicit ExtAdapter(const EngineSetup& setup);

  std::wstring_view KindName() const override { return L"ext"; }
  size_t Size() const override { return engine_.entries.size(); }
  ItemData DataOf(EntryIndex entry) const override;
  EntryIndex IndexOf(ItemData data) const override;

  EntryIndex FirstChild(EntryIndex entry) const override;
  EntryIndex NextSibling(EntryIndex entry) const override;
  // The root directory's records, the root's own "." first.
  std::vector<EntryIndex> TopLevel() const override;
  // "ROOT" stands for the root directory.
  EntryIndex RootEntry() const override { return Size() > 0 ? 0 : kNoEntry; }

  std::wstring Name(EntryIndex entry) const override;
  void NameInto(EntryIndex entry, std::wstring& out) const override;
  std::wstring SearchName(EntryIndex entry) const override;
  bool IsFolder(EntryIndex entry, FolderUse use) const override;
  bool IsDeleted(EntryIndex entry) const override;
  // Regular files only: symbolic links, devices and the like are listed
  // but neither counted nor written.
  bool CountsAsFile(EntryIndex entry) const override;
  bool IsWritten(EntryIndex entry) const override { return CountsAsFile(entry); }

  EntryTexts Texts(EntryIndex entry) override;
  uint64_t DataSize(EntryIndex entry) override;

  std::string FolderComponent(EntryIndex entry) const override;
  std::string FileComponent(EntryIndex entry) const override;
  EntryData OpenData(EntryIndex entry) override;
  bool ReportsSingleSave() const override { return true; }

  StopFlag& StopRequested() override { return engine_.stopRequested; }

  std::wstring StartStatus(int32_t) const override { return {}; }
  void Wire(WorkerSink& sink, PauseGate* gate) override;
  WorkerEnd RunWorker(int32_t recoveryMode, const AdvancedChoices& choices, ScanSteps& steps) override;

  ext2Class& GetEngine() { return engine_; }

 private:
  bool Valid(EntryIndex entry) const { return entry >= 0 && static_cast<uint64_t>(entry) < engine_.entries.size(); }
  const ExtEntryRecord& At(EntryIndex entry) const { return engine_.entries[static_cast<size_t>(entry)]; }
  EntryIndex Link(int32_t index) const { return index > 0 && Valid(index) ? index : kNoEntry; }
  std::string Component(EntryIndex entry) const;

  ext2Class engine_;
};

std::unique_ptr<VolumeAdapter> MakeExtAdapter(const EngineSetup& setup);

}  // namespace lv
