// libFuzzer program of lv::fuzz::FatVolume (see FuzzTargets.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lv::fuzz::FatVolume(data, size);
  return 0;
}
