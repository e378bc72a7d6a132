// The advanced volume scan: every sector tested, the rows, texts, jumps,
// range and stop.
#include <gtest/gtest.h>

#include <map>

#include "PartitionTestImage.h"
#include "disk/Partition.h"

namespace lv {
namespace {

using test::DiskBuilder;
using test::StatusLog;

// A large source of zeros with a few sectors set, read without holding it;
// reads after the first `goodReads` fail with error 5.
class SparseReader : public readWriteInterface {
 public:
  explicit SparseReader(uint64_t sectors) : bytes_(sectors * 512) {}
  void Put(uint64_t sector, const std::vector<uint8_t>& image, uint64_t from) {
    std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(from * 512), 512, sectors_[sector].begin());
  }
  bool Open(std::wstring) override { return true; }
  bool Seek(int64_t position, uint32_t) override { return position_ = static_cast<uint64_t>(position), true; }
  bool Read(void* destination, uint32_t count) override {
    if (reads_++ >= goodReads || position_ + count > bytes_) return lastError = 5, false;
    auto* out = static_cast<uint8_t*>(destination);
    std::fill_n(out, count, 0);
    for (auto it = sectors_.lower_bound(position_ / 512); it != sectors_.end() && it->first * 512 < position_ + count; ++it)
      std::copy_n(it->second.begin(), 512, out + (it->first * 512 - position_));
    position_ += count;
    return true;
  }
  uint64_t SourceBytes() const override { return bytes_; }
  int goodReads = INT32_MAX;

 private:
  uint64_t bytes_, position_ = 0;
  int reads_ = 0;
  std::map<uint64_t, std::array<uint8_t, 512>> sectors_;
};

// Records what the scan tells its page.
class Page : public PartitionScanPage {
 public:
  void SetFilterEnabled(bool enabled) override { filter.push_back(enabled); }
  void RowFound(const VolumeEntry& row) override {
    lines.push_back(row);
    if (stopAfter && lines.size() == stopAfter) *stop = 1;
  }
  std::vector<bool> filter;
  std::vector<VolumeEntry> lines;
  size_t stopAfter = 0;
  StopFlag* stop = nullptr;
};

class ProgressLog : public StatusLog {
 public:
  void ProgressRange(int64_t lo, int64_t hi) override { range = {lo, hi}; }
  void ProgressPosition(int64_t p) override { positions.push_back(p); }
  std::pair<int64_t, int64_t> range;
  std::vector<int64_t> positions;
};

struct ScanRun {
  int code = 0;
  std::vector<VolumeEntry> rows;
  Page page;
  ProgressLog log;
};

void Scan(readWriteInterface& reader, ScanRun& run, bool skip = true, int64_t start = 0, int64_t end = 0) {
  Partition partition(run.rows, run.log);
  partition.ownerPage = &run.page;
  partition.skipVolumeSize = skip;
  partition.customStartSector = start;
  partition.customEndSector = end;
  if (run.page.stopAfter) run.page.stop = &partition.stopRequested;
  run.code = partition.AdvancedScan(reader);
}

std::vector<int64_t> Starts(const std::vector<VolumeEntry>& rows) {
  std::vector<int64_t> starts;
  for (const auto& r : rows) starts.push_back(r.startSector);
  return starts;
}

// The Part's first two edge cases: the jump over an NTFS volume passes its
// backup boot sector; without it, both are listed.
TEST(AdvancedScan, NtfsVolumeWithItsBackupBootSectorSkippedOrNot) {
  DiskBuilder sector(1);
  sector.NtfsBootSector(0, 1000000);
  SparseReader reader(2048 + 1000000 + 4096);
  reader.Put(2048, sector.image(), 0);
  reader.Put(2048 + 1000000, sector.image(), 0);  // the backup, in the sector after the counted ones

  ScanRun skip;
  Scan(reader, skip);
  EXPECT_EQ(skip.code, 1);
  ASSERT_EQ(skip.rows.size(), 1u);
  EXPECT_EQ(skip.rows[0].fileSystem, L"NTFS");
  EXPECT_EQ(skip.rows[0].sizeText, L"488   MB");
  EXPECT_EQ(skip.rows[0].startSector, 2048);
  EXPECT_EQ(skip.rows[0].name, L"0");
  EXPECT_EQ(skip.log.texts, (std::vector<std::wstring>{L"Scanning partition.....", L"found NTFS 1..."}));
  EXPECT_EQ(skip.page.lines.size(), 1u);
  EXPECT_EQ(skip.page.filter, (std::vector<bool>{false, true}));
  EXPECT_EQ(skip.log.range, (std::pair<int64_t, int64_t>{0, 1000}));
  EXPECT_EQ(skip.log.positions.back(), 1000);

  ScanRun all;
  Scan(reader, all, false);
  EXPECT_EQ(Starts(all.rows), (std::vector<int64_t>{2048, 2048 + 1000000}));
  EXPECT_EQ(all.rows[1].name, L"1");
  EXPECT_EQ(all.log.texts,
            (std::vector<std::wstring>{L"Scanning partition.....", L"found NTFS 1...", L"found NTFS 2..."}));
}

TEST(AdvancedScan, HfsPlusHeaderAtSector4098GivesARowAt4096) {
  DiskBuilder disk(8192);
  disk.Text(4098 * 512, "H+");
  disk.Le16(4098 * 512 + 2, 0x0400);
  disk.Le32(4098 * 512 + 40, 0x00100000);  // 4096-byte blocks (big-endian)
  disk.Le32(4098 * 512 + 44, 0x00040000);  // 1024 blocks: 4 MiB
  MemoryReader reader(disk.image());
  ScanRun run;
  Scan(reader, run);
  ASSERT_EQ(run.rows.size(), 1u);
  EXPECT_EQ(run.rows[0].fileSystem, L"HFS+");
  EXPECT_EQ(run.rows[0].startSector, 4096);
  EXPECT_EQ(run.rows[0].sizeText, L"4  MB");
  EXPECT_EQ(run.log.texts.back(), L"found HFS+...");
}

TEST(AdvancedScan, CustomRangeScansEveryBlockThatStartsInIt) {
  DiskBuilder disk(3 * 2048);
  disk.ExFatBootSector(2000, 4096);
  disk.ExFatBootSector(2048 + 10, 4096);
  MemoryReader reader(disk.image());
  ScanRun run;
  Scan(reader, run, true, 0, 100);
  EXPECT_EQ(Starts(run.rows), (std::vector<int64_t>{2000}));  // sector 2000 lies in the first block

  ScanRun from;
  Scan(reader, from, true, 2001, 0);
  EXPECT_EQ(Starts(from.rows), (std::vector<int64_t>{2048 + 10}));
}

TEST(AdvancedScan, StopLeavesTheRowsFound) {
  DiskBuilder disk(4 * 2048);
  for (int i = 0; i < 4; ++i) disk.ExFatBootSector(100 + 2048 * i, 2048);
  MemoryReader reader(disk.image());
  ScanRun run;
  run.page.stopAfter = 2;
  Scan(reader, run);
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(Starts(run.rows), (std::vector<int64_t>{100, 2148}));
  EXPECT_EQ(run.log.texts.back(), L"Scanned Partitions");
  EXPECT_EQ(run.page.filter, (std::vector<bool>{false, true}));
}

// FAT volumes are recognised as the FAT engines recognise them: whatever
// the OEM name and the table length. The Part lists only "MSDOS" volumes
// with 0, 128, 200 or 256 sectors per FAT.
TEST(AdvancedScan, FatVolumesWhateverTheirOemNameAndTableLength) {
  DiskBuilder disk(4 * 2048);
  disk.FatBootSector(10, "MSDOS5.0", 128, 0, 4096);   // the Part's FAT16 with 128 sectors per FAT
  disk.FatBootSector(2048, "mkfs.fat", 16, 4096, 0);  // mkfs.fat, 16 sectors per FAT
  disk.FatBootSector(4096, "CANON   ", 0, 0, 4096);   // a camera's FAT32
  disk.FatBootSector(6500, "MSDOS5.0", 16, 0, 0);     // no size: "found unknown..."
  MemoryReader reader(disk.image());
  ScanRun run;
  Scan(reader, run, false);
  EXPECT_EQ(Starts(run.rows), (std::vector<int64_t>{10, 2048, 4096}));
  ASSERT_EQ(run.rows.size(), 3u);
  EXPECT_EQ(run.rows[0].fileSystem, L"FAT16");
  EXPECT_EQ(run.rows[0].sizeText, L"2  MB");
  EXPECT_EQ(run.rows[1].fileSystem, L"FAT16");
  EXPECT_EQ(run.rows[2].fileSystem, L"FAT32");
  EXPECT_EQ(run.log.texts, (std::vector<std::wstring>{L"Scanning partition.....", L"found FAT 16...",
                                                      L"found FAT 16...", L"found FAT 32...", L"found unknown..."}));
}

// A jump lands on the first sector after the volume: a volume that follows
// at once is found (the Part jumps one sector further).
TEST(AdvancedScan, JumpLandsRightAfterTheVolume) {
  DiskBuilder disk(3 * 2048 + 100);
  disk.FatBootSector(0, "mkfs.fat", 16, 4096, 0);
  disk.FatBootSector(4096, "mkfs.fat", 16, 2048, 0);
  disk.ExFatBootSector(6144, 50);  // below 1 MiB: not listed
  disk.ExFatBootSector(6144 + 60, 2048);  // in the short last block
  MemoryReader reader(disk.image());
  ScanRun run;
  Scan(reader, run);
  EXPECT_EQ(run.code, 1);
  EXPECT_EQ(Starts(run.rows), (std::vector<int64_t>{0, 4096, 6204}));
}

TEST(AdvancedScan, ExtSuperblockGivesARowAtItsVolumeStart) {
  DiskBuilder disk(2 * 2048);
  const uint64_t sb = (100 + 2) * 512;
  disk.Le32(sb + 0x00, 256);   // inodes
  disk.Le32(sb + 0x04, 4096);  // blocks
  disk.Le32(sb + 0x14, 1);     // first data block (1 KiB blocks)
  disk.Le16(sb + 0x38, 0xEF53);
  MemoryReader reader(disk.image());
  ScanRun run;
  Scan(reader, run);
  ASSERT_EQ(run.rows.size(), 1u);
  EXPECT_EQ(run.rows[0].fileSystem, L"extX");
  EXPECT_EQ(run.rows[0].startSector, 100);
  EXPECT_EQ(run.rows[0].sizeText, L"4  MB");
  disk.Le16(sb + 0x5A, 1);  // a backup copy in block group 1
  MemoryReader backup(disk.image());
  ScanRun none;
  Scan(backup, none);
  EXPECT_TRUE(none.rows.empty());
}

TEST(AdvancedScan, FailedBlockReadEndsWithItsCodeAndKeepsTheRows) {
  DiskBuilder disk(1);
  disk.ExFatBootSector(0, 2048);
  SparseReader reader(3 * 2048);
  reader.Put(5, disk.image(), 0);
  reader.goodReads = 1;
  ScanRun run;
  Scan(reader, run);
  EXPECT_EQ(run.code, 5);
  EXPECT_EQ(Starts(run.rows), (std::vector<int64_t>{5}));
  EXPECT_EQ(run.page.filter, (std::vector<bool>{false, true}));
}

}  // namespace
}  // namespace lv
