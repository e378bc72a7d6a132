// The HFS+ engine behind the engine seam: the catalogue's tables for
// HfsEntryRecords and the HFS+ worker of every recovery mode (the catalog
// B-tree in standard mode, the scan for catalog leaf nodes otherwise).
#pragma once

#include <memory>

#include "disk/VolumeAdapter.h"
#include "hfsplus/HFSP.h"

namespace lv {

class HfsAdapter final : public VolumeAdapter {
 public:
  explicit HfsAdapter(const EngineSetup& setup);

  std::wstring_view KindName() const override { return L"HFS+"; }
  size_t Size() const override { return engine_.entries.size(); }
  ItemData DataOf(EntryIndex entry) const override;
  EntryIndex IndexOf(ItemData data) const override;

  EntryIndex FirstChild(EntryIndex entry) const override;
  EntryIndex NextSibling(EntryIndex entry) const override;
  // The root folder's children; in the scan modes "ORPHAN_ENTRY".
  std::vector<EntryIndex> TopLevel() const override;

  std::wstring Name(EntryIndex entry) const override;
  std::wstring SearchName(EntryIndex entry) const override;
  bool IsFolder(EntryIndex entry, FolderUse use) const override;
  bool IsDeleted(EntryIndex entry) const override;
  // Regular files only: symbolic links are listed but neither counted nor
  // written.
  bool CountsAsFile(EntryIndex entry) const override;
  bool IsWritten(EntryIndex entry) const override { return CountsAsFile(entry); }

  EntryTexts Texts(EntryIndex entry) override;
  uint64_t DataSize(EntryIndex entry) override;

  std::string FolderComponent(EntryIndex entry) const override;
  std::string FileComponent(EntryIndex entry) const override;
  EntryData OpenData(EntryIndex entry) override;
  bool ReportsSingleSave() const override { return true; }

  StopFlag& StopRequested() override { return engine_.stopRequested; }

  std::wstring StartStatus(int32_t) const override { return L"HFS+ partition selected...."; }
  void Wire(WorkerSink& sink, PauseGate* gate) override;
  // The reader is never reopened on a mounted volume's device.
  bool OpensMountedVolume(int32_t) const override { return false; }
  WorkerEnd RunWorker(int32_t recoveryMode, const AdvancedChoices& choices, ScanSteps& steps) override;

  HFSP& GetEngine() { return engine_; }

 private:
  bool Valid(EntryIndex entry) const { return entry >= 0 && static_cast<uint64_t>(entry) < engine_.entries.size(); }
  const HfsEntryRecord& At(EntryIndex entry) const { return engine_.entries[static_cast<size_t>(entry)]; }
  EntryIndex Link(int32_t index) const { return index >= 0 && Valid(index) ? index : kNoEntry; }
  std::string Component(EntryIndex entry) const;

  HFSP engine_;
};

std::unique_ptr<VolumeAdapter> MakeHfsAdapter(const EngineSetup& setup);

}  // namespace lv
