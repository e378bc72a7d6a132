// Fat64Class on small volumes built here byte by byte: boot sectors no
// exFAT volume has, chains that loop or leave the table, entry sets cut by
// the end of their directory or followed by an older set's name entries,
// two folders on one cluster, and the timestamps saved files get.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>

#include "TestSupport.h"
#include "catalogue/MemoryViews.h"
#include "catalogue/ScanJob.h"
#include "common/Text.h"
#include "fat/Exfat.h"
#include "fat/ExfatAdapter.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

// A volume of 512-byte sectors and clusters: table at sector 24, heap at
// sector 40, root at cluster 2, allocation bitmap in cluster 3.
class Image {
 public:
  explicit Image(uint32_t clusters = 200) : clusters_(clusters), bytes((40 + clusters) * 512, 0) {
    uint8_t* b = bytes.data();
    b[0] = 0xEB, b[1] = 0x76, b[2] = 0x90;
    std::memcpy(b + 3, "EXFAT   ", 8);
    Put32(80, 24);
    Put32(84, 16);
    Put32(88, 40);
    Put32(92, clusters);
    Put32(96, 2);
    b[108] = 9, b[109] = 0;
    Link({2});
    Link({3});
    Used(2), Used(3);
    uint8_t* bitmap = Slot(2, 0);
    bitmap[0] = 0x81;
    Put32(Offset(2) + 20, 3);
    Put32(Offset(2) + 24, (clusters + 7) / 8);
  }
  static uint64_t Offset(uint32_t cluster) { return (40 + uint64_t{cluster} - 2) * 512; }
  uint8_t* Slot(uint32_t cluster, size_t slot) { return bytes.data() + Offset(cluster) + slot * 32; }
  void Put32(uint64_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void Fat(uint32_t cluster, uint32_t value) { Put32(24 * 512 + uint64_t{cluster} * 4, value); }
  // Table links along the clusters, the last one ending the chain.
  void Link(std::initializer_list<uint32_t> chain) {
    const uint32_t* c = chain.begin();
    for (; c + 1 != chain.end(); ++c) Fat(*c, c[1]);
    Fat(*c, 0xFFFFFFFF);
  }
  void Used(uint32_t cluster) { bytes[Offset(3) + (cluster - 2) / 8] |= static_cast<uint8_t>(1 << ((cluster - 2) % 8)); }

  struct Set {
    std::u16string name;
    uint16_t attributes = 0x20;
    uint32_t firstCluster = 0;
    uint64_t size = 0;
    uint8_t flags = 3;
    bool deleted = false;
    uint32_t modified = 0x52C16000;  // 2021-06-01 12:00:00
  };
  // Writes a set at a byte position of the heap; returns the entries used.
  size_t Put(uint64_t at, const Set& s) {
    const size_t names = (s.name.size() + 14) / 15;
    uint8_t* e = bytes.data() + at;
    const uint8_t live = s.deleted ? 0 : 0x80;
    e[0] = 0x05 | live;
    e[1] = static_cast<uint8_t>(1 + names);
    e[4] = static_cast<uint8_t>(s.attributes), e[5] = static_cast<uint8_t>(s.attributes >> 8);
    Put32(at + 8, s.modified), Put32(at + 12, s.modified), Put32(at + 16, s.modified);
    e[32] = 0x40 | live;
    e[33] = s.flags;
    e[35] = static_cast<uint8_t>(s.name.size());
    Put32(at + 32 + 8, static_cast<uint32_t>(s.size));
    Put32(at + 32 + 20, s.firstCluster);
    Put32(at + 32 + 24, static_cast<uint32_t>(s.size));
    for (size_t n = 0; n < names; ++n) {
      uint8_t* ne = e + 64 + 32 * n;
      ne[0] = 0x41 | live;
      for (size_t c = 0; c < 15 && n * 15 + c < s.name.size(); ++c) {
        ne[2 + 2 * c] = static_cast<uint8_t>(s.name[n * 15 + c]);
        ne[3 + 2 * c] = static_cast<uint8_t>(s.name[n * 15 + c] >> 8);
      }
    }
    return 2 + names;
  }
  size_t Put(uint32_t cluster, size_t slot, const Set& s) { return Put(Offset(cluster) + slot * 32, s); }

  uint32_t clusters_;
  std::vector<uint8_t> bytes;
};

struct Scan {
  explicit Scan(const Image& image) : reader(image.bytes), engine(reader, VolumeEntry{}, sink) {
    ok = engine.AttachVolume() && engine.CheckBootSector() && engine.LoadRootDirectory();
    if (!ok) return;
    engine.CollectEntries();
    engine.LinkEntries();
  }
  // path → record, every entry reachable from the root.
  std::map<std::string, const ExFatEntryRecord*> Paths() const {
    std::map<std::string, const ExFatEntryRecord*> out;
    std::vector<std::pair<int32_t, std::string>> stack = {{0, ""}};
    for (size_t steps = 0; !stack.empty() && steps < 100000; ++steps) {
      const auto [folder, prefix] = stack.back();
      stack.pop_back();
      for (int32_t c = engine.entries[static_cast<size_t>(folder)].firstChild; c > 0;
           c = engine.entries[static_cast<size_t>(c)].nextSibling) {
        const ExFatEntryRecord& e = engine.entries[static_cast<size_t>(c)];
        const std::string path = prefix + Utf16ToUtf8(e.name);
        out[path] = &e;
        if (e.IsFolder()) stack.push_back({c, path + "/"});
      }
    }
    return out;
  }
  MemoryReader reader;
  LatestValueSink sink;
  Fat64Class engine;
  bool ok = false;
};

// A whole scan job on the image.
struct Job {
  explicit Job(std::vector<uint8_t> bytes) : reader(std::move(bytes)), job(tree, list, sink) {
    ScanStart start;
    start.volume.fileSystem = L"FAT64";
    job.Start(start, &reader);
    job.Wait();
  }
  RecordingMessageBox box;
  ScopedMessages scope{&box};
  MemoryReader reader;
  MemoryResultTree tree;
  MemoryFileList list;
  LatestValueSink sink;
  ScanJob job;
};

std::vector<std::wstring> JobMessages(std::vector<uint8_t> bytes) { return Job(std::move(bytes)).box.Texts(); }

TEST(ExfatBoot, ImpossibleGeometryIsRefusedWithTheMessage) {
  const std::wstring notExfat = L"Selected Drive is not in exFat Format";
  const struct {
    const char* what;
    size_t offset;
    uint32_t value;
    size_t width;
    std::vector<std::wstring> messages;
  } cases[] = {
      {"sectors of 256 bytes", 108, 8, 1, {notExfat}},
      {"sectors of 8 KiB", 108, 13, 1, {notExfat}},
      {"clusters of 64 MiB", 109, 17, 1, {notExfat}},
      {"clusters of 2^255 sectors", 109, 255, 1, {notExfat}},
      {"no table", 84, 0, 4, {notExfat}},
      {"not EXFAT", 3, 'X', 1, {notExfat}},
      {"root beyond the heap", 96, 5000, 4, {L"error..."}},
      {"root cluster 1", 96, 1, 4, {L"error..."}},
  };
  for (const auto& c : cases) {
    Image image;
    for (size_t i = 0; i < c.width; ++i) image.bytes[c.offset + i] = static_cast<uint8_t>(c.value >> (8 * i));
    Job job(image.bytes);
    EXPECT_EQ(job.box.Texts(), c.messages) << c.what;
    EXPECT_TRUE(job.job.VolumeRefused()) << c.what;
  }
  EXPECT_EQ(JobMessages(std::vector<uint8_t>(100, 0)), (std::vector<std::wstring>{L"cant read file", notExfat}));
  // A good volume: its row texts, the attribute letters of the low byte.
  Image good;
  good.Put(2, 1, {u"a.jpg", 0x127, 5, 10});
  Job job(good.bytes);
  EXPECT_EQ(job.box.Texts(), std::vector<std::wstring>{L"Scanning process completed..."});
  EXPECT_FALSE(job.job.VolumeRefused());
  ASSERT_EQ(job.job.Table()->TopLevel().size(), 1u);
  const EntryTexts texts = job.job.Table()->Texts(job.job.Table()->TopLevel()[0]);
  EXPECT_EQ(texts.attributes, L"-R-H-S-A");
  EXPECT_EQ(texts.modification, L"06/01/2021  12:00 AM");
  EXPECT_EQ(texts.size, L"10 Bytes");
}

TEST(ExfatWalk, LoopsSharedClustersAndCutSetsEndTheWalk) {
  Image image;
  // The root runs 2 → 4 → 2; folder A's chain leaves the table after its
  // first cluster; folder B is the root itself; the root's second cluster
  // ends with a file entry whose stream and name entries would lie past
  // the directory's end.
  image.Link({2, 4});
  image.Fat(4, 2);
  image.Put(2, 1, {u"A", 0x10, 9, 2048, 1});
  image.Fat(9, 0x0FFFFFF0);
  image.Put(2, 4, {u"B", 0x10, 2, 512, 3});
  image.Put(4, 0, {u"in root 2.jpg", 0x20, 6, 100});
  image.Put(9, 0, {u"in A.jpg", 0x20, 7, 100});
  // The cut set: its stream and name entries land in cluster 5, which
  // nothing reads.
  image.Put(Image::Offset(4) + 15 * 32, {u"cut.jpg", 0x20, 8, 100});
  Scan scan(image);
  ASSERT_TRUE(scan.ok);
  std::vector<std::string> paths;
  for (const auto& [path, e] : scan.Paths()) paths.push_back(path);
  // The cut set keeps its file entry: listed without a name or data.
  EXPECT_EQ(paths, (std::vector<std::string>{"", "A", "A/in A.jpg", "B", "in root 2.jpg"}));
  EXPECT_EQ(scan.Paths().at("")->validDataLength, 0u);
}

TEST(ExfatWalk, NamesComeFromTheSetOnlyAndTheLiveFolderKeepsItsCluster) {
  Image image;
  image.Link({2, 20});
  // A set of one name entry written over a longer deleted one: the old
  // set's last name entries follow it.
  image.Put(2, 1, {u"an older and much longer name.jpg", 0x20, 6, 100, 3, true});
  image.Put(2, 1, {u"new.jpg", 0x20, 6, 100});
  // Two folders on one cluster, in either order of deleted and live.
  image.Put(2, 6, {u"old folder", 0x10, 7, 512, 3, true});
  image.Put(2, 9, {u"new folder", 0x10, 7, 512});
  image.Put(20, 0, {u"kept", 0x10, 8, 512});
  image.Put(20, 3, {u"kept, deleted", 0x10, 8, 512, 3, true});
  image.Put(7, 0, {u"inside.jpg", 0x20, 9, 10});
  Scan scan(image);
  ASSERT_TRUE(scan.ok);
  std::vector<std::string> names;
  for (const auto& [path, e] : scan.Paths()) names.push_back(path + (e->IsDeleted() ? " (deleted)" : ""));
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "new folder", "new folder/inside.jpg", "new.jpg"}));
}

TEST(ExfatData, ClustersOutsideTheHeapAreNotReadAndDeletedChainsComeFromFreeClusters) {
  Image image;
  image.Put(2, 1, {u"outside.jpg", 0x20, 900, 1000});
  // A deleted chained file of three clusters (10, 12, 14) whose table
  // entries its deletion freed; 11 and 13 belong to a live file.
  image.Put(2, 4, {u"deleted.mp3", 0x20, 10, 1536, 1, true});
  image.Put(2, 8, {u"live.mp3", 0x20, 11, 1024, 1});
  image.Link({11, 13});
  image.Used(11), image.Used(13);
  for (uint32_t c : {10u, 11u, 12u, 13u, 14u}) std::memset(image.bytes.data() + Image::Offset(c), 'a' + (c - 10), 512);
  Scan scan(image);
  ASSERT_TRUE(scan.ok);
  const auto paths = scan.Paths();
  EntryData outside = scan.engine.OpenRecordData(*paths.at("outside.jpg"));
  EXPECT_FALSE(outside.stream);
  EXPECT_EQ(WideToUtf8(outside.unreadable), "The data of outside.jpg lies outside the volume; it was not written.");
  test::TempFolder out;
  ASSERT_TRUE(scan.engine.ExtractFile(out.path() + "/deleted.mp3", *paths.at("deleted.mp3")));
  EXPECT_EQ(test::ReadTextFile(out.path() + "/deleted.mp3"),
            std::string(512, 'a') + std::string(512, 'c') + std::string(512, 'e'));
  // The same file with the volume taken as formatted: consecutive clusters.
  FormattedDriveMode.store(1);
  EntryData formatted = scan.engine.OpenRecordData(*paths.at("deleted.mp3"));
  FormattedDriveMode.store(0);
  std::string bytes;
  ASSERT_TRUE(ReadWhole(formatted, 1 << 20, bytes));
  EXPECT_EQ(bytes, std::string(512, 'a') + std::string(512, 'b') + std::string(512, 'c'));
}

uint32_t Timestamp(int year, int month, int day, int hour, int minute, int second) {
  return static_cast<uint32_t>((year - 1980) << 25 | month << 21 | day << 16 | hour << 11 | minute << 5 | second / 2);
}

TEST(ExfatTime, TimestampsUseTheirUtcOffsetAndInvalidOnesStampNothing) {
  const uint32_t stored = Timestamp(2022, 1, 23, 20, 35, 24);
  const int64_t asUtc = 1642970124;  // 2022-01-23 20:35:24 UTC
  const struct {
    uint32_t timestamp;
    uint8_t increment, offset;
    std::optional<int64_t> seconds;
    int64_t nanoseconds;
  } cases[] = {
      {stored, 0, 0x80, asUtc, 0},                    // UTC
      {stored, 0, 0x80 | 12, asUtc - 3 * 3600, 0},    // UTC+3: 12 quarters east
      {stored, 0, 0x80 | 0x6C, asUtc + 5 * 3600, 0},  // UTC-5: -20 quarters
      {stored, 150, 0x80, asUtc + 1, 500'000'000},    // 1.5 s more
      {Timestamp(2022, 1, 30, 20, 35, 24), 0, 0x80, asUtc + 7 * 86400, 0},
      {Timestamp(2022, 0, 23, 20, 35, 24), 0, 0x80, std::nullopt, 0},
      {Timestamp(2022, 2, 30, 20, 35, 24), 0, 0x80, std::nullopt, 0},
      {Timestamp(2022, 1, 23, 24, 0, 0), 0, 0x80, std::nullopt, 0},
  };
  for (const auto& c : cases) {
    const auto t = ExfatTimestampToUnix(c.timestamp, c.increment, c.offset);
    ASSERT_EQ(t.has_value(), c.seconds.has_value()) << std::hex << c.timestamp;
    if (!t) continue;
    EXPECT_EQ(t->seconds, *c.seconds) << std::hex << c.timestamp;
    EXPECT_EQ(t->nanoseconds, c.nanoseconds);
  }
  // Without a valid offset: the clock time of this machine's zone.
  const char* zone = std::getenv("TZ");
  const std::string saved = zone ? zone : "";
  ::setenv("TZ", "UTC-3", 1);
  ::tzset();
  const auto local = ExfatTimestampToUnix(stored, 0, 0x0C);
  zone ? ::setenv("TZ", saved.c_str(), 1) : ::unsetenv("TZ");
  ::tzset();
  ASSERT_TRUE(local);
  EXPECT_EQ(local->seconds, asUtc - 3 * 3600);

  ExFatEntryRecord r;
  r.modifyTimestamp = stored;
  r.modifyUtcOffset = 0x80;
  r.accessTimestamp = 0;  // month 0: takes the modification time
  ASSERT_TRUE(ExfatFileTimes(r));
  EXPECT_EQ(ExfatFileTimes(r)->accessSeconds, asUtc);
  std::swap(r.modifyTimestamp, r.accessTimestamp);
  EXPECT_FALSE(ExfatFileTimes(r));
}

}  // namespace
}  // namespace lv
