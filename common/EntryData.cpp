#include "common/EntryData.h"

#include <algorithm>

namespace lv {

bool ReadWhole(EntryData& data, uint64_t limit, std::string& out) {
  out.clear();
  if (data.size > limit) return false;
  if (!data.stream) return true;
  DataPiece piece;
  while (out.size() < data.size && data.stream->Next(piece)) {
    const uint64_t n = std::min<uint64_t>(piece.length, data.size - out.size());
    if (piece.bytes) out.append(reinterpret_cast<const char*>(piece.bytes), static_cast<size_t>(n));
    else out.append(static_cast<size_t>(n), '\0');
  }
  return true;
}

}  // namespace lv
