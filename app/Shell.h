// What the pages ask of the desktop: opening an address, the folder chooser,
// the disk-image chooser and the end of the program. The program uses the
// desktop's own; the page tests install a recording one.
#pragma once

#include <QString>

class QWidget;

namespace lv {

class Shell {
 public:
  virtual ~Shell() = default;
  virtual void OpenUrl(const QString& url);
  // "Please choose a folder."; empty when cancelled.
  virtual QString ChooseFolder(QWidget* owner);
  // A disk image or device file to open; empty when cancelled.
  virtual QString ChooseImage(QWidget* owner);
  // immediate: the process ends at once (exit code 0) without joining any
  // worker; otherwise the first page's modal loop ends.
  virtual void EndProgram(bool immediate);
};

Shell& TheShell();
// Installs a shell (null: the desktop's). Not owned.
void SetShell(Shell* shell);

// Process-wide markers of the page chain.
extern int OriginPageId;
extern int VolumeSource;

}  // namespace lv
