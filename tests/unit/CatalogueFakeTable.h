// An engine of the tests' own: folders and files with names, contents and
// chains set up by hand, behind the engine seam, for the catalogue's walks
// without a real engine.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "disk/VolumeAdapter.h"
#include "common/SafeName.h"
#include "common/Text.h"

namespace lv::test {

class FakeTable : public VolumeAdapter {
 public:
  struct Entry {
    std::u16string name;
    bool folder = false;
    bool deleted = false;
    std::string data;
    EntryIndex firstChild = kNoEntry, nextSibling = kNoEntry;
  };

  FakeTable() { entries.push_back({u".", true, false, {}, kNoEntry, kNoEntry}); }  // entry 0: the root

  static constexpr EntryIndex kRoot = 0;

  // Appends an entry at the end of parent's chain.
  EntryIndex Add(EntryIndex parent, std::u16string name, bool folder, std::string data = {}, bool deleted = false) {
    const EntryIndex index = static_cast<EntryIndex>(entries.size());
    entries.push_back({std::move(name), folder, deleted, std::move(data), kNoEntry, kNoEntry});
    Entry& p = entries[static_cast<size_t>(parent)];
    if (p.firstChild == kNoEntry) {
      p.firstChild = index;
    } else {
      EntryIndex last = p.firstChild;
      while (entries[static_cast<size_t>(last)].nextSibling != kNoEntry) last = entries[static_cast<size_t>(last)].nextSibling;
      entries[static_cast<size_t>(last)].nextSibling = index;
    }
    return index;
  }
  EntryIndex Folder(EntryIndex parent, std::u16string name, bool deleted = false) {
    return Add(parent, std::move(name), true, {}, deleted);
  }
  EntryIndex File(EntryIndex parent, std::u16string name, std::string data = "x", bool deleted = false) {
    return Add(parent, std::move(name), false, std::move(data), deleted);
  }

  std::wstring_view KindName() const override { return L"FAKE"; }
  size_t Size() const override { return entries.size(); }
  ItemData DataOf(EntryIndex e) const override { return Valid(e) ? static_cast<ItemData>(e) + 1 : kNoItemData; }
  EntryIndex IndexOf(ItemData data) const override {
    if (data == kNoItemData || data == kVolumeTopData) return kNoEntry;
    return Valid(static_cast<EntryIndex>(data - 1)) ? static_cast<EntryIndex>(data - 1) : kNoEntry;
  }
  EntryIndex FirstChild(EntryIndex e) const override { return Valid(e) ? Checked(At(e).firstChild) : kNoEntry; }
  EntryIndex NextSibling(EntryIndex e) const override { return Valid(e) ? Checked(At(e).nextSibling) : kNoEntry; }
  std::vector<EntryIndex> TopLevel() const override {
    std::vector<EntryIndex> top;
    std::vector<uint8_t> seen(Size(), 0);
    for (EntryIndex e = FirstChild(kRoot); e != kNoEntry && !seen[static_cast<size_t>(e)]; e = NextSibling(e)) {
      seen[static_cast<size_t>(e)] = 1;
      top.push_back(e);
    }
    return top;
  }
  std::wstring Name(EntryIndex e) const override { return Valid(e) ? Utf16ToWide(At(e).name) : std::wstring(); }
  bool IsFolder(EntryIndex e, FolderUse) const override { return Valid(e) && At(e).folder; }
  bool IsDeleted(EntryIndex e) const override { return Valid(e) && At(e).deleted; }
  bool SkipsSubtree(EntryIndex e) const override { return IsFolder(e, FolderUse::Tree) && At(e).name == u"."; }
  bool IsWritten(EntryIndex e) const override { return Valid(e) && At(e).name != u"$BadClus"; }
  EntryTexts Texts(EntryIndex e) override {
    return {L"c" + Name(e), L"a" + Name(e), L"m" + Name(e), std::to_wstring(DataSize(e)), L"-A"};
  }
  uint64_t DataSize(EntryIndex e) override { return Valid(e) ? At(e).data.size() : 0; }
  std::string FolderComponent(EntryIndex e) const override {
    return Valid(e) && !At(e).name.empty() ? SafeComponent(At(e).name) : std::string();
  }
  std::string FileComponent(EntryIndex e) const override {
    return Valid(e) ? SafeComponent(Trim(std::u16string_view(At(e).name))) : std::string();
  }
  EntryData OpenData(EntryIndex e) override {
    ++extractCalls;
    if (onExtract) onExtract(e);
    EntryData data;
    if (!Valid(e)) return data;
    data.size = At(e).data.size();
    data.stream = StreamOfBytes(At(e).data);
    return data;
  }
  bool HasRecycleStep() const override { return true; }
  bool Rename(EntryIndex e, std::u16string_view name) override {
    if (!Valid(e)) return false;
    entries[static_cast<size_t>(e)].name.assign(name);
    return true;
  }
  StopFlag& StopRequested() override { return stop; }

  // The worker: the catalogue's steps over the table as it stands.
  std::wstring StartStatus(int32_t) const override { return L"fake volume selected"; }
  void Wire(WorkerSink&, PauseGate*) override {}
  WorkerEnd RunWorker(int32_t, const AdvancedChoices&, ScanSteps& steps) override {
    steps.CreateRootItem();
    steps.FillTree();
    steps.RestoreRecycledNames();
    steps.FilterTree();
    return {L"Scanning process completed."};
  }

  std::vector<Entry> entries;
  StopFlag stop{0};
  int extractCalls = 0;
  std::function<void(EntryIndex)> onExtract;

 private:
  bool Valid(EntryIndex e) const { return e >= 0 && static_cast<size_t>(e) < entries.size(); }
  EntryIndex Checked(EntryIndex e) const { return Valid(e) && e != kRoot ? e : kNoEntry; }
  const Entry& At(EntryIndex e) const { return entries[static_cast<size_t>(e)]; }
};

}  // namespace lv::test
