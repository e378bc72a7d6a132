// libFuzzer program of lv::fuzz::AdvancedScan (see ScanTargets.h).
#include <cstddef>
#include <cstdint>

#include "fuzz/ScanTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lv::fuzz::AdvancedScan(data, size);
  return 0;
}
