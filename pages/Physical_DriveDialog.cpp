#include "pages/Physical_DriveDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Shell.h"
#include "catalogue/Categories.h"
#include "common/Text.h"
#include "disk/BootSectorTests.h"
#include "disk/DriveList.h"
#include "disk/Reader.h"
#include "pages/DriveParsingModes.h"
#include "pages/VolumeOperations.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {
constexpr int kPathRole = Qt::UserRole;
constexpr int kVolumeRole = Qt::UserRole + 1;

QString ToQt(const std::wstring& text) { return QString::fromStdWString(text); }
}  // namespace

Physical_DriveDialog::Physical_DriveDialog(QWidget*) : WizardPage(nullptr, 130) {
  auto* group = new QGroupBox(QStringLiteral("Currently system contains:"), this);
  auto* groupLayout = new QVBoxLayout(group);
  tree_ = new QTreeWidget(group);
  tree_->setObjectName(ControlName(1022));
  tree_->setHeaderHidden(true);
  tree_->setMouseTracking(true);
  tree_->setRootIsDecorated(true);
  groupLayout->addWidget(tree_);
  Body()->addWidget(group, 1);

  auto* options = new QHBoxLayout;
  options->addWidget(new QLabel(QStringLiteral("Scan For :"), this));
  photo_ = new QCheckBox(QStringLiteral("Photo"), this);
  photo_->setObjectName(ControlName(1255));
  audio_ = new QCheckBox(QStringLiteral("Audio"), this);
  audio_->setObjectName(ControlName(1328));
  video_ = new QCheckBox(QStringLiteral("Video"), this);
  video_->setObjectName(ControlName(1330));
  for (QCheckBox* box : {photo_, audio_, video_}) {
    box->setChecked(true);
    options->addWidget(box);
  }
  options->addStretch(1);
  auto* image = MakeButton(QStringLiteral("Open Disk Image..."), 1400, ButtonImage::Disk);
  image->setToolTip(QStringLiteral("Add a disk image file to the list."));
  connect(image, &QPushButton::clicked, this, [this] {
    const QString path = TheShell().ChooseImage(this);
    if (!path.isEmpty()) AddImage(path);
  });
  options->addWidget(image);
  Body()->addLayout(options);
  auto* hint = new QLabel(QStringLiteral("Select volume or drive to continue the recovery process "), this);
  Body()->addWidget(hint);

  auto* next = MakeButton(QStringLiteral("Next"), 1003, ButtonImage::Next, true);
  connect(next, &QPushButton::clicked, this, &Physical_DriveDialog::Next);
  ButtonRow()->addWidget(next);

  volumesItem_ = new QTreeWidgetItem(tree_, QStringList(QStringLiteral("     VOLUMES:")));
  drivesItem_ = new QTreeWidgetItem(tree_, QStringList(QStringLiteral("     PHYSICAL DRIVES:")));
  Enumerate();
  volumesItem_->setExpanded(true);
  drivesItem_->setExpanded(true);
}

Physical_DriveDialog::~Physical_DriveDialog() { SharedReader.reset(); }

void Physical_DriveDialog::Enumerate() {
  const QIcon driveIcon = style()->standardIcon(QStyle::SP_DriveHDIcon);
  for (const PhysicalDrive& drive : EnumeratePhysicalDrives()) {
    auto* item = new QTreeWidgetItem(drivesItem_, QStringList(ToQt(drive.text)));
    item->setIcon(0, driveIcon);
    item->setData(0, kPathRole, QString::fromStdString(drive.path));
    item->setToolTip(0, QString::fromStdString(drive.path));
  }
  const std::vector<VolumeEntry> volumes = EnumerateLogicalVolumes();
  for (auto it = volumes.rbegin(); it != volumes.rend(); ++it) AddVolumeItem(*it);
}

QTreeWidgetItem* Physical_DriveDialog::AddVolumeItem(const VolumeEntry& entry) {
  volumes_.push_back(entry);
  auto* item = new QTreeWidgetItem(volumesItem_, QStringList(ToQt(entry.label)));
  item->setIcon(0, style()->standardIcon(QStyle::SP_DriveHDIcon));
  item->setData(0, kVolumeRole, static_cast<qulonglong>(volumes_.size() - 1));
  item->setToolTip(0, QStringLiteral("%1  %2  %3").arg(ToQt(entry.name), ToQt(entry.fileSystem), ToQt(entry.sizeText)));
  return item;
}

QTreeWidgetItem* Physical_DriveDialog::SelectedItem() const {
  const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
  return selected.isEmpty() ? nullptr : selected.front();
}

std::string Physical_DriveDialog::DrivePath(const QTreeWidgetItem* item) {
  return item ? item->data(0, kPathRole).toString().toStdString() : std::string();
}

const VolumeEntry* Physical_DriveDialog::VolumeOf(const QTreeWidgetItem* item) const {
  if (!item || !item->data(0, kVolumeRole).isValid()) return nullptr;
  const auto index = item->data(0, kVolumeRole).toULongLong();
  return index < volumes_.size() ? &volumes_[index] : nullptr;
}

void Physical_DriveDialog::AddImage(const QString& path) {
  FileReadSeek reader;
  const int64_t sectorsBefore = DeviceSectorCount;
  if (!reader.OpenUtf8(path.toStdString())) {
    ShowInfo(L"file not opened..");
    return;
  }
  const int64_t sectors = DeviceSectorCount;
  DeviceSectorCount = sectorsBefore;
  const std::wstring fileSystem = RecognizeFileSystem(reader, 0, sectors);
  QTreeWidgetItem* item;
  if (fileSystem != L"Unknown") {
    VolumeEntry entry;
    entry.fileSystem = fileSystem;
    entry.label = path.toStdWString();
    entry.name = path.toStdWString();
    entry.sizeText = Format(L"%d  MB", static_cast<int>(sectors / 2048));
    item = AddVolumeItem(entry);
  } else {
    item = new QTreeWidgetItem(drivesItem_, QStringList(path));
    item->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
    item->setData(0, kPathRole, path);
    item->setToolTip(0, path);
  }
  tree_->setCurrentItem(item);
  item->setSelected(true);
}

void Physical_DriveDialog::Next() {
  if (!BuildCategoryFilter(photo_->isChecked(), audio_->isChecked(), video_->isChecked())) {
    ShowInfo(L"Please select at least one Format to proceed..");
    return;
  }
  QTreeWidgetItem* item = SelectedItem();
  const QString parentText = item && item->parent() ? item->parent()->text(0).trimmed() : QString();
  SharedReader = std::make_unique<FileReadSeek>();
  OriginPageId = 130;
  if (parentText == QStringLiteral("VOLUMES:")) {
    VolumeSource = 1;
    OpenChild(new VolumeOperations(this));
  } else if (parentText == QStringLiteral("PHYSICAL DRIVES:")) {
    VolumeSource = 0;
    OpenChild(new DriveParsingModes(this));
  } else {
    ShowInfo(L"Please select a volume or a drive..");
  }
}

}  // namespace lv
