// The first page (dialog 130): drives and volumes, the categories to scan
// for, and "Open Disk Image...".
#pragma once

#include <deque>
#include <string>

#include "app/WizardPage.h"

class QCheckBox;
class QTreeWidget;
class QTreeWidgetItem;

namespace lv {

class Physical_DriveDialog : public WizardPage {
  Q_OBJECT

 public:
  explicit Physical_DriveDialog(QWidget* unused = nullptr);
  ~Physical_DriveDialog() override;

  // The selected tree item (null when none).
  QTreeWidgetItem* SelectedItem() const;
  // A drive item's device path; empty for other items.
  static std::string DrivePath(const QTreeWidgetItem* item);
  // A volume item's entry; null for other items.
  const VolumeEntry* VolumeOf(const QTreeWidgetItem* item) const;

  // "Open Disk Image...": the file goes under "     VOLUMES:" when it holds
  // one volume, else under "     PHYSICAL DRIVES:"; the new item is selected.
  void AddImage(const QString& path);
  void Next();

 private:
  void Enumerate();
  QTreeWidgetItem* AddVolumeItem(const VolumeEntry& entry);

  QTreeWidget* tree_;
  QTreeWidgetItem* volumesItem_;
  QTreeWidgetItem* drivesItem_;
  QCheckBox* photo_;
  QCheckBox* audio_;
  QCheckBox* video_;
  // The logical volumes, for the page's lifetime (the items refer to them).
  std::deque<VolumeEntry> volumes_;
};

}  // namespace lv
