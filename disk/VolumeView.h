// The one way an engine reads its volume: byte offsets relative to the
// volume's first byte, with the base offset fixed when the view is made.
//
// Every position is overflow-checked here, so an engine never forms an
// absolute offset itself; and the batched read with its fallback around bad
// sectors lives here once: a request that fails is read again in pieces,
// and a piece that fails sector by sector, so that one bad sector costs
// only its own 512 bytes, which stay zero and are reported as skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "disk/Reader.h"

namespace lv {

class VolumeView {
 public:
  // The volume starts at startSector (512-byte sectors) of the reader's
  // source. A start whose byte offset does not fit makes a view that reads
  // nothing.
  VolumeView(readWriteInterface& reader, int64_t startSector);

  bool Valid() const { return base_ >= 0; }
  int64_t BaseOffset() const { return base_; }
  readWriteInterface& Reader() const { return reader_; }

  // Bytes of the source from the volume's start on; UINT64_MAX when the
  // source's size is unknown. No table or buffer sized from a disk field
  // needs to be larger than this.
  uint64_t AvailableBytes() const;
  // Whether the reader can be positioned at this volume offset.
  bool Positionable(uint64_t offset) const;
  // count × unit, or nullopt when it overflows.
  static std::optional<uint64_t> Bytes(uint64_t count, uint64_t unit);

  // Reads count bytes at a volume offset; true only when all were read.
  // Whatever could not be read is zero.
  bool Read(uint64_t offset, void* out, uint32_t count) const;

  struct BatchResult {
    bool positioned = true;      // false: the offset cannot be reached at all
    bool reachedEnd = false;     // the source ended inside the request
    uint64_t skippedBytes = 0;   // unreadable sectors, left as zeros
    uint64_t firstSkipped = UINT64_MAX;  // volume offset of the first of them
  };
  // Reads count bytes at a volume offset with one request; when that fails
  // before the source's end, in pieces of `piece` bytes, and a piece that
  // fails sector by sector. Bytes past the source's end and unreadable
  // sectors are zero. The destination is written only where data lands or
  // a read failed, so a full read costs no zero fill.
  BatchResult ReadBatch(uint64_t offset, void* out, size_t count, uint32_t piece = 65536) const;

 private:
  bool SeekTo(uint64_t offset) const;

  readWriteInterface& reader_;
  int64_t base_ = -1;
};

}  // namespace lv
