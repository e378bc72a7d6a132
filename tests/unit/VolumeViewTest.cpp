// The volume view: positions relative to the volume's start, and the one
// batched read that reads around bad sectors and says what it skipped.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "disk/VolumeView.h"

namespace lv {
namespace {

// An image whose listed sectors cannot be read: a request that touches one
// fails with nothing read, as a device does.
class BadSectorReader : public readWriteInterface {
 public:
  explicit BadSectorReader(size_t size) : image(size) {
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(i * 7 + i / 512);
  }
  bool Open(std::wstring) override { return true; }
  bool Seek(int64_t position, uint32_t) override {
    position_ = baseOffset + position;
    return true;
  }
  bool Read(void* out, uint32_t count) override {
    ++reads;
    for (uint64_t s = static_cast<uint64_t>(position_) / 512; s * 512 < static_cast<uint64_t>(position_) + count; ++s)
      if (bad.count(s)) {
        lastError = EIO;
        return false;
      }
    const uint64_t available = image.size() > static_cast<uint64_t>(position_) ? image.size() - position_ : 0;
    const uint64_t n = std::min<uint64_t>(available, count);
    if (n) std::memcpy(out, image.data() + position_, n);
    if (n && n < count) std::memset(static_cast<uint8_t*>(out) + n, 0, count - n);
    position_ += static_cast<int64_t>(n);
    lastError = n == count ? 0 : kErrorHandleEof;
    return n == count;
  }
  std::vector<uint8_t> image;
  std::set<uint64_t> bad;  // absolute sector numbers
  int reads = 0;

 private:
  int64_t position_ = 0;
};

TEST(VolumeView, BadSectorsCostOnlyThemselvesAndAreReported) {
  BadSectorReader reader(1 << 20);
  reader.bad = {8 + 3, 8 + 200};  // sectors 3 and 200 of a volume at sector 8
  VolumeView view(reader, 8);
  std::vector<uint8_t> out(256 * 512, 0xEE);
  const VolumeView::BatchResult r = view.ReadBatch(0, out.data(), out.size(), 16384);
  EXPECT_TRUE(r.positioned);
  EXPECT_FALSE(r.reachedEnd);
  EXPECT_EQ(r.skippedBytes, 1024u);
  EXPECT_EQ(r.firstSkipped, 3u * 512);
  for (size_t i = 0; i < out.size(); ++i) {
    const size_t sector = i / 512;
    const uint8_t want = sector == 3 || sector == 200 ? 0 : reader.image[8 * 512 + i];
    ASSERT_EQ(out[i], want) << "byte " << i;
  }
  // A request without a bad sector is one read and no zero fill.
  reader.reads = 0;
  EXPECT_EQ(view.ReadBatch(4096, out.data(), 8192).skippedBytes, 0u);
  EXPECT_EQ(reader.reads, 1);
  // A single read over a bad sector gives zeros and false.
  std::vector<uint8_t> record(1024, 0xEE);
  EXPECT_FALSE(view.Read(3 * 512, record.data(), 1024));
  EXPECT_EQ(record, std::vector<uint8_t>(1024, 0));
}

TEST(VolumeView, TheSourcesEndAndPositionsOutOfReach) {
  BadSectorReader reader(10 * 512);
  VolumeView view(reader, 2);
  std::vector<uint8_t> out(16 * 512, 0xEE);
  const VolumeView::BatchResult r = view.ReadBatch(0, out.data(), out.size(), 1024);
  EXPECT_TRUE(r.reachedEnd);
  EXPECT_EQ(r.skippedBytes, 0u);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 8 * 512, reader.image.begin() + 2 * 512));
  EXPECT_TRUE(std::all_of(out.begin() + 8 * 512, out.end(), [](uint8_t b) { return b == 0; }));

  EXPECT_FALSE(view.Positionable(static_cast<uint64_t>(INT64_MAX)));
  EXPECT_FALSE(view.ReadBatch(UINT64_MAX - 10, out.data(), 512).positioned);
  EXPECT_EQ(VolumeView::Bytes(uint64_t{1} << 40, uint64_t{1} << 30), std::nullopt);
  // A start sector whose byte offset does not fit reads nothing.
  VolumeView far(reader, INT64_MAX / 100);
  EXPECT_FALSE(far.Valid());
  EXPECT_FALSE(far.Read(0, out.data(), 512));
  VolumeView negative(reader, -1);
  EXPECT_FALSE(negative.Valid());
}

}  // namespace
}  // namespace lv
