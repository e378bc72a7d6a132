#include "ntfs/NtfsLznt1.h"

#include <algorithm>
#include <cstring>

#include "ntfs/NtfsLayout.h"

namespace lv {

namespace {

constexpr size_t kChunk = ntfs_layout::kLzChunkSize;

// Decodes one compressed chunk's data into out[0, limit) and returns the
// bytes produced.
size_t DecodeChunk(ByteView data, uint8_t* out, size_t limit) {
  size_t in = 0, produced = 0;
  while (in < data.size() && produced < limit) {
    const uint8_t flags = data.U8(in++);
    for (int bit = 0; bit < 8 && in < data.size() && produced < limit; ++bit) {
      if ((flags & (1u << bit)) == 0) {
        out[produced++] = data.U8(in++);
        continue;
      }
      if (!data.Fits(in, 2)) return produced;
      const uint16_t token = data.Le16(in);
      in += 2;
      // The offset takes at least 4 bits and one more each time the position
      // in the chunk passes the next power of two from 16.
      unsigned offsetBits = 4;
      for (size_t p = produced - (produced > 0 ? 1 : 0); p >= 16; p >>= 1) ++offsetBits;
      const unsigned lengthBits = 16 - offsetBits;
      const size_t offset = (token >> lengthBits) + 1;
      size_t length = (token & ((1u << lengthBits) - 1)) + 3;
      if (offset > produced) return produced;  // reaches before the chunk
      length = std::min(length, limit - produced);
      const uint8_t* from = out + produced - offset;
      for (size_t i = 0; i < length; ++i) out[produced + i] = from[i];  // may overlap: byte by byte
      produced += length;
    }
  }
  return produced;
}

}  // namespace

size_t Lznt1Decompress(ByteView input, uint8_t* output, size_t capacity) {
  size_t in = 0, produced = 0;
  bool first = true;
  while (input.size() - in >= 2 && produced < capacity) {
    const uint16_t header = input.Le16(in);
    if ((header & 0x0FFF) == 0) break;
    const size_t dataSize = (header & 0x0FFF) + 1;  // chunk size less its header
    if (!input.Fits(in + 2, dataSize)) break;
    if (!first && produced % kChunk != 0) {
      const size_t pad = std::min(kChunk - produced % kChunk, capacity - produced);
      std::memset(output + produced, 0, pad);
      produced += pad;
      if (produced >= capacity) break;
    }
    first = false;
    const ByteView data = input.Sub(in + 2, dataSize);
    const size_t limit = std::min(kChunk, capacity - produced);
    if ((header & 0x8000) == 0 && dataSize == kChunk) {
      std::memcpy(output + produced, data.data(), limit);
      produced += limit;
    } else {
      produced += DecodeChunk(data, output + produced, limit);
    }
    in += 2 + dataSize;
  }
  return produced;
}

}  // namespace lv
