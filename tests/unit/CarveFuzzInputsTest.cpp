// The carving fuzz targets on their seeds and on every input that once made
// one fail (fuzz/regressions/TARGET/).
#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "fuzz/CarveTargets.h"

namespace lv {
namespace {

TEST(FuzzInputs, Carving) {
  for (const auto& [target, entry] :
       {std::pair{"carve_settings", &fuzz::CarveSettings}, std::pair{"carve_run", &fuzz::CarveRun}}) {
    size_t count = 0;
    for (const char* kind : {"seeds", "regressions"}) {
      const std::filesystem::path folder = std::filesystem::path(LV_FUZZ_DIR) / kind / target;
      if (!std::filesystem::is_directory(folder)) continue;
      for (const auto& file : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(file.path().string());
        const std::vector<uint8_t> input = test::ReadBinaryFile(file.path().string());
        entry(input.data(), input.size());
        ++count;
      }
    }
    EXPECT_GE(count, 3u) << target;
  }
}

}  // namespace
}  // namespace lv
