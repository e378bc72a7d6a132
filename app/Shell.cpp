#include "app/Shell.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>
#include <cstdio>

namespace lv {

int OriginPageId = 0;
int VolumeSource = 0;

namespace {
Shell desktopShell;
Shell* installed = nullptr;
}  // namespace

Shell& TheShell() { return installed ? *installed : desktopShell; }
void SetShell(Shell* shell) { installed = shell; }

void Shell::OpenUrl(const QString& url) { QDesktopServices::openUrl(QUrl(url)); }

QString Shell::ChooseFolder(QWidget* owner) {
  return QFileDialog::getExistingDirectory(owner, QStringLiteral("Please choose a folder."), QString(),
                                           QFileDialog::ShowDirsOnly);
}

QString Shell::ChooseImage(QWidget* owner) {
  return QFileDialog::getOpenFileName(owner, QStringLiteral("Open Disk Image"), QString(),
                                      QStringLiteral("Disk images (*.img *.dd *.raw *.bin *.iso *.dmg *.vhd);;All files (*)"));
}

void Shell::EndProgram(bool immediate) {
  if (immediate) {
    std::fflush(nullptr);
    ::_exit(0);
  }
  QCoreApplication::exit(0);
}

}  // namespace lv
