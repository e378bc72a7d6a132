#include "catalogue/RawRecovery.h"

#include <filesystem>

#include "common/SafeName.h"
#include "common/Text.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/SaveWriter.h"
#include "raw/CarvedItemData.h"
#include "raw/SettingsFile.h"

namespace lv {

namespace {

constexpr const wchar_t* kWait = L"Please wait for the running process.";
constexpr const wchar_t* kDone = L"Scanning processing done.Select save button to save the data.";

}  // namespace

RawPageControls& NoRawControls() {
  static RawPageControls controls;
  return controls;
}

std::wstring CarvedItemLabel(int64_t startOffset, std::wstring_view extension) {
  return Format(L"%lld .", static_cast<long long>(startOffset)) + std::wstring(extension);
}

RawRecovery::RawRecovery(readWriteInterface& reader, ResultTree& tree, FileList& list, WorkerSink& sink,
                         RawPageControls& controls)
    : defaultSettingsPath(ProgramFolder() + kDefaultSettingsName),
      settingsPath(defaultSettingsPath),
      reader_(reader),
      tree_(tree),
      list_(list),
      sink_(sink),
      controls_(controls) {
  controls_.SetWorkerControlsVisible(false);
  sink_.SetStatus(L"Please select parse button to scan the default file.");
}

RawRecovery::~RawRecovery() {
  if (engine_) engine_->Stop();
  gate_.Resume();
  if (worker_.joinable()) worker_.join();
}

void RawRecovery::ChooseSettingsFile(const std::string& path) {
  if (Running()) {
    ShowInfo(kWait);
    return;
  }
  std::error_code error;
  if (!path.empty() && std::filesystem::exists(path, error)) settingsPath = path;
}

void RawRecovery::Refuse(bool settingsRefused) {
  if (settingsRefused) {
    controls_.SetBackEnabled(true);
    controls_.SetSaveEnabled(true);
  }
  sink_.SetStatus(kDone);
  controls_.SetWorkerControlsVisible(false);
  running_.store(false);
}

bool RawRecovery::ParseBusy() {
  if (Running()) {
    ShowInfo(kWait);
    return true;
  }
  return false;
}

// Steps 2 to 5 of Parse: the rule list from the default file and the file
// in the settings-file box (both are loaded even when they name the same
// file; the second copy's signatures then never match, the first come
// first).
bool RawRecovery::Prepare() {
  controls_.SetWorkerControlsVisible(true);
  controls_.SetParseEnabled(false);
  controls_.SetSettingEnabled(false);
  running_.store(true);
  std::vector<CarveRule> rules;
  if (loadDefault) LoadSettingsFile(defaultSettingsPath, SettingsKind::Default, rules, sink_);
  if (!settingsPath.empty() && !LoadSettingsFile(settingsPath, SettingsKind::User, rules, sink_)) {
    Refuse(true);
    return false;
  }
  if (rules.empty()) {
    ShowInfo(L"Enter the info file first..");
    Refuse(false);
    return false;
  }
  engine_ = std::make_unique<myJpg>(reader_, sink_);
  engine_->rules = std::move(rules);
  controls_.SetSaveEnabled(false);
  controls_.SetBackEnabled(false);
  controls_.SetBrowseEnabled(false);
  controls_.SetSettingEnabled(false);
  return true;
}

bool RawRecovery::Parse(const VolumeEntry& volume) {
  if (ParseBusy() || !Prepare()) return false;
  const int64_t sizeMiB = LeadingInteger(volume.sizeText);
  if (sizeMiB <= 0) {
    controls_.SetBackEnabled(true);
    controls_.SetSaveEnabled(true);
    controls_.SetBrowseEnabled(true);
    ShowInfo(L"zero size volume..");
    Refuse(false);
    return false;
  }
  const uint64_t bytes = static_cast<uint64_t>(sizeMiB) > UINT64_MAX / kCarveChunk
                             ? UINT64_MAX
                             : static_cast<uint64_t>(sizeMiB) * kCarveChunk;
  return Start(volume.startSector, bytes);
}

bool RawRecovery::ParseRange(int64_t startSector, uint64_t bytes) {
  if (ParseBusy() || !Prepare()) return false;
  return Start(startSector, bytes);
}

bool RawRecovery::Start(int64_t startSector, uint64_t bytes) {
  engine_->startSector = startSector;
  engine_->bytesToScan = bytes;
  engine_->observer = this;
  engine_->gate = &gate_;
  if (worker_.joinable()) worker_.join();
  worker_ = std::thread([this] {
    controls_.SetBackEnabled(false);
    sink_.SetStatus(L"Processing.....");
    engine_->Run();
    controls_.SetBackEnabled(true);
    controls_.SetSettingEnabled(true);
    controls_.SetSaveEnabled(true);
    sink_.SetStatus(L"Scanning processing done.Select save button to save the data");
    controls_.SetWorkerControlsVisible(false);
    // A stop ends the scan, not the copies made afterwards: a preview after
    // a stopped scan copies the whole item.
    pageStop_.store(0);
    running_.store(false);
  });
  return true;
}

void RawRecovery::Wait() {
  if (worker_.joinable()) worker_.join();
}

void RawRecovery::Stop() {
  if (engine_) engine_->Stop();
  pageStop_.store(1);
  sink_.SetStatus(L"Stop button pressed.Please wait for the process to stop");
}

void RawRecovery::Pause() {
  if (!worker_.joinable()) return;
  gate_.Pause();
  sink_.SetStatus(L"Pause button pressed");
}

void RawRecovery::Resume() {
  if (!worker_.joinable()) return;
  gate_.Resume();
  sink_.SetStatus(L"Resume button pressed");
}

void RawRecovery::RunStarted(const std::vector<CarveRule>& rules) {
  root_ = tree_.InsertItem(kNoTreeItem, kRawRoot, ItemImage::Folder, false, kRawFolderData);
  categoryNodes_.clear();
  itemNodes_.clear();
  for (const CarveRule& rule : rules) {
    if (categoryNodes_.count(rule.category)) continue;
    categoryNodes_[rule.category] = tree_.InsertItem(root_, rule.category, ItemImage::Folder, false, kRawFolderData);
  }
  tree_.Expand(root_);
}

void RawRecovery::ItemCreated(size_t index, const CarveRule& rule, int64_t count) {
  const TreeItem node = categoryNodes_[rule.category];
  tree_.SetText(node, rule.category + Format(L" (%lld)", static_cast<long long>(count)));
  const myJpg& engine = *engine_;
  itemNodes_.push_back(tree_.InsertItem(node, CarvedItemLabel(engine.items[index].startOffset, rule.extension),
                                        ItemImage::File, false, static_cast<ItemData>(index)));
}

int64_t RawRecovery::ItemIndex(TreeItem item) const {
  if (!engine_ || item == kNoTreeItem || tree_.IsFolder(item)) return -1;
  const ItemData data = tree_.Data(item);
  return data < engine_->items.size() ? static_cast<int64_t>(data) : -1;
}

void RawRecovery::TreeLabelClick(TreeItem item) {
  list_.DeleteAllItems();
  for (TreeItem child = tree_.FirstChild(item); child != kNoTreeItem; child = tree_.NextSibling(child)) {
    if (tree_.IsFolder(child)) continue;
    RowTexts texts;
    texts[0] = tree_.Text(child);
    list_.InsertRow(list_.RowCount(), texts, static_cast<ItemData>(child));
  }
}

EntryData RawRecovery::CopyData(size_t index) {
  return CarvedItemData(reader_, engine_->startSector, engine_->items[index], &pageStop_);
}

std::string RawRecovery::RowClick(size_t row) {
  if (row >= list_.RowCount()) return std::string();
  const auto item = static_cast<TreeItem>(list_.Data(row));
  const std::wstring label = tree_.Text(item);
  sink_.SetStatus(L"Saving File: " + label);
  const int64_t index = ItemIndex(item);
  if (index < 0) return std::string();
  const std::string folder = PreviewFolder();
  SaveWriter writer;
  if (folder.empty() || !writer.Open(folder)) {
    ShowPlain(L"File could not be opened..");
    return std::string();
  }
  EntryData data = CopyData(static_cast<size_t>(index));
  const bool empty = data.size == 0;
  const WriteOutcome outcome = writer.Write("", SafeComponent(WideToUtf16(label)), data);
  if (!outcome.ok() || empty) {
    ShowPlain(L"File could not be opened..");
    if (!outcome.ok()) return std::string();
  }
  StartDetached(ProgramFolder() + "glimpser", outcome.path);
  return outcome.path;
}

int64_t RawRecovery::Save(const std::string& outputFolder, SaveObserver* observer) {
  // The items to save: checked ones, and every item of a checked node.
  std::vector<TreeItem> chosen;
  const bool allChecked = root_ != kNoTreeItem && tree_.Checked(root_);
  for (TreeItem node = tree_.FirstChild(root_); root_ != kNoTreeItem && node != kNoTreeItem;
       node = tree_.NextSibling(node)) {
    const bool nodeChecked = allChecked || tree_.Checked(node);
    for (TreeItem item = tree_.FirstChild(node); item != kNoTreeItem; item = tree_.NextSibling(item))
      if (nodeChecked || tree_.Checked(item)) chosen.push_back(item);
  }
  if (chosen.empty()) {
    ShowInfo(L"Please select folder to continue the saving process.");
    return -1;
  }
  if (ParseBusy()) return -1;
  SaveWriter writer;
  if (!writer.Open(outputFolder)) {
    ShowInfo(L"Please select folder to continue the saving process.");
    return -1;
  }
  for (const TreeItem item : chosen) {
    const int64_t index = ItemIndex(item);
    if (index < 0) continue;
    EntryData data = CopyData(static_cast<size_t>(index));
    const WriteOutcome outcome = writer.Write("", SafeComponent(WideToUtf16(tree_.Text(item))), data);
    if (observer) observer->FileSaved(outcome, index);
  }
  return static_cast<int64_t>(writer.FilesWritten());
}

}  // namespace lv
