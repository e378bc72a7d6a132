#include "fuzz/ScanTargets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/WorkerProtocol.h"
#include "disk/Partition.h"
#include "disk/Reader.h"

namespace lv::fuzz {

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "advanced_scan: %s\n", what);
  std::abort();
}

constexpr size_t kRangeSectors = 2 * 2048 + 16;

class CountingPage : public PartitionScanPage {
 public:
  void RowFound(const VolumeEntry&) override {
    ++rows;
    if (stopAfter && rows == stopAfter) *stop = 1;
  }
  void SetFilterEnabled(bool enabled) override {
    if (enabled == filterEnabled) Fail("filter button switched twice the same way");
    filterEnabled = enabled;
  }
  size_t rows = 0;
  size_t stopAfter = 0;
  StopFlag* stop = nullptr;
  bool filterEnabled = true;
};

}  // namespace

void AdvancedScan(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const uint8_t options = data[0];
  std::vector<uint8_t> image(kRangeSectors * 512, 0);
  for (size_t at = 1; at + 2 <= size;) {
    const size_t sector = (data[at] | size_t{data[at + 1]} << 8) % kRangeSectors;
    at += 2;
    const size_t n = std::min<size_t>(512, size - at);
    std::memcpy(image.data() + sector * 512, data + at, n);
    at += n;
  }
  MemoryReader reader(std::move(image));
  std::vector<VolumeEntry> rows;
  LatestValueSink sink;
  Partition scan(rows, sink);
  CountingPage page;
  scan.ownerPage = &page;
  scan.skipVolumeSize = (options & 1) == 0;
  static constexpr int64_t kStarts[] = {0, 1, 2047, 2048};
  scan.customStartSector = kStarts[(options >> 1) & 3];
  scan.customEndSector = (options & 8) ? 100 : 0;
  page.stopAfter = (options >> 4) & 3;
  page.stop = &scan.stopRequested;
  if (scan.AdvancedScan(reader) != 1) Fail("the scan of a readable range did not return 1");
  if (!page.filterEnabled) Fail("the filter button was left disabled");
  if (page.rows != rows.size()) Fail("a row did not reach the page exactly once");
  if (page.stopAfter && rows.size() > page.stopAfter) Fail("rows were added after the stop");
  for (size_t i = 0; i < rows.size(); ++i) {
    const VolumeEntry& row = rows[i];
    if (row.startSector < 0 || row.startSector >= static_cast<int64_t>(kRangeSectors)) Fail("row outside the range");
    if (row.name != std::to_wstring(i)) Fail("row numbered out of order");
    if (row.fileSystem.empty() || row.sizeText.empty()) Fail("row without a kind or size");
  }
  if (sink.Position() < 0 || sink.Position() > 1000) Fail("progress outside 0..1000");
}

}  // namespace lv::fuzz
