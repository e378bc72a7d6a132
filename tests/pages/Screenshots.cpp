// lumenvault_screenshots DIR IMAGE [LOST-TABLE-IMAGE]: walks the page chain
// on a disk image (first page, scan mode, volume list, recovery mode,
// results) and saves a PNG of every page into DIR; with a third image (a
// disk whose partition table was zeroed), also the advanced scan's volume
// list while it runs and after it. scripts/screenshots runs it under Xvfb.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QTableView>
#include <QTreeView>
#include <QTreeWidget>
#include <cstdio>

#include "app/QtMessageBox.h"
#include "app/Shell.h"
#include "pages/DriveParsingModes.h"
#include "pages/ParceModeNtfsDlg.h"
#include "pages/Physical_DriveDialog.h"
#include "pages/PopulateDriveDlg.h"
#include "pages/VolumeScanDlg.h"
#include "widgets/ResultModels.h"

using namespace lv;

namespace {

class ImageShell : public Shell {
 public:
  QString image;
  QString ChooseImage(QWidget*) override { return image; }
  void OpenUrl(const QString&) override {}
};

void Settle(int ms = 300) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Shoot(QWidget* page, const QString& dir, const char* name) {
  if (!page) {
    std::fprintf(stderr, "lumenvault_screenshots: no page for %s\n", name);
    return false;
  }
  Settle();
  const QString path = dir + "/" + QString::fromUtf8(name) + ".png";
  if (!page->grab().save(path)) return false;
  std::printf("%s\n", qPrintable(path));
  return true;
}

template <class T>
T* Visible(QWidget* page) {
  for (T* child : page->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly))
    if (child->isVisible()) return child;
  return nullptr;
}

void Click(QWidget* page, int id) {
  if (auto* button = page->findChild<QAbstractButton*>(QString::number(id))) button->click();
}

// Answers every message with OK or Yes and prints it.
class QuietBox : public MessageBox {
 public:
  MessageAnswer Show(std::wstring_view text, std::wstring_view, MessageIcon, MessageButtons buttons) override {
    std::fprintf(stderr, "message: %ls\n", std::wstring(text).c_str());
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: lumenvault_screenshots DIR IMAGE [LOST-TABLE-IMAGE]\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  QuietBox box;
  SetMessages(&box);
  ImageShell shell;
  shell.image = QString::fromLocal8Bit(argv[2]);
  SetShell(&shell);
  bool ok = true;
  {
    Physical_DriveDialog first;
    first.show();
    Click(&first, 1400);
    ok &= Shoot(&first, dir, "1-drive-selection");
    Click(&first, 1003);
    auto* modes = Visible<DriveParsingModes>(&first);
    ok &= Shoot(modes, dir, "2-partition-scan-mode");
    if (modes) Click(modes, 1229);
    auto* list = modes ? Visible<PopulateDriveDlg>(modes) : nullptr;
    if (list) {
      auto* lines = list->findChild<QTreeWidget*>(QStringLiteral("1031"));
      const auto found = lines->findItems(QStringLiteral("NTFS"), Qt::MatchExactly, 1);
      if (!found.isEmpty()) lines->setCurrentItem(found.front());
    }
    ok &= Shoot(list, dir, "3-volume-list");
    if (list) Click(list, 1046);
    auto* mode = list ? Visible<ParceModeNtfsDlg>(list) : nullptr;
    ok &= Shoot(mode, dir, "4-recovery-mode");
    if (mode) Click(mode, 1053);
    auto* scan = mode ? Visible<VolumeScanDlg>(mode) : nullptr;
    if (scan) {
      QElapsedTimer timer;
      timer.start();
      while (scan->Job().Busy() && timer.elapsed() < 60000) Settle(50);
      Settle(200);
      auto* tree = scan->findChild<QTreeView*>(QStringLiteral("1042"));
      QModelIndex at = tree->model()->index(0, 0);
      for (const char* part : {"Pictures", "2020", "Summer holiday"})
        for (int row = 0; row < tree->model()->rowCount(at); ++row)
          if (tree->model()->index(row, 0, at).data().toString() == QString::fromUtf8(part)) {
            at = tree->model()->index(row, 0, at);
            break;
          }
      tree->setCurrentIndex(at);
      tree->expand(at);
      scan->findChild<QLineEdit*>(QStringLiteral("1107"))->setText(QDir::tempPath() + "/recovered");
      Settle(200);
      scan->RowClicked(0);
    }
    ok &= Shoot(scan, dir, "5-results");
  }
  if (argc == 4) {
    // A copy of the disk made large with a sparse tail, so the advanced
    // scan is still running when it is shot.
    QTemporaryDir temp;
    const QString copy = temp.path() + "/lost-table.img";
    QFile file(copy);
    ok &= QFile::copy(QString::fromLocal8Bit(argv[3]), copy) && file.open(QIODevice::ReadWrite) &&
          file.resize(qint64(64) << 30);
    file.close();
    shell.image = copy;
    Physical_DriveDialog first;
    first.show();
    Click(&first, 1400);
    Click(&first, 1003);
    auto* modes = Visible<DriveParsingModes>(&first);
    if (modes) Click(modes, 1324);
    ok &= Shoot(modes, dir, "2b-partition-scan-mode-advanced");
    if (modes) Click(modes, 1229);
    auto* list = modes ? Visible<PopulateDriveDlg>(modes) : nullptr;
    ok &= Shoot(list, dir, "3b-volume-list-advanced-running");
    if (list) Click(list, 1060);
    ok &= Shoot(list, dir, "3c-volume-list-advanced-paused");
    if (list) {
      Click(list, 1034);
      Click(list, 1061);
      QElapsedTimer timer;
      timer.start();
      while (list->ScanRunning() && timer.elapsed() < 60000) Settle(50);
      auto* lines = list->findChild<QTreeWidget*>(QStringLiteral("1031"));
      const auto found = lines->findItems(QStringLiteral("NTFS"), Qt::MatchExactly, 1);
      if (!found.isEmpty()) lines->setCurrentItem(found.front());
    }
    ok &= Shoot(list, dir, "3d-volume-list-advanced-done");
  }
  SetShell(nullptr);
  SetMessages(nullptr);
  return ok ? 0 : 1;
}
