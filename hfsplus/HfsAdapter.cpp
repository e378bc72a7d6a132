#include "hfsplus/HfsAdapter.h"

#include "common/DisplayText.h"
#include "common/SafeName.h"
#include "common/Text.h"
#include "hfsplus/HfsLayout.h"

namespace lv {

namespace {

std::wstring TimeText(uint32_t hfsDate) {
  const auto local = UnixTimeToLocal(int64_t{hfsDate} - hfslayout::kHfsEpochShift);
  return local ? DateTimeText(*local) : std::wstring();
}

}  // namespace

HfsAdapter::HfsAdapter(const EngineSetup& setup) : engine_(setup.reader, setup.volume, setup.sink) {
  Wire(setup.sink, setup.gate);
}

std::unique_ptr<VolumeAdapter> MakeHfsAdapter(const EngineSetup& setup) { return std::make_unique<HfsAdapter>(setup); }

// Item data is the record's catalog node ID.
ItemData HfsAdapter::DataOf(EntryIndex entry) const {
  if (!Valid(entry)) return kNoItemData;
  return At(entry).cnid;
}

EntryIndex HfsAdapter::IndexOf(ItemData data) const {
  if (data == kNoItemData || data == kVolumeTopData || data > UINT32_MAX) return kNoEntry;
  const int32_t index = engine_.Find(static_cast<uint32_t>(data));
  return index >= 0 ? index : kNoEntry;
}

EntryIndex HfsAdapter::FirstChild(EntryIndex entry) const { return Valid(entry) ? Link(At(entry).firstChild) : kNoEntry; }

EntryIndex HfsAdapter::NextSibling(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).nextSibling) : kNoEntry;
}

std::vector<EntryIndex> HfsAdapter::TopLevel() const {
  std::vector<EntryIndex> top;
  const int32_t root = engine_.TopEntry();
  if (!Valid(root)) return top;
  if (engine_.advancedMode) return {root};
  for (EntryIndex e = FirstChild(root); e != kNoEntry && top.size() < Size(); e = NextSibling(e)) top.push_back(e);
  return top;
}

std::wstring HfsAdapter::Name(EntryIndex entry) const { return Valid(entry) ? Utf16ToWide(At(entry).name) : std::wstring(); }

std::wstring HfsAdapter::SearchName(EntryIndex entry) const { return Trim(Name(entry)); }

bool HfsAdapter::IsFolder(EntryIndex entry, FolderUse) const { return Valid(entry) && At(entry).kind == 1; }

bool HfsAdapter::IsDeleted(EntryIndex entry) const { return Valid(entry) && At(entry).deleted != 0; }

bool HfsAdapter::CountsAsFile(EntryIndex entry) const { return Valid(entry) && HFSP::IsRegular(At(entry)); }

EntryTexts HfsAdapter::Texts(EntryIndex entry) {
  EntryTexts texts;
  // A folder's texts stay empty.
  if (!Valid(entry) || At(entry).kind != 2) return texts;
  const HfsEntryRecord& e = At(entry);
  texts.creation = TimeText(e.createDate);
  texts.access = TimeText(e.accessDate);
  texts.modification = TimeText(e.contentModDate);
  texts.size = SizeText(e.logicalSize);
  texts.attributes = HFSP::PermissionText(e.fileMode);
  return texts;
}

uint64_t HfsAdapter::DataSize(EntryIndex entry) { return Valid(entry) && At(entry).kind == 2 ? At(entry).logicalSize : 0; }

std::string HfsAdapter::Component(EntryIndex entry) const {
  if (!Valid(entry)) return std::string();
  const std::u16string name = Trim(At(entry).name);
  return name.empty() ? std::string() : SafeComponent(name);
}

std::string HfsAdapter::FolderComponent(EntryIndex entry) const { return Component(entry); }

std::string HfsAdapter::FileComponent(EntryIndex entry) const { return Component(entry); }

EntryData HfsAdapter::OpenData(EntryIndex entry) {
  if (!Valid(entry)) {
    EntryData data;
    data.valid = false;
    return data;
  }
  return engine_.OpenFileData(static_cast<size_t>(entry));
}

void HfsAdapter::Wire(WorkerSink& sink, PauseGate* gate) {
  engine_.statusLine = &sink;
  engine_.progressTarget = &sink;
  engine_.pauseGate = gate;
}

WorkerEnd HfsAdapter::RunWorker(int32_t recoveryMode, const AdvancedChoices&, ScanSteps& steps) {
  steps.CreateRootItem();
  WorkerEnd end;
  bool read = engine_.ReadVolumeHeader();
  // Without a usable header the scan has no block size to step by.
  if (!read && recoveryMode != 1) engine_.statusLine->SetStatus(L"BlockSize not valid .Aborting..");
  if (read) {
    read = recoveryMode == 1 ? engine_.ReadCatalogByTree() : engine_.ScanForCatalogNodes();
    if (read) read = engine_.IndexExtentsOverflow();
  }
  if (!read) {
    end.finalStatus = L"Scanning process Aborted....";
    end.refused = true;
    return end;
  }
  engine_.BuildEntries();
  engine_.LinkParentsAndChildren();
  engine_.statusLine->SetStatus(L"Filling Tree Entries...");
  steps.FillTree();
  engine_.statusLine->SetStatus(L"Filter Tree Entries...");
  steps.FilterTree();
  end.finalStatus = L"Scanning process Done..";
  return end;
}

}  // namespace lv
