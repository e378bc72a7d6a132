// Decoding of an NTFS run list (mapping pairs): a sequence of runs, each a
// header byte whose low nibble gives the width of the length field and whose
// high nibble the width of the signed offset field, followed by both fields.
// Offsets are relative to the previous run's start cluster; a run without an
// offset field is sparse. A zero header byte ends the list.
#pragma once

#include <cstdint>
#include <vector>

#include "common/ByteView.h"
#include "ntfs/Ntfs.h"

namespace lv {

// What the decoder carries from one attribute's run list to the next.
struct RunDecodeState {
  int64_t accumulator = 0;  // start cluster of the last run with an offset
  uint64_t total = 0;       // clusters of every run decoded so far
};

enum class RunListEnd {
  Terminated,  // a zero header byte
  Exhausted,   // the bytes ended without one
  Corrupt,     // a field wider than 8 bytes, a field past the bytes, an
               // overflowing sum, or a run outside the volume
};

// Decodes `runList`, appending to `out` each run while the running cluster
// total stays within `span` (runs past it are decoded but dropped). Length
// and offset fields are read at their full width (up to 8 bytes, offsets
// sign-extended). A run with an offset must lie inside [0, volumeClusters);
// the first one that does not ends the decoding as Corrupt, keeping the runs
// before it.
RunListEnd DecodeRunList(ByteView runList, uint64_t span, uint64_t volumeClusters, RunDecodeState& state,
                         std::vector<MftRun>& out);

}  // namespace lv
