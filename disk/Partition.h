// Volume discovery from partition tables: the standard scan of an MBR with
// its extended chain, or of a GPT.
#pragma once

#include <cstdint>
#include <vector>

#include "common/WorkerProtocol.h"
#include "common/ByteView.h"
#include "disk/Disk.h"

namespace lv {

class Partition {
 public:
  // Rows are appended to `rows` (the owner page's list); progress texts go
  // to `statusText`.
  Partition(std::vector<VolumeEntry>& rows, WorkerSink& statusText) : ownerRows(&rows), statusText(&statusText) {}

  // Reads the partition table through `reader` and appends one row per
  // volume. Returns 0, or the error code of the sector read that failed;
  // rows appended before a failure stay.
  int StandardScan(readWriteInterface& reader);

  std::vector<VolumeEntry>* ownerRows;
  WorkerSink* statusText;
  StopFlag stopRequested{0};
  PauseGate* pauseGate = nullptr;
  bool gptEnabled = false;
  // Used by the advanced scan.
  bool skipVolumeSize = true;
  int64_t customStartSector = 0;
  int64_t customEndSector = 0;

  // At most this many extended boot records are read.
  static constexpr int kMaxBootRecords = 50;
  // GPT: the entry array read (80 entries) and the most entries taken.
  static constexpr uint32_t kGptEntryArrayBytes = 10240;
  static constexpr int kMaxGptEntries = 72;

 private:
  int ScanGpt(readWriteInterface& reader, ByteView head);
  int ScanMbr(readWriteInterface& reader);
  int ScanExtendedChain(readWriteInterface& reader, uint32_t extendedBase);
  void Append(const std::wstring& fileSystem, std::wstring sizeText, int64_t startSector);
  bool Stopping() const { return StopPolled(stopRequested, pauseGate); }

  int nextRow_ = 0;
  int ntfsCount_ = 0;
};

}  // namespace lv
