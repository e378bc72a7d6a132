// The ntfs engine on small volumes built in memory: boot sector and MFT
// location, parsing and linking, times, data summaries and extraction.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <filesystem>
#include <memory>
#include <set>

#include "Md5.h"
#include "NtfsTestImage.h"
#include "TestSupport.h"
#include "common/DisplayText.h"
#include "common/Text.h"
#include "ntfs/Ntfs.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

using test::RecordBuilder;
using test::RunList;
using test::VolumeBuilder;

// A scanned volume: reader, sink and engine, in the scan job's order.
struct Scan {
  explicit Scan(std::vector<uint8_t> image, int32_t mode = 1, std::wstring sizeText = L"1   MB")
      : reader(std::move(image)) {
    VolumeEntry v;
    v.fileSystem = L"NTFS";
    v.sizeText = std::move(sizeText);
    engine = std::make_unique<ntfs>(reader, v, sink);
    engine->recoveryMode = mode;
    engine->ReadBootSector();
    if (mode == 3)
      engine->ScanAllRecords();
    else
      engine->LocateMft();
    engine->ReadMftByRuns();
    engine->ParseEntries();
  }
  ntfs& e() { return *engine; }
  const NtfsEntryRecord& at(int64_t i) { return engine->entries.at(static_cast<size_t>(i)); }
  std::string Name(int64_t i) { return Utf16ToUtf8(at(i).name); }
  // Children of an entry along its chain (bounded).
  std::vector<int64_t> Children(int64_t parent) {
    std::vector<int64_t> out;
    for (int64_t c = at(parent).firstChild; c > 0 && out.size() <= engine->entries.size(); c = at(c).nextSibling)
      out.push_back(c);
    return out;
  }
  MemoryReader reader;
  LatestValueSink sink;
  std::unique_ptr<ntfs> engine;
};

std::vector<uint8_t> File(uint64_t parent, const std::u16string& name, uint16_t flags = 1) {
  RecordBuilder r(flags);
  r.StandardInformation(1, 2, 3);
  r.FileName(parent, name);
  r.Resident(0x80, {'x'});
  return r.Finish();
}
std::vector<uint8_t> Folder(uint64_t parent, const std::u16string& name, uint16_t flags = 3) {
  RecordBuilder r(flags);
  r.StandardInformation(1, 2, 3);
  r.FileName(parent, name, true);
  return r.Finish();
}

TEST(NtfsEngine, BootSectorAndMftLocation) {
  VolumeBuilder v;
  v.SetRecord(6, File(5, u"a.jpg"));
  Scan s(v.Build());
  EXPECT_EQ(s.e().volumeSize, (256u * 8 - 1) * 512);
  EXPECT_EQ(s.e().bytesPerCluster, 4096u);
  EXPECT_EQ(s.e().mftLocated, 1);
  EXPECT_EQ(s.e().runFromFirstEntry, 0);
  // One entry per MFT record slot, then ORPHAN_ENTRY.
  EXPECT_EQ(s.e().entries.size(), v.RecordCount() + 1);
  EXPECT_EQ(s.Name(6), "a.jpg");
  EXPECT_EQ(s.e().rootIndex, 5);
  EXPECT_EQ(s.e().orphanIndex, static_cast<int64_t>(v.RecordCount()));
  // The parse reports its last record (the text is written every 256
  // records and for the last one).
  EXPECT_EQ(s.sink.Status(), L"parsing MFT entry " + std::to_wstring(v.RecordCount() - 1) + L"...");
  EXPECT_EQ(s.sink.Position(), static_cast<int64_t>(v.RecordCount() - 1));
}

// A boot sector that claims 2^40 sectors and an MFT run of 2^30 clusters:
// the table is bounded by what the source holds, not by the claims, and the
// real records are still read.
TEST(NtfsEngine, TableIsBoundedByTheSourceNotByTheBootSector) {
  VolumeBuilder v;
  const uint64_t clusters = uint64_t{1} << 30;
  RecordBuilder mft;
  mft.StandardInformation(1, 1, 1);
  mft.FileName(5, u"$MFT");
  mft.NonResident(0x80, RunList({{static_cast<int64_t>(VolumeBuilder::kMftCluster), clusters}}), 0, clusters - 1,
                  clusters * 4096);
  v.SetRecord(0, mft.Finish());
  v.SetRecord(6, File(5, u"kept.jpg"));
  std::vector<uint8_t> image = v.Build();
  test::PutLe(image, 0x28, uint64_t{1} << 40, 8);
  Scan s(image);
  EXPECT_LE(s.e().entries.size(), image.size() / 1024 + 17);
  EXPECT_EQ(s.e().entries.at(6).name, u"kept.jpg");
}

TEST(NtfsEngine, BootSectorStatusTextsAndSizes) {
  // MFT at cluster 786432 of 4096 bytes: its record is read at 3221225472.
  std::vector<uint8_t> boot(512, 0);
  std::memcpy(boot.data() + 3, "NTFS", 4);
  test::PutLe(boot, 0x0B, 512, 2);
  boot[0x0D] = 8;
  test::PutLe(boot, 0x28, 8, 8);
  test::PutLe(boot, 0x30, 786432, 8);
  struct Recording : MemoryReader {
    using MemoryReader::MemoryReader;
    bool Seek(int64_t position, uint32_t method) override {
      seeks.push_back(position);
      return MemoryReader::Seek(position, method);
    }
    std::vector<int64_t> seeks;
  } reader(boot);
  struct Statuses : WorkerSink {
    void SetStatus(std::wstring_view t) override { texts.emplace_back(t); }
    void ProgressRange(int64_t, int64_t) override {}
    void ProgressPosition(int64_t) override {}
    std::vector<std::wstring> texts;
  } sink;
  VolumeEntry volume;
  ntfs e(reader, volume, sink);
  EXPECT_TRUE(e.ReadBootSector());
  EXPECT_EQ(e.volumeSize, 8u * 512);
  EXPECT_TRUE(e.LocateMft());
  EXPECT_NE(std::find(reader.seeks.begin(), reader.seeks.end(), int64_t{3221225472}), reader.seeks.end());
  EXPECT_EQ(sink.texts, (std::vector<std::wstring>{L"boot sector is fine.Getting run of mft entry...", L"Got run..."}));
  EXPECT_TRUE(e.mftRuns.empty());

  // 4096-byte sectors: the size is still total sectors x 512.
  test::PutLe(boot, 0x0B, 4096, 2);
  test::PutLe(boot, 0x28, 1000, 8);
  MemoryReader r2(boot);
  ntfs e2(r2, volume, sink);
  e2.ReadBootSector();
  EXPECT_EQ(e2.volumeSize, 512000u);

  // No NTFS identifier: the size comes from the size text, in MiB.
  MemoryReader r3(std::vector<uint8_t>(512, 0));
  volume.sizeText = L"2048   MB";
  LatestValueSink latest;
  ntfs e3(r3, volume, latest);
  EXPECT_TRUE(e3.ReadBootSector());
  EXPECT_EQ(e3.volumeSize, 2147483648u);
  EXPECT_FALSE(e3.LocateMft());
  EXPECT_EQ(latest.RangeMaximum(), 204);
  EXPECT_EQ(e3.bytesPerCluster, 4096u);
}

// Clusters of 64 KiB and more store the power of two negated; a cluster
// size that is no power of two, or above NTFS's 2 MiB, is not trusted and
// the default is used.
TEST(NtfsEngine, ClusterSizeFromTheBootSector) {
  const struct {
    uint16_t bytesPerSector;
    uint8_t code;
    uint64_t cluster;
  } cases[] = {
      {512, 8, 4096},    {4096, 1, 4096},    {512, 0xF4, 2u << 20}, {4096, 0xF7, 2u << 20},
      {512, 0xF3, 4096}, {1024, 0xF0, 4096}, {512, 3, 4096},        {512, 0, 4096},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.bytesPerSector << " x code " << int{c.code});
    std::vector<uint8_t> boot(512, 0);
    std::memcpy(boot.data() + 3, "NTFS", 4);
    test::PutLe(boot, 0x0B, c.bytesPerSector, 2);
    boot[0x0D] = c.code;
    test::PutLe(boot, 0x28, 8, 8);
    MemoryReader reader(boot);
    LatestValueSink sink;
    ntfs e(reader, VolumeEntry{}, sink);
    e.ReadBootSector();
    e.LocateMft();
    EXPECT_EQ(e.bytesPerCluster, c.cluster);
  }
}

TEST(NtfsEngine, DamagedBootSectorFindsTheMftByScanning) {
  VolumeBuilder v;
  v.SetRecord(6, File(5, u"a.jpg"));
  v.SetRecord(7, Folder(5, u"dir"));
  v.SetRecord(8, File(7, u"b.jpg"));
  std::vector<uint8_t> image = v.Build();
  Scan intact(image);
  std::memset(image.data(), 0, 512);
  Scan damaged(image, 1, L"1   MB");
  EXPECT_EQ(damaged.e().mftLocated, 1);
  ASSERT_EQ(damaged.e().entries.size(), intact.e().entries.size());
  for (size_t i = 0; i < intact.e().entries.size(); ++i) {
    EXPECT_EQ(damaged.e().entries[i].name, intact.e().entries[i].name) << i;
    EXPECT_EQ(damaged.e().entries[i].parentIndex, intact.e().entries[i].parentIndex) << i;
    EXPECT_EQ(damaged.e().entries[i].firstChild, intact.e().entries[i].firstChild) << i;
    EXPECT_EQ(damaged.e().entries[i].nextSibling, intact.e().entries[i].nextSibling) << i;
  }
}

TEST(NtfsEngine, LastFileNameWinsParentFromTheFirst) {
  VolumeBuilder v;
  RecordBuilder shortThenLong;
  shortThenLong.FileName(5, u"LONGNA~1.JPG", false, 0x20, 2);
  shortThenLong.FileName(7, u"long name.jpg", false, 0x20, 1);
  v.SetRecord(6, shortThenLong.Finish());
  RecordBuilder longThenShort;
  longThenShort.FileName(5, u"long name.jpg");
  longThenShort.FileName(5, u"LONGNA~1.JPG");
  v.SetRecord(7, longThenShort.Finish());
  RecordBuilder unnamed;
  std::vector<uint8_t> r;
  unnamed.FileName(5, u"x");
  r = unnamed.Finish();
  r[0x38 + 0x18 + 0x40] = 255;  // a length that overruns the attribute: not taken
  v.SetRecord(8, r);
  Scan s(v.Build());
  EXPECT_EQ(s.Name(6), "long name.jpg");
  EXPECT_EQ(s.at(6).parentIndex, 5);
  EXPECT_EQ(s.Name(7), "LONGNA~1.JPG");
  EXPECT_FALSE(s.at(8).HasName());
  // Each linked once, in record order.
  const auto root = s.Children(5);
  EXPECT_EQ(std::count(root.begin(), root.end(), 6), 1);
  EXPECT_EQ(std::count(root.begin(), root.end(), 7), 1);
}

TEST(NtfsEngine, RootChainInRecordOrderEndingInOrphanEntry) {
  VolumeBuilder v;
  for (int k = 1; k <= 4; ++k) v.SetRecord(k, File(5, u"$meta" + std::u16string(1, char16_t('0' + k))));
  v.SetRecord(6, File(5, u"six"));
  v.SetRecord(9, Folder(5, u"nine"));
  v.SetRecord(12, File(9, u"inner"));
  Scan s(v.Build());
  const int64_t orphan = s.e().orphanIndex;
  EXPECT_EQ(s.Children(5), (std::vector<int64_t>{1, 2, 3, 4, 6, 9, orphan}));
  EXPECT_EQ(s.Children(9), (std::vector<int64_t>{12}));
  EXPECT_EQ(s.at(orphan).parentIndex, 5);
  EXPECT_EQ(s.at(orphan).recordFlags, 1);
  EXPECT_EQ(s.Name(orphan), "ORPHAN_ENTRY");
  EXPECT_TRUE(s.at(orphan).IsDirectory());
  // The root is not its own child, and the MFT's record is not reachable.
  for (int64_t c : s.Children(5)) {
    EXPECT_NE(c, 5);
    EXPECT_NE(c, 0);
  }
}

TEST(NtfsEngine, OrphansChainInReverseTableOrder) {
  VolumeBuilder v;
  v.SetRecord(40, File(1000000, u"forty"));  // parent beyond the table
  v.SetRecord(90, File(6, u"ninety"));       // parent an earlier non-directory
  v.SetRecord(6, File(5, u"plain"));
  Scan s(v.Build());
  const int64_t orphan = s.e().orphanIndex;
  EXPECT_EQ(s.Children(orphan), (std::vector<int64_t>{90, 40}));
  EXPECT_EQ(s.at(40).nextSibling, -1);
  EXPECT_EQ(s.at(40).parentIndex, orphan);
  EXPECT_EQ(s.at(90).parentIndex, 6);
}

TEST(NtfsEngine, DeletedFileWhoseParentRecordWasReused) {
  VolumeBuilder v;
  // Parent record 20 now holds a plain file: the deleted child 30 comes
  // after it and becomes an orphan.
  v.SetRecord(20, File(5, u"reused"));
  v.SetRecord(30, File(20, u"lost.jpg", 0));
  // Child 31 comes before its parent 40, which is now a file: linked under it.
  v.SetRecord(31, File(40, u"early.jpg", 0));
  v.SetRecord(40, File(5, u"newer"));
  Scan s(v.Build());
  EXPECT_EQ(s.at(30).isOrphan, 1);
  EXPECT_TRUE(s.at(30).IsDeleted());
  EXPECT_EQ(s.at(31).isOrphan, 0);
  EXPECT_EQ(s.Children(40), (std::vector<int64_t>{31}));
  const auto orphans = s.Children(s.e().orphanIndex);
  EXPECT_NE(std::find(orphans.begin(), orphans.end(), 30), orphans.end());
}

// Every chain below the root is finite and no entry is reached twice.
void ExpectFiniteTree(Scan& s) {
  std::set<int64_t> seen;
  std::vector<int64_t> stack = {s.e().rootIndex};
  while (!stack.empty()) {
    const int64_t at = stack.back();
    stack.pop_back();
    ASSERT_TRUE(seen.insert(at).second) << "entry " << at << " reached twice";
    for (int64_t c : s.Children(at)) stack.push_back(c);
  }
}

// A root record whose parent reference points into its own subtree (root
// -> Photos -> root) hides nothing: Photos and its files stay below the root.
TEST(NtfsEngine, ARootWhoseParentIsItsOwnChildHidesNothing) {
  VolumeBuilder v;
  v.SetRecord(5, Folder(40, u"."));
  v.SetRecord(40, Folder(5, u"Photos"));
  for (int k = 0; k < 6; ++k) v.SetRecord(41 + k, File(40, u"IMG_000" + std::u16string(1, char16_t(u'1' + k)) + u".JPG"));
  Scan s(v.Build());
  ExpectFiniteTree(s);
  EXPECT_EQ(s.e().rootIndex, 5);
  std::set<int64_t> reached;
  std::vector<int64_t> stack = {5};
  while (!stack.empty()) {
    const int64_t at = stack.back();
    stack.pop_back();
    if (!reached.insert(at).second) continue;
    for (int64_t c : s.Children(at)) stack.push_back(c);
  }
  for (int64_t k = 40; k <= 46; ++k) EXPECT_TRUE(reached.count(k)) << k;
}

TEST(NtfsEngine, HostileParentsCannotMakeLoops) {
  VolumeBuilder v;
  v.SetRecord(6, File(5, u"top.jpg"));
  v.SetRecord(10, Folder(20, u"a"));  // a under b ...
  v.SetRecord(20, Folder(10, u"b"));  // ... and b under a
  v.SetRecord(21, Folder(21, u"self"));
  v.SetRecord(22, File(10, u"in-a.jpg"));
  v.SetRecord(30, Folder(31, u"c"));
  v.SetRecord(31, Folder(32, u"d"));
  v.SetRecord(32, Folder(30, u"e"));
  Scan s(v.Build());
  ExpectFiniteTree(s);
  EXPECT_EQ(s.at(21).isOrphan, 1);
  EXPECT_EQ(s.at(21).firstChild, 0);
  // Everything stays reachable from the root.
  std::set<int64_t> reached;
  std::vector<int64_t> stack = {5};
  while (!stack.empty()) {
    const int64_t at = stack.back();
    stack.pop_back();
    reached.insert(at);
    for (int64_t c : s.Children(at)) stack.push_back(c);
  }
  for (int64_t k : {10, 20, 21, 22, 30, 31, 32}) EXPECT_TRUE(reached.count(k)) << k;
}

TEST(NtfsEngine, LinkToParentSiblingWalkIsBounded) {
  VolumeBuilder v;
  v.SetRecord(6, Folder(5, u"d"));
  v.SetRecord(7, File(6, u"a"));
  v.SetRecord(8, File(6, u"b"));
  v.SetRecord(10, File(5, u"later"));
  const std::vector<uint8_t> image = v.Build();
  {
    // A chain damaged into a loop (7 -> 8 -> 7): appending entry 9 returns.
    Scan s(image);
    s.e().entries[8].nextSibling = 7;
    s.e().entries[9].parentIndex = 6;
    s.e().LinkToParent(9);
    EXPECT_TRUE(s.at(7).nextSibling == 9 || s.at(8).nextSibling == 9);
  }
  {
    // A chain that points to itself: the new entry goes after it.
    Scan s(image);
    s.e().entries[8].nextSibling = 8;
    s.e().entries[9].parentIndex = 6;
    s.e().LinkToParent(9);
    EXPECT_EQ(s.at(8).nextSibling, 9);
    EXPECT_EQ(s.Children(6), (std::vector<int64_t>{7, 8, 9}));
  }
}

TEST(NtfsEngine, DeepModeGroupsUnderTheNearestDirectory) {
  VolumeBuilder v;
  v.SetRecord(6, File(5, u"before1.jpg"));
  v.SetRecord(7, File(5, u"before2.jpg"));
  v.SetRecord(8, Folder(5, u"D"));
  v.SetRecord(9, File(8, u"inD.jpg"));
  v.SetRecord(10, Folder(5, u"E"));
  v.SetRecord(11, File(10, u"inE.jpg"));
  Scan s(v.Build(), 3);
  auto index = [&](const std::string& name) {
    for (size_t i = 0; i < s.e().entries.size(); ++i)
      if (s.Name(static_cast<int64_t>(i)) == name) return static_cast<int64_t>(i);
    return int64_t{-1};
  };
  const int64_t orphan = s.e().orphanIndex;
  const auto top = s.Children(orphan);
  // Directories first (latest in front), then the files met before them.
  std::vector<std::string> names;
  for (int64_t c : top) names.push_back(s.Name(c));
  EXPECT_EQ(names, (std::vector<std::string>{"E", "D", "before2.jpg", "before1.jpg", "$MFT"}));
  EXPECT_EQ(s.Children(index("D")), (std::vector<int64_t>{index("inD.jpg")}));
  EXPECT_EQ(s.Children(index("E")), (std::vector<int64_t>{index("inE.jpg")}));
  for (int64_t c : top) EXPECT_EQ(s.at(c).isOrphan, 1);
}

// The volume scans read a source smaller than a chunk into a buffer of its
// own size: a record in the source's last whole slot, and on a larger source
// one across the chunk boundary, are found whatever the source's length.
TEST(NtfsEngine, ScansFindRecordsAtTheSourceEndAndAcrossAChunk) {
  constexpr size_t kChunk = 10 << 20;
  for (const size_t length : {size_t{64 << 10} + 1536, kChunk - 1024, kChunk + 1536}) {
    SCOPED_TRACE(length);
    std::vector<uint8_t> image = VolumeBuilder(length / 4096 + 1).Build();
    image.resize(length);
    const size_t last = (length - 1024) / 512 * 512;
    std::vector<size_t> places{last};
    if (length > kChunk) places.push_back(kChunk - 512);
    for (const size_t at : places) {
      const std::vector<uint8_t> record = File(5, u"at" + WideToUtf16(std::to_wstring(at)) + u".jpg");
      std::memcpy(image.data() + at, record.data(), record.size());
    }
    Scan deep(image, 3);
    std::set<uint64_t> found;
    for (const NtfsEntryRecord& e : deep.e().entries)
      if (e.HasName() && Utf16ToUtf8(e.name).rfind("at", 0) == 0) found.insert(e.recordOffset);
    EXPECT_EQ(found, std::set<uint64_t>(places.begin(), places.end()));
  }
}

TEST(NtfsEngine, TimesAndAttributeLetters) {
  VolumeBuilder v;
  RecordBuilder a;
  a.StandardInformation(0x01D0000000000001, 0x01D0000000000002, 0x01D0000000000003);
  a.FileName(5, u"ra", false, 0x0021);
  v.SetRecord(6, a.Finish());
  RecordBuilder b;
  b.FileName(5, u"LONGNA~1", false, 0x0001);
  b.FileName(5, u"s", false, 0x0200);
  v.SetRecord(7, b.Finish());
  RecordBuilder c;
  c.FileName(5, u"all", false, 0x4A23);
  v.SetRecord(8, c.Finish());
  Scan s(v.Build());
  const EntryTimes ta = s.e().GetTimesAndAttributes(s.at(6).recordOffset);
  EXPECT_EQ(ta.creation, 0x01D0000000000001u);
  EXPECT_EQ(ta.modification, 0x01D0000000000002u);
  EXPECT_EQ(ta.access, 0x01D0000000000003u);
  EXPECT_EQ(ta.attributes, L"-R-A");
  EXPECT_EQ(s.e().GetTimesAndAttributes(s.at(7).recordOffset).attributes, L"-S");
  EXPECT_EQ(s.e().GetTimesAndAttributes(s.at(8).recordOffset).attributes, L"-R-H-S-A-C-E");
  const EntryTimes none = s.e().GetTimesAndAttributes(uint64_t{1} << 63);
  EXPECT_EQ(none.creation, 0u);
  EXPECT_TRUE(none.attributes.empty());
}

TEST(NtfsEngine, DataSummaries) {
  VolumeBuilder v;
  const auto nonResident = [&](uint16_t flags) {
    RecordBuilder r;
    r.FileName(5, u"f");
    r.NonResident(0x80, RunList({{100, 2}}), 0, 1, 5000, flags, flags & 1 ? 4 : 0);
    return r.Finish();
  };
  v.SetRecord(6, nonResident(0x0000));
  v.SetRecord(7, nonResident(0x0001));
  v.SetRecord(8, nonResident(0x8001));
  v.SetRecord(9, nonResident(0x4000));
  RecordBuilder resident;
  resident.FileName(5, u"r");
  const uint32_t at = resident.Resident(0x80, std::vector<uint8_t>(300, 7));
  resident.Resident(0x80, {1, 2, 3}, 0, u"Zone.Identifier");  // a named stream after it
  v.SetRecord(10, resident.Finish());
  RecordBuilder named;
  named.FileName(5, u"n");
  named.Resident(0x80, {1, 2}, 0, u"Stream");
  named.NonResident(0x80, RunList({{100, 2}}), 0, 1, 8000);  // the unnamed one, not first
  v.SetRecord(11, named.Finish());
  Scan s(v.Build());
  auto summary = [&](int64_t i) { return s.e().DataAttributeInfo(s.e().ReadRecordHeader(i)); };
  DataAttributeSummary d = summary(6);
  EXPECT_EQ(d.residency, 'N');
  EXPECT_EQ(d.dataSize, 5000u);
  EXPECT_EQ(d.lastVcn, 1u);
  EXPECT_STREQ(d.storageText, L"Normal");
  EXPECT_EQ(s.e().hasDataAttribute, 1);
  d = summary(7);
  EXPECT_STREQ(d.storageText, L"Compressed");
  EXPECT_EQ(d.compressionUnit, 4);
  EXPECT_EQ(summary(8).storageText, nullptr);
  EXPECT_STREQ(summary(9).storageText, L"Encrypted");
  d = summary(10);
  EXPECT_EQ(d.residency, 'R');
  EXPECT_EQ(d.dataLength, 300u);
  EXPECT_EQ(d.dataOffset, at + 0x18);
  EXPECT_EQ(summary(11).dataSize, 8000u);
  EXPECT_EQ(s.e().EntryDataSize(10), 300u);
  EXPECT_EQ(s.e().EntryDataSize(11), 8000u);
  // A directory without a data attribute after one with data: a fresh flag.
  summary(6);
  summary(5);
  EXPECT_EQ(s.e().hasDataAttribute, 0);
}

// Extraction ----------------------------------------------------------------

struct Extracted {
  bool ok = false;
  std::vector<uint8_t> bytes;
  std::string path;
  struct stat st {};  // taken before the bytes are read back
};

Extracted Extract(Scan& s, int64_t index, const test::TempFolder& folder) {
  s.e().outputPath = folder.path() + "/  ";
  Extracted x;
  x.ok = s.e().ExtractEntry(std::to_wstring(index));
  x.path = s.e().outputPath;
  ::stat(x.path.c_str(), &x.st);
  x.bytes = test::ReadBinaryFile(x.path);
  return x;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + seed + i / 251);
  return b;
}

TEST(NtfsExtract, NonResidentDataEndsAtTheDataSize) {
  VolumeBuilder v;
  const uint64_t d = v.FirstDataCluster() + 10;
  const std::vector<uint8_t> content = Pattern(3 * 4096, 1);
  v.SetCluster(d, content);
  RecordBuilder a;
  a.StandardInformation(0x01D9000000000000, 0x01D9100000000000, 0x01D9200000000000);
  a.FileName(5, u"five.jpg");
  a.NonResident(0x80, RunList({{static_cast<int64_t>(d), 2}}), 0, 1, 5000);
  v.SetRecord(6, a.Finish());
  RecordBuilder b;
  b.FileName(5, u"exact.jpg");
  b.NonResident(0x80, RunList({{static_cast<int64_t>(d), 2}}), 0, 1, 8192);
  v.SetRecord(7, b.Finish());
  // Fragmented with a hole: cluster d+2, two sparse clusters, cluster d.
  RecordBuilder c;
  c.FileName(5, u"holes.jpg");
  c.NonResident(0x80, RunList({{static_cast<int64_t>(d + 2), 1}, {-1, 2}, {static_cast<int64_t>(d), 1}}), 0, 3,
                4 * 4096 - 100);
  v.SetRecord(8, c.Finish());
  Scan s(v.Build());
  test::TempFolder out;
  Extracted x = Extract(s, 6, out);
  EXPECT_TRUE(x.ok);
  EXPECT_EQ(x.path, out.path() + "/five.jpg");
  EXPECT_EQ(x.bytes, std::vector<uint8_t>(content.begin(), content.begin() + 5000));
  const struct stat& st = x.st;
  const UnixTime m = FileTimeToUnix(0x01D9100000000000), a2 = FileTimeToUnix(0x01D9200000000000);
  EXPECT_EQ(st.st_mtim.tv_sec, m.seconds);
  EXPECT_EQ(st.st_mtim.tv_nsec, m.nanoseconds);
  EXPECT_EQ(st.st_atim.tv_sec, a2.seconds);

  x = Extract(s, 7, out);
  EXPECT_EQ(x.bytes, std::vector<uint8_t>(content.begin(), content.begin() + 8192));
  x = Extract(s, 8, out);
  std::vector<uint8_t> want(content.begin() + 8192, content.end());
  want.resize(3 * 4096, 0);
  want.insert(want.end(), content.begin(), content.begin() + 4096 - 100);
  EXPECT_EQ(x.bytes, want);
}

// A file that declares 2^52 bytes in one sparse run (and a compressed one
// whose units are all sparse) is saved as holes: its length is right and
// it takes almost no space.
// A name of 255 UTF-16 characters, the longest NTFS allows, names its file.
TEST(NtfsExtract, LongestNameIsTakenAndSaved) {
  VolumeBuilder v;
  const std::u16string name = std::u16string(251, u'n') + u".jpg";
  v.SetRecord(6, File(5, name));
  Scan s(v.Build());
  ASSERT_TRUE(s.at(6).HasName());
  EXPECT_EQ(s.Name(6), Utf16ToUtf8(name));
  const auto root = s.Children(5);
  EXPECT_EQ(std::count(root.begin(), root.end(), 6), 1);
  test::TempFolder out;
  const Extracted x = Extract(s, 6, out);
  EXPECT_TRUE(x.ok);
  EXPECT_EQ(x.path, out.path() + "/" + Utf16ToUtf8(name));
  EXPECT_EQ(x.bytes, std::vector<uint8_t>{'x'});
}

TEST(NtfsExtract, SparseDataBecomesHolesOfTheSavedFile) {
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no tmpfs at /dev/shm";
  VolumeBuilder v;
  const uint64_t clusters = uint64_t{1} << 40, size = clusters * 4096;
  RecordBuilder plain;
  plain.FileName(5, u"huge.jpg");
  plain.NonResident(0x80, RunList({{-1, clusters}}), 0, clusters - 1, size);
  v.SetRecord(6, plain.Finish());
  RecordBuilder compressed;
  compressed.FileName(5, u"huge.mov");
  compressed.NonResident(0x80, RunList({{-1, clusters}}), 0, clusters - 1, size, 0x0001, 4);
  v.SetRecord(7, compressed.Finish());
  Scan s(v.Build());
  char pattern[] = "/dev/shm/lv-sparse-XXXXXX";
  ASSERT_TRUE(mkdtemp(pattern));
  for (const char* name : {"huge.jpg", "huge.mov"}) {
    s.e().outputPath = std::string(pattern) + "/";
    EXPECT_TRUE(s.e().ExtractEntry(name == std::string("huge.jpg") ? L"6" : L"7"));
    struct stat st{};
    ASSERT_EQ(::stat((std::string(pattern) + "/" + name).c_str(), &st), 0);
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), size) << name;
    EXPECT_LT(static_cast<uint64_t>(st.st_blocks) * 512, uint64_t{1} << 20) << name;
    std::filesystem::remove(std::string(pattern) + "/" + name);
  }
  std::filesystem::remove(pattern);
}

TEST(NtfsExtract, ResidentDataAcrossTheSectorEndIsFixedUp) {
  VolumeBuilder v;
  RecordBuilder r;
  r.FileName(5, u"res.txt");
  // Padding so that the data's content starts at 0x150 and crosses 510..511.
  r.Resident(0x40, std::vector<uint8_t>(0x150 - 0x18 - r.position - 0x18, 0));
  const std::vector<uint8_t> content = Pattern(600, 3);
  r.Resident(0x80, content);
  v.SetRecord(6, r.Finish());
  Scan s(v.Build());
  test::TempFolder out;
  EXPECT_EQ(Extract(s, 6, out).bytes, content);
}

TEST(NtfsExtract, MessagesAndFailures) {
  VolumeBuilder v;
  RecordBuilder dir(3);
  dir.FileName(5, u"dirdata", true);
  dir.Resident(0x80, {1}, 0, u"stream");
  v.SetRecord(6, dir.Finish());
  v.SetRecord(7, Folder(5, u"plain dir"));
  std::vector<uint8_t> bad = File(5, u"bad.jpg");
  v.SetRecord(8, bad);
  v.SetRecord(9, File(5, u"a/b"));
  std::vector<uint8_t> image = v.Build();
  Scan s(image);
  // The record of entry 8 is no longer a file record when extracted.
  std::memcpy(s.reader.Image().data() + s.at(8).recordOffset, "BAAD", 4);
  RecordingMessageBox box;
  ScopedMessages scoped(&box);
  test::TempFolder out;

  Extracted x = Extract(s, 6, out);
  EXPECT_TRUE(x.ok);
  EXPECT_TRUE(x.bytes.empty());
  EXPECT_EQ(box.Texts(), (std::vector<std::wstring>{L"This is  dirdata directory .Please specify file names "}));
  box.Clear();
  x = Extract(s, 7, out);  // no data attribute: an empty file, no message
  EXPECT_TRUE(x.ok);
  EXPECT_TRUE(box.Texts().empty());
  x = Extract(s, 8, out);
  EXPECT_FALSE(x.ok);
  EXPECT_TRUE(test::FileExists(out.path() + "/bad.jpg"));
  EXPECT_EQ(box.Texts(), (std::vector<std::wstring>{L"not a valid entry..."}));
  box.Clear();
  // A name with "/" stays one component inside the folder.
  x = Extract(s, 9, out);
  EXPECT_TRUE(x.ok);
  EXPECT_EQ(x.path, out.path() + "/a%2Fb");
  EXPECT_EQ(x.bytes, std::vector<uint8_t>{'x'});
  // No name, or an index outside the table: false, nothing written.
  EXPECT_FALSE(s.e().ExtractEntry(L"3"));
  EXPECT_FALSE(s.e().ExtractEntry(L"999999"));
  // A folder that cannot be opened, and a write error (a child process
  // whose file-size limit refuses every byte), are reported and are no
  // success.
  s.e().outputPath = out.path() + "/missing/";
  EXPECT_FALSE(s.e().ExtractEntry(L"9"));
  const pid_t child = fork();
  if (child == 0) {
    RecordingMessageBox childBox;
    ScopedMessages childScope(&childBox);
    const rlimit none{0, 0};
    signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &none);
    s.e().outputPath = out.path() + "/";
    const bool ok = s.e().ExtractEntry(L"9");
    _exit(!ok && childBox.Texts().size() == 1 ? 0 : 1);
  }
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// LZNT1 for one 4096-byte chunk of a repeated byte: flag, literal, one
// back-reference of 4095 bytes.
std::vector<uint8_t> RepeatChunk(uint8_t b) {
  const uint16_t token = static_cast<uint16_t>(4095 - 3);  // offset 1, length 4095 at position 1
  return {0x03, 0xB0, 0x02, b, static_cast<uint8_t>(token), static_cast<uint8_t>(token >> 8)};
}

TEST(NtfsExtract, CompressedUnitsSparseUnitsAndStoredUnits) {
  VolumeBuilder v;
  const int64_t d = static_cast<int64_t>(v.FirstDataCluster()) + 4;
  // Unit 0: compressed into one cluster (16 chunks of repeated bytes).
  std::vector<uint8_t> unit0;
  std::vector<uint8_t> want;
  for (int k = 0; k < 16; ++k) {
    const auto chunk = RepeatChunk(static_cast<uint8_t>('A' + k));
    unit0.insert(unit0.end(), chunk.begin(), chunk.end());
    want.insert(want.end(), 4096, static_cast<uint8_t>('A' + k));
  }
  unit0.resize(4096, 0);
  v.SetCluster(static_cast<uint64_t>(d), unit0);
  // Unit 1: sparse. Unit 2: stored as it is in 16 clusters.
  want.insert(want.end(), 65536, 0);
  const std::vector<uint8_t> stored = Pattern(65536, 9);
  v.SetCluster(static_cast<uint64_t>(d + 1), stored);
  want.insert(want.end(), stored.begin(), stored.end());
  const uint64_t size = 3 * 65536 - 1000;
  want.resize(size);
  RecordBuilder r;
  r.FileName(5, u"c.jpg");
  r.NonResident(0x80, RunList({{d, 1}, {-1, 15}, {-1, 16}, {d + 1, 16}}), 0, 47, size, 0x0001, 4);
  v.SetRecord(6, r.Finish());
  // The same data through an attribute list: base record 7 lists records 8
  // (first 32 clusters) and 9 (the rest).
  RecordBuilder base;
  base.FileName(5, u"listed.jpg");
  std::vector<uint8_t> list;
  for (uint64_t rec : {8u, 9u}) {
    std::vector<uint8_t> e(0x20, 0);
    test::PutLe(e, 0, 0x80, 4);
    test::PutLe(e, 4, 0x20, 2);
    test::PutLe(e, 0x10, rec, 4);
    list.insert(list.end(), e.begin(), e.end());
  }
  base.Resident(0x20, list);
  v.SetRecord(7, base.Finish());
  RecordBuilder first(1);
  first.NonResident(0x80, RunList({{d, 1}, {-1, 15}, {-1, 16}}), 0, 31, size, 0x0001, 4);
  v.SetRecord(8, first.Finish());
  RecordBuilder second(1);
  second.NonResident(0x80, RunList({{d + 1, 16}}), 32, 47, 0, 0x0001, 4);
  v.SetRecord(9, second.Finish());
  Scan s(v.Build());
  test::TempFolder out;
  Extracted x = Extract(s, 6, out);
  EXPECT_TRUE(x.ok);
  EXPECT_EQ(x.bytes.size(), size);
  EXPECT_TRUE(x.bytes == want);
  x = Extract(s, 7, out);
  EXPECT_EQ(x.bytes.size(), size);
  EXPECT_TRUE(x.bytes == want);
  EXPECT_EQ(s.e().EntryDataSize(7), size);
  // A compression unit too large to be real is read as stored clusters,
  // without a buffer of that size.
  std::vector<uint8_t>& image = s.reader.Image();
  const uint64_t at = s.at(6).recordOffset + 0x38;
  uint32_t pos = 0;
  while (image[at + pos] != 0x80) pos += image[at + pos + 4] | image[at + pos + 5] << 8;
  image[at + pos + 0x22] = 15;  // 2^15 clusters of 4096 bytes per unit
  x = Extract(s, 6, out);
  EXPECT_TRUE(x.ok);
  EXPECT_EQ(x.bytes.size(), size);
  EXPECT_EQ(std::vector<uint8_t>(x.bytes.begin(), x.bytes.begin() + 4096), unit0);
}

}  // namespace
}  // namespace lv
