// The volume information page (dialog 135): what is known of the chosen
// logical volume.
#pragma once

#include "app/WizardPage.h"

namespace lv {

class Physical_DriveDialog;

class VolumeOperations : public WizardPage {
  Q_OBJECT

 public:
  explicit VolumeOperations(Physical_DriveDialog* first);
  const VolumeEntry* ChosenVolume() const override { return &entry_; }
  std::string SourcePath() const override;
  void Next();

 private:
  VolumeEntry entry_;
};

}  // namespace lv
