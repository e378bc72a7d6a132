// The volume-list page (dialog 134): the volumes the partition scan found,
// the custom settings for the chosen row, Filter Entries, and Next with the
// finalised row.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/WizardPage.h"
#include "common/WorkerProtocol.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace lv {

class PopulateDriveDlg : public WizardPage {
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

  const VolumeEntry* ChosenVolume() const override { return chosen_ ? &*chosen_ : nullptr; }
  std::string SourcePath() const override { return values_.devicePath; }
  const std::vector<VolumeEntry>& Rows() const { return rows_; }

  void Next();
  void FilterEntries();

 protected:
  bool EnterEndsAtOnce() const override { return true; }

 private:
  void StandardScan();
  void ShowRows();
  void InsertLineAtTop(size_t row);
  void RowSelected();
  void LineClicked(QTreeWidgetItem* line);
  void CustomToggled();
  void Step(QLineEdit* edit, int delta);
  size_t RowOf(const QTreeWidgetItem* line) const;

  Values values_;
  std::vector<VolumeEntry> rows_;
  std::optional<VolumeEntry> chosen_;
  bool customApplied_ = false;
  QTreeWidget* list_;
  QCheckBox* customBox_;
  QLabel* selectedVolume_;
  QLineEdit* startEdit_;
  QLineEdit* endEdit_;
  QComboBox* treatAs_;
  QList<QWidget*> customControls_;
  QProgressBar* progress_;
  QLabel* status_;
  QWidget* stop_;
  QWidget* filter_;
  QWidget* addCustom_;
};

}  // namespace lv
