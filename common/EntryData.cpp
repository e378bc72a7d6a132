#include "common/EntryData.h"

#include <algorithm>

namespace lv {

namespace {
class BytesStream final : public DataStream {
 public:
  explicit BytesStream(std::string bytes) : bytes_(std::move(bytes)) {}
  bool Next(DataPiece& piece) override {
    if (done_ || bytes_.empty()) return false;
    done_ = true;
    piece = {reinterpret_cast<const uint8_t*>(bytes_.data()), bytes_.size()};
    return true;
  }

 private:
  std::string bytes_;
  bool done_ = false;
};
}  // namespace

std::unique_ptr<DataStream> StreamOfBytes(std::string bytes) { return std::make_unique<BytesStream>(std::move(bytes)); }

bool ReadWhole(EntryData& data, uint64_t limit, std::string& out) {
  out.clear();
  if (data.size > limit) return false;
  if (!data.stream) return true;
  DataPiece piece;
  while (out.size() < data.size && data.stream->Next(piece)) {
    const uint64_t n = std::min<uint64_t>(piece.length, data.size - out.size());
    if (piece.bytes) out.append(reinterpret_cast<const char*>(piece.bytes), static_cast<size_t>(n));
    else out.append(static_cast<size_t>(n), '\0');
  }
  return true;
}

}  // namespace lv
