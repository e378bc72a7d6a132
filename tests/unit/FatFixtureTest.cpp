// The FAT12/16 and FAT32 engines on real volumes, through the command line:
// the committed fixtures (whole volumes, and volumes inside partitioned
// disks) compared with sleuthkit's listing (fls -r -p) and data (icat), and
// the public images made by other people.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <regex>
#include <sys/stat.h>

#include "Md5.h"
#include "TestSupport.h"

namespace lv {
namespace {

// Our mark for a short name's lost first letter (U+FFE5) in UTF-8; fls
// writes '_' in its place.
const std::string kLostLetter = "\xEF\xBF\xA5";

std::string AsFls(std::string path) {
  for (size_t at = path.find(kLostLetter); at != std::string::npos; at = path.find(kLostLetter, at + 1))
    path.replace(at, kLostLetter.size(), "_");
  return path;
}

struct Item {
  bool folder = false;
  bool deleted = false;
  uint64_t size = 0;
  std::string ours;  // the path as ls prints it
};

// ls --unfiltered by the path fls would give.
std::map<std::string, Item> Listing(std::vector<std::string> options) {
  options.insert(options.begin(), "ls");
  options.push_back("--unfiltered");
  const test::CommandResult ls = test::RunCli(options);
  EXPECT_EQ(ls.status, 0) << ls.err;
  std::map<std::string, Item> items;
  for (const std::string& line : test::Lines(ls.out)) {
    const auto f = test::SplitTabs(line);
    if (f.size() != 4) continue;
    const bool added = items.emplace(AsFls(f[3]), Item{f[0] == "d", f[1] == "deleted", std::stoull(f[2]), f[3]}).second;
    EXPECT_TRUE(added) << "listed twice: " << f[3];
  }
  return items;
}

// The file system's entries of an fls -r -p listing by path: without
// sleuthkit's virtual files ($MBR, $FAT1, $FAT2, $OrphanFiles) and the
// volume label.
std::map<std::string, Item> ReadFls(const std::string& file) {
  std::map<std::string, Item> out;
  static const std::regex line(R"(^(\S)/(\S) (\* )?(\d+)[^:]*:\t(.*)$)");
  for (const std::string& text : test::Lines(test::ReadTextFile(file))) {
    std::smatch m;
    if (!std::regex_match(text, m, line) || m[1] == "v" || m[1] == "V") continue;
    if (m[5].str().find("(Volume Label Entry)") == std::string::npos) out[m[5]] = {m[2] == "d", m[3].matched, 0, m[5]};
  }
  return out;
}

struct FatCase {
  std::string image;      // committed fixture
  int64_t start = -1;     // partition start sector; -1: a whole volume
  bool gpt = false;
  std::string reference;  // prefix of the .fls.txt and .icat.txt files
  // Recycled files that the recycle-bin step gives their former names.
  std::map<std::string, std::string> recycled;
};

void PrintTo(const FatCase& c, std::ostream* os) { *os << c.reference; }

// The volume options that select the case's volume: a whole volume is
// recognised by its boot sector, a partition by its row of the scan.
std::optional<std::vector<std::string>> VolumeOptions(const FatCase& c, const std::string& image) {
  std::vector<std::string> options = {image};
  if (c.start < 0) return options;
  std::vector<std::string> args = {"partitions", image};
  if (c.gpt) args.push_back("--gpt");
  for (const std::string& line : test::Lines(test::RunCli(args).out)) {
    const auto f = test::SplitTabs(line);
    if (f.size() == 4 && f[3] == std::to_string(c.start)) {
      options.insert(options.end(), {"--volume", f[0]});
      if (c.gpt) options.push_back("--gpt");
      return options;
    }
  }
  return std::nullopt;
}

class FatFixture : public testing::TestWithParam<FatCase> {};

TEST_P(FatFixture, ListingAndDataMatchTheReference) {
  const FatCase& c = GetParam();
  const std::string image = test::FixturePath(c.image);
  if (!test::FileExists(image)) GTEST_SKIP() << c.image << " has not been committed";
  const auto options = VolumeOptions(c, image);
  ASSERT_TRUE(options) << "no partition row starts at " << c.start;
  const auto ours = Listing(*options);

  // The same live and deleted files and folders as fls. Differences by
  // design: the volume label is no file (fls lists it as one), and a short
  // name whose first letter the deletion mark took reads U+FFE5 there (fls:
  // '_'), which AsFls maps.
  const auto expected = ReadFls(test::FixturePath(c.reference + ".fls.txt"));
  for (const auto& [path, item] : expected) {
    const auto found = ours.find(path);
    if (found == ours.end()) {
      ADD_FAILURE() << c.reference << ": not listed: " << path;
      continue;
    }
    EXPECT_EQ(found->second.folder, item.folder) << c.reference << ": " << path;
    EXPECT_EQ(found->second.deleted, item.deleted) << c.reference << ": " << path;
  }
  for (const auto& [path, item] : ours) EXPECT_TRUE(expected.count(path)) << c.reference << ": not in fls: " << path;

  // Every file saved, live or deleted, is icat's data: the deleted files'
  // clusters are left as they were (nothing is written after the deletion),
  // so icat's bytes are the files' own, and a deleted file comes back whole.
  test::TempFolder out;
  std::vector<std::string> args = {"save"};
  args.insert(args.end(), options->begin(), options->end());
  args.insert(args.end(), {"--unfiltered", "--out", out.path()});
  const test::CommandResult save = test::RunCli(args);
  ASSERT_EQ(save.status, 0) << save.err;
  size_t compared = 0;
  for (const std::string& line : test::Lines(test::ReadTextFile(test::FixturePath(c.reference + ".icat.txt")))) {
    const auto f = test::SplitTabs(line);
    if (f.size() < 5 || f[4].find("(Volume Label Entry)") != std::string::npos) continue;
    const auto found = ours.find(f[4]);
    if (found == ours.end()) continue;  // reported above
    std::string saved = found->second.ours;
    if (const auto renamed = c.recycled.find(f[4]); renamed != c.recycled.end()) saved = renamed->second;
    EXPECT_EQ(found->second.size, std::stoull(f[2])) << c.reference << ": " << f[4];
    EXPECT_EQ(test::Md5Hex(test::ReadTextFile(out.path() + "/" + saved)), f[3])
        << c.reference << ": " << f[4] << " (" << f[1] << ")";
    ++compared;
  }
  EXPECT_GT(compared, 0u);
  EXPECT_EQ(test::Lines(save.out).size(), compared) << save.out;
}

const std::string kRecycleUser = "$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1001/";

INSTANTIATE_TEST_SUITE_P(
    Volumes, FatFixture,
    testing::Values(FatCase{"fat12-floppy.img", -1, false, "fat12-floppy", {}},
                    FatCase{"fat16.img", -1, false, "fat16", {}},
                    FatCase{"fat32.img", -1, false, "fat32",
                            {{kRecycleUser + "$RABC123.jpg", kRecycleUser + "holiday.jpg"},
                             {kRecycleUser + "$RDEF456.mp4", kRecycleUser + "birthday party.mp4"}}},
                    // OEM names "mkfs.fat" (FAT32 and FAT16 here) and
                    // "MSWIN4.1" (the GPT disk's FAT32) alike.
                    FatCase{"mbr-mixed.img", 2048, false, "mbr-mixed.p2048", {}},
                    FatCase{"mbr-mixed.img", 47104, false, "mbr-mixed.p47104", {}},
                    FatCase{"mbr-loop.img", 2048, false, "mbr-loop.p2048", {}},
                    FatCase{"mbr-loop.img", 12288, false, "mbr-loop.p12288", {}},
                    FatCase{"mbr-loop.img", 18432, false, "mbr-loop.p18432", {}},
                    FatCase{"gpt-mixed.img", 28672, true, "gpt-mixed.p28672", {}}),
    [](const testing::TestParamInfo<FatCase>& p) {
      std::string n = p.param.reference;
      for (char& ch : n)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

// Public images ------------------------------------------------------------

std::map<std::string, std::string> SavedMd5s(const std::string& image, test::TempFolder& out) {
  const test::CommandResult save = test::RunCli({"save", image, "--unfiltered", "--out", out.path()});
  EXPECT_EQ(save.status, 0) << save.err;
  std::map<std::string, std::string> md5;
  for (const std::string& line : test::Lines(save.out)) {
    const auto f = test::SplitTabs(line);
    if (f.size() == 2) md5[AsFls(f[0].substr(out.path().size() + 1))] = test::Md5Hex(test::ReadTextFile(f[0]));
  }
  return md5;
}

TEST(FatPublic, UndeleteImageGivesItsDeletedFilesAndFolders) {
  const std::string image = test::PublicPath("6-undel-fat/6-fat-undel.dd");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  const auto items = Listing({image});
  // Everything is deleted, the files of the deleted folders too: Windows
  // marked only dir1 itself.
  for (const char* folder : {"_ir1", "_ir1/dir2", "System Volume Information"}) {
    ASSERT_TRUE(items.count(folder)) << folder;
    EXPECT_TRUE(items.at(folder).folder && items.at(folder).deleted) << folder;
  }
  for (const auto& [path, item] : items) EXPECT_TRUE(item.deleted) << path;
  // The restore point's folder _P1 names dir2's cluster, read already for
  // dir2: a directory cluster is walked once, so frag3.dat is listed once
  // (fls lists it under both).
  EXPECT_FALSE(items.count("System Volume Information/_restore{A25F48CA-6632-4143-8EF8-3586A84AB5AF}/_P1/frag3.dat"));

  test::TempFolder out;
  const auto md5 = SavedMd5s(image, out);
  // The unfragmented files as index.html gives them...
  const std::map<std::string, std::string> whole = {{"_ing.dat", "59b20779f69ff9f0ac5fcd2c38835a79"},
                                                    {"_ult1.dat", "ffd27bd782bdce67750b6b9ee069d2ef"},
                                                    {"_ir1/mult2.dat", "59cf0e9cd107bc1e75afb7374f6e05bb"}};
  // ...and the fragmented ones as the clusters that follow their first one
  // give them: Windows cleared the whole table, so no free cluster tells
  // their fragments from the files between (index.html's "incorrect" MD5s).
  const std::map<std::string, std::string> contiguous = {{"_rag1.dat", "c4f3b9a0f17d464f4fc61b94ecf6cc21"},
                                                         {"_rag2.dat", "965370acfa85aa7e26ab04bbd45cdcae"},
                                                         {"_ir1/dir2/frag3.dat", "a7a14ac62f79fdea4056ed5e8bcf97ef"}};
  for (const auto* table : {&whole, &contiguous})
    for (const auto& [path, hash] : *table) {
      ASSERT_TRUE(md5.count(path)) << path;
      EXPECT_EQ(md5.at(path), hash) << path;
    }
  EXPECT_EQ(md5.size(), 6u);
}

TEST(FatPublic, LabelImageGivesTheDataOfBothLabelEntries) {
  const std::string image = test::PublicPath("9-fat-label/9-fat-label.dd");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  const auto items = Listing({image});
  // The deleted "New Folder" and dir1 share their first cluster: one
  // folder, named after the later, live slot (fls lists both).
  EXPECT_EQ(items.size(), 3u);
  ASSERT_TRUE(items.count("dir1"));
  EXPECT_FALSE(items.at("dir1").deleted);
  test::TempFolder out;
  const auto md5 = SavedMd5s(image, out);
  // The root's label entry owns clusters, so it is listed as a file; the
  // label entry in dir1 is a file as any entry of a folder is.
  EXPECT_EQ(md5.at("LABEL2"), "8071eeaa52cd372a9bbb093e348e605c");
  EXPECT_EQ(md5.at("dir1/file2.dll"), "8aeca328aa6fbb7d2ec01f8c2f3e4bbd");
}

TEST(FatPublic, DaylightImageKeepsTheWallClockTimesOfItsFiles) {
  const std::string image = test::PublicPath("5-fat-daylight/daylight.dd");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  EXPECT_EQ(Listing({image}).size(), 2u);  // a FAT12 floppy, recognised as one
  // The saved files read, in the zone of the machine that saves them, the
  // wall-clock times Windows wrote (2 PM in winter, 3 PM in summer), in any
  // zone: the times carry none of their own.
  const char* const saved = std::getenv("TZ");
  const std::string before = saved ? saved : "";
  for (const char* zone : {"UTC", "America/New_York"}) {
    setenv("TZ", zone, 1);
    tzset();
    test::TempFolder out;
    const auto md5 = SavedMd5s(image, out);
    ASSERT_EQ(md5.size(), 2u);
    for (const auto& [name, hour] : std::map<std::string, int>{{"winter.txt", 14}, {"summer.txt", 15}}) {
      struct stat st{};
      ASSERT_EQ(::stat((out.path() + "/" + name).c_str(), &st), 0) << name;
      std::tm local{};
      localtime_r(&st.st_mtime, &local);
      EXPECT_EQ(local.tm_hour * 60 + local.tm_min, hour * 60) << zone << " " << name;
    }
  }
  if (saved) setenv("TZ", before.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace
}  // namespace lv
