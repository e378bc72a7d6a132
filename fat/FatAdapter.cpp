#include "fat/FatAdapter.h"

#include "common/SafeName.h"
#include "common/Text.h"
#include "fat/FatLayout.h"
#include "platform/MessageBox.h"

namespace lv {

using namespace fatlayout;

namespace {

// The texts and steps where the two kinds differ.
template <class Engine>
struct FatKind;

template <>
struct FatKind<Fat16Class> {
  static constexpr std::wstring_view kName = L"FAT16";
  static constexpr bool kRecycleStep = false;
  static void Refused() { ShowInfo(L"Selected Drive is not in Fat16 Format"); }
  static constexpr const wchar_t* kCollecting = L"Finding Fat16 File And Directory entries recursively....";
  static constexpr const wchar_t* kFiltering = L"Filter tree Entries...";
  static constexpr const wchar_t* kCompleted = L"Scanning process completed...";
};

template <>
struct FatKind<Fat32Class> {
  static constexpr std::wstring_view kName = L"FAT32";
  static constexpr bool kRecycleStep = true;
  // The FAT32 worker's box has neither caption nor icon.
  static void Refused() { ShowPlain(L"Selected Drive is not in Fat32 Format"); }
  static constexpr const wchar_t* kCollecting = L"Finding Fat32 File And Directory entries recursively....";
  static constexpr const wchar_t* kFiltering = L"Filter Entries in tree";
  static constexpr const wchar_t* kCompleted = L"Scanning process completed.";
};

std::wstring AttributeText(uint8_t attributes) {
  std::wstring text;
  if (attributes & kReadOnly) text += L"-R";
  if (attributes & kHidden) text += L"-H";
  if (attributes & kSystem) text += L"-S";
  if (attributes & kArchive) text += L"-A";
  return text;
}

}  // namespace

template <class Engine>
FatAdapter<Engine>::FatAdapter(const EngineSetup& setup) : engine_(setup.reader, setup.volume, setup.sink) {
  Wire(setup.sink, setup.gate);
}

std::unique_ptr<VolumeAdapter> MakeFat16Adapter(const EngineSetup& setup) { return std::make_unique<Fat16Adapter>(setup); }
std::unique_ptr<VolumeAdapter> MakeFat32Adapter(const EngineSetup& setup) { return std::make_unique<Fat32Adapter>(setup); }

template <class Engine>
std::wstring_view FatAdapter<Engine>::KindName() const {
  return FatKind<Engine>::kName;
}

template <class Engine>
ItemData FatAdapter<Engine>::DataOf(EntryIndex entry) const {
  if (!Valid(entry)) return kNoItemData;
  return static_cast<ItemData>(reinterpret_cast<uintptr_t>(&At(entry)));
}

template <class Engine>
EntryIndex FatAdapter<Engine>::IndexOf(ItemData data) const {
  const auto& entries = Entries();
  if (data == kNoItemData || data == kVolumeTopData || entries.empty()) return kNoEntry;
  const auto base = static_cast<ItemData>(reinterpret_cast<uintptr_t>(entries.data()));
  if (data < base) return kNoEntry;
  const ItemData offset = data - base;
  if (offset % sizeof(FatEntryRecord) != 0) return kNoEntry;
  const ItemData index = offset / sizeof(FatEntryRecord);
  return index < entries.size() ? static_cast<EntryIndex>(index) : kNoEntry;
}

template <class Engine>
EntryIndex FatAdapter<Engine>::FirstChild(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).firstChild) : kNoEntry;
}

template <class Engine>
EntryIndex FatAdapter<Engine>::NextSibling(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).nextSibling) : kNoEntry;
}

template <class Engine>
std::vector<EntryIndex> FatAdapter<Engine>::TopLevel() const {
  // Every file and folder of the root shows, whatever its other attribute
  // bits; the volume label is no file, unless clusters were given to it.
  std::vector<EntryIndex> top;
  const FatCore& core = engine_.core;
  for (size_t h = 1; h < core.entries.size(); ++h) {
    const FatEntryRecord& e = core.entries[h];
    if (e.parentIndex != 0 || e.name == kDummyEntryName) continue;
    const bool holdsData = e.size > 0 && core.table.IsCluster(core.FirstCluster(e));
    if (!IsFolderAttribute(e.attributes) && (e.attributes & kVolumeLabel) && !holdsData) continue;
    top.push_back(static_cast<EntryIndex>(h));
  }
  return top;
}

template <class Engine>
std::wstring FatAdapter<Engine>::Name(EntryIndex entry) const {
  return Valid(entry) ? Utf16ToWide(At(entry).name) : std::wstring();
}

template <class Engine>
void FatAdapter<Engine>::NameInto(EntryIndex entry, std::wstring& out) const {
  out.clear();
  if (Valid(entry)) AppendUtf16ToWide(At(entry).name, out);
}

template <class Engine>
bool FatAdapter<Engine>::IsFolder(EntryIndex entry, FolderUse) const {
  // The folders the walk descends into, for every use: a folder the
  // catalogue took for a file would hide everything the walk found in it.
  return Valid(entry) && entry != 0 && IsFolderAttribute(At(entry).attributes);
}

template <class Engine>
bool FatAdapter<Engine>::IsDeleted(EntryIndex entry) const {
  return Valid(entry) && At(entry).deleted == 1;
}

template <class Engine>
EntryTexts FatAdapter<Engine>::Texts(EntryIndex entry) {
  EntryTexts texts;
  if (!Valid(entry)) return texts;
  const FatEntryRecord& e = At(entry);
  // DOS times are shown as stored: they carry no zone.
  texts.creation = DosDateTimeText(e.creationDate, e.creationTime);
  texts.access = DosDateText(e.accessDate);
  texts.modification = DosDateTimeText(e.writeDate, e.writeTime);
  texts.size = SizeText(e.size);
  texts.attributes = AttributeText(e.attributes);
  return texts;
}

template <class Engine>
uint64_t FatAdapter<Engine>::DataSize(EntryIndex entry) {
  return Valid(entry) ? At(entry).size : 0;
}

template <class Engine>
std::string FatAdapter<Engine>::FolderComponent(EntryIndex entry) const {
  if (!Valid(entry) || At(entry).name.empty()) return std::string();
  return SafeComponent(At(entry).name);
}

template <class Engine>
std::string FatAdapter<Engine>::FileComponent(EntryIndex entry) const {
  if (!Valid(entry)) return std::string();
  return SafeComponent(Trim(At(entry).name));
}

template <class Engine>
EntryData FatAdapter<Engine>::OpenData(EntryIndex entry) {
  return engine_.OpenFileData(entry);
}

template <class Engine>
bool FatAdapter<Engine>::HasRecycleStep() const {
  return FatKind<Engine>::kRecycleStep;
}

template <class Engine>
bool FatAdapter<Engine>::Rename(EntryIndex entry, std::u16string_view name) {
  if (!Valid(entry)) return false;
  engine_.core.entries[static_cast<size_t>(entry)].name = engine_.core.names.Add(name);
  return true;
}

template <class Engine>
void FatAdapter<Engine>::Wire(WorkerSink& sink, PauseGate* gate) {
  engine_.core.statusLine = &sink;
  engine_.core.progressTarget = &sink;
  engine_.core.pauseGate = gate;
}

template <class Engine>
WorkerEnd FatAdapter<Engine>::RunWorker(int32_t, const AdvancedChoices&, ScanSteps& steps) {
  using Kind = FatKind<Engine>;
  FatCore& core = engine_.core;
  steps.CreateRootItem();
  if (!core.view.Valid() || !engine_.CheckBootSector()) {
    Kind::Refused();
    WorkerEnd end;
    end.refused = true;
    return end;
  }
  engine_.LoadAllocationTable();
  engine_.LoadRootDirectory();
  core.statusLine->SetStatus(Kind::kCollecting);
  engine_.CollectEntries();
  core.statusLine->SetStatus(L"maintaining tree Structure in vector...");
  engine_.LinkEntries();
  core.statusLine->SetStatus(L"Creating Tree Structure....");
  steps.FillTree();
  core.statusLine->SetStatus(L"Tree Structure Created.");
  core.statusLine->SetStatus(Kind::kFiltering);
  steps.FilterTree();
  if constexpr (Kind::kRecycleStep) {
    steps.RestoreRecycledNames();
  } else {
    core.progressTarget->ProgressRange(0, 100);
    core.progressTarget->ProgressPosition(100);
  }
  return {Kind::kCompleted};
}

template class FatAdapter<Fat16Class>;
template class FatAdapter<Fat32Class>;

}  // namespace lv
