#include "disk/VolumeList.h"

#include <algorithm>

#include "common/Text.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {
std::wstring SectorText(int64_t value) { return Format(L"%lld", static_cast<long long>(value)); }

// The edits' decimal conversion stops at the first character that is not a
// digit; a text that is no number counts as 0.
int64_t EditValue(std::wstring_view text) { return LeadingInteger(text); }
}  // namespace

// The engine's page: rows found on the worker thread become lines at once.
class VolumeList::ScanPage : public PartitionScanPage {
 public:
  explicit ScanPage(VolumeList& list) : list_(list) {}
  void SetFilterEnabled(bool enabled) override { list_.view_.SetFilterEnabled(enabled); }
  void RowFound(const VolumeEntry& row) override {
    std::lock_guard lock(list_.mutex_);
    list_.rows_.push_back(row);
    list_.InsertLine(list_.lines_.size(), list_.LineFor(row, std::nullopt, true));
  }

 private:
  VolumeList& list_;
};

// The worker's status line, which also carries a stop requested before the
// engine started into the engine: the engine clears its flag as it starts,
// and writes its first status text right after.
class VolumeList::StopCarrier : public WorkerSink {
 public:
  StopCarrier(VolumeList& list, WorkerSink& statusLine, Partition& engine)
      : list_(list), statusLine_(statusLine), engine_(engine) {}
  void SetStatus(std::wstring_view text) override {
    Carry();
    statusLine_.SetStatus(text);
  }
  void ProgressRange(int64_t minimum, int64_t maximum) override {
    Carry();
    statusLine_.ProgressRange(minimum, maximum);
  }
  void ProgressPosition(int64_t position) override {
    Carry();
    statusLine_.ProgressPosition(position);
  }

 private:
  void Carry() {
    if (list_.stopPending_.load()) engine_.stopRequested = 1;
  }
  VolumeList& list_;
  WorkerSink& statusLine_;
  Partition& engine_;
};

const std::vector<std::wstring>& VolumeList::TreatAsEntries() {
  static const std::vector<std::wstring> entries = {L"EXTX", L"FAT16", L"FAT32", L"FAT64", L"HFS+", L"NTFS", L"RAW"};
  return entries;
}

VolumeLine VolumeList::LineFor(const VolumeEntry& row, std::optional<size_t> index, bool ownCopy) const {
  VolumeLine line;
  line.columns = {row.name, row.fileSystem, row.sizeText, SectorText(row.startSector)};
  if (ownCopy) line.ownCopy = row;
  else line.rowIndex = index;
  return line;
}

VolumeEntry& VolumeList::RowOf(VolumeLine& line) { return line.ownCopy ? *line.ownCopy : rows_.at(*line.rowIndex); }

void VolumeList::InsertLine(size_t position, VolumeLine line) {
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(position), std::move(line));
  if (selected_ && *selected_ >= position) ++*selected_;
  view_.LineInserted(position, lines_[position]);
}

void VolumeList::ClearLines() {
  lines_.clear();
  selected_.reset();
  view_.LinesCleared();
}

void VolumeList::ShowRows(std::vector<VolumeEntry> rows) {
  std::lock_guard lock(mutex_);
  rows_ = std::move(rows);
  advanced_ = false;
  ClearLines();
  for (size_t i = rows_.size(); i-- > 0;) {
    rows_[i].name = Format(L"%d", static_cast<int>(i));
    InsertLine(0, LineFor(rows_[i], i, false));
  }
}

int VolumeList::RunAdvancedScan(readWriteInterface& reader, WorkerSink& statusLine, bool skipVolumeSize,
                                int64_t customStartSector, int64_t customEndSector) {
  view_.SetBackEnabled(false);
  {
    std::lock_guard lock(mutex_);
    rows_.clear();
    advanced_ = true;
    ClearLines();
  }
  std::vector<VolumeEntry> found;
  ScanPage page(*this);
  Partition engine(found, statusLine);
  StopCarrier carrier(*this, statusLine, engine);
  engine.statusText = &carrier;
  engine.ownerPage = &page;
  engine.pauseGate = &gate_;
  engine.skipVolumeSize = skipVolumeSize;
  engine.customStartSector = customStartSector;
  engine.customEndSector = customEndSector;
  {
    std::lock_guard lock(mutex_);
    engine_ = &engine;
  }
  const int result = engine.AdvancedScan(reader);
  {
    std::lock_guard lock(mutex_);
    engine_ = nullptr;
  }
  stopPending_ = false;
  view_.SetBackEnabled(true);
  statusLine.SetStatus(L"Scanned Partitions");
  ShowPlain(L"populated partitions....");
  statusLine.SetStatus(L"Finished Scanning.");
  if (!found.empty()) view_.SetCustomCheckEnabled(true);
  view_.SetAddCustomEnabled(true);
  view_.SetNextEnabled(true);
  view_.SetWorkerControlsVisible(false);
  statusLine.SetStatus(L"Select volume and click next button...");
  return result;
}

void VolumeList::RequestStop() {
  std::lock_guard lock(mutex_);
  stopPending_ = true;
  if (engine_) engine_->stopRequested = 1;
}

void VolumeList::SelectLine(size_t line) {
  std::lock_guard lock(mutex_);
  if (line >= lines_.size()) return;
  selected_ = line;
  const auto& columns = lines_[line].columns;
  const int64_t start = EditValue(columns[3]);
  const int64_t mib = LeadingInteger(columns[2]);
  int64_t span = 0;
  int64_t end = 0;
  const bool sized = !__builtin_mul_overflow(mib, int64_t{2048}, &span) && span > 0;
  if (!sized || __builtin_add_overflow(start, span - 1, &end)) end = 0;
  settings.selectedVolume = columns[0];
  settings.startEdit = SectorText(start);
  settings.endEdit = SectorText(end);
}

void VolumeList::PreselectFileSystem(size_t line) {
  std::lock_guard lock(mutex_);
  if (line >= lines_.size()) return;
  const std::wstring& text = lines_[line].columns[1];
  if (text.empty()) return;
  const auto& entries = TreatAsEntries();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].size() >= text.size() && EqualsIgnoreCase(std::wstring_view(entries[i]).substr(0, text.size()), text)) {
      settings.treatAs = static_cast<int>(i);
      return;
    }
  }
}

std::wstring VolumeList::StepSector(std::wstring_view editText, int delta) {
  int64_t value = EditValue(editText);
  if (delta < 0 && value < INT64_MAX) ++value;
  else if (delta > 0 && value > 0) --value;
  return SectorText(value);
}

void VolumeList::AddCustomVolume() {
  std::lock_guard lock(mutex_);
  VolumeEntry row;
  row.fileSystem = L"CUSTOM ";
  row.name = Format(L"%d", static_cast<int>(rows_.size()));
  row.sizeText = L"0";
  row.startSector = 0;
  rows_.push_back(row);
  settings.checked = true;
  view_.SetCustomChecked(true);
  InsertLine(0, LineFor(row, std::nullopt, true));
  selected_ = 0;
  view_.LineSelected(0);
  // What selecting the line shows; then both edits at 0.
  settings.selectedVolume = row.name;
  settings.startEdit = L"0";
  settings.endEdit = L"0";
}

void VolumeList::FilterEntries() {
  std::lock_guard lock(mutex_);
  ClearLines();
  if (rows_.size() <= 1) return;
  for (size_t i = 1; i < rows_.size(); ++i) {
    if (rows_[i - 1].startSector == INT64_MAX || rows_[i].startSector != rows_[i - 1].startSector + 1) continue;
    rows_[i].name = Format(L"%d", static_cast<int>(i));
    InsertLine(0, LineFor(rows_[i], i, advanced_));
  }
}

FinaliseOutcome VolumeList::Finalise(VolumeEntry& chosen) {
  std::unique_lock lock(mutex_);
  if (!selected_ || *selected_ >= lines_.size()) {
    lock.unlock();
    ShowInfo(L"please select a valid volume.");
    return FinaliseOutcome::NoSelection;
  }
  VolumeLine& line = lines_[*selected_];
  VolumeEntry& row = RowOf(line);
  if (!settings.checked && customApplied) {
    // The row as its line shows it, not as earlier custom settings left it.
    row.name = line.columns[0];
    row.fileSystem = line.columns[1];
    std::wstring size = line.columns[2];
    for (size_t at; (at = size.find(L"MB")) != std::wstring::npos;) size.erase(at, 2);
    row.sizeText = Trim(size);
    row.startSector = EditValue(line.columns[3]);
  }
  const auto& entries = TreatAsEntries();
  const bool raw = settings.checked && settings.treatAs >= 0 &&
                   static_cast<size_t>(settings.treatAs) < entries.size() && entries[settings.treatAs] == L"RAW";
  if (settings.checked) {
    customApplied = true;
    const int64_t start = EditValue(settings.startEdit);
    const int64_t end = EditValue(settings.endEdit);
    row.startSector = start;
    int64_t span = 0;
    const bool sized = end > start && !__builtin_sub_overflow(end, start, &span) && span < INT64_MAX;
    row.sizeText = Format(L"%lld", static_cast<long long>(sized ? (span + 1) / 2048 : 0));
    if (settings.treatAs >= 0 && static_cast<size_t>(settings.treatAs) < entries.size()) {
      static const std::vector<std::pair<std::wstring, std::wstring>> kMap = {
          {L"NTFS", L"ntfs"}, {L"FAT16", L"fat16"}, {L"FAT32", L"fat32"},
          {L"FAT64", L"fat64"}, {L"EXTX", L"extX"}, {L"HFS+", L"HFS+"}};
      for (const auto& [entry, text] : kMap)
        if (EqualsIgnoreCase(entries[settings.treatAs], entry)) row.fileSystem = text;
    }
  }
  if (raw) {
    customApplied = true;
    row.fileSystem = L"RAW";
    chosen = row;
    return FinaliseOutcome::RawRecovery;
  }
  chosen = row;
  if (EqualsIgnoreCase(row.fileSystem, L"unknown")) {
    lock.unlock();
    Messages().Show(L"can not parse unknown volume", kProductTitle, MessageIcon::None, MessageButtons::Ok);
    return FinaliseOutcome::UnknownVolume;
  }
  return FinaliseOutcome::RecoveryMode;
}

std::vector<VolumeEntry> VolumeList::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::vector<VolumeLine> VolumeList::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

std::optional<size_t> VolumeList::SelectedLine() const {
  std::lock_guard lock(mutex_);
  return selected_;
}

}  // namespace lv
