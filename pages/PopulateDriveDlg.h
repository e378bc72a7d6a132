// The volume-list page (dialog 134): runs the standard or the advanced scan,
// shows the volumes found, and lets the user correct the chosen row before
// Next. The rows, lines and their operations are VolumeList's;
// the page mirrors them in its four-column list and maps its controls onto
// VolumeList's calls.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/WizardPage.h"
#include "disk/VolumeList.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace lv {

class CoalescingSink;

class PopulateDriveDlg : public WizardPage, private VolumeListView {
  Q_OBJECT

 public:
  // What the partition-scan mode page hands over.
  struct Values {
    std::string devicePath;
    int mode = 1;  // 1 standard, 2 advanced
    bool noSkip = false;
    bool gpt = false;
    std::optional<int64_t> customStart, customEnd;
  };
  PopulateDriveDlg(WizardPage* parentPage, const Values& values);
  ~PopulateDriveDlg() override;

  const VolumeEntry* ChosenVolume() const override { return chosen_ ? &*chosen_ : nullptr; }
  std::string SourcePath() const override { return values_.devicePath; }
  std::vector<VolumeEntry> Rows() const { return volumes_.Rows(); }
  // The advanced scan's worker has not ended yet.
  bool ScanRunning() const { return workerRunning_.load(); }

  void Next();
  void Back();

 protected:
  void StopWorkers() override;
  bool EnterEndsAtOnce() const override { return true; }

 private:
  // VolumeListView: the list control and the controls the operations set;
  // calls from the advanced scan's worker are carried to this thread.
  void LinesCleared() override;
  void LineInserted(size_t position, const VolumeLine& line) override;
  void LineSelected(size_t position) override;
  void SetCustomChecked(bool checked) override;
  void SetCustomCheckEnabled(bool enabled) override;
  void SetFilterEnabled(bool enabled) override;
  void SetAddCustomEnabled(bool enabled) override;
  void SetBackEnabled(bool enabled) override;
  void SetNextEnabled(bool enabled) override;
  void SetWorkerControlsVisible(bool visible) override;
  void OnInterfaceThread(std::function<void()> action);

  bool OpenSource();
  void StandardScan();
  void AdvancedScan();
  void WorkerEnded();
  void Stop();
  void RowSelected();
  void LineClicked(int line);
  void AddCustomVolume();
  void FilterEntries();
  void CustomToggled();
  void Step(QLineEdit* edit, int delta);
  // The custom settings controls from VolumeList::settings, and back.
  void ShowSettings();
  void TakeSettings();

  Values values_;
  VolumeList volumes_{static_cast<VolumeListView&>(*this)};
  std::optional<VolumeEntry> chosen_;
  std::thread worker_;
  // Running: from the start until the page has taken the worker's end;
  // done: the worker's last step is behind it.
  std::atomic<bool> workerRunning_{false};
  std::atomic<bool> workerDone_{false};
  bool backPending_ = false;
  QTreeWidget* list_;
  QCheckBox* customBox_;
  QLabel* selectedVolume_;
  QLineEdit* startEdit_;
  QLineEdit* endEdit_;
  QComboBox* treatAs_;
  QList<QWidget*> customControls_;
  QList<QWidget*> workerControls_;
  QProgressBar* progress_;
  QLabel* status_;
  CoalescingSink* sink_ = nullptr;
  QPushButton* filter_;
  QPushButton* addCustom_;
  QPushButton* back_;
  QPushButton* next_;
};

}  // namespace lv
