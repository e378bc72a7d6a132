// The scan job: dispatch by file system and mode, the NTFS workers on a real
// image, busy refusals, stop, pause and resume, row texts, and saving names
// that a damaged or hostile volume stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "catalogue/AdvancedInput.h"
#include "catalogue/Categories.h"
#include "catalogue/MemoryViews.h"
#include "catalogue/ScanJob.h"
#include "common/Text.h"
#include "ntfs/NtfsAdapter.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

std::string UndeleteImage() { return test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd"); }

std::vector<std::string> Dump(const ResultTree& tree) {
  std::vector<std::string> lines;
  struct Frame {
    TreeItem next;
    std::string path;
  };
  std::vector<Frame> stack = {{tree.FirstChild(tree.FirstChild(kNoTreeItem)), ""}};
  while (!stack.empty()) {
    const TreeItem item = stack.back().next;
    if (!item) {
      stack.pop_back();
      continue;
    }
    stack.back().next = tree.NextSibling(item);
    const std::string path = stack.back().path + "/" + WideToUtf8(tree.Text(item));
    lines.push_back((tree.IsRed(item) ? "r " : "- ") + path);
    stack.push_back({tree.FirstChild(item), path});
  }
  return lines;
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

struct Controls : PageControls {
  void SetBackEnabled(bool enabled) override { backEnabled = enabled; }
  std::atomic<bool> backEnabled{false};
};

// A sink that runs a hook once, on the worker thread, when a status text
// beginning with the trigger is written.
class HookSink : public LatestValueSink {
 public:
  void SetStatus(std::wstring_view text) override {
    LatestValueSink::SetStatus(text);
    if (hook && text.substr(0, trigger.size()) == trigger && !fired.exchange(true)) hook();
  }
  std::wstring trigger;
  std::function<void()> hook;
  std::atomic<bool> fired{false};
};

struct Page {
  Page() : job(tree, list, sink, controls) {}
  ScanStart Volume(const std::wstring& fileSystem, int32_t mode = 1) {
    ScanStart start;
    start.volume.fileSystem = fileSystem;
    start.volume.sizeText = L"6   MB";
    start.recoveryMode = mode;
    return start;
  }
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  MemoryResultTree tree;
  MemoryFileList list;
  HookSink sink;
  Controls controls;
  ScanJob job;
};

TEST(CatalogueDispatch, KindsAreMatchedIgnoringCaseInTableOrder) {
  const struct {
    const wchar_t* text;
    const wchar_t* kind;  // nullptr: no row
    uint8_t modes;
  } cases[] = {
      {L"NTFS", L"NTFS", kStandardMode | kAdvancedMode | kDeepMode},
      {L"exfat", L"exFAT", kStandardMode},
      {L"FAT64", L"exFAT", kStandardMode},
      {L"Fat", L"FAT16", kStandardMode},
      {L"fat32", L"FAT32", kStandardMode},
      {L"FAT12", L"FAT12", kStandardMode},
      {L"EXTX", L"ext", kStandardMode},
      {L"hfs+", L"HFS+", kStandardMode | kAdvancedMode | kDeepMode},
      {L"FAT13", nullptr, 0},
      {L"Unknown", nullptr, 0},
  };
  for (const auto& c : cases) {
    const EngineType* type = FindEngine(c.text);
    if (!c.kind) {
      EXPECT_FALSE(type) << WideToUtf8(c.text);
      continue;
    }
    ASSERT_TRUE(type) << WideToUtf8(c.text);
    EXPECT_EQ(type->displayName, c.kind);
    EXPECT_EQ(type->modes, c.modes) << WideToUtf8(c.text);
  }
  EXPECT_FALSE(FindEngine(L"HFS+")->HasMode(-1));
  EXPECT_TRUE(FindEngine(L"ntfs")->factory);
}

TEST(CatalogueDispatch, KindsWithoutAWorkerReleaseThePage) {
  MemoryReader reader(std::vector<uint8_t>(4096, 0));
  {
    Page page;
    page.job.Start(page.Volume(L"Unknown"), &reader);
    ASSERT_EQ(page.box.Messages().size(), 1u);
    EXPECT_EQ(page.box.Texts()[0], L"Not a valid drive.");
    EXPECT_EQ(page.box.Messages()[0].caption, L"Lumenvault");
    EXPECT_EQ(page.box.Messages()[0].icon, MessageIcon::Information);
    EXPECT_EQ(page.sink.Status(), L"Not a valid Drive .Go back");
    EXPECT_FALSE(page.job.Busy());
    EXPECT_TRUE(page.controls.backEnabled);
  }
  {
    Page page;
    // A volume without an HFS+ header: the worker runs and aborts, with
    // no box.
    page.job.Start(page.Volume(L"HFS+"), &reader);
    page.job.Wait();
    EXPECT_TRUE(page.box.Texts().empty());
    EXPECT_EQ(page.sink.Status(), L"Scanning process Aborted....");
    EXPECT_FALSE(page.job.Busy());
    EXPECT_TRUE(page.job.VolumeRefused());
  }
  {
    Page page;
    page.job.Start(page.Volume(L"extX", 2), &reader);
    EXPECT_EQ(page.box.Texts(), std::vector<std::wstring>{L"Advanced mode is not available for ext volumes."});
    EXPECT_TRUE(page.controls.backEnabled);
    EXPECT_FALSE(page.job.Busy());
  }
  {
    // No reader: nothing starts, and the page stays busy.
    Page page;
    page.job.Start(page.Volume(L"NTFS"), nullptr);
    EXPECT_EQ(page.box.Texts(),
              std::vector<std::wstring>{L"Please Restart the program to re begin necessary initialization..."});
    EXPECT_TRUE(page.job.BusyRefused());
    EXPECT_EQ(page.box.Texts().back(), L"Please wait for the running process.");
  }
}

class NtfsJob : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::FileExists(UndeleteImage())) GTEST_SKIP() << "public images not available";
    ASSERT_TRUE(reader.OpenUtf8(UndeleteImage()));
    CategoryFilter = L".dat|.log";
  }
  FileReadSeek reader;
};

TEST_F(NtfsJob, StandardScanFillsFiltersAndCompletes) {
  Page page;
  page.job.Start(page.Volume(L"NTFS"), &reader);
  page.job.Wait();
  const auto lines = Dump(page.tree);
  EXPECT_TRUE(Contains(lines, "- /System Volume Information/tracking.log"));
  EXPECT_TRUE(Contains(lines, "r /dir1/dir2/frag3.dat"));
  EXPECT_TRUE(Contains(lines, "- /ORPHAN_ENTRY/sing2.dat") || Contains(lines, "r /ORPHAN_ENTRY/sing2.dat"));
  EXPECT_FALSE(Contains(lines, "- /$Extend"));  // no file of the categories below it
  EXPECT_FALSE(Contains(lines, "- /$Boot"));
  EXPECT_EQ(page.box.Texts(), std::vector<std::wstring>{L"Scanning process completed."});
  EXPECT_EQ(page.sink.Status(), L"Processing done...");
  EXPECT_FALSE(page.job.Busy());
  EXPECT_TRUE(page.controls.backEnabled);

  // The list row of a deleted resident file: times in local time.
  setenv("TZ", "UTC", 1);
  tzset();
  TreeItem res = page.tree.FirstChild(page.job.RootItem());
  while (res && page.tree.Text(res) != L"res1.dat") res = page.tree.NextSibling(res);
  ASSERT_TRUE(res);
  page.job.Select(res);
  ASSERT_EQ(page.list.RowCount(), 1u);
  EXPECT_EQ(page.list.Text(0, 0), L"res1.dat");
  EXPECT_EQ(page.list.Text(0, 1), L"02/29/2004  08:05 PM");
  EXPECT_EQ(page.list.Text(0, 3), L"02/29/2004  08:05 PM");
  EXPECT_EQ(page.list.Text(0, 4), L"101 Bytes");
  EXPECT_EQ(page.list.Text(0, 5), L"-A");
  setenv("TZ", "JST-9", 1);
  tzset();
  page.job.Select(res);
  EXPECT_EQ(page.list.Text(0, 1), L"03/01/2004  05:05 AM");
  unsetenv("TZ");
  tzset();

  // Search and save after the scan.
  ASSERT_TRUE(page.job.Search(L"frag"));
  page.job.Wait();
  std::vector<std::wstring> found;
  for (size_t row = 0; row < page.list.RowCount(); ++row) found.push_back(page.list.Text(row, 0));
  // Children in chain order: the root's chain follows the record numbers.
  EXPECT_EQ(found, (std::vector<std::wstring>{L"ROOT/frag1.dat", L"ROOT/frag2.dat", L"ROOT/dir1/dir2/frag3.dat"}));
  test::TempFolder out;
  page.job.SaveFolder(page.job.RootItem(), out.path());
  EXPECT_EQ(test::ReadBinaryFile(out.path() + "/res1.dat").size(), 101u);
  EXPECT_TRUE(test::FileExists(out.path() + "/dir1/dir2/frag3.dat"));
  EXPECT_TRUE(test::FileExists(out.path() + "/ORPHAN_ENTRY/sing2.dat"));
  EXPECT_FALSE(test::FileExists(out.path() + "/$BadClus"));
  EXPECT_TRUE(test::FileExists(out.path() + "/$Boot"));
}

// Waits for a condition another thread brings about, failing after a while
// rather than hanging.
bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

// The deep scan reports every record it finds, so a stop or pause can land
// in the middle of the engine's work.
TEST_F(NtfsJob, StopDuringTheScanGivesThePartialTreeAndTheCompletion) {
  Page full;
  ScanStart start = full.Volume(L"NTFS", 3);
  start.unfiltered = true;
  full.job.Start(start, &reader);
  full.job.Wait();
  Page page;
  page.sink.trigger = L"MFT ENTRY 20 Found.Parsing it ..";
  page.sink.hook = [&] { page.job.Stop(); };
  page.job.Start(start, &reader);
  page.job.Wait();
  ASSERT_TRUE(page.sink.fired);
  const auto partial = Dump(page.tree), whole = Dump(full.tree);
  // The records found before the stop are all shown.
  EXPECT_GE(partial.size(), 15u);
  EXPECT_LT(partial.size(), whole.size());
  for (const std::string& line : partial) EXPECT_TRUE(Contains(whole, line)) << line;
  EXPECT_EQ(page.box.Texts(), std::vector<std::wstring>{L"Scanning process completed."});
  EXPECT_FALSE(page.job.Busy());
  // The stops left behind do not empty a later search or save.
  ASSERT_TRUE(page.job.Search(L"\\$"));
  page.job.Wait();
  ASSERT_TRUE(page.job.Search(L"a"));
  page.job.Wait();
  EXPECT_GE(page.list.RowCount(), 1u);
  page.job.Stop();
  test::TempFolder out;
  page.job.SaveFolder(page.job.RootItem(), out.path());
  EXPECT_TRUE(test::FileExists(out.path() + "/ORPHAN_ENTRY"));
  EXPECT_FALSE(fs::is_empty(out.path() + "/ORPHAN_ENTRY"));
}

TEST_F(NtfsJob, StopDuringTheFillEndsItAndStillCompletes) {
  Page page;
  page.sink.trigger = L"File Entries Found: ";
  page.sink.hook = [&] { page.job.Stop(); };
  ScanStart start = page.Volume(L"NTFS");
  start.unfiltered = true;
  page.job.Start(start, &reader);
  page.job.Wait();
  ASSERT_TRUE(page.sink.fired);
  // The first folder's walk ($Extend) ended it; later folders stay empty.
  const auto lines = Dump(page.tree);
  EXPECT_TRUE(Contains(lines, "r /dir1"));
  EXPECT_FALSE(Contains(lines, "r /dir1/dir2"));
  EXPECT_FALSE(Contains(lines, "- /System Volume Information/tracking.log"));
  EXPECT_EQ(page.box.Texts(), std::vector<std::wstring>{L"Scanning process completed."});
  EXPECT_EQ(page.sink.Status(), L"Processing done...");
}

TEST_F(NtfsJob, PauseHoldsTheScanAndResumeContinuesWhereItWas) {
  Page full;
  full.job.Start(full.Volume(L"NTFS", 3), &reader);
  full.job.Wait();

  Page page;
  page.sink.trigger = L"MFT ENTRY 10 Found.Parsing it ..";
  page.sink.hook = [&] { page.job.pauseGate.Pause(); };
  page.job.Start(page.Volume(L"NTFS", 3), &reader);
  ASSERT_TRUE(WaitFor([&] { return page.job.pauseGate.Waiting() == 1; }));
  // While paused: nothing moves, and Back, Search and Save are refused.
  const uint64_t statuses = page.sink.StatusCount();
  const int64_t position = page.sink.Position();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(page.sink.StatusCount(), statuses);
  EXPECT_EQ(page.sink.Position(), position);
  EXPECT_TRUE(page.job.BusyRefused());
  EXPECT_FALSE(page.job.Search(L"dat"));
  page.job.SaveFolder(page.job.RootItem(), "/nonexistent");
  EXPECT_EQ(page.box.Texts(), std::vector<std::wstring>(3, L"Please wait for the running process."));
  page.job.Resume();
  page.job.Wait();
  EXPECT_EQ(Dump(page.tree), Dump(full.tree));
  EXPECT_EQ(page.box.Texts().back(), L"Scanning process completed.");
}

TEST_F(NtfsJob, PauseThenStopTakesEffectAfterResume) {
  Page full;
  full.job.Start(full.Volume(L"NTFS", 3), &reader);
  full.job.Wait();
  Page page;
  page.sink.trigger = L"MFT ENTRY 10 Found.Parsing it ..";
  page.sink.hook = [&] { page.job.pauseGate.Pause(); };
  page.job.Start(page.Volume(L"NTFS", 3), &reader);
  ASSERT_TRUE(WaitFor([&] { return page.job.pauseGate.Waiting() == 1; }));
  page.job.Stop();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(page.job.pauseGate.Waiting(), 1);
  EXPECT_TRUE(page.job.Busy());
  page.job.Resume();
  page.job.Wait();
  EXPECT_LT(Dump(page.tree).size(), Dump(full.tree).size());
  EXPECT_EQ(page.box.Texts().back(), L"Scanning process completed.");
}

TEST_F(NtfsJob, DeepAndAdvancedModes) {
  Page deep;
  deep.job.Start(deep.Volume(L"ntfs", 3), &reader);
  deep.job.Wait();
  const auto deepLines = Dump(deep.tree);
  ASSERT_FALSE(deepLines.empty());
  for (const std::string& line : deepLines) EXPECT_EQ(line.substr(2, 13), "/ORPHAN_ENTRY") << line;

  // Advanced: the candidate search of the advanced input, then the choice.
  for (const std::wstring spc : {L"2", L""}) {
    // The advanced-input page's adapter outlives the results page.
    NullSink quiet;
    VolumeEntry volume;
    volume.fileSystem = L"NTFS";
    volume.sizeText = L"6   MB";
    NtfsAdapter adapter(EngineSetup{reader, volume, quiet, nullptr});
    Page page;
    ASSERT_EQ(adapter.FindCandidates(1), 1u);
    ScanStart start = page.Volume(L"NTFS", 2);
    start.advancedAdapter = &adapter;
    start.advanced.candidate = 0;
    start.advanced.sectorsPerCluster = spc;
    page.job.Start(start, &reader);
    page.job.Wait();
    EXPECT_TRUE(Contains(Dump(page.tree), "r /dir1/dir2/frag3.dat"));
    EXPECT_EQ(page.job.Table(), &adapter);
  }
}

struct InputControls : AdvancedInputControls {
  void SetBackEnabled(bool on) override { calls.push_back(on ? "back on" : "back off"); }
  void SetNextEnabled(bool on) override { calls.push_back(on ? "next on" : "next off"); }
  void SetWorkerControlsVisible(bool on) override { calls.push_back(on ? "workers on" : "workers off"); }
  void FillList(ChoiceList list, const std::vector<std::wstring>& items, int selected) override {
    std::string line = "list " + std::to_string(static_cast<int>(list)) + ":";
    for (const std::wstring& item : items) line += " " + WideToUtf8(item);
    calls.push_back(line + " [" + std::to_string(selected) + "]");
  }
  std::vector<std::string> calls;
};

// The advanced-input page's worker on a volume that holds an earlier MFT
// besides the current one, then the results page with its choices.
TEST(AdvancedInputPage, FillsTheListsReportsAndHandsTheChoiceOn) {
  const std::string image = test::FixturePath("ntfs-reformatted.img");
  if (!test::FileExists(image)) GTEST_SKIP() << "ntfs-reformatted has not been committed";
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(image));
  RecordingMessageBox box;
  ScopedMessages scope(&box);
  LatestValueSink status;
  VolumeEntry volume;
  volume.fileSystem = L"NTFS";
  volume.sizeText = L"24   MB";
  NtfsAdapter adapter(EngineSetup{reader, volume, status, nullptr});
  InputControls controls;
  AdvancedInput input(adapter, status, controls);
  input.Run(0);  // the default maximum, 3
  EXPECT_EQ(controls.calls, (std::vector<std::string>{"list 0: MFT_ENTRY:0 MFT_ENTRY:1 [0]",
                                                      "list 1: 8 4 2 16 32 64 [0]", "next on", "back on",
                                                      "workers off"}));
  EXPECT_EQ(box.Texts(), std::vector<std::wstring>{L"Number of MFT-ENTRY found = 2 . Please select the choice from "
                                                   L"combo box and click Next button to proceed."});
  EXPECT_EQ(status.Status(), L"Parsing done.Click next to continue.");
  EXPECT_FALSE(input.Select(ChoiceList::Candidates, 2));
  EXPECT_FALSE(input.Select(ChoiceList::HeapOffsets, 0));
  EXPECT_TRUE(input.Select(ChoiceList::SectorsPerCluster, 0));
  const AdvancedChoices choices = input.Choices();
  EXPECT_EQ(choices.candidate, 0);
  EXPECT_EQ(choices.sectorsPerCluster, L"8");
  EXPECT_EQ(choices.heapCandidate, -1);

  // Next: the results page borrows the engine and reads the chosen MFT.
  CategoryFilter = L".jpg|.mp3";
  Page page;
  ScanStart start = page.Volume(L"NTFS", 2);
  start.advancedAdapter = &adapter;
  start.advanced = choices;
  page.job.Start(start, &reader);
  page.job.Wait();
  const auto lines = Dump(page.tree);
  EXPECT_TRUE(Contains(lines, "- /Photos/IMG_0001.jpg"));
  EXPECT_TRUE(Contains(lines, "r /Photos/IMG_0002.jpg"));
  EXPECT_TRUE(Contains(lines, "- /Music/song.mp3"));
}

// Finds the name in a record of the MFT, which on this image lies after the
// log file's stray copies: the last "FILE" record holding it.
size_t FindNameInRecord(const std::vector<uint8_t>& image, std::u16string_view name) {
  std::string needle;
  for (char16_t c : name) needle += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
  size_t found = std::string_view::npos;
  for (size_t at = bytes.find(needle); at != std::string_view::npos; at = bytes.find(needle, at + 1)) {
    const size_t record = at / 1024 * 1024;
    if (bytes.substr(record, 4) == "FILE") found = at;
  }
  return found;
}

TEST_F(NtfsJob, HostileNamesOfARealVolumeAreSavedInsideTheOutputFolder) {
  MemoryReader memory(test::ReadBinaryFile(UndeleteImage()));
  std::vector<uint8_t>& image = memory.Image();
  // Rename records in place: the name length byte sits two bytes before the name.
  auto rename = [&](std::u16string_view from, std::u16string_view to) {
    const size_t at = FindNameInRecord(image, from);
    ASSERT_NE(at, std::string_view::npos);
    ASSERT_LE(to.size(), from.size());
    image[at - 2] = static_cast<uint8_t>(to.size());
    for (size_t i = 0; i < to.size(); ++i) image[at + 2 * i] = to[i] & 0xFF, image[at + 2 * i + 1] = to[i] >> 8;
  };
  rename(u"res1.dat", u"../a/b");
  rename(u"sing1.dat", u"..");
  rename(u"mult1.dat", std::u16string(u"x\0y.dat", 7));
  rename(u"frag1.dat", std::u16string{u'f', char16_t(0xDC00), u'.', u'd', u'a', u't'});
  rename(u"dir1", u"a/..");
  CategoryFilter = L".dat|.log";
  Page page;
  ScanStart start = page.Volume(L"NTFS");
  start.unfiltered = true;
  page.job.Start(start, &memory);
  page.job.Wait();
  // A 300-character name, as a damaged record could give.
  ntfs& engine = static_cast<NtfsAdapter*>(page.job.Table())->Engine();
  for (auto& e : engine.entries)
    if (e.HasName() && e.name == u"frag2.dat") {
      e.name = engine.nameStore.Add(std::u16string(296, u'L') + u".dat");
    }

  test::TempFolder outer;
  const std::string out = outer.path() + "/out";
  fs::create_directory(out);
  page.job.SaveFolder(page.job.RootItem(), out);
  std::vector<std::string> written;
  for (const auto& e : fs::directory_iterator(outer.path())) written.push_back(e.path().filename().string());
  EXPECT_EQ(written, std::vector<std::string>{"out"});
  EXPECT_EQ(test::ReadBinaryFile(out + "/..%2Fa%2Fb").size(), 101u);
  EXPECT_EQ(test::ReadBinaryFile(out + "/%2E%2E").size(), 780u);
  EXPECT_EQ(test::ReadBinaryFile(out + "/x%00y.dat").size(), 3801u);
  EXPECT_EQ(test::ReadBinaryFile(out + "/f%uDC00.dat").size(), 1584u);
  EXPECT_TRUE(test::FileExists(out + "/a%2F../dir2/frag3.dat"));
  bool longSaved = false;
  for (const auto& e : fs::directory_iterator(out)) {
    const std::string name = e.path().filename().string();
    EXPECT_LE(name.size(), 255u);
    if (name.rfind("LLLL", 0) == 0) longSaved = fs::file_size(e.path()) == 3873;
  }
  EXPECT_TRUE(longSaved);
}

}  // namespace
}  // namespace lv
