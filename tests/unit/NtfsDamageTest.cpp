// Hand-corrupted copies of real MFT records (from the public undelete
// image, read through MemoryReader): every damaged field gives a partial
// result, never a crash, a hang or an allocation beyond the volume.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "NtfsTestImage.h"
#include "TestSupport.h"
#include "common/Text.h"
#include "ntfs/Ntfs.h"
#include "ntfs/NtfsRecord.h"
#include "platform/MessageBox.h"

namespace lv {
namespace {

constexpr int64_t kSing1 = 31;  // sing1.dat: 780 bytes in one cluster
constexpr int64_t kRes1 = 37;   // res1.dat: 101 resident bytes
constexpr int64_t kFrag1 = 29;  // frag1.dat

class NtfsDamage : public testing::Test {
 protected:
  void SetUp() override {
    const std::string path = test::PublicPath("7-undel-ntfs/7-ntfs-undel.dd");
    if (!test::FileExists(path)) GTEST_SKIP() << "public images not unpacked";
    reader = std::make_unique<MemoryReader>(test::ReadBinaryFile(path));
    Scan();
    original = reader->Image();
    for (int64_t i : {int64_t{0}, kSing1, kRes1, kFrag1}) offsets[i] = engine->entries.at(i).recordOffset;
  }

  void Scan() {
    VolumeEntry v;
    v.fileSystem = L"NTFS";
    v.sizeText = L"5   MB";
    engine = std::make_unique<ntfs>(*reader, v, sink);
    engine->recoveryMode = 1;
    engine->ReadBootSector();
    engine->LocateMft();
    engine->ReadMftByRuns();
    engine->ParseEntries();
  }

  uint8_t* Record(int64_t index) { return reader->Image().data() + offsets.at(index); }
  // Position of the first attribute of a type in a record, from its fixed-up copy.
  uint32_t Attribute(int64_t index, uint32_t type) {
    std::array<uint8_t, 1024> fixed{};
    ApplyFixups(std::span<const uint8_t, 1024>(Record(index), 1024), fixed);
    AttributeWalker walker(ByteView(fixed.data(), fixed.size()));
    while (auto a = walker.Next())
      if (a->type == type) return a->position;
    ADD_FAILURE() << "no attribute " << type << " in record " << index;
    return 0;
  }
  void Put(int64_t index, size_t at, uint64_t value, size_t n) {
    for (size_t k = 0; k < n; ++k) Record(index)[at + k] = static_cast<uint8_t>(value >> (8 * k));
  }
  uint32_t Get16(int64_t index, size_t at) { return Record(index)[at] | Record(index)[at + 1] << 8; }

  std::vector<uint8_t> Extract(int64_t index, bool* ok = nullptr) {
    engine->outputPath = out.path() + "/";
    const bool done = engine->ExtractEntry(std::to_wstring(index));
    if (ok) *ok = done;
    std::vector<uint8_t> bytes = test::ReadBinaryFile(engine->outputPath);
    std::remove(engine->outputPath.c_str());
    return bytes;
  }
  std::string Name(int64_t i) { return Utf16ToUtf8(engine->entries.at(i).name); }

  std::unique_ptr<MemoryReader> reader;
  LatestValueSink sink;
  std::unique_ptr<ntfs> engine;
  std::vector<uint8_t> original;
  std::map<int64_t, uint64_t> offsets;
  test::TempFolder out;
  RecordingMessageBox box;
  ScopedMessages scoped{&box};
};

TEST_F(NtfsDamage, AttributeLengthsZeroOrPastTheRecord) {
  Put(kSing1, Attribute(kSing1, 0x30) + 4, 0, 4);  // file name: length 0
  Put(kRes1, Attribute(kRes1, 0x10) + 4, 0xFFF0, 4);  // standard information: past the record
  Scan();
  EXPECT_FALSE(engine->entries[kSing1].HasName());  // the name lies outside its (empty) attribute
  EXPECT_FALSE(engine->entries[kRes1].HasName());   // the walk ends before the name
  EXPECT_EQ(Name(kFrag1), "frag1.dat");
  EXPECT_NE(engine->GetTimesAndAttributes(offsets[kRes1]).creation, 0u);  // read before the damage
}

TEST_F(NtfsDamage, UpdateSequenceCountAndOffsetPastTheRecord) {
  Put(kSing1, 0x06, 0xFFFF, 2);
  Put(kRes1, 0x04, 0x3FF, 2);
  Put(kFrag1, 0x04, 0xFFFF, 2);
  Scan();
  // The names lie before the sector ends: still read.
  EXPECT_EQ(Name(kSing1), "sing1.dat");
  EXPECT_EQ(Name(kRes1), "res1.dat");
  EXPECT_EQ(Name(kFrag1), "frag1.dat");
  EXPECT_EQ(Extract(kSing1).size(), 780u);
}

TEST_F(NtfsDamage, NameLengthAndContentOffsetPastTheAttribute) {
  const uint32_t fn = Attribute(kSing1, 0x30);
  Record(kSing1)[fn + Get16(kSing1, fn + 0x14) + 0x40] = 200;
  Put(kFrag1, Attribute(kFrag1, 0x30) + 0x14, 0xFFF0, 2);
  Put(kRes1, Attribute(kRes1, 0x80) + 0x14, 0x3F8, 2);  // resident data near the record's end
  Scan();
  EXPECT_FALSE(engine->entries[kSing1].HasName());
  EXPECT_FALSE(engine->entries[kFrag1].HasName());
  bool ok = false;
  const auto bytes = Extract(kRes1, &ok);
  EXPECT_TRUE(ok);
  EXPECT_LE(bytes.size(), 8u);  // cut at the record's end
  Put(kRes1, Attribute(kRes1, 0x80) + 0x14, 0xFFF0, 2);
  EXPECT_TRUE(Extract(kRes1, &ok).empty());
  EXPECT_TRUE(ok);
}

TEST_F(NtfsDamage, RunListsPastTheirAttributeOrOutsideTheVolume) {
  const uint32_t data = Attribute(kSing1, 0x80);
  const uint32_t runs = Get16(kSing1, data + 0x20);
  // The attribute ends one byte into its run list, or its run points far
  // beyond the volume: nothing can be read, and the save says so and fails
  // instead of writing an empty file that looks recovered.
  Put(kSing1, data + 4, runs + 1, 4);
  bool ok = true;
  EXPECT_TRUE(Extract(kSing1, &ok).empty());
  EXPECT_FALSE(ok);
  EXPECT_FALSE(test::FileExists(out.path() + "/sing1.dat"));
  ASSERT_FALSE(box.Texts().empty());
  EXPECT_NE(box.Texts().back().find(L"sing1.dat lies outside the volume"), std::wstring::npos);
  reader->Image() = original;
  // The run's offset field made to point far beyond the volume.
  const uint8_t header = Record(kSing1)[data + runs];
  const size_t lengthBytes = header & 0x0F, offsetBytes = header >> 4;
  for (size_t k = 0; k < offsetBytes; ++k) Record(kSing1)[data + runs + 1 + lengthBytes + k] = k + 1 == offsetBytes ? 0x70 : 0xFF;
  ok = true;
  EXPECT_TRUE(Extract(kSing1, &ok).empty());
  EXPECT_FALSE(ok);
  // The MFT's own run list beyond the volume: nothing read, no entries but
  // ORPHAN_ENTRY, nothing allocated for them.
  const uint32_t mftData = Attribute(0, 0x80);
  const uint32_t mftRuns = Get16(0, mftData + 0x20);
  Record(0)[mftData + mftRuns] = 0x48;  // 8-byte length, 4-byte offset
  for (int k = 1; k <= 12; ++k) Record(0)[mftData + mftRuns + k] = 0x7F;
  Scan();
  EXPECT_TRUE(engine->mftRuns.empty());
  EXPECT_EQ(engine->entries.size(), 1u);
}

TEST_F(NtfsDamage, HugeCompressedSpanNeedsNoHugeBuffer) {
  const uint32_t data = Attribute(kSing1, 0x80);
  Put(kSing1, data + 0x0C, 0x0001, 2);           // compressed
  Put(kSing1, data + 0x22, 4, 2);                // 16-cluster units
  Put(kSing1, data + 0x18, uint64_t{1} << 40, 8);  // last VCN: 2^40 clusters
  bool ok = false;
  const auto bytes = Extract(kSing1, &ok);
  EXPECT_TRUE(ok);
  EXPECT_LE(bytes.size(), 780u);
  // With a data size of 16 MiB the output ends there: the first unit
  // decoded, the rest of the span (past the runs) holes.
  Put(kSing1, data + 0x30, uint64_t{1} << 24, 8);
  EXPECT_EQ(Extract(kSing1).size(), uint64_t{1} << 24);
}

TEST_F(NtfsDamage, AttributeListEntriesOfLengthZeroOrPastTheList) {
  test::VolumeBuilder v;
  const auto listed = [&](uint16_t length, uint64_t record) {
    std::vector<uint8_t> e(0x20, 0);
    test::PutLe(e, 0, 0x80, 4);
    test::PutLe(e, 4, length, 2);
    test::PutLe(e, 0x10, record, 4);
    return e;
  };
  const auto base = [&](const std::vector<uint8_t>& list) {
    test::RecordBuilder b;
    b.FileName(5, u"f.jpg");
    b.Resident(0x20, list);
    return b.Finish();
  };
  v.SetRecord(6, base(listed(0, 8)));
  v.SetRecord(7, base(listed(0x1000, 8)));
  std::vector<uint8_t> self = listed(0x20, 9);
  const std::vector<uint8_t> tail = listed(0x20, 9);
  self.insert(self.end(), tail.begin(), tail.end());  // the same record twice
  v.SetRecord(9, base(self));
  test::RecordBuilder extent(1);
  extent.NonResident(0x80, test::RunList({{60, 1}}), 0, 0, 100);
  v.SetRecord(8, extent.Finish());
  v.SetCluster(60, std::vector<uint8_t>(4096, 'z'));
  MemoryReader memory(v.Build());
  VolumeEntry volume;
  LatestValueSink latest;
  ntfs e(memory, volume, latest);
  e.ReadBootSector();
  e.LocateMft();
  e.ReadMftByRuns();
  e.ParseEntries();
  for (int64_t index : {6, 7}) {
    e.outputPath = out.path() + "/";
    EXPECT_TRUE(e.ExtractEntry(std::to_wstring(index)));
    EXPECT_TRUE(e.listedRecords.empty()) << index;
    EXPECT_TRUE(test::ReadBinaryFile(e.outputPath).empty()) << index;
  }
  // A record named twice is read once; its own list points at itself, which
  // has no data: nothing is written.
  e.outputPath = out.path() + "/";
  EXPECT_TRUE(e.ExtractEntry(L"9"));
  EXPECT_EQ(e.listedRecords.size(), 1u);
}

// Every byte of the MFT's own record and of three file records set in turn
// to 0x00 and 0xFF: the whole scan and every per-entry question still end.
TEST_F(NtfsDamage, EveryByteOfSeveralRecordsCorrupted) {
  size_t runs = 0;
  for (int64_t index : {int64_t{0}, kSing1, kRes1, kFrag1}) {
    for (size_t at = 0; at < 1024; ++at) {
      for (uint8_t value : {uint8_t{0x00}, uint8_t{0xFF}}) {
        uint8_t& byte = Record(index)[at];
        const uint8_t kept = byte;
        if (kept == value) continue;
        byte = value;
        Scan();
        if (static_cast<int64_t>(engine->entries.size()) > index) {
          Extract(index);
          engine->GetTimesAndAttributes(offsets[index]);
          engine->EntryDataSize(index);
        }
        ASSERT_LE(engine->entries.size(), reader->Image().size() / 1024 + 16);
        byte = kept;
        ++runs;
      }
    }
  }
  EXPECT_GT(runs, 4000u);
}

}  // namespace
}  // namespace lv
