#include "ext/ExtAdapter.h"

#include "common/DisplayText.h"
#include "common/SafeName.h"
#include "common/Text.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {

std::wstring TimeText(uint32_t seconds) {
  const auto local = UnixTimeToLocal(static_cast<int32_t>(seconds));
  return local ? DateTimeText(*local) : std::wstring();
}

}  // namespace

ExtAdapter::ExtAdapter(const EngineSetup& setup) : engine_(setup.reader, setup.volume, setup.sink) {
  Wire(setup.sink, setup.gate);
}

std::unique_ptr<VolumeAdapter> MakeExtAdapter(const EngineSetup& setup) { return std::make_unique<ExtAdapter>(setup); }

ItemData ExtAdapter::DataOf(EntryIndex entry) const {
  if (!Valid(entry)) return kNoItemData;
  return static_cast<ItemData>(reinterpret_cast<uintptr_t>(&At(entry)));
}

EntryIndex ExtAdapter::IndexOf(ItemData data) const {
  const auto& entries = engine_.entries;
  if (data == kNoItemData || data == kVolumeTopData || entries.empty()) return kNoEntry;
  const auto base = static_cast<ItemData>(reinterpret_cast<uintptr_t>(entries.data()));
  if (data < base) return kNoEntry;
  const ItemData offset = data - base;
  if (offset % sizeof(ExtEntryRecord) != 0) return kNoEntry;
  const ItemData index = offset / sizeof(ExtEntryRecord);
  return index < entries.size() ? static_cast<EntryIndex>(index) : kNoEntry;
}

EntryIndex ExtAdapter::FirstChild(EntryIndex entry) const { return Valid(entry) ? Link(At(entry).firstChild) : kNoEntry; }

EntryIndex ExtAdapter::NextSibling(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).nextSibling) : kNoEntry;
}

std::vector<EntryIndex> ExtAdapter::TopLevel() const {
  std::vector<EntryIndex> top;
  for (EntryIndex e = FirstChild(0); e != kNoEntry && top.size() < Size(); e = NextSibling(e)) top.push_back(e);
  return top;
}

std::wstring ExtAdapter::Name(EntryIndex entry) const {
  return Valid(entry) ? engine_.NameText(At(entry)) : std::wstring();
}

void ExtAdapter::NameInto(EntryIndex entry, std::wstring& out) const {
  if (Valid(entry)) engine_.NameInto(At(entry), out);
  else out.clear();
}

std::wstring ExtAdapter::SearchName(EntryIndex entry) const { return Trim(Name(entry)); }

bool ExtAdapter::IsFolder(EntryIndex entry, FolderUse) const {
  return Valid(entry) && ext2Class::IsDirectoryMode(At(entry).mode);
}

bool ExtAdapter::IsDeleted(EntryIndex entry) const { return Valid(entry) && At(entry).deleted != 0; }

bool ExtAdapter::CountsAsFile(EntryIndex entry) const {
  return Valid(entry) && ext2Class::IsRegularMode(At(entry).mode);
}

EntryTexts ExtAdapter::Texts(EntryIndex entry) {
  EntryTexts texts;
  if (!Valid(entry)) return texts;
  const ExtEntryRecord& e = At(entry);
  texts.creation = TimeText(e.ctime);
  texts.access = TimeText(e.atime);
  texts.modification = TimeText(e.mtime);
  texts.size = SizeText(e.size);
  texts.attributes = ext2Class::PermissionText(e.mode);
  return texts;
}

uint64_t ExtAdapter::DataSize(EntryIndex entry) { return Valid(entry) ? At(entry).size : 0; }

std::string ExtAdapter::Component(EntryIndex entry) const {
  // The rule of the listed names, from the same text, so that a path `ls`
  // prints is the path `save` writes, invalid UTF-8 included.
  if (!Valid(entry)) return std::string();
  const std::wstring name = Trim(engine_.NameText(At(entry)));
  return name.empty() ? std::string() : SafeComponent(std::wstring_view(name));
}

std::string ExtAdapter::FolderComponent(EntryIndex entry) const { return Component(entry); }

std::string ExtAdapter::FileComponent(EntryIndex entry) const { return Component(entry); }

EntryData ExtAdapter::OpenData(EntryIndex entry) {
  if (!Valid(entry)) {
    EntryData data;
    data.valid = false;
    return data;
  }
  return engine_.OpenFileData(static_cast<size_t>(entry));
}

void ExtAdapter::Wire(WorkerSink& sink, PauseGate* gate) {
  engine_.statusLine = &sink;
  engine_.progressTarget = &sink;
  engine_.pauseGate = gate;
}

WorkerEnd ExtAdapter::RunWorker(int32_t, const AdvancedChoices&, ScanSteps& steps) {
  steps.CreateRootItem();
  if (!engine_.view.Valid() || !engine_.FindSuperblock() || !engine_.ReadGroupDescriptors()) {
    ShowPlain(L"No ext2, ext3 or ext4 superblock was found on the selected volume.");
    WorkerEnd end;
    end.completion = L"done..";
    end.refused = true;
    return end;
  }
  engine_.CollectInodes();
  engine_.ParseDirectories();
  engine_.BuildEntryTable();
  engine_.LinkParentsAndChildren();
  engine_.statusLine->SetStatus(L"filling entries in  tree....");
  steps.FillTree();
  engine_.statusLine->SetStatus(L"Filter Entries in Tree...");
  steps.FilterTree();
  WorkerEnd end;
  end.completion = L"done..";
  return end;
}

}  // namespace lv
