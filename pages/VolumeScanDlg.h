// The results page (dialog 139, "VOLUME-SCAN"): the scan job's tree and
// list, search, save, preview, and the picture of the selected photo.
#pragma once

#include <memory>

#include "app/WizardPage.h"
#include "catalogue/PageControls.h"
#include "catalogue/ScanJob.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTableView;
class QTreeView;

namespace lv {

class CoalescingSink;
class FileListModel;
class ResultTreeModel;

class VolumeScanDlg : public WizardPage, private PageControls {
  Q_OBJECT

 public:
  VolumeScanDlg(WizardPage* parentPage, const VolumeEntry& volume, int recoveryMode);
  ~VolumeScanDlg() override;

  ScanJob& Job() { return *job_; }
  ResultTreeModel& TreeModel() { return *treeModel_; }
  FileListModel& ListModel() { return *listModel_; }
  // The picture shown for the selected photo (null when none is shown).
  bool PictureShown() const { return pictureShown_; }

  void Back();
  void Save();
  void Search();
  void ChooseFolder();
  void RowClicked(int row);

 protected:
  bool ExitRefused() override { return job_->BusyRefused(); }
  void StopWorkers() override { job_->Exit(); }
  bool EnterEndsAtOnce() const override { return true; }

 private:
  // PageControls, called from the worker too.
  void SetBackEnabled(bool enabled) override;
  void SetWorkerControlsVisible(bool visible) override;
  void SetSearchBusy(bool busy) override;
  void SetVolumeField(std::wstring_view text) override;
  void SetAdvancedLabel(std::wstring_view text) override;
  void SetSizeLine(std::wstring_view text) override;
  void OnInterfaceThread(std::function<void()> action);

  void TreeSelected();
  void ShowPicture(size_t row);
  void Publish();

  VolumeEntry volume_;
  ResultTreeModel* treeModel_;
  FileListModel* listModel_;
  CoalescingSink* sink_;
  std::unique_ptr<ScanJob> job_;
  QTreeView* tree_;
  QTableView* list_;
  QLabel* picture_;
  QLabel* status_;
  QLabel* sizeLine_;
  QLabel* advancedLabel_;
  QLineEdit* volumeField_;
  QLineEdit* searchBox_;
  QLineEdit* outputFolder_;
  QProgressBar* progress_;
  QPushButton* back_;
  QPushButton* save_;
  QPushButton* search_;
  QList<QWidget*> workerControls_;
  bool pictureShown_ = false;
};

}  // namespace lv
