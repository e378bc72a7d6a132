// The FAT12/16 and FAT32 engines on volumes built in memory: names, the
// parameter block, the table, the walk, the data of live and deleted files,
// and damaged or hostile volumes.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>

#include "FatTestImage.h"
#include "TestSupport.h"
#include "catalogue/MemoryViews.h"
#include "catalogue/ScanJob.h"
#include "common/Text.h"
#include "fat/FatAdapter.h"
#include "fat/FatDirectory.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

using test::FatTestImage;

// Runs the engine's standard steps on an image, and reads the results
// through its adapter.
template <class Engine>
struct Scanned {
  explicit Scanned(std::vector<uint8_t> bytes) : reader(std::move(bytes)) {
    VolumeEntry volume;
    adapter = std::make_unique<FatAdapter<Engine>>(EngineSetup{reader, volume, sink});
    Engine& e = adapter->GetEngine();
    ok = e.CheckBootSector();
    if (!ok) return;
    e.LoadAllocationTable();
    e.LoadRootDirectory();
    e.CollectEntries();
    e.LinkEntries();
  }

  // Every entry below the root by its path ("a/b"), as the tree fill and the
  // save walk it.
  std::map<std::string, EntryIndex> Tree() const {
    std::map<std::string, EntryIndex> out;
    std::function<void(EntryIndex, const std::string&)> walk = [&](EntryIndex e, const std::string& path) {
      out[path] = e;
      if (adapter->IsFolder(e, FolderUse::Tree))
        for (EntryIndex c = adapter->FirstChild(e); c != kNoEntry; c = adapter->NextSibling(c))
          walk(c, path + "/" + WideToUtf8(adapter->Name(c)));
    };
    for (EntryIndex e : adapter->TopLevel()) walk(e, WideToUtf8(adapter->Name(e)));
    return out;
  }
  bool Deleted(const std::string& path) const { return adapter->IsDeleted(Tree().at(path)); }
  std::string Data(const std::string& path) {
    const auto tree = Tree();
    if (!tree.count(path)) {
      ADD_FAILURE() << "no entry " << path;
      return std::string();
    }
    EntryData data = adapter->OpenData(tree.at(path));
    std::string bytes;
    EXPECT_TRUE(ReadWhole(data, 1 << 24, bytes));
    return bytes;
  }

  MemoryReader reader;
  LatestValueSink sink;
  std::unique_ptr<FatAdapter<Engine>> adapter;
  bool ok = false;
};

class FormattedScope {
 public:
  FormattedScope() { FormattedDriveMode.store(1); }
  ~FormattedScope() { FormattedDriveMode.store(0); }
};

// Names ----------------------------------------------------------------------

TEST(FatNames, ShortNamesLoseTheirPaddingAndFollowTheirCaseBits) {
  const struct {
    const char* name11;
    uint8_t caseFlags;
    std::u16string expected;
  } cases[] = {
      {"README  TXT", 0, u"README.TXT"},
      {"DCIM       ", 0, u"DCIM"},  // a folder's name without its blanks
      {"README     ", 0, u"README"},
      {"FOO     TX ", 0, u"FOO.TX"},
      {"NOTES   TXT", 0x18, u"notes.txt"},
      {"NOTES   TXT", 0x08, u"notes.TXT"},
      {"\xE5MG_0001JPG", 0, u"\uFFE5MG_0001.JPG"},  // the lost letter is not guessed
      {"\x05" "BC     TXT", 0, u"\u00E5BC.TXT"},    // 0x05 stands for 0xE5
      {"CAF\xC9    JPG", 0, u"CAF\u00C9.JPG"},      // Windows-1252
  };
  for (const auto& c : cases) EXPECT_EQ(ShortEntryName(ByteView(c.name11, 11), c.caseFlags), c.expected) << c.name11;
  EXPECT_EQ(ShortNameChecksum(ByteView("README  TXT", 11)), 0x73);
}

TEST(FatNames, LongNameRunsAreCheckedBeforeTheirNameIsUsed) {
  const std::u16string longName = u"A rather long name, " + std::u16string(180, u'x') + u".jpg";  // 16 slots
  const struct {
    const char* what;
    std::u16string name;
    const char* name11;
    bool deleted;
    int checksumDelta;
    int misnumbered;  // a slot whose sequence number is wrong (-1: none)
    std::u16string expected;
  } cases[] = {
      {"more than ten slots", longName, "ARATHE~1JPG", false, 0, -1, longName},
      {"checksum of another entry", u"holiday.jpg", "HOLIDAY JPG", false, 1, -1, u"HOLIDAY.JPG"},
      {"a slot out of its place", longName, "ARATHE~1JPG", false, 0, 3, u"ARATHE~1.JPG"},
      {"deleted, first letter guessed", u"beach photo.jpg", "\xE5" "EACHP~1JPG", true, 0, -1, u"beach photo.jpg"},
      {"deleted, of another entry", u"beach photo.jpg", "\xE5" "EACHP~1JPG", true, 5, -1, u"\uFFE5EACHP~1.JPG"},
  };
  for (const auto& c : cases) {
    FatTestImage img(12);
    // A deleted run's checksum is the short name's with its lost letter.
    std::string real = c.name11;
    if (c.deleted) real[0] = 'B';
    const size_t shortAt = img.LongSlots(img.RootOffset(), c.name, real, c.deleted, c.checksumDelta);
    if (c.misnumbered >= 0) img.bytes[img.RootOffset() + 32 * static_cast<size_t>(c.misnumbered)] ^= 0x01;
    img.Slot(shortAt, c.name11, 0x20, 0, 0);
    Scanned<Fat16Class> v(img.bytes);
    const auto top = v.adapter->TopLevel();
    ASSERT_EQ(top.size(), 1u) << c.what;
    EXPECT_EQ(WideToUtf16(v.adapter->Name(top[0])), c.expected) << c.what;
    EXPECT_EQ(v.adapter->IsDeleted(top[0]), c.deleted) << c.what;
  }
}

// Parameter block and table ------------------------------------------------------

TEST(FatBoot, TheParameterBlockIsCheckedWhateverTheOemName) {
  const struct {
    const char* what;
    int bits;
    std::function<void(FatTestImage&)> change;
    int expectedBits;  // 0: refused
  } cases[] = {
      {"FAT12", 12, [](FatTestImage&) {}, 12},
      {"FAT16", 16, [](FatTestImage&) {}, 16},
      {"FAT32", 32, [](FatTestImage&) {}, 32},
      {"bytes per sector 0", 16, [](FatTestImage& i) { i.Put16(11, 0); }, 0},
      {"bytes per sector not a power of two", 16, [](FatTestImage& i) { i.Put16(11, 1000); }, 0},
      {"bytes per sector 8192", 16, [](FatTestImage& i) { i.Put16(11, 8192); }, 0},
      {"sectors per cluster 0", 16, [](FatTestImage& i) { i.bytes[13] = 0; }, 0},
      {"sectors per cluster 3", 16, [](FatTestImage& i) { i.bytes[13] = 3; }, 0},
      {"no reserved sector", 16, [](FatTestImage& i) { i.Put16(14, 0); }, 0},
      {"no table", 16, [](FatTestImage& i) { i.bytes[16] = 0; }, 0},
      {"three tables", 16, [](FatTestImage& i) { i.bytes[16] = 3; }, 0},
      {"root entries past the volume", 12, [](FatTestImage& i) { i.Put16(17, 0xFFF0); }, 0},
      {"no size", 12, [](FatTestImage& i) { i.Put16(19, 0); }, 0},
  };
  for (const auto& c : cases) {
    FatTestImage img(c.bits);
    c.change(img);
    const auto p = ReadFatParameters(ByteView(img.bytes.data(), 512));
    EXPECT_EQ(p ? p->fatBits : 0, c.expectedBits) << c.what;
  }
  // Each engine takes its own layout only.
  EXPECT_FALSE(Scanned<Fat16Class>(FatTestImage(32).bytes).ok);
  EXPECT_FALSE(Scanned<Fat32Class>(FatTestImage(16).bytes).ok);
}

TEST(FatTable, TwelveBitEntriesAndEveryEndOfChainValue) {
  const struct {
    int bits;
    uint32_t value, next;
  } cases[] = {{12, 5, 5}, {12, 0xFF7, 0}, {12, 0xFF8, 0}, {12, 0xFFF, 0}, {16, 0x0FF8, 0x0FF8}, {16, 0xFFF7, 0},
               {16, 0xFFF8, 0}, {32, 0x0FFFFFF8, 0},
               {32, 0xF0000007, 7}};  // FAT32: the top four bits are not part of the entry
  for (const auto& c : cases) {
    FatTestImage img(c.bits, c.bits == 16 ? 0x1000 : 300);
    img.SetFat(4, c.value);
    img.SetFat(5, 9);  // neighbours in a 12-bit table share a byte
    Scanned<Fat16Class> v16(img.bytes);
    Scanned<Fat32Class> v32(img.bytes);
    FatTable& table = (c.bits == 32 ? v32.adapter->GetEngine().core : v16.adapter->GetEngine().core).table;
    EXPECT_EQ(table.Next(4), c.next) << std::hex << c.value;
    EXPECT_EQ(table.Next(5), 9u) << std::hex << c.value;
  }
}

// The walk ---------------------------------------------------------------------

TEST(FatWalk, FolderChainsThatLoopOrShareClustersAreWalkedOnce) {
  FatTestImage img(12);
  const size_t root = img.RootOffset();
  img.Slot(root, "LOOP", 0x10, 10, 0);
  img.Slot(root + 32, "SELF", 0x10, 20, 0);
  img.DotSlots(10, 0);
  img.Slot(img.Cluster(10) + 64, "A       JPG", 0x20, 0, 0);
  img.Slot(img.Cluster(11), "B       JPG", 0x20, 0, 0);
  img.SetFat(10, 11);
  img.SetFat(11, 10);  // loops back
  img.DotSlots(20, 0);
  img.Slot(img.Cluster(20) + 64, "SELF", 0x10, 20, 0);    // a folder that holds itself
  img.Slot(img.Cluster(20) + 96, "SHARE", 0x10, 10, 0);  // cross-linked with LOOP
  img.SetFat(20, FatTestImage::kEnd);
  Scanned<Fat16Class> v(img.bytes);
  const auto tree = v.Tree();
  EXPECT_TRUE(tree.count("LOOP/A.JPG") && tree.count("LOOP/B.JPG"));
  EXPECT_EQ(tree.size(), 6u);  // LOOP, its two files, SELF, SELF/SELF, SELF/SHARE
  EXPECT_EQ(v.adapter->FirstChild(tree.at("SELF/SELF")), kNoEntry);
  EXPECT_EQ(v.adapter->FirstChild(tree.at("SELF/SHARE")), kNoEntry);
}

TEST(FatWalk, DeletedFoldersDoNotTakeTheEntriesOfTheLiveFolderNowInTheirCluster) {
  FatTestImage img(16);
  const size_t root = img.RootOffset();
  // Same folder: the deleted slot comes first; one record, named after the
  // later, live slot.
  img.Slot(root, "\xE5OLD", 0x10, 10, 0);
  img.Slot(root + 32, "NEW", 0x10, 10, 0);
  // Elsewhere: a deleted folder found before the live folder that took its
  // cluster, which keeps its files and stays live.
  img.Slot(root + 64, "\xE5GONE", 0x10, 20, 0);
  img.Slot(root + 96, "KEEP", 0x10, 30, 0);
  img.DotSlots(30, 0);
  img.Slot(img.Cluster(30) + 64, "LIVE", 0x10, 20, 0);
  img.DotSlots(20, 30);
  img.Slot(img.Cluster(20) + 64, "PHOTO   JPG", 0x20, 0, 0);
  img.DotSlots(10, 0);
  img.Slot(img.Cluster(10) + 64, "IN_NEW  JPG", 0x20, 0, 0);
  for (uint32_t c : {10u, 20u, 30u}) img.SetFat(c, FatTestImage::kEnd);
  Scanned<Fat16Class> v(img.bytes);
  const auto tree = v.Tree();
  EXPECT_FALSE(tree.count("\xEF\xBF\xA5OLD"));
  ASSERT_TRUE(tree.count("NEW/IN_NEW.JPG"));
  EXPECT_FALSE(v.Deleted("NEW"));
  ASSERT_TRUE(tree.count("KEEP/LIVE/PHOTO.JPG"));
  EXPECT_FALSE(v.Deleted("KEEP/LIVE/PHOTO.JPG"));
  EXPECT_EQ(v.adapter->FirstChild(tree.at("\xEF\xBF\xA5GONE")), kNoEntry);
}

TEST(FatWalk, Fat32RootAndFoldersFollowTheirWholeChains) {
  FatTestImage img(32);
  // The root starts at cluster 5 and goes on at 9 and 7; a folder of 30
  // clusters holds one file per cluster.
  img.Put32(44, 5);
  img.SetFat(2, 0);
  img.Chain({5, 9, 7});
  img.Slot(img.Cluster(5), "FIRST   JPG", 0x20, 0, 0);
  img.Slot(img.Cluster(9), "SECOND  JPG", 0x20, 0, 0);
  img.Slot(img.Cluster(7) + 480, "BIG", 0x10, 100, 0);
  std::vector<uint32_t> chain;
  for (uint32_t c = 100; c < 130; ++c) {
    chain.push_back(c);
    img.Slot(img.Cluster(c) + (c == 100 ? 64 : 0), "F" + std::to_string(c) + "    JPG", 0x20, 0, 0);
  }
  img.DotSlots(100, 0);
  img.Slot(img.Cluster(100) + 64, "F100    JPG", 0x20, 0, 0);
  img.Chain(chain);
  Scanned<Fat32Class> v(img.bytes);
  const auto tree = v.Tree();
  EXPECT_TRUE(tree.count("FIRST.JPG") && tree.count("SECOND.JPG") && tree.count("BIG/F129.JPG"));
  EXPECT_EQ(tree.size(), 3u + 30u);
  // FormattedDriveMode: folders end after their first cluster; the root is
  // still read whole.
  FormattedScope formatted;
  const auto first = Scanned<Fat32Class>(img.bytes).Tree();
  EXPECT_TRUE(first.count("BIG/F100.JPG") && !first.count("BIG/F101.JPG"));
  EXPECT_EQ(first.size(), 4u);
}

// Data ---------------------------------------------------------------------------

TEST(FatData, LiveChainsDeletedFilesAndFormattedDriveMode) {
  FatTestImage img(16);
  const size_t root = img.RootOffset();
  for (uint32_t c = 10; c < 20; ++c) img.Fill(c, static_cast<uint8_t>('a' + c - 10));
  img.Slot(root, "FRAG    JPG", 0x20, 10, 1300);  // 10, 13, 11
  img.Chain({10, 13, 11});
  img.Slot(root + 32, "LOOP    JPG", 0x20, 14, 2048);  // 14, 15, 14, ...
  img.SetFat(14, 15);
  img.SetFat(15, 14);
  // Deleted: 16 is free, 17 is in use (by FRAG2), 18 free.
  img.Slot(root + 64, "\xE5" "ELETED JPG", 0x20, 16, 1100);
  img.Slot(root + 96, "FRAG2   JPG", 0x20, 17, 10);
  img.SetFat(17, FatTestImage::kEnd);
  // Deleted, its first cluster taken by LIVE, whose chain goes on at 12.
  img.Slot(root + 128, "\xE5" "VERLAP JPG", 0x20, 19, 1500);
  img.Slot(root + 160, "LIVE    JPG", 0x20, 19, 1000);
  img.Chain({19, 12});
  img.Slot(root + 192, "EMPTY   JPG", 0x20, 0, 0);
  img.Slot(root + 224, "OUTSIDE JPG", 0x20, 0xFFF0, 100);
  const auto run = [](char c, size_t n) { return std::string(n, c); };
  {
    Scanned<Fat16Class> v(img.bytes);
    EXPECT_EQ(v.Data("FRAG.JPG"), run('a', 512) + run('d', 512) + run('b', 276));
    EXPECT_EQ(v.Data("LOOP.JPG"), run('e', 512) + run('f', 512));  // the loop ends the chain
    EXPECT_EQ(v.Data("\xEF\xBF\xA5" "ELETED.JPG"), run('g', 512) + run('i', 512) + run('\0', 76));
    EXPECT_EQ(v.Data("\xEF\xBF\xA5" "VERLAP.JPG"), run('j', 512));
    EXPECT_EQ(v.Data("EMPTY.JPG"), "");
    EntryData outside = v.adapter->OpenData(v.Tree().at("OUTSIDE.JPG"));
    EXPECT_FALSE(outside.unreadable.empty());
    EXPECT_FALSE(outside.stream);
  }
  {
    FormattedScope formatted;
    Scanned<Fat16Class> v(img.bytes);
    EXPECT_EQ(v.Data("FRAG.JPG"), run('a', 512) + run('b', 512) + run('c', 276));
    EXPECT_EQ(v.Data("\xEF\xBF\xA5" "ELETED.JPG"), run('g', 512) + run('h', 512) + run('i', 76));
  }
}

TEST(FatData, RowTextsAndSavedTimes) {
  FatTestImage img(12);
  // 2004-01-01 14:00:02 written, 12:30 created, accessed 2004-06-01.
  img.Slot(img.RootOffset(), "ALL     JPG", 0x27, 0, 0, 0x3021, 0x7001);
  img.Put16(img.RootOffset() + 14, 0x63C0);
  img.Put16(img.RootOffset() + 18, 0x30C1);
  Scanned<Fat16Class> v(img.bytes);
  const EntryIndex e = v.adapter->TopLevel().at(0);
  const EntryTexts t = v.adapter->Texts(e);
  EXPECT_EQ(t.creation, L"01/01/2004  12:30 AM");
  EXPECT_EQ(t.access, L"06/01/2004 ");
  EXPECT_EQ(t.modification, L"01/01/2004  02:00 PM");
  EXPECT_EQ(t.attributes, L"-R-H-S-A");
  EXPECT_EQ(t.size, L"0 Bytes");
  EntryData data = v.adapter->OpenData(e);
  ASSERT_TRUE(data.times);
  EXPECT_EQ(data.times->modifySeconds, *DosToUnixLocal(0x3021, 0x7001));
  EXPECT_FALSE(IsValidDos(0x3001, 0));       // month 0
  EXPECT_FALSE(IsValidDos(0x305E, 0));       // 30 February 2004
  EXPECT_FALSE(IsValidDos(0x3021, 0x001E));  // 60 seconds
}

// Hostile volumes ---------------------------------------------------------------------

TEST(FatHostile, DamagedVolumesGiveThePartialTableOrTheMessage) {
  const struct {
    const char* what;
    int bits;
    std::function<void(FatTestImage&)> damage;
    bool refused;
  } cases[] = {
      {"root entries past the volume", 12, [](FatTestImage& i) { i.Put16(17, 0xFFF0); }, true},
      {"sectors per cluster 128 on a small image", 16, [](FatTestImage& i) { i.bytes[13] = 128; }, false},
      {"total sectors far beyond the image", 32, [](FatTestImage& i) { i.Put32(32, 0xFFFFFFF0); i.Put16(19, 0); }, false},
      {"table length far beyond the image", 32, [](FatTestImage& i) { i.Put32(36, 0x0FFFFFFF); i.Put32(32, 0xFFFFFFF0); i.Put16(19, 0); }, false},
      {"root cluster beyond the table", 32, [](FatTestImage& i) { i.Put32(44, 0xFFFFFFF0); }, false},
      {"clusters beyond the table", 12,
       [](FatTestImage& i) {
         i.Slot(i.RootOffset(), "DIR", 0x10, 0xFFF, 0);
         i.Slot(i.RootOffset() + 32, "FILE    JPG", 0x20, 0xFF0, 5000);
         i.SetFat(2, 0xFF0);
       },
       false},
      {"every cluster a folder of itself", 32,
       [](FatTestImage& i) {
         for (uint32_t c = 3; c < 300; ++c) {
           i.SetFat(c, c + 1 < 300 ? c + 1 : 3);
           i.DotSlots(c, c);
           for (size_t s = 64; s < 512; s += 32) i.Slot(i.Cluster(c) + s, "D" + std::to_string(s), 0x10, c, 0);
         }
         i.Slot(i.RootOffset(), "D", 0x10, 3, 0);
       },
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FatTestImage img(c.bits);
    c.damage(img);
    RecordingMessageBox box;
    ScopedMessages scope(&box);
    MemoryReader reader(img.bytes);
    MemoryResultTree tree;
    MemoryFileList list;
    LatestValueSink sink;
    ScanJob job(tree, list, sink);
    ScanStart start;
    start.volume.fileSystem = c.bits == 32 ? L"FAT32" : L"FAT16";
    start.unfiltered = true;
    job.Start(start, &reader);
    job.Wait();
    EXPECT_EQ(job.VolumeRefused(), c.refused);
    if (c.refused) {
      EXPECT_EQ(box.Texts().front(), L"Selected Drive is not in Fat16 Format");
      continue;
    }
    test::TempFolder out;
    job.SaveFolder(job.RootItem(), out.path());
    EXPECT_LE(job.Table()->Size(), img.bytes.size() / 32);
  }
}

}  // namespace
}  // namespace lv
