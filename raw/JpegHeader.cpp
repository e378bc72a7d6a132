#include "raw/JpegHeader.h"

namespace lv {

bool IsJpegRule(const uint8_t* start, uint8_t startLength, int32_t startOffset, const uint8_t* end,
                uint8_t endLength) {
  return startOffset == 0 && startLength >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF &&
         endLength == 2 && end[0] == 0xFF && end[1] == 0xD9;
}

JpegWalk WalkJpegHeader(const uint8_t* data, uint64_t available) {
  uint64_t at = 0;
  for (;;) {
    // A marker: FF, any fill FFs, then the code.
    uint64_t code = at;
    while (code < available && data[code] == 0xFF) ++code;
    if (code >= available) return {at, true};
    if (code == at) return {at, false};
    const uint8_t marker = data[code];
    if (marker == 0x00 || marker == 0xD8 || marker == 0xD9) return {at, false};
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      at = code + 1;  // a marker without a segment
      continue;
    }
    if (code + 2 >= available) return {at, true};
    const uint64_t length = uint64_t{data[code + 1]} << 8 | data[code + 2];
    if (length < 2) return {at, false};
    const uint64_t next = code + 1 + length;
    if (marker == 0xDA) return {next, false};  // the scan data begins here
    if (next >= available) return {next, true};
    at = next;
  }
}

}  // namespace lv
