// lumenvault-cli ls, search and save on the committed NTFS fixtures and the
// public NTFS image, compared with what the reference reader recorded: fls
// listings, icat sizes and hashes, body-file modification times.
//
// Expected differences from fls, each for a reason:
//  - $MFT is not listed: the MFT's own record (entry 0) is never part of a
//    child chain, so it never reaches the tree;
//  - named streams ("name:stream") are not entries of their own: the tree
//    lists a file once, under its name ($Secure, which has only named
//    streams, is listed as $Secure);
//  - a file with several hard links is listed once, under the name of its
//    last file-name attribute and the folder of its first: of each group of
//    fls paths with one inode, exactly one is listed;
//  - fls's $OrphanFiles holds invented names ("OrphanFile-N") for records
//    without a name, which the tree cannot show; named entries whose folder
//    is unknown are under ORPHAN_ENTRY, and fls names realloc'd entries that
//    no longer have a record.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <set>

#include <cwctype>

#include "Md5.h"
#include "TestSupport.h"
#include "common/Text.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

struct Listed {
  std::string type, state;
  uint64_t size = 0;
  std::string path;
  std::string Key() const { return type + " " + state + " " + path; }
};

std::vector<Listed> ParseLs(const std::string& out) {
  std::vector<Listed> rows;
  for (const std::string& line : test::Lines(out)) {
    const auto f = test::SplitTabs(line);
    if (f.size() != 4) {
      ADD_FAILURE() << "malformed ls line: " << line;
      continue;
    }
    rows.push_back({f[0], f[1], std::stoull(f[2]), f[3]});
  }
  return rows;
}

// The reference reader's view of one volume.
struct Reference {
  std::map<std::string, std::string> keyOfPath;  // path → "type state path"
  std::map<std::string, std::set<std::string>> pathsOfInode;
  struct Content {
    bool live = false;
    uint64_t size = 0;
    std::string md5;
  };
  std::map<std::string, Content> icat;       // path → content
  std::map<std::string, int64_t> mtime;      // path → modification time
};

Reference LoadReference(const std::string& prefix) {
  Reference ref;
  for (const std::string& line : test::Lines(test::ReadTextFile(test::FixturePath(prefix + ".fls.txt")))) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string head = line.substr(0, tab);
    std::string path = line.substr(tab + 1);
    const bool deleted = head.find(" * ") != std::string::npos;
    const std::string inode = head.substr(head.rfind(' ') + 1);
    if (inode.find("realloc") != std::string::npos) continue;
    if (path == "$MFT" || path == "$OrphanFiles" || path.rfind("$OrphanFiles/OrphanFile-", 0) == 0) continue;
    if (path.rfind("$OrphanFiles/", 0) == 0) path = "ORPHAN_ENTRY/" + path.substr(13);
    const size_t slash = path.rfind('/');
    const size_t colon = path.find(':', slash == std::string::npos ? 0 : slash);
    if (colon != std::string::npos) path.resize(colon);
    const bool folder = head[2] == 'd';
    ref.keyOfPath.emplace(path, std::string(folder ? "d" : "f") + " " + (deleted ? "deleted" : "live") + " " + path);
    ref.pathsOfInode[inode.substr(0, inode.find('-'))].insert(path);
  }
  for (const std::string& line : test::Lines(test::ReadTextFile(test::FixturePath(prefix + ".icat.txt")))) {
    const auto f = test::SplitTabs(line);
    if (f.size() == 5 && f[4].find(':') == std::string::npos)
      ref.icat[f[4]] = {f[1] == "live", std::stoull(f[2]), f[3]};
  }
  const std::string body = test::FixturePath(prefix + ".body.txt");
  if (test::FileExists(body)) {
    for (const std::string& line : test::Lines(test::ReadTextFile(body))) {
      const auto f = [&] {
        std::vector<std::string> fields;
        size_t start = 0;
        for (size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1)
          fields.push_back(line.substr(start, bar - start));
        fields.push_back(line.substr(start));
        return fields;
      }();
      if (f.size() != 11 || f[1].find(" ($FILE_NAME)") != std::string::npos || f[1].find(':') != std::string::npos)
        continue;
      std::string path = f[1].substr(1);
      if (path.size() > 10 && path.compare(path.size() - 10, 10, " (deleted)") == 0) path.resize(path.size() - 10);
      ref.mtime[path] = std::stoll(f[8]);
    }
  }
  return ref;
}

// An independent statement of the category rule: the name's last four
// characters (three for a two-letter extension) equal an ending of the
// three lists, where '.' in an ending stands for any character.
bool IsMedia(const std::wstring& name) {
  static const std::vector<std::wstring> endings = {
      L".png", L".jpg", L".bmp", L".gif", L".tif", L".mos", L".mef", L".psp", L"djvu", L".tga", L".pgm", L".dng",
      L".psd", L"indd", L".jp2", L".pct", L".pbm", L".eps", L".nef", L".nrw", L".orf", L".arw", L".srf", L".sr2",
      L".kdc", L".dcs", L".drf", L".raf", L".x3f", L".raw", L".rw2", L".pef", L".mrw", L".crw", L".ico", L".cpt",
      L".max", L".3ds", L".dwg", L".cr2", L".agp", L".mp3", L".wav", L".rm",  L".acd", L".amr", L".at3", L".au",
      L".dss", L".iff", L".m4a", L".m4p", L".nra", L".ogg", L".ra",  L".snd", L".wma", L"aiff", L".avi", L".3gp",
      L".mp4", L".mkv", L".mov", L".wmv", L"mpeg", L".mpg", L".mpe", L"divx", L".f4v", L".m4r", L".moi", L".ogm",
      L".svi", L".tod", L".vid", L".3g2", L".asx", L".mts", L".flv", L".vob", L"jpeg", L"tiff", L"heic", L"heif",
      L"webp", L"avif", L".cr3", L".jxl", L"flac", L".aac", L"opus", L"webm", L".m4v", L"m2ts"};
  const size_t dot = name.rfind(L'.');
  std::wstring subject;
  if (dot != std::wstring::npos && name.size() >= 3 && dot == name.size() - 3) subject = name.substr(dot);
  else if (name.size() >= 4) subject = name.substr(name.size() - 4);
  else return false;
  for (const std::wstring& ending : endings) {
    if (ending.size() != subject.size()) continue;
    bool same = true;
    for (size_t i = 0; i < ending.size() && same; ++i)
      same = ending[i] == L'.' || static_cast<wchar_t>(std::towlower(static_cast<wint_t>(subject[i]))) == ending[i];
    if (same) return true;
  }
  return false;
}

std::wstring LastComponent(const std::string& path) {
  const size_t slash = path.rfind('/');
  return Utf8ToWide(slash == std::string::npos ? path : path.substr(slash + 1));
}

struct Case {
  std::string name;                    // the test's name
  std::string image;                   // fixture image
  std::string reference;               // prefix of the reference files
  std::vector<std::string> volume;     // volume options
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::vector<Case> Cases() {
  std::vector<Case> cases;
  for (const char* name : {"ntfs-basic", "ntfs-compressed", "ntfs-attrlist", "ntfs-512", "ntfs-damaged", "ntfs-recycle"})
    cases.push_back({name, std::string(name) + ".img", name, {}});
  // Disks: the NTFS row of the partition scan, by its start sector.
  cases.push_back({"mbr_mixed", "mbr-mixed.img", "mbr-mixed.p20480", {"--volume", "1"}});
  cases.push_back({"mbr_mixed_by_sector", "mbr-mixed.img", "mbr-mixed.p20480", {"--start-sector", "20480", "--fs", "NTFS"}});
  cases.push_back({"gpt_mixed", "gpt-mixed.img", "gpt-mixed.p4096", {"--volume", "0", "--gpt"}});
  return cases;
}

class CliFixture : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    image_ = test::FixturePath(GetParam().image);
    if (!test::FileExists(image_) || !test::FileExists(test::FixturePath(GetParam().reference + ".fls.txt")))
      GTEST_SKIP() << GetParam().image << " has not been built";
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

TEST_P(CliFixture, UnfilteredListingIsWhatFlsLists) {
  const auto result = Run("ls", {"--unfiltered"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "Scanning process completed.\n");
  std::set<std::string> listed;
  for (const Listed& row : ParseLs(result.out)) {
    if (row.path == "ORPHAN_ENTRY" && row.type == "d") continue;
    EXPECT_TRUE(listed.insert(row.path).second) << "listed twice: " << row.path;
    const auto expected = ref_.keyOfPath.find(row.path);
    if (expected == ref_.keyOfPath.end()) {
      ADD_FAILURE() << "not in the fls listing: " << row.Key();
      continue;
    }
    EXPECT_EQ(row.Key(), expected->second);
    const auto content = ref_.icat.find(row.path);
    if (row.type == "f" && content != ref_.icat.end()) {
      EXPECT_EQ(row.size, content->second.size) << row.path;
    }
  }
  for (const auto& [inode, paths] : ref_.pathsOfInode) {
    size_t shown = 0;
    for (const std::string& path : paths) shown += listed.count(path);
    EXPECT_EQ(shown, 1u) << "inode " << inode << ", e.g. " << *paths.begin();
  }
}

TEST_P(CliFixture, ListingShowsTheMediaFilesWithTheirFoldersOnly) {
  const auto all = ParseLs(Run("ls", {"--unfiltered"}).out);
  const auto result = Run("ls", {});
  ASSERT_EQ(result.status, 0) << result.err;
  // Expected: the media files of the unfiltered listing and the folders
  // above them, in the same order.
  std::set<std::string> keep;
  for (const Listed& row : all) {
    if (row.type != "f" || !IsMedia(LastComponent(row.path))) continue;
    for (size_t slash = 0; (slash = row.path.find('/', slash + 1)) != std::string::npos;)
      keep.insert(row.path.substr(0, slash));
    keep.insert(row.path);
  }
  std::vector<std::string> expected, listed;
  for (const Listed& row : all)
    if (keep.count(row.path)) expected.push_back(row.Key());
  for (const Listed& row : ParseLs(result.out)) listed.push_back(row.Key());
  EXPECT_EQ(listed, expected);
  EXPECT_FALSE(listed.empty());

  // One category only.
  std::vector<std::string> photos;
  for (const Listed& row : ParseLs(Run("ls", {"--categories", "photo"}).out))
    if (row.type == "f") photos.push_back(row.path);
  for (const std::string& path : photos) EXPECT_TRUE(keep.count(path)) << path;
  for (const std::string& path : photos) {
    const std::wstring name = LastComponent(path);
    EXPECT_FALSE(name.size() > 4 && (name.substr(name.size() - 4) == L".mp3" || name.substr(name.size() - 4) == L".mp4"))
        << path;
  }
}

TEST_P(CliFixture, SaveWritesEveryListedFileWithItsBytesAndTimes) {
  const auto all = ParseLs(Run("ls", {"--unfiltered"}).out);
  test::TempFolder out;
  const auto result = Run("save", {"--unfiltered", "--out", out.path()});
  ASSERT_EQ(result.status, 0) << result.err;
  std::map<std::string, uint64_t> written;
  for (const std::string& line : test::Lines(result.out)) {
    const auto f = test::SplitTabs(line);
    ASSERT_EQ(f.size(), 2u) << line;
    ASSERT_EQ(f[0].rfind(out.path() + "/", 0), 0u) << "outside the output folder: " << f[0];
    written[f[0].substr(out.path().size() + 1)] = std::stoull(f[1]);
  }
  std::map<std::string, int> seen;
  for (const Listed& row : all) ++seen[row.path];
  size_t checked = 0, timed = 0;
  // Recycled entries are saved under their former names (their own test);
  // the damaged image's references are the intact image's, whose $Boot
  // holds the boot sector that was zeroed here.
  const auto skipped = [&](const Listed& row) {
    return row.path == "$BadClus" || seen[row.path] > 1 || row.path.find("$RECYCLE.BIN/") != std::string::npos ||
           (GetParam().name == "ntfs-damaged" && row.path == "$Boot");
  };
  for (const Listed& row : all) {
    if (row.type != "f" || skipped(row)) continue;
    // The engine writes a file under its name with surrounding blanks removed.
    std::string target = row.path;
    const size_t slash = target.rfind('/');
    const std::string leaf = target.substr(slash == std::string::npos ? 0 : slash + 1);
    target = target.substr(0, slash == std::string::npos ? 0 : slash + 1) + WideToUtf8(Trim(Utf8ToWide(leaf)));
    const auto w = written.find(target);
    if (w == written.end()) {
      ADD_FAILURE() << "not written: " << target;
      continue;
    }
    const std::string bytes = test::ReadTextFile(out.path() + "/" + target);
    EXPECT_EQ(w->second, bytes.size()) << target;
    EXPECT_EQ(bytes.size(), row.size) << target;
    const auto content = ref_.icat.find(row.path);
    if (content != ref_.icat.end() && content->second.live && row.state == "live") {
      EXPECT_EQ(test::Md5Hex(bytes), content->second.md5) << target;
      ++checked;
    }
    const auto mtime = ref_.mtime.find(row.path);
    if (mtime != ref_.mtime.end()) {
      struct stat st {};
      ASSERT_EQ(::stat((out.path() + "/" + target).c_str(), &st), 0);
      EXPECT_EQ(st.st_mtim.tv_sec, mtime->second) << target;
      ++timed;
    }
  }
  EXPECT_GT(checked, 0u);
  if (!ref_.mtime.empty()) {
    EXPECT_GT(timed, 0u);
  }
  EXPECT_FALSE(test::FileExists(out.path() + "/$BadClus"));
  // Folders as in the tree.
  for (const Listed& row : all)
    if (row.type == "d" && !skipped(row)) {
      EXPECT_TRUE(fs::is_directory(out.path() + "/" + row.path)) << row.path;
    }
}

INSTANTIATE_TEST_SUITE_P(Ntfs, CliFixture, ::testing::ValuesIn(Cases()),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

TEST(CliCatalogue, RecycledFilesAreSavedUnderTheirFormerNames) {
  const std::string image = test::FixturePath("ntfs-recycle.img");
  if (!test::FileExists(image)) GTEST_SKIP() << "ntfs-recycle has not been built";
  const Reference ref = LoadReference("ntfs-recycle");
  const std::string bin = "$RECYCLE.BIN/S-1-5-21-1004336348-1177238915-682003330-1001";
  // The tree keeps the recycled names; the entries have the former ones.
  const auto listing = test::RunCli({"ls", image});
  EXPECT_NE(listing.out.find(bin + "/$RABC123.jpg"), std::string::npos);
  test::TempFolder out;
  const auto result = test::RunCli({"save", image, "--out", out.path(), bin});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(test::Md5Hex(test::ReadTextFile(out.path() + "/holiday.jpg")), ref.icat.at(bin + "/$RABC123.jpg").md5);
  EXPECT_EQ(test::Md5Hex(test::ReadTextFile(out.path() + "/birthday party.mp4")),
            ref.icat.at(bin + "/$RDEF456.mp4").md5);
  EXPECT_EQ(test::Md5Hex(test::ReadTextFile(out.path() + "/Trip/beach.jpg")),
            ref.icat.at(bin + "/$RGHI789/beach.jpg").md5);
  EXPECT_FALSE(test::FileExists(out.path() + "/$RABC123.jpg"));
  // The $I files themselves are saved as they are.
  EXPECT_TRUE(test::FileExists(out.path() + "/$IABC123.jpg"));
}

TEST(CliCatalogue, SearchPrintsTheRowsWithTheirColumns) {
  const std::string image = test::FixturePath("ntfs-basic.img");
  if (!test::FileExists(image)) GTEST_SKIP() << "ntfs-basic has not been built";
  const auto result = test::RunCli({"search", image, "--regex", "IMG_000[12]"});
  ASSERT_EQ(result.status, 0) << result.err;
  const auto lines = test::Lines(result.out);
  ASSERT_EQ(lines.size(), 2u) << result.out;
  EXPECT_EQ(test::SplitTabs(lines[0])[0], "ROOT/Photos/2019/Summer/IMG_0002.jpg");
  EXPECT_EQ(test::SplitTabs(lines[1])[0], "ROOT/Photos/2019/Summer/IMG_0001.JPG");
  for (const std::string& line : lines) {
    const auto f = test::SplitTabs(line);
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[4].find(" KB"), f[4].size() - 3) << f[4];
    EXPECT_NE(f[1].find("  "), std::string::npos);
  }
  EXPECT_NE(result.err.find("Searching Finished"), std::string::npos);
  // Not below a folder, holiday.jpg.txt fails the categories.
  EXPECT_EQ(test::RunCli({"search", image, "--regex", "holiday\\.jpg"}).out.find("holiday.jpg.txt"), std::string::npos);
  const auto refused = test::RunCli({"search", image, "--regex", "*.jpg"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("such characters are not allowed for search.Try again with different pattern."),
            std::string::npos);
}

TEST(CliCatalogue, PublicUndeleteImageGivesTheDeletedFilesBack) {
  const std::string image = test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not available";
  const auto listing = ParseLs(test::RunCli({"ls", image, "--unfiltered"}).out);
  std::set<std::string> keys;
  for (const Listed& row : listing) keys.insert(row.Key());
  for (const char* key : {"f deleted res1.dat", "f deleted sing1.dat", "f deleted mult1.dat", "f deleted frag1.dat",
                          "f deleted frag2.dat", "d deleted dir1", "d deleted dir1/dir2", "f deleted dir1/mult2.dat",
                          "f deleted dir1/dir2/frag3.dat", "f deleted ORPHAN_ENTRY/sing2.dat"})
    EXPECT_TRUE(keys.count(key)) << key;
  // The index page's hashes (the parent of sing2.dat was reused, so it is
  // under ORPHAN_ENTRY).
  test::TempFolder out;
  ASSERT_EQ(test::RunCli({"save", image, "--unfiltered", "--out", out.path()}).status, 0);
  const std::map<std::string, std::string> md5 = {{"res1.dat", "9036637712b491904cd0bfbdbe648453"},
                                                  {"sing1.dat", "59b20779f69ff9f0ac5fcd2c38835a79"},
                                                  {"mult1.dat", "ffd27bd782bdce67750b6b9ee069d2ef"},
                                                  {"frag1.dat", "7a3bc5b763bef201202108f4ba128149"},
                                                  {"frag2.dat", "0e80ab84ef0087e60dfc67b88a1cf13e"},
                                                  {"dir1/mult2.dat", "59cf0e9cd107bc1e75afb7374f6e05bb"},
                                                  {"dir1/dir2/frag3.dat", "21121699487f3fbbdb9a4b3391b6d3e0"},
                                                  {"ORPHAN_ENTRY/sing2.dat", "c229626f6a71b167ad7e50c4f2fccdb1"}};
  for (const auto& [path, hash] : md5) EXPECT_EQ(test::Md5Hex(test::ReadTextFile(out.path() + "/" + path)), hash) << path;
}

TEST(CliCatalogue, UsageErrorsAndRefusals) {
  const std::string image = test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd");
  EXPECT_EQ(test::RunCli({"ls"}).status, 2);
  EXPECT_EQ(test::RunCli({"ls", "a", "b"}).status, 2);
  EXPECT_EQ(test::RunCli({"ls", image, "--mode", "fast"}).status, 2);
  EXPECT_EQ(test::RunCli({"ls", image, "--mode", "advanced", "--max", "1"}).status, 2);
  EXPECT_EQ(test::RunCli({"ls", image, "--candidate", "0"}).status, 2);
  EXPECT_EQ(test::RunCli({"ls", image, "--categories", "photo,text"}).status, 2);
  EXPECT_EQ(test::RunCli({"ls", image, "--volume", "0", "--fs", "NTFS"}).status, 2);
  EXPECT_EQ(test::RunCli({"ls", image, "--start-sector", "0"}).status, 2);
  EXPECT_EQ(test::RunCli({"search", image}).status, 2);
  EXPECT_EQ(test::RunCli({"save", image}).status, 2);
  const auto missing = test::RunCli({"ls", "/nonexistent/image"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_FALSE(missing.err.empty());
  if (!test::FileExists(image)) return;
  // Kinds the dispatch refuses, and a volume the engine's checks refuse.
  const auto unknown = test::RunCli({"ls", image, "--start-sector", "0", "--fs", "Unknown"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "Not a valid drive.\n");
  // No HFS+ volume header at byte 1024 nor 1024 bytes before the end.
  const auto hfs = test::RunCli({"ls", image, "--start-sector", "0", "--fs", "HFS+"});
  EXPECT_EQ(hfs.status, 1);
  EXPECT_EQ(hfs.out, "");
  const auto fat32 = test::RunCli({"ls", image, "--start-sector", "0", "--fs", "FAT32"});
  EXPECT_EQ(fat32.status, 1);
  EXPECT_EQ(fat32.err, "Selected Drive is not in Fat32 Format\n");
  const auto deepExt = test::RunCli({"ls", image, "--start-sector", "0", "--fs", "extX", "--mode", "deep"});
  EXPECT_EQ(deepExt.status, 1);
  EXPECT_EQ(deepExt.err, "Deep mode is not available for ext volumes.\n");
  EXPECT_EQ(test::RunCli({"ls", image, "--start-sector", "999999999", "--fs", "NTFS"}).status, 1);
  // A volume image is its own row 0 of `partitions`; there is no row 1.
  EXPECT_EQ(test::RunCli({"ls", image, "--volume", "0"}).status, 0);
  EXPECT_EQ(test::RunCli({"ls", image, "--volume", "1"}).status, 1);
  EXPECT_EQ(test::RunCli({"ls", image, "--mode", "advanced", "--max", "1", "--candidate", "3", "--spc", "2"}).status, 1);
  test::TempFolder out;
  const auto noItem = test::RunCli({"save", image, "--out", out.path(), "no/such/folder"});
  EXPECT_EQ(noItem.status, 1);
  EXPECT_TRUE(fs::is_empty(out.path()));
  // A refused save makes no output folder; a refused pattern stops before the scan.
  EXPECT_EQ(test::RunCli({"save", image, "--out", out.path() + "/new", "no/such/folder"}).status, 1);
  EXPECT_FALSE(fs::exists(out.path() + "/new"));
  const auto badPattern = test::RunCli({"search", image, "--regex", "*.jpg"});
  EXPECT_EQ(badPattern.status, 1);
  EXPECT_EQ(badPattern.err.find("Scanning process completed."), std::string::npos) << badPattern.err;
  // A folder path saves what is below it; a file path saves that file.
  const auto some = test::RunCli({"save", image, "--unfiltered", "--out", out.path(), "dir1", "res1.dat"});
  ASSERT_EQ(some.status, 0) << some.err;
  EXPECT_TRUE(test::FileExists(out.path() + "/dir2/frag3.dat"));
  EXPECT_TRUE(test::FileExists(out.path() + "/mult2.dat"));
  EXPECT_TRUE(test::FileExists(out.path() + "/res1.dat"));
  EXPECT_EQ(test::Lines(some.out).size(), 3u);
}

TEST(CliCatalogue, WhatANewUserIsTold) {
  // A partitioned disk without a volume option: its volumes and the options
  // that choose them, for MBR and GPT.
  const auto mbr = test::RunCli({"ls", test::FixturePath("mbr-mixed.img")});
  EXPECT_EQ(mbr.status, 1);
  EXPECT_NE(mbr.err.find("is a partitioned disk (MBR)"), std::string::npos) << mbr.err;
  EXPECT_NE(mbr.err.find("  --volume 1\tNTFS\t12   MB\tstart sector 20480\n"), std::string::npos) << mbr.err;
  const auto gpt = test::RunCli({"save", test::FixturePath("gpt-mixed.img"), "--out", "/nonexistent/out"});
  EXPECT_EQ(gpt.status, 1);
  EXPECT_NE(gpt.err.find("  --volume 1 --gpt\tFAT32"), std::string::npos) << gpt.err;
  // A source that cannot be opened: which path, and why.
  const auto folder = test::RunCli({"partitions", "/tmp"});
  EXPECT_EQ(folder.status, 1);
  EXPECT_EQ(folder.err, "Invalid handle ...\nlumenvault-cli: cannot open /tmp: Is a directory\n");
  // Every command has its page; the page of a command is not a usage error.
  for (const char* command : {"partitions", "ls", "search", "save", "candidates"}) {
    const auto help = test::RunCli({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("usage: lumenvault-cli ") + command + " ", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("Exit status"), std::string::npos) << command;
  }
  EXPECT_NE(test::RunCli({"--help"}).out.find("%XX"), std::string::npos);
  // The page's question before a folder save is answered, not printed.
  test::TempFolder out;
  const auto save = test::RunCli({"save", test::FixturePath("ntfs-basic.img"), "--out", out.path()});
  EXPECT_EQ(save.status, 0);
  EXPECT_EQ(save.err.find("want to continue"), std::string::npos) << save.err;
}

TEST(CliCatalogue, ModesAgreeOnTheUndeleteImage) {
  const std::string image = test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd");
  if (!test::FileExists(image)) GTEST_SKIP() << "public images not available";
  const auto standard = test::RunCli({"ls", image, "--unfiltered"});
  const auto advanced =
      test::RunCli({"ls", image, "--unfiltered", "--mode", "advanced", "--max", "1", "--candidate", "0", "--spc", "2"});
  ASSERT_EQ(advanced.status, 0) << advanced.err;
  EXPECT_EQ(advanced.out, standard.out);
  // The advanced-input page's instruction is no text of the command line.
  EXPECT_EQ(advanced.err.find("click Next button"), std::string::npos) << advanced.err;
  const auto deep = ParseLs(test::RunCli({"ls", image, "--unfiltered", "--mode", "deep"}).out);
  ASSERT_FALSE(deep.empty());
  EXPECT_EQ(deep[0].path, "ORPHAN_ENTRY");
  for (const Listed& row : deep) EXPECT_EQ(row.path.rfind("ORPHAN_ENTRY", 0), 0u) << row.path;
}

// The boot sector's MFT and MFT mirror, as byte positions from the volume's start.
std::pair<uint64_t, uint64_t> MftAndMirror(const std::vector<uint8_t>& boot) {
  const auto le = [&](size_t at, size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint64_t{boot.at(at + i)} << (8 * i);
    return v;
  };
  const uint64_t cluster = le(0x0B, 2) * le(0x0D, 1);
  return {le(0x30, 8) * cluster, le(0x38, 8) * cluster};
}

std::vector<std::string> Rows(const std::string& out, const std::string& kind) {
  std::vector<std::string> rows;
  for (const std::string& line : test::Lines(out))
    if (line.rfind(kind + "\t", 0) == 0) rows.push_back(line.substr(kind.size() + 1));
  return rows;
}

TEST(CliCandidates, ListEveryMftButTheMirrorsAndTheAdvancedModeReadsOne) {
  const std::string damaged = test::FixturePath("ntfs-damaged.img");
  const std::string reformatted = test::FixturePath("ntfs-reformatted.img");
  if (!test::FileExists(damaged) || !test::FileExists(reformatted)) GTEST_SKIP() << "fixtures not committed";
  // The damaged image lost its boot sector; the backup in its last sector
  // names the MFT and the mirror.
  const std::vector<uint8_t> image = test::ReadBinaryFile(damaged);
  const auto [mft, mirror] = MftAndMirror(std::vector<uint8_t>(image.end() - 512, image.end()));
  const auto listed = test::RunCli({"candidates", damaged, "--max", "5"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(Rows(listed.out, "candidate"), std::vector<std::string>{"MFT_ENTRY:0\t" + std::to_string(mft)});
  EXPECT_NE(mft, mirror);
  EXPECT_EQ(Rows(listed.out, "spc"), (std::vector<std::string>{"8\tpreselected", "4", "2", "16", "32", "64"}));
  EXPECT_EQ(listed.err.find("combo box"), std::string::npos) << listed.err;
  EXPECT_NE(listed.err.find("Read one with: lumenvault-cli ls " + damaged + " --mode advanced --max 5 --candidate I"),
            std::string::npos)
      << listed.err;
  // That candidate read in advanced mode gives the table the standard mode
  // finds by its scan.
  const auto advanced = test::RunCli(
      {"ls", damaged, "--unfiltered", "--mode", "advanced", "--max", "5", "--candidate", "0", "--spc", "8"});
  ASSERT_EQ(advanced.status, 0) << advanced.err;
  EXPECT_NE(advanced.out.find("\tPhotos/2019/Summer/IMG_0001.JPG\n"), std::string::npos);
  EXPECT_EQ(advanced.out, test::RunCli({"ls", damaged, "--unfiltered"}).out);
  const auto refused =
      test::RunCli({"ls", damaged, "--mode", "advanced", "--max", "1", "--candidate", "0", "--spc", "3"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("--spc 3 is not offered for this volume; choose one of 8, 4, 2, 16, 32, 64"),
            std::string::npos)
      << refused.err;

  // A volume made over an earlier one: both MFTs, in volume order, and
  // neither of their mirrors (the script recorded where all four lie).
  std::map<std::string, uint64_t> at;
  for (const std::string& line : test::Lines(test::ReadTextFile(test::FixturePath("ntfs-reformatted.mft.txt")))) {
    const auto f = test::SplitTabs(line);
    if (f.size() == 3) at[f[0] + " " + f[1]] = std::stoull(f[2]);
  }
  ASSERT_EQ(at.size(), 4u);
  const auto both = test::RunCli({"candidates", reformatted, "--max", "5"});
  ASSERT_EQ(both.status, 0) << both.err;
  EXPECT_EQ(Rows(both.out, "candidate"),
            (std::vector<std::string>{"MFT_ENTRY:0\t" + std::to_string(at["current mft"]),
                                      "MFT_ENTRY:1\t" + std::to_string(at["earlier mft"])}));
}

}  // namespace
}  // namespace lv
