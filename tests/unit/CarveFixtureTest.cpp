// Carving real files: the public camera-card dump, the carving fixture
// (compared with what was placed, and with photorec on the same image) and
// the FAT32 volume whose tables were wiped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "Md5.h"
#include "TestSupport.h"
#include "catalogue/MemoryViews.h"
#include "catalogue/RawRecovery.h"
#include "common/Text.h"
#include "platform/MessageBox.h"
#include "raw/SettingsFile.h"

namespace lv {
namespace {

namespace fs = std::filesystem;

struct Placed {
  std::string name, ext, md5, kind;
  int64_t offset = 0, length = 0;
};

std::vector<Placed> ReadPlaced(const std::string& path) {
  std::vector<Placed> rows;
  for (const std::string& line : test::Lines(test::ReadTextFile(path))) {
    if (line.empty() || line[0] == '#') continue;
    const auto cells = test::SplitTabs(line);
    Placed p;
    p.name = cells.at(0);
    p.ext = p.name.substr(p.name.rfind('.') + 1);
    for (char& c : p.ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.offset = std::stoll(cells.at(1));
    p.length = std::stoll(cells.at(2));
    p.md5 = cells.at(3);
    p.kind = cells.at(4);
    rows.push_back(p);
  }
  return rows;
}

struct Line {
  std::string category, label;
  int64_t start = 0, size = 0;
};

std::map<int64_t, Line> CarveLines(const std::string& out) {
  std::map<int64_t, Line> lines;
  for (const std::string& text : test::Lines(out)) {
    const auto cells = test::SplitTabs(text);
    EXPECT_EQ(cells.size(), 4u) << text;
    if (cells.size() != 4) continue;
    Line line{cells[0], cells[1], std::stoll(cells[2]), std::stoll(cells[3])};
    lines[line.start] = line;
  }
  return lines;
}

// The first `length` bytes of a file, or less when it is shorter.
std::string Md5OfPrefix(const std::string& path, int64_t length) {
  std::vector<uint8_t> bytes = test::ReadBinaryFile(path);
  if (static_cast<int64_t>(bytes.size()) < length) return "short";
  bytes.resize(static_cast<size_t>(length));
  return test::Md5Hex(bytes);
}

// How the default rules cut each kind: at the end signature (one byte past
// it, as every end find counts), at the header's size, or at the
// approximate size.
enum class Cut { End, SizeField, Approx };
Cut CutOf(const std::string& ext) {
  if (ext == "jpg" || ext == "png") return Cut::End;
  if (ext == "bmp" || ext == "webp" || ext == "wav" || ext == "avi") return Cut::SizeField;
  return Cut::Approx;
}
// The label's extension: WMA shares the ASF header with WMV.
std::string LabelExt(const std::string& ext) { return ext == "wma" ? "wmv" : ext; }

int64_t ApproxOf(const std::string& ext) {
  std::vector<CarveRule> rules;
  EXPECT_TRUE(LoadSettingsFile(LV_FILE_SETTING, SettingsKind::Default, rules));
  for (const CarveRule& rule : rules)
    if (WideToUtf8(rule.extension) == LabelExt(ext)) return rule.approxSize;
  ADD_FAILURE() << "no rule for " << ext;
  return 0;
}

TEST(CarveFixture, CameraCardGivesFiftyWholeJpegs) {
  const std::string card = test::PublicPath("cs50-card.raw");
  const std::vector<uint8_t> image = test::ReadBinaryFile(card);
  ASSERT_EQ(image.size(), 1388032u);
  test::TempFolder out;
  const auto result = test::RunCli({"carve", card, "--out", out.path()});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::map<int64_t, Line> lines = CarveLines(result.out);
  std::vector<int64_t> starts;
  for (size_t i = 0; i + 3 < image.size(); i += 512)
    if (image[i] == 0xFF && image[i + 1] == 0xD8 && image[i + 2] == 0xFF) starts.push_back(static_cast<int64_t>(i));
  ASSERT_EQ(starts.size(), 50u);
  EXPECT_EQ(starts.front(), 1024);
  EXPECT_EQ(lines.size(), 50u);
  for (const int64_t start : starts) {
    SCOPED_TRACE(start);
    ASSERT_TRUE(lines.count(start));
    EXPECT_EQ(lines.at(start).category, "Photo");
    EXPECT_EQ(lines.at(start).label, std::to_string(start) + " .jpg");
    // The image runs to its first FF D9.
    size_t end = static_cast<size_t>(start) + 2;
    while (end + 1 < image.size() && !(image[end] == 0xFF && image[end + 1] == 0xD9)) ++end;
    const std::vector<uint8_t> copy = test::ReadBinaryFile(out.path() + "/" + std::to_string(start) + " .jpg");
    ASSERT_GE(copy.size(), end + 2 - static_cast<size_t>(start));
    EXPECT_TRUE(std::equal(image.begin() + start, image.begin() + static_cast<int64_t>(end) + 2, copy.begin()));
    EXPECT_EQ(lines.at(start).size, static_cast<int64_t>(end) + 2 - start + 1);
  }
}

// Files found whole by photorec, by type: a recovered file named by its
// first sector that begins with the bytes placed there.
std::map<std::string, int> PhotorecWhole(const std::string& image, const std::vector<Placed>& placed) {
  test::TempFolder out;
  const std::string command = "photorec /d '" + out.path() + "/recup' /cmd '" + image +
                              "' partition_none,fileopt,everything,enable,search >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::map<std::string, int> whole;
  for (const auto& entry : fs::recursive_directory_iterator(out.path())) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.size() < 9 || name[0] != 'f') continue;
    const int64_t offset = std::stoll(name.substr(1, 7)) * 512;
    for (const Placed& p : placed)
      if (p.kind == "whole" && p.offset == offset && Md5OfPrefix(entry.path().string(), p.length) == p.md5)
        ++whole[p.ext];
  }
  return whole;
}

TEST(CarveFixture, EveryPlacedFileFoundAndCutAsPlacedAndNoFewerThanPhotorec) {
  ASSERT_TRUE(test::FileExists("/usr/bin/photorec")) << "photorec (Debian testdisk) is needed";
  const std::string path = test::FixturePath("carve-raw.img");
  const std::vector<Placed> placed = ReadPlaced(test::FixturePath("carve-raw.placed.txt"));
  ASSERT_GE(placed.size(), 25u);
  const int64_t range = static_cast<int64_t>(fs::file_size(path));
  ASSERT_GE(range, 64 << 20);

  // The listing of the command line.
  const auto listed = test::RunCli({"carve", path});
  ASSERT_EQ(listed.status, 0) << listed.err;
  const std::map<int64_t, Line> lines = CarveLines(listed.out);

  // The same run in process, saving the items that have an exact cut.
  RecordingMessageBox box;
  ScopedMessages scope(&box);
  FileReadSeek reader;
  ASSERT_TRUE(reader.OpenUtf8(path));
  MemoryResultTree tree;
  MemoryFileList list;
  LatestValueSink sink;
  RawRecovery page(reader, tree, list, sink);
  page.defaultSettingsPath = LV_FILE_SETTING;
  page.settingsPath.clear();
  ASSERT_TRUE(page.ParseRange(0, static_cast<uint64_t>(range)));
  page.Wait();
  const myJpg& engine = *page.Engine();
  ASSERT_EQ(engine.items.size(), lines.size());
  std::map<int64_t, size_t> byStart;
  for (size_t i = 0; i < engine.items.size(); ++i) {
    byStart[engine.items[i].startOffset] = i;
    if (CutOf(WideToUtf8(engine.rules[static_cast<size_t>(engine.items[i].ruleNumber)].extension)) != Cut::Approx)
      tree.SetChecked(page.ItemNode(i), true);
  }
  test::TempFolder out;
  ASSERT_GT(page.Save(out.path()), 0);

  std::map<std::string, int> ours;
  for (const Placed& p : placed) {
    SCOPED_TRACE(p.name + " at " + std::to_string(p.offset));
    if (p.kind == "fragment 1") {
      // The split JPEG's second piece has no header: nothing starts there.
      EXPECT_FALSE(lines.count(p.offset));
      continue;
    }
    ASSERT_TRUE(lines.count(p.offset)) << "not found";
    const Line& line = lines.at(p.offset);
    EXPECT_EQ(line.label, std::to_string(p.offset) + " ." + LabelExt(p.ext));
    if (p.kind != "whole") continue;  // the split JPEG's first piece: its start is found
    switch (CutOf(p.ext)) {
      case Cut::End: EXPECT_EQ(line.size, p.length + 1); break;
      case Cut::SizeField: EXPECT_EQ(line.size, p.length); break;
      case Cut::Approx: EXPECT_EQ(line.size, std::min(ApproxOf(p.ext), range - p.offset)); break;
    }
    bool whole = line.size >= p.length;
    if (CutOf(p.ext) != Cut::Approx) {
      EXPECT_EQ(Md5OfPrefix(out.path() + "/" + line.label, p.length), p.md5);
      whole = whole && Md5OfPrefix(out.path() + "/" + line.label, p.length) == p.md5;
    }
    if (whole) ++ours[p.ext];
  }

  const std::map<std::string, int> photorec = PhotorecWhole(path, placed);
  EXPECT_GE(photorec.size(), 15u);  // photorec did run and find files
  for (const auto& [ext, count] : photorec) {
    SCOPED_TRACE(ext);
    EXPECT_GE(ours[ext], count);
  }
}

TEST(CarveFixture, WipedFat32VolumeGivesItsFilesBack) {
  const std::string path = test::FixturePath("carve-fat32.img");
  const std::vector<Placed> placed = ReadPlaced(test::FixturePath("carve-fat32.placed.txt"));
  ASSERT_GE(placed.size(), 6u);
  test::TempFolder out;
  const auto result = test::RunCli({"carve", path, "--out", out.path(), "--min-size", "1"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::map<int64_t, Line> lines = CarveLines(result.out);
  for (const Placed& p : placed) {
    SCOPED_TRACE(p.name);
    ASSERT_EQ(p.kind, "whole");
    ASSERT_TRUE(lines.count(p.offset));
    const Line& line = lines.at(p.offset);
    EXPECT_EQ(line.size, CutOf(p.ext) == Cut::End ? p.length + 1 : p.length);
    EXPECT_EQ(Md5OfPrefix(out.path() + "/" + line.label, p.length), p.md5);
  }
  // --min-size leaves out the smaller items and nothing else.
  const auto larger = test::RunCli({"carve", path, "--min-size", "20000"});
  ASSERT_EQ(larger.status, 0) << larger.err;
  std::map<int64_t, Line> expected;
  for (const auto& [start, line] : lines)
    if (line.size >= 20000) expected[start] = line;
  const std::map<int64_t, Line> shown = CarveLines(larger.out);
  EXPECT_EQ(shown.size(), expected.size());
  for (const auto& [start, line] : expected) EXPECT_TRUE(shown.count(start)) << start;
  EXPECT_LT(expected.size(), lines.size());
}

}  // namespace
}  // namespace lv
