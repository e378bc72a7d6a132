#include "catalogue/ScanJob.h"

#include <mutex>
#include <vector>

#include "catalogue/Categories.h"
#include "catalogue/FileRows.h"
#include "catalogue/Search.h"
#include "catalogue/TreeFill.h"
#include "common/Text.h"
#include "ext/ExtAdapter.h"
#include "fat/ExfatAdapter.h"
#include "fat/FatAdapter.h"
#include "hfsplus/HfsAdapter.h"
#include "ntfs/NtfsAdapter.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {

constexpr uint8_t kAllModes = kStandardMode | kAdvancedMode | kDeepMode;

// The kinds in the order they are tried. Adding an engine is one factory
// here; a row without one is a kind this build does not recover yet.
constexpr EngineType kEngines[] = {
    {L"ntfs", L"NTFS", kAllModes, true, MakeNtfsAdapter},
    {L"fat32", L"FAT32", kStandardMode, true, MakeFat32Adapter},
    {L"fat16", L"FAT16", kStandardMode, false, MakeFat16Adapter},
    {L"fat", L"FAT16", kStandardMode, false, MakeFat16Adapter},
    // Volumes with 12-bit tables, which the FAT16 engine reads too.
    {L"fat12", L"FAT12", kStandardMode, false, MakeFat16Adapter},
    {L"extX", L"ext", kStandardMode, true, MakeExtAdapter},
    {L"fat64", L"exFAT", kStandardMode, true, MakeExfatAdapter},
    {L"exFat", L"exFAT", kStandardMode, true, MakeExfatAdapter},
    {L"HFS+", L"HFS+", kAllModes, false, MakeHfsAdapter, false},
};

std::mutex registryMutex;
std::vector<const EngineType*>& Registered() {
  static std::vector<const EngineType*> types;
  return types;
}

const wchar_t* ModeName(int32_t mode) {
  switch (mode) {
    case 1: return L"Standard";
    case 2: return L"Advanced";
    case 3: return L"Deep";
    default: return L"This";
  }
}

}  // namespace

const EngineType* FindEngine(std::wstring_view fileSystem) {
  for (const EngineType& row : kEngines)
    if (EqualsIgnoreCase(fileSystem, row.text)) return &row;
  std::lock_guard lock(registryMutex);
  for (const EngineType* row : Registered())
    if (EqualsIgnoreCase(fileSystem, row->text)) return row;
  return nullptr;
}

EngineRegistration::EngineRegistration(const EngineType& type) : type_(&type) {
  std::lock_guard lock(registryMutex);
  Registered().push_back(type_);
}

EngineRegistration::~EngineRegistration() {
  std::lock_guard lock(registryMutex);
  auto& types = Registered();
  for (auto it = types.begin(); it != types.end(); ++it)
    if (*it == type_) {
      types.erase(it);
      break;
    }
}

std::unique_ptr<VolumeAdapter> CreateAdapter(const EngineType& type, const EngineSetup& setup) {
  return type.factory ? type.factory(setup) : nullptr;
}

ScanJob::ScanJob(ResultTree& tree, FileList& list, WorkerSink& statusLine, PageControls& controls)
    : tree_(tree), list_(list), sink_(statusLine), controls_(controls) {}

ScanJob::~ScanJob() {
  pageStopRequested.store(1);
  if (adapter_) adapter_->StopRequested().store(1);
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

  const EngineType* type = FindEngine(start.volume.fileSystem);
  if (!type) return NotValid();
  if (!reader) {
    // Nothing can be read; the page stays busy until the program closes.
    if (type->restartWithoutReader) ShowInfo(L"Please Restart the program to re begin necessary initialization...");
    return;
  }
  const std::wstring kind(type->displayName);
  if (!type->HasMode(recoveryMode))
    return Unavailable(Format(L"%ls mode is not available for %ls volumes.", ModeName(recoveryMode), kind.c_str()));
  if (!type->factory) return Unavailable(Format(L"%ls volumes cannot be recovered by this version yet.", kind.c_str()));

  if (recoveryMode == 2 && start.advancedAdapter) {
    adapter_ = start.advancedAdapter;
  } else {
    ownedAdapter_ = CreateAdapter(*type, EngineSetup{*reader, start.volume, sink_, &pauseGate});
    adapter_ = ownedAdapter_.get();
  }
  if (!adapter_) return Unavailable(Format(L"%ls volumes cannot be recovered by this version yet.", kind.c_str()));
  adapter_->Wire(sink_, &pauseGate);
  if (start.logicalVolume && adapter_->OpensMountedVolume(recoveryMode)) reader->Open(start.volume.name);
  const std::wstring status = adapter_->StartStatus(recoveryMode);
  if (!status.empty()) sink_.SetStatus(status);
  if (recoveryMode == 2) {
    const std::wstring label = adapter_->AdvancedLabel();
    if (!label.empty()) controls_.SetAdvancedLabel(label);
  }
  Launch(&ScanJob::EngineWorker);
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
  if (!adapter_) return;
  adapter_->StopRequested().store(1);
  pageStopRequested.store(1);
  scanRunning.store(0);
  sink_.SetStatus(L"stop button pressed.Please wait for the process to be stopped.");
}

void ScanJob::Exit() {
  if (adapter_) {
    adapter_->StopRequested().store(1);
    sink_.SetStatus(L"All thread Stopped");
  }
  if (recoveryMode != 2) recoveryMode = -1;
}

void ScanJob::EngineWorker() {
  scanRunning.store(1);
  FinishScan(adapter_->RunWorker(recoveryMode, start_.advanced, *this));
}

void ScanJob::CreateRootItem(bool emptyTreeFirst) {
  if (emptyTreeFirst) tree_.DeleteAll();
  rootItem_ = lv::CreateRootItem(tree_);
}

void ScanJob::FillTree() {
  // A stop that ended the engine's steps leaves the fill and the filter to
  // show everything those steps collected; a stop during the fill ends it.
  adapter_->StopRequested().store(0);
  pageStopRequested.store(0);
  if (rootItem_ == kNoTreeItem) CreateRootItem(false);
  CategoryMatcher matcher = start_.unfiltered ? CategoryMatcher::AcceptAll() : CategoryMatcher(CategoryFilter);
  TreeFill fill(tree_, *adapter_, sink_, matcher, &pauseGate);
  fill.Fill(rootItem_);
}

void ScanJob::RestoreRecycledNames() { lv::RestoreRecycledNames(tree_, *adapter_); }

void ScanJob::FilterTree() {
  if (!start_.unfiltered) PruneEmptyFolders(tree_, pageStopRequested, &pauseGate);
}

void ScanJob::FinishScan(const WorkerEnd& end) {
  volumeRefused_.store(end.refused);
  controls_.SetBackEnabled(true);
  if (!end.completion.empty()) ShowInfo(end.completion);
  sink_.SetStatus(end.finalStatus);
  controls_.SetWorkerControlsVisible(false);
  scanRunning.store(0);
  scanInProgress.store(0);
}

bool ScanJob::Search(const std::wstring& text) {
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return false;
  }
  if (!adapter_) return false;
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
  adapter_->StopRequested().store(0);
  SearchContext context{*adapter_, tree_, list_, sink_, pageStopRequested, &pauseGate, controls_};
  RunSearch(context, searchText_);
  controls_.SetWorkerControlsVisible(false);
  scanRunning.store(0);
}

void ScanJob::SaveFolder(TreeItem item, const std::string& outputFolder, SaveObserver* observer) {
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return;
  }
  if (!adapter_ || item == kNoTreeItem) return;
  const ItemData data = tree_.Data(item);
  const bool top = data == kVolumeTopData;
  SaveContext context{*adapter_, sink_, pageStopRequested, &pauseGate, controls_, observer, start_.sourcePath};
  lv::SaveFolder(context, top ? kNoEntry : adapter_->IndexOf(data), top, outputFolder);
}

void ScanJob::SaveShownTree(TreeItem item, const std::string& outputFolder, SaveObserver* observer) {
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return;
  }
  if (!adapter_ || item == kNoTreeItem) return;
  SaveContext context{*adapter_, sink_, pageStopRequested, &pauseGate, controls_, observer, start_.sourcePath};
  SaveTreeItems(context, tree_, item, outputFolder);
}

void ScanJob::SaveFile(TreeItem item, const std::string& outputFolder, SaveObserver* observer) {
  if (!adapter_ || item == kNoTreeItem) return;
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return;
  }
  if (tree_.IsFolder(item)) {
    tree_.Expand(item);
    return;
  }
  SaveContext context{*adapter_, sink_, pageStopRequested, &pauseGate, controls_, observer, start_.sourcePath};
  SaveOneFile(context, adapter_->IndexOf(tree_.Data(item)), outputFolder);
}

std::string ScanJob::Preview(size_t row) {
  if (!adapter_ || row >= list_.RowCount()) return std::string();
  // The engine's buffers and the reader serve one operation at a time.
  if (Busy()) {
    ShowInfo(kPleaseWaitText);
    return std::string();
  }
  const ItemData data = list_.Data(row);
  EntryIndex entry;
  if (listShowsSearch_) {
    entry = adapter_->IndexOf(data);
  } else {
    const TreeItem item = data;
    tree_.SetChecked(item, !tree_.Checked(item));
    entry = adapter_->IndexOf(tree_.Data(item));
  }
  return PreviewEntry(*adapter_, entry);
}

void ScanJob::Select(TreeItem item) {
  if (!adapter_ || Busy()) return;
  listShowsSearch_ = false;
  RefillList(*adapter_, tree_, list_, item);
}

void ScanJob::CheckChanged(TreeItem item, bool wasChecked) {
  listShowsSearch_ = false;
  PropagateCheck(tree_, list_, item, wasChecked);
}

}  // namespace lv
