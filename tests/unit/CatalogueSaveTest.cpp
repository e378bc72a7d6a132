// Folder saves, single-file saves and preview copies over a hand-made table.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "CatalogueFakeTable.h"
#include "TestSupport.h"
#include "catalogue/Save.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

namespace fs = std::filesystem;
using test::FakeTable;

// Every file below a folder: relative path → content.
std::map<std::string, std::string> Files(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = test::ReadTextFile(e.path().string());
  return files;
}

struct Saving {
  struct Recorder : SaveObserver {
    void FileSaved(const WriteOutcome& outcome, EntryIndex) override { results.push_back(outcome); }
    std::vector<WriteOutcome> results;
  };
  struct SizeLines : PageControls {
    void SetSizeLine(std::wstring_view text) override { lines.emplace_back(text); }
    std::vector<std::wstring> lines;
  };

  int64_t SaveAll(const std::string& out, EntryIndex folder = FakeTable::kRoot) {
    SaveContext context{table, sink, pageStop, nullptr, sizes, &recorder};
    return SaveFolder(context, folder, false, out);
  }

  FakeTable table;
  LatestValueSink sink;
  StopFlag pageStop{0};
  SizeLines sizes;
  Recorder recorder;
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  test::TempFolder out;
};

TEST(CatalogueSave, FolderSaveAsksWithTheCountAndKeepsTheStructure) {
  Saving s;
  const EntryIndex folder = s.table.Folder(FakeTable::kRoot, u"Trip");
  s.table.File(folder, u"a.jpg", "aaa");
  s.table.File(folder, u"b.jpg", std::string(1023, 'b'));
  s.table.File(folder, u"c.txt", "ccc");
  const EntryIndex sub = s.table.Folder(folder, u"Day 2");
  s.table.File(sub, u"d.jpg", "ddd");
  s.table.File(sub, u"e.mov", "eee");
  EXPECT_EQ(s.SaveAll(s.out.path(), folder), 5);
  ASSERT_GE(s.box.Texts().size(), 2u);
  EXPECT_EQ(s.box.Texts()[0],
            L"number of files found inside this folder = 5 .do u want to continue dumping these files..?");
  EXPECT_EQ(s.box.Messages()[0].buttons, MessageButtons::YesNo);
  EXPECT_EQ(s.box.Texts().back(), L"work done");
  EXPECT_EQ(s.sink.RangeMaximum(), 5);
  EXPECT_EQ(s.sink.Position(), 5);
  EXPECT_EQ(Files(s.out.path()), (std::map<std::string, std::string>{{"a.jpg", "aaa"},
                                                                    {"b.jpg", std::string(1023, 'b')},
                                                                    {"c.txt", "ccc"},
                                                                    {"Day 2/d.jpg", "ddd"},
                                                                    {"Day 2/e.mov", "eee"}}));
  // "File size: " with the size ÷ 1024, cleared after each file.
  EXPECT_EQ(s.sizes.lines[2], L"File size: 0 kb");
  EXPECT_EQ(s.sizes.lines[3], L"");
  EXPECT_EQ(s.sink.Status(), L"saving File  " + Utf8ToWide(s.out.path()) + L"/Day 2/e.mov");
}

TEST(CatalogueSave, NoAnswerEmptyOutputAndFilesAreRefused) {
  Saving s;
  const EntryIndex file = s.table.File(FakeTable::kRoot, u"a.jpg");
  s.box.answer = MessageAnswer::No;
  EXPECT_EQ(s.SaveAll(s.out.path()), -1);
  EXPECT_EQ(s.table.extractCalls, 0);
  EXPECT_EQ(s.SaveAll(""), -1);
  EXPECT_EQ(s.box.Texts().back(), L"select output folder");
  EXPECT_EQ(s.SaveAll(s.out.path(), file), -1);  // a file is no folder to save
  SaveContext context{s.table, s.sink, s.pageStop};
  EXPECT_FALSE(SaveOneFile(context, file, ""));
  EXPECT_EQ(s.table.extractCalls, 0);
  EXPECT_TRUE(SaveOneFile(context, file, s.out.path() + "  "));  // trailing blanks of the folder go
  EXPECT_TRUE(test::FileExists(s.out.path() + "/a.jpg"));
}

TEST(CatalogueSave, BadClusIsCountedNotWrittenAndDotIsNotEntered) {
  Saving s;
  s.table.File(FakeTable::kRoot, u"$BadClus", "bad");
  s.table.File(FakeTable::kRoot, u"$Boot", "boot");
  const EntryIndex dot = s.table.Folder(FakeTable::kRoot, u".");
  s.table.File(dot, u"inside.jpg");
  const EntryIndex unnamed = s.table.Folder(FakeTable::kRoot, u"");
  s.table.File(unnamed, u"up.jpg", "up");
  EXPECT_EQ(s.SaveAll(s.out.path()), 3);
  EXPECT_EQ(s.box.Texts()[0],
            L"number of files found inside this folder = 4 .do u want to continue dumping these files..?");
  // A folder without a name adds no level: its files go to the parent's target.
  EXPECT_EQ(Files(s.out.path()), (std::map<std::string, std::string>{{"$Boot", "boot"}, {"up.jpg", "up"}}));
}

TEST(CatalogueSave, StopsLeftByAStoppedScanDoNotEmptyTheSave) {
  Saving s;
  s.table.File(FakeTable::kRoot, u"a.jpg", "a");
  s.pageStop.store(1);
  s.table.stop.store(1);
  EXPECT_EQ(s.SaveAll(s.out.path()), 1);
  EXPECT_TRUE(test::FileExists(s.out.path() + "/a.jpg"));
  // A stop during the save ends it; files written stay.
  for (int i = 0; i < 5; ++i) s.table.File(FakeTable::kRoot, u"f" + std::u16string(1, u'0' + i));
  s.table.onExtract = [&](EntryIndex) { s.pageStop.store(1); };
  EXPECT_EQ(s.SaveAll(s.out.path()), 1);
  EXPECT_EQ(s.box.Texts().back(), L"work done");
}

TEST(CatalogueSave, HostileNamesStayInsideTheOutputFolderUnderStableNames) {
  Saving s;
  const std::u16string longName(300, u'n');
  const std::u16string lone = {u'x', char16_t(0xD800), u'.', u'j', u'p', u'g'};
  const EntryIndex up = s.table.Folder(FakeTable::kRoot, u"..");
  s.table.File(up, u"escape.jpg", "1");
  const EntryIndex slash = s.table.Folder(FakeTable::kRoot, u"../../etc");
  s.table.File(slash, u"passwd", "2");
  s.table.File(FakeTable::kRoot, std::u16string(u"a\0b.jpg", 7), "3");
  s.table.File(FakeTable::kRoot, longName + u".jpg", "4");
  s.table.File(FakeTable::kRoot, lone, "5");
  s.table.File(FakeTable::kRoot, u"/abs.jpg", "6");
  test::TempFolder outer;
  const std::string out = outer.path() + "/out";
  fs::create_directory(out);
  EXPECT_EQ(s.SaveAll(out), 6);
  // Nothing outside the output folder.
  std::set<std::string> top;
  for (const auto& e : fs::directory_iterator(outer.path())) top.insert(e.path().filename().string());
  EXPECT_EQ(top, std::set<std::string>{"out"});
  const auto files = Files(out);
  EXPECT_EQ(files.size(), 6u);
  EXPECT_EQ(files.at("%2E%2E/escape.jpg"), "1");
  EXPECT_EQ(files.at("..%2F..%2Fetc/passwd"), "2");
  EXPECT_EQ(files.at("a%00b.jpg"), "3");
  EXPECT_EQ(files.at("x%uD800.jpg"), "5");
  EXPECT_EQ(files.at("%2Fabs.jpg"), "6");
  for (const auto& [path, content] : files) EXPECT_LE(fs::path(path).filename().string().size(), 255u) << path;
  // The same names give the same paths again (in a fresh folder: a second
  // save into the same one keeps the first files and numbers the new ones).
  test::TempFolder again;
  EXPECT_EQ(s.SaveAll(again.path()), 6);
  EXPECT_EQ(Files(again.path()), files);
}

// A live and a deleted IMG_0001.JPG in one folder, names that differ only
// by trailing blanks, and a second save into the same folder: every file is
// kept with its own bytes, none is overwritten, and each outcome names the
// file actually written.
TEST(CatalogueSave, SameNamesAreAllKeptAndNothingIsOverwritten) {
  Saving s;
  const EntryIndex a = s.table.Folder(FakeTable::kRoot, u"dir");
  s.table.File(a, u"IMG_0001.JPG", "live version");
  s.table.File(a, u"IMG_0001.JPG", "old", true);
  s.table.File(a, u"note.txt", "one");
  s.table.File(a, u"note.txt  ", "two");
  const EntryIndex b = s.table.Folder(FakeTable::kRoot, u"dir", true);
  s.table.File(b, u"other.jpg", "o");
  fs::create_directory(s.out.path() + "/dir");
  std::ofstream(s.out.path() + "/dir/other.jpg") << "present before";
  EXPECT_EQ(s.SaveAll(s.out.path()), 5);
  const std::map<std::string, std::string> want = {{"dir/IMG_0001.JPG", "live version"},
                                                   {"dir/IMG_0001 (2).JPG", "old"},
                                                   {"dir/note.txt", "one"},
                                                   {"dir/note (2).txt", "two"},
                                                   {"dir/other.jpg", "present before"},
                                                   {"dir/other (2).jpg", "o"}};
  EXPECT_EQ(Files(s.out.path()), want);
  ASSERT_EQ(s.recorder.results.size(), 5u);
  EXPECT_EQ(s.recorder.results[1].path, s.out.path() + "/dir/IMG_0001 (2).JPG");
  EXPECT_EQ(s.recorder.results[1].bytes, 3u);
  EXPECT_EQ(s.SaveAll(s.out.path()), 5);
  EXPECT_EQ(Files(s.out.path()).at("dir/IMG_0001 (3).JPG"), "live version");
  EXPECT_EQ(Files(s.out.path()).size(), want.size() + 5);
}

TEST(CatalogueSave, PreviewWritesTheCopyIntoAPrivateTemporaryFolder) {
  Saving s;
  test::TempFolder temp;
  setenv("TMPDIR", temp.path().c_str(), 1);
  const EntryIndex file = s.table.File(FakeTable::kRoot, u"view.jpg", "pixels");
  const EntryIndex folder = s.table.Folder(FakeTable::kRoot, u"f");
  // The copy goes into a private folder of this run below the temporary folder.
  const std::string copy = PreviewEntry(s.table, file);
  EXPECT_EQ(fs::path(copy).filename(), "view.jpg");
  EXPECT_EQ(fs::path(copy).parent_path().parent_path(), fs::path(temp.path()));
  EXPECT_EQ(fs::status(fs::path(copy).parent_path()).permissions(), fs::perms::owner_all);
  EXPECT_EQ(test::ReadTextFile(copy), "pixels");
  EXPECT_EQ(PreviewEntry(s.table, folder), "");
  unsetenv("TMPDIR");
  // No viewer next to the test program: nothing is reported.
  EXPECT_TRUE(s.box.Texts().empty());
}

}  // namespace
}  // namespace lv
