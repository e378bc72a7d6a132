// Byte-level decoders of the NTFS engine: run lists, update-sequence
// fix-ups, the attribute walk and LZNT1.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

#include "NtfsTestImage.h"
#include "ntfs/NtfsLznt1.h"
#include "ntfs/NtfsRecord.h"
#include "ntfs/NtfsRunList.h"

namespace lv {
namespace {

constexpr uint64_t kWholeVolume = uint64_t{1} << 62;

std::vector<MftRun> Decode(const std::vector<uint8_t>& bytes, uint64_t span, RunListEnd* end = nullptr,
                           uint64_t volumeClusters = kWholeVolume) {
  std::vector<MftRun> runs;
  RunDecodeState state;
  const RunListEnd e = DecodeRunList(ByteView(bytes.data(), bytes.size()), span, volumeClusters, state, runs);
  if (end) *end = e;
  return runs;
}

TEST(NtfsRunList, ThreeByteOffsetThenNegativeOffsetWithinSpan) {
  const std::vector<uint8_t> list = {0x31, 0x20, 0x00, 0x10, 0x0C, 0x21, 0x08, 0xF0, 0xFF, 0x00};
  RunListEnd end;
  auto runs = Decode(list, 40, &end);
  EXPECT_EQ(end, RunListEnd::Terminated);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].startCluster, 790528);
  EXPECT_EQ(runs[0].clusterCount, 32u);
  EXPECT_FALSE(runs[0].sparse);
  EXPECT_EQ(runs[1].startCluster, 790528 - 16);
  EXPECT_EQ(runs[1].clusterCount, 8u);

  // A span of 32 clusters keeps only the first run.
  runs = Decode(list, 32);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].clusterCount, 32u);
}

TEST(NtfsRunList, SparseRunKeepsTheAccumulator) {
  // 5 sparse clusters, then 3 clusters 0x10 after the last real start (0).
  auto runs = Decode({0x11, 0x04, 0x20, 0x01, 0x05, 0x11, 0x03, 0x10, 0x00}, 100);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].startCluster, 0x20);
  EXPECT_TRUE(runs[1].sparse);
  EXPECT_EQ(runs[1].startCluster, 0);
  EXPECT_EQ(runs[1].clusterCount, 5u);
  EXPECT_EQ(runs[2].startCluster, 0x30);
}

TEST(NtfsRunList, FieldsAreReadAtFullWidth) {
  // Length in 5 bytes (2^32 + 1), offset in 8 bytes (2^40).
  std::vector<uint8_t> list = {0x85, 0x01, 0x00, 0x00, 0x00, 0x01, 0, 0, 0, 0, 0, 0x01, 0, 0,
                               // then -2^33 relative, 4-byte length 16, 5-byte offset
                               0x54, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFE, 0x00};
  auto runs = Decode(list, UINT64_MAX);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].clusterCount, (uint64_t{1} << 32) + 1);
  EXPECT_EQ(runs[0].startCluster, int64_t{1} << 40);
  EXPECT_EQ(runs[1].clusterCount, 16u);
  EXPECT_EQ(runs[1].startCluster, (int64_t{1} << 40) - (int64_t{1} << 33));
  // The same list built by the test helper decodes to the same runs.
  auto again = Decode(test::RunList({{int64_t{1} << 40, (uint64_t{1} << 32) + 1},
                                     {(int64_t{1} << 40) - (int64_t{1} << 33), 16}}),
                      UINT64_MAX);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[1].startCluster, runs[1].startCluster);
}

TEST(NtfsRunList, DamagedListsGivePartialResults) {
  RunListEnd end;
  // Field wider than 8 bytes.
  EXPECT_TRUE(Decode({0x19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}, 100, &end).empty());
  EXPECT_EQ(end, RunListEnd::Corrupt);
  // Second run's fields run past the bytes.
  auto runs = Decode({0x11, 0x02, 0x10, 0x32, 0x05}, 100, &end);
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(end, RunListEnd::Corrupt);
  // No terminator: exhausted.
  runs = Decode({0x11, 0x02, 0x10}, 100, &end);
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(end, RunListEnd::Exhausted);
  // A run before cluster 0 or past the volume ends the list.
  runs = Decode({0x11, 0x02, 0x10, 0x11, 0x02, 0xE0, 0x00}, 100, &end);
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(end, RunListEnd::Corrupt);
  runs = Decode({0x11, 0x02, 0x10, 0x21, 0x08, 0x00, 0x10, 0x00}, 100, &end, 0x100);
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_EQ(end, RunListEnd::Corrupt);
  // A run that ends exactly at the volume's end is inside.
  runs = Decode({0x21, 0x10, 0xF0, 0x00, 0x00}, 100, &end, 0x100);
  EXPECT_EQ(runs.size(), 1u);
  // An offset sum that overflows.
  runs = Decode({0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x81, 0x01, 0xFF, 0xFF, 0xFF, 0xFF,
                 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
                100, &end, UINT64_MAX);
  EXPECT_EQ(end, RunListEnd::Corrupt);
}

std::array<uint8_t, 1024> Record(uint16_t usaOffset, uint16_t usaCount) {
  std::array<uint8_t, 1024> r{};
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<uint8_t>(i * 7);
  r[4] = static_cast<uint8_t>(usaOffset);
  r[5] = static_cast<uint8_t>(usaOffset >> 8);
  r[6] = static_cast<uint8_t>(usaCount);
  r[7] = static_cast<uint8_t>(usaCount >> 8);
  return r;
}

TEST(NtfsFixups, CountThreeReplacesBothSectorEnds) {
  auto raw = Record(0x30, 3);
  raw[0x32] = 0xAA, raw[0x33] = 0xBB, raw[0x34] = 0xCC, raw[0x35] = 0xDD;
  std::array<uint8_t, 1024> out{};
  ApplyFixups(raw, out);
  EXPECT_EQ(out[510], 0xAA);
  EXPECT_EQ(out[511], 0xBB);
  EXPECT_EQ(out[1022], 0xCC);
  EXPECT_EQ(out[1023], 0xDD);
  for (size_t i = 0; i < 1024; ++i)
    if (i != 510 && i != 511 && i != 1022 && i != 1023) {
      ASSERT_EQ(out[i], raw[i]) << i;
    }
}

TEST(NtfsFixups, CountOneOrOutOfRangeLeavesTheRecord) {
  std::array<uint8_t, 1024> out{};
  for (auto [offset, count] : {std::pair<uint16_t, uint16_t>{0x30, 1}, {0x30, 0}, {0x400, 3}, {0xFFFF, 3}}) {
    auto raw = Record(offset, count);
    ApplyFixups(raw, out);
    EXPECT_EQ(out, raw) << offset << " " << count;
  }
  // A huge count patches only the two sector ends of the record.
  auto raw = Record(0x30, 0xFFFF);
  ApplyFixups(raw, out);
  EXPECT_EQ(out[510], raw[0x32]);
  EXPECT_EQ(out[1022], raw[0x34]);
  // Array entries past the record's end are not used.
  raw = Record(0x3FC, 3);
  ApplyFixups(raw, out);
  EXPECT_EQ(out[510], raw[0x3FE]);
  EXPECT_EQ(out[1022], raw[1022]);
}

std::vector<uint32_t> Types(const std::vector<uint8_t>& record) {
  std::vector<uint32_t> types;
  AttributeWalker walker(ByteView(record.data(), record.size()));
  while (auto a = walker.Next()) types.push_back(a->type);
  return types;
}

TEST(NtfsAttributeWalk, WalksInOrderAndStopsAtTheEnd) {
  test::RecordBuilder b;
  b.StandardInformation(1, 2, 3);
  b.FileName(5, u"a.jpg");
  b.Resident(0x80, {1, 2, 3});
  std::vector<uint8_t> r = b.Finish();
  EXPECT_EQ(Types(r), (std::vector<uint32_t>{0x10, 0x30, 0x80, 0xFFFFFFFF}));

  std::vector<AttributeHeader> headers;
  CollectAttributeHeaders(ByteView(r.data(), r.size()), headers);
  ASSERT_EQ(headers.size(), 4u);
  EXPECT_EQ(headers[0].position, 0x38u);
  EXPECT_EQ(ViewOf(ByteView(r.data(), r.size()), headers[1]).type, 0x30u);
}

TEST(NtfsAttributeWalk, DamagedLengthsEndTheWalk) {
  test::RecordBuilder b;
  const uint32_t si = b.StandardInformation(1, 2, 3);
  const uint32_t fn = b.FileName(5, u"a.jpg");
  std::vector<uint8_t> r = b.Finish();
  // Length 0: the attribute is taken, the walk ends there.
  auto zero = r;
  test::PutLe(zero, fn + 4, 0, 4);
  EXPECT_EQ(Types(zero), (std::vector<uint32_t>{0x10, 0x30}));
  // Length past the record: the attribute is taken, cut at the record's end.
  auto far = r;
  test::PutLe(far, si + 4, 0xFFF0, 4);
  AttributeWalker walker(ByteView(far.data(), far.size()));
  auto a = walker.Next();
  ASSERT_TRUE(a);
  EXPECT_EQ(a->extent.size(), 1024u - si);
  EXPECT_FALSE(walker.Next());
  // First-attribute offset past the record: nothing.
  auto none = r;
  test::PutLe(none, 0x14, 0x500, 2);
  EXPECT_TRUE(Types(none).empty());
  // A 24-byte attribute at the very end of the record is still found.
  std::vector<uint8_t> tail(1024, 0);
  test::PutLe(tail, 0x14, 1000, 2);
  test::PutLe(tail, 1000, 0x80, 4);
  test::PutLe(tail, 1004, 24, 4);
  EXPECT_EQ(Types(tail), (std::vector<uint32_t>{0x80}));
}

// LZNT1 -------------------------------------------------------------------

// A back-reference token for `offset` and `length` at output position `at`
// inside the chunk.
uint16_t Token(size_t at, size_t offset, size_t length) {
  unsigned offsetBits = 4;
  for (size_t p = at - 1; p >= 16; p >>= 1) ++offsetBits;
  const unsigned lengthBits = 16 - offsetBits;
  return static_cast<uint16_t>(((offset - 1) << lengthBits) | (length - 3));
}

struct ChunkWriter {
  std::vector<uint8_t> data;
  size_t flagAt = 0;
  int items = 8;
  void Item(bool reference) {
    if (items == 8) {
      flagAt = data.size();
      data.push_back(0);
      items = 0;
    }
    if (reference) data[flagAt] |= static_cast<uint8_t>(1u << items);
    ++items;
  }
  void Literal(uint8_t b) {
    Item(false);
    data.push_back(b);
  }
  void Reference(uint16_t token) {
    Item(true);
    data.push_back(static_cast<uint8_t>(token));
    data.push_back(static_cast<uint8_t>(token >> 8));
  }
  // The chunk with its header (compressed).
  std::vector<uint8_t> Chunk() const {
    std::vector<uint8_t> out = {0, 0};
    const uint16_t header = static_cast<uint16_t>(0xB000 | (data.size() - 1));
    out[0] = static_cast<uint8_t>(header);
    out[1] = static_cast<uint8_t>(header >> 8);
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }
};

std::vector<uint8_t> Inflate(const std::vector<uint8_t>& input, size_t capacity = 65536) {
  std::vector<uint8_t> out(capacity, 0xEE);
  out.resize(Lznt1Decompress(ByteView(input.data(), input.size()), out.data(), capacity));
  return out;
}

// Literal bytes up to `literals`, then back-references (offset, length),
// each decoded at the position it lands on.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> Sample(size_t literals,
                                                             const std::vector<std::pair<size_t, size_t>>& refs) {
  ChunkWriter w;
  std::vector<uint8_t> want;
  for (size_t i = 0; i < literals; ++i) {
    const uint8_t b = static_cast<uint8_t>(i * 31 + 7);
    w.Literal(b);
    want.push_back(b);
  }
  for (const auto& [offset, length] : refs) {
    w.Reference(Token(want.size(), offset, length));
    for (size_t i = 0; i < length; ++i) want.push_back(want[want.size() - offset]);
  }
  return {w.Chunk(), want};
}

TEST(NtfsLznt1, ReferencesAtShiftingOffsetLengthSplits) {
  // Position 1..16: 4 offset bits (lengths up to 4098); 17: 5 bits; 100: 7
  // bits; 3000: 12 bits (lengths up to 18); an overlapping copy of one byte.
  for (const auto& [literals, refs] : std::vector<std::pair<size_t, std::vector<std::pair<size_t, size_t>>>>{
           {1, {{1, 4000}}},
           {16, {{16, 20}}},
           {17, {{17, 20}, {1, 5}}},
           {100, {{90, 40}, {1, 30}}},
           {3000, {{2999, 18}, {2, 3}}}}) {
    const auto [input, want] = Sample(literals, refs);
    EXPECT_EQ(Inflate(input), want) << literals;
  }
}

TEST(NtfsLznt1, RawChunkAndChunkSequence) {
  std::vector<uint8_t> raw = {0xFF, 0x3F};  // 4096 data bytes, bit 15 clear
  std::vector<uint8_t> data(4096);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + 1);
  raw.insert(raw.end(), data.begin(), data.end());
  EXPECT_EQ(Inflate(raw), data);

  // A short compressed chunk followed by another: the second starts at 4096.
  ChunkWriter w;
  w.Literal('x');
  w.Reference(Token(1, 1, 9));
  std::vector<uint8_t> input = w.Chunk();
  const std::vector<uint8_t> again = w.Chunk();
  input.insert(input.end(), again.begin(), again.end());
  input.push_back(0);
  input.push_back(0);  // end of input
  std::vector<uint8_t> want(4096 + 10, 0);
  std::fill(want.begin(), want.begin() + 10, 'x');
  std::fill(want.begin() + 4096, want.end(), 'x');
  EXPECT_EQ(Inflate(input), want);
}

TEST(NtfsLznt1, DamagedInputKeepsWhatWasProduced) {
  ChunkWriter w;
  for (int i = 0; i < 10; ++i) w.Literal(static_cast<uint8_t>('0' + i));
  std::vector<uint8_t> good = w.Chunk();
  // A second chunk whose size runs past the input.
  std::vector<uint8_t> input = good;
  input.push_back(0x10);
  input.push_back(0xB0);
  input.push_back(0x00);
  EXPECT_EQ(Inflate(input), std::vector<uint8_t>({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}));
  // A reference before the chunk's start ends the chunk.
  ChunkWriter bad;
  bad.Literal('a');
  bad.Reference(Token(1, 5, 3));
  bad.Literal('b');
  EXPECT_EQ(Inflate(bad.Chunk()), std::vector<uint8_t>({'a'}));
  // Output stops at the capacity, also inside a reference.
  ChunkWriter longRun;
  longRun.Literal('z');
  longRun.Reference(Token(1, 1, 4000));
  EXPECT_EQ(Inflate(longRun.Chunk(), 100), std::vector<uint8_t>(100, 'z'));
  // Nothing but a header whose size bits are 0, or a single byte.
  EXPECT_TRUE(Inflate({0x00, 0xB0, 0x41}).empty());
  EXPECT_TRUE(Inflate({0x41}).empty());
}

}  // namespace
}  // namespace lv
