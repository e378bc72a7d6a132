#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "disk/Reader.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

// An image of `sectors` sectors (plus `extra` bytes) whose every byte tells its sector.
std::string MakeImage(const test::TempFolder& dir, uint32_t sectors, uint32_t extra = 0) {
  const std::string path = dir.path() + "/image.bin";
  std::ofstream out(path, std::ios::binary);
  for (uint32_t s = 0; s < sectors; ++s) {
    std::string sector(512, static_cast<char>(s & 0xFF));
    sector[0] = static_cast<char>(s >> 8);
    out << sector;
  }
  out << std::string(extra, '\x7E');
  return path;
}

class FileReadSeekTest : public ::testing::Test {
 protected:
  RecordingMessageBox messages;
  ScopedMessages scoped{&messages};
  test::TempFolder dir;
};

TEST_F(FileReadSeekTest, ImageSizeGivesSectorCountWithRemainderDropped) {
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(MakeImage(dir, 10, 300)));
  EXPECT_EQ(DeviceSectorCount, 10);
  EXPECT_EQ(reader.SourceSize(), 10u * 512 + 300);
  EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(FileReadSeekTest, ReadsAtTheEndAndAcrossIt) {
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(MakeImage(dir, 4, 100)));
  std::vector<uint8_t> buffer(512, 0xAA);
  ASSERT_TRUE(reader.Seek(3 * 512));
  EXPECT_TRUE(reader.Read(buffer.data(), 512));  // the last whole sector
  EXPECT_EQ(buffer[1], 3);

  // Crossing the end: the 100 bytes that exist, then zeros; the result is false.
  std::fill(buffer.begin(), buffer.end(), 0xAA);
  ASSERT_TRUE(reader.Seek(4 * 512));
  EXPECT_FALSE(reader.Read(buffer.data(), 512));
  EXPECT_EQ(buffer[0], 0x7E);
  EXPECT_EQ(buffer[99], 0x7E);
  EXPECT_EQ(buffer[100], 0);
  EXPECT_EQ(buffer[511], 0);
  EXPECT_NE(reader.lastError, 0);

  // Nothing left to read: the destination is untouched.
  std::fill(buffer.begin(), buffer.end(), 0xAA);
  ASSERT_TRUE(reader.Seek(5 * 512));
  EXPECT_FALSE(reader.Read(buffer.data(), 512));
  EXPECT_EQ(buffer, std::vector<uint8_t>(512, 0xAA));
  EXPECT_TRUE(reader.Read(buffer.data(), 0));
}

TEST_F(FileReadSeekTest, BaseOffsetIsAddedToEverySeek) {
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(MakeImage(dir, 2100)));
  reader.baseOffset = 2048 * 512;
  std::vector<uint8_t> buffer(512);
  ASSERT_TRUE(reader.Seek(0));
  ASSERT_TRUE(reader.Read(buffer.data(), 512));
  EXPECT_EQ(buffer[0], 2048 >> 8);
  EXPECT_EQ(buffer[1], 2048 & 0xFF);
  // A read follows on from the previous one; kFileCurrent and kFileEnd move from there.
  ASSERT_TRUE(reader.Read(buffer.data(), 512));
  EXPECT_EQ(buffer[1], 2049 & 0xFF);
  ASSERT_TRUE(reader.Seek(-512, kFileEnd));
  ASSERT_TRUE(reader.Read(buffer.data(), 512));
  EXPECT_EQ(buffer[1], 2099 & 0xFF);
  ASSERT_TRUE(reader.Seek(-1024, kFileCurrent));
  ASSERT_TRUE(reader.Read(buffer.data(), 512));
  EXPECT_EQ(buffer[1], 2098 & 0xFF);
}

TEST_F(FileReadSeekTest, SeeksThatOverflowOrGoNegativeFail) {
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(MakeImage(dir, 2)));
  reader.baseOffset = INT64_MAX - 10;
  EXPECT_FALSE(reader.Seek(11));
  reader.baseOffset = 0;
  EXPECT_FALSE(reader.Seek(-1));
  EXPECT_FALSE(reader.Seek(0, 7));
  // Beyond the end is a valid position; the read there fails.
  EXPECT_TRUE(reader.Seek(int64_t{1} << 50));
  uint8_t b = 0x55;
  EXPECT_FALSE(reader.Read(&b, 1));
  EXPECT_EQ(b, 0x55);
}

TEST_F(FileReadSeekTest, MissingPathShowsInvalidHandleAndKeepsTheSectorCount) {
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(MakeImage(dir, 7)));
  ASSERT_EQ(DeviceSectorCount, 7);
  EXPECT_FALSE(reader.OpenUtf8(dir.path() + "/does-not-exist"));
  EXPECT_EQ(DeviceSectorCount, 7);
  const auto shown = messages.Messages();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, L"Invalid handle ...");
  EXPECT_EQ(shown[0].caption, L"Lumenvault");
  EXPECT_EQ(shown[0].icon, MessageIcon::Information);
  uint8_t b;
  EXPECT_FALSE(reader.Seek(0));
  EXPECT_FALSE(reader.Read(&b, 1));
  // A folder is not a source either.
  EXPECT_FALSE(reader.OpenUtf8(dir.path()));
}

TEST_F(FileReadSeekTest, SourceWithoutSizeSaysSoAndCountsNoSectors) {
  FileReadSeek reader;
  DeviceSectorCount = 99;
  ASSERT_TRUE(reader.Open(L"/dev/zero"));
  EXPECT_EQ(DeviceSectorCount, 0);
  ASSERT_EQ(messages.Texts().size(), 1u);
  EXPECT_EQ(messages.Texts()[0], L"Size of the source is unknown ...");
  uint8_t buffer[16];
  ASSERT_TRUE(reader.Seek(0));
  EXPECT_TRUE(reader.Read(buffer, sizeof buffer));  // still readable
}

TEST_F(FileReadSeekTest, SourceIsOpenedReadOnly) {
  const std::string path = MakeImage(dir, 1);
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(path));
  const std::string wanted = std::filesystem::canonical(path).string();
  int found = 0;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const auto target = std::filesystem::read_symlink(fd.path(), ec);
    if (ec || target.string() != wanted) continue;
    const std::string info = test::ReadTextFile("/proc/self/fdinfo/" + fd.path().filename().string());
    const size_t at = info.find("flags:");
    ASSERT_NE(at, std::string::npos);
    const long flags = std::strtol(info.c_str() + at + 6, nullptr, 8);
    EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
    ++found;
  }
  EXPECT_EQ(found, 1);
}

TEST(MemoryReader, FollowsTheSameReadContract) {
  MemoryReader reader(std::vector<uint8_t>(1000, 1));
  std::vector<uint8_t> buffer(512, 9);
  reader.baseOffset = 600;
  ASSERT_TRUE(reader.Seek(0));
  EXPECT_FALSE(reader.Read(buffer.data(), 512));
  EXPECT_EQ(buffer[399], 1);
  EXPECT_EQ(buffer[400], 0);
  std::fill(buffer.begin(), buffer.end(), 9);
  ASSERT_TRUE(reader.Seek(400));
  EXPECT_FALSE(reader.Read(buffer.data(), 512));
  EXPECT_EQ(buffer[0], 9);
}

}  // namespace
}  // namespace lv
