// HFSP and its adapter on the hfsplus fixture held in memory, with hostile
// fields laid over it, and on a small volume built here: the list texts,
// the grouping of the scan modes, the first of two records with one CNID,
// and partial results (never a crash, a hang or an unbounded allocation)
// for headers, node sizes, node links, record offsets, key lengths and
// extents no real volume has.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <tuple>

#include "TestSupport.h"
#include "common/ByteView.h"
#include "disk/Reader.h"
#include "hfsplus/HfsAdapter.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

class NoSteps final : public ScanSteps {
 public:
  void CreateRootItem(bool) override {}
  void FillTree() override {}
  void RestoreRecycledNames() override {}
  void FilterTree() override {}
};

void Put16(uint8_t* at, uint16_t v) { at[0] = static_cast<uint8_t>(v >> 8), at[1] = static_cast<uint8_t>(v); }
void Put32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

// The fixture's bytes and where its structures lie.
struct Volume {
  std::vector<uint8_t> bytes;
  uint32_t block = 0, node = 0;
  size_t catalog = 0, extents = 0;

  Volume() {
    const std::string path = test::FixturePath("hfsplus.img");
    if (!test::FileExists(path)) return;
    bytes = test::ReadBinaryFile(path);
    const ByteView h(bytes.data() + 1024, 512);
    block = h.Be32(40);
    catalog = size_t{h.Be32(288)} * block;
    extents = size_t{h.Be32(208)} * block;
    node = ByteView(bytes.data() + catalog, 512).Be16(32);
  }
  bool Loaded() const { return block != 0; }
  uint8_t* Header() { return bytes.data() + 1024; }
  uint8_t* Alternate() { return bytes.data() + bytes.size() - 1024; }
  uint8_t* CatalogNode(uint32_t n) { return bytes.data() + catalog + size_t{n} * node; }
  uint32_t RootNode() { return ByteView(CatalogNode(0), 512).Be32(16); }
};

struct Scan {
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  MemoryReader reader;
  LatestValueSink sink;
  std::unique_ptr<HfsAdapter> adapter;
  WorkerEnd end;

  Scan(std::vector<uint8_t> bytes, int32_t mode) : reader(std::move(bytes)) {
    VolumeEntry volume;
    volume.fileSystem = L"HFS+";
    adapter = std::make_unique<HfsAdapter>(EngineSetup{reader, volume, sink, nullptr});
    NoSteps steps;
    end = adapter->RunWorker(mode, AdvancedChoices{}, steps);
  }
  const HFSP& Engine() { return adapter->GetEngine(); }
  // Entries reachable from the top level.
  size_t Reachable() {
    size_t count = 0;
    std::vector<EntryIndex> stack = adapter->TopLevel();
    while (!stack.empty() && count <= adapter->Size()) {
      const EntryIndex e = stack.back();
      stack.pop_back();
      ++count;
      for (EntryIndex c = adapter->FirstChild(e); c != kNoEntry; c = adapter->NextSibling(c)) stack.push_back(c);
    }
    return count;
  }
  int32_t Named(std::u16string_view name) {
    for (size_t i = 0; i < Engine().entries.size(); ++i)
      if (Engine().entries[i].name == name) return static_cast<int32_t>(i);
    return -1;
  }
};

TEST(HfsEngine, PermissionSizeAndTimeTexts) {
  EXPECT_EQ(HFSP::PermissionText(0x1A4), L"-Owner:W-Owner:R-OR-GR");
  EXPECT_EQ(HFSP::PermissionText(0x81FF), L"-Owner:X-Owner:W-Owner:R-OX-OW-OR-GX-GW-GR");
  Volume v;
  if (!v.Loaded()) GTEST_SKIP();
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "XXX-1", 1);
  ::tzset();
  Scan scan(v.bytes, 1);
  const int32_t photo = scan.Named(u"IMG_0010.JPG");
  ASSERT_GE(photo, 0);
  auto& e = const_cast<HfsEntryRecord&>(scan.Engine().entries[static_cast<size_t>(photo)]);
  EXPECT_EQ(scan.adapter->Texts(photo).attributes, L"-Owner:W-Owner:R-OR-GR");  // 0100644
  e.logicalSize = 1536;
  // 1970-01-01 00:00, 11:30 and 12:05 UTC, seconds since 1904.
  constexpr uint32_t kShift = 2082844800;
  e.createDate = kShift;
  e.accessDate = kShift + 11 * 3600 + 30 * 60;
  e.contentModDate = kShift + 12 * 3600 + 5 * 60;
  const EntryTexts texts = scan.adapter->Texts(photo);
  EXPECT_EQ(texts.size, L"1.50 KB");
  EXPECT_EQ(texts.creation, L"01/01/1970  01:00 AM");
  EXPECT_EQ(texts.access, L"01/01/1970  12:30 AM");
  EXPECT_EQ(texts.modification, L"01/01/1970  01:05 PM");
  // A folder's texts stay empty.
  const EntryTexts folder = scan.adapter->Texts(scan.Named(u"DCIM"));
  EXPECT_TRUE(folder.creation.empty() && folder.size.empty() && folder.attributes.empty());
  if (old) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

// A volume of 16 blocks of 4096 bytes with one catalog leaf node at block 4
// and no catalog file in its header: only the scan can find the node.
std::vector<uint8_t> LeafVolume(const std::vector<std::tuple<uint16_t, uint32_t, uint32_t, std::u16string>>& records) {
  std::vector<uint8_t> bytes(16 * 4096, 0);
  uint8_t* h = bytes.data() + 1024;
  h[0] = 'H', h[1] = '+';
  Put16(h + 2, 4);
  Put32(h + 40, 4096);
  Put32(h + 44, 16);
  uint8_t* node = bytes.data() + 4 * 4096;
  node[8] = 0xFF;  // leaf
  node[9] = 1;
  Put16(node + 10, static_cast<uint16_t>(records.size()));
  size_t at = 14;
  for (size_t i = 0; i < records.size(); ++i) {
    const auto& [kind, parent, cnid, name] = records[i];
    Put16(node + 4096 - 2 - 2 * i, static_cast<uint16_t>(at));
    Put16(node + at, static_cast<uint16_t>(6 + 2 * name.size()));
    Put32(node + at + 2, parent);
    Put16(node + at + 6, static_cast<uint16_t>(name.size()));
    for (size_t c = 0; c < name.size(); ++c) Put16(node + at + 8 + 2 * c, name[c]);
    uint8_t* rec = node + at + 8 + 2 * name.size();
    Put16(rec, kind);
    Put32(rec + 8, cnid);
    at += 8 + 2 * name.size() + (kind == 1 ? 88 : 248);
  }
  Put16(node + 4096 - 2 - 2 * records.size(), static_cast<uint16_t>(at));
  return bytes;
}

TEST(HfsEngine, ScanModesGroupByCnidAndKeepTheFirstRecord) {
  const auto bytes = LeafVolume({{1, 2, 20, u"twenty"},
                                 {2, 20, 25, u"file 25"},
                                 {1, 2, 30, u"thirty"},
                                 {2, 30, 31, u"file 31"},
                                 {2, 30, 25, u"second 25"}});
  for (const int32_t mode : {2, 3}) {
    Scan scan(bytes, mode);
    ASSERT_FALSE(scan.end.refused) << mode;
    const std::vector<EntryIndex> top = scan.adapter->TopLevel();
    ASSERT_EQ(top.size(), 1u);
    EXPECT_EQ(scan.adapter->Name(top[0]), L"ORPHAN_ENTRY");
    EXPECT_EQ(scan.adapter->DataOf(top[0]), 32u);  // the highest CNID + 1
    const EntryIndex first = scan.adapter->FirstChild(top[0]);
    ASSERT_NE(first, kNoEntry);
    EXPECT_EQ(scan.adapter->Name(first), L"thirty");
    const EntryIndex second = scan.adapter->NextSibling(first);
    ASSERT_NE(second, kNoEntry);
    EXPECT_EQ(scan.adapter->Name(second), L"twenty");
    EXPECT_EQ(scan.adapter->NextSibling(second), kNoEntry);
    EXPECT_EQ(scan.adapter->Name(scan.adapter->FirstChild(first)), L"file 31");
    EXPECT_EQ(scan.adapter->Name(scan.adapter->FirstChild(second)), L"file 25");  // the first record of CNID 25
    EXPECT_EQ(scan.Reachable(), 5u);
  }
  // Standard mode reads the catalog file, which this header has none of.
  Scan standard(bytes, 1);
  EXPECT_TRUE(standard.end.refused);
  EXPECT_EQ(standard.end.finalStatus, L"Scanning process Aborted....");
}

TEST(HfsEngine, HostileFieldsGivePartialResults) {
  Volume base;
  if (!base.Loaded()) GTEST_SKIP();
  const size_t full = Scan(base.bytes, 1).Reachable();
  ASSERT_GT(full, 50u);
  const uint32_t root = base.RootNode();
  // Partial: fewer entries than the intact volume; Any: some, or none.
  enum Expect { Refused, Partial, Whole, Any };
  const struct {
    const char* what;
    std::function<void(Volume&)> damage;
    Expect standard, deep;
  } cases[] = {
      {"catalog node size 0", [](Volume& v) { Put16(v.CatalogNode(0) + 32, 0); }, Refused, Whole},
      {"catalog node size 3000", [](Volume& v) { Put16(v.CatalogNode(0) + 32, 3000); }, Refused, Whole},
      {"block size 0 in both headers",
       [](Volume& v) {
         Put32(v.Header() + 40, 0);
         Put32(v.Alternate() + 40, 0);
       },
       Refused, Refused},
      {"block size 3000", [](Volume& v) { Put32(v.Header() + 40, 3000), Put32(v.Alternate() + 40, 3000); }, Refused,
       Refused},
      {"primary header zeroed (the alternate is read)",
       [](Volume& v) { std::fill(v.Header(), v.Header() + 512, 0); }, Whole, Whole},
      {"catalog extent past the volume", [](Volume& v) { Put32(v.Header() + 288, 0x00FFFFFF); }, Refused, Whole},
      {"root index node points at itself",
       [root](Volume& v) {
         uint8_t* n = v.CatalogNode(root);
         const size_t at = ByteView(n, v.node).Be16(v.node - 2);
         Put32(n + at + 2 + ByteView(n, v.node).Be16(at), root);
       },
       Whole, Whole},
      {"leaf chain loops", [](Volume& v) { Put32(v.CatalogNode(1), 1); }, Whole, Whole},
      {"tree depth 1000", [](Volume& v) { Put16(v.CatalogNode(0) + 14, 1000); }, Whole, Whole},
      {"root node past the tree", [](Volume& v) { Put32(v.CatalogNode(0) + 16, 0xFFFFFFF0); }, Whole, Whole},
      {"record offsets past the node",
       [](Volume& v) {
         for (uint32_t i = 2; i < 40; ++i) Put16(v.CatalogNode(2) + v.node - 2 * i, 0x7FF0);
       },
       Partial, Partial},
      {"key length past the node",
       [](Volume& v) {
         // The third record: the first child of the root folder.
         uint8_t* n = v.CatalogNode(1);
         Put16(n + ByteView(n, v.node).Be16(v.node - 6), 0xFFFE);
       },
       Partial, Partial},
      {"record count above what fits",
       [](Volume& v) {
         for (uint32_t n = 1; n < 4; ++n) Put16(v.CatalogNode(n) + 10, 0xFFFF);
       },
       Any, Partial},
  };
  for (const auto& c : cases) {
    for (const int32_t mode : {1, 3}) {
      Volume v;
      c.damage(v);
      Scan scan(std::move(v.bytes), mode);
      const Expect expect = mode == 1 ? c.standard : c.deep;
      const size_t reachable = scan.end.refused ? 0 : scan.Reachable();
      EXPECT_EQ(scan.end.refused, expect == Refused) << c.what << ", mode " << mode;
      // The scan modes add ORPHAN_ENTRY and show the root folder's record
      // and the removed photo.
      const size_t whole = mode == 1 ? full : full + 3;
      if (expect == Partial) {
        EXPECT_LT(reachable, whole) << c.what << ", mode " << mode;
        EXPECT_GT(reachable, 0u) << c.what << ", mode " << mode;
      } else if (expect == Whole) {
        EXPECT_EQ(reachable, whole) << c.what << ", mode " << mode;
      }
    }
  }
}

TEST(HfsEngine, ExtentsThatCannotBeReadEndTheData) {
  Volume base;
  if (!base.Loaded()) GTEST_SKIP();
  // The fragmented file's overflow record: its key's first block no longer
  // matches, so the data ends after the record's eight extents.
  {
    Volume v;
    uint8_t* leaf = v.bytes.data() + v.extents + v.node;
    Put32(leaf + 14 + 8, 1);
    Scan scan(std::move(v.bytes), 1);
    const int32_t file = scan.Named(u"fragmented.mp4");
    ASSERT_GE(file, 0);
    EntryData data = scan.adapter->OpenData(file);
    std::string bytes;
    ASSERT_TRUE(ReadWhole(data, 1 << 20, bytes));
    const uint64_t eight = 8 * 2 * 4096;  // eight extents of two blocks
    EXPECT_EQ(bytes.size(), eight);
    Scan intact(base.bytes, 1);
    EntryData whole = intact.adapter->OpenData(intact.Named(u"fragmented.mp4"));
    std::string all;
    ASSERT_TRUE(ReadWhole(whole, 1 << 20, all));
    EXPECT_EQ(all.size(), 81000u);
    EXPECT_EQ(all.substr(0, eight), bytes);
  }
  // A file whose only extent lies past the volume is not read at all.
  {
    Scan scan(base.bytes, 1);
    const int32_t file = scan.Named(u"clip.mov");
    ASSERT_GE(file, 0);
    auto& e = const_cast<HfsEntryRecord&>(scan.Engine().entries[static_cast<size_t>(file)]);
    e.extents[0].startBlock = 0xFFFFFF00;
    EntryData data = scan.adapter->OpenData(file);
    EXPECT_NE(data.unreadable.find(L"outside the volume"), std::wstring::npos);
    EXPECT_FALSE(data.stream);
  }
}

TEST(HfsEngine, EveryByteOfTheFirstNodesDamaged) {
  Volume v;
  if (!v.Loaded()) GTEST_SKIP();
  // The header record and the first leaf's descriptor and first records,
  // and the end of the first leaf (its record offsets).
  std::vector<size_t> offsets;
  for (size_t i = 0; i < 512; ++i) offsets.push_back(v.catalog + i);
  for (size_t i = 0; i < 256; ++i) offsets.push_back(v.catalog + v.node + i);
  for (size_t i = 0; i < 64; ++i) offsets.push_back(v.catalog + 2 * v.node - 64 + i);
  MemoryReader reader(std::move(v.bytes));
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  NullSink sink;
  VolumeEntry volume;
  volume.fileSystem = L"HFS+";
  size_t scans = 0;
  for (const size_t offset : offsets) {
    for (const uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}}) {
      std::vector<uint8_t>& image = reader.Image();
      const uint8_t kept = image[offset];
      image[offset] = value;
      HfsAdapter adapter(EngineSetup{reader, volume, sink, nullptr});
      NoSteps steps;
      const WorkerEnd end = adapter.RunWorker(1, AdvancedChoices{}, steps);
      if (!end.refused) {
        ++scans;
        EXPECT_LE(adapter.Size(), 200u) << offset;
      }
      image[offset] = kept;
    }
  }
  EXPECT_GT(scans, offsets.size());
}

}  // namespace
}  // namespace lv
