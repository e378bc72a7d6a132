// lumenvault-cli on exFAT volumes: the committed fixtures compared with
// sleuthkit's listing (fls -r -p), data (icat) and times (fls -m), and the
// public Windows-made image with its own listing.
//
// Expected differences from fls, each for a reason:
//  - the volume label, $ALLOC_BITMAP and $UPCASE_TABLE are entries of the
//    root directory that name no file, and $MBR, $FAT1 and $OrphanFiles
//    are fls's own: none is listed;
//  - recycled files are saved under the names their $I records give;
//  - fls -m gives times to the even second: it leaves out the 10 ms
//    increment, which holds the odd second.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <set>

#include "Md5.h"
#include "TestSupport.h"
#include "common/Text.h"

namespace lv {
namespace {

struct Item {
  bool folder = false;
  bool deleted = false;
  uint64_t size = 0;
};

// path → item, from an ls listing.
std::map<std::string, Item> ReadLs(const std::string& out) {
  std::map<std::string, Item> items;
  for (const std::string& line : test::Lines(out)) {
    const auto f = test::SplitTabs(line);
    EXPECT_EQ(f.size(), 4u) << line;
    if (f.size() != 4) continue;
    EXPECT_TRUE(items.emplace(f[3], Item{f[0] == "d", f[1] == "deleted", std::stoull(f[2])}).second)
        << "listed twice: " << f[3];
  }
  return items;
}

bool IsMetadata(const std::string& path) {
  return path == "$ALLOC_BITMAP" || path == "$UPCASE_TABLE" || path == "$MBR" || path == "$FAT1" ||
         path.rfind("$OrphanFiles", 0) == 0 || path.find(" (Volume Label Entry)") != std::string::npos;
}

struct Reference {
  std::map<std::string, Item> fls;
  std::map<std::string, std::string> md5;     // path → icat's MD5
  std::map<std::string, int64_t> mtime;       // path → fls -m modification time
};

Reference LoadReference(const std::string& prefix) {
  Reference ref;
  for (const std::string& line : test::Lines(test::ReadTextFile(test::FixturePath(prefix + ".fls.txt")))) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || IsMetadata(line.substr(tab + 1))) continue;
    ref.fls[line.substr(tab + 1)] = {line[2] == 'd', line.find(" * ") != std::string::npos, 0};
  }
  for (const std::string& line : test::Lines(test::ReadTextFile(test::FixturePath(prefix + ".icat.txt")))) {
    const auto f = test::SplitTabs(line);
    if (f.size() != 5 || !ref.fls.count(f[4])) continue;
    ref.fls[f[4]].size = std::stoull(f[2]);
    ref.md5[f[4]] = f[3];
  }
  const std::string body = test::FixturePath(prefix + ".body.txt");
  for (const std::string& line : test::Lines(test::FileExists(body) ? test::ReadTextFile(body) : "")) {
    std::vector<std::string> f;
    size_t start = 0;
    for (size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
      f.push_back(line.substr(start, bar - start));
    f.push_back(line.substr(start));
    if (f.size() != 11) continue;
    std::string path = f[1].substr(1);
    if (path.size() > 10 && path.compare(path.size() - 10, 10, " (deleted)") == 0) path.resize(path.size() - 10);
    ref.mtime[path] = std::stoll(f[8]);
  }
  return ref;
}

struct Case {
  std::string name, image, reference;
  std::vector<std::string> volume;
};
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class ExfatFixture : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    image_ = test::FixturePath(GetParam().image);
    if (!test::FileExists(image_)) GTEST_SKIP() << GetParam().image << " has not been built";
    ref_ = LoadReference(GetParam().reference);
  }
  test::CommandResult Run(const std::string& command, std::vector<std::string> extra) {
    std::vector<std::string> args = {command, image_};
    args.insert(args.end(), GetParam().volume.begin(), GetParam().volume.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return test::RunCli(args);
  }
  std::string image_;
  Reference ref_;
};

const std::map<std::string, std::string> kFormerNames = {
    {"$RABC123.jpg", "holiday.jpg"}, {"$RDEF456.mp4", "birthday party.mp4"}};

TEST_P(ExfatFixture, ListsWhatFlsListsAndSavesWhatIcatReads) {
  const auto listing = Run("ls", {"--unfiltered"});
  ASSERT_EQ(listing.status, 0) << listing.err;
  EXPECT_EQ(listing.err, "Scanning process completed...\n");
  const auto listed = ReadLs(listing.out);
  for (const auto& [path, item] : listed) {
    const auto expected = ref_.fls.find(path);
    if (expected == ref_.fls.end()) {
      ADD_FAILURE() << "not in the fls listing: " << path;
      continue;
    }
    EXPECT_EQ(item.folder, expected->second.folder) << path;
    EXPECT_EQ(item.deleted, expected->second.deleted) << path;
    if (!item.folder) {
      EXPECT_EQ(item.size, expected->second.size) << path;
    }
  }
  for (const auto& [path, item] : ref_.fls) EXPECT_TRUE(listed.count(path)) << "not listed: " << path;

  // Every file, live or deleted (the deleted ones here are whole: their
  // clusters were not reused), and a deleted file of a pair written in
  // turns, whose chain its deletion freed, too.
  test::TempFolder out;
  const auto saved = Run("save", {"--unfiltered", "--out", out.path()});
  ASSERT_EQ(saved.status, 0) << saved.err;
  size_t compared = 0;
  for (const auto& [path, md5] : ref_.md5) {
    std::string target = path;
    const size_t slash = target.rfind('/');
    const auto former = kFormerNames.find(target.substr(slash + 1));
    if (former != kFormerNames.end()) target = target.substr(0, slash + 1) + former->second;
    const std::string file = out.path() + "/" + target;
    ASSERT_TRUE(test::FileExists(file)) << target;
    EXPECT_EQ(test::Md5Hex(test::ReadTextFile(file)), md5) << target;
    const auto mtime = ref_.mtime.find(path);
    if (mtime != ref_.mtime.end()) {
      struct stat st {};
      ASSERT_EQ(::stat(file.c_str(), &st), 0);
      const int64_t increment = st.st_mtim.tv_sec - mtime->second;
      EXPECT_TRUE(increment == 0 || increment == 1) << target << ": " << st.st_mtim.tv_sec;
    }
    ++compared;
  }
  EXPECT_GT(compared, 5u);
}

INSTANTIATE_TEST_SUITE_P(Exfat, ExfatFixture,
                         ::testing::Values(Case{"exfat_basic", "exfat-basic.img", "exfat-basic", {}},
                                           Case{"exfat_small", "exfat-small.img", "exfat-small", {}},
                                           Case{"mbr_exfat", "mbr-exfat.img", "mbr-exfat.p2048", {"--volume", "0"}}),
                         [](const auto& info) { return info.param.name; });

// --formatted: chains are not followed. DCIM/100LVCAM, a folder of three
// chained clusters, shows the files of its first cluster only, and the
// chained song.mp3 is read from consecutive clusters: its second cluster is
// then the first of voice.wav, written in turns with it.
TEST(ExfatFormatted, ChainsEndAfterTheirFirstClusterAndDataIsConsecutive) {
  const std::string image = test::FixturePath("exfat-basic.img");
  if (!test::FileExists(image)) GTEST_SKIP() << "exfat-basic has not been built";
  const auto count = [](const std::map<std::string, Item>& items) {
    size_t n = 0;
    for (const auto& [path, item] : items) n += path.rfind("DCIM/100LVCAM/", 0) == 0;
    return n;
  };
  const auto standard = ReadLs(test::RunCli({"ls", image, "--unfiltered"}).out);
  const auto formatted = ReadLs(test::RunCli({"ls", image, "--unfiltered", "--formatted"}).out);
  EXPECT_EQ(count(standard), 102u);
  EXPECT_GT(count(formatted), 0u);
  EXPECT_LT(count(formatted), 50u);
  test::TempFolder a, b;
  ASSERT_EQ(test::RunCli({"save", image, "--out", a.path(), "Music"}).status, 0);
  ASSERT_EQ(test::RunCli({"save", image, "--formatted", "--out", b.path(), "Music"}).status, 0);
  const std::string song = test::ReadTextFile(a.path() + "/song.mp3");
  const std::string voice = test::ReadTextFile(a.path() + "/voice.wav");
  const std::string read = test::ReadTextFile(b.path() + "/song.mp3");
  ASSERT_EQ(read.size(), song.size());
  EXPECT_EQ(read.substr(0, 4096), song.substr(0, 4096));
  EXPECT_EQ(read.substr(4096, 4096), voice.substr(0, 4096));
}

// The public image's listing gives paths in UTF-8, except one in
// Windows-1251.
std::string ListedPath(const std::string& bytes) {
  if (WideToUtf8(Utf8ToWide(bytes)) == bytes) return bytes;
  std::wstring text;
  for (unsigned char b : bytes) text.push_back(b >= 0xC0 ? static_cast<wchar_t>(0x410 + (b - 0xC0)) : b);
  return WideToUtf8(text);
}

TEST(ExfatPublic, WindowsImageListsItsListingAndItsDeletedEntries) {
  const std::string image = test::PublicPath("exfat_win.raw");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  // path, modification, access, creation, size.
  std::map<std::string, uint64_t> expected;
  for (const std::string& line : test::Lines(test::ReadTextFile(test::PublicPath("exfat_win_stat.txt")))) {
    const auto f = test::SplitTabs(line);
    ASSERT_EQ(f.size(), 5u) << line;
    expected[ListedPath(f[0].substr(1))] = std::stoull(f[4]);
  }
  ASSERT_EQ(expected.size(), 702u);
  const auto listing = test::RunCli({"ls", image, "--unfiltered"});
  ASSERT_EQ(listing.status, 0) << listing.err;
  const auto listed = ReadLs(listing.out);
  std::set<std::string> deleted;
  for (const auto& [path, item] : listed) {
    const auto found = expected.find(path);
    if (found == expected.end()) {
      EXPECT_TRUE(item.deleted) << "not in the listing and live: " << path;
      deleted.insert(path);
      continue;
    }
    EXPECT_FALSE(item.deleted) << path;
    EXPECT_EQ(item.size, found->second) << path;
  }
  for (const auto& [path, size] : expected) EXPECT_TRUE(listed.count(path)) << "not listed: " << path;
  // The deleted entries sleuthkit finds too: a folder and four files.
  EXPECT_EQ(deleted, (std::set<std::string>{"0", "1.bin", "333.bin", "555.bin", "Текстовый документ.txt"}));
  EXPECT_TRUE(listed.at("0").folder);

  // Windows wrote its times with the offset of UTC+3: the saved file has
  // the moment, the listing the clock time.
  test::TempFolder out;
  const auto saved = test::RunCli({"save", image, "--unfiltered", "--out", out.path(), "3.bin"});
  ASSERT_EQ(saved.status, 0) << saved.err;
  struct stat st {};
  ASSERT_EQ(::stat((out.path() + "/3.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1642959324);  // 2022-01-23 20:35:24 at UTC+3
  const auto rows = test::RunCli({"search", image, "--unfiltered", "--regex", "^3\\.bin$"});
  EXPECT_NE(rows.out.find("01/23/2022  08:35 PM"), std::string::npos) << rows.out;
}

}  // namespace
}  // namespace lv
