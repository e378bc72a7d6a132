// An engine that is not part of the dispatch table, registered through the
// seam at run time, is listed, searched and saved by the command's own code:
// nothing in the catalogue or the command line knows its type.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "CatalogueFakeTable.h"
#include "TestSupport.h"
#include "catalogue/ScanJob.h"
#include "cli/Commands.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

// The fake engine's volume: a few folders and files, one deleted.
std::unique_ptr<VolumeAdapter> MakeFakeVolume(const EngineSetup&) {
  auto table = std::make_unique<test::FakeTable>();
  const EntryIndex photos = table->Folder(test::FakeTable::kRoot, u"Photos");
  table->File(photos, u"IMG_0001.JPG", "first jpeg");
  table->File(photos, u"IMG_0001.JPG", "deleted jpeg", true);
  table->File(photos, u"notes.txt", "not a photo");
  const EntryIndex trip = table->Folder(photos, u"Trip");
  table->File(trip, u"beach.png", "png bytes");
  table->Folder(test::FakeTable::kRoot, u"Empty");
  table->File(test::FakeTable::kRoot, u"song.mp3", "mp3");
  return table;
}

constexpr EngineType kFakeType{L"FAKEFS", L"FAKEFS", kStandardMode, false, MakeFakeVolume};

struct Output {
  int status = -1;
  std::string out, err;
};

// Runs a command in this process with stdout and stderr in files.
Output Capture(const std::function<int()>& command) {
  test::TempFolder folder;
  const std::string outPath = folder.path() + "/out", errPath = folder.path() + "/err";
  std::fflush(stdout);
  std::fflush(stderr);
  const int savedOut = dup(STDOUT_FILENO), savedErr = dup(STDERR_FILENO);
  const int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  const int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(outFd, STDOUT_FILENO);
  dup2(errFd, STDERR_FILENO);
  Output result;
  result.status = command();
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(savedOut, STDOUT_FILENO);
  dup2(savedErr, STDERR_FILENO);
  for (int fd : {savedOut, savedErr, outFd, errFd}) close(fd);
  result.out = test::ReadTextFile(outPath);
  result.err = test::ReadTextFile(errPath);
  return result;
}

class EngineSeam : public ::testing::Test {
 protected:
  void SetUp() override {
    source = dir.path() + "/fake.img";
    std::ofstream(source) << std::string(8192, '\0');
  }
  std::vector<std::string> Volume(std::vector<std::string> words) {
    words.insert(words.begin(), {source, "--start-sector", "0", "--fs", "fakefs"});
    return words;
  }
  EngineRegistration registration{kFakeType};
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  test::TempFolder dir;
  std::string source;
};

TEST_F(EngineSeam, ARegisteredEngineIsListedSearchedAndSaved) {
  const Output ls = Capture([&] { return cli::RunLs(Volume({})); });
  EXPECT_EQ(ls.status, 0) << ls.err;
  EXPECT_EQ(ls.out,
            "d\tlive\t0\tPhotos\n"
            "f\tlive\t10\tPhotos/IMG_0001.JPG\n"
            "f\tdeleted\t12\tPhotos/IMG_0001.JPG\n"
            "d\tlive\t0\tPhotos/Trip\n"
            "f\tlive\t9\tPhotos/Trip/beach.png\n"
            "f\tlive\t3\tsong.mp3\n");

  const Output search = Capture([&] { return cli::RunSearch(Volume({"--regex", "img|beach"})); });
  EXPECT_EQ(search.status, 0) << search.err;
  EXPECT_EQ(test::Lines(search.out),
            (std::vector<std::string>{"ROOT/Photos/IMG_0001.JPG\tcIMG_0001.JPG\taIMG_0001.JPG\tmIMG_0001.JPG\t10\t-A",
                                      "ROOT/Photos/IMG_0001.JPG\tcIMG_0001.JPG\taIMG_0001.JPG\tmIMG_0001.JPG\t12\t-A",
                                      "ROOT/Photos/Trip/beach.png\tcbeach.png\tabeach.png\tmbeach.png\t9\t-A"}));

  const std::string out = dir.path() + "/saved";
  const Output save = Capture([&] { return cli::RunSave(Volume({"--out", out, "Photos"})); });
  EXPECT_EQ(save.status, 0) << save.err;
  EXPECT_EQ(test::Lines(save.out), (std::vector<std::string>{out + "/IMG_0001.JPG\t10", out + "/IMG_0001 (2).JPG\t12",
                                                             out + "/notes.txt\t11", out + "/Trip/beach.png\t9"}));
  EXPECT_EQ(test::ReadTextFile(out + "/IMG_0001 (2).JPG"), "deleted jpeg");
}

TEST_F(EngineSeam, SaveWithoutAPathWritesTheListedTree) {
  const std::string out = dir.path() + "/saved";
  const Output save = Capture([&] { return cli::RunSave(Volume({"--out", out})); });
  EXPECT_EQ(save.status, 0) << save.err;
  // What ls lists: the media files and their folders; notes.txt and the
  // empty folder are not part of it.
  EXPECT_EQ(test::Lines(save.out),
            (std::vector<std::string>{out + "/Photos/IMG_0001.JPG\t10", out + "/Photos/IMG_0001 (2).JPG\t12",
                                      out + "/Photos/Trip/beach.png\t9", out + "/song.mp3\t3"}));
  EXPECT_FALSE(fs::exists(out + "/Empty"));
}

TEST_F(EngineSeam, FilesThatCannotBeWrittenAreCountedAndFailTheSave) {
  // A file stands where the sub-folder "Trip" would go.
  const std::string out = dir.path() + "/saved";
  fs::create_directories(out + "/Photos");
  std::ofstream(out + "/Photos/Trip") << "in the way";
  const Output save = Capture([&] { return cli::RunSave(Volume({"--out", out, "--unfiltered"})); });
  EXPECT_EQ(save.status, 1);
  EXPECT_NE(save.err.find("1 file could not be written"), std::string::npos) << save.err;
  EXPECT_EQ(test::Lines(save.out).size(), 4u);  // the other files are written
  EXPECT_EQ(test::ReadTextFile(out + "/Photos/Trip"), "in the way");
}

// Names that would break a printed line or a path: ls, search and save
// print them, and save writes them, by one escaping rule.
std::unique_ptr<VolumeAdapter> MakeOddNames(const EngineSetup&) {
  auto table = std::make_unique<test::FakeTable>();
  table->File(test::FakeTable::kRoot, u"tab\tand 50%.jpg", "1");
  const EntryIndex up = table->Folder(test::FakeTable::kRoot, u"..");
  table->File(up, u"line\nbreak.png", "22");
  return table;
}

TEST_F(EngineSeam, NamesArePrintedAndSavedByOneEscapingRule) {
  constexpr EngineType kOdd{L"ODDFS", L"ODDFS", kStandardMode, false, MakeOddNames};
  EngineRegistration odd{kOdd};
  const auto words = [&](std::vector<std::string> more) {
    more.insert(more.begin(), {source, "--start-sector", "0", "--fs", "ODDFS"});
    return more;
  };
  const Output ls = Capture([&] { return cli::RunLs(words({})); });
  EXPECT_EQ(ls.out, "f\tlive\t1\ttab%09and 50%25.jpg\nd\tlive\t0\t%2E%2E\nf\tlive\t2\t%2E%2E/line%0Abreak.png\n");
  const Output search = Capture([&] { return cli::RunSearch(words({"--regex", "break"})); });
  EXPECT_EQ(search.out.substr(0, search.out.find('\t')), "ROOT/%2E%2E/line%0Abreak.png");
  const std::string out = dir.path() + "/saved";
  const Output save = Capture([&] { return cli::RunSave(words({"--out", out, "%2E%2E/line%0Abreak.png", "tab%09and 50%25.jpg"})); });
  EXPECT_EQ(test::Lines(save.out),
            (std::vector<std::string>{out + "/line%0Abreak.png\t2", out + "/tab%09and 50%25.jpg\t1"}));
  EXPECT_EQ(test::ReadTextFile(out + "/tab%09and 50%25.jpg"), "1");
}

// The block device that holds a path's file system, or "" when it has none
// (tmpfs, overlay).
std::string DeviceOf(const std::string& path) {
  struct stat st{};
  if (stat(path.c_str(), &st) != 0) return "";
  std::ifstream uevent("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" + std::to_string(minor(st.st_dev)) +
                       "/uevent");
  for (std::string line; std::getline(uevent, line);)
    if (line.rfind("DEVNAME=", 0) == 0) return "/dev/" + line.substr(8);
  return "";
}

TEST_F(EngineSeam, AnOutputFolderOnTheSourceDeviceIsRefusedBeforeAnythingIsWritten) {
  const std::string device = DeviceOf(dir.path());
  if (device.empty() || !fs::is_block_file(device)) GTEST_SKIP() << "the temporary folder is on no block device";
  const std::string out = dir.path() + "/saved";
  const Output save = Capture([&] {
    return cli::RunSave({device, "--start-sector", "0", "--fs", "fakefs", "--out", out});
  });
  EXPECT_EQ(save.status, 1);
  EXPECT_TRUE(save.out.empty());
  EXPECT_FALSE(fs::exists(out));
  ASSERT_EQ(box.Texts().size(), 1u);
  EXPECT_NE(box.Texts()[0].find(L"device being recovered"), std::wstring::npos);
}

}  // namespace
}  // namespace lv
