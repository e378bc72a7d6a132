// libFuzzer program of lv::fuzz::CarveRun (see CarveTargets.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/CarveTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lv::fuzz::CarveRun(data, size);
  return 0;
}
