#include "pages/PopulateDriveDlg.h"

#include <cerrno>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Shell.h"
#include "common/Text.h"
#include "disk/Partition.h"
#include "disk/Reader.h"
#include "pages/ParceModeNtfsDlg.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {

constexpr int kRowRole = Qt::UserRole;

// When neither the program nor udisks2 could open the drive.
constexpr const wchar_t* kDriveRightsText =
    L"Reading this drive needs read rights on it, and the system did not grant them. Start Lumenvault as "
    L"root (for example \"sudo -E lumenvault\"), or add your user to the group that owns the drive (usually "
    L"\"disk\": \"sudo adduser $USER disk\") and log in again. Disk images need no rights.";

// Status texts of the standard scan, kept for the status line.
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
  auto* stop = MakeButton(QStringLiteral("Stop"), 1034, ButtonImage::Stop);
  stop_ = stop;
  auto* progressRow = new QHBoxLayout;
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(stop);
  Body()->addLayout(progressRow);
  Body()->addWidget(status_);

  auto* back = MakeButton(QStringLiteral("Back"), 1036, ButtonImage::Back);
  auto* next = MakeButton(QStringLiteral("Next"), 1046, ButtonImage::Next, true);
  ButtonRow()->addWidget(back);
  ButtonRow()->addWidget(next);

  connect(back, &QPushButton::clicked, this, &WizardPage::GoBack);
  connect(next, &QPushButton::clicked, this, &PopulateDriveDlg::Next);
  connect(filter, &QPushButton::clicked, this, &PopulateDriveDlg::FilterEntries);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, &PopulateDriveDlg::RowSelected);
  connect(list_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* line) { LineClicked(line); });
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
  }
}

void PopulateDriveDlg::StandardScan() {
  addCustom_->setVisible(false);
  if (OriginPageId == 130) {
    SharedReader = std::make_unique<FileReadSeek>();
    DeviceSectorCount = 0;
  }
  LabelSink sink(*status_);
  Partition partition(rows_, sink);
  partition.gptEnabled = values_.gpt;
  if (!SharedReader) {
    ShowInfo(L"information lost ..go back and parse again");
    return;
  }
  if (!SharedReader->OpenUtf8(values_.devicePath)) {
    ShowInfo(L"file not opened..");
    if (SharedReader->lastError == EACCES || SharedReader->lastError == EPERM)
      ShowInfo(kDriveRightsText);
  } else {
    list_->clear();
    rows_.clear();
    partition.StandardScan(*SharedReader);
    ShowRows();
    if (!rows_.empty()) customBox_->setEnabled(true);
  }
  filter_->setEnabled(true);
  status_->setText(QStringLiteral("Finished Scanning."));
  progress_->setVisible(false);
  stop_->setVisible(false);
  status_->setText(QStringLiteral("Select volume and click next button..."));
}

void PopulateDriveDlg::InsertLineAtTop(size_t row) {
  const VolumeEntry& entry = rows_[row];
  auto* line = new QTreeWidgetItem(QStringList{QString::fromStdWString(entry.name), QString::fromStdWString(entry.fileSystem),
                                               QString::fromStdWString(entry.sizeText),
                                               QString::number(static_cast<qlonglong>(entry.startSector))});
  line->setData(0, kRowRole, static_cast<qulonglong>(row));
  list_->insertTopLevelItem(0, line);
}

void PopulateDriveDlg::ShowRows() {
  list_->clear();
  for (size_t i = rows_.size(); i-- > 0;) {
    rows_[i].name = Format(L"%d", static_cast<int>(i));
    InsertLineAtTop(i);
  }
}

size_t PopulateDriveDlg::RowOf(const QTreeWidgetItem* line) const {
  return static_cast<size_t>(line->data(0, kRowRole).toULongLong());
}

void PopulateDriveDlg::RowSelected() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return;
  const QTreeWidgetItem* line = selected.front();
  const int64_t start = LeadingInteger(line->text(3).toStdWString());
  const int64_t sizeMiB = LeadingInteger(line->text(2).toStdWString());
  const int64_t sectors = sizeMiB * 2048;
  const int64_t end = sectors > 0 ? start + sectors - 1 : 0;
  selectedVolume_->setText(line->text(0));
  startEdit_->setText(QString::number(static_cast<qlonglong>(start)));
  endEdit_->setText(QString::number(static_cast<qlonglong>(end)));
}

void PopulateDriveDlg::LineClicked(QTreeWidgetItem* line) {
  if (!line) return;
  const QString kind = line->text(1);
  if (kind.isEmpty()) return;
  for (int i = 0; i < treatAs_->count(); ++i)
    if (treatAs_->itemText(i).startsWith(kind, Qt::CaseInsensitive)) {
      treatAs_->setCurrentIndex(i);
      return;
    }
}

void PopulateDriveDlg::CustomToggled() {
  for (QWidget* w : customControls_) w->setEnabled(customBox_->isChecked());
}

void PopulateDriveDlg::Step(QLineEdit* edit, int delta) {
  int64_t value = LeadingInteger(edit->text().toStdWString());
  if (delta < 0) ++value;
  else if (value > 0) --value;
  edit->setText(QString::number(static_cast<qlonglong>(value)));
}

void PopulateDriveDlg::FilterEntries() {
  list_->clear();
  if (rows_.size() <= 1) return;
  for (size_t i = 1; i < rows_.size(); ++i) {
    if (rows_[i].startSector == rows_[i - 1].startSector + 1) {
      rows_[i].name = Format(L"%d", static_cast<int>(i));
      InsertLineAtTop(i);
    }
  }
}

void PopulateDriveDlg::Next() {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) {
    ShowInfo(L"please select a valid volume.");
    return;
  }
  const QTreeWidgetItem* line = selected.front();
  VolumeEntry& row = rows_[RowOf(line)];
  if (!customBox_->isChecked() && customApplied_) {
    row.name = line->text(0).toStdWString();
    row.fileSystem = line->text(1).toStdWString();
    row.sizeText = Trim(line->text(2).remove(QStringLiteral("MB")).toStdWString());
    row.startSector = LeadingInteger(line->text(3).toStdWString());
  }
  bool raw = false;
  if (customBox_->isChecked()) {
    customApplied_ = true;
    row.startSector = LeadingInteger(startEdit_->text().toStdWString());
    const int64_t end = LeadingInteger(endEdit_->text().toStdWString());
    row.sizeText = Format(L"%lld", static_cast<long long>(end > row.startSector ? (end - row.startSector + 1) / 2048 : 0));
    const QString kind = treatAs_->currentText();
    static const std::pair<const char*, const wchar_t*> kMap[] = {{"NTFS", L"ntfs"},   {"FAT16", L"fat16"},
                                                                 {"FAT32", L"fat32"}, {"FAT64", L"fat64"},
                                                                 {"EXTX", L"extX"},   {"HFS+", L"HFS+"}};
    if (treatAs_->currentIndex() >= 0) {
      for (const auto& [text, fileSystem] : kMap)
        if (kind.compare(QString::fromUtf8(text), Qt::CaseInsensitive) == 0) row.fileSystem = fileSystem;
      raw = kind.compare(QStringLiteral("RAW"), Qt::CaseInsensitive) == 0;
    }
  }
  chosen_ = row;
  if (raw) {
    customApplied_ = true;
    chosen_->fileSystem = L"RAW";
    row.fileSystem = L"RAW";
    ShowInfo(L"Raw recovery is not available in this version yet.");
    return;
  }
  if (EqualsIgnoreCase(row.fileSystem, L"unknown")) {
    Messages().Show(L"can not parse unknown volume", kProductTitle, MessageIcon::None, MessageButtons::Ok);
    return;
  }
  OpenChild(new ParceModeNtfsDlg(this, *chosen_));
}

}  // namespace lv
