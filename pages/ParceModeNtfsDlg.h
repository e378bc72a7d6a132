// The recovery-mode page (dialog 136): Standard, Advanced or Deep, as the
// volume's file system allows. The advanced-input page is not part of this
// build yet, so the Advanced radio stays hidden.
#pragma once

#include "app/WizardPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

namespace lv {

class ParceModeNtfsDlg : public WizardPage {
  Q_OBJECT

 public:
  ParceModeNtfsDlg(WizardPage* parentPage, const VolumeEntry& volume);
  const VolumeEntry* ChosenVolume() const override { return &volume_; }
  int Mode() const { return mode_; }
  void Next();

 private:
  void Choose(int mode);

  VolumeEntry volume_;
  QString prefix_;
  int mode_ = 1;
  QRadioButton* standard_;
  QRadioButton* advanced_;
  QRadioButton* deep_;
  QCheckBox* formatted_;
  QLabel* standardNote_;
  QLabel* deepNote_;
  QList<QWidget*> maxControls_;
};

}  // namespace lv
