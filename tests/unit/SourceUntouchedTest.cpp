// The source is never written: after every command the image is byte for
// byte what it was, and its modification time has not moved.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "Md5.h"
#include "TestSupport.h"

namespace lv {
namespace {

struct Snapshot {
  std::string md5;
  timespec modified{};
  off_t size = 0;
};

Snapshot Take(const std::string& path) {
  Snapshot s;
  s.md5 = test::Md5Hex(test::ReadBinaryFile(path));
  struct stat st{};
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  s.modified = st.st_mtim;
  s.size = st.st_size;
  return s;
}

TEST(SourceUntouched, EveryCommandLeavesTheImageAsItWas) {
  const std::string disk = test::FixturePath("mbr-mixed.img");
  const std::string volume = test::FixturePath("ntfs-basic.img");
  ASSERT_TRUE(test::FileExists(disk));
  ASSERT_TRUE(test::FileExists(volume));
  test::TempFolder out;
  const std::vector<std::vector<std::string>> commands = {
      {"partitions", disk},
      {"partitions", "--gpt", disk},
      {"ls", disk, "--volume", "1"},
      {"ls", disk, "--start-sector", "20480", "--fs", "NTFS", "--unfiltered"},
      {"search", disk, "--volume", "1", "--regex", "jpg|png"},
      {"save", disk, "--volume", "1", "--out", out.path() + "/disk"},
      {"ls", volume, "--mode", "deep"},
      {"ls", volume, "--mode", "advanced", "--max", "2", "--candidate", "0", "--spc", "8"},
      {"save", volume, "--unfiltered", "--out", out.path() + "/volume"},
  };
  const Snapshot diskBefore = Take(disk), volumeBefore = Take(volume);
  for (const auto& command : commands) {
    SCOPED_TRACE(command[0] + " " + command[1]);
    const auto result = test::RunCli(command);
    EXPECT_EQ(result.status, 0) << result.err;
    for (const auto& [path, before] : {std::pair{disk, diskBefore}, std::pair{volume, volumeBefore}}) {
      const Snapshot after = Take(path);
      EXPECT_EQ(after.md5, before.md5) << path;
      EXPECT_EQ(after.size, before.size) << path;
      EXPECT_EQ(after.modified.tv_sec, before.modified.tv_sec) << path;
      EXPECT_EQ(after.modified.tv_nsec, before.modified.tv_nsec) << path;
    }
  }
  // The saves did write something, so the checks above saw real work.
  EXPECT_TRUE(test::FileExists(out.path() + "/disk/Pictures"));
  EXPECT_TRUE(test::FileExists(out.path() + "/volume"));
}

}  // namespace
}  // namespace lv
