#include "disk/VolumeView.h"

#include <algorithm>
#include <cstring>

namespace lv {

VolumeView::VolumeView(readWriteInterface& reader, int64_t startSector) : reader_(reader) {
  int64_t base;
  if (startSector >= 0 && !__builtin_mul_overflow(startSector, static_cast<int64_t>(kSectorSize), &base)) {
    base_ = base;
    reader_.baseOffset = base;
  }
}

std::optional<uint64_t> VolumeView::Bytes(uint64_t count, uint64_t unit) {
  uint64_t bytes;
  if (__builtin_mul_overflow(count, unit, &bytes)) return std::nullopt;
  return bytes;
}

uint64_t VolumeView::AvailableBytes() const {
  const uint64_t source = reader_.SourceBytes();
  if (source == 0) return UINT64_MAX;
  if (!Valid()) return 0;
  return source > static_cast<uint64_t>(base_) ? source - static_cast<uint64_t>(base_) : 0;
}

bool VolumeView::Positionable(uint64_t offset) const {
  return Valid() && offset <= static_cast<uint64_t>(INT64_MAX - base_);
}

bool VolumeView::SeekTo(uint64_t offset) const {
  if (!Positionable(offset)) return false;
  // The reader is shared: the base is set again on every read, so another
  // user of the reader in between cannot move this volume.
  reader_.baseOffset = base_;
  return reader_.Seek(static_cast<int64_t>(offset));
}

bool VolumeView::Read(uint64_t offset, void* out, uint32_t count) const {
  if (count == 0) return true;
  if (!SeekTo(offset)) {
    std::memset(out, 0, count);
    return false;
  }
  if (reader_.Read(out, count)) return true;
  // A read that got nothing leaves the destination as it was: read again
  // into zeros so that what was read, if anything, is followed by zeros.
  std::memset(out, 0, count);
  if (SeekTo(offset)) reader_.Read(out, count);
  return false;
}

VolumeView::BatchResult VolumeView::ReadBatch(uint64_t offset, void* out, size_t count, uint32_t piece) const {
  BatchResult result;
  auto* bytes = static_cast<uint8_t*>(out);
  if (count == 0) return result;
  if (!SeekTo(offset)) {
    std::memset(bytes, 0, count);
    result.positioned = false;
    return result;
  }
  // One request while it fits the reader's 32-bit count.
  if (count <= UINT32_MAX && reader_.Read(bytes, static_cast<uint32_t>(count))) return result;
  std::memset(bytes, 0, count);
  piece = std::max<uint32_t>(piece, static_cast<uint32_t>(kSectorSize));
  for (size_t at = 0; at < count;) {
    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(piece, count - at));
    if (SeekTo(offset + at) && reader_.Read(bytes + at, n)) {
      at += n;
      continue;
    }
    if (reader_.lastError == kErrorHandleEof) {
      result.reachedEnd = true;  // what was read is in place, the rest zero
      return result;
    }
    std::memset(bytes + at, 0, n);
    for (size_t s = 0; s < n; s += kSectorSize) {
      const uint32_t m = static_cast<uint32_t>(std::min<size_t>(kSectorSize, n - s));
      if (SeekTo(offset + at + s) && reader_.Read(bytes + at + s, m)) continue;
      if (reader_.lastError == kErrorHandleEof) {
        result.reachedEnd = true;
        return result;
      }
      std::memset(bytes + at + s, 0, m);
      if (result.skippedBytes == 0) result.firstSkipped = offset + at + s;
      result.skippedBytes += m;
    }
    at += n;
  }
  return result;
}

}  // namespace lv
