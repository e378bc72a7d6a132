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
};

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
