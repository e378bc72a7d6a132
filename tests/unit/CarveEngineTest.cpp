// The carving engine on images built in memory: classification, the advance
// rules, sizes, pending starts, unreadable sectors and stop.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/MessageBox.h"
#include "raw/ChunkPrefetch.h"
#include "raw/MyJpg.h"

namespace lv {
namespace {

constexpr int64_t MiB = 1 << 20;

CarveRule Rule(std::vector<uint8_t> start, std::vector<uint8_t> end = {}, int64_t approx = 0) {
  CarveRule rule;
  std::copy(start.begin(), start.end(), rule.startSignature.begin());
  rule.startLength = static_cast<uint8_t>(start.size());
  std::copy(end.begin(), end.end(), rule.endSignature.begin());
  rule.endLength = static_cast<uint8_t>(end.size());
  rule.approxSize = approx;
  rule.extension = L"x";
  rule.category = L"Photo";
  return rule;
}

CarveRule SizeRule(int32_t width, int32_t header, bool includesHeader, int64_t approx = 2097152) {
  CarveRule rule = Rule({'S', 'Z'}, {}, approx);
  rule.sizeOffset = 4;
  rule.sizeWidth = width;
  rule.headerSize = header;
  rule.sizeIncludesHeader = includesHeader ? 1 : 0;
  return rule;
}

void Put(std::vector<uint8_t>& image, int64_t at, std::vector<uint8_t> bytes) {
  std::copy(bytes.begin(), bytes.end(), image.begin() + at);
}

void PutLe32(std::vector<uint8_t>& image, int64_t at, uint32_t v) {
  Put(image, at, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

using Items = std::vector<std::pair<int64_t, int64_t>>;

Items Carve(readWriteInterface& reader, std::vector<CarveRule> rules, uint64_t bytes, myJpg* out = nullptr) {
  myJpg local(reader, NoSink());
  myJpg& engine = out ? *out : local;
  for (size_t i = 0; i < rules.size(); ++i) rules[i].ruleNumber = static_cast<int>(i);
  engine.rules = std::move(rules);
  engine.bytesToScan = bytes;
  EXPECT_TRUE(engine.Run());
  Items items;
  for (const CarvedItem& item : engine.items) items.emplace_back(item.startOffset, item.size);
  return items;
}

const std::vector<uint8_t> kPngStart = {0x89, 0x50, 0x4E, 0x47};
const std::vector<uint8_t> kPngEnd = {0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};

const CarveRule kJpeg = Rule({0xFF, 0xD8, 0xFF, 0xE1}, {0xFF, 0xD9});

// A camera's JPEG: SOI, an Exif APP1 of `app1` bytes holding a whole
// thumbnail (FF D8 .. FF D9), a table, a scan header, and the image's own
// FF D9 at `end`.
void PutCameraJpeg(std::vector<uint8_t>& im, int64_t at, uint16_t app1, int64_t end) {
  Put(im, at, {0xFF, 0xD8, 0xFF, 0xE1, uint8_t(app1 >> 8), uint8_t(app1), 'E', 'x', 'i', 'f', 0, 0});
  Put(im, at + 300, {0xFF, 0xD8, 0xFF, 0xDB});
  Put(im, at + app1 - 200, {0xFF, 0xD9});
  const int64_t table = at + 4 + app1;
  Put(im, table, {0xFF, 0xDB, 0x00, 0x43});
  Put(im, table + 4 + 0x41, {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0, 0x3F, 0, 0xFF, 0x00});
  Put(im, end, {0xFF, 0xD9});
}

TEST(CarveEngine, Classification) {
  struct Case {
    const char* what;
    std::vector<CarveRule> rules;
    std::function<void(std::vector<uint8_t>&)> place;
    Items expected;
    int64_t imageBytes = MiB;
  };
  const CarveRule png = Rule(kPngStart, kPngEnd);
  CarveRule startAt8 = Rule({0xB1, 0xB2}, {}, 100);
  startAt8.startOffset = 8;
  CarveRule pastSector = Rule({1, 2, 3, 4}, {}, 9);
  pastSector.startOffset = 510;
  CarveRule negative = Rule({1, 2}, {}, 9);
  negative.startOffset = -2;
  const Case cases[] = {
      {"start and end: end + length - start + 1", {png},
       [](auto& im) { Put(im, 4096, kPngStart), Put(im, 20480, kPngEnd); }, {{4096, 16393}}},
      {"capped at approxSize", {Rule(kPngStart, kPngEnd, 10000)},
       [](auto& im) { Put(im, 4096, kPngStart), Put(im, 20480, kPngEnd); }, {{4096, 10000}}},
      {"a start wins over an end in the same sector", {Rule({0xA1, 0xA2}, {0xE1, 0xE2}), startAt8},
       [](auto& im) { Put(im, 0, {0xA1, 0xA2}), Put(im, 512, {0xE1, 0xE2}), Put(im, 520, {0xB1, 0xB2}); },
       {{512, 100}, {0, 512}}},
      {"an end closes the later of two starts", {png},
       [](auto& im) { Put(im, 0, kPngStart), Put(im, 1024, kPngStart), Put(im, 4096, kPngEnd); },
       {{1024, 4096 + 8 - 1024 + 1}, {0, 1024}}},
      {"an end inside a sector, and a file in the next sector", {Rule({0xFF, 0xD8, 0xFF}, {0xFF, 0xD9})},
       [](auto& im) {
         Put(im, 0, {0xFF, 0xD8, 0xFF}), Put(im, 700, {0xFF, 0xD9});
         Put(im, 1024, {0xFF, 0xD8, 0xFF}), Put(im, 1624, {0xFF, 0xD9});
       },
       {{0, 703}, {1024, 603}}},
      {"0x2A matches any byte", {Rule({0xAA, 0x2A, 0xBB}, {}, 7)},
       [](auto& im) { Put(im, 0, {0xAA, 0x00, 0xBB}), Put(im, 512, {0xAA, 0xFF, 0xBB}), Put(im, 1024, {0xAA, 0, 0xBC}); },
       {{0, 7}, {512, 7}}},
      {"approxSize 0 gives items of size 0", {Rule({0xAA, 0xBB})}, [](auto& im) { Put(im, 512, {0xAA, 0xBB}); },
       {{512, 0}}},
      {"one byte, past the sector, before the sector never match", {Rule({0xAA}, {}, 5), pastSector, negative},
       [](auto& im) { Put(im, 0, {0xAA}), Put(im, 1024 + 510, {1, 2, 3, 4}), Put(im, 2048, {1, 2}); }, {}},
      {"width-2 size fields never give items", {SizeRule(2, 0, false)},
       [](auto& im) { Put(im, 0, {'S', 'Z'}), PutLe32(im, 4, 100); }, {}},
      {"no item past the range's end", {Rule({0xAA, 0xBB}, {}, 10 * MiB)},
       [](auto& im) { Put(im, MiB, {0xAA, 0xBB}); }, {{MiB, MiB}}, 2 * MiB},
      {"a partial last chunk is scanned", {Rule({0xAA, 0xBB}, {}, MiB)},
       [](auto& im) { Put(im, MiB + MiB / 4, {0xAA, 0xBB}); }, {{MiB + MiB / 4, MiB / 4}}, MiB + MiB / 2},
      {"a JPEG ends past its header segments, not at its Exif thumbnail's end", {kJpeg},
       [](auto& im) { PutCameraJpeg(im, 0, 1024, 5000); }, {{0, 5003}}},
      {"a JPEG header that runs into the next chunk", {kJpeg},
       [](auto& im) { PutCameraJpeg(im, MiB - 512, 0xFFF0, MiB + 70000); }, {{MiB - 512, 70000 + 512 + 3}},
       2 * MiB},
      {"a broken header: the end search begins where the segments stop", {kJpeg},
       [](auto& im) { Put(im, 0, {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01}), Put(im, 700, {0xFF, 0xD9}); }, {{0, 703}}},
      {"pending starts end where the next find begins; the latest takes approxSize",
       {Rule({0xA1, 0xA2}, {0xE1, 0xE2}, 5000), Rule({0xB1, 0xB2}, {}, 10)},
       [](auto& im) { Put(im, 0, {0xA1, 0xA2}), Put(im, 2048, {0xB1, 0xB2}), Put(im, 8192, {0xA1, 0xA2}); },
       {{2048, 10}, {8192, 5000}, {0, 2048}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryReader reader(std::vector<uint8_t>(static_cast<size_t>(c.imageBytes)));
    c.place(reader.Image());
    EXPECT_EQ(Carve(reader, c.rules, static_cast<uint64_t>(c.imageBytes)), c.expected);
  }
}

// A size-field find: the item's size is the header's, and the scan goes on
// at the sector after the item. Markers (another rule, 1-byte items) show
// which sectors were examined.
TEST(CarveEngine, SizeFieldSkips) {
  struct Case {
    const char* what;
    int32_t stated;
    int32_t header;
    bool includesHeader;
    int64_t expectedSize;  // -1: no item
    std::vector<int64_t> skipped, examined;
  };
  const Case cases[] = {
      {"S 1000 goes on at 1024", 1000, 8, false, 1008, {512}, {1024}},
      {"S 1024 goes on at 1536", 1024, 8, false, 1032, {1024}, {1536}},
      {"a size that counts its header ends on the sector", 1024, 14, true, 1024, {512}, {1024}},
      {"S 1,048,064 goes on at the next chunk's start", 1048064, 8, false, 1048072, {MiB - 512}, {MiB, MiB + 512}},
      {"S above approxSize: no item", 3000000, 8, false, -1, {}, {512}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryReader reader(std::vector<uint8_t>(4 * MiB));
    Put(reader.Image(), 0, {'S', 'Z'});
    PutLe32(reader.Image(), 4, static_cast<uint32_t>(c.stated));
    for (int64_t at : c.skipped) Put(reader.Image(), at, {'M', 'K'});
    for (int64_t at : c.examined) Put(reader.Image(), at, {'M', 'K'});
    Items expected;
    if (c.expectedSize >= 0) expected.emplace_back(0, c.expectedSize);
    for (int64_t at : c.examined) expected.emplace_back(at, 1);
    EXPECT_EQ(Carve(reader, {SizeRule(4, c.header, c.includesHeader), Rule({'M', 'K'}, {}, 1)}, 4 * MiB), expected);
  }
}

// A source whose sectors [badFirst, badFirst + badCount) cannot be read;
// `concurrent`: it also takes reads at an offset from several threads.
class BadSectorReader : public readWriteInterface {
 public:
  BadSectorReader(std::vector<uint8_t> image, uint64_t badFirst, uint64_t badCount, bool concurrent = false)
      : image_(std::move(image)), badFirst_(badFirst * 512), badEnd_((badFirst + badCount) * 512),
        concurrent_(concurrent) {}
  bool Open(std::wstring) override { return true; }
  bool Seek(int64_t position, uint32_t) override {
    position_ = static_cast<uint64_t>(position + baseOffset);
    return true;
  }
  bool Read(void* destination, uint32_t count) override {
    ++reads;
    if (position_ + count > image_.size()) {
      lastError = kErrorHandleEof;
      return false;
    }
    if (position_ < badEnd_ && position_ + count > badFirst_) {
      lastError = EIO;
      return false;
    }
    std::memcpy(destination, image_.data() + position_, count);
    position_ += count;
    lastError = 0;
    return true;
  }
  bool ReadAtOffset(uint64_t offset, void* destination, uint32_t count) override {
    if (!concurrent_ || offset + count > image_.size() || (offset < badEnd_ && offset + count > badFirst_))
      return false;
    std::memcpy(destination, image_.data() + offset, count);
    return true;
  }
  bool ConcurrentReads() const override { return concurrent_; }
  uint64_t SourceBytes() const override { return image_.size(); }
  uint64_t reads = 0;

 private:
  std::vector<uint8_t> image_;
  uint64_t badFirst_, badEnd_, position_ = 0;
  bool concurrent_;
};

TEST(CarveEngine, UnreadableSectorsAreSkippedAndCounted) {
  // Chunks read one at a time, and two at once (the scan reading too).
  for (const bool concurrent : {false, true}) {
    SCOPED_TRACE(concurrent ? "concurrent reads" : "one reader");
    std::vector<uint8_t> image(8 * MiB);
    Put(image, 100 * 512, {0xAA, 0xBB});
    Put(image, 2051 * 512, {0xAA, 0xBB});  // right after the first bad sectors
    BadSectorReader reader(std::move(image), 2048, 3, concurrent);
    myJpg engine(reader, NoSink());
    // A rule matching zeros would take every unreadable sector for a find.
    EXPECT_EQ(Carve(reader, {Rule({0xAA, 0xBB}, {}, 1), Rule({0, 0, 0, 0}, {}, 1)}, 8 * MiB, &engine).size(),
              8u * 2048 - 3);
    EXPECT_EQ(engine.unreadableSectors, 3u);
    EXPECT_EQ(engine.items[100].startOffset, 100 * 512);
    EXPECT_EQ(engine.items[2048].startOffset, 2051 * 512);
    EXPECT_EQ(engine.items.back().startOffset, 8 * MiB - 512);
  }
}

// A pipe or character device: its size is unknown until a read meets its end.
class UnsizedReader : public MemoryReader {
 public:
  using MemoryReader::MemoryReader;
  uint64_t SourceBytes() const override { return 0; }
};

TEST(CarveEngine, ASourceOfUnknownSizeIsScannedToItsEnd) {
  std::vector<uint8_t> image(3 * MiB + 4096);
  Put(image, 3 * MiB + 1024, {0xAA, 0xBB});
  UnsizedReader reader(std::move(image));
  myJpg engine(reader, NoSink());
  EXPECT_EQ(Carve(reader, {Rule({0xAA, 0xBB}, {}, 1 << 20)}, UINT64_MAX, &engine),
            (Items{{3 * MiB + 1024, 1 * MiB - 1024}}));
  EXPECT_EQ(engine.scannedRange, 4 * MiB);
}

// A pipe: of unknown size, and no read at an offset succeeds.
class PipeReader : public UnsizedReader {
 public:
  using UnsizedReader::UnsizedReader;
  bool Read(void*, uint32_t) override {
    lastError = ESPIPE;
    return false;
  }
  bool ReadAtOffset(uint64_t, void*, uint32_t) override { return false; }
};

TEST(CarveEngine, ASourceOfUnknownSizeThatReadsNothingEndsTheRun) {
  PipeReader reader{std::vector<uint8_t>(MiB)};
  myJpg engine(reader, NoSink());
  EXPECT_EQ(Carve(reader, {Rule({0, 0}, {}, 1)}, UINT64_MAX, &engine), Items{});
  EXPECT_EQ(engine.scannedRange, 0u);
  EXPECT_EQ(engine.unreadableSectors, 0u);
}

class StopAt : public WorkerSink {
 public:
  void SetStatus(std::wstring_view) override {}
  void ProgressRange(int64_t, int64_t maximum) override { lastMaximum = maximum; }
  void ProgressPosition(int64_t position) override {
    if (position == stopChunk && engine) engine->Stop();
  }
  int64_t stopChunk = -1, lastMaximum = 0;
  myJpg* engine = nullptr;
};

TEST(CarveEngine, FiveMiBReadInFiveChunksAndAStopKeepsPendingStarts) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stopped in chunk 2 of 12" : "whole run");
    RecordingMessageBox box;
    ScopedMessages scope(&box);
    const int64_t chunks = stop ? 12 : 5;
    std::vector<uint8_t> image(static_cast<size_t>(chunks * MiB));
    Put(image, 0, kPngStart);
    Put(image, 3 * MiB, {0xB1, 0xB2});
    BadSectorReader reader(std::move(image), 0, 0);
    StopAt sink;
    myJpg engine(reader, sink);
    sink.engine = &engine;
    sink.stopChunk = stop ? 2 : -1;
    const Items items = Carve(reader, {Rule(kPngStart, kPngEnd, 4096), Rule({0xB1, 0xB2}, {}, 10)},
                              static_cast<uint64_t>(chunks * MiB), &engine);
    EXPECT_EQ(sink.lastMaximum, chunks);
    // Chunks are read ahead, at most a window of slots past the one the
    // scan holds: a stop in chunk 2 reads no further than that window.
    if (stop) {
      EXPECT_GE(reader.reads, 2u);
      EXPECT_LE(reader.reads, static_cast<size_t>(3 + ChunkPrefetch::kSlots));
    } else {
      EXPECT_EQ(reader.reads, 5u);
    }
    const Items expected = stop ? Items{{0, 4096}} : Items{{3 * MiB, 10}, {0, 4096}};
    EXPECT_EQ(items, expected);
    EXPECT_EQ(box.Texts(), std::vector<std::wstring>{L"done.."});
  }
}

}  // namespace
}  // namespace lv
