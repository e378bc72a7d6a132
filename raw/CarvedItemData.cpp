#include "raw/CarvedItemData.h"

#include <algorithm>

#include "disk/AlignedBuffer.h"
#include "disk/VolumeView.h"

namespace lv {

namespace {

class CarvedItemStream final : public DataStream {
 public:
  CarvedItemStream(readWriteInterface& reader, int64_t startSector, const CarvedItem& item, const StopFlag* stop)
      : view_(reader, startSector),
        position_(static_cast<uint64_t>(item.startOffset)),
        wholeMiB_(static_cast<uint64_t>(item.size) / kCarveChunk),
        remainder_(CopyLength(item.size) - wholeMiB_ * kCarveChunk),
        stop_(stop) {}

  bool Next(DataPiece& piece) override {
    uint64_t length;
    if (wholeMiB_ > 0 && !(stop_ && stop_->load(std::memory_order_relaxed) != 0)) {
      --wholeMiB_;
      length = kCarveChunk;
    } else if (remainder_ > 0) {
      // A stop leaves the whole MiB unread; the remainder is still copied,
      // from where the copy got to.
      wholeMiB_ = 0;
      length = remainder_;
      remainder_ = 0;
    } else {
      return false;
    }
    if (buffer_.size() < length && !buffer_.Resize(kCarveChunk)) return false;
    view_.ReadBatch(position_, buffer_.data(), static_cast<size_t>(length));
    position_ += length;
    piece = {buffer_.data(), length};
    return true;
  }

 private:
  VolumeView view_;
  uint64_t position_;
  uint64_t wholeMiB_;
  uint64_t remainder_;
  const StopFlag* stop_;
  AlignedBuffer buffer_;
};

}  // namespace

uint64_t CopyLength(int64_t size) {
  if (size <= 0) return 0;
  const auto bytes = static_cast<uint64_t>(size);
  const uint64_t whole = bytes / kCarveChunk * kCarveChunk;
  const uint64_t rest = bytes - whole;
  return whole + (rest + kCarveSector - 1) / kCarveSector * kCarveSector;
}

EntryData CarvedItemData(readWriteInterface& reader, int64_t startSector, const CarvedItem& item,
                         const StopFlag* stop) {
  EntryData data;
  data.size = CopyLength(item.size);
  if (data.size > 0 && item.startOffset >= 0)
    data.stream = std::make_unique<CarvedItemStream>(reader, startSector, item, stop);
  else data.size = 0;
  return data;
}

}  // namespace lv
