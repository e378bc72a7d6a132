// The partition-scan mode page (dialog 152): standard or advanced scan of
// the chosen drive, with the advanced scan's options.
#pragma once

#include <string>

#include "app/WizardPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace lv {

class Physical_DriveDialog;

class DriveParsingModes : public WizardPage {
  Q_OBJECT

 public:
  explicit DriveParsingModes(Physical_DriveDialog* first);
  std::string SourcePath() const override { return devicePath_; }
  void Next();

 private:
  void StandardChosen();
  void AdvanceChosen();
  void CustomToggled();

  std::string devicePath_;
  QRadioButton* standard_;
  QRadioButton* advance_;
  QCheckBox* gpt_;
  QCheckBox* noSkip_;
  QCheckBox* custom_;
  QLineEdit* startEdit_;
  QLineEdit* endEdit_;
  QLabel* startLabel_;
  QLabel* endLabel_;
};

}  // namespace lv
