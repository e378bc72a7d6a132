// myJpg: the carving engine. It reads a sector range in 1 MiB chunks,
// classifies every 512-byte sector by the loaded rules' start and end
// signatures and size fields, and turns every accepted find into a
// CarvedItem (start offset and size), in find order.
//
// It knows nothing of trees: whoever shows the results listens through a
// CarveObserver. Reading goes through one VolumeView at the range's first
// sector.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "common/WorkerProtocol.h"
#include "disk/Reader.h"
#include "raw/SignatureRecord.h"
#include "raw/SignatureTable.h"

namespace lv {

inline constexpr uint64_t kCarveChunk = 1 << 20;

struct CarvedItem {
  int64_t startOffset = 0;  // byte offset from the start of the scanned range
  int64_t size = 0;         // bytes
  int ruleNumber = 0;       // the rule that found it
};

class CarveObserver {
 public:
  virtual ~CarveObserver() = default;
  // Before the first chunk: the rules of the run, in rule order.
  virtual void RunStarted(const std::vector<CarveRule>&) {}
  // An item was appended: its index, its rule and the category's new count.
  virtual void ItemCreated(size_t, const CarveRule&, int64_t) {}
};

class myJpg {
 public:
  myJpg(readWriteInterface& reader, WorkerSink& sink) : reader_(reader), sink_(sink) {}

  // Carves the whole range; true when the run completed (also after a
  // stop), false when it did not start.
  bool Run();
  void Stop() { stopRequested.store(1); }

  std::vector<CarveRule> rules;
  // The range: its first sector on the reader's source and its length.
  int64_t startSector = 0;
  uint64_t bytesToScan = 0;
  CarveObserver* observer = nullptr;
  PauseGate* gate = nullptr;
  StopFlag stopRequested{0};

  std::vector<CarvedItem> items;
  std::map<std::wstring, int64_t> categoryCounts;
  // Sectors that could not be read in the last run; they were skipped.
  uint64_t unreadableSectors = 0;
  // Bytes of the range the last run could scan (the range, cut to the
  // source's end).
  uint64_t scannedRange = 0;

 private:
  void AddItem(size_t rule, int64_t start, int64_t size);
  readWriteInterface& reader_;
  WorkerSink& sink_;
};

}  // namespace lv
