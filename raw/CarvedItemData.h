// The bytes of a carved item as its preview and save copies hold them: the
// item's whole MiB, read one MiB at a time while no stop is requested, then
// the remainder rounded up to a whole sector (so a copy may be up to 511
// bytes longer than the item).
#pragma once

#include <cstdint>

#include "common/EntryData.h"
#include "common/WorkerProtocol.h"
#include "disk/Reader.h"
#include "raw/MyJpg.h"

namespace lv {

// Length of the copy of an item of `size` bytes; 0 for a size of 0 or less.
uint64_t CopyLength(int64_t size);

// The copy's data for the shared writer, read from the range that starts
// at `startSector` of the reader's source. `stop` (may be null) is polled
// before every whole MiB.
EntryData CarvedItemData(readWriteInterface& reader, int64_t startSector, const CarvedItem& item,
                         const StopFlag* stop);

}  // namespace lv
