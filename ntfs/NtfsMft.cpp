// The ntfs engine object, the boot sector, locating the MFT and reading it
// by its data runs.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/Text.h"
#include "ntfs/Ntfs.h"
#include "ntfs/NtfsLayout.h"
#include "ntfs/NtfsRecord.h"
#include "ntfs/NtfsRunList.h"

namespace lv {

using namespace ntfs_layout;

namespace {

constexpr uint32_t kBatchRecords = 1024;  // records per MFT read request (1 MiB)

bool IsPowerOfTwo(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool HasNtfsId(const std::vector<uint8_t>& boot) {
  return boot.size() >= kBootSectorSize && boot[kBootOemId] == 'N' && boot[kBootOemId + 1] == 'T' &&
         boot[kBootOemId + 2] == 'F' && boot[kBootOemId + 3] == 'S';
}

}  // namespace

ntfs::ntfs(readWriteInterface& reader_, const VolumeEntry& volume_, WorkerSink& sink)
    : reader(reader_), volume(volume_), view(reader_, volume_.startSector), statusLine(&sink), progressTarget(&sink) {}

ntfs::~ntfs() = default;

std::optional<uint64_t> ntfs::BootClusterSize() const {
  if (bootSector.size() < kBootSectorSize) return std::nullopt;
  const ByteView boot(bootSector.data(), bootSector.size());
  const uint64_t bytesPerSector = boot.Le16(kBootBytesPerSector);
  const uint8_t code = boot.U8(kBootSectorsPerCluster);
  if (!IsPowerOfTwo(bytesPerSector) || bytesPerSector < 256 || bytesPerSector > 4096) return std::nullopt;
  uint64_t sectorsPerCluster;
  if (code <= 0x80) {
    if (!IsPowerOfTwo(code)) return std::nullopt;
    sectorsPerCluster = code;
  } else {
    // Clusters above 64 KiB store the power of two negated.
    const unsigned shift = 256u - code;
    if (shift > 16) return std::nullopt;
    sectorsPerCluster = uint64_t{1} << shift;
  }
  const uint64_t size = sectorsPerCluster * bytesPerSector;
  if (size > (uint64_t{64} << 20)) return std::nullopt;
  return size;
}

uint64_t ntfs::VolumeLimitBytes() const {
  uint64_t limit = volumeSize;
  if (sizeFromText_) limit = CheckedAdd(limit, kMiB).value_or(UINT64_MAX);  // the text is rounded down
  if (HasNtfsId(bootSector)) {
    const ByteView boot(bootSector.data(), bootSector.size());
    const uint64_t bytesPerSector = boot.Le16(kBootBytesPerSector);
    if (IsPowerOfTwo(bytesPerSector) && bytesPerSector <= 4096)
      limit = std::max(limit, CheckedMul(boot.Le64(kBootTotalSectors), bytesPerSector).value_or(UINT64_MAX));
  }
  return limit;
}

uint64_t ntfs::VolumeClusters() const { return VolumeLimitBytes() / ClusterSize(); }

bool ntfs::ReadRecordAt(uint64_t offset, uint8_t* out) {
  std::memset(out, 0, kRecordSize);
  if (!view.Positionable(offset)) return false;
  if (!splitRecords_.empty()) {
    const auto split = splitRecords_.find(offset);
    if (split != splitRecords_.end()) {
      uint32_t at = 0;
      for (const auto& [pieceOffset, length] : split->second) {
        const uint32_t n = std::min<uint32_t>(length, kRecordSize - at);
        if (n == 0) break;
        view.Read(pieceOffset, out + at, n);  // an unreadable piece stays zero
        at += n;
      }
      return true;
    }
  }
  if (!view.Positionable(offset)) return false;
  view.Read(offset, out, kRecordSize);  // what cannot be read stays zero
  return true;
}

void ntfs::AppendEntry(const uint8_t* signature, uint64_t recordOffset) {
  NtfsEntryRecord& e = entries.emplace_back();
  if (signature) std::memcpy(e.signature.data(), signature, 4);
  e.recordOffset = recordOffset;
  e.selfIndex = static_cast<int64_t>(entries.size()) - 1;
}

bool ntfs::ReadBootSector() {
  bootSector.assign(kBootSectorSize, 0);
  view.Read(0, bootSector.data(), kBootSectorSize);
  if (HasNtfsId(bootSector)) {
    // 512 whatever the bytes-per-sector field says.
    const uint64_t total = ByteView(bootSector.data(), bootSector.size()).Le64(kBootTotalSectors);
    volumeSize = CheckedMul(total, kSectorSize).value_or(UINT64_MAX);
    sizeFromText_ = false;
  } else {
    const int64_t mib = LeadingInteger(volume.sizeText);
    volumeSize = mib > 0 ? CheckedMul(static_cast<uint64_t>(mib), kMiB).value_or(UINT64_MAX) : 0;
    sizeFromText_ = true;
  }
  return volumeSize != 0;
}

std::vector<MftRun> ntfs::RunsOfAttribute(const uint8_t* fixedUp, uint32_t type, int attributeIndex,
                                          bool unnamedOnly) {
  return RunsWithin(fixedUp, type, attributeIndex, unnamedOnly, VolumeClusters());
}

std::vector<MftRun> ntfs::RunsWithin(const uint8_t* fixedUp, uint32_t type, int attributeIndex, bool unnamedOnly,
                                     uint64_t volumeClusters) {
  std::vector<MftRun> runs;
  const ByteView record(fixedUp, kRecordSize);
  AttributeWalker walker(record);
  RunDecodeState state;
  bool started = false;
  int index = -1;
  while (auto a = walker.Next()) {
    ++index;
    if (a->type != type || !a->NonResident()) continue;
    if (unnamedOnly && a->NameLength() != 0) continue;
    if (!started && attributeIndex >= 0 && index != attributeIndex) continue;
    started = true;
    const uint64_t first = a->header.Le64(kAttrFirstVcn);
    const uint64_t last = a->header.Le64(kAttrLastVcn);
    clusterSpan = last >= first ? last - first + 1 : 0;  // wraps to 0 only for an absurd span
    const uint32_t runListOffset = a->header.Le16(kAttrRunListOffset);
    if (runListOffset >= a->extent.size()) return runs;
    const RunListEnd end = DecodeRunList(a->extent.From(runListOffset), clusterSpan, volumeClusters, state, runs);
    if (end == RunListEnd::Corrupt) runsRefused_ = true;
    if (end != RunListEnd::Exhausted) return runs;
    // The bytes ended without a terminator: go on with the next attribute of
    // the same type, keeping the accumulator and the total.
  }
  return runs;
}

std::vector<MftRun> ntfs::GetAttributeRuns(uint64_t recordOffset, uint32_t type) {
  currentRecordOffset = recordOffset;
  if (!ReadRecordAt(recordOffset, recordBuffer.data())) return {};
  ApplyFixups(recordBuffer, fixedScratch_);
  return RunsOfAttribute(fixedScratch_.data(), type, -1, false);
}

bool ntfs::ScanSlots(uint64_t limit, const std::function<bool(uint64_t)>& beforeChunk,
                     const std::function<uint32_t(uint64_t, ByteView)>& onSlot) {
  std::vector<uint8_t> chunk;
  try {
    chunk.resize(kScanChunk);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const uint64_t slotLimit = std::max(limit, VolumeLimitBytes());
  uint64_t start = 0;
  for (uint64_t number = 0; start < limit; ++number) {
    if (!beforeChunk(number)) return true;
    const VolumeView::BatchResult read = view.ReadBatch(start, chunk.data(), chunk.size());
    if (!read.positioned) {
      start += kScanChunk;  // a chunk that cannot be positioned is skipped
      continue;
    }
    const bool atEnd = read.reachedEnd;
    uint64_t position = 0;
    while (position < kScanChunk) {
      if (start + position >= slotLimit) return true;
      if (StopPolled(stopRequested, pauseGate)) return true;
      const uint32_t advance =
          onSlot(start + position, ByteView(chunk.data() + position, static_cast<size_t>(kScanChunk - position)));
      if (advance == 0) return true;
      position += advance;
    }
    start += position;  // a record in the last slot moves the next chunk on by 512
    if (atEnd) return true;
  }
  return true;
}

bool ntfs::LocateMft() {
  if (HasNtfsId(bootSector)) {
    mftLocated = 1;
    bytesPerCluster = BootClusterSize().value_or(kDefaultClusterSize);
    const uint64_t mftCluster = ByteView(bootSector.data(), bootSector.size()).Le64(kBootMftCluster);
    const auto offset = CheckedMul(mftCluster, bytesPerCluster);
    if (!offset || !view.Positionable(*offset)) return true;
    currentOffset = *offset;
    statusLine->SetStatus(L"boot sector is fine.Getting run of mft entry...");
    mftRuns = GetAttributeRuns(currentOffset, kTypeData);
    statusLine->SetStatus(L"Got run...");
    runFromFirstEntry = 0;
    return true;
  }

  bytesPerCluster = kDefaultClusterSize;
  statusLine->SetStatus(L"boot sector corrupt.Scanning for first mft entry...");
  mftLocated = 0;
  currentOffset = 0;
  const uint64_t chunks = volumeSize / kScanChunk;
  progressTarget->ProgressRange(0, static_cast<int64_t>(chunks));
  bool found = false;
  const bool allocated = ScanSlots(
      volumeSize,
      [&](uint64_t number) {
        if (StopPolled(stopRequested, pauseGate)) return false;
        if (number % 100 == 0) progressTarget->ProgressPosition(static_cast<int64_t>(number));
        return true;
      },
      [&](uint64_t offset, ByteView bytes) -> uint32_t {
        if (!bytes.Matches(0, "FILE")) return kSlotSize;
        AppendScannedRecord(offset, bytes, true);
        const NtfsEntryRecord& e = entries.back();
        if (checkMftName && e.name.size() >= 3 && e.name.substr(0, 3) == u"$MF") {
          statusLine->SetStatus(L"found mft entry.getting its run ...");
          mftRuns = GetAttributeRuns(offset, kTypeData);
          statusLine->SetStatus(L"got run ...");
          if (!mftRuns.empty()) {
            found = true;
            return 0;
          }
        }
        return kRecordSize;
      });
  if (!allocated) return false;
  if (!found) return false;
  mftLocated = 1;
  runFromFirstEntry = 0;
  entries.clear();
  nameStore.Clear();
  ResetLinkState();
  return true;
}

void ntfs::ReadMftByRuns() {
  if (!mftLocated || StopPolled(stopRequested, pauseGate)) return;
  if (bytesPerCluster == 0) bytesPerCluster = kDefaultClusterSize;
  if (runFromFirstEntry && !entries.empty()) {
    statusLine->SetStatus(L"getting run of mft...");
    mftRuns = GetAttributeRuns(entries[0].recordOffset, kTypeData);
    statusLine->SetStatus(L"got run...");
  } else {
    entries.clear();
    ResetLinkState();
  }
  // Read by its runs, the table's positions are record numbers again.
  deepTable_ = false;
  extensionRecords_.Clear();
  splitRecords_.clear();

  const uint64_t cluster = bytesPerCluster;
  const uint64_t volumeClusters = VolumeClusters();
  // Never more entries than the volume has room for records, and never
  // records past the source's end, whatever the boot sector claims.
  const uint64_t readable = std::min(VolumeLimitBytes(), view.AvailableBytes());
  const uint64_t maxEntries = std::min<uint64_t>(readable / kRecordSize + 16, kMaxNtfsEntries);
  const uint64_t readableClusters = readable / cluster;
  recordsPerStep = static_cast<uint32_t>(cluster >= kRecordSize ? cluster / kRecordSize : 1);

  // Where the records lie: the MFT's runs read as one stream of 1024-byte
  // records. With clusters of 1024 bytes or more every cluster holds whole
  // records; with smaller ones a record can begin at the end of one run and
  // end in the next, and is then read from both pieces.
  struct Segment {
    uint64_t offset = 0;  // UINT64_MAX: records without a position (a hole in the MFT)
    uint64_t records = 0;
  };
  std::vector<Segment> segments;
  std::vector<std::pair<uint64_t, uint32_t>> pending;  // pieces of a record not yet complete
  uint32_t pendingBytes = 0;
  uint64_t planned = 0;
  const auto plan = [&](uint64_t offset, uint64_t records) {
    records = std::min(records, maxEntries > planned ? maxEntries - planned : 0);
    if (records == 0) return;
    planned += records;
    if (!segments.empty() && offset != UINT64_MAX && segments.back().offset != UINT64_MAX &&
        segments.back().offset + segments.back().records * kRecordSize == offset)
      segments.back().records += records;
    else
      segments.push_back({offset, records});
  };
  const auto finishPending = [&](bool hole) {
    if (pending.empty()) return;
    if (hole) {
      plan(UINT64_MAX, 1);
    } else {
      if (pending.size() > 1) {
        // The last record of the MFT may be short: it reads on past the run.
        if (pendingBytes < kRecordSize) pending.back().second += kRecordSize - pendingBytes;
        splitRecords_[pending.front().first] = pending;
      }
      plan(pending.front().first, 1);
    }
    pending.clear();
    pendingBytes = 0;
  };

  for (const MftRun& run : mftRuns) {
    statusLine->SetStatus(Format(L"parsing %lld cluster of MFT run.", static_cast<long long>(run.startCluster)));
    if (StopPolled(stopRequested, pauseGate)) break;
    if (run.sparse) {
      // An MFT has no holes; keep the numbering of the records after it.
      const uint64_t bytes = std::min(run.clusterCount, maxEntries) * cluster;
      uint64_t used = 0;
      if (pendingBytes > 0) {
        used = kRecordSize - pendingBytes;
        finishPending(true);
      }
      if (bytes > used) plan(UINT64_MAX, (bytes - used + kRecordSize - 1) / kRecordSize);
      continue;
    }
    const uint64_t start = static_cast<uint64_t>(run.startCluster);
    const uint64_t limitClusters = std::min(volumeClusters, readableClusters);
    if (start >= limitClusters) continue;
    const uint64_t count = std::min(run.clusterCount, limitClusters - start);
    const uint64_t runStart = start * cluster;
    if (cluster >= kRecordSize) {
      plan(runStart, count * recordsPerStep);
      continue;
    }
    const uint64_t runBytes = count * cluster;
    uint64_t position = 0;
    if (pendingBytes > 0) {
      const uint64_t take = std::min<uint64_t>(kRecordSize - pendingBytes, runBytes);
      pending.emplace_back(runStart, static_cast<uint32_t>(take));
      pendingBytes += static_cast<uint32_t>(take);
      position = take;
      if (pendingBytes == kRecordSize) finishPending(false);
    }
    const uint64_t whole = (runBytes - position) / kRecordSize;
    if (whole > 0) plan(runStart + position, whole);
    position += whole * kRecordSize;
    if (position < runBytes) {
      pending.emplace_back(runStart + position, static_cast<uint32_t>(runBytes - position));
      pendingBytes = static_cast<uint32_t>(runBytes - position);
    }
  }
  finishPending(false);

  try {
    // One more for ORPHAN_ENTRY, so that its append does not move the table.
    entries.reserve(entries.size() + std::min<uint64_t>(planned, uint64_t{1} << 22) + 1);
  } catch (const std::bad_alloc&) {
  }
  if (window_.size() < size_t{kBatchRecords} * kRecordSize) window_.assign(size_t{kBatchRecords} * kRecordSize, 0);
  try {
    for (const Segment& segment : segments) {
      for (uint64_t done = 0; done < segment.records;) {
        if (StopPolled(stopRequested, pauseGate)) return;
        if (segment.offset == UINT64_MAX) {
          AppendEntry(nullptr, UINT64_MAX);
          ++done;
          continue;
        }
        const uint64_t offset = segment.offset + done * kRecordSize;
        currentOffset = offset;
        uint64_t batch = std::min<uint64_t>(kBatchRecords, segment.records - done);
        if (!splitRecords_.empty()) {
          // A record in pieces is read on its own.
          if (splitRecords_.count(offset)) {
            batch = 1;
          } else {
            for (uint64_t r = 1; r < batch; ++r)
              if (splitRecords_.count(offset + r * kRecordSize)) {
                batch = r;
                break;
              }
          }
        }
        const size_t bytes = static_cast<size_t>(batch * kRecordSize);
        done += batch;
        if (batch == 1) {
          if (!ReadRecordAt(offset, window_.data())) continue;
        } else if (!view.ReadBatch(offset, window_.data(), bytes, kRecordSize).positioned) {
          continue;
        }
        for (uint64_t r = 0; r < batch; ++r) AppendEntry(window_.data() + r * kRecordSize, offset + r * kRecordSize);
      }
    }
  } catch (const std::bad_alloc&) {
    // The table keeps what fitted.
  }
}

}  // namespace lv
