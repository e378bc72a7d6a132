#include "ntfs/NtfsRunList.h"

namespace lv {

RunListEnd DecodeRunList(ByteView runList, uint64_t span, uint64_t volumeClusters, RunDecodeState& state,
                         std::vector<MftRun>& out) {
  size_t position = 0;
  while (position < runList.size()) {
    const uint8_t h = runList.U8(position);
    const unsigned lengthBytes = h & 0x0F;
    const unsigned offsetBytes = h >> 4;
    if (lengthBytes == 0) return RunListEnd::Terminated;
    if (lengthBytes > 8 || offsetBytes > 8) return RunListEnd::Corrupt;
    if (!runList.Fits(position + 1, size_t{lengthBytes} + offsetBytes)) return RunListEnd::Corrupt;

    const uint64_t length = runList.LeN(position + 1, lengthBytes);
    MftRun run;
    run.clusterCount = length;
    if (offsetBytes == 0) {
      run.sparse = true;
      run.startCluster = 0;
    } else {
      const int64_t delta = SignExtend(runList.LeN(position + 1 + lengthBytes, offsetBytes), offsetBytes * 8);
      int64_t start;
      if (__builtin_add_overflow(state.accumulator, delta, &start)) return RunListEnd::Corrupt;
      state.accumulator = start;
      run.startCluster = start;
    }
    const auto total = CheckedAdd(state.total, length);
    if (!total) return RunListEnd::Corrupt;
    state.total = *total;
    if (state.total <= span) {
      if (!run.sparse) {
        const bool inside = run.startCluster >= 0 && static_cast<uint64_t>(run.startCluster) <= volumeClusters &&
                            length <= volumeClusters - static_cast<uint64_t>(run.startCluster);
        if (!inside) return RunListEnd::Corrupt;
      }
      out.push_back(run);
    }
    position += 1 + lengthBytes + offsetBytes;
  }
  return RunListEnd::Exhausted;
}

}  // namespace lv
