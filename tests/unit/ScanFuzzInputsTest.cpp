// The advanced scan's fuzz target on its seeds and on every input that once
// made it fail (fuzz/regressions/advanced_scan/).
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "fuzz/ScanTargets.h"

namespace lv {
namespace {

TEST(FuzzInputs, AdvancedScan) {
  size_t count = 0;
  for (const char* kind : {"seeds", "regressions"}) {
    const std::filesystem::path folder = std::filesystem::path(LV_FUZZ_DIR) / kind / "advanced_scan";
    if (!std::filesystem::is_directory(folder)) continue;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
      SCOPED_TRACE(file.path().string());
      const std::vector<uint8_t> input = test::ReadBinaryFile(file.path().string());
      fuzz::AdvancedScan(input.data(), input.size());
      ++count;
    }
  }
  EXPECT_GE(count, 3u);
}

}  // namespace
}  // namespace lv
