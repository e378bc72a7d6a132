// libFuzzer program of lv::fuzz::HfsVolume (see FuzzTargets.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lv::fuzz::HfsVolume(data, size);
  return 0;
}
