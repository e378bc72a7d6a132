// lumenvault_stall_bench IMAGE [LIMIT_MS]: opens IMAGE on the first page,
// walks to the results page with the standard scan of its first NTFS volume
// (or its only volume), and measures the interface thread while the scan
// runs and while the largest folder fills the list: a 5 ms timer on the
// event loop records the longest gap between its ticks. Prints the worst
// stall; exit status 1 when it is above LIMIT_MS (default 100).
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <cstdio>
#include <cstdlib>

#include "app/Shell.h"
#include "pages/DriveParsingModes.h"
#include "pages/ParceModeNtfsDlg.h"
#include "pages/Physical_DriveDialog.h"
#include "pages/PopulateDriveDlg.h"
#include "pages/VolumeOperations.h"
#include "pages/VolumeScanDlg.h"
#include "platform/MessageBox.h"
#include "widgets/ResultModels.h"

using namespace lv;

namespace {

class ImageShell : public Shell {
 public:
  QString image;
  QString ChooseImage(QWidget*) override { return image; }
  void OpenUrl(const QString&) override {}
};

template <class T>
T* Visible(QWidget* page) {
  for (T* child : page->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly))
    if (child->isVisible()) return child;
  return nullptr;
}

void Click(QWidget* page, int id) {
  if (auto* button = page->findChild<QAbstractButton*>(QString::number(id))) button->click();
}

// The longest gap between ticks of a fast timer, while it runs.
class StallMeter {
 public:
  StallMeter() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.elapsed();
      if (last_ >= 0 && now - last_ > worst_) worst_ = now - last_;
      last_ = now;
    });
    clock_.start();
    timer_.start();
  }
  qint64 Worst() const { return worst_; }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = -1, worst_ = 0;
};

void RunFor(const std::function<bool()>& busy, int limitMs) {
  QElapsedTimer timer;
  timer.start();
  while (busy() && timer.elapsed() < limitMs) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The folder item with the most children (a breadth-first walk).
QModelIndex LargestFolder(QAbstractItemModel& model) {
  QModelIndex best;
  int bestCount = -1;
  std::vector<QModelIndex> queue = {model.index(0, 0)};
  for (size_t i = 0; i < queue.size() && i < 200000; ++i) {
    const int count = model.rowCount(queue[i]);
    if (count > bestCount) bestCount = count, best = queue[i];
    for (int row = 0; row < count; ++row)
      if (model.hasChildren(model.index(row, 0, queue[i]))) queue.push_back(model.index(row, 0, queue[i]));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: lumenvault_stall_bench IMAGE [LIMIT_MS]\n");
    return 2;
  }
  const qint64 limit = argc > 2 ? std::atoll(argv[2]) : 100;
  StderrMessageBox box;
  SetMessages(&box);
  ImageShell shell;
  shell.image = QString::fromLocal8Bit(argv[1]);
  SetShell(&shell);
  qint64 scanWorst = -1, listWorst = -1;
  {
    Physical_DriveDialog first;
    first.show();
    Click(&first, 1400);
    Click(&first, 1003);
    ParceModeNtfsDlg* mode = nullptr;
    if (auto* info = Visible<VolumeOperations>(&first)) {
      Click(info, 1046);
      mode = Visible<ParceModeNtfsDlg>(info);
    } else if (auto* modes = Visible<DriveParsingModes>(&first)) {
      Click(modes, 1229);
      if (auto* list = Visible<PopulateDriveDlg>(modes)) {
        auto* lines = list->findChild<QTreeWidget*>(QStringLiteral("1031"));
        const auto found = lines->findItems(QStringLiteral("NTFS"), Qt::MatchExactly, 1);
        if (!found.isEmpty()) lines->setCurrentItem(found.front());
        Click(list, 1046);
        mode = Visible<ParceModeNtfsDlg>(list);
      }
    }
    if (!mode) {
      std::fprintf(stderr, "lumenvault_stall_bench: no volume to scan in %s\n", argv[1]);
      return 1;
    }
    QElapsedTimer clock;
    clock.start();
    {
      StallMeter meter;
      Click(mode, 1053);
      auto* scan = Visible<VolumeScanDlg>(mode);
      if (!scan) return 1;
      RunFor([&] { return scan->Job().Busy(); }, 30 * 60 * 1000);
      RunFor([] { return true; }, 200);
      scanWorst = meter.Worst();
      std::printf("scan seconds\t%.2f\n", clock.elapsed() / 1000.0);
      StallMeter listMeter;
      auto* tree = scan->findChild<QTreeView*>(QStringLiteral("1042"));
      const QModelIndex folder = LargestFolder(scan->TreeModel());
      QTimer::singleShot(0, [&] { tree->setCurrentIndex(folder); });
      RunFor([] { return true; }, 500);
      listWorst = listMeter.Worst();
      std::printf("largest folder rows\t%zu\n", scan->ListModel().RowCount());
    }
    SetShell(nullptr);
  }
  SetMessages(nullptr);
  std::printf("worst stall during the scan ms\t%lld\n", static_cast<long long>(scanWorst));
  std::printf("worst stall filling the list ms\t%lld\n", static_cast<long long>(listWorst));
  return scanWorst <= limit && listWorst <= limit ? 0 : 1;
}
