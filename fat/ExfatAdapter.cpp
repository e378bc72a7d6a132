#include "fat/ExfatAdapter.h"

#include "common/DisplayText.h"
#include "common/SafeName.h"
#include "common/Text.h"
#include "fat/ExfatLayout.h"
#include "platform/MessageBox.h"

namespace lv {

using namespace exfat_layout;

ExfatAdapter::ExfatAdapter(const EngineSetup& setup) : engine_(setup.reader, setup.volume, setup.sink) {
  Wire(setup.sink, setup.gate);
}

std::unique_ptr<VolumeAdapter> MakeExfatAdapter(const EngineSetup& setup) {
  return std::make_unique<ExfatAdapter>(setup);
}

ItemData ExfatAdapter::DataOf(EntryIndex entry) const {
  if (!Valid(entry)) return kNoItemData;
  return static_cast<ItemData>(reinterpret_cast<uintptr_t>(&At(entry)));
}

EntryIndex ExfatAdapter::IndexOf(ItemData data) const {
  const auto& entries = engine_.entries;
  if (data == kNoItemData || data == kVolumeTopData || entries.empty()) return kNoEntry;
  const auto base = static_cast<ItemData>(reinterpret_cast<uintptr_t>(entries.data()));
  if (data < base) return kNoEntry;
  const ItemData offset = data - base;
  if (offset % sizeof(ExFatEntryRecord) != 0) return kNoEntry;
  const ItemData index = offset / sizeof(ExFatEntryRecord);
  return index < entries.size() ? static_cast<EntryIndex>(index) : kNoEntry;
}

EntryIndex ExfatAdapter::FirstChild(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).firstChild) : kNoEntry;
}

EntryIndex ExfatAdapter::NextSibling(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).nextSibling) : kNoEntry;
}

std::vector<EntryIndex> ExfatAdapter::TopLevel() const {
  // Records whose parent is the root's placeholder; the placeholder itself
  // is told by its place, so a file named "DUMMY ENTRY" is shown too.
  std::vector<EntryIndex> top;
  for (size_t i = 1; i < engine_.entries.size(); ++i)
    if (engine_.entries[i].parentIndex == 0) top.push_back(static_cast<EntryIndex>(i));
  return top;
}

std::wstring ExfatAdapter::Name(EntryIndex entry) const {
  return Valid(entry) ? Utf16ToWide(At(entry).name) : std::wstring();
}

void ExfatAdapter::NameInto(EntryIndex entry, std::wstring& out) const {
  out.clear();
  if (Valid(entry)) AppendUtf16ToWide(At(entry).name, out);
}

std::wstring ExfatAdapter::SearchName(EntryIndex entry) const { return Trim(Name(entry)); }

bool ExfatAdapter::IsFolder(EntryIndex entry, FolderUse) const { return Valid(entry) && At(entry).IsFolder(); }

bool ExfatAdapter::IsDeleted(EntryIndex entry) const { return Valid(entry) && entry != 0 && At(entry).IsDeleted(); }

EntryTexts ExfatAdapter::Texts(EntryIndex entry) {
  EntryTexts texts;
  if (!Valid(entry)) return texts;
  const ExFatEntryRecord& e = At(entry);
  texts.creation = ExfatTimestampText(e.createTimestamp);
  texts.access = ExfatTimestampText(e.accessTimestamp);
  texts.modification = ExfatTimestampText(e.modifyTimestamp);
  texts.size = SizeText(e.validDataLength);
  const uint8_t low = static_cast<uint8_t>(e.attributes & 0xFF);
  if (low & kAttributeReadOnly) texts.attributes += L"-R";
  if (low & kAttributeHidden) texts.attributes += L"-H";
  if (low & kAttributeSystem) texts.attributes += L"-S";
  if (low & kAttributeArchive) texts.attributes += L"-A";
  return texts;
}

uint64_t ExfatAdapter::DataSize(EntryIndex entry) { return Valid(entry) ? At(entry).validDataLength : 0; }

std::string ExfatAdapter::FolderComponent(EntryIndex entry) const {
  if (!Valid(entry) || At(entry).name.empty()) return std::string();
  return SafeComponent(At(entry).name);
}

std::string ExfatAdapter::FileComponent(EntryIndex entry) const {
  if (!Valid(entry)) return std::string();
  const std::u16string name = Trim(At(entry).name);
  return name.empty() ? std::string() : SafeComponent(name);
}

EntryData ExfatAdapter::OpenData(EntryIndex entry) { return engine_.OpenEntryData(entry); }

bool ExfatAdapter::Rename(EntryIndex entry, std::u16string_view name) {
  if (!Valid(entry) || entry == 0) return false;
  engine_.entries[static_cast<size_t>(entry)].name = engine_.nameStore.Add(name);
  return true;
}

void ExfatAdapter::Wire(WorkerSink& sink, PauseGate* gate) {
  engine_.statusLine = &sink;
  engine_.progressTarget = &sink;
  engine_.pauseGate = gate;
}

WorkerEnd ExfatAdapter::RunWorker(int32_t, const AdvancedChoices&, ScanSteps& steps) {
  steps.CreateRootItem();
  if (!engine_.AttachVolume() || !engine_.CheckBootSector()) {
    WorkerEnd end{L"Selected Drive is not in exFat Format"};
    end.refused = true;
    return end;
  }
  if (!engine_.LoadRootDirectory()) {
    ShowInfo(L"error...");
    steps.RestoreRecycledNames();
    WorkerEnd end{L""};
    end.refused = true;
    return end;
  }
  engine_.statusLine->SetStatus(L"processing file and directory entries...");
  engine_.statusLine->SetStatus(L"Finding Fat64 File And Directory entries recursively....");
  engine_.CollectEntries();
  engine_.LinkEntries();
  engine_.statusLine->SetStatus(L"creating tree Structure...");
  steps.FillTree();
  engine_.statusLine->SetStatus(L"Filter Entries in Tree...");
  steps.FilterTree();
  ShowInfo(L"Scanning process completed...");
  steps.RestoreRecycledNames();
  return {L""};
}

}  // namespace lv
