// The wizard's pages driven through their controls, found by their
// identifiers, under the offscreen platform with the recording message box.
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QMessageBox>
#include <QTimer>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "app/Config.h"
#include "app/QtMessageBox.h"
#include "app/Shell.h"
#include "catalogue/Categories.h"
#include "disk/DriveList.h"
#include "pages/DriveParsingModes.h"
#include "pages/ParceModeNtfsDlg.h"
#include "pages/Physical_DriveDialog.h"
#include "pages/PopulateDriveDlg.h"
#include "pages/VolumeOperations.h"
#include "pages/VolumeScanDlg.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "unit/CatalogueFakeTable.h"
#include "widgets/CoalescingSink.h"
#include "widgets/ResultModels.h"

using namespace lv;

namespace {

class RecordingShell : public Shell {
 public:
  void OpenUrl(const QString& url) override { urls << url; }
  QString ChooseFolder(QWidget*) override { return folder; }
  QString ChooseImage(QWidget*) override { return image; }
  void EndProgram(bool immediate) override { endings.push_back(immediate); }
  QStringList urls;
  QString folder, image;
  std::vector<bool> endings;
};

QString Fixture(const char* name) { return QStringLiteral(LV_FIXTURE_DIR "/") + QString::fromUtf8(name); }

template <class T>
T* Control(QWidget* page, int id) {
  T* control = page->findChild<T*>(QString::number(id));
  if (!control) qFatal("control %d not found on page %s", id, qPrintable(page->objectName()));
  return control;
}

void Click(QWidget* page, int id) { Control<QAbstractButton>(page, id)->click(); }

template <class T>
T* ChildPage(QWidget* page) {
  for (T* child : page->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly))
    if (child->isVisible()) return child;
  return nullptr;
}

// The item of the results tree at a path below ROOT ("" for ROOT).
QModelIndex Find(const QAbstractItemModel& model, const QString& path) {
  QModelIndex at = model.index(0, 0);
  if (path.isEmpty()) return at;
  for (const QString& part : path.split(QLatin1Char('/'))) {
    QModelIndex next;
    for (int row = 0; row < model.rowCount(at); ++row)
      if (model.index(row, 0, at).data().toString() == part) next = model.index(row, 0, at);
    if (!next.isValid()) return next;
    at = next;
  }
  return at;
}

QString Cli(const QStringList& arguments) {
  QProcess cli;
  cli.start(QStringLiteral(LV_CLI), arguments);
  cli.waitForFinished(120000);
  return QString::fromUtf8(cli.readAllStandardOutput());
}

// Relative path -> contents of every file below a folder.
QMap<QString, QByteArray> Files(const QString& folder) {
  QMap<QString, QByteArray> files;
  QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    files.insert(QDir(folder).relativeFilePath(path), file.readAll());
  }
  return files;
}

// An engine whose worker waits until released, so a scan stays running.
std::atomic<bool> releaseWorker{false};
class HeldTable : public test::FakeTable {
 public:
  WorkerEnd RunWorker(int32_t, const AdvancedChoices&, ScanSteps& steps) override {
    steps.CreateRootItem();
    while (!releaseWorker.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    steps.FillTree();
    return WorkerEnd{L"Scanning process completed.", L"Processing done...", false};
  }
};
std::unique_ptr<VolumeAdapter> MakeHeld(const EngineSetup&) {
  auto table = std::make_unique<HeldTable>();
  table->File(test::FakeTable::kRoot, u"held.jpg", "jpeg");
  // A real picture, for the preview.
  QImage picture(40, 30, QImage::Format_RGB32);
  picture.fill(Qt::darkCyan);
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  picture.save(&buffer, "PNG");
  table->File(test::FakeTable::kRoot, u"photo.png", png.toStdString());
  return table;
}
constexpr EngineType kHeldType{L"HELDFS", L"HELD", kStandardMode, false, MakeHeld};

}  // namespace

class Pages : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    box.Clear();
    box.answer = MessageAnswer::Yes;
    shell = RecordingShell();
    SetMessages(&box);
    SetShell(&shell);
  }
  void cleanup() {
    SetShell(nullptr);
    SetMessages(nullptr);
  }

  void noCategoryIsRefusedBeforeTheSelection() {
    Physical_DriveDialog first;
    for (int id : {1255, 1328, 1330}) QVERIFY(Control<QCheckBox>(&first, id)->isChecked());
    for (int id : {1255, 1328, 1330}) Control<QCheckBox>(&first, id)->setChecked(false);
    Click(&first, 1003);
    QCOMPARE(box.Texts(), std::vector<std::wstring>{L"Please select at least one Format to proceed.."});
    QVERIFY(CategoryFilter.empty());
  }

  void aTopLevelItemIsNoChoice() {
    Physical_DriveDialog first;
    first.show();
    auto* tree = Control<QTreeWidget>(&first, 1022);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("     VOLUMES:"));
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("     PHYSICAL DRIVES:"));
    tree->setCurrentItem(tree->topLevelItem(1));
    Click(&first, 1003);
    QCOMPARE(box.Texts(), std::vector<std::wstring>{L"Please select a volume or a drive.."});
    QVERIFY(first.isVisible());
    QVERIFY(!ChildPage<DriveParsingModes>(&first));
  }

  void enterEndsTheProgramWithoutAQuestion() {
    Physical_DriveDialog first;
    first.show();
    QTest::keyClick(&first, Qt::Key_Return);
    QVERIFY(box.Texts().empty());
    QCOMPARE(shell.endings, std::vector<bool>{false});
  }

  void noToTheCloseQuestionLeavesThePage() {
    Physical_DriveDialog first;
    first.show();
    box.answer = MessageAnswer::No;
    QTest::keyClick(&first, Qt::Key_Escape);
    QCOMPARE(box.Texts(), std::vector<std::wstring>{L"Do you want to Close Application ?"});
    QCOMPARE(box.Messages()[0].icon, MessageIcon::Question);
    QCOMPARE(box.Messages()[0].buttons, MessageButtons::YesNo);
    QVERIFY(first.isVisible());
    QVERIFY(shell.endings.empty());
    box.answer = MessageAnswer::Yes;
    first.close();
    QCOMPARE(shell.endings, std::vector<bool>{true});
    QCOMPARE(shell.urls, QStringList{QString::fromUtf8(config::kHomePageUrl)});
  }

  void anImageOfOneVolumeIsListedAsAVolume() {
    Physical_DriveDialog first;
    first.show();
    shell.image = Fixture("fat16.img");
    Click(&first, 1400);
    QTreeWidgetItem* item = first.SelectedItem();
    QVERIFY(item);
    QCOMPARE(item->parent()->text(0), QStringLiteral("     VOLUMES:"));
    Click(&first, 1003);
    auto* info = ChildPage<VolumeOperations>(&first);
    QVERIFY(info);
    QVERIFY(!first.isVisible());
    QCOMPARE(Control<QLabel>(info, 1041)->text(), QStringLiteral("FAT16"));
    QCOMPARE(Control<QLabel>(info, 1039)->text(), Fixture("fat16.img"));
    Click(info, 1037);
    QVERIFY(first.isVisible());
    QCOMPARE(first.SelectedItem(), item);
  }

  void modesFollowTheFileSystem() {
    Physical_DriveDialog first;
    const auto offered = [&](const wchar_t* fileSystem) {
      VolumeEntry entry;
      entry.fileSystem = fileSystem;
      ParceModeNtfsDlg page(&first, entry);
      page.show();
      QString modes;
      for (int id : {1047, 1048, 1049})
        if (Control<QRadioButton>(&page, id)->isVisible()) modes += Control<QRadioButton>(&page, id)->text() + " ";
      return modes.trimmed();
    };
    QCOMPARE(offered(L"extX"), QStringLiteral("Standard"));
    QCOMPARE(offered(L"HFS+"), QStringLiteral("Standard Deep"));
    QCOMPARE(offered(L"NTFS"), QStringLiteral("Standard Deep"));
    QCOMPARE(offered(L"FAT32"), QStringLiteral("Standard"));
    QCOMPARE(offered(L"exFAT"), QStringLiteral("Standard"));
  }

  void theVolumeListCorrectsTheChosenRow() {
    Physical_DriveDialog first;
    first.show();
    shell.image = Fixture("mbr-mixed.img");
    Click(&first, 1400);
    QCOMPARE(first.SelectedItem()->parent()->text(0), QStringLiteral("     PHYSICAL DRIVES:"));
    Click(&first, 1003);
    auto* modes = ChildPage<DriveParsingModes>(&first);
    QVERIFY(modes);
    QCOMPARE(Control<QLabel>(modes, 1263)->text(), Fixture("mbr-mixed.img"));
    QVERIFY(Control<QRadioButton>(modes, 1323)->isChecked());
    QVERIFY(Control<QRadioButton>(modes, 1324)->isEnabled());
    QVERIFY(!Control<QCheckBox>(modes, 1153)->isEnabled());
    Click(modes, 1229);
    auto* list = ChildPage<PopulateDriveDlg>(modes);
    QVERIFY(list);
    QVERIFY(!Control<QPushButton>(list, 1160)->isVisible());
    QCOMPARE(Control<QLabel>(list, 1316)->text(), QStringLiteral("Select volume and click next button..."));
    auto* lines = Control<QTreeWidget>(list, 1031);
    QCOMPARE(lines->topLevelItemCount(), 4);
    QCOMPARE(lines->topLevelItem(1)->text(1), QStringLiteral("NTFS"));
    // Selecting a row: start and end of its sectors; a click preselects its kind.
    lines->setCurrentItem(lines->topLevelItem(1));
    QCOMPARE(Control<QLineEdit>(list, 1146)->text(), QStringLiteral("20480"));
    QCOMPARE(Control<QLineEdit>(list, 1149)->text(), QString::number(20480 + 12 * 2048 - 1));
    // Spins: up adds one, down stops at 0.
    Control<QCheckBox>(list, 1131)->setChecked(true);
    Control<QLineEdit>(list, 1146)->setText(QStringLiteral("0"));
    list->findChild<QToolButton*>(QStringLiteral("1145.down"))->click();
    QCOMPARE(Control<QLineEdit>(list, 1146)->text(), QStringLiteral("0"));
    list->findChild<QToolButton*>(QStringLiteral("1145.up"))->click();
    QCOMPARE(Control<QLineEdit>(list, 1146)->text(), QStringLiteral("1"));
    // Custom settings: FAT32 from 2048 for 100 MiB.
    Control<QCheckBox>(list, 1131)->setChecked(true);
    Control<QLineEdit>(list, 1146)->setText(QStringLiteral("2048"));
    Control<QLineEdit>(list, 1149)->setText(QString::number(2048 + 100 * 2048 - 1));
    auto* treatAs = Control<QComboBox>(list, 1152);
    treatAs->setCurrentIndex(treatAs->findText(QStringLiteral("FAT32")));
    Click(list, 1046);
    auto* mode = ChildPage<ParceModeNtfsDlg>(list);
    QVERIFY(mode);
    QCOMPARE(mode->ChosenVolume()->startSector, 2048);
    QCOMPARE(mode->ChosenVolume()->sizeText, std::wstring(L"100"));
    QCOMPARE(mode->ChosenVolume()->fileSystem, std::wstring(L"fat32"));
    // Back, custom settings off: the row as its line shows it.
    Click(mode, 1051);
    Control<QCheckBox>(list, 1131)->setChecked(false);
    Click(list, 1046);
    mode = ChildPage<ParceModeNtfsDlg>(list);
    QVERIFY(mode);
    QCOMPARE(mode->ChosenVolume()->fileSystem, std::wstring(L"NTFS"));
    QCOMPARE(mode->ChosenVolume()->startSector, 20480);
    Click(mode, 1051);
    // No line selected after Filter Entries (no adjacent rows here).
    Click(list, 1229);
    QCOMPARE(lines->topLevelItemCount(), 0);
    Click(list, 1046);
    QCOMPARE(box.Texts().back(), std::wstring(L"please select a valid volume."));
  }

  void theAdvancedScanFindsTheVolumesOfALostTable() {
    Physical_DriveDialog first;
    DriveParsingModes* modes = AdvancedScanModes(first, Fixture("mbr-zeroed.img"));
    QVERIFY(Control<QCheckBox>(modes, 1144)->isEnabled());
    Click(modes, 1229);
    auto* list = ChildPage<PopulateDriveDlg>(modes);
    for (int id : {1036, 1046, 1160}) QVERIFY(!Control<QWidget>(list, id)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!list->ScanRunning(), 60000);
    QCOMPARE(box.Texts(), std::vector<std::wstring>{L"populated partitions...."});
    QCOMPARE(Control<QLabel>(list, 1316)->text(), QStringLiteral("Select volume and click next button..."));
    for (int id : {1036, 1046, 1160, 1229, 1131}) QVERIFY(Control<QWidget>(list, id)->isEnabled());
    QVERIFY(!Control<QPushButton>(list, 1034)->isVisible() && !Control<QProgressBar>(list, 1254)->isVisible());
    // The lines the command line's advanced scan gives, in its order.
    auto* lines = Control<QTreeWidget>(list, 1031);
    QStringList shown;
    for (int i = 0; i < lines->topLevelItemCount(); ++i) {
      QStringList texts;
      for (int c = 0; c < 4; ++c) texts << lines->topLevelItem(i)->text(c);
      shown << texts.join('\t');
    }
    QCOMPARE(lines->topLevelItemCount(), 4);
    QCOMPARE(shown, Cli({"partitions", "--advanced", Fixture("mbr-zeroed.img")}).split('\n', Qt::SkipEmptyParts));
    // A click on the NTFS line: its sectors, and NTFS preselected.
    QTreeWidgetItem* ntfs = lines->findItems(QStringLiteral("NTFS"), Qt::MatchExactly, 1).value(0);
    QTest::mouseClick(lines->viewport(), Qt::LeftButton, {}, lines->visualItemRect(ntfs).center());
    QCOMPARE(Control<QLabel>(list, 1143)->text(), QStringLiteral("1"));
    QCOMPARE(Control<QLineEdit>(list, 1146)->text(), QStringLiteral("20480"));
    QCOMPARE(Control<QLineEdit>(list, 1149)->text(), QString::number(20480 + 11 * 2048 - 1));
    QCOMPARE(Control<QComboBox>(list, 1152)->currentText(), QStringLiteral("NTFS"));
    Click(list, 1046);
    auto* mode = ChildPage<ParceModeNtfsDlg>(list);
    QVERIFY(mode);
    QCOMPARE(mode->ChosenVolume()->fileSystem, std::wstring(L"NTFS"));
    QCOMPARE(mode->ChosenVolume()->startSector, 20480);
  }

  void aCustomVolumeAfterAnAdvancedScanOfARange() {
    Physical_DriveDialog first;
    DriveParsingModes* modes = AdvancedScanModes(first, Fixture("mbr-zeroed.img"));
    Click(modes, 1153);
    Control<QLineEdit>(modes, 1158)->setText(QStringLiteral("100"));
    Click(modes, 1229);
    auto* list = ChildPage<PopulateDriveDlg>(modes);
    QTRY_VERIFY_WITH_TIMEOUT(!list->ScanRunning(), 60000);
    // Sectors 0 to 100: the first 1 MiB block only, which holds no volume.
    auto* lines = Control<QTreeWidget>(list, 1031);
    QCOMPARE(lines->topLevelItemCount(), 0);
    QVERIFY(!Control<QCheckBox>(list, 1131)->isEnabled());
    Click(list, 1160);
    QCOMPARE(lines->topLevelItemCount(), 1);
    QCOMPARE(lines->currentItem()->text(1), QStringLiteral("CUSTOM "));
    QVERIFY(Control<QCheckBox>(list, 1131)->isChecked() && Control<QLineEdit>(list, 1146)->isEnabled());
    QCOMPARE(Control<QLabel>(list, 1143)->text(), QStringLiteral("0"));
    // The FAT32 volume the range left out, by hand.
    Control<QLineEdit>(list, 1146)->setText(QStringLiteral("2048"));
    Control<QLineEdit>(list, 1149)->setText(QString::number(2048 + 8 * 2048 - 1));
    auto* treatAs = Control<QComboBox>(list, 1152);
    treatAs->setCurrentIndex(treatAs->findText(QStringLiteral("FAT32")));
    Click(list, 1046);
    auto* mode = ChildPage<ParceModeNtfsDlg>(list);
    QVERIFY(mode);
    QCOMPARE(mode->ChosenVolume()->startSector, 2048);
    QCOMPARE(mode->ChosenVolume()->sizeText, std::wstring(L"8"));
    QCOMPARE(mode->ChosenVolume()->fileSystem, std::wstring(L"fat32"));
  }

  void pauseStopAndBackDuringTheAdvancedScan() {
    // A large sparse image, so the scan is still running when paused.
    QTemporaryDir temp;
    QFile file(temp.path() + "/blank.img");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(qint64(256) << 30));
    file.close();
    Physical_DriveDialog first;
    DriveParsingModes* modes = AdvancedScanModes(first, file.fileName());
    const auto paused = [&] {
      Click(modes, 1229);
      auto* list = ChildPage<PopulateDriveDlg>(modes);
      Click(list, 1060);
      return list;
    };
    // Stop while paused: the worker ends after Resume, with its closing texts.
    auto* list = paused();
    QVERIFY(list->ScanRunning() && !Control<QPushButton>(list, 1060)->isEnabled());
    Click(list, 1034);
    QVERIFY(Control<QPushButton>(list, 1036)->isEnabled() && list->ScanRunning());
    Click(list, 1061);
    QTRY_VERIFY_WITH_TIMEOUT(!list->ScanRunning(), 30000);
    QCOMPARE(Control<QLabel>(list, 1316)->text(), QStringLiteral("Select volume and click next button..."));
    Click(list, 1036);
    QVERIFY(modes->isVisible());
    // Back after Stop while the worker still runs: back once it has ended.
    list = paused();
    Click(list, 1034);
    QPointer<PopulateDriveDlg> alive(list);
    Click(list, 1036);
    QTRY_VERIFY_WITH_TIMEOUT(modes->isVisible(), 30000);
    QTRY_VERIFY(alive.isNull());
    QCOMPARE(box.Texts(), (std::vector<std::wstring>{L"populated partitions....", L"populated partitions...."}));
  }

  void aRunningScanRefusesBackExitAndSave() {
    EngineRegistration registration(kHeldType);
    releaseWorker = false;
    Physical_DriveDialog first;
    VolumeEntry entry;
    entry.fileSystem = L"HELDFS";
    entry.label = L"/media/card/";
    SharedReader = std::make_unique<FileReadSeek>();
    ParceModeNtfsDlg mode(&first, entry);
    Click(&mode, 1053);
    auto* scan = ChildPage<VolumeScanDlg>(&mode);
    QVERIFY(scan);
    QCOMPARE(Control<QLineEdit>(scan, 1322)->text(), QStringLiteral("/media/card/"));
    QVERIFY(!Control<QPushButton>(scan, 1057)->isEnabled());
    QVERIFY(Control<QPushButton>(scan, 1059)->isVisible());
    scan->Back();
    QTest::keyClick(scan, Qt::Key_Escape);
    Click(scan, 1269);
    const std::wstring wait = L"Please wait for the running process.";
    QCOMPARE(box.Texts(), (std::vector<std::wstring>{wait, wait, wait}));
    QVERIFY(scan->isVisible());
    QVERIFY(shell.endings.empty());
    releaseWorker = true;
    QTRY_VERIFY_WITH_TIMEOUT(!scan->Job().Busy(), 10000);
    QTRY_VERIFY(Control<QPushButton>(scan, 1057)->isEnabled());
    QVERIFY(!Control<QPushButton>(scan, 1059)->isVisible());
    QCOMPARE(box.Texts().back(), std::wstring(L"Scanning process completed."));
    QTRY_COMPARE(Control<QLabel>(scan, 1033)->text(), QStringLiteral("Processing done..."));
    QVERIFY(Find(scan->TreeModel(), QStringLiteral("held.jpg")).isValid());
    // The picture of a photo, decoded in memory from the engine's data.
    Control<QTreeView>(scan, 1042)->setCurrentIndex(Find(scan->TreeModel(), QString()));
    QCOMPARE(scan->ListModel().RowCount(), size_t{2});
    QCOMPARE(scan->ListModel().Text(1, 0), std::wstring(L"photo.png"));
    scan->RowClicked(1);
    QVERIFY2(scan->PictureShown(), qPrintable(scan->findChild<QLabel*>("picture")->text()));
    scan->RowClicked(0);
    QVERIFY(!scan->PictureShown());
    // Enter on the results page ends the program at once, without a question.
    box.Clear();
    QTest::keyClick(scan, Qt::Key_Return);
    QVERIFY(box.Texts().empty());
    QCOMPARE(shell.endings, std::vector<bool>{true});
    SharedReader.reset();
  }

  void aDriveImageFromFirstPageToSavedFiles() {
    Physical_DriveDialog first;
    first.show();
    shell.image = Fixture("mbr-mixed.img");
    Click(&first, 1400);
    Control<QCheckBox>(&first, 1328)->setChecked(false);
    Control<QCheckBox>(&first, 1330)->setChecked(false);
    Click(&first, 1003);
    auto* modes = ChildPage<DriveParsingModes>(&first);
    Click(modes, 1229);
    auto* list = ChildPage<PopulateDriveDlg>(modes);
    auto* lines = Control<QTreeWidget>(list, 1031);
    lines->setCurrentItem(lines->findItems(QStringLiteral("NTFS"), Qt::MatchExactly, 1).value(0));
    Click(list, 1046);
    auto* mode = ChildPage<ParceModeNtfsDlg>(list);
    QVERIFY(Control<QRadioButton>(mode, 1047)->isChecked());
    Click(mode, 1053);
    auto* scan = ChildPage<VolumeScanDlg>(mode);
    QVERIFY(scan);
    QTRY_VERIFY_WITH_TIMEOUT(!scan->Job().Busy(), 60000);
    QTRY_VERIFY(Control<QPushButton>(scan, 1057)->isEnabled());
    QCOMPARE(box.Texts(), std::vector<std::wstring>{L"Scanning process completed."});

    // The list of a folder: the rows the command line's search gives.
    auto* tree = Control<QTreeView>(scan, 1042);
    const QString folder = QStringLiteral("Pictures/2020/Summer holiday");
    const QModelIndex index = Find(scan->TreeModel(), folder);
    QVERIFY(index.isValid());
    tree->setCurrentIndex(index);
    QStringList rows;
    for (size_t row = 0; row < scan->ListModel().RowCount(); ++row) {
      QStringList texts;
      for (size_t c = 0; c < kListColumns; ++c) texts << QString::fromStdWString(scan->ListModel().Text(row, c));
      rows << "ROOT/" + folder + "/" + texts.join('\t');
    }
    QStringList expected;
    const QString image = Fixture("mbr-mixed.img");
    for (const QString& line : Cli({"search", image, "--volume", "1", "--categories", "photo", "--regex", "."}).split('\n'))
      if (line.startsWith("ROOT/" + folder + "/") && !line.section('\t', 0, 0).mid(folder.size() + 6).contains('/'))
        expected << line;
    QVERIFY(!rows.isEmpty());
    QCOMPARE(rows, expected);
    QCOMPARE(Control<QTableView>(scan, 1268)->model()->rowCount(), rows.size());

    // A photo's picture, from the engine's data in memory; a damaged one says so.
    scan->RowClicked(0);
    QVERIFY(!scan->PictureShown());
    QVERIFY(scan->findChild<QLabel*>("picture")->text().contains("cannot be read"));

    // Search: rows for every match.
    Control<QLineEdit>(scan, 1319)->setText(QStringLiteral("beach"));
    Click(scan, 1318);
    QTRY_VERIFY_WITH_TIMEOUT(!scan->Job().Busy(), 30000);
    QTRY_COMPARE(Control<QTableView>(scan, 1268)->model()->rowCount(), 1);

    // The writer's refusal (an output folder it cannot open) is a message box, before anything is written.
    QTemporaryDir temp;
    box.Clear();
    Control<QLineEdit>(scan, 1107)->setText(image + "/inside");
    tree->setCurrentIndex(Find(scan->TreeModel(), QStringLiteral("Pictures")));
    Click(scan, 1269);
    QVERIFY(!box.Texts().empty());
    QVERIFY2(box.Texts().back().find(L"cannot be opened") != std::wstring::npos, qPrintable(QString::fromStdWString(box.Texts().back())));
    QVERIFY(QFileInfo(image).isFile());

    // Save of a folder: the files the command line's save writes.
    box.Clear();
    shell.folder = temp.path() + "/gui";
    QDir().mkpath(shell.folder);
    Click(scan, 1106);
    QCOMPARE(Control<QLineEdit>(scan, 1107)->text(), shell.folder);
    tree->setCurrentIndex(Find(scan->TreeModel(), QStringLiteral("Pictures")));
    Click(scan, 1269);
    QVERIFY(box.Texts().size() >= 2);
    QVERIFY(box.Texts().front().find(L"number of files found inside this folder = ") == 0);
    QCOMPARE(box.Texts().back(), std::wstring(L"work done"));
    Cli({"save", image, "--volume", "1", "--categories", "photo", "--out", temp.path() + "/cli", "Pictures"});
    const auto saved = Files(shell.folder);
    QVERIFY(saved.size() >= 5);
    QCOMPARE(saved, Files(temp.path() + "/cli"));

    // Back leads to the recovery-mode page, as it was.
    Click(scan, 1057);
    QTRY_VERIFY(mode->isVisible());
    QVERIFY(Control<QRadioButton>(mode, 1047)->isChecked());
  }

  void theDrivesAndVolumesOfTheMachine() {
    std::string mountPoint, type, source;
    QVERIFY(ParseMountInfoLine("36 35 8:1 / /media/my\\040card rw,relatime shared:1 - vfat /dev/sdb1 rw", mountPoint,
                               type, source));
    QCOMPARE(QString::fromStdString(mountPoint), QStringLiteral("/media/my card"));
    QCOMPARE(QString::fromStdString(type), QStringLiteral("vfat"));
    QCOMPARE(QString::fromStdString(source), QStringLiteral("/dev/sdb1"));
    QVERIFY(!ParseMountInfoLine("garbage", mountPoint, type, source));
    QCOMPARE(FileSystemOfKernelType("ext4"), std::wstring(L"extX"));
    QCOMPARE(FileSystemOfKernelType("tmpfs"), std::wstring());
    for (const PhysicalDrive& drive : EnumeratePhysicalDrives()) QVERIFY(drive.path.rfind("/dev/", 0) == 0);
    // lumenvault-cli drives lists the first page's tree.
    Physical_DriveDialog first;
    auto* tree = Control<QTreeWidget>(&first, 1022);
    QStringList items;
    for (int top = 0; top < tree->topLevelItemCount(); ++top) {
      items << tree->topLevelItem(top)->text(0);
      for (int child = 0; child < tree->topLevelItem(top)->childCount(); ++child)
        items << "\t" + tree->topLevelItem(top)->child(child)->text(0);
    }
    QStringList lines = Cli({"drives"}).split('\n', Qt::SkipEmptyParts);
    for (QString& line : lines)
      if (line.startsWith('\t')) line = "\t" + line.section('\t', 1, 1);
    QCOMPARE(lines, items);
  }

  void drivesFromSysBlockAndVolumesFromMountinfo() {
    QTemporaryDir sys;
    const auto make = [&](const QString& path, const QByteArray& text = {}) {
      QDir().mkpath(QFileInfo(sys.path() + "/" + path).path());
      QFile file(sys.path() + "/" + path);
      file.open(QIODevice::WriteOnly);
      file.write(text);
    };
    make("sdb/device/model", "Card  Reader   \n");
    make("sda/device/model", "");
    make("loop0/loop/backing_file", "/home/me/card.img\n");
    make("loop1/loop/backing_file", "");
    make("nvme0n1/size", "1");
    make("mmcblk0boot0/size", "1");
    make("dm-0/size", "1");
    QStringList listed;
    for (const PhysicalDrive& drive : EnumeratePhysicalDrives(sys.path().toStdString()))
      listed << QString::fromStdString(drive.path) + "=" + QString::fromStdWString(drive.text);
    QCOMPARE(listed, (QStringList{"/dev/loop0=/dev/loop0", "/dev/nvme0n1=/dev/nvme0n1", "/dev/sda=/dev/sda",
                                  "/dev/sdb=Card  Reader"}));

    make("mountinfo",
         "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
         "23 1 0:5 / /tmp rw - tmpfs tmpfs rw\n"
         "24 1 8:17 / /media/me/CARD\\040ONE rw - vfat /dev/sdb1 rw\n"
         "25 1 8:17 / /mnt/again rw - vfat /dev/sdb1 rw\n"
         "26 1 8:18 / /media/me/W rw - fuseblk /dev/sdb2 rw\n"
         "broken line\n");
    QStringList volumes;
    for (const VolumeEntry& entry : EnumerateLogicalVolumes((sys.path() + "/mountinfo").toStdString())) {
      volumes << QString::fromStdWString(entry.label + L" " + entry.name + L" " + entry.fileSystem);
      QVERIFY(entry.sizeText.size() > 4 && entry.sizeText.substr(entry.sizeText.size() - 4) == L"  MB");
      QCOMPARE(entry.startSector, 0);
    }
    QCOMPARE(volumes, (QStringList{"/ /dev/sda1 extX", "/media/me/CARD ONE/ /dev/sdb1 FAT32",
                                   "/media/me/W/ /dev/sdb2 NTFS"}));
  }

  void theTreeModelShowsTheFillOnlyWhenItEnds() {
    ResultTreeModel model;
    model.Freeze();
    std::thread worker([&] {
      const TreeItem root = model.InsertItem(kNoTreeItem, L"ROOT", ItemImage::Folder, false, kVolumeTopData);
      for (int i = 0; i < 1000; ++i) {
        const TreeItem folder = model.InsertItem(root, L"folder", ItemImage::Folder, i % 2 == 1, i + 1);
        model.InsertItem(folder, L"a.jpg", ItemImage::File, false, 5000 + i);
      }
      model.Expand(root);
    });
    worker.join();
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.index(0, 0).isValid());
    QSignalSpy expands(&model, &ResultTreeModel::expandRequested);
    model.Thaw();
    QCOMPARE(expands.count(), 1);
    const QModelIndex root = model.index(0, 0);
    QCOMPARE(root.data().toString(), QStringLiteral("ROOT"));
    QCOMPARE(model.rowCount(root), 1000);
    const QModelIndex folder = model.index(999, 0, root);
    QCOMPARE(model.parent(folder), root);
    QCOMPARE(folder.data(Qt::ForegroundRole).value<QBrush>().color(), QColor(200, 0, 0));
    QVERIFY(!model.index(998, 0, root).data(Qt::ForegroundRole).isValid());
    QCOMPARE(model.index(0, 0, folder).data().toString(), QStringLiteral("a.jpg"));
    // A check box set by the user: the change and the state before it.
    QSignalSpy toggles(&model, &ResultTreeModel::checkToggled);
    QVERIFY(model.setData(folder, Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(toggles.count(), 1);
    QCOMPARE(toggles.at(0).at(1).toBool(), false);
    QVERIFY(model.Checked(model.ItemOf(folder)));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.SetChecked(model.ItemOf(model.index(0, 0, folder)), true);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex(), model.index(0, 0, folder));
  }

  void theListPublishesWorkerRowsInBatches() {
    FileListModel model;
    std::thread worker([&] {
      for (size_t i = 0; i < 500; ++i) model.InsertRow(i, RowTexts{L"f" + std::to_wstring(i), L"", L"", L"", L"1 Bytes", L"-A"}, i);
    });
    worker.join();
    QCOMPARE(model.rowCount(), 0);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.Sync();
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(model.rowCount(), 500);
    QCOMPARE(model.index(499, 0).data().toString(), QStringLiteral("f499"));
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("File(s) List"));
    QCOMPARE(model.headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("Attribute"));
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.DeleteAllItems();
    model.InsertRow(0, RowTexts{L"only"}, 7);
    model.Sync();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(model.rowCount(), 1);
    model.checkOf = [](size_t, ItemData data) -> std::optional<bool> { return data == 7; };
    QCOMPARE(model.index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
  }

  void theSinkAppliesTheLatestValuesOnly() {
    QLabel status;
    QProgressBar progress;
    CoalescingSink sink(&status, &progress, nullptr, 3600 * 1000);
    std::thread worker([&] {
      sink.ProgressRange(0, 4'000'000'000'000LL);
      for (int i = 0; i <= 10000; ++i) {
        sink.SetStatus(L"record " + std::to_wstring(i));
        sink.ProgressPosition(i * 400'000'000LL);
      }
    });
    worker.join();
    QVERIFY(status.text().isEmpty());
    sink.Apply();
    QCOMPARE(status.text(), QStringLiteral("record 10000"));
    QCOMPARE(progress.value(), progress.maximum());
    QVERIFY(progress.maximum() > 0);
  }

  void checksSpreadToChildrenAndExitStopsTheIdlePage() {
    Physical_DriveDialog first;
    first.show();
    shell.image = Fixture("ntfs-basic.img");
    Click(&first, 1400);
    Click(&first, 1003);
    auto* info = ChildPage<VolumeOperations>(&first);
    QVERIFY(info);
    Click(info, 1046);
    auto* mode = ChildPage<ParceModeNtfsDlg>(info);
    Click(mode, 1053);
    auto* scan = ChildPage<VolumeScanDlg>(mode);
    QTRY_VERIFY_WITH_TIMEOUT(!scan->Job().Busy(), 60000);
    QTRY_VERIFY(Control<QPushButton>(scan, 1057)->isEnabled());
    ResultTreeModel& tree = scan->TreeModel();
    const QModelIndex root = tree.index(0, 0);
    QVERIFY(tree.rowCount(root) > 0);
    tree.setData(root, Qt::Checked, Qt::CheckStateRole);
    for (int row = 0; row < tree.rowCount(root); ++row) QVERIFY(tree.Checked(tree.ItemOf(tree.index(row, 0, root))));
    tree.setData(tree.index(0, 0, root), Qt::Unchecked, Qt::CheckStateRole);
    QVERIFY(!tree.Checked(tree.ItemOf(root)));
    // Exit on an idle results page: the question, then the stop and the end.
    box.Clear();
    scan->close();
    QCOMPARE(box.Texts(), std::vector<std::wstring>{L"Do you want to Close Application ?"});
    QCOMPARE(shell.endings, std::vector<bool>{true});
    QTRY_COMPARE(Control<QLabel>(scan, 1033)->text(), QStringLiteral("All thread Stopped"));
  }

  void theQtMessageBoxAsksOnTheInterfaceThread() {
    QtMessageBox qtBox;
    SetMessages(&qtBox);
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QTimer answer;
    answer.setInterval(10);
    connect(&answer, &QTimer::timeout, [&] {
      auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!shown) return;
      title = shown->windowTitle();
      text = shown->text();
      icon = shown->icon();
      shown->button(QMessageBox::No)->click();
    });
    answer.start();
    std::atomic<int> answered{0};
    std::thread worker([&] { answered = AskYesNo(L"Do you want to Close Application ?", kProductTitle) ? 1 : 2; });
    QTRY_VERIFY_WITH_TIMEOUT(answered.load() != 0, 10000);
    worker.join();
    QCOMPARE(answered.load(), 2);
    QCOMPARE(title, QStringLiteral("Lumenvault"));
    QCOMPARE(text, QStringLiteral("Do you want to Close Application ?"));
    QCOMPARE(icon, QMessageBox::Question);
  }

  void theViewerShowsOnlyFiles() {
    QProcess viewer;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    viewer.setProcessEnvironment(env);
    viewer.start(QStringLiteral(LV_GLIMPSER), QStringList());
    QVERIFY(viewer.waitForFinished(30000));
    QCOMPARE(viewer.exitCode(), 2);
    viewer.start(QStringLiteral(LV_GLIMPSER), {QStringLiteral(LV_FIXTURE_DIR "/no such file.png")});
    QVERIFY(viewer.waitForFinished(30000));
    QCOMPARE(viewer.exitCode(), 1);
    QVERIFY(QString::fromUtf8(viewer.readAllStandardError()).contains("is not a file"));
  }

  void aSecondInstanceIsRefused() {
    InstanceLock lock(config::kInstanceLockName);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LUMENVAULT_MESSAGES", "stderr");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(LV_PROGRAM));
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(QString::fromUtf8(program.readAllStandardError()).contains("Another instance of application is already running"));
  }

 private:
  // The partition-scan mode page of a disk image, "Advance Scan" chosen.
  DriveParsingModes* AdvancedScanModes(Physical_DriveDialog& first, const QString& image) {
    first.show();
    shell.image = image;
    Click(&first, 1400);
    Click(&first, 1003);
    auto* modes = ChildPage<DriveParsingModes>(&first);
    Click(modes, 1324);
    return modes;
  }

  RecordingMessageBox box;
  RecordingShell shell;
};

QTEST_MAIN(Pages)
#include "PagesTest.moc"
