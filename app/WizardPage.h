// The frame every wizard page shares: title, icon, banner, the Help menu
// button, the hidden default button that Enter presses, Exit with its
// question, Next (a child page shown, this one hidden) and Back (this page
// destroyed, its parent shown again).
#pragma once

#include <QDialog>
#include <QString>

#include "disk/VolumeEntry.h"
#include "widgets/Artwork.h"

class QPushButton;
class QToolButton;
class QVBoxLayout;
class QHBoxLayout;

namespace lv {

class WizardPage : public QDialog {
  Q_OBJECT

 public:
  // dialogId: the page's dialog number (130, 152, ...). parentPage: the page
  // that opened it (null for the first page).
  WizardPage(WizardPage* parentPage, int dialogId);
  int DialogId() const { return dialogId_; }
  WizardPage* ParentPage() const { return parentPage_; }

  // The volume this page hands down (the recovery-mode page reads it from
  // the page that opened it); null when the page has none.
  virtual const VolumeEntry* ChosenVolume() const { return nullptr; }
  // The path of the source the volume lies on (the writer refuses an output
  // folder on it).
  virtual std::string SourcePath() const { return parentPage_ ? parentPage_->SourcePath() : std::string(); }

  // Exit: the question, and on Yes the home page and the end of the program.
  void RequestExit();
  // Enter: the hidden default button.
  void PressEnter();
  // Back: the parent shown again, this page destroyed.
  void GoBack();

 protected:
  // The area below the banner where the page puts its controls.
  QVBoxLayout* Body() const { return body_; }
  // The row of buttons at the bottom (Help is already there, on the left).
  QHBoxLayout* ButtonRow() const { return buttons_; }
  QPushButton* MakeButton(const QString& text, int id, ButtonImage image, bool trailingIcon = false);
  // Shows child and hides this page.
  void OpenChild(WizardPage* child);

  // Exit and Enter refused while a worker runs (the page says why); stop
  // requests before the program ends; whether Enter ends the process at once.
  virtual bool ExitRefused() { return false; }
  virtual void StopWorkers() {}
  virtual bool EnterEndsAtOnce() const { return false; }

  void reject() override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  WizardPage* parentPage_;
  int dialogId_;
  QVBoxLayout* body_ = nullptr;
  QHBoxLayout* buttons_ = nullptr;
  QToolButton* help_ = nullptr;
  QPushButton* exit_ = nullptr;
};

// The object name of a control: its identifier as text.
QString ControlName(int id);

}  // namespace lv
