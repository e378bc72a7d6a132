// The HFS+ engine on real volumes, through the command line: the fixture of
// our HFS+ writer (tests/fixtures/hfsplus.sh; a hard link among its files),
// whole and inside a GPT disk,
// compared with sleuthkit's listing (fls -r -p) and data (icat); the same
// volume in the scan modes; and the public image with the CNIDs of its
// manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

#include "Md5.h"
#include "TestSupport.h"
#include "disk/Reader.h"
#include "hfsplus/HfsAdapter.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

struct Item {
  bool folder = false;
  bool deleted = false;
  uint64_t size = 0;
};

std::map<std::string, Item> Listing(std::vector<std::string> options) {
  options.insert(options.begin(), "ls");
  options.push_back("--unfiltered");
  const test::CommandResult ls = test::RunCli(options);
  EXPECT_EQ(ls.status, 0) << ls.err;
  std::map<std::string, Item> items;
  for (const std::string& line : test::Lines(ls.out)) {
    const auto f = test::SplitTabs(line);
    if (f.size() != 4) continue;
    EXPECT_TRUE(items.emplace(f[3], Item{f[0] == "d", f[1] == "deleted", std::stoull(f[2])}).second) << f[3];
  }
  return items;
}

// fls -r -p by path, without sleuthkit's own entries for the volume's
// special files ($ExtentsFile, $CatalogFile, ...), which are no catalog
// records.
std::map<std::string, Item> ReadFls(const std::string& file) {
  std::map<std::string, Item> out;
  static const std::regex line(R"(^(\S)/(\S) (\* )?(\d+)[^:]*:\t(.*)$)");
  for (const std::string& text : test::Lines(test::ReadTextFile(file))) {
    std::smatch m;
    if (!std::regex_match(text, m, line) || m[5].str().rfind("$", 0) == 0) continue;
    out[m[5]] = {m[2] == "d", m[3].matched, 0};
  }
  return out;
}

struct HfsCase {
  std::string image;
  std::string reference;
  std::vector<std::string> options;
  bool publicImage = false;
};

// A listed path as fls spells it: fls prints a control character as "^",
// the listing escapes it as "%XX" (the public image's private folders are
// "\0\0\0\0HFS+ Private Data" and ".HFS+ Private Directory Data\r").
std::string FlsSpelling(const std::string& path) {
  static const std::regex control("%[01][0-9A-F]");
  return std::regex_replace(path, control, "^");
}

void PrintTo(const HfsCase& c, std::ostream* os) { *os << c.reference; }

class HfsFixture : public testing::TestWithParam<HfsCase> {};

TEST_P(HfsFixture, ListingAndDataMatchTheReference) {
  const HfsCase& c = GetParam();
  const std::string image = c.publicImage ? test::PublicPath(c.image) : test::FixturePath(c.image);
  if (!test::FileExists(image)) GTEST_SKIP() << c.image << " is missing";
  std::vector<std::string> options = {image};
  options.insert(options.end(), c.options.begin(), c.options.end());
  std::map<std::string, Item> ours;
  std::map<std::string, std::string> saved;  // fls spelling → path saved
  for (const auto& [path, item] : Listing(options)) {
    ours[FlsSpelling(path)] = item;
    saved[FlsSpelling(path)] = path;
  }
  const auto expected = ReadFls(test::FixturePath(c.reference + ".fls.txt"));
  ASSERT_GT(expected.size(), c.publicImage ? 10u : 50u);
  for (const auto& [path, item] : expected) {
    const auto found = ours.find(path);
    if (found == ours.end()) {
      ADD_FAILURE() << c.reference << ": not listed: " << path;
      continue;
    }
    EXPECT_EQ(found->second.folder, item.folder) << path;
    EXPECT_FALSE(found->second.deleted) << path;
  }
  EXPECT_EQ(ours.size(), expected.size());

  test::TempFolder out;
  std::vector<std::string> args = {"save"};
  args.insert(args.end(), options.begin(), options.end());
  args.insert(args.end(), {"--unfiltered", "--out", out.path()});
  const test::CommandResult save = test::RunCli(args);
  EXPECT_EQ(save.status, 0) << save.err;
  size_t compared = 0;
  bool fragmented = false;
  for (const std::string& line : test::Lines(test::ReadTextFile(test::FixturePath(c.reference + ".icat.txt")))) {
    const auto f = test::SplitTabs(line);
    if (f.size() < 5 || f[4].rfind("$", 0) == 0) continue;
    ASSERT_TRUE(ours.count(f[4])) << f[4];
    EXPECT_EQ(ours.at(f[4]).size, std::stoull(f[2])) << f[4];
    EXPECT_EQ(test::Md5Hex(test::ReadTextFile(out.path() + "/" + saved[f[4]])), f[3]) << c.reference << ": " << f[4];
    fragmented |= f[4] == "Videos/fragmented.mp4";
    ++compared;
  }
  EXPECT_EQ(fragmented, !c.publicImage);
  // A hard link saves the data of its indirect node file.
  if (!c.publicImage) {
    EXPECT_EQ(ours.at("Music/song.mp3").size, 41000u);
  }
  EXPECT_EQ(test::Lines(save.out).size(), compared) << save.out;
  // A symbolic link is listed but not written.
  if (c.publicImage) {
    EXPECT_TRUE(ours.count("a_link"));
    EXPECT_FALSE(test::FileExists(out.path() + "/a_link"));
  }
}

INSTANTIATE_TEST_SUITE_P(Volumes, HfsFixture,
                         testing::Values(HfsCase{"hfsplus.img", "hfsplus", {}},
                                         HfsCase{"hfsplus-gpt.img", "hfsplus-gpt.p2048", {"--volume", "0", "--gpt"}},
                                         HfsCase{"hfsplus.raw", "hfsplus-public", {}, true}),
                         [](const testing::TestParamInfo<HfsCase>& p) {
                           std::string n = p.param.reference;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// The writer's own list (size, md5, path) of every file it wrote.
std::map<std::string, std::string> Staged() {
  std::map<std::string, std::string> md5;
  for (const std::string& line : test::Lines(test::ReadTextFile(test::FixturePath("hfsplus.stage.txt")))) {
    const auto f = test::SplitTabs(line);
    if (f.size() == 3) md5[f[2]] = f[1];
  }
  return md5;
}

TEST(HfsFixture, ScanModesFindTheRemovedRecordAndGroupByCnid) {
  const std::string image = test::FixturePath("hfsplus.img");
  if (!test::FileExists(image)) GTEST_SKIP();
  const auto standard = Listing({image});
  EXPECT_FALSE(standard.count("DCIM/100MEDIA/removed.jpg"));
  const auto staged = Staged();
  std::string fragmented;
  for (const char* mode : {"deep", "advanced"}) {
    const auto ours = Listing({image, "--mode", mode});
    // Folders hang flat below ORPHAN_ENTRY, the root folder (named after
    // the volume) among them; every file below the folder with the highest
    // CNID below its own. The writer numbers each folder's files right
    // after the folders beside them, so the removed photo hangs below
    // 100MEDIA, the last folder numbered before it.
    ASSERT_TRUE(ours.count("ORPHAN_ENTRY")) << mode;
    for (const char* folder : {"lv-hfsplus", "DCIM", "100MEDIA", "Music", "Live", "Videos", "Documents"})
      EXPECT_TRUE(ours.count(std::string("ORPHAN_ENTRY/") + folder)) << mode << ": " << folder;
    ASSERT_TRUE(ours.count("ORPHAN_ENTRY/100MEDIA/removed.jpg")) << mode;
    EXPECT_TRUE(ours.at("ORPHAN_ENTRY/100MEDIA/removed.jpg").deleted);
    EXPECT_EQ(ours.at("ORPHAN_ENTRY/100MEDIA/removed.jpg").size, 23000u);
    size_t files = 0;
    for (const auto& [path, item] : ours) {
      if (item.folder) continue;
      ++files;
      // Two levels: ORPHAN_ENTRY, a folder, the file.
      EXPECT_EQ(std::count(path.begin(), path.end(), '/'), 2) << path;
      EXPECT_EQ(item.deleted, path == "ORPHAN_ENTRY/100MEDIA/removed.jpg") << path;
      if (path.size() > 15 && path.substr(path.size() - 15) == "/fragmented.mp4") fragmented = path;
    }
    // The staged files, and the hard link's indirect node file.
    EXPECT_EQ(files, staged.size() + 1) << mode;
  }
  // The removed file's blocks were freed, not overwritten: it saves whole.
  test::TempFolder out;
  const auto save = test::RunCli({"save", image, "--mode", "deep", "--unfiltered", "--out", out.path()});
  EXPECT_EQ(save.status, 0) << save.err;
  EXPECT_EQ(test::Md5Hex(test::ReadTextFile(out.path() + "/ORPHAN_ENTRY/100MEDIA/removed.jpg")),
            staged.at("DCIM/100MEDIA/removed.jpg"));
  ASSERT_FALSE(fragmented.empty());
  EXPECT_EQ(test::Md5Hex(test::ReadTextFile(out.path() + "/" + fragmented)), staged.at("Videos/fragmented.mp4"));
}

TEST(HfsPublic, ManifestCnidsSizesAndData) {
  const std::string image = test::PublicPath("hfsplus.raw");
  if (!test::FileExists(image)) GTEST_SKIP();
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(image));
  NullSink sink;
  VolumeEntry volume;
  volume.fileSystem = L"HFS+";
  for (const int32_t mode : {1, 3}) {
    HfsAdapter adapter(EngineSetup{reader, volume, sink, nullptr});
    struct NoSteps final : ScanSteps {
      void CreateRootItem(bool) override {}
      void FillTree() override {}
      void RestoreRecycledNames() override {}
      void FilterTree() override {}
    } steps;
    ASSERT_FALSE(adapter.RunWorker(mode, AdvancedChoices{}, steps).refused);
    const HFSP& engine = adapter.GetEngine();
    const struct {
      uint32_t cnid;
      const char16_t* name;
      uint32_t parent;
      uint16_t kind;
      bool saved;
    } cases[] = {
        {18, u"a_directory", 2, 1, false}, {19, u"a_file", 18, 2, true},       {21, u"another_file", 18, 2, true},
        {25, u"a_resourcefork", 18, 2, true}, {20, u"passwords.txt", 2, 2, true}, {22, u"a_link", 2, 2, false},
    };
    for (const auto& c : cases) {
      const int32_t at = engine.Find(c.cnid);
      ASSERT_GE(at, 0) << c.cnid;
      const HfsEntryRecord& e = engine.entries[static_cast<size_t>(at)];
      EXPECT_EQ(e.name, c.name);
      EXPECT_EQ(e.kind, c.kind);
      // In the scan modes folders hang below ORPHAN_ENTRY.
      if (mode == 1 || c.kind == 2) {
        EXPECT_EQ(e.parentId, c.parent) << c.cnid;
      }
      EXPECT_EQ(adapter.CountsAsFile(at), c.saved) << c.cnid;
      EXPECT_EQ(adapter.DataOf(at), c.cnid);
      EXPECT_EQ(adapter.IndexOf(c.cnid), at);
    }
    EXPECT_EQ(engine.entries[static_cast<size_t>(engine.Find(21))].logicalSize, 22u);
    EntryData data = adapter.OpenData(engine.Find(21));
    std::string bytes;
    ASSERT_TRUE(ReadWhole(data, 1024, bytes));
    // icat of CNID 21.
    EXPECT_EQ(test::Md5Hex(bytes), "d54ff73404ed6041a3bd66850b061bff");
    EXPECT_FALSE(adapter.OpenData(engine.Find(22)).valid);  // the link's target is not written
  }
}

}  // namespace
}  // namespace lv
