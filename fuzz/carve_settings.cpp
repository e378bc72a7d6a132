// libFuzzer program of lv::fuzz::CarveSettings (see CarveTargets.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/CarveTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lv::fuzz::CarveSettings(data, size);
  return 0;
}
