#include "platform/SaveWriter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "TestSupport.h"
#include "common/SafeName.h"
#include "common/Text.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

// A piece of test data: its bytes, or a hole of `hole` bytes when empty.
struct Piece {
  std::string bytes;
  uint64_t hole = 0;
};

class PieceStream : public DataStream {
 public:
  explicit PieceStream(std::vector<Piece> pieces) : pieces_(std::move(pieces)) {}
  bool Next(DataPiece& piece) override {
    if (next_ == pieces_.size()) return false;
    const Piece& p = pieces_[next_++];
    piece.bytes = p.bytes.empty() ? nullptr : reinterpret_cast<const uint8_t*>(p.bytes.data());
    piece.length = p.bytes.empty() ? p.hole : p.bytes.size();
    return true;
  }

 private:
  std::vector<Piece> pieces_;
  size_t next_ = 0;
};

EntryData Data(std::vector<Piece> pieces, uint64_t size, uint64_t maxStored = UINT64_MAX) {
  EntryData data;
  data.stream = std::make_unique<PieceStream>(std::move(pieces));
  data.size = size;
  data.maxStoredBytes = maxStored;
  return data;
}

EntryData Bytes(const std::string& text) { return Data({{text}}, text.size()); }

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

size_t EntryCount(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

class SaveWriterTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(writer.Open(out.path() + "/")); }
  test::TempFolder out;
  RecordingMessageBox box;
  ScopedMessages scoped{&box};
  SaveWriter writer;
};

TEST(SaveWriterNumberedName, AddsTheNumberBeforeTheExtension) {
  const struct {
    const char* name;
    unsigned number;
    const char* expected;
  } cases[] = {
      {"IMG_0001.JPG", 2, "IMG_0001 (2).JPG"}, {"archive", 2, "archive (2)"},  {".profile", 2, ".profile (2)"},
      {"a.tar.gz", 2, "a.tar (2).gz"},         {"clip.mov", 17, "clip (17).mov"},
  };
  for (const auto& c : cases) EXPECT_EQ(NumberedName(c.name, c.number), c.expected) << c.name;

  // 127 two-byte characters and ".jpg": 258 bytes before the number.
  std::string longName;
  for (int i = 0; i < 127; ++i) longName += "\xc3\xa9";
  longName += ".jpg";
  const std::string numbered = NumberedName(longName, 10000);
  EXPECT_LE(numbered.size(), kMaxComponentBytes);
  EXPECT_EQ(numbered.substr(numbered.size() - 12), " (10000).jpg");
  const std::string stem = numbered.substr(0, numbered.size() - 12);
  EXPECT_EQ(stem.size() % 2, 0u);  // no character cut in half
  EXPECT_EQ(stem, longName.substr(0, stem.size()));
}

TEST_F(SaveWriterTest, TakenNamesGetNumberedAndNothingIsOverwritten) {
  ASSERT_TRUE(writer.MakeFolder("DCIM"));
  WriteText(out.path() + "/DCIM/IMG.JPG", "old");
  const std::string texts[] = {"first", "second"};
  const std::string names[] = {"IMG (2).JPG", "IMG (3).JPG"};
  for (int i = 0; i < 2; ++i) {
    EntryData data = Bytes(texts[i]);
    const WriteOutcome o = writer.Write("DCIM", "IMG.JPG", data);
    ASSERT_TRUE(o.ok());
    EXPECT_EQ(o.path, out.path() + "/DCIM/" + names[i]);
    EXPECT_EQ(o.bytes, texts[i].size());
    EXPECT_EQ(test::ReadTextFile(o.path), texts[i]);
    // A write into another folder in between must not confuse the next one.
    EntryData other = Bytes("x");
    EXPECT_EQ(writer.Write("", "IMG.JPG", other).path, out.path() + "/" + (i == 0 ? "IMG.JPG" : "IMG (2).JPG"));
  }
  EXPECT_EQ(test::ReadTextFile(out.path() + "/DCIM/IMG.JPG"), "old");
  EXPECT_EQ(EntryCount(out.path() + "/DCIM"), 3u);
  EXPECT_EQ(writer.FilesWritten(), 4u);
  EXPECT_TRUE(box.Texts().empty());
}

TEST(SaveWriterSparse, HolesCostNoSpace) {
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  char name[] = "/dev/shm/lv-writer-XXXXXX";
  ASSERT_NE(::mkdtemp(name), nullptr);
  const std::string folder = name;
  const std::unique_ptr<const char, void (*)(const char*)> removeFolder(
      name, [](const char* path) { std::filesystem::remove_all(path); });
  RecordingMessageBox box;
  ScopedMessages scoped(&box);
  SaveWriter writer;
  ASSERT_TRUE(writer.Open(folder));
  const uint64_t huge = uint64_t{1} << 52;
  const struct {
    const char* name;
    std::vector<Piece> pieces;
  } cases[] = {
      {"hole.bin", {{"", huge}}},
      {"head.bin", {{"HEAD"}, {"", huge}}},  // cut at the file's size
  };
  for (const auto& c : cases) {
    EntryData data = Data(c.pieces, huge);
    const WriteOutcome o = writer.Write("", c.name, data);
    EXPECT_TRUE(o.ok()) << c.name;
    EXPECT_EQ(o.bytes, huge);
    struct stat st{};
    ASSERT_EQ(::stat(o.path.c_str(), &st), 0);
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), huge) << c.name;
    EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, uint64_t{1} << 20) << c.name;
  }
  char head[5] = {};
  const int fd = ::open((folder + "/head.bin").c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_EQ(::pread(fd, head, 4, 0), 4);
  ::close(fd);
  EXPECT_STREQ(head, "HEAD");
  EXPECT_TRUE(box.Texts().empty());
}

TEST_F(SaveWriterTest, FileTooLargeForTheFileSystemIsNotCreated) {
  writer.SetMaxFileSize(0xFFFFFFFF);
  EntryData data = Data({{"", uint64_t{5} << 30}}, uint64_t{5} << 30);
  const WriteOutcome o = writer.Write("", "movie.mp4", data);
  EXPECT_EQ(o.status, WriteStatus::TooLarge);
  EXPECT_EQ(o.path, out.path() + "/movie.mp4");
  EXPECT_EQ(EntryCount(out.path()), 0u);
  EXPECT_EQ(writer.FilesFailed(), 1u);
  ASSERT_EQ(box.Texts().size(), 1u);
  EXPECT_NE(box.Texts()[0].find(L"movie.mp4 is 5368709120 bytes"), std::wstring::npos);
}

TEST_F(SaveWriterTest, PlantedLinksAreNeverFollowed) {
  test::TempFolder outside;
  WriteText(outside.path() + "/victim", "victim");
  ASSERT_EQ(::symlink(outside.path().c_str(), (out.path() + "/sub").c_str()), 0);
  ASSERT_EQ(::symlink((outside.path() + "/victim").c_str(), (out.path() + "/x.jpg").c_str()), 0);
  ASSERT_EQ(::symlink((outside.path() + "/missing").c_str(), (out.path() + "/y.jpg").c_str()), 0);

  EXPECT_FALSE(writer.MakeFolder("sub"));
  EntryData below = Bytes("data");
  EXPECT_EQ(writer.Write("sub/deeper", "a.jpg", below).status, WriteStatus::FolderFailed);

  const struct {
    const char* name;
    const char* written;
  } files[] = {{"x.jpg", "x (2).jpg"}, {"y.jpg", "y (2).jpg"}};
  for (const auto& f : files) {
    EntryData data = Bytes("new");
    const WriteOutcome o = writer.Write("", f.name, data);
    ASSERT_TRUE(o.ok()) << f.name;
    EXPECT_EQ(o.path, out.path() + "/" + f.written);
    EXPECT_EQ(test::ReadTextFile(o.path), "new");
  }
  EXPECT_EQ(test::ReadTextFile(outside.path() + "/victim"), "victim");
  EXPECT_EQ(EntryCount(outside.path()), 1u);
  EXPECT_EQ(box.Texts().size(), 1u);
}

TEST_F(SaveWriterTest, FolderThatCannotBeMadeIsReportedOnceAndEveryFileCounted) {
  WriteText(out.path() + "/blocked", "a file where a folder should be");
  const char* folders[] = {"blocked/a", "blocked/a", "blocked/b/c", "blocked"};
  for (const char* folder : folders) {
    EntryData data = Bytes("data");
    EXPECT_EQ(writer.Write(folder, "f.jpg", data).status, WriteStatus::FolderFailed) << folder;
  }
  EXPECT_EQ(writer.FilesFailed(), 4u);
  ASSERT_EQ(box.Texts().size(), 1u);
  EXPECT_NE(box.Texts()[0].find(Utf8ToWide(out.path() + "/blocked")), std::wstring::npos);

  // A folder whose name merely starts the same is not below the failed one.
  EntryData data = Bytes("ok");
  EXPECT_TRUE(writer.Write("blockedX", "f.jpg", data).ok());
  EXPECT_EQ(writer.FilesWritten(), 1u);
  EXPECT_EQ(test::ReadTextFile(out.path() + "/blocked"), "a file where a folder should be");
}

TEST_F(SaveWriterTest, WritesNoMoreThanTheSizeAndTheStoredLimit) {
  using namespace std::string_literals;
  const struct {
    const char* what;
    std::vector<Piece> pieces;
    uint64_t size, maxStored;
    bool valid;
    std::string expected;
  } cases[] = {
      {"cut at size", {{"abc"}, {"def"}, {"ghi"}}, 7, UINT64_MAX, true, "abcdefg"},
      {"stored limit", {{"abc"}, {"def"}, {"ghi"}}, 9, 4, true, "abcd\0\0\0\0\0"s},
      {"stored limit skips holes", {{"ab"}, {"", 3}, {"cd"}, {"ef"}}, 9, 4, true, "ab\0\0\0cd\0\0"s},
      {"stream ends early", {{"abc"}}, 20, UINT64_MAX, true, "abc"},
      {"ends in a hole", {{"ab"}, {"", 3}}, 5, UINT64_MAX, true, "ab\0\0\0"s},
      {"invalid record", {{"abc"}}, 3, UINT64_MAX, false, ""},
  };
  for (const auto& c : cases) {
    EntryData data = Data(c.pieces, c.size, c.maxStored);
    data.valid = c.valid;
    const WriteOutcome o = writer.Write("cases", "f.bin", data);
    ASSERT_TRUE(o.ok()) << c.what;
    EXPECT_EQ(o.bytes, c.expected.size()) << c.what;
    EXPECT_EQ(test::ReadTextFile(o.path), c.expected) << c.what;
  }
}

TEST_F(SaveWriterTest, StampsAccessAndModificationTimes) {
  for (const bool empty : {false, true}) {
    EntryData data = empty ? EntryData{} : Bytes("photo");
    data.times = FileTimes{1300000000, 123456789, 1200000000, 987654321};
    const WriteOutcome o = writer.Write("", "t.jpg", data);
    ASSERT_TRUE(o.ok());
    struct stat st{};
    ASSERT_EQ(::stat(o.path.c_str(), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1300000000);
    EXPECT_EQ(st.st_atim.tv_nsec, 123456789);
    EXPECT_EQ(st.st_mtim.tv_sec, 1200000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 987654321);
  }
}

// The block device holding `path`'s file system, when it has one in /dev.
std::string DeviceOf(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return "";
  const std::string uevent = test::ReadTextFile("/sys/dev/block/" + std::to_string(major(st.st_dev)) + ":" +
                                                std::to_string(minor(st.st_dev)) + "/uevent");
  for (const std::string& line : test::Lines(uevent)) {
    if (line.rfind("DEVNAME=", 0) != 0) continue;
    const std::string device = "/dev/" + line.substr(8);
    struct stat dev{};
    if (::stat(device.c_str(), &dev) == 0 && S_ISBLK(dev.st_mode) && dev.st_rdev == st.st_dev) return device;
  }
  return "";
}

TEST(SaveWriterOutputOnSource, RefusesOnlyAFolderOnTheSourceDevice) {
  test::TempFolder folder;
  const std::string image = folder.path() + "/disk.img";
  WriteText(image, std::string(4096, '\0'));
  ASSERT_TRUE(std::filesystem::create_directory(folder.path() + "/saved"));
  EXPECT_EQ(OutputOnSource(image, folder.path() + "/saved"), std::nullopt);

  const std::string device = DeviceOf(folder.path());
  if (device.empty()) GTEST_SKIP() << "the temporary folder is on no block device";
  const auto refused = OutputOnSource(device, folder.path() + "/saved");
  ASSERT_TRUE(refused.has_value()) << device;
  EXPECT_NE(refused->find(Utf8ToWide(device)), std::wstring::npos);
  if (std::filesystem::is_directory("/dev/shm")) {
    EXPECT_EQ(OutputOnSource(device, "/dev/shm"), std::nullopt);
  }
}

}  // namespace
}  // namespace lv
