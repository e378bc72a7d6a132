// ext2Class and its adapter on the ext4-1k and ext2 fixtures held in memory,
// with hostile fields laid over them: the list texts of a few
// edge cases, and partial results (never a crash, a hang or an unbounded
// allocation) for block sizes, group counts, descriptors, extent headers,
// block numbers and directory records no real volume has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "TestSupport.h"
#include "common/ByteView.h"
#include "disk/Reader.h"
#include "common/SafeName.h"
#include "common/Text.h"
#include "ext/ExtAdapter.h"
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

struct Volume {
  std::vector<uint8_t> bytes;
  uint32_t block = 0, inodeSize = 0;
  uint64_t table = 0;  // group 0's inode table, in bytes

  explicit Volume(const std::string& name, size_t keep = SIZE_MAX) {
    bytes = test::ReadBinaryFile(test::FixturePath(name));
    if (bytes.size() > keep) bytes.resize(keep);
    if (bytes.size() < 4096) return;
    const ByteView sb(bytes.data() + 1024, 1024);
    block = 1024u << sb.Le32(24);
    inodeSize = sb.Le16(88);
    table = uint64_t{ByteView(bytes.data() + (1024 / block + 1) * block, 32).Le32(8)} * block;
  }
  bool Loaded() const { return block != 0; }
  uint8_t* Inode(uint32_t number) { return bytes.data() + table + uint64_t{number - 1} * inodeSize; }
  void Put16(uint8_t* at, uint16_t v) { at[0] = static_cast<uint8_t>(v), at[1] = static_cast<uint8_t>(v >> 8); }
  void Put32(uint8_t* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
  }
  uint8_t* Superblock() { return bytes.data() + 1024; }
};

// Scans the bytes; the adapter keeps the result.
struct Scan {
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  MemoryReader reader;
  NullSink sink;
  std::unique_ptr<ExtAdapter> adapter;
  WorkerEnd end;

  explicit Scan(std::vector<uint8_t> bytes) : reader(std::move(bytes)) {
    VolumeEntry volume;
    volume.fileSystem = L"extX";
    volume.sizeText = L"16   MB";
    adapter = std::make_unique<ExtAdapter>(EngineSetup{reader, volume, sink, nullptr});
    NoSteps steps;
    end = adapter->RunWorker(1, AdvancedChoices{}, steps);
  }
  EntryIndex Find(const std::wstring& path) const {
    EntryIndex at = 0;
    size_t from = 0;
    while (at != kNoEntry && from <= path.size()) {
      const size_t slash = std::min(path.find(L'/', from), path.size());
      const std::wstring part = path.substr(from, slash - from);
      EntryIndex child = adapter->FirstChild(at);
      while (child != kNoEntry && adapter->Name(child) != part) child = adapter->NextSibling(child);
      at = child;
      from = slash + 1;
    }
    return at;
  }
  // Reads an entry's data whole (holes as zeros), at most `limit` bytes.
  std::optional<std::string> Data(EntryIndex entry, uint64_t limit = 64 << 20) {
    EntryData data = adapter->OpenData(entry);
    if (!data.unreadable.empty()) return std::nullopt;
    std::string out;
    if (!data.valid || !ReadWhole(data, limit, out)) return std::nullopt;
    return out;
  }
};

TEST(ExtEngine, PermissionAndSizeTexts) {
  EXPECT_EQ(ext2Class::PermissionText(0x1A4), L"-OR-GR-UW-UR");
  EXPECT_EQ(ext2Class::PermissionText(0x81FF), L"-OE-OW-OR-GE-GW-GR-UE-UW-UR");
  Volume v("ext4-1k.img");
  if (!v.Loaded()) GTEST_SKIP();
  Scan scan(v.bytes);
  const EntryIndex photo = scan.Find(L"photo.png");
  ASSERT_NE(photo, kNoEntry);
  auto& e = scan.adapter->GetEngine().entries[static_cast<size_t>(photo)];
  e.size = 1536;
  EXPECT_EQ(scan.adapter->Texts(photo).size, L"1.50 KB");
  e.size = 1023;
  EXPECT_EQ(scan.adapter->Texts(photo).size, L"1023 Bytes");
  EXPECT_EQ(scan.adapter->Texts(photo).attributes, L"-OR-GR-UW-UR");
}

TEST(ExtEngine, TimesInAZoneOneHourEastOfUtc) {
  Volume v("ext4-1k.img");
  if (!v.Loaded()) GTEST_SKIP();
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  ::setenv("TZ", "XXX-1", 1);
  ::tzset();
  Scan scan(v.bytes);
  const EntryIndex photo = scan.Find(L"photo.png");
  ASSERT_NE(photo, kNoEntry);
  auto& e = scan.adapter->GetEngine().entries[static_cast<size_t>(photo)];
  e.ctime = 0;                   // 1970-01-01 01:00 local
  e.atime = 11 * 3600 + 1800;    // 12:30 local: AM
  e.mtime = 12 * 3600 + 5 * 60;  // 13:05 local: 01:05 PM
  const EntryTexts texts = scan.adapter->Texts(photo);
  EXPECT_EQ(texts.creation, L"01/01/1970  01:00 AM");
  EXPECT_EQ(texts.access, L"01/01/1970  12:30 AM");
  EXPECT_EQ(texts.modification, L"01/01/1970  01:05 PM");
  if (old) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

TEST(ExtEngine, TheRootsOwnRecordIsAnEmptyFolderBesideLostAndFound) {
  Volume v("ext4-1k.img");
  if (!v.Loaded()) GTEST_SKIP();
  Scan scan(v.bytes);
  EXPECT_FALSE(scan.adapter->GetEngine().ReadsInodesOnDemand());
  const auto top = scan.adapter->TopLevel();
  ASSERT_GE(top.size(), 2u);
  EXPECT_EQ(scan.adapter->Name(top[0]), L".");
  EXPECT_TRUE(scan.adapter->IsFolder(top[0], FolderUse::Tree));
  EXPECT_EQ(scan.adapter->FirstChild(top[0]), kNoEntry);
  EXPECT_EQ(scan.adapter->Name(top[1]), L"lost+found");
  EXPECT_EQ(scan.end.completion, L"done..");
  // The symbolic link is no file to count or write; inline data reads.
  const EntryIndex link = scan.Find(L"link.jpg");
  ASSERT_NE(link, kNoEntry);
  EXPECT_FALSE(scan.adapter->CountsAsFile(link));
  EXPECT_FALSE(scan.adapter->IsWritten(link));
  EXPECT_FALSE(scan.adapter->OpenData(link).valid);
  EXPECT_EQ(scan.Data(scan.Find(L"tiny.txt")), std::string(59, '0') + "7");
}

TEST(ExtEngine, NamesThatAreNoUtf8ListAndSaveUnderOnePath) {
  Volume v("ext4-1k.img");
  if (!v.Loaded()) GTEST_SKIP();
  const std::string name = "photo.png";
  size_t replaced = 0;
  for (auto it = v.bytes.begin(); (it = std::search(it, v.bytes.end(), name.begin(), name.end())) != v.bytes.end(); ++it) {
    it[1] = 0xFF;  // "p\xFFoto.png"
    ++replaced;
  }
  ASSERT_GT(replaced, 0u);
  Scan scan(v.bytes);
  EntryIndex found = kNoEntry;
  for (EntryIndex e : scan.adapter->TopLevel())
    if (scan.adapter->Name(e) == std::wstring(L"p\xDCFFoto.png")) found = e;
  ASSERT_NE(found, kNoEntry);
  EXPECT_EQ(scan.adapter->FileComponent(found), SafeComponent(WideToUtf16(scan.adapter->Name(found))));
  EXPECT_EQ(scan.adapter->FileComponent(found), "p%uDCFFoto.png");
  EXPECT_EQ(scan.Data(found)->size(), 9000u);
}

// The first MiB only: no backup superblock to fall back on.
TEST(ExtEngine, RefusesImpossibleSuperblocks) {
  for (int field = 0; field < 4; ++field) {
    Volume v("ext4-1k.img", 1 << 20);
    if (!v.Loaded()) GTEST_SKIP();
    uint8_t* sb = v.Superblock();
    switch (field) {
      case 0: v.Put32(sb + 24, 7); break;   // a block size above 64 KiB
      case 1: v.Put32(sb + 40, 0); break;   // no inodes per group
      case 2: v.Put32(sb + 32, 0); break;   // no blocks per group
      case 3: v.Put32(sb + 24, 0xFFFFFFFF); break;
    }
    Scan scan(v.bytes);
    EXPECT_TRUE(scan.end.refused) << field;
    EXPECT_EQ(scan.adapter->Size(), 0u) << field;
  }
  // A block size of 0 (1024 << 0 is 1024: a zero field is a valid 1 KiB);
  // a zeroed superblock with no backup is refused.
  Volume v("ext4-1k.img", 1 << 20);
  std::fill(v.Superblock(), v.Superblock() + 1024, 0);
  EXPECT_TRUE(Scan(v.bytes).end.refused);
}

TEST(ExtEngine, DescriptorsPastTheVolumeGiveAPartialTree) {
  Volume v("ext4-1k.img");
  if (!v.Loaded()) GTEST_SKIP();
  uint8_t* gd = v.bytes.data() + (1024 / v.block + 1) * v.block;
  v.Put32(gd + 8, 0xFFFFFFF0);  // group 0's inode table
  Scan scan(v.bytes);
  EXPECT_FALSE(scan.end.refused);
  EXPECT_LE(scan.adapter->Size(), 2u);  // "ROOT" and "."
  // A group count far beyond the descriptors the volume can hold.
  Volume w("ext4-1k.img");
  w.Put32(w.Superblock() + 4, 0xFFFFFFFF);
  w.Put32(w.Superblock() + 0, 0xFFFFFFFF);
  Scan wide(w.bytes);
  EXPECT_LE(wide.adapter->GetEngine().GroupCount(), w.bytes.size() / 32);
}

TEST(ExtEngine, HostileExtentHeadersAndBlockNumbers) {
  Volume v("ext4-1k.img");
  if (!v.Loaded()) GTEST_SKIP();
  Scan intact(v.bytes);
  const EntryIndex sparse = intact.Find(L"sparse.bin");
  const EntryIndex big = intact.Find(L"Videos/big.mp4");
  ASSERT_NE(sparse, kNoEntry);
  ASSERT_NE(big, kNoEntry);
  const uint32_t sparseInode = intact.adapter->GetEngine().entries[static_cast<size_t>(sparse)].inode;
  const uint32_t bigInode = intact.adapter->GetEngine().entries[static_cast<size_t>(big)].inode;
  const auto whole = intact.Data(big);
  ASSERT_TRUE(whole);

  for (int kind = 0; kind < 4; ++kind) {
    Volume h("ext4-1k.img");
    uint8_t* sparseHeader = h.Inode(sparseInode) + 40;
    uint8_t* bigHeader = h.Inode(bigInode) + 40;
    switch (kind) {
      case 0: h.Put16(sparseHeader + 2, 0xFFFF); break;  // more entries than fit
      case 1: h.Put16(sparseHeader + 6, 9); break;       // deeper than any tree
      case 2: {
        // The root's child claims the root's own depth: not decreasing.
        const ByteView root(sparseHeader, 60);
        const uint64_t child = root.Le32(12 + 4);
        h.Put16(h.bytes.data() + child * h.block + 6, root.Le16(6));
        break;
      }
      case 3:  // the first extent past the volume
        h.Put16(bigHeader + 12 + 6, 0xFFFF);
        h.Put32(bigHeader + 12 + 8, 0xFFFFFFF0);
        break;
    }
    Scan scan(h.bytes);
    const auto data = scan.Data(kind == 3 ? scan.Find(L"Videos/big.mp4") : scan.Find(L"sparse.bin"));
    ASSERT_TRUE(data) << kind;
    EXPECT_LE(data->size(), 4u << 20) << kind;
    if (kind == 3) {
      EXPECT_EQ(data->size(), whole->size());
    }
  }
}

TEST(ExtEngine, BlockMapPointersPastTheVolume) {
  Volume v("ext2.img");
  if (!v.Loaded()) GTEST_SKIP();
  Scan intact(v.bytes);
  // No used-inode counts on ext2: the inode tables are read as names reach them.
  EXPECT_TRUE(intact.adapter->GetEngine().ReadsInodesOnDemand());
  const EntryIndex big = intact.Find(L"Videos/big.mp4");
  ASSERT_NE(big, kNoEntry);
  const uint32_t inode = intact.adapter->GetEngine().entries[static_cast<size_t>(big)].inode;
  uint8_t* map = v.Inode(inode) + 40;
  v.Put32(map + 0, 0xFFFFFFF0);       // a direct block
  v.Put32(map + 12 * 4, 0xFFFFFFF0);  // the single-indirect block
  v.Put32(map + 13 * 4, 3);           // a double-indirect block of metadata
  v.Put32(map + 14 * 4, 5);           // and a triple one
  Scan scan(v.bytes);
  const auto data = scan.Data(scan.Find(L"Videos/big.mp4"));
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), 300000u);
}

TEST(ExtEngine, DirectoryRecordsOfLengthZero) {
  for (const char* name : {"ext4-1k.img", "ext2.img"}) {
    Volume v(name);
    if (!v.Loaded()) GTEST_SKIP();
    Scan intact(v.bytes);
    const size_t entries = intact.adapter->Size();
    // Every record of the DCIM/100MEDIA folder's block gets length 0.
    const EntryIndex folder = intact.Find(L"DCIM/100MEDIA");
    ASSERT_NE(folder, kNoEntry);
    std::vector<uint8_t> inode;
    ext2Class& engine = intact.adapter->GetEngine();
    ASSERT_TRUE(engine.ReadInode(engine.entries[static_cast<size_t>(folder)].inode, inode));
    const auto runs = engine.Runs(inode, v.block);
    ASSERT_FALSE(runs.empty());
    uint8_t* block = v.bytes.data() + runs[0].physical * v.block;
    for (uint32_t at = 0; at < v.block; at += 4) v.Put16(block + at + 4, 0);
    Scan scan(v.bytes);
    EXPECT_LT(scan.adapter->Size(), entries) << name;
    EXPECT_NE(scan.Find(L"Music/Jazz/blue train.mp3"), kNoEntry) << name;
  }
}

}  // namespace
}  // namespace lv
