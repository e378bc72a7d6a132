#include "pages/PopulateDriveDlg.h"

#include <cerrno>
#include <chrono>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QThread>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Shell.h"
#include "common/Text.h"
#include "disk/Partition.h"
#include "disk/VolumeList.h"
#include "disk/Reader.h"
#include "pages/ParceModeNtfsDlg.h"
#include "platform/MessageBox.h"
#include "widgets/CoalescingSink.h"

namespace lv {

namespace {

// When neither the program nor udisks2 could open the drive.
constexpr const wchar_t* kDriveRightsText =
    L"Reading this drive needs read rights on it, and the system did not grant them. Start Lumenvault as "
    L"root (for example \"sudo -E lumenvault\"), or add your user to the group that owns the drive (usually "
    L"\"disk\": \"sudo adduser $USER disk\") and log in again. Disk images need no rights.";

// Status texts of the standard scan (on the interface thread), kept for the
// status line.
class LabelSink : public WorkerSink {
 public:
  explicit LabelSink(QLabel& label) : label_(label) {}
  void SetStatus(std::wstring_view text) override { label_.setText(QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size()))); }
  void ProgressRange(int64_t, int64_t) override {}
  void ProgressPosition(int64_t) override {}

 private:
  QLabel& label_;
};

QToolButton* SpinButton(QWidget* parent, Qt::ArrowType arrow, const QString& name) {
  auto* button = new QToolButton(parent);
  button->setArrowType(arrow);
  button->setObjectName(name);
  button->setAutoRepeat(true);
  return button;
}

}  // namespace

PopulateDriveDlg::PopulateDriveDlg(WizardPage* parentPage, const Values& values) : WizardPage(parentPage, 134), values_(values) {
  auto* listGroup = new QGroupBox(QStringLiteral("Volume List:"), this);
  auto* listLayout = new QVBoxLayout(listGroup);
  list_ = new QTreeWidget(listGroup);
  list_->setObjectName(ControlName(1031));
  list_->setRootIsDecorated(false);
  list_->setAllColumnsShowFocus(true);
  list_->setHeaderLabels({QStringLiteral("VOLUME"), QStringLiteral("FILE_SYSTEM"), QStringLiteral("VOLUME_SIZE"),
                          QStringLiteral("START_SECTOR")});
  for (int c = 0; c < 3; ++c)
    list_->setColumnWidth(c, fontMetrics().horizontalAdvance(list_->headerItem()->text(c)) + fontMetrics().averageCharWidth() * 4);
  listLayout->addWidget(list_);
  auto* listButtons = new QHBoxLayout;
  auto* filter = MakeButton(QStringLiteral("Filter Entries"), 1229, ButtonImage::Search);
  filter->setToolTip(QStringLiteral("Filter volume entries."));
  auto* addCustom = MakeButton(QStringLiteral("Add Custom Volume"), 1160, ButtonImage::Disk);
  addCustom->setToolTip(QStringLiteral("Add Custom Volume entry."));
  filter_ = filter;
  addCustom_ = addCustom;
  listButtons->addWidget(filter);
  listButtons->addWidget(addCustom);
  listButtons->addStretch(1);
  listLayout->addLayout(listButtons);

  auto* customGroup = new QGroupBox(this);
  customGroup->setObjectName(ControlName(1133));
  auto* grid = new QGridLayout(customGroup);
  customBox_ = new QCheckBox(QStringLiteral("Custom Settings For Selected Volume "), customGroup);
  customBox_->setObjectName(ControlName(1131));
  auto* selectedLabel = new QLabel(QStringLiteral("Selected Volume :"), customGroup);
  selectedLabel->setObjectName(ControlName(1142));
  selectedVolume_ = new QLabel(customGroup);
  selectedVolume_->setObjectName(ControlName(1143));
  auto* startLabel = new QLabel(QStringLiteral("Start Sector:"), customGroup);
  startEdit_ = new QLineEdit(QStringLiteral("0"), customGroup);
  startEdit_->setObjectName(ControlName(1146));
  auto* startUp = SpinButton(customGroup, Qt::UpArrow, QStringLiteral("1145.up"));
  auto* startDown = SpinButton(customGroup, Qt::DownArrow, QStringLiteral("1145.down"));
  auto* endLabel = new QLabel(QStringLiteral("End Sector :"), customGroup);
  endEdit_ = new QLineEdit(QStringLiteral("0"), customGroup);
  endEdit_->setObjectName(ControlName(1149));
  auto* endUp = SpinButton(customGroup, Qt::UpArrow, QStringLiteral("1151.up"));
  auto* endDown = SpinButton(customGroup, Qt::DownArrow, QStringLiteral("1151.down"));
  auto* treatLabel = new QLabel(QStringLiteral("Treat file system as:"), customGroup);
  treatAs_ = new QComboBox(customGroup);
  treatAs_->setObjectName(ControlName(1152));
  QStringList kinds = {QStringLiteral("EXTX"), QStringLiteral("FAT64"), QStringLiteral("FAT32"), QStringLiteral("FAT16"),
                       QStringLiteral("NTFS"), QStringLiteral("HFS+"), QStringLiteral("RAW")};
  kinds.sort(Qt::CaseInsensitive);
  treatAs_->addItems(kinds);
  treatAs_->setCurrentIndex(-1);
  grid->addWidget(customBox_, 0, 0, 1, 4);
  grid->addWidget(selectedLabel, 1, 0);
  grid->addWidget(selectedVolume_, 1, 1, 1, 3);
  grid->addWidget(startLabel, 2, 0);
  grid->addWidget(startEdit_, 2, 1);
  grid->addWidget(startUp, 2, 2);
  grid->addWidget(startDown, 2, 3);
  grid->addWidget(endLabel, 3, 0);
  grid->addWidget(endEdit_, 3, 1);
  grid->addWidget(endUp, 3, 2);
  grid->addWidget(endDown, 3, 3);
  grid->addWidget(treatLabel, 4, 0);
  grid->addWidget(treatAs_, 4, 1, 1, 3);
  grid->setRowStretch(5, 1);
  customControls_ = {selectedLabel, selectedVolume_, startLabel, startEdit_, startUp, startDown,
                     endLabel, endEdit_, endUp, endDown, treatLabel, treatAs_};

  auto* columns = new QHBoxLayout;
  columns->addWidget(listGroup, 3);
  columns->addWidget(customGroup, 2);
  Body()->addLayout(columns, 1);

  progress_ = new QProgressBar(this);
  progress_->setObjectName(ControlName(1254));
  status_ = new QLabel(this);
  status_->setObjectName(ControlName(1316));
  auto* pause = MakeButton(QStringLiteral("Pause"), 1060, ButtonImage::Pause);
  auto* resume = MakeButton(QStringLiteral("Resume"), 1061, ButtonImage::Resume);
  auto* stop = MakeButton(QStringLiteral("Stop"), 1034, ButtonImage::Stop);
  workerControls_ = {progress_, pause, resume, stop};
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(pause);
  progressRow->addWidget(resume);
  progressRow->addWidget(stop);
  Body()->addLayout(progressRow);
  Body()->addWidget(status_);

  back_ = MakeButton(QStringLiteral("Back"), 1036, ButtonImage::Back);
  next_ = MakeButton(QStringLiteral("Next"), 1046, ButtonImage::Next, true);
  ButtonRow()->addWidget(back_);
  ButtonRow()->addWidget(next_);
  sink_ = new CoalescingSink(status_, progress_, this);

  connect(back_, &QPushButton::clicked, this, &PopulateDriveDlg::Back);
  connect(next_, &QPushButton::clicked, this, &PopulateDriveDlg::Next);
  connect(filter, &QPushButton::clicked, this, &PopulateDriveDlg::FilterEntries);
  connect(addCustom, &QPushButton::clicked, this, &PopulateDriveDlg::AddCustomVolume);
  connect(stop, &QPushButton::clicked, this, &PopulateDriveDlg::Stop);
  // Only the one that changes something is enabled.
  resume->setEnabled(false);
  connect(pause, &QPushButton::clicked, this, [this, pause, resume] {
    volumes_.Gate().Pause();
    pause->setEnabled(false);
    resume->setEnabled(true);
    sink_->SetStatus(L"Pause button pressed");
  });
  connect(resume, &QPushButton::clicked, this, [this, pause, resume] {
    // Before the worker goes on, so its later texts are not overwritten.
    sink_->SetStatus(L"Resume button pressed");
    pause->setEnabled(true);
    resume->setEnabled(false);
    volumes_.Gate().Resume();
  });
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &PopulateDriveDlg::RowSelected);
  connect(list_, &QTreeWidget::itemClicked, this,
          [this](QTreeWidgetItem* line) { LineClicked(list_->indexOfTopLevelItem(line)); });
  connect(customBox_, &QCheckBox::toggled, this, &PopulateDriveDlg::CustomToggled);
  connect(startUp, &QToolButton::clicked, this, [this] { Step(startEdit_, -1); });
  connect(startDown, &QToolButton::clicked, this, [this] { Step(startEdit_, +1); });
  connect(endUp, &QToolButton::clicked, this, [this] { Step(endEdit_, -1); });
  connect(endDown, &QToolButton::clicked, this, [this] { Step(endEdit_, +1); });

  for (QWidget* w : customControls_) w->setEnabled(false);
  addCustom_->setEnabled(false);
  customBox_->setEnabled(false);
  if (OriginPageId == 130) SharedReader = std::make_unique<FileReadSeek>();
  if (values_.mode == 1) {
    progress_->setRange(0, 1000);
    StandardScan();
    progress_->setValue(1000);
  } else {
    AdvancedScan();
  }
}

PopulateDriveDlg::~PopulateDriveDlg() {
  // A stop requested before the engine starts is cleared by it: ask until
  // the worker has ended.
  while (workerRunning_.load() && !workerDone_.load()) {
    StopWorkers();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (worker_.joinable()) worker_.join();
}

void PopulateDriveDlg::OnInterfaceThread(std::function<void()> action) {
  if (QThread::currentThread() == thread()) action();
  else QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

// The list control mirrors VolumeList's lines. VolumeList calls these with
// its lock held, so the list's own signals (which call back into it) are
// blocked while it changes.
void PopulateDriveDlg::LinesCleared() {
  OnInterfaceThread([this] {
    const QSignalBlocker blocker(list_);
    list_->clear();
  });
}

void PopulateDriveDlg::LineInserted(size_t position, const VolumeLine& line) {
  QStringList texts;
  for (const std::wstring& column : line.columns) texts << QString::fromStdWString(column);
  OnInterfaceThread([this, position, texts] {
    const QSignalBlocker blocker(list_);
    list_->insertTopLevelItem(static_cast<int>(position), new QTreeWidgetItem(texts));
  });
}

void PopulateDriveDlg::LineSelected(size_t position) {
  OnInterfaceThread([this, position] {
    QTreeWidgetItem* line = list_->topLevelItem(static_cast<int>(position));
    if (!line) return;
    const QSignalBlocker blocker(list_);
    list_->setCurrentItem(line);
    list_->scrollToItem(line);
  });
}

void PopulateDriveDlg::SetCustomChecked(bool checked) {
  OnInterfaceThread([this, checked] {
    // A custom row is a row: the check box may be changed from now on.
    if (checked) customBox_->setEnabled(true);
    customBox_->setChecked(checked);
  });
}

void PopulateDriveDlg::SetCustomCheckEnabled(bool enabled) {
  OnInterfaceThread([this, enabled] { customBox_->setEnabled(enabled); });
}

void PopulateDriveDlg::SetFilterEnabled(bool enabled) {
  OnInterfaceThread([this, enabled] { filter_->setEnabled(enabled); });
}

void PopulateDriveDlg::SetAddCustomEnabled(bool enabled) {
  OnInterfaceThread([this, enabled] { addCustom_->setEnabled(enabled); });
}

void PopulateDriveDlg::SetBackEnabled(bool enabled) {
  OnInterfaceThread([this, enabled] { back_->setEnabled(enabled); });
}

void PopulateDriveDlg::SetNextEnabled(bool enabled) {
  OnInterfaceThread([this, enabled] { next_->setEnabled(enabled); });
}

void PopulateDriveDlg::SetWorkerControlsVisible(bool visible) {
  OnInterfaceThread([this, visible] {
    for (QWidget* w : workerControls_) w->setVisible(visible);
  });
}

bool PopulateDriveDlg::OpenSource() {
  if (SharedReader && SharedReader->OpenUtf8(values_.devicePath)) return true;
  ShowInfo(L"file not opened..");
  if (SharedReader && (SharedReader->lastError == EACCES || SharedReader->lastError == EPERM)) ShowInfo(kDriveRightsText);
  return false;
}

void PopulateDriveDlg::StandardScan() {
  addCustom_->setVisible(false);
  if (OriginPageId == 130) {
    SharedReader = std::make_unique<FileReadSeek>();
    DeviceSectorCount = 0;
  }
  LabelSink sink(*status_);
  std::vector<VolumeEntry> rows;
  Partition partition(rows, sink);
  partition.gptEnabled = values_.gpt;
  if (!SharedReader) {
    ShowInfo(L"information lost ..go back and parse again");
    return;
  }
  if (OpenSource()) {
    volumes_.ShowRows({});
    partition.StandardScan(*SharedReader);
    const bool found = !rows.empty();
    volumes_.ShowRows(std::move(rows));
    if (found) customBox_->setEnabled(true);
  }
  filter_->setEnabled(true);
  status_->setText(QStringLiteral("Finished Scanning."));
  SetWorkerControlsVisible(false);
  status_->setText(QStringLiteral("Select volume and click next button..."));
}

void PopulateDriveDlg::AdvancedScan() {
  addCustom_->setEnabled(false);
  next_->setEnabled(false);
  if (OriginPageId == 130) SharedReader = std::make_unique<FileReadSeek>();
  if (!OpenSource()) {
    next_->setEnabled(true);
    // Nothing runs that Stop could end.
    SetWorkerControlsVisible(false);
    return;
  }
  // The worker does the same at once; no click may come in between.
  back_->setEnabled(false);
  filter_->setEnabled(false);
  readWriteInterface& reader = *SharedReader;
  const bool skipVolumeSize = !values_.noSkip;
  const int64_t start = values_.customStart.value_or(0);
  const int64_t end = values_.customEnd.value_or(0);
  workerRunning_ = true;
  worker_ = std::thread([this, &reader, skipVolumeSize, start, end] {
    volumes_.RunAdvancedScan(reader, *sink_, skipVolumeSize, start, end);
    workerDone_ = true;
    // After every control change the worker has posted.
    QMetaObject::invokeMethod(this, [this] { WorkerEnded(); }, Qt::QueuedConnection);
  });
}

void PopulateDriveDlg::WorkerEnded() {
  if (worker_.joinable()) worker_.join();
  sink_->Apply();
  workerRunning_ = false;
  if (backPending_) {
    backPending_ = false;
    GoBack();
  }
}

void PopulateDriveDlg::StopWorkers() {
  volumes_.RequestStop();
  // A stop requested while paused takes effect once the worker resumes.
  volumes_.Gate().Resume();
}

void PopulateDriveDlg::Stop() {
  volumes_.RequestStop();
  back_->setEnabled(true);
}

void PopulateDriveDlg::Back() {
  // After Stop, Back is enabled while the worker still finishes: the page
  // goes back once it has ended.
  if (workerRunning_.load()) {
    backPending_ = true;
    StopWorkers();
    return;
  }
  GoBack();
}

void PopulateDriveDlg::ShowSettings() {
  selectedVolume_->setText(QString::fromStdWString(volumes_.settings.selectedVolume));
  startEdit_->setText(QString::fromStdWString(volumes_.settings.startEdit));
  endEdit_->setText(QString::fromStdWString(volumes_.settings.endEdit));
}

void PopulateDriveDlg::TakeSettings() {
  CustomSettings& settings = volumes_.settings;
  settings.checked = customBox_->isChecked();
  settings.selectedVolume = selectedVolume_->text().toStdWString();
  settings.startEdit = startEdit_->text().toStdWString();
  settings.endEdit = endEdit_->text().toStdWString();
  settings.treatAs = -1;
  const auto& entries = VolumeList::TreatAsEntries();
  if (treatAs_->currentIndex() < 0) return;
  const std::wstring chosen = treatAs_->currentText().toStdWString();
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i] == chosen) settings.treatAs = static_cast<int>(i);
}

void PopulateDriveDlg::RowSelected() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  const int line = list_->indexOfTopLevelItem(selected.front());
  if (line < 0) return;
  volumes_.SelectLine(static_cast<size_t>(line));
  ShowSettings();
}

void PopulateDriveDlg::LineClicked(int line) {
  if (line < 0) return;
  TakeSettings();
  volumes_.PreselectFileSystem(static_cast<size_t>(line));
  const auto& entries = VolumeList::TreatAsEntries();
  const int chosen = volumes_.settings.treatAs;
  if (chosen >= 0 && static_cast<size_t>(chosen) < entries.size())
    treatAs_->setCurrentIndex(treatAs_->findText(QString::fromStdWString(entries[chosen])));
}

void PopulateDriveDlg::CustomToggled() {
  for (QWidget* w : customControls_) w->setEnabled(customBox_->isChecked());
}

void PopulateDriveDlg::Step(QLineEdit* edit, int delta) {
  edit->setText(QString::fromStdWString(VolumeList::StepSector(edit->text().toStdWString(), delta)));
}

void PopulateDriveDlg::AddCustomVolume() {
  volumes_.AddCustomVolume();
  ShowSettings();
}

void PopulateDriveDlg::FilterEntries() { volumes_.FilterEntries(); }

void PopulateDriveDlg::Next() {
  TakeSettings();
  VolumeEntry chosen;
  switch (volumes_.Finalise(chosen)) {
    case FinaliseOutcome::RecoveryMode:
      chosen_ = chosen;
      OpenChild(new ParceModeNtfsDlg(this, chosen));
      break;
    case FinaliseOutcome::RawRecovery:
      chosen_ = chosen;
      ShowInfo(L"Raw recovery is not available in this version yet.");
      break;
    case FinaliseOutcome::NoSelection:
    case FinaliseOutcome::UnknownVolume: break;
  }
}

}  // namespace lv
