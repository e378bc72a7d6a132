#include "catalogue/ScanJob.h"

#include "catalogue/Categories.h"
#include "catalogue/FileRows.h"
#include "catalogue/NtfsCatalogue.h"
#include "catalogue/Search.h"
#include "catalogue/TreeFill.h"
#include "common/Text.h"
#include "ntfs/Ntfs.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {

using W = WorkerKind;
using E = EngineKind;

// The kinds in the order they are tried.
constexpr KindRow kKinds[] = {
    {L"ntfs", E::Ntfs, L"NTFS", {W::Ntfs, W::NtfsAdvanced, W::Ntfs}},
    {L"fat32", E::Fat32, L"FAT32", {W::Fat32, W::Fat32Advanced, W::None}},
    {L"fat16", E::Fat16, L"FAT16", {W::Fat16, W::Fat16Advanced, W::None}},
    {L"fat", E::Fat16, L"FAT16", {W::Fat16, W::Fat16Advanced, W::None}},
    {L"extX", E::Ext, L"ext", {W::Ext, W::None, W::None}},
    {L"fat64", E::ExFat, L"exFAT", {W::ExFat, W::ExFatAdvanced, W::None}},
    {L"exFat", E::ExFat, L"exFAT", {W::ExFat, W::ExFatAdvanced, W::None}},
    {L"HFS+", E::HfsPlus, L"HFS+", {W::HfsPlus, W::HfsPlus, W::HfsPlus}},
};

const wchar_t* ModeName(int32_t mode) {
  switch (mode) {
    case 1: return L"Standard";
    case 2: return L"Advanced";
    case 3: return L"Deep";
    default: return L"This";
  }
}

// Largest cluster an advanced choice may set (NTFS clusters reach 2 MiB).
constexpr int64_t kMaxSectorsPerCluster = 4096;

}  // namespace

const KindRow* FindKind(std::wstring_view fileSystem) {
  for (const KindRow& row : kKinds)
    if (EqualsIgnoreCase(fileSystem, row.text)) return &row;
  return nullptr;
}

WorkerKind WorkerFor(const KindRow& row, int32_t recoveryMode) {
  if (recoveryMode < 1 || recoveryMode > 3) return WorkerKind::None;
  return row.workers[static_cast<size_t>(recoveryMode - 1)];
}

bool EngineBuilt(EngineKind kind) { return kind == EngineKind::Ntfs; }

ScanJob::ScanJob(ResultTree& tree, FileList& list, WorkerSink& statusLine, PageControls& controls)
    : tree_(tree), list_(list), sink_(statusLine), controls_(controls) {}

ScanJob::~ScanJob() {
  pageStopRequested.store(1);
  if (table_) table_->StopRequested().store(1);
  pauseGate.Resume();
  Wait();
}

void ScanJob::Wait() {
  if (worker_.joinable()) worker_.join();
}

bool ScanJob::Busy() const {
  return scanRunning.load() != 0 || scanInProgress.load() != 0 || workerActive_.load();
}

bool ScanJob::BusyRefused() {
  if (!Busy()) return false;
  ShowInfo(kPleaseWaitText);
  return true;
}

void ScanJob::NotValid() {
  ShowInfo(L"Not a valid drive.");
  controls_.SetBackEnabled(true);
  sink_.SetStatus(L"Not a valid Drive .Go back");
  scanInProgress.store(0);
}

void ScanJob::Unavailable(const std::wstring& message) {
  ShowInfo(message);
  controls_.SetBackEnabled(true);
  sink_.SetStatus(message);
  scanInProgress.store(0);
}

void ScanJob::Start(const ScanStart& start, readWriteInterface* reader) {
  // One scan per page: a new scan needs a new page.
  if (started_) return;
  started_ = true;
  scanInProgress.store(1);
  controls_.SetBackEnabled(false);
  start_ = start;
  reader_ = reader;
  recoveryMode = start.recoveryMode;
  controls_.SetVolumeField(start.volume.label.empty() ? start.volume.name : start.volume.label);

  const KindRow* row = FindKind(start.volume.fileSystem);
  if (!row) return NotValid();
  if (!reader) {
    // Nothing can be read; the page stays busy until the program closes.
    if (row->engine == E::Ntfs || row->engine == E::Fat32 || row->engine == E::ExFat || row->engine == E::Ext)
      ShowInfo(L"Please Restart the program to re begin necessary initialization...");
    return;
  }
  const WorkerKind worker = WorkerFor(*row, recoveryMode);
  if (worker == WorkerKind::None)
    return Unavailable(Format(L"%ls mode is not available for %ls volumes.", ModeName(recoveryMode),
                              std::wstring(row->displayName).c_str()));
  if (!EngineBuilt(row->engine))
    return Unavailable(Format(L"%ls volumes cannot be recovered by this version yet.",
                              std::wstring(row->displayName).c_str()));

  // NTFS: the only engine of this build.
  if (worker == WorkerKind::NtfsAdvanced && start.advancedNtfs) {
    ntfsEngine_ = start.advancedNtfs;
  } else {
    ntfsSlot_ = std::make_unique<ntfs>(*reader, start.volume, sink_);
    ntfsEngine_ = ntfsSlot_.get();
  }
  ntfsEngine_->statusLine = &sink_;
  ntfsEngine_->progressTarget = &sink_;
  ntfsEngine_->pauseGate = &pauseGate;
  table_ = std::make_unique<NtfsCatalogue>(*ntfsEngine_, recoveryMode);
  if (start.logicalVolume) reader->Open(start.volume.name);
  sink_.SetStatus(L"ntfs partition selected....");
  if (worker == WorkerKind::NtfsAdvanced) {
    controls_.SetAdvancedLabel(L"Total Ntfs Entries Found:");
    Launch(&ScanJob::NtfsAdvancedWorker);
  } else {
    Launch(&ScanJob::NtfsWorker);
  }
}

void ScanJob::Launch(void (ScanJob::*body)()) {
  Wait();
  // A gate left closed by a pause after the last poll of the previous
  // worker must not hold the next one.
  pauseGate.Resume();
  workerActive_.store(true);
  controls_.SetWorkerControlsVisible(true);
  worker_ = std::thread([this, body] {
    (this->*body)();
    workerActive_.store(false);
  });
}

void ScanJob::Pause() {
  if (!workerActive_.load()) return;
  pauseGate.Pause();
  sink_.SetStatus(L"Pause button pressed");
}

void ScanJob::Resume() {
  pauseGate.Resume();
  sink_.SetStatus(L"Resume button pressed");
}

void ScanJob::Stop() {
  if (!table_) return;
  table_->StopRequested().store(1);
  pageStopRequested.store(1);
  scanRunning.store(0);
  sink_.SetStatus(L"stop button pressed.Please wait for the process to be stopped.");
}

void ScanJob::Exit() {
  if (table_) {
    table_->StopRequested().store(1);
    sink_.SetStatus(L"All thread Stopped");
  }
  if (recoveryMode != 2) recoveryMode = -1;
}

bool ScanJob::SetBaseOffset() {
  const int64_t sector = start_.volume.startSector;
  if (sector < 0 || sector > INT64_MAX / static_cast<int64_t>(kSectorSize)) return false;
  reader_->baseOffset = sector * static_cast<int64_t>(kSectorSize);
  return true;
}

void ScanJob::NtfsWorker() {
  scanRunning.store(1);
  ntfs& engine = *ntfsEngine_;
  const bool positioned = SetBaseOffset();
  rootItem_ = CreateRootItem(tree_);
  if (positioned) {
    engine.ReadBootSector();
    engine.recoveryMode = recoveryMode;
    if (recoveryMode == 3) {
      sink_.SetStatus(L" scanning for mft entries in deep mode ....");
      engine.ScanAllRecords();
    } else {
      sink_.SetStatus(L" ParsingBasedOnMFT is going on....");
      engine.LocateMft();
    }
    engine.ReadMftByRuns();
    engine.ParseEntries();
  }
  FillAndFilter();
  FinishScan(L"Scanning process completed.");
}

void ScanJob::NtfsAdvancedWorker() {
  scanRunning.store(1);
  ntfs& engine = *ntfsEngine_;
  engine.stopRequested.store(0);
  tree_.DeleteAll();
  rootItem_ = CreateRootItem(tree_);
  // The candidates keep only their record offsets: their names pointed into
  // the name store emptied here.
  for (NtfsEntryRecord& candidate : engine.mftCandidates) candidate.name = {};
  engine.nameStore.clear();
  engine.entries.clear();
  if (SetBaseOffset()) {
    engine.UseCandidate(start_.advanced.candidate);
    const int64_t sectors = LeadingInteger(start_.advanced.sectorsPerCluster);
    if (sectors > 0 && sectors <= kMaxSectorsPerCluster)
      engine.bytesPerCluster = static_cast<uint64_t>(sectors) * kSectorSize;
    engine.recoveryMode = 2;
    engine.ReadMftByRuns();
    engine.ParseEntries();
  }
  FillAndFilter();
  FinishScan(L"Scanning process completed.");
}

void ScanJob::FillAndFilter() {
  // A stop that ended the engine's steps leaves the fill and the filter to
  // show everything those steps collected; a stop during the fill ends it.
  if (table_->StopRequested().load() != 0 || pageStopRequested.load() != 0) {
    table_->StopRequested().store(0);
    pageStopRequested.store(0);
  }
  sink_.SetStatus(L"Filling tree entries...");
  CategoryMatcher matcher = start_.unfiltered ? CategoryMatcher::AcceptAll() : CategoryMatcher(CategoryFilter);
  auto& table = static_cast<NtfsCatalogue&>(*table_);
  TreeFill fill(tree_, table, sink_, matcher, &pauseGate);
  fill.FillNtfs(table, rootItem_);
  RestoreRecycledNames(tree_, table);
  sink_.SetStatus(L"Filter tree entries...");
  if (!start_.unfiltered) PruneEmptyFolders(tree_, pageStopRequested, &pauseGate);
}

void ScanJob::FinishScan(const wchar_t* completion) {
  controls_.SetBackEnabled(true);
  ShowInfo(completion);
  sink_.SetStatus(L"Processing done...");
  controls_.SetWorkerControlsVisible(false);
  scanRunning.store(0);
  scanInProgress.store(0);
}

bool ScanJob::Search(const std::wstring& text) {
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return false;
  }
  if (!table_) return false;
  if (!ValidateSearchText(text)) return false;
  searchText_ = text;
  scanRunning.store(1);
  Launch(&ScanJob::SearchWorker);
  return true;
}

void ScanJob::SearchWorker() {
  scanRunning.store(1);
  listShowsSearch_ = true;
  // Stops left by a stopped scan or an earlier search would end this one
  // before it looked at anything.
  pageStopRequested.store(0);
  table_->StopRequested().store(0);
  SearchContext context{*table_, tree_, list_, sink_, pageStopRequested, &pauseGate, controls_};
  RunSearch(context, searchText_);
  controls_.SetWorkerControlsVisible(false);
  scanRunning.store(0);
}

void ScanJob::SaveFolder(TreeItem item, const std::string& outputFolder, SaveObserver* observer) {
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return;
  }
  if (!table_ || item == kNoTreeItem) return;
  const ItemData data = tree_.Data(item);
  const bool top = data == kVolumeTopData;
  SaveContext context{*table_, sink_, pageStopRequested, &pauseGate, controls_, observer};
  lv::SaveFolder(context, top ? kNoEntry : table_->IndexOf(data), top, outputFolder);
}

void ScanJob::SaveFile(TreeItem item, const std::string& outputFolder, SaveObserver* observer) {
  if (!table_ || item == kNoTreeItem) return;
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return;
  }
  if (tree_.IsFolder(item)) {
    tree_.Expand(item);
    return;
  }
  SaveContext context{*table_, sink_, pageStopRequested, &pauseGate, controls_, observer};
  SaveOneFile(context, table_->IndexOf(tree_.Data(item)), outputFolder);
}

std::string ScanJob::Preview(size_t row) {
  if (!table_ || row >= list_.RowCount()) return std::string();
  // The engine's buffers and the reader serve one operation at a time.
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return std::string();
  }
  const ItemData data = list_.Data(row);
  EntryIndex entry;
  if (listShowsSearch_) {
    entry = table_->IndexOf(data);
  } else {
    const TreeItem item = data;
    tree_.SetChecked(item, !tree_.Checked(item));
    entry = table_->IndexOf(tree_.Data(item));
  }
  return PreviewEntry(*table_, entry);
}

void ScanJob::Select(TreeItem item) {
  if (!table_ || Busy()) return;
  listShowsSearch_ = false;
  RefillList(*table_, tree_, list_, item);
}

void ScanJob::CheckChanged(TreeItem item, bool wasChecked) {
  listShowsSearch_ = false;
  PropagateCheck(tree_, list_, item, wasChecked);
}

}  // namespace lv
