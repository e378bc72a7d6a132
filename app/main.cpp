// lumenvault: the desktop program. One running copy per machine; the first
// page runs modally and owns the program's lifetime.
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/Config.h"
#include "app/QtMessageBox.h"
#include "app/UdisksAccess.h"
#include "pages/Physical_DriveDialog.h"
#include "platform/Process.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("lumenvault %s\n", lv::config::kVersion);
      return 0;
    }
  // The lock is taken before anything else runs.
  lv::InstanceLock lock(lv::config::kInstanceLockName);
  QApplication application(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("Lumenvault"));
  QApplication::setOrganizationName(QStringLiteral("Lumenvault"));
  QApplication::setWindowIcon(lv::ProgramIcon());
  // LUMENVAULT_MESSAGES=stderr: messages go to stderr (and are answered
  // Yes), for scripted runs.
  lv::QtMessageBox qtBox;
  lv::StderrMessageBox stderrBox;
  const char* messages = std::getenv("LUMENVAULT_MESSAGES");
  lv::SetMessages(messages && std::strcmp(messages, "stderr") == 0 ? static_cast<lv::MessageBox*>(&stderrBox) : &qtBox);
  if (!lock.Acquired()) {
    lv::ShowInfo(L"Another instance of application is already running");
    lv::SetMessages(nullptr);
    return 0;
  }
  // A drive the user has no rights to read is asked of udisks2.
  lv::UseUdisksForDevices();
  // The first page owns the program's lifetime: the program ends with its
  // loop, which Enter ends (or the first page's close). Hiding the page for
  // the next one must not end it, so the loop is the application's.
  QApplication::setQuitOnLastWindowClosed(false);
  {
    lv::Physical_DriveDialog first;
    QObject::connect(&first, &QDialog::finished, &application, [] { QCoreApplication::exit(0); });
    first.show();
    QApplication::exec();
  }
  lv::SetMessages(nullptr);
  return 0;
}
