// The raw recovery page's logic over the in-memory views: Parse and its
// refusals, the results tree, the list of a node, preview and save copies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "TestSupport.h"
#include "catalogue/MemoryViews.h"
#include "catalogue/RawRecovery.h"
#include "platform/MessageBox.h"
#include "raw/SettingsFile.h"

namespace lv {
namespace {

constexpr int64_t MiB = 1 << 20;

std::string SettingsWith(const test::TempFolder& folder, const std::vector<SignatureRecord>& records) {
  const std::string path = folder.path() + "/rules.txt";
  std::ofstream out(path, std::ios::binary);
  for (size_t i = 0; i < records.size(); ++i) {
    SignatureRecord r = records[i];
    r.recordIndex = static_cast<uint8_t>(i);
    const RecordBytes bytes = EncodeRecord(r);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  return path;
}

SignatureRecord Rec(std::u16string ext, std::u16string category, uint8_t b0, uint8_t b1, int64_t approx) {
  SignatureRecord r;
  r.extension = ext;
  r.category = category;
  r.startSignature = {b0, b1};
  r.startLength = 2;
  r.approxSize = approx;
  return r;
}

struct Page {
  explicit Page(std::vector<uint8_t> image) : reader(std::move(image)), page(reader, tree, list, sink) {}
  MemoryReader reader;
  MemoryResultTree tree;
  MemoryFileList list;
  LatestValueSink sink;
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  RawRecovery page;
};

TEST(RawRecovery, TreeListAndCopies) {
  test::TempFolder folder;
  std::vector<uint8_t> image(3 * MiB);
  // Sector starts of the filler are 0 and its second bytes 7: no signature.
  for (size_t i = 0; i < 2097664; ++i) image[i] = static_cast<uint8_t>(i * 7);
  image[0] = 0xA1, image[1] = 0xA2;
  image[MiB] = 0xA1, image[MiB + 1] = 0xA2;
  image[2 * MiB + 512] = 0xB1, image[2 * MiB + 513] = 0xB2;
  Page p(image);
  // With the page's first settings the default file is loaded twice.
  p.page.defaultSettingsPath = SettingsWith(folder, {Rec(u"jpg", u"Photo", 0xA1, 0xA2, 2097200),
                                                      Rec(u"wav", u"Audio", 0xB1, 0xB2, 100)});
  p.page.settingsPath = p.page.defaultSettingsPath;
  ASSERT_TRUE(p.page.Parse(VolumeEntry{L"RAW", L"", L"", L"3   MB", 0}));
  p.page.Wait();
  EXPECT_EQ(p.page.Engine()->rules.size(), 4u);
  EXPECT_EQ(p.page.Engine()->items.size(), 3u);  // the second copy never matches
  EXPECT_EQ(p.sink.Status(), L"Scanning processing done.Select save button to save the data");

  const TreeItem root = p.tree.FirstChild(kNoTreeItem);
  EXPECT_EQ(p.tree.Text(root), L"RAW RECOVERY ");
  const TreeItem photo = p.tree.FirstChild(root);
  const TreeItem audio = p.tree.NextSibling(photo);
  EXPECT_EQ(p.tree.Text(photo), L"Photo (2)");
  EXPECT_EQ(p.tree.Text(audio), L"Audio (1)");
  p.page.TreeLabelClick(photo);
  ASSERT_EQ(p.list.RowCount(), 2u);
  EXPECT_EQ(p.list.Text(0, 0), L"0 .jpg");
  EXPECT_EQ(p.list.Text(1, 0), L"1048576 .jpg");
  p.page.TreeLabelClick(root);
  EXPECT_EQ(p.list.RowCount(), 0u);

  // An item of 2,097,200 bytes: two whole MiB and 48 bytes rounded up.
  p.page.TreeLabelClick(photo);
  const std::string copy = p.page.RowClick(0);
  ASSERT_FALSE(copy.empty());
  const std::vector<uint8_t> copied = test::ReadBinaryFile(copy);
  ASSERT_EQ(copied.size(), 2097664u);
  EXPECT_TRUE(std::equal(copied.begin(), copied.end(), image.begin()));
  EXPECT_EQ(p.sink.Status(), L"Saving File: 0 .jpg");
  std::filesystem::remove(copy);

  // Nothing checked, then the audio node checked.
  EXPECT_EQ(p.page.Save(folder.path()), -1);
  EXPECT_EQ(p.box.Texts().back(), L"Please select folder to continue the saving process.");
  p.tree.SetChecked(audio, true);
  EXPECT_EQ(p.page.Save(folder.path()), 1);
  EXPECT_EQ(test::ReadBinaryFile(folder.path() + "/2097664 .wav").size(), 512u);
}

TEST(RawRecovery, ParseRefusals) {
  test::TempFolder folder;
  struct Case {
    const char* what;
    bool loadDefault;
    std::string box;
    std::wstring sizeText;
    std::wstring message;
  };
  const std::string rules = SettingsWith(folder, {Rec(u"jpg", u"Photo", 1, 2, 10)});
  const Case cases[] = {
      {"no rule source", false, "", L"5   MB", L"Enter the info file first.."},
      {"a refused settings file", false, folder.path() + "/missing.txt", L"5   MB", L"Cannot open the selected file"},
      {"a size of 0 MiB", false, rules, L"0   MB", L"zero size volume.."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Page p{std::vector<uint8_t>(MiB)};
    p.page.loadDefault = c.loadDefault;
    p.page.settingsPath = c.box;
    EXPECT_FALSE(p.page.Parse(VolumeEntry{L"RAW", L"", L"", c.sizeText, 0}));
    EXPECT_EQ(p.box.Texts(), std::vector<std::wstring>{c.message});
    EXPECT_EQ(p.sink.Status(), L"Scanning processing done.Select save button to save the data.");
    EXPECT_FALSE(p.page.Running());
  }
}

}  // namespace
}  // namespace lv
