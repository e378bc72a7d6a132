// The fuzz targets' entry points on their committed seeds and on every input
// that once made a target fail (fuzz/regressions/TARGET/). An entry point
// aborts on a broken invariant; the sanitizer build catches memory faults.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "TestSupport.h"
#include "fuzz/FuzzTargets.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

// Runs the entry point on every file of the target's folders; the count.
size_t RunInputs(const std::string& target, const std::function<void(const uint8_t*, size_t)>& entry) {
  size_t count = 0;
  for (const char* kind : {"seeds", "regressions"}) {
    const fs::path folder = fs::path(LV_FUZZ_DIR) / kind / target;
    if (!fs::is_directory(folder)) continue;
    for (const auto& file : fs::directory_iterator(folder)) {
      SCOPED_TRACE(file.path().string());
      const std::vector<uint8_t> input = test::ReadBinaryFile(file.path().string());
      entry(input.data(), input.size());
      ++count;
    }
  }
  return count;
}

TEST(FuzzInputs, PartitionScan) { EXPECT_GE(RunInputs("partition_scan", fuzz::PartitionScan), 3u); }
TEST(FuzzInputs, NtfsVolume) { EXPECT_GE(RunInputs("ntfs_volume", fuzz::NtfsVolume), 3u); }
TEST(FuzzInputs, FatVolume) { EXPECT_GE(RunInputs("fat_volume", fuzz::FatVolume), 3u); }
TEST(FuzzInputs, ExfatVolume) { EXPECT_GE(RunInputs("exfat_volume", fuzz::ExfatVolume), 3u); }
TEST(FuzzInputs, ExtVolume) { EXPECT_GE(RunInputs("ext_volume", fuzz::ExtVolume), 3u); }
TEST(FuzzInputs, HfsVolume) { EXPECT_GE(RunInputs("hfsplus_volume", fuzz::HfsVolume), 3u); }
TEST(FuzzInputs, Lznt1) { EXPECT_GE(RunInputs("lznt1", fuzz::Lznt1), 3u); }

}  // namespace
}  // namespace lv
