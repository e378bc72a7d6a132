// The NTFS engine behind the engine seam: the catalogue's per-file-system
// tables for NTFS entries, the NTFS workers of the three recovery modes and
// the MFT candidate search.
#pragma once

#include <memory>

#include "disk/VolumeAdapter.h"
#include "ntfs/Ntfs.h"

namespace lv {

class NtfsAdapter final : public VolumeAdapter {
 public:
  explicit NtfsAdapter(const EngineSetup& setup);

  std::wstring_view KindName() const override { return L"NTFS"; }
  size_t Size() const override { return engine_.entries.size(); }
  ItemData DataOf(EntryIndex entry) const override;
  EntryIndex IndexOf(ItemData data) const override;

  EntryIndex FirstChild(EntryIndex entry) const override;
  EntryIndex NextSibling(EntryIndex entry) const override;
  // The root entry's chain (not in deep mode), then ORPHAN_ENTRY when the
  // chain did not reach it.
  std::vector<EntryIndex> TopLevel() const override;
  EntryIndex RootEntry() const override { return Valid(engine_.rootIndex) ? engine_.rootIndex : kNoEntry; }

  std::wstring Name(EntryIndex entry) const override;
  void NameInto(EntryIndex entry, std::wstring& out) const override;
  bool IsFolder(EntryIndex entry, FolderUse use) const override;
  // ORPHAN_ENTRY is never shown as deleted.
  bool IsDeleted(EntryIndex entry) const override;
  bool IsValidRecord(EntryIndex entry) const override;
  bool SkipsSubtree(EntryIndex entry) const override;
  bool CountsAsFile(EntryIndex entry) const override;
  bool IsWritten(EntryIndex entry) const override;

  EntryTexts Texts(EntryIndex entry) override;
  uint64_t DataSize(EntryIndex entry) override;

  std::string FolderComponent(EntryIndex entry) const override;
  std::string FileComponent(EntryIndex entry) const override;
  EntryData OpenData(EntryIndex entry) override;

  bool HasRecycleStep() const override { return true; }
  bool Rename(EntryIndex entry, std::u16string_view name) override;

  StopFlag& StopRequested() override { return engine_.stopRequested; }

  std::wstring StartStatus(int32_t recoveryMode) const override;
  void Wire(WorkerSink& sink, PauseGate* gate) override;
  std::wstring AdvancedLabel() const override { return L"Total Ntfs Entries Found:"; }
  WorkerEnd RunWorker(int32_t recoveryMode, const AdvancedChoices& choices, ScanSteps& steps) override;
  uint64_t FindCandidates(uint64_t maximum) override;
  // "MFT_ENTRY:%d" per candidate at its $MFT record, the six
  // sectors-per-cluster choices, the count message and "Parsing done.".
  CandidateLists Candidates() const override;

  ntfs& Engine() { return engine_; }
  // ORPHAN_ENTRY, or kNoEntry when outside the table.
  EntryIndex OrphanEntry() const { return Valid(engine_.orphanIndex) ? engine_.orphanIndex : kNoEntry; }

 private:
  bool Valid(EntryIndex entry) const { return entry >= 0 && static_cast<uint64_t>(entry) < engine_.entries.size(); }
  const NtfsEntryRecord& At(EntryIndex entry) const { return engine_.entries[static_cast<size_t>(entry)]; }
  EntryIndex Link(int64_t index) const { return index > 0 && Valid(index) ? index : kNoEntry; }
  // The engine's steps of the standard and deep workers, and of the
  // advanced worker with its choices.
  void ScanVolume(int32_t recoveryMode);
  void ScanCandidate(const AdvancedChoices& choices);

  ntfs engine_;
};

std::unique_ptr<VolumeAdapter> MakeNtfsAdapter(const EngineSetup& setup);

}  // namespace lv
