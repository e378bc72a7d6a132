#include "pages/VolumeScanDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QThread>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/Shell.h"
#include "common/Text.h"
#include "disk/Reader.h"
#include "widgets/CoalescingSink.h"
#include "widgets/ResultModels.h"

namespace lv {

namespace {
// Pictures larger than this are not decoded for the preview.
constexpr uint64_t kPictureLimit = 64ull << 20;
}  // namespace

VolumeScanDlg::VolumeScanDlg(WizardPage* parentPage, const VolumeEntry& volume, int recoveryMode)
    : WizardPage(parentPage, 139), volume_(volume) {
  setAccessibleName(QStringLiteral("VOLUME-SCAN"));
  treeModel_ = new ResultTreeModel(this);
  listModel_ = new FileListModel(this);

  auto* top = new QHBoxLayout;
  auto* volumeLabel = new QLabel(QStringLiteral("Volume Data:"), this);
  volumeLabel->setObjectName(ControlName(1056));
  volumeField_ = new QLineEdit(this);
  volumeField_->setObjectName(ControlName(1322));
  volumeField_->setReadOnly(true);
  searchBox_ = new QLineEdit(this);
  searchBox_->setObjectName(ControlName(1319));
  searchBox_->setPlaceholderText(QStringLiteral(".jpg|.png"));
  search_ = MakeButton(QStringLiteral("Search"), 1318, ButtonImage::Search);
  auto* hint = new QLabel(QStringLiteral("* Use \"|\" to find multiple file type "), this);
  top->addWidget(volumeLabel);
  top->addWidget(volumeField_, 2);
  top->addSpacing(fontMetrics().height());
  top->addWidget(searchBox_, 2);
  top->addWidget(search_);
  top->addWidget(hint);
  Body()->addLayout(top);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  tree_ = new QTreeView(splitter);
  tree_->setObjectName(ControlName(1042));
  tree_->setModel(treeModel_);
  tree_->setHeaderHidden(true);
  tree_->setExpandsOnDoubleClick(false);
  tree_->setUniformRowHeights(true);
  list_ = new QTableView(splitter);
  list_->setObjectName(ControlName(1268));
  list_->setModel(listModel_);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setShowGrid(true);
  list_->verticalHeader()->setVisible(false);
  list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  list_->setWordWrap(false);
  const int unit = fontMetrics().averageCharWidth();
  const int dateWidth = fontMetrics().horizontalAdvance(QStringLiteral("00/00/0000  00:00 PM")) + 2 * unit;
  const int widths[] = {unit * 24, dateWidth, dateWidth, dateWidth, unit * 12, unit * 10};
  for (int c = 0; c < 6; ++c) list_->setColumnWidth(c, widths[c]);
  list_->horizontalHeader()->setStretchLastSection(true);
  picture_ = new QLabel(splitter);
  picture_->setObjectName(QStringLiteral("picture"));
  picture_->setAlignment(Qt::AlignCenter);
  picture_->setMinimumWidth(unit * 18);
  picture_->setFrameShape(QFrame::StyledPanel);
  picture_->setText(QStringLiteral("Select a photo\nto see it here."));
  picture_->setWordWrap(true);
  splitter->addWidget(tree_);
  splitter->addWidget(list_);
  splitter->addWidget(picture_);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 4);
  splitter->setStretchFactor(2, 1);
  Body()->addWidget(splitter, 1);

  auto* outputRow = new QHBoxLayout;
  outputRow->addWidget(new QLabel(QStringLiteral("Output Folder:"), this));
  outputFolder_ = new QLineEdit(this);
  outputFolder_->setObjectName(ControlName(1107));
  outputRow->addWidget(outputFolder_, 1);
  auto* browse = MakeButton(QStringLiteral("Browse..."), 1106, ButtonImage::Folder);
  browse->setToolTip(QStringLiteral("Choose the folder the saved files go into."));
  outputRow->addWidget(browse);
  Body()->addLayout(outputRow);

  auto* workerRow = new QHBoxLayout;
  progress_ = new QProgressBar(this);
  progress_->setObjectName(ControlName(1055));
  auto* pause = MakeButton(QStringLiteral("Pause"), 1060, ButtonImage::Pause);
  auto* resume = MakeButton(QStringLiteral("Resume"), 1061, ButtonImage::Resume);
  auto* stop = MakeButton(QStringLiteral("Stop"), 1059, ButtonImage::Stop);
  workerRow->addWidget(progress_, 1);
  workerRow->addWidget(pause);
  workerRow->addWidget(resume);
  workerRow->addWidget(stop);
  workerControls_ = {progress_, pause, resume, stop};
  Body()->addLayout(workerRow);
  auto* statusRow = new QHBoxLayout;
  status_ = new QLabel(this);
  status_->setObjectName(ControlName(1033));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  status_->setMinimumWidth(1);
  sizeLine_ = new QLabel(this);
  sizeLine_->setObjectName(ControlName(1325));
  statusRow->addWidget(status_, 1);
  statusRow->addWidget(sizeLine_);
  Body()->addLayout(statusRow);

  // The advanced-input copies: never shown.
  auto* hiddenGroup = new QGroupBox(this);
  hiddenGroup->setObjectName(ControlName(1070));
  advancedLabel_ = new QLabel(hiddenGroup);
  advancedLabel_->setObjectName(ControlName(1062));
  for (int id : {1063, 1069, 1077}) (new QComboBox(hiddenGroup))->setObjectName(ControlName(id));
  for (int id : {1068, 1076}) (new QLabel(hiddenGroup))->setObjectName(ControlName(id));
  hiddenGroup->setVisible(false);

  back_ = MakeButton(QStringLiteral("Back"), 1057, ButtonImage::Back);
  save_ = MakeButton(QStringLiteral("Save"), 1269, ButtonImage::Save);
  ButtonRow()->addWidget(back_);
  ButtonRow()->addWidget(save_);

  sink_ = new CoalescingSink(status_, progress_, this);
  sink_->tick = [this] { Publish(); };
  PageControls& controls = *this;
  job_ = std::make_unique<ScanJob>(*treeModel_, *listModel_, *sink_, controls);
  listModel_->checkOf = [this](size_t, ItemData data) -> std::optional<bool> {
    if (job_->ListShowsSearchResults() || treeModel_->Frozen()) return std::nullopt;
    return treeModel_->Checked(data);
  };

  connect(back_, &QPushButton::clicked, this, &VolumeScanDlg::Back);
  connect(save_, &QPushButton::clicked, this, &VolumeScanDlg::Save);
  connect(search_, &QPushButton::clicked, this, &VolumeScanDlg::Search);
  connect(browse, &QPushButton::clicked, this, &VolumeScanDlg::ChooseFolder);
  connect(pause, &QPushButton::clicked, this, [this] { job_->Pause(); });
  connect(resume, &QPushButton::clicked, this, [this] { job_->Resume(); });
  connect(stop, &QPushButton::clicked, this, [this] { job_->Stop(); });
  connect(tree_->selectionModel(), &QItemSelectionModel::currentChanged, this, &VolumeScanDlg::TreeSelected);
  connect(tree_, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
    job_->SaveFile(treeModel_->ItemOf(index), outputFolder_->text().toStdString());
    Publish();
  });
  connect(list_, &QTableView::clicked, this, [this](const QModelIndex& index) { RowClicked(index.row()); });
  connect(treeModel_, &ResultTreeModel::expandRequested, tree_, &QTreeView::expand);
  connect(treeModel_, &ResultTreeModel::checkToggled, this, [this](quint64 item, bool wasChecked) {
    job_->CheckChanged(item, wasChecked);
    Publish();
  });

  // Set-up: busy, Back disabled, then the scan.
  job_->scanInProgress.store(1);
  back_->setEnabled(false);
  treeModel_->Freeze();
  ScanStart start;
  start.volume = volume_;
  start.recoveryMode = recoveryMode;
  start.logicalVolume = VolumeSource == 1;
  start.sourcePath = SourcePath();
  job_->Start(start, SharedReader.get());
}

VolumeScanDlg::~VolumeScanDlg() {
  // The worker may still report through the controls while it ends.
  job_.reset();
}

void VolumeScanDlg::OnInterfaceThread(std::function<void()> action) {
  if (QThread::currentThread() == thread()) action();
  else QMetaObject::invokeMethod(this, std::move(action), Qt::QueuedConnection);
}

void VolumeScanDlg::SetBackEnabled(bool enabled) {
  OnInterfaceThread([this, enabled] {
    back_->setEnabled(enabled);
    // The scan worker's last tree step is done once it enables Back.
    if (enabled && treeModel_->Frozen()) {
      treeModel_->Thaw();
      const QModelIndex root = treeModel_->index(0, 0);
      if (root.isValid()) tree_->expand(root);
    }
  });
}

void VolumeScanDlg::SetWorkerControlsVisible(bool visible) {
  OnInterfaceThread([this, visible] {
    for (QWidget* w : workerControls_) w->setVisible(visible);
    if (!visible) {
      sink_->Apply();
      Publish();
    }
  });
}

void VolumeScanDlg::SetSearchBusy(bool busy) {
  OnInterfaceThread([this, busy] {
    tree_->setEnabled(!busy);
    save_->setEnabled(!busy);
    search_->setEnabled(!busy);
  });
}

void VolumeScanDlg::SetVolumeField(std::wstring_view text) {
  OnInterfaceThread([this, value = QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size()))] {
    volumeField_->setText(value);
  });
}

void VolumeScanDlg::SetAdvancedLabel(std::wstring_view text) {
  OnInterfaceThread([this, value = QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size()))] {
    advancedLabel_->setText(value);
  });
}

void VolumeScanDlg::SetSizeLine(std::wstring_view text) {
  OnInterfaceThread([this, value = QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size()))] {
    sizeLine_->setText(value);
  });
}

void VolumeScanDlg::Publish() {
  listModel_->Sync();
  listModel_->RefreshChecks();
}

void VolumeScanDlg::Back() {
  if (job_->BusyRefused()) return;
  GoBack();
}

void VolumeScanDlg::Save() {
  job_->SaveFolder(treeModel_->ItemOf(tree_->currentIndex()), outputFolder_->text().toStdString());
  sink_->Apply();
}

void VolumeScanDlg::Search() {
  job_->Search(searchBox_->text().toStdWString());
  sink_->Apply();
}

void VolumeScanDlg::ChooseFolder() { outputFolder_->setText(TheShell().ChooseFolder(this)); }

void VolumeScanDlg::TreeSelected() {
  job_->Select(treeModel_->ItemOf(tree_->currentIndex()));
  Publish();
}

void VolumeScanDlg::RowClicked(int row) {
  if (row < 0) return;
  if (!job_->Busy()) ShowPicture(static_cast<size_t>(row));
  job_->Preview(static_cast<size_t>(row));
  Publish();
}

void VolumeScanDlg::ShowPicture(size_t row) {
  pictureShown_ = false;
  picture_->setPixmap(QPixmap());
  picture_->setText(QStringLiteral("No preview for this file."));
  CatalogueTable* table = job_->Table();
  if (!table || row >= listModel_->RowCount()) return;
  const ItemData data = listModel_->Data(row);
  const EntryIndex entry = job_->ListShowsSearchResults() ? table->IndexOf(data) : table->IndexOf(treeModel_->Data(data));
  if (entry == kNoEntry) return;
  const QString name = QString::fromStdWString(table->Name(entry));
  const QByteArray suffix = name.section(QLatin1Char('.'), -1).toLower().toLatin1();
  if (!name.contains(QLatin1Char('.')) || !QImageReader::supportedImageFormats().contains(suffix)) return;
  EntryData stream = table->OpenData(entry);
  std::string bytes;
  if (!stream.valid || !stream.unreadable.empty() || stream.size > kPictureLimit || !ReadWhole(stream, kPictureLimit, bytes)) return;
  QImage image;
  if (!image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()))) {
    picture_->setText(QStringLiteral("This picture cannot be read: its data is damaged or overwritten."));
    return;
  }
  const QSize room = picture_->contentsRect().size() - QSize(8, 8);
  picture_->setPixmap(QPixmap::fromImage(image.scaled(room.expandedTo(QSize(32, 32)), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
  picture_->setToolTip(QStringLiteral("%1  (%2 × %3)").arg(name).arg(image.width()).arg(image.height()));
  pictureShown_ = true;
}

}  // namespace lv
