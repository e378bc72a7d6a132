#include "ntfs/NtfsAdapter.h"

#include <exception>
#include <optional>

#include "common/DisplayText.h"
#include "common/SafeName.h"
#include "common/Text.h"

namespace lv {

namespace {
// Largest cluster an advanced choice may set (NTFS clusters reach 2 MiB).
constexpr int64_t kMaxSectorsPerCluster = 4096;
}  // namespace

NtfsAdapter::NtfsAdapter(const EngineSetup& setup) : engine_(setup.reader, setup.volume, setup.sink) {
  Wire(setup.sink, setup.gate);
}

std::unique_ptr<VolumeAdapter> MakeNtfsAdapter(const EngineSetup& setup) { return std::make_unique<NtfsAdapter>(setup); }

ItemData NtfsAdapter::DataOf(EntryIndex entry) const {
  if (!Valid(entry)) return kNoItemData;
  return static_cast<ItemData>(reinterpret_cast<uintptr_t>(&At(entry)));
}

EntryIndex NtfsAdapter::IndexOf(ItemData data) const {
  const auto& entries = engine_.entries;
  if (data == kNoItemData || data == kVolumeTopData || entries.empty()) return kNoEntry;
  const auto base = static_cast<ItemData>(reinterpret_cast<uintptr_t>(entries.data()));
  if (data < base) return kNoEntry;
  const ItemData offset = data - base;
  if (offset % sizeof(NtfsEntryRecord) != 0) return kNoEntry;
  const ItemData index = offset / sizeof(NtfsEntryRecord);
  return index < entries.size() ? static_cast<EntryIndex>(index) : kNoEntry;
}

EntryIndex NtfsAdapter::FirstChild(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).firstChild) : kNoEntry;
}

EntryIndex NtfsAdapter::NextSibling(EntryIndex entry) const {
  return Valid(entry) ? Link(At(entry).nextSibling) : kNoEntry;
}

std::vector<EntryIndex> NtfsAdapter::TopLevel() const {
  std::vector<EntryIndex> top;
  const EntryIndex root = RootEntry();
  const EntryIndex orphan = OrphanEntry();
  bool orphanSeen = false;
  if (root != kNoEntry && engine_.recoveryMode != 3) {
    // The root's chain; a chain that comes back to an entry already taken
    // (or to the root itself) ends there.
    std::vector<uint8_t> seen(Size(), 0);
    seen[static_cast<size_t>(root)] = 1;
    for (EntryIndex e = FirstChild(root); e != kNoEntry && !seen[static_cast<size_t>(e)]; e = NextSibling(e)) {
      seen[static_cast<size_t>(e)] = 1;
      top.push_back(e);
      if (e == orphan) orphanSeen = true;
    }
  }
  if (!orphanSeen && orphan != kNoEntry && orphan != root) top.push_back(orphan);
  return top;
}

std::wstring NtfsAdapter::Name(EntryIndex entry) const {
  if (!Valid(entry) || !At(entry).HasName()) return std::wstring();
  return Utf16ToWide(At(entry).name);
}

void NtfsAdapter::NameInto(EntryIndex entry, std::wstring& out) const {
  out.clear();
  if (!Valid(entry) || !At(entry).HasName()) return;
  AppendUtf16ToWide(At(entry).name, out);
}

bool NtfsAdapter::IsFolder(EntryIndex entry, FolderUse) const { return Valid(entry) && At(entry).IsDirectory(); }

bool NtfsAdapter::IsDeleted(EntryIndex entry) const {
  return Valid(entry) && entry != engine_.orphanIndex && At(entry).IsDeleted();
}

bool NtfsAdapter::IsValidRecord(EntryIndex entry) const { return Valid(entry) && At(entry).IsFileRecord(); }

bool NtfsAdapter::SkipsSubtree(EntryIndex entry) const {
  return Valid(entry) && At(entry).IsDirectory() && At(entry).HasName() && At(entry).name == u".";
}

bool NtfsAdapter::CountsAsFile(EntryIndex entry) const { return Valid(entry) && !At(entry).IsDirectory(); }

bool NtfsAdapter::IsWritten(EntryIndex entry) const {
  return Valid(entry) && !(At(entry).HasName() && At(entry).name == u"$BadClus");
}

namespace {
std::wstring TimeText(uint64_t fileTime) {
  const std::optional<CivilTime> local = FileTimeToLocal(fileTime);
  return local ? DateTimeText(*local) : std::wstring();
}
}  // namespace

EntryTexts NtfsAdapter::Texts(EntryIndex entry) {
  EntryTexts texts;
  if (!Valid(entry)) return texts;
  const EntryTimes times = engine_.GetTimesAndAttributes(At(entry).recordOffset);
  texts.creation = TimeText(times.creation);
  texts.access = TimeText(times.access);
  texts.modification = TimeText(times.modification);
  texts.size = SizeText(DataSize(entry));
  texts.attributes = times.attributes;
  return texts;
}

uint64_t NtfsAdapter::DataSize(EntryIndex entry) { return Valid(entry) ? At(entry).dataSize : 0; }

std::string NtfsAdapter::FolderComponent(EntryIndex entry) const {
  if (!Valid(entry) || !At(entry).HasName() || At(entry).name.empty()) return std::string();
  return SafeComponent(At(entry).name);
}

std::string NtfsAdapter::FileComponent(EntryIndex entry) const {
  if (!Valid(entry) || !At(entry).HasName()) return std::string();
  return SafeComponent(Trim(At(entry).name));
}

EntryData NtfsAdapter::OpenData(EntryIndex entry) {
  EntryData data;
  data.valid = false;
  if (!Valid(entry)) return data;
  try {
    return engine_.OpenEntryData(entry);
  } catch (const std::exception&) {
    return data;
  }
}

bool NtfsAdapter::Rename(EntryIndex entry, std::u16string_view name) {
  if (!Valid(entry)) return false;
  engine_.entries[static_cast<size_t>(entry)].name = engine_.nameStore.Add(name);
  return true;
}

std::wstring NtfsAdapter::StartStatus(int32_t) const { return L"ntfs partition selected...."; }

void NtfsAdapter::Wire(WorkerSink& sink, PauseGate* gate) {
  engine_.statusLine = &sink;
  engine_.progressTarget = &sink;
  engine_.pauseGate = gate;
}

void NtfsAdapter::ScanVolume(int32_t recoveryMode) {
  engine_.ReadBootSector();
  engine_.recoveryMode = recoveryMode;
  if (recoveryMode == 3) {
    engine_.statusLine->SetStatus(L" scanning for mft entries in deep mode ....");
    engine_.ScanAllRecords();
  } else {
    engine_.statusLine->SetStatus(L" ParsingBasedOnMFT is going on....");
    engine_.LocateMft();
  }
  engine_.ReadMftByRuns();
  engine_.ParseEntries();
}

void NtfsAdapter::ScanCandidate(const AdvancedChoices& choices) {
  // The candidates keep only their record offsets: their names pointed into
  // the name store emptied here.
  for (NtfsEntryRecord& candidate : engine_.mftCandidates) candidate.name = {};
  engine_.nameStore.Clear();
  engine_.entries.clear();
  engine_.UseCandidate(choices.candidate);
  const int64_t sectors = LeadingInteger(choices.sectorsPerCluster);
  if (sectors > 0 && sectors <= kMaxSectorsPerCluster)
    engine_.bytesPerCluster = static_cast<uint64_t>(sectors) * kSectorSize;
  engine_.recoveryMode = 2;
  engine_.ReadMftByRuns();
  engine_.ParseEntries();
}

WorkerEnd NtfsAdapter::RunWorker(int32_t recoveryMode, const AdvancedChoices& choices, ScanSteps& steps) {
  engine_.recoveryMode = recoveryMode;
  if (recoveryMode == 2) {
    engine_.stopRequested.store(0);
    steps.CreateRootItem(true);
    if (engine_.view.Valid()) ScanCandidate(choices);
  } else {
    steps.CreateRootItem();
    if (engine_.view.Valid()) ScanVolume(recoveryMode);
  }
  engine_.statusLine->SetStatus(L"Filling tree entries...");
  steps.FillTree();
  steps.RestoreRecycledNames();
  engine_.statusLine->SetStatus(L"Filter tree entries...");
  steps.FilterTree();
  return {L"Scanning process completed."};
}

uint64_t NtfsAdapter::FindCandidates(uint64_t maximum) {
  engine_.ReadBootSector();
  return engine_.FindMftCandidates(maximum < 1 ? 3 : maximum);
}

CandidateLists NtfsAdapter::Candidates() const {
  CandidateLists lists;
  const std::vector<NtfsEntryRecord>& found = engine_.mftCandidates;
  for (size_t i = 0; i < found.size(); ++i)
    lists.candidates.push_back({Format(L"MFT_ENTRY:%d", static_cast<int>(i)), found[i].recordOffset});
  lists.sectorsPerCluster = {L"8", L"4", L"2", L"16", L"32", L"64"};
  lists.message = Format(L"Number of MFT-ENTRY found = %d . Please select the choice from combo box and click Next "
                         L"button to proceed.",
                         static_cast<int>(found.size()));
  lists.finalStatus = L"Parsing done.Click next to continue.";
  return lists;
}

}  // namespace lv
