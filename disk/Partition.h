// Volume discovery from partition tables: the standard scan of an MBR with
// its extended chain, or of a GPT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/WorkerProtocol.h"
#include "common/ByteView.h"
#include "disk/Disk.h"

namespace lv {

// What the advanced scan tells the page that owns it besides its status
// texts and progress (the volume-list page, which marshals the calls to its
// interface thread).
class PartitionScanPage {
 public:
  virtual ~PartitionScanPage() = default;
  // The "Filter Entries" button: disabled while the advanced scan runs.
  virtual void SetFilterEnabled(bool) {}
  // A row the advanced scan has just appended to the rows: the page adds it
  // as the last line of its volume list, with a copy of the row of its own.
  virtual void RowFound(const VolumeEntry&) {}
};

class Partition {
 public:
  // Rows are appended to `rows` (the owner page's list); progress texts go
  // to `statusText`.
  Partition(std::vector<VolumeEntry>& rows, WorkerSink& statusText) : ownerRows(&rows), statusText(&statusText) {}

  // Reads the partition table through `reader` and appends one row per
  // volume. Returns 0, or the error code of the sector read that failed;
  // rows appended before a failure stay.
  int StandardScan(readWriteInterface& reader);

  // The advanced scan: reads the source from customStartSector to its end
  // (or past customEndSector) in 1 MiB blocks and tests every 512-byte
  // sector for a volume's boot sector or header; each volume found is
  // appended to the rows and reported to ownerPage at once. Returns 1, or
  // the error code of a block read that failed; the rows found stay.
  int AdvancedScan(readWriteInterface& reader);

  std::vector<VolumeEntry>* ownerRows;
  PartitionScanPage* ownerPage = nullptr;
  WorkerSink* statusText;
  StopFlag stopRequested{0};
  PauseGate* pauseGate = nullptr;
  bool gptEnabled = false;
  // The logical sector size the tables count in: 512 or 4096, or 0 to take
  // the device's own (BLKSSZGET) or, for an image, the size at which a GPT
  // header or a consistent MBR is found. Rows count in 512-byte sectors
  // whatever it is.
  uint32_t sectorSize = 0;
  // After StandardScan: the sector size the tables were read with, and
  // notes for the user that are not progress texts (a damaged GPT header
  // replaced by its backup).
  uint32_t tableSectorSize = 512;
  std::vector<std::wstring> notes;
  // Used by the advanced scan.
  bool skipVolumeSize = true;
  int64_t customStartSector = 0;
  int64_t customEndSector = 0;

  // At most this many extended boot records are read.
  static constexpr int kMaxBootRecords = 50;
  // GPT: the entry array read (80 entries) and the most entries taken.
  static constexpr uint32_t kGptEntryArrayBytes = 10240;
  static constexpr int kMaxGptEntries = 72;
  // The advanced scan's block.
  static constexpr uint32_t kScanBlockBytes = 1048576;
  static constexpr uint32_t kScanBlockSectors = kScanBlockBytes / 512;

 private:
  // One row at sector 0 for a source that is one volume: by its boot sector,
  // or (headerOnly) by an HFS+ header or ext superblock 1024 bytes in.
  bool ScanWholeVolume(readWriteInterface& reader, bool headerOnly);
  int ScanGpt(readWriteInterface& reader);
  int ScanMbr(readWriteInterface& reader);
  int ScanExtendedChain(readWriteInterface& reader, uint32_t extendedBase, std::vector<uint64_t>& visited);
  void Append(const std::wstring& fileSystem, std::wstring sizeText, int64_t startSector);
  // The advanced scan's test of one sector at `sector`; returns the sector
  // after the listed volume's extent when the scan is to jump over it, else 0.
  int64_t AdvancedTest(ByteView bytes, int64_t sector);
  bool Stopping() const { return StopPolled(stopRequested, pauseGate); }

  int nextRow_ = 0;
  int ntfsCount_ = 0;
};

}  // namespace lv
