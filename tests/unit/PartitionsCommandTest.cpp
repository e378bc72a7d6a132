// lumenvault-cli partitions on the public images and the committed fixtures,
// checked against the images' own ground truth and against mmls.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "TestSupport.h"

namespace lv {
namespace {

struct Row {
  std::string name, fileSystem, sizeText;
  long long start = 0;
};

std::vector<Row> ParseRows(const std::string& out) {
  std::vector<Row> rows;
  for (const std::string& line : test::Lines(out)) {
    const auto f = test::SplitTabs(line);
    if (f.size() != 4) {
      ADD_FAILURE() << "malformed row: " << line;
      continue;
    }
    rows.push_back({f[0], f[1], f[2], std::stoll(f[3])});
  }
  return rows;
}

// Start sectors of the volumes mmls lists (not its Meta and unallocated rows).
std::set<long long> MmlsStarts(const std::string& listing) {
  std::set<long long> starts;
  const std::regex row(R"(^\d+:\s+(\S+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(.*)$)");
  for (const std::string& line : test::Lines(listing)) {
    std::smatch m;
    if (!std::regex_match(line, m, row)) continue;
    if (m[1] == "Meta" || m[1] == "-------") continue;
    starts.insert(std::stoll(m[2]));
  }
  return starts;
}

TEST(PartitionsCommand, ExtendedPartitionTestImageGivesEveryVolumeOfItsLayout) {
  const std::string dir = test::PublicPath("1-extend-part");
  if (!test::FileExists(dir)) GTEST_SKIP() << "public images not available";
  // The layout table of index.html: entry, start, end, length, description.
  const std::string html = test::ReadTextFile(dir + "/index.html");
  const std::regex cells(
      R"(<TD>\s*(\d+)\s*</TD><TD>\s*(\d+)\s*</TD><TD>\s*(\d+)\s*</TD><TD>\s*(\d+)\s*</TD><TD>([^<]*)</TD>)");
  struct Expected {
    long long start, length;
    bool logical;
  };
  std::vector<Expected> expected;
  bool inExtendedTable = false;
  for (const std::string& line : test::Lines(html)) {
    if (line.find("Extended Table") != std::string::npos) inExtendedTable = true;
    std::smatch m;
    if (!std::regex_search(line, m, cells)) continue;
    // Link entries describe the chain, not a volume.
    if (m[5].str().find("Extended") != std::string::npos) continue;
    expected.push_back({std::stoll(m[2]), std::stoll(m[4]), inExtendedTable});
  }
  ASSERT_EQ(expected.size(), 6u);

  const auto result = test::RunCli({"partitions", dir + "/ext-part-test-2.dd"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<Row> rows = ParseRows(result.out);
  ASSERT_EQ(rows.size(), expected.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].name, std::to_string(i));
    EXPECT_EQ(rows[i].fileSystem, "FAT16");
    EXPECT_EQ(rows[i].start, expected[i].start);
    // Primaries and logical volumes both read "<MiB>   MB" (sector count ÷ 2048).
    EXPECT_EQ(rows[i].sizeText, std::to_string(expected[i].length / 2048) + "   MB");
  }
  // The hand-made second entry of the first extended table is listed too.
  EXPECT_EQ(rows[4].start, 209727);
}

TEST(PartitionsCommand, GptTestImageListsItsThreeEntries) {
  const std::string image = test::PublicPath("gpt-512-3p.raw");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not available";
  const auto result = test::RunCli({"partitions", "--gpt", image});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::vector<Row> rows = ParseRows(result.out);
  ASSERT_EQ(rows.size(), 3u);
  // No recognised boot sector or HFS+ header: each row carries its GPT name and
  // its size in MiB without a unit ((end - start) / 2048).
  EXPECT_EQ(rows[0].fileSystem, "Linux filesystem");
  EXPECT_EQ(rows[1].fileSystem, "Linux filesystem");
  EXPECT_EQ(rows[2].fileSystem, "EFI System");
  EXPECT_EQ(rows[0].start, 34);
  EXPECT_EQ(rows[1].start, 65);
  EXPECT_EQ(rows[2].start, 129);
  for (const Row& r : rows) EXPECT_EQ(r.sizeText, "0");
  // Read as MBR, the protective entry (type 0xEE) is one "Unknown" row.
  const auto asMbr = test::RunCli({"partitions", image});
  ASSERT_EQ(asMbr.status, 0);
  const std::vector<Row> mbrRows = ParseRows(asMbr.out);
  ASSERT_EQ(mbrRows.size(), 1u);
  EXPECT_EQ(mbrRows[0].fileSystem, "Unknown");
  EXPECT_EQ(mbrRows[0].start, 1);
}

// The rows each committed disk fixture must give, in list order.
struct DiskFixture {
  std::string name;
  bool gpt;
  std::vector<std::string> fileSystems;
};

const std::vector<DiskFixture> kDiskFixtures = {
    // The FAT32 primary keeps mkfs.fat's own OEM name; the MBR path goes by type bytes.
    {"mbr-mixed", false, {"FAT32", "NTFS", "FAT16", "extX"}},
    // The reserved partition is skipped; the FAT32 volume carries "MSDOS5.0" and
    // its size in the 16-bit field; the HFS+ header and the empty partition are
    // listed as HFS+ and under their GPT name.
    {"gpt-mixed", true, {"NTFS", "FAT32", "HFS+", "Data archive"}},
    // Type 0x07 twice: exFAT by its boot sector, NTFS otherwise.
    {"mbr-exfat", false, {"FAT64", "NTFS"}},
    // The chain comes back to its first boot record: each logical volume once.
    {"mbr-loop", false, {"FAT16", "FAT12", "FAT12"}},
    // 55 boot records: the scan reads the first 50.
    {"mbr-longchain", false, std::vector<std::string>(50, "extX")},
    // FAT32, extended, NTFS in the table: the NTFS primary after the chain too.
    {"mbr-ntfs-after-extended", false, {"FAT32", "FAT16", "NTFS"}},
};

// mmls's volume starts in its order, in 512-byte sectors (its units may be
// 4096-byte sectors).
std::vector<long long> MmlsOrder(const std::string& listing) {
  const long long units = listing.find("Units are in 4096-byte sectors") != std::string::npos ? 8 : 1;
  std::vector<long long> starts;
  const std::regex row(R"(^\d+:\s+(\S+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(.*)$)");
  for (const std::string& line : test::Lines(listing)) {
    std::smatch m;
    if (!std::regex_match(line, m, row) || m[1] == "Meta" || m[1] == "-------") continue;
    starts.push_back(std::stoll(m[2]) * units);
  }
  return starts;
}

std::vector<long long> StartsOf(const std::vector<Row>& rows) {
  std::vector<long long> starts;
  for (const Row& r : rows) starts.push_back(r.start);
  return starts;
}

TEST(PartitionsCommand, FixtureDisksGiveTheirRowsAtTheStartsMmlsLists) {
  for (const DiskFixture& fixture : kDiskFixtures) {
    SCOPED_TRACE(fixture.name);
    const std::string image = test::FixturePath(fixture.name + ".img");
    ASSERT_TRUE(test::FileExists(image));
    std::vector<std::string> args = {"partitions"};
    if (fixture.gpt) args.push_back("--gpt");
    args.push_back(image);
    const auto result = test::RunCli(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<Row> rows = ParseRows(result.out);
    std::vector<std::string> kinds;
    for (const Row& r : rows) kinds.push_back(r.fileSystem);
    EXPECT_EQ(kinds, fixture.fileSystems);
    const std::set<long long> mmls = MmlsStarts(test::ReadTextFile(test::FixturePath(fixture.name + ".mmls.txt")));
    for (const Row& r : rows) EXPECT_TRUE(mmls.count(r.start)) << "start " << r.start << " not listed by mmls";
  }
  // Every volume mmls lists, in its order.
  const std::string mixed = test::FixturePath("mbr-ntfs-after-extended");
  EXPECT_EQ(StartsOf(ParseRows(test::RunCli({"partitions", mixed + ".img"}).out)),
            MmlsOrder(test::ReadTextFile(mixed + ".mmls.txt")));
}

// Disks of 4096-byte sectors: the tables are read in them, the rows count
// 512-byte sectors.
TEST(PartitionsCommand, FourKibSectorDisksGiveTheirVolumesIn512ByteSectors) {
  struct Case {
    std::string name;
    bool gpt;
    std::vector<std::string> kinds;
  };
  for (const Case& c : {Case{"disk-4k-mbr", false, {"FAT32", "NTFS"}}, Case{"disk-4k-gpt", true, {"NTFS", "FAT32"}}}) {
    SCOPED_TRACE(c.name);
    const std::string image = test::FixturePath(c.name + ".img");
    std::vector<std::string> args = {"partitions"};
    if (c.gpt) args.push_back("--gpt");
    args.push_back(image);
    const auto result = test::RunCli(args);
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<Row> rows = ParseRows(result.out);
    std::vector<std::string> kinds;
    for (const Row& r : rows) kinds.push_back(r.fileSystem);
    EXPECT_EQ(kinds, c.kinds);
    const std::vector<long long> mmls = MmlsOrder(test::ReadTextFile(test::FixturePath(c.name + ".mmls.txt")));
    EXPECT_EQ(StartsOf(rows), mmls);
    // The advanced scan finds the same volumes.
    EXPECT_EQ(StartsOf(ParseRows(test::RunCli({"partitions", "--advanced", image}).out)), mmls);
    // Read as 512-byte sectors, the table names other places.
    args.insert(args.begin() + 1, {"--sector-size", "512"});
    EXPECT_NE(StartsOf(ParseRows(test::RunCli(args).out)), mmls);
  }
}

// The mbr-mixed disk with its MBR and boot records zeroed.
TEST(PartitionsCommand, AdvancedScanOfADiskWithoutItsTableFindsEveryVolume) {
  const std::string image = test::FixturePath("mbr-zeroed.img");
  const auto standard = test::RunCli({"partitions", image});
  EXPECT_EQ(standard.status, 0);
  EXPECT_TRUE(standard.out.empty());
  const std::vector<long long> intact = MmlsOrder(test::ReadTextFile(test::FixturePath("mbr-mixed.mmls.txt")));
  ASSERT_EQ(intact.size(), 4u);

  const auto skip = test::RunCli({"partitions", "--advanced", image});
  ASSERT_EQ(skip.status, 0) << skip.err;
  const std::vector<Row> rows = ParseRows(skip.out);
  EXPECT_EQ(StartsOf(rows), intact);
  std::vector<std::string> kinds;
  for (const Row& r : rows) kinds.push_back(r.fileSystem);
  EXPECT_EQ(kinds, (std::vector<std::string>{"FAT32", "NTFS", "FAT16", "extX"}));
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].name, std::to_string(i));

  // Without the jumps the backup boot sectors are listed too: FAT32's in
  // its sector 6, NTFS's in its last sector.
  const auto all = test::RunCli({"partitions", "--advanced", "--no-skip", image});
  EXPECT_EQ(StartsOf(ParseRows(all.out)), (std::vector<long long>{2048, 2054, 20480, 45055, 47104, 57344}));

  // A range ending at sector 100 still scans the whole 1 MiB block it starts.
  const auto range = test::RunCli({"partitions", "--advanced", "--start", "1", "--end", "100", image});
  EXPECT_EQ(StartsOf(ParseRows(range.out)), (std::vector<long long>{2048}));
  const auto later = test::RunCli({"partitions", "--advanced", "--start", "46000", image});
  EXPECT_EQ(StartsOf(ParseRows(later.out)), (std::vector<long long>{47104, 57344}));
}

// An image of one volume (the usual card image) is one row at sector 0, not
// rows made of its boot code.
TEST(PartitionsCommand, VolumeImagesGiveOneRowAtSectorZero) {
  const std::vector<std::pair<std::string, std::string>> images = {
      {test::FixturePath("fat12-floppy.img"), "FAT12"},    {test::FixturePath("fat16.img"), "FAT16"},
      {test::FixturePath("fat32.img"), "FAT32"},           {test::FixturePath("carve-fat32.img"), "FAT32"},
      {test::FixturePath("exfat-basic.img"), "FAT64"},     {test::FixturePath("exfat-small.img"), "FAT64"},
      {test::FixturePath("ntfs-512.img"), "NTFS"},         {test::FixturePath("ntfs-basic.img"), "NTFS"},
      {test::FixturePath("ntfs-attrlist.img"), "NTFS"},    {test::FixturePath("ntfs-compressed.img"), "NTFS"},
      {test::FixturePath("ntfs-damaged.img"), "NTFS"},     {test::FixturePath("ntfs-recycle.img"), "NTFS"},
      {test::FixturePath("ntfs-reformatted.img"), "NTFS"}, {test::PublicPath("6-undel-fat/6-fat-undel.dd"), "FAT16"},
      {test::PublicPath("5-fat-daylight/daylight.dd"), "FAT12"},
      {test::PublicPath("9-fat-label/9-fat-label.dd"), "FAT16"},
      {test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd"), "NTFS"}, {test::PublicPath("testfs1.ntfs"), "NTFS"},
      {test::PublicPath("exfat_win.raw"), "FAT64"},        {test::PublicPath("hfsplus.raw"), "HFS+"},
      {test::PublicPath("ext2.raw"), "extX"},              {test::PublicPath("hierarchy_32.ext4"), "extX"},
      {test::FixturePath("ext4.img"), "extX"},
      {test::FixturePath("ext4-backup.img"), "extX"},  // primary superblock zeroed: by its copy in group 1
  };
  for (const auto& [image, kind] : images) {
    SCOPED_TRACE(image);
    if (!test::FileExists(image)) continue;  // public images not available
    for (const bool gpt : {false, true}) {
      const auto result = test::RunCli(gpt ? std::vector<std::string>{"partitions", "--gpt", image}
                                           : std::vector<std::string>{"partitions", image});
      ASSERT_EQ(result.status, 0) << result.err;
      const std::vector<Row> rows = ParseRows(result.out);
      ASSERT_EQ(rows.size(), 1u) << result.out;
      EXPECT_EQ(rows[0].fileSystem, kind);
      EXPECT_EQ(rows[0].start, 0);
      EXPECT_EQ(rows[0].name, "0");
    }
  }
}

TEST(PartitionsCommand, UsageErrorsAndRefusedInput) {
  EXPECT_EQ(test::RunCli({}).status, 2);
  EXPECT_EQ(test::RunCli({"partitions"}).status, 2);
  EXPECT_EQ(test::RunCli({"partitions", "--bogus", "x"}).status, 2);
  EXPECT_EQ(test::RunCli({"nonsense"}).status, 2);
  EXPECT_EQ(test::RunCli({"partitions", "--no-skip", "x"}).status, 2);  // an advanced-scan option alone
  EXPECT_EQ(test::RunCli({"partitions", "--advanced", "--gpt", "x"}).status, 2);
  EXPECT_EQ(test::RunCli({"partitions", "--sector-size", "1024", "x"}).status, 2);
  EXPECT_EQ(test::RunCli({"partitions", "--advanced", "--start", "-5", "x"}).status, 2);
  // Nothing at all recognised: no rows, a note on stderr, success.
  test::TempFolder folder;
  const std::string zeros = folder.path() + "/zeros.img";
  std::filesystem::resize_file((std::ofstream(zeros), zeros), 1 << 20);
  const auto empty = test::RunCli({"partitions", zeros});
  EXPECT_EQ(empty.status, 0);
  EXPECT_TRUE(empty.out.empty());
  EXPECT_NE(empty.err.find("no partition table and no volume found"), std::string::npos);
  const auto missing = test::RunCli({"partitions", "/nonexistent/disk.img"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("Invalid handle ..."), std::string::npos);
  EXPECT_TRUE(missing.out.empty());
}

}  // namespace
}  // namespace lv
