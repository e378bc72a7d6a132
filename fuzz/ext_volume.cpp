// libFuzzer program of lv::fuzz::ExtVolume (see FuzzTargets.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lv::fuzz::ExtVolume(data, size);
  return 0;
}
