// Volume scans that do not trust the boot sector: the deep scan (every
// plausible record, in the order found) and the search for MFT candidates.
#include <cstring>

#include "common/Text.h"
#include "ntfs/Ntfs.h"
#include "ntfs/NtfsLayout.h"
#include "ntfs/NtfsRecord.h"

namespace lv {

using namespace ntfs_layout;

namespace {

// A 512-byte slot that may start an MFT record.
bool PlausibleRecord(ByteView slot) {
  return slot.Matches(0, "FILE") && slot.Le16(kRecUsaOffset) < kSlotSize && slot.Le16(kRecUsaCount) < kSlotSize &&
         slot.Le16(kRecFirstAttribute) < kSlotSize;
}

bool StartsWith(std::u16string_view name, std::u16string_view prefix) {
  return name.size() >= prefix.size() && name.substr(0, prefix.size()) == prefix;
}

}  // namespace

int64_t ntfs::AppendScannedRecord(uint64_t offset, ByteView bytes, bool keepIndexZeroFree) {
  if (keepIndexZeroFree && entries.empty()) AppendEntry(nullptr, UINT64_MAX);
  AppendEntry(reinterpret_cast<const uint8_t*>(bytes.data()), offset);
  const int64_t index = static_cast<int64_t>(entries.size()) - 1;
  // The slot holds the whole record unless it is the last one of a chunk.
  if (bytes.size() >= kRecordSize) {
    currentRecordOffset = offset;
    ParseRecordBytes(reinterpret_cast<const uint8_t*>(bytes.data()), index);
  } else {
    ParseRecord(offset, index);
  }
  return index;
}

bool ntfs::ScanAllRecords() {
  bytesPerCluster = BootClusterSize().value_or(kDefaultClusterSize);
  mftLocated = 0;
  currentOffset = 0;
  const uint64_t chunks = volumeSize / kScanChunk;
  progressTarget->ProgressRange(0, static_cast<int64_t>(chunks));
  ScanSlots(
      volumeSize,
      [&](uint64_t number) {
        if (StopPolled(stopRequested, pauseGate)) return false;
        progressTarget->ProgressPosition(static_cast<int64_t>(number));
        return true;
      },
      [&](uint64_t offset, ByteView bytes) -> uint32_t {
        if (!PlausibleRecord(bytes)) return kSlotSize;
        AppendScannedRecord(offset, bytes, true);
        if (entries.back().HasName()) {
          entries.back().isOrphan = 1;
          statusLine->SetStatus(Format(L"MFT ENTRY %lld Found.Parsing it ..", static_cast<long long>(entries.size())));
        } else {
          DropLastEntry();
        }
        return kRecordSize;
      });
  progressTarget->ProgressPosition(static_cast<int64_t>(chunks));
  return false;
}

uint64_t ntfs::FindMftCandidates(uint64_t maximum) {
  bytesPerCluster = BootClusterSize().value_or(kDefaultClusterSize);
  mftLocated = 0;
  currentOffset = 0;
  const int64_t mib = LeadingInteger(volume.sizeText);
  volumeSize = mib > 0 ? CheckedMul(static_cast<uint64_t>(mib), kMiB).value_or(UINT64_MAX) : 0;
  sizeFromText_ = true;
  const uint64_t chunks = volumeSize / kScanChunk;
  if (volumeSize != 0) {
    progressTarget->ProgressRange(0, static_cast<int64_t>(chunks));
    std::wstring message;
    bool shown = false;
    ScanSlots(
        volumeSize > kRecordSize ? volumeSize - kRecordSize : 0,
        [&](uint64_t number) {
          // Tested only here: the chunk in which the maximum is reached is
          // still finished.
          if (!mftCandidates.empty() && mftCandidates.size() >= maximum) return false;
          if (StopPolled(stopRequested, pauseGate)) return false;
          progressTarget->ProgressPosition(static_cast<int64_t>(number));
          return true;
        },
        [&](uint64_t offset, ByteView bytes) -> uint32_t {
          if (!PlausibleRecord(bytes)) return kSlotSize;
          AppendScannedRecord(offset, bytes, false);
          if (!shown) {
            statusLine->SetStatus(message);
            shown = true;
          }
          // $MFT to $Boot are the first eight records of an MFT, in one run.
          if (entries.size() >= 8 && StartsWith(entries.back().name, u"$Boot")) {
            const NtfsEntryRecord& mft = entries[entries.size() - 8];
            if (StartsWith(mft.name, u"$MFT") && (mft.name.size() < 5 || mft.name[4] != u'M')) {
              mftCandidates.push_back(mft);
              message = Format(L"MFT ENTRY %lld Found.Parsing it ...", static_cast<long long>(entries.size()));
              statusLine->SetStatus(message);
            }
          }
          return kRecordSize;
        });
    // A stop ends the search and is cleared, so the next worker does not see it.
    stopRequested.store(0);
  }
  checkMftName = 0;
  progressTarget->ProgressPosition(static_cast<int64_t>(chunks));
  return mftCandidates.size();
}

bool ntfs::UseCandidate(int64_t candidate) {
  mftLocated = 0;
  if (!mftCandidates.empty() && candidate >= 0 && candidate < static_cast<int64_t>(mftCandidates.size())) {
    const uint64_t offset = mftCandidates[static_cast<size_t>(candidate)].recordOffset;
    currentRecordOffset = offset;
    if (ReadRecordAt(offset, recordBuffer.data())) {
      ApplyFixups(recordBuffer, fixedScratch_);
      // The cluster size is chosen after this call: bound the runs by the
      // smallest one, and let ReadMftByRuns clip them to the chosen one.
      mftRuns = RunsWithin(fixedScratch_.data(), kTypeData, -1, false, VolumeLimitBytes() / kSectorSize);
    } else {
      mftRuns.clear();
    }
  }
  if (!mftRuns.empty()) {
    mftLocated = 1;
    runFromFirstEntry = 0;
    return true;
  }
  return false;
}

}  // namespace lv
