// The catalogue's view of the NTFS engine's entry table.
#pragma once

#include "catalogue/CatalogueTable.h"
#include "ntfs/Ntfs.h"

namespace lv {

class NtfsCatalogue final : public CatalogueTable {
 public:
  NtfsCatalogue(ntfs& engine, int32_t recoveryMode) : engine_(engine), recoveryMode_(recoveryMode) {}

  std::wstring_view KindName() const override { return L"NTFS"; }
  size_t Size() const override { return engine_.entries.size(); }
  ItemData DataOf(EntryIndex entry) const override;
  EntryIndex IndexOf(ItemData data) const override;

  EntryIndex FirstChild(EntryIndex entry) const override;
  EntryIndex NextSibling(EntryIndex entry) const override;
  std::vector<EntryIndex> TopLevel() const override;

  std::wstring Name(EntryIndex entry) const override;
  void NameInto(EntryIndex entry, std::wstring& out) const override;
  bool IsFolder(EntryIndex entry, FolderUse use) const override;
  bool IsDeleted(EntryIndex entry) const override;
  bool IsValidRecord(EntryIndex entry) const override;
  bool SkipsSubtree(EntryIndex entry) const override;
  bool CountsAsFile(EntryIndex entry) const override;
  bool IsWritten(EntryIndex entry) const override;

  EntryTexts Texts(EntryIndex entry) override;
  uint64_t DataSize(EntryIndex entry) override;

  std::string FolderComponent(EntryIndex entry) const override;
  ExtractResult Extract(EntryIndex entry, const std::string& folder) override;

  bool HasRecycleStep() const override { return true; }
  bool Rename(EntryIndex entry, std::u16string_view name) override;

  StopFlag& StopRequested() override { return engine_.stopRequested; }

  ntfs& Engine() { return engine_; }
  int32_t RecoveryMode() const { return recoveryMode_; }
  bool Valid(EntryIndex entry) const { return entry >= 0 && static_cast<uint64_t>(entry) < engine_.entries.size(); }
  // The root entry and ORPHAN_ENTRY, or kNoEntry when outside the table.
  EntryIndex RootEntry() const { return Valid(engine_.rootIndex) ? engine_.rootIndex : kNoEntry; }
  EntryIndex OrphanEntry() const { return Valid(engine_.orphanIndex) ? engine_.orphanIndex : kNoEntry; }

 private:
  const NtfsEntryRecord& At(EntryIndex entry) const { return engine_.entries[static_cast<size_t>(entry)]; }
  EntryIndex Link(int64_t index) const { return index > 0 && Valid(index) ? index : kNoEntry; }

  ntfs& engine_;
  int32_t recoveryMode_;
};

}  // namespace lv
