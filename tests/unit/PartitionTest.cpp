#include <gtest/gtest.h>

#include <cstring>

#include "PartitionTestImage.h"
#include "disk/Partition.h"

namespace lv {
namespace {

using test::DiskBuilder;
using test::StatusLog;


struct ScanResult {
  int code = 0;
  std::vector<VolumeEntry> rows;
  std::vector<std::wstring> status;
};

ScanResult Scan(std::vector<uint8_t> image, bool gpt = false) {
  MemoryReader reader(std::move(image));
  ScanResult result;
  StatusLog log;
  Partition partition(result.rows, log);
  partition.gptEnabled = gpt;
  result.code = partition.StandardScan(reader);
  result.status = log.texts;
  return result;
}

std::vector<int64_t> Starts(const std::vector<VolumeEntry>& rows) {
  std::vector<int64_t> starts;
  for (const auto& r : rows) starts.push_back(r.startSector);
  return starts;
}

TEST(MbrScan, OneNtfsPrimary) {
  DiskBuilder disk(4096);
  disk.TableEntry(0, 0, 0x07, 2048, 204800);
  disk.NtfsBootSector(2048, 204799);
  const ScanResult r = Scan(disk.image());
  EXPECT_EQ(r.code, 0);
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].fileSystem, L"NTFS");
  EXPECT_EQ(r.rows[0].sizeText, L"100   MB");
  EXPECT_EQ(r.rows[0].startSector, 2048);
  EXPECT_EQ(r.rows[0].name, L"0");
  EXPECT_TRUE(r.rows[0].label.empty());
  EXPECT_EQ(r.status, std::vector<std::wstring>{L"found NTFS 1..."});
}

// The Part's walk stops at the first empty entry; a disk whose first entry
// is empty would lose every volume.
TEST(MbrScan, EmptyFirstEntryDoesNotHideTheSecond) {
  DiskBuilder disk(64);
  disk.TableEntry(0, 1, 0x0C, 2048, 4096);
  const ScanResult r = Scan(disk.image());
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].fileSystem, L"FAT32");
  EXPECT_EQ(r.rows[0].startSector, 2048);
  EXPECT_EQ(r.rows[0].name, L"0");
}

TEST(MbrScan, TypeTableOfPrimaries) {
  DiskBuilder disk(600);
  disk.TableEntry(0, 0, 0x01, 100, 4096);
  disk.TableEntry(0, 1, 0x07, 200, 2048);   // exFAT boot sector: FAT64
  disk.ExFatBootSector(200, 2048);
  disk.TableEntry(0, 2, 0x83, 300, 6144);
  disk.TableEntry(0, 3, 0xA5, 400, 1000);   // a type the table does not know
  const ScanResult r = Scan(disk.image());
  ASSERT_EQ(r.rows.size(), 4u);
  EXPECT_EQ(r.rows[0].fileSystem, L"FAT12");
  EXPECT_EQ(r.rows[0].sizeText, L"2   MB");
  EXPECT_EQ(r.rows[1].fileSystem, L"FAT64");
  EXPECT_EQ(r.rows[2].fileSystem, L"extX");
  EXPECT_EQ(r.rows[3].fileSystem, L"Unknown");
  EXPECT_EQ(r.rows[3].sizeText, L"0   MB");  // rows are listed whatever their size
  EXPECT_EQ(r.status, (std::vector<std::wstring>{L"found FAT64...", L"found ext2...", L"found UNKNOWN..."}));
  EXPECT_EQ(r.rows[3].name, L"3");
}

TEST(MbrScan, TypeTableDifferencesOfLogicalVolumes) {
  DiskBuilder disk(4000);
  disk.TableEntry(0, 0, 0x42, 10, 4096);
  disk.TableEntry(0, 1, 0x0F, 1000, 3000);
  disk.TableEntry(1000, 0, 0x42, 10, 2048);
  disk.TableEntry(1000, 1, 0x05, 500, 1000);
  disk.TableEntry(1500, 0, 0x07, 10, 2048);
  disk.TableEntry(1500, 1, 0x05, 1000, 1000);
  disk.TableEntry(2000, 0, 0x83, 10, 2048);
  disk.TableEntry(2000, 1, 0x05, 1500, 1000);
  disk.TableEntry(2500, 0, 0x01, 10, 2048);  // FAT12 leaves the status line alone
  const ScanResult r = Scan(disk.image());
  ASSERT_EQ(r.rows.size(), 5u);
  EXPECT_EQ(r.rows[4].fileSystem, L"FAT12");
  EXPECT_EQ(r.rows[0].fileSystem, L"NTFS");
  EXPECT_EQ(r.rows[1].fileSystem, L"Unknown");  // 0x42 is NTFS only as a primary
  EXPECT_EQ(r.rows[2].fileSystem, L"NTFS");
  EXPECT_EQ(r.rows[3].fileSystem, L"extX");
  EXPECT_EQ(r.rows[1].sizeText, L"1   MB");
  EXPECT_EQ(Starts(r.rows), (std::vector<int64_t>{10, 1010, 1510, 2010, 2510}));
  EXPECT_EQ(r.status,
            (std::vector<std::wstring>{L"NTFS...", L"found UNKNOWN...", L"found NTFS...", L"found extx..."}));
}

// The Part ignores the primaries after an extended entry; they are volumes
// the user came for, so they are listed, in disk order.
TEST(MbrScan, ExtendedChainAndThePrimariesAfterItAreListedInDiskOrder) {
  DiskBuilder disk(20000);
  disk.TableEntry(0, 0, 0x0C, 63, 4096);
  disk.TableEntry(0, 1, 0x05, 8192, 10000);
  disk.TableEntry(0, 2, 0x07, 18200, 4096);  // after the extended entry
  // Three EBRs, each one logical volume and a link, except the last.
  disk.TableEntry(8192, 0, 0x07, 63, 2048);
  disk.TableEntry(8192, 1, 0x05, 3000, 3000);
  disk.TableEntry(8192 + 3000, 0, 0x06, 63, 2048);
  disk.TableEntry(8192 + 3000, 1, 0x05, 6000, 3000);
  disk.TableEntry(8192 + 6000, 0, 0x83, 63, 2048);
  const ScanResult r = Scan(disk.image());
  EXPECT_EQ(r.code, 0);
  ASSERT_EQ(r.rows.size(), 5u);
  EXPECT_EQ(r.rows[0].fileSystem, L"FAT32");
  EXPECT_EQ(r.rows[0].sizeText, L"2   MB");
  EXPECT_EQ(Starts(r.rows), (std::vector<int64_t>{63, 8192 + 63, 8192 + 3063, 8192 + 6063, 18200}));
  EXPECT_EQ(r.rows[1].fileSystem, L"NTFS");
  EXPECT_EQ(r.rows[2].fileSystem, L"FAT16");
  EXPECT_EQ(r.rows[3].fileSystem, L"extX");
  EXPECT_EQ(r.rows[4].fileSystem, L"NTFS");
  EXPECT_EQ(r.rows[4].sizeText, L"2   MB");
  for (size_t i = 0; i < r.rows.size(); ++i) EXPECT_EQ(r.rows[i].name, std::to_wstring(i));
}

// Logical volumes that lie before a primary come first, as mmls lists them.
TEST(MbrScan, LogicalVolumesBeforeAPrimaryComeFirst) {
  DiskBuilder disk(2048);
  disk.TableEntry(0, 0, 0x05, 1, 1000);
  disk.TableEntry(0, 1, 0x06, 1025, 1000);
  disk.TableEntry(1, 0, 0x06, 1, 500);
  disk.TableEntry(1, 1, 0x05, 512, 500);
  disk.TableEntry(513, 0, 0x06, 1, 400);
  const ScanResult r = Scan(disk.image());
  EXPECT_EQ(Starts(r.rows), (std::vector<int64_t>{2, 514, 1025}));
  EXPECT_EQ(r.rows[2].name, L"2");
}

// A boot record whose first entry is empty still names its volume and the
// next boot record.
TEST(MbrScan, EmptyEntriesOfABootRecordAreSkipped) {
  DiskBuilder disk(3000);
  disk.TableEntry(0, 0, 0x0F, 1000, 2000);
  disk.TableEntry(1000, 1, 0x06, 63, 100);
  disk.TableEntry(1000, 2, 0x05, 1000, 500);
  disk.TableEntry(2000, 0, 0x83, 63, 100);
  EXPECT_EQ(Starts(Scan(disk.image()).rows), (std::vector<int64_t>{1063, 2063}));
}

TEST(MbrScan, FourLogicalEntriesEndTheChain) {
  DiskBuilder disk(3000);
  disk.TableEntry(0, 0, 0x05, 1000, 2000);
  for (int i = 0; i < 4; ++i) disk.TableEntry(1000, i, 0x06, 10 + 100 * i, 2048);
  const ScanResult r = Scan(disk.image());
  EXPECT_EQ(Starts(r.rows), (std::vector<int64_t>{1010, 1110, 1210, 1310}));
}

TEST(MbrScan, ChainThatLoopsStopsWithoutRepeatingVolumes) {
  DiskBuilder disk(3000);
  disk.TableEntry(0, 0, 0x06, 63, 2048);
  disk.TableEntry(0, 1, 0x05, 1000, 2000);
  disk.TableEntry(1000, 0, 0x06, 63, 2048);
  disk.TableEntry(1000, 1, 0x05, 500, 500);
  disk.TableEntry(1500, 0, 0x06, 63, 2048);
  disk.TableEntry(1500, 1, 0x05, 0, 500);  // back to the first EBR
  const ScanResult r = Scan(disk.image());
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(Starts(r.rows), (std::vector<int64_t>{63, 1063, 1563}));
}

TEST(MbrScan, LongChainStopsAfterFiftyBootRecords) {
  DiskBuilder disk(60 * 100 + 200);
  disk.TableEntry(0, 0, 0x05, 100, 60 * 100);
  for (int i = 0; i < 60; ++i) {
    disk.TableEntry(100 + 100 * i, 0, 0x83, 10, 2048);
    disk.TableEntry(100 + 100 * i, 1, 0x05, 100 * (i + 1), 100);
  }
  const ScanResult r = Scan(disk.image());
  ASSERT_EQ(r.rows.size(), 50u);
  EXPECT_EQ(r.rows.back().startSector, 100 + 100 * 49 + 10);
}

TEST(MbrScan, SourceShorterThanItsTablesGivesPartialRowsAndTheErrorCode) {
  DiskBuilder disk(1100);
  disk.TableEntry(0, 0, 0x07, 5000, 2048);  // beyond the end: the exFAT test fails, NTFS stays
  disk.TableEntry(0, 1, 0x05, 1000, 9000);
  disk.TableEntry(1000, 0, 0x06, 63, 2048);
  disk.TableEntry(1000, 1, 0x05, 7000, 2000);  // next EBR beyond the end
  const ScanResult r = Scan(disk.image());
  EXPECT_EQ(r.code, kErrorHandleEof);
  EXPECT_EQ(Starts(r.rows), (std::vector<int64_t>{1063, 5000}));
  EXPECT_EQ(r.rows[1].fileSystem, L"NTFS");

  EXPECT_EQ(Scan(std::vector<uint8_t>(100, 0)).code, kErrorHandleEof);  // no whole sector 0
  EXPECT_TRUE(Scan(std::vector<uint8_t>(100, 0)).rows.empty());
}

TEST(GptScan, ReservedPartitionIsSkippedAndNtfsListed) {
  DiskBuilder disk(8192);
  disk.GptHeader(2);
  disk.GptEntry(2, 0, 0xE3C9E316, 34, 32767, u"Microsoft reserved partition");
  disk.GptEntry(2, 1, 0xEBD0A0A2, 4096, 8191, u"Basic data partition");
  disk.NtfsBootSector(4096, 4095);
  const ScanResult r = Scan(disk.image(), true);
  EXPECT_EQ(r.code, 0);
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].fileSystem, L"NTFS");
  EXPECT_EQ(r.rows[0].sizeText, L"1   MB");
  EXPECT_EQ(r.rows[0].startSector, 4096);
  EXPECT_EQ(r.status, std::vector<std::wstring>{L"found NTFS 1..."});
}

TEST(GptScan, FileSystemTextsAndSizeFormats) {
  DiskBuilder disk(45000);
  disk.GptHeader(2);
  disk.GptEntry(2, 0, 0xEBD0A0A2, 100, 4199, u"fat32");
  disk.FatBootSector(100, "MSDOS5.0", 0, 0, 4100);
  disk.GptEntry(2, 1, 0xEBD0A0A2, 5000, 9999, u"fat16");
  disk.FatBootSector(5000, "MSDOS5.0", 200, 0, 4096);
  disk.GptEntry(2, 2, 0xEBD0A0A2, 10000, 14999, u"odd fat");
  disk.FatBootSector(10000, "MSDOS5.0", 123, 4096, 0);
  disk.GptEntry(2, 3, 0xEBD0A0A2, 15000, 19999, u"exfat");
  disk.ExFatBootSector(15000, 4096);
  disk.GptEntry(2, 4, 0x48465300, 20000, 24096, u"Apple");
  disk.Text((20000 + 2) * 512, "H+");
  disk.GptEntry(2, 5, 0x0FC63DAF, 25000, 29095, u"Caf\u00e9 \u0416");
  disk.GptEntry(2, 6, 0x0FC63DAF, 30000, 34095, u"4k ntfs");
  disk.NtfsBootSector(30000, 4096, 4096);  // 4096-byte sectors: not recognised as NTFS
  disk.GptEntry(2, 7, 0xEBD0A0A2, 35000, 39999, u"linux-made fat32");
  disk.FatBootSector(35000, "mkfs.fat", 0, 4100, 0);  // small: the 16-bit total holds the size
  disk.GptEntry(2, 8, 0x0FC63DAF, 40000, 44095, u"Linux filesystem");
  const uint64_t superblock = (40000 + 2) * 512;  // ext: 1 KiB blocks, 2048 of them, group 0
  disk.Le32(superblock, 512), disk.Le32(superblock + 4, 2048), disk.Le32(superblock + 0x14, 1);
  disk.Le16(superblock + 0x38, 0xEF53);
  const ScanResult r = Scan(disk.image(), true);
  ASSERT_EQ(r.rows.size(), 8u);
  EXPECT_EQ(r.rows[0].fileSystem, L"FAT32");
  EXPECT_EQ(r.rows[0].sizeText, L"2  MB");
  EXPECT_EQ(r.rows[1].fileSystem, L"FAT16");
  EXPECT_EQ(r.rows[1].sizeText, L"2  MB");
  EXPECT_EQ(r.rows[2].fileSystem, L"FAT64");
  EXPECT_EQ(r.rows[2].sizeText, L"2  MB");
  EXPECT_EQ(r.rows[3].fileSystem, L"HFS+");
  EXPECT_EQ(r.rows[3].sizeText, L"2");
  EXPECT_EQ(r.rows[4].fileSystem, L"Caf\u00e9 ?");  // through the ANSI code page and back
  EXPECT_EQ(r.rows[5].fileSystem, L"4k ntfs");
  // Formatters other than the one that writes "MSDOS" are recognised by their parameters.
  EXPECT_EQ(r.rows[6].fileSystem, L"FAT32");
  EXPECT_EQ(r.rows[6].sizeText, L"2  MB");
  EXPECT_EQ(r.rows[7].fileSystem, L"extX");  // by its superblock, not the entry's name
  EXPECT_EQ(Starts(r.rows), (std::vector<int64_t>{100, 5000, 15000, 20000, 25000, 30000, 35000, 40000}));
  EXPECT_EQ(r.status, (std::vector<std::wstring>{L"found FAT 32...", L"found FAT 16...", L"found unknown...",
                                                 L"found FAT 64...", L"found FAT 32..."}));
  for (size_t i = 0; i < r.rows.size(); ++i) EXPECT_EQ(r.rows[i].name, std::to_wstring(i));
}

TEST(GptScan, EntryCollectionStopsAtTheFirstEntryThatFailsTheTest) {
  DiskBuilder disk(200);
  disk.GptHeader(2);
  disk.GptEntry(2, 0, 0x0FC63DAF, 34, 64, u"one");
  disk.GptEntry(2, 1, 0x0FC63D30, 65, 128, u"type byte 0x30");
  disk.GptEntry(2, 2, 0x0FC63DAF, 129, 190, u"never reached");
  EXPECT_EQ(Scan(disk.image(), true).rows.size(), 1u);

  DiskBuilder low(200);
  low.GptHeader(2);
  low.GptEntry(2, 0, 0x0FC63DAF, 2, 64, u"starts below 3");
  EXPECT_TRUE(Scan(low.image(), true).rows.empty());
}

TEST(GptScan, EntryArrayBeyondTheEndAndOverflowingNumbersEndQuietly) {
  DiskBuilder disk(64);
  disk.GptHeader(1000);  // the array is past the end of the source
  EXPECT_TRUE(Scan(disk.image(), true).rows.empty());
  disk.GptHeader(UINT64_MAX / 2);
  EXPECT_EQ(Scan(disk.image(), true).code, 0);

  DiskBuilder far(64);
  far.GptHeader(2);
  far.GptEntry(2, 0, 0x0FC63DAF, 40, 60, u"inside");
  far.GptEntry(2, 1, 0x0FC63DAF, UINT64_MAX - 5, UINT64_MAX, u"outside");
  const ScanResult r = Scan(far.image(), true);
  // A start beyond any signed sector number gives no row (it would print
  // as a negative sector).
  ASSERT_EQ(r.rows.size(), 1u);
  EXPECT_EQ(r.rows[0].startSector, 40);
  EXPECT_EQ(r.code, 0);
}

// An entry whose first sector cannot be read is listed as an unrecognised
// volume under its name, and the volumes after it are still found.
TEST(GptScan, UnreadableEntryDoesNotHideTheVolumesAfterIt) {
  auto check = [](uint64_t start) {
    SCOPED_TRACE(start);
    DiskBuilder disk(8192);
    disk.GptHeader(2);
    disk.GptEntry(2, 0, 0x0FC63DAF, start, start + 4095, u"gone");
    disk.GptEntry(2, 1, 0xEBD0A0A2, 2048, 4095, u"a");
    disk.NtfsBootSector(2048, 2048);
    disk.GptEntry(2, 2, 0xEBD0A0A2, 4096, 8191, u"b");
    disk.ExFatBootSector(4096, 4096);
    const ScanResult r = Scan(disk.image(), true);
    EXPECT_EQ(r.code, 0);
    ASSERT_EQ(r.rows.size(), 3u);
    EXPECT_EQ(r.rows[0].fileSystem, L"gone");
    EXPECT_EQ(r.rows[0].sizeText, L"1");
    EXPECT_EQ(r.rows[1].fileSystem, L"NTFS");
    EXPECT_EQ(r.rows[2].fileSystem, L"FAT64");
    EXPECT_EQ(Starts(r.rows), (std::vector<int64_t>{static_cast<int64_t>(start), 2048, 4096}));
  };
  check((uint64_t{1} << 63) - 16);  // its byte offset overflows
  check(100000);                    // beyond the source
  check(8192);                      // just past its last sector
}

TEST(GptScan, MbrOnlyDiskListsWhatSectorOneNames) {
  DiskBuilder disk(4096);
  disk.TableEntry(0, 0, 0x07, 2048, 2048);
  disk.NtfsBootSector(2048, 2047);
  const ScanResult r = Scan(disk.image(), true);
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(r.rows.empty());  // sector 1 is zero: the array at sector 0 holds no valid entry
}

TEST(GptScan, StopEndsTheScanAfterTheCurrentEntry) {
  DiskBuilder disk(8192);
  disk.GptHeader(2);
  disk.GptEntry(2, 0, 0xEBD0A0A2, 2048, 4095, u"a");
  disk.NtfsBootSector(2048, 2047 * 2);
  disk.GptEntry(2, 1, 0xEBD0A0A2, 4096, 8191, u"b");
  disk.NtfsBootSector(4096, 4095);
  MemoryReader reader(disk.image());
  std::vector<VolumeEntry> rows;
  Partition partition(rows, NoSink());
  partition.gptEnabled = true;
  partition.stopRequested = 1;
  EXPECT_EQ(partition.StandardScan(reader), 0);
  EXPECT_EQ(rows.size(), 1u);
}


// An image of one volume begins with its boot sector, whose boot code is no
// partition table: one row for the volume at sector 0.
TEST(StandardScan, SourceThatIsOneVolumeGivesOneRowAtSectorZero) {
  DiskBuilder ntfs(4096);
  ntfs.NtfsBootSector(0, 4095);
  ntfs.Text(446, "boot code that reads as four partition entries....");
  DiskBuilder fat(4200);
  fat.FatBootSector(0, "mkfs.fat", 0, 4100, 0);
  DiskBuilder exfat(4096);
  exfat.ExFatBootSector(0, 4096);
  DiskBuilder hfs(4096);
  hfs.Text(1024, "H+");
  hfs.Le16(1026, 0x0400);  // version 4, big-endian
  hfs.Le32(1024 + 40, 0x00100000);  // 4096-byte blocks
  hfs.Le32(1024 + 44, 0x00020000);  // 512 blocks
  for (const bool gpt : {false, true}) {
    SCOPED_TRACE(gpt);
    const ScanResult n = Scan(ntfs.image(), gpt);
    ASSERT_EQ(n.rows.size(), 1u);
    EXPECT_EQ(n.rows[0].fileSystem, L"NTFS");
    EXPECT_EQ(n.rows[0].startSector, 0);
    EXPECT_EQ(n.rows[0].sizeText, L"1   MB");
    const ScanResult f = Scan(fat.image(), gpt);
    ASSERT_EQ(f.rows.size(), 1u);
    EXPECT_EQ(f.rows[0].fileSystem, L"FAT32");
    const ScanResult e = Scan(exfat.image(), gpt);
    ASSERT_EQ(e.rows.size(), 1u);
    EXPECT_EQ(e.rows[0].fileSystem, L"FAT64");
    EXPECT_EQ(e.rows[0].sizeText, L"2  MB");
  }
  const ScanResult h = Scan(hfs.image());
  ASSERT_EQ(h.rows.size(), 1u);
  EXPECT_EQ(h.rows[0].fileSystem, L"HFS+");
  EXPECT_EQ(h.rows[0].startSector, 0);
  EXPECT_TRUE(Scan(std::vector<uint8_t>(4096 * 512, 0)).rows.empty());

  // Boot code that looks like a boot sector does not hide a table whose
  // entries name what they should.
  DiskBuilder disk(8192);
  disk.FatBootSector(0, "MSWIN4.1", 16, 8192, 0);
  disk.TableEntry(0, 0, 0x07, 2048, 4096);
  disk.NtfsBootSector(2048, 4095);
  EXPECT_EQ(Starts(Scan(disk.image()).rows), std::vector<int64_t>{2048});
}

// A disk of 4096-byte logical sectors counts its tables in them; rows give
// 512-byte sectors.
TEST(StandardScan, MbrOfFourKibSectorsIsFoundAndConverted) {
  DiskBuilder disk(8 * 3000);
  disk.TableEntry(0, 0, 0x0C, 256, 1024);  // 4 MiB
  disk.FatBootSector(256 * 8, "mkfs.fat", 0, 4100, 0);
  disk.TableEntry(0, 1, 0x05, 1500, 1000);
  disk.TableEntry(1500 * 8, 0, 0x07, 100, 512);
  disk.NtfsBootSector((1500 + 100) * 8, 4095, 4096);
  MemoryReader reader(disk.image());
  std::vector<VolumeEntry> rows;
  Partition scan(rows, NoSink());
  EXPECT_EQ(scan.StandardScan(reader), 0);
  EXPECT_EQ(scan.tableSectorSize, 4096u);
  EXPECT_EQ(Starts(rows), (std::vector<int64_t>{256 * 8, 1600 * 8}));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].sizeText, L"4   MB");
  EXPECT_EQ(rows[1].sizeText, L"2   MB");

  // --sector-size 512 reads the same table as 512-byte sectors.
  rows.clear();
  scan.sectorSize = 512;
  scan.StandardScan(reader);
  EXPECT_EQ(scan.tableSectorSize, 512u);
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows[0].startSector, 256);
}

TEST(StandardScan, GptOfFourKibSectorsIsFoundWhereItsHeaderIs) {
  DiskBuilder disk(8 * 1024);
  disk.TableEntry(0, 0, 0xEE, 1, 1023);
  disk.SoundGptHeader(4096, 2);
  disk.GptEntry(2 * 8, 0, 0xEBD0A0A2, 256, 511, u"data");
  disk.NtfsBootSector(256 * 8, 256, 4096);
  disk.GptEntry(2 * 8, 1, 0x0FC63DAF, 512, 1023, u"Linux filesystem");
  const ScanResult r = Scan(disk.image(), true);
  ASSERT_EQ(r.rows.size(), 2u);
  EXPECT_EQ(r.rows[0].fileSystem, L"NTFS");
  EXPECT_EQ(r.rows[0].startSector, 2048);
  EXPECT_EQ(r.rows[0].sizeText, L"1   MB");
  EXPECT_EQ(r.rows[1].startSector, 4096);
  EXPECT_EQ(r.rows[1].sizeText, L"1");
  // Read as an MBR, the protective entry is found at 4096-byte sector 1.
  const ScanResult m = Scan(disk.image());
  ASSERT_EQ(m.rows.size(), 1u);
  EXPECT_EQ(m.rows[0].startSector, 8);
}

TEST(StandardScan, DamagedPrimaryGptHeaderIsReplacedByTheBackup) {
  DiskBuilder disk(8192);
  disk.SoundGptHeader(512, 2);
  disk.SoundGptHeader((8192 - 1) * 512, 8192 - 33);
  disk.GptEntry(8192 - 33, 0, 0xEBD0A0A2, 2048, 4095, u"a");
  disk.NtfsBootSector(2048, 4096);
  disk.image()[512 + 80] ^= 0xFF;  // the primary's checksum no longer matches
  MemoryReader reader(disk.image());
  std::vector<VolumeEntry> rows;
  Partition scan(rows, NoSink());
  scan.gptEnabled = true;
  EXPECT_EQ(scan.StandardScan(reader), 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].startSector, 2048);
  ASSERT_EQ(scan.notes.size(), 1u);
  EXPECT_NE(scan.notes[0].find(L"backup header at sector 8191"), std::wstring::npos);
}

}  // namespace
}  // namespace lv
