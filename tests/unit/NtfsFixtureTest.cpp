// The ntfs engine on real volumes: the committed fixture images, compared
// with sleuthkit's listing (fls -r -p) and data (icat), and the public
// images made by other people.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <regex>
#include <set>

#include "Md5.h"
#include "TestSupport.h"
#include "common/Text.h"
#include "disk/Reader.h"
#include "ntfs/Ntfs.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

struct Volume {
  explicit Volume(const std::string& path, int32_t mode = 1, int64_t startSector = 0) {
    auto file = std::make_unique<FileReadSeek>();
    open = file->OpenUtf8(path);
    reader = std::move(file);
    Scan(mode, startSector);
  }
  Volume(std::vector<uint8_t> image, int32_t mode) : reader(std::make_unique<MemoryReader>(std::move(image))) {
    open = true;
    Scan(mode, 0);
  }
  void Scan(int32_t mode, int64_t startSector) {
    VolumeEntry v;
    v.fileSystem = L"NTFS";
    v.startSector = startSector;
    v.sizeText = Utf8ToWide(std::to_string((reader->SourceBytes() - startSector * 512) >> 20) + "   MB");
    engine = std::make_unique<ntfs>(*reader, v, sink);
    engine->recoveryMode = mode;
    engine->ReadBootSector();
    if (mode == 3)
      engine->ScanAllRecords();
    else
      engine->LocateMft();
    engine->ReadMftByRuns();
    engine->ParseEntries();
  }
  const NtfsEntryRecord& at(int64_t i) const { return engine->entries.at(static_cast<size_t>(i)); }

  // Every entry reachable from the root, by path below it ("." skipped).
  struct Item {
    int64_t index;
    bool directory;
    bool deleted;
  };
  std::map<std::string, Item> Tree() const {
    std::map<std::string, Item> out;
    std::vector<std::pair<int64_t, std::string>> stack = {{engine->rootIndex, ""}};
    std::set<int64_t> seen;
    while (!stack.empty()) {
      auto [parent, prefix] = stack.back();
      stack.pop_back();
      if (!seen.insert(parent).second) {
        ADD_FAILURE() << "entry " << parent << " reached twice";
        continue;
      }
      for (int64_t c = at(parent).firstChild; c > 0; c = at(c).nextSibling) {
        const NtfsEntryRecord& e = at(c);
        if (e.name == u".") continue;
        const std::string path = prefix + Utf16ToUtf8(e.name);
        out[path] = {c, e.IsDirectory(), c != engine->orphanIndex && e.IsDeleted()};
        if (e.IsDirectory()) stack.push_back({c, path + "/"});
      }
    }
    return out;
  }

  // Extracts an entry and returns the MD5 of the written bytes ("" when
  // the extraction failed).
  std::string ExtractMd5(int64_t index, const test::TempFolder& folder) {
    engine->outputPath = folder.path() + "/";
    if (!engine->ExtractEntry(std::to_wstring(index))) return "";
    const std::string md5 = test::Md5Hex(test::ReadBinaryFile(engine->outputPath));
    std::remove(engine->outputPath.c_str());
    return md5;
  }

  std::unique_ptr<readWriteInterface> reader;
  bool open = false;
  LatestValueSink sink;
  std::unique_ptr<ntfs> engine;
};

// The reference data of one volume (`icat` of every unnamed data stream):
// record number, bytes, MD5, path.
struct IcatLine {
  int64_t record = 0;
  uint64_t size = 0;
  std::string md5, path;
};
std::vector<IcatLine> ReadIcat(const std::string& file) {
  std::vector<IcatLine> out;
  static const std::regex spec(R"(^(\d+)-128-\d+$)");
  for (const std::string& text : test::Lines(test::ReadTextFile(file))) {
    const auto f = test::SplitTabs(text);
    std::smatch m;
    if (f.size() < 5 || !std::regex_match(f[0], m, spec) || f[4].find(':') != std::string::npos) continue;
    out.push_back({std::stoll(m[1]), std::stoull(f[2]), f[3], f[4]});
  }
  return out;
}

// One line of `fls -r -p`: "r/r 64-128-2:\tpath", "-/d * 33-144-1:\tpath".
struct FlsLine {
  std::string path;
  int64_t inode = 0;
  bool directory = false;
  bool deleted = false;
};

std::vector<FlsLine> ReadFls(const std::string& file) {
  std::vector<FlsLine> out;
  static const std::regex line(R"(^(\S)/(\S) (\* )?(\d+)[^:]*:\t(.*)$)");
  for (const std::string& text : test::Lines(test::ReadTextFile(file))) {
    std::smatch m;
    if (!std::regex_match(text, m, line)) continue;
    FlsLine l;
    l.directory = m[2] == "d";
    l.deleted = m[3].matched;
    l.inode = std::stoll(m[4]);
    l.path = m[5];
    out.push_back(l);
  }
  return out;
}

// Paths are compared as the tree gives them, with fls's orphan folder
// under the name of ours.
std::string OurPath(std::string path) {
  if (path.rfind("$OrphanFiles/", 0) == 0) path = "ORPHAN_ENTRY/" + path.substr(13);
  return path;
}

bool IsMetadata(const FlsLine& l) {
  // The file system's own records (0..15 and $Extend's contents), named
  // streams (shown by fls as "name:stream"), fls's orphan folder itself,
  // and the names fls makes up for records without a name of their own
  // (reserved records 16..23 and the like).
  const std::string name = l.path.substr(l.path.rfind('/') + 1);
  return l.inode < 16 || l.path.rfind("$Extend", 0) == 0 || name.find(':') != std::string::npos ||
         l.path == "$OrphanFiles" || name.rfind("OrphanFile-", 0) == 0;
}

class NtfsFixture : public testing::TestWithParam<std::string> {};

TEST_P(NtfsFixture, TableMatchesTheReferenceListingAndData) {
  const std::string name = GetParam();
  const std::string image = test::FixturePath(name + ".img");
  if (!test::FileExists(image)) GTEST_SKIP() << name << " has not been committed";
  RecordingMessageBox box;
  ScopedMessages scoped(&box);
  Volume v(image);
  ASSERT_TRUE(v.open);
  // The damaged fixture has no NTFS boot sector: the MFT is found by the scan.
  if (name == "ntfs-damaged") {
    EXPECT_EQ(v.engine->mftLocated, 1);
  }
  const auto tree = v.Tree();

  // The table has one entry per MFT record: a file with several names
  // (hard links) is there once, under one of them, where fls lists every
  // name. Records are matched by number, as the table's indices are MFT
  // record numbers.
  std::map<int64_t, std::vector<FlsLine>> byRecord;
  std::set<std::string> expected;
  for (const FlsLine& l : ReadFls(test::FixturePath(name + ".fls.txt"))) {
    if (IsMetadata(l)) continue;
    byRecord[l.inode].push_back(l);
    expected.insert(OurPath(l.path));
  }
  for (const auto& [record, lines] : byRecord) {
    const FlsLine* match = nullptr;
    for (const FlsLine& l : lines) {
      const auto found = tree.find(OurPath(l.path));
      if (found != tree.end() && found->second.index == record) match = &l;
    }
    if (!match) {
      ADD_FAILURE() << name << ": record " << record << " (" << lines.front().path << ") is not in the tree";
      continue;
    }
    const auto& item = tree.at(OurPath(match->path));
    EXPECT_EQ(item.directory, match->directory) << name << ": " << match->path;
    EXPECT_EQ(item.deleted, match->deleted) << name << ": " << match->path;
  }
  // Every unnamed data stream that icat reads gives the same bytes: live
  // files, compressed and sparse ones included, and the deleted files, whose
  // clusters the fixtures leave unused after the deletion (nothing is
  // written to the volume after `rm`), so that icat's bytes are their
  // original bytes.
  test::TempFolder out;
  size_t compared = 0;
  for (const IcatLine& l : ReadIcat(test::FixturePath(name + ".icat.txt"))) {
    const int64_t inode = l.record;
    if (inode == 8) continue;  // $BadClus: its data is the named stream $Bad
    // The damaged fixture's references were taken before its boot sector
    // was overwritten; $Boot's data is that sector.
    if (name == "ntfs-damaged" && inode == 7) continue;
    ASSERT_LT(inode, static_cast<int64_t>(v.engine->entries.size())) << name << ": " << l.path;
    EXPECT_EQ(v.ExtractMd5(inode, out), l.md5) << name << ": " << l.path << " (" << l.size << " bytes)";
    EXPECT_EQ(v.engine->EntryDataSize(inode), l.size) << name << ": " << l.path;
    // The size the parse noted, which the listing prints without a read.
    EXPECT_EQ(v.engine->entries[static_cast<size_t>(inode)].dataSize, l.size) << name << ": " << l.path;
    ++compared;
  }
  EXPECT_GT(compared, 0u);
  EXPECT_TRUE(box.Texts().empty()) << WideToUtf8(box.Texts().front());
}

INSTANTIATE_TEST_SUITE_P(Images, NtfsFixture,
                         testing::Values("ntfs-basic", "ntfs-compressed", "ntfs-attrlist", "ntfs-512", "ntfs-damaged",
                                         "ntfs-recycle", "ntfs-reformatted"),
                         [](const testing::TestParamInfo<std::string>& p) {
                           std::string n = p.param;
                           for (char& c : n)
                             if (c == '-') c = '_';
                           return n;
                         });

// The records as an NTFS 3.0 volume writes them: the update-sequence array
// at 0x2A, where NTFS 3.1 keeps the record's own number.
std::vector<uint8_t> AsNtfs30(std::vector<uint8_t> image) {
  for (size_t at = 0; at + 1024 <= image.size(); at += 512) {
    if (std::memcmp(&image[at], "FILE", 4) != 0 || image[at + 4] != 0x30 || image[at + 5] != 0) continue;
    std::memmove(&image[at + 0x2A], &image[at + 0x30], 6);
    image[at + 4] = 0x2A;
  }
  return image;
}

// Deep mode keeps the records in the order found, so table positions are no
// record numbers: every file icat reads must still be in the deep table at
// its record's place, with icat's bytes, its attribute list and extension
// records found by number.
TEST(NtfsFixtureDeep, EveryRecordGivesTheReferenceBytes) {
  struct Case {
    std::string image, reference;
    int64_t startSector = 0;
    bool ntfs30 = false;
  };
  const Case cases[] = {
      {"ntfs-basic.img", "ntfs-basic"},         {"ntfs-compressed.img", "ntfs-compressed"},
      {"ntfs-attrlist.img", "ntfs-attrlist"},   {"ntfs-attrlist.img", "ntfs-attrlist", 0, true},
      {"ntfs-512.img", "ntfs-512"},             {"ntfs-damaged.img", "ntfs-damaged"},
      {"ntfs-recycle.img", "ntfs-recycle"},     {"ntfs-reformatted.img", "ntfs-reformatted"},
      {"mbr-mixed.img", "mbr-mixed.p20480", 20480},
  };
  RecordingMessageBox box;
  ScopedMessages scoped(&box);
  test::TempFolder out;
  size_t volumes = 0;
  for (const Case& c : cases) {
    const std::string path = test::FixturePath(c.image);
    if (!test::FileExists(path)) continue;
    SCOPED_TRACE(c.reference + (c.ntfs30 ? " as NTFS 3.0" : ""));
    std::unique_ptr<Volume> standard, deep;
    if (c.ntfs30) {
      standard = std::make_unique<Volume>(AsNtfs30(test::ReadBinaryFile(path)), 1);
      deep = std::make_unique<Volume>(AsNtfs30(test::ReadBinaryFile(path)), 3);
    } else {
      standard = std::make_unique<Volume>(path, 1, c.startSector);
      deep = std::make_unique<Volume>(path, 3, c.startSector);
    }
    std::map<uint64_t, int64_t> deepAt;  // record offset -> deep entry
    for (const NtfsEntryRecord& e : deep->engine->entries)
      if (e.HasName()) deepAt[e.recordOffset] = e.selfIndex;
    size_t compared = 0;
    for (const IcatLine& l : ReadIcat(test::FixturePath(c.reference + ".icat.txt"))) {
      // $BadClus's data is its named stream; the damaged image's $Boot was
      // zeroed; the MFT and its mirror of a converted image are converted.
      if (l.record == 8 || (c.reference == "ntfs-damaged" && l.record == 7) || (c.ntfs30 && l.record < 2)) continue;
      ASSERT_LT(l.record, static_cast<int64_t>(standard->engine->entries.size())) << l.path;
      const auto found = deepAt.find(standard->at(l.record).recordOffset);
      if (found == deepAt.end()) {
        ADD_FAILURE() << l.path << " (record " << l.record << ") is not in the deep table";
        continue;
      }
      EXPECT_EQ(deep->ExtractMd5(found->second, out), l.md5) << l.path << " (" << l.size << " bytes)";
      EXPECT_EQ(deep->at(found->second).dataSize, l.size) << l.path;
      ++compared;
    }
    EXPECT_GT(compared, 0u);
    ++volumes;
  }
  EXPECT_GT(volumes, 0u);
  EXPECT_TRUE(box.Texts().empty()) << WideToUtf8(box.Texts().front());
}

TEST(NtfsFixtureDamaged, GivesTheTableOfTheIntactVolume) {
  const std::string basic = test::FixturePath("ntfs-basic.img"), damaged = test::FixturePath("ntfs-damaged.img");
  if (!test::FileExists(basic) || !test::FileExists(damaged)) GTEST_SKIP() << "fixtures not committed";
  Volume a(basic), b(damaged);
  EXPECT_EQ(a.engine->mftLocated, 1);
  EXPECT_EQ(b.engine->mftLocated, 1);
  ASSERT_EQ(a.engine->entries.size(), b.engine->entries.size());
  for (size_t i = 0; i < a.engine->entries.size(); ++i) {
    const NtfsEntryRecord &x = a.engine->entries[i], &y = b.engine->entries[i];
    EXPECT_EQ(x.name, y.name) << i;
    EXPECT_EQ(x.parentIndex, y.parentIndex) << i;
    EXPECT_EQ(x.firstChild, y.firstChild) << i;
    EXPECT_EQ(x.nextSibling, y.nextSibling) << i;
    EXPECT_EQ(x.recordFlags, y.recordFlags) << i;
  }
}

// Public images -------------------------------------------------------------

TEST(NtfsPublic, UndeleteImageGivesEveryDeletedItemWithItsMd5) {
  const std::string image = test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd");
  const std::string index = test::PublicPath("7-undel-ntfs/index.html");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  Volume v(image);
  const auto tree = v.Tree();
  // Rows of the table: number, MFT entry, name, size, MD5 or N/A, note.
  static const std::regex row(
      R"(<td>\d+</td><td>([\d-]+)</td><td><tt>\\([^<]*)</tt></td><td>(\d+)</td><td>(?:<tt>)?([0-9a-f]{32}|N/A)(?:</tt>)?</td>)");
  const std::string html = test::ReadTextFile(index);
  test::TempFolder out;
  size_t items = 0;
  for (auto it = std::sregex_iterator(html.begin(), html.end(), row); it != std::sregex_iterator(); ++it) {
    ++items;
    std::string path = (*it)[2];
    for (char& c : path)
      if (c == '\\') c = '/';
    if (!path.empty() && path.back() == '/') path.pop_back();
    const int64_t record = std::stoll((*it)[1]);
    const std::string md5 = (*it)[4];
    if (path == "mult1.dat:ADS") {
      // The alternate stream is not an entry of its own: mult1.dat's record
      // extracts its unnamed stream only, never the stream's bytes.
      EXPECT_NE(v.ExtractMd5(record, out), md5);
      continue;
    }
    // sing2.dat's folder record was reused by res1.dat, a file: it is an
    // orphan, as in fls.
    if (path == "dir3/sing2.dat") path = "ORPHAN_ENTRY/sing2.dat";
    const auto found = tree.find(path);
    ASSERT_NE(found, tree.end()) << path;
    EXPECT_EQ(found->second.index, record) << path;
    EXPECT_TRUE(found->second.deleted) << path;
    if (md5 == "N/A") {
      EXPECT_TRUE(found->second.directory) << path;
    } else {
      EXPECT_EQ(v.ExtractMd5(record, out), md5) << path;
      EXPECT_EQ(v.engine->EntryDataSize(record), std::stoull((*it)[3])) << path;
    }
  }
  EXPECT_EQ(items, 11u);
}

TEST(NtfsPublic, SmallClusterImageGivesItsFilesByteForByte) {
  const std::string image = test::PublicPath("testfs1.ntfs");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  Volume v(image);
  EXPECT_EQ(v.engine->bytesPerCluster, 512u);
  const auto tree = v.Tree();
  test::TempFolder out;
  const auto bytesOf = [&](const std::string& path) {
    const auto found = tree.find(path);
    EXPECT_NE(found, tree.end()) << path;
    if (found == tree.end()) return std::vector<uint8_t>();
    v.engine->outputPath = out.path() + "/";
    EXPECT_TRUE(v.engine->ExtractEntry(std::to_wstring(found->second.index)));
    return test::ReadBinaryFile(v.engine->outputPath);
  };
  EXPECT_TRUE(bytesOf("empty-file").empty());
  EXPECT_EQ(bytesOf("file-with-12345"), (std::vector<uint8_t>{'1', '2', '3', '4', '5'}));
  std::vector<uint8_t> thousand;
  while (thousand.size() < 1000) thousand.push_back(static_cast<uint8_t>('1' + thousand.size() % 5));
  EXPECT_EQ(bytesOf("1000-bytes-file"), thousand);
  std::vector<uint8_t> sparse(500005, 0);
  std::memcpy(sparse.data(), "12345", 5);
  std::memcpy(sparse.data() + 500000, "11111", 5);
  EXPECT_TRUE(bytesOf("sparse-file") == sparse);
  // The MFT's first run ends in the middle of a record: every subfolder is
  // found all the same.
  size_t folders = 0;
  for (int k = 1; k <= 512; ++k) {
    const auto found = tree.find("many_subdirs/" + std::to_string(k));
    if (found != tree.end() && found->second.directory) ++folders;
  }
  EXPECT_EQ(folders, 512u);
}

TEST(NtfsPublic, DeepScanFindsTheRecordsUnderOrphanEntry) {
  const std::string image = test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  Volume v(image, 3);
  std::set<std::string> names;
  int64_t o = v.engine->orphanIndex;
  std::vector<int64_t> stack = {o};
  size_t steps = 0;
  while (!stack.empty() && ++steps < 10000) {
    const int64_t p = stack.back();
    stack.pop_back();
    for (int64_t c = v.at(p).firstChild; c > 0; c = v.at(c).nextSibling) {
      names.insert(Utf16ToUtf8(v.at(c).name));
      if (v.at(c).IsDirectory()) stack.push_back(c);
    }
  }
  for (const char* n : {"res1.dat", "sing1.dat", "mult1.dat", "frag1.dat", "frag2.dat", "dir1", "dir2", "frag3.dat",
                        "mult2.dat", "sing2.dat", "$MFT"})
    EXPECT_TRUE(names.count(n)) << n;
}


TEST(NtfsPublic, CandidateSearchThenTheChosenCandidateGivesTheStandardTable) {
  const std::string image = test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  Volume standard(image);
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(image));
  VolumeEntry v;
  v.fileSystem = L"NTFS";
  v.sizeText = L"5   MB";
  LatestValueSink sink;
  ntfs e(reader, v, sink);
  e.ReadBootSector();
  EXPECT_EQ(e.FindMftCandidates(1), 1u);
  EXPECT_EQ(e.checkMftName, 0);
  EXPECT_EQ(sink.Status().rfind(L"MFT ENTRY ", 0), 0u);
  EXPECT_EQ(e.mftCandidates[0].recordOffset, standard.at(0).recordOffset);
  // The advanced worker's order: empty the table, take the candidate, set
  // the chosen cluster size, read and parse.
  e.stopRequested.store(1);
  EXPECT_EQ(e.FindMftCandidates(1), 1u);  // a stop during the search is cleared
  EXPECT_EQ(e.stopRequested.load(), 0);
  e.nameStore.Clear();
  e.entries.clear();
  for (NtfsEntryRecord& c : e.mftCandidates) c.name = {};
  EXPECT_FALSE(e.UseCandidate(7));
  EXPECT_TRUE(e.UseCandidate(0));
  e.bytesPerCluster = 2 * 512;
  e.recoveryMode = 2;
  e.ReadMftByRuns();
  e.ParseEntries();
  ASSERT_EQ(e.entries.size(), standard.engine->entries.size());
  for (size_t i = 0; i < e.entries.size(); ++i) {
    EXPECT_EQ(e.entries[i].name, standard.engine->entries[i].name) << i;
    EXPECT_EQ(e.entries[i].nextSibling, standard.engine->entries[i].nextSibling) << i;
  }
}

TEST(NtfsPublic, StopBeforeTheParseStillGivesOrphanEntry) {
  const std::string image = test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not unpacked";
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(image));
  VolumeEntry v;
  LatestValueSink sink;
  ntfs e(reader, v, sink);
  e.recoveryMode = 1;
  e.ReadBootSector();
  e.LocateMft();
  e.ReadMftByRuns();
  const size_t records = e.entries.size();
  e.stopRequested.store(1);
  e.ParseEntries();
  ASSERT_EQ(e.entries.size(), records + 1);
  EXPECT_EQ(Utf16ToUtf8(e.entries.back().name), "ORPHAN_ENTRY");
  EXPECT_FALSE(e.entries[31].HasName());
}

}  // namespace
}  // namespace lv
