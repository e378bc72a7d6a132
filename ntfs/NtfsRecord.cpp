#include "ntfs/NtfsRecord.h"

#include <algorithm>
#include <cstring>

namespace lv {

using namespace ntfs_layout;

namespace {
// The smallest attribute header (resident form) is 24 bytes.
constexpr uint32_t kMinimumHeader = 24;
}  // namespace

void ApplyFixups(std::span<const uint8_t, kMftRecordSize> raw, std::span<uint8_t, kMftRecordSize> out) {
  std::memcpy(out.data(), raw.data(), kRecordSize);
  const ByteView view(raw.data(), raw.size());
  const uint32_t arrayOffset = view.Le16(kRecUsaOffset);
  const uint32_t count = view.Le16(kRecUsaCount);
  if (arrayOffset >= kRecordSize) return;
  // Only sectors whose last two bytes lie inside the record can be patched:
  // k * 512 <= 1024, so at most two.
  const uint32_t last = std::min<uint32_t>(count > 0 ? count - 1 : 0, kRecordSize / kSlotSize);
  for (uint32_t k = 1; k <= last; ++k) {
    const uint32_t source = arrayOffset + 2 * k;
    if (!view.Fits(source, 2)) break;
    const uint32_t target = k * kSlotSize - 2;
    out[target] = raw[source];
    out[target + 1] = raw[source + 1];
  }
}

AttributeWalker::AttributeWalker(ByteView record) : record_(record) {
  position_ = record_.Le16(kRecFirstAttribute);
  done_ = !record_.Fits(0, kRecFirstAttribute + 2);
}

std::optional<AttributeView> AttributeWalker::Next() {
  if (done_ || !record_.Fits(position_, kMinimumHeader)) {
    done_ = true;
    return std::nullopt;
  }
  AttributeView a;
  a.position = position_;
  a.type = record_.Le32(position_ + kAttrType);
  a.length = record_.Le32(position_ + kAttrLength) & 0xFFFF;
  a.header = record_.Sub(position_, std::min<size_t>(kHeaderCopySize, record_.size() - position_));
  const size_t extentLength = std::min<size_t>(a.length, record_.size() - position_);
  a.extent = record_.Sub(position_, extentLength);
  if (a.type == kTypeEnd || a.length == 0) {
    done_ = true;
  } else {
    position_ += a.length;  // at most 1024 + 65535: no overflow
  }
  return a;
}

void CollectAttributeHeaders(ByteView record, std::vector<AttributeHeader>& out) {
  out.clear();
  AttributeWalker walker(record);
  while (auto a = walker.Next()) {
    AttributeHeader& h = out.emplace_back();
    h.position = a->position;
    std::memcpy(h.bytes.data(), a->header.data(), a->header.size());
  }
}

AttributeView ViewOf(ByteView record, const AttributeHeader& header) {
  AttributeView a;
  a.position = header.position;
  const ByteView copy(header.bytes.data(), header.bytes.size());
  a.type = copy.Le32(kAttrType);
  a.length = copy.Le32(kAttrLength) & 0xFFFF;
  if (header.position < record.size()) {
    a.header = record.Sub(header.position, std::min<size_t>(kHeaderCopySize, record.size() - header.position));
    a.extent = record.Sub(header.position, std::min<size_t>(a.length, record.size() - header.position));
  }
  return a;
}

ByteView ResidentContent(ByteView record, const AttributeView& attribute, bool cutAtAttribute) {
  const uint64_t start = uint64_t{attribute.position} + attribute.header.Le16(kAttrContentOffset);
  const uint64_t end = cutAtAttribute ? uint64_t{attribute.position} + attribute.extent.size() : record.size();
  if (start >= end || end > record.size()) return {};
  const uint64_t length = std::min<uint64_t>(attribute.header.Le32(kAttrContentLength), end - start);
  return record.Sub(static_cast<size_t>(start), static_cast<size_t>(length));
}

uint64_t BaseRecordNumber(ByteView header) { return header.Le64(kRecBaseRecord) & 0xFFFFFFFFFFFFull; }

std::optional<uint32_t> HeaderRecordNumber(ByteView header) {
  if (header.Le16(kRecUsaOffset) < kRecNumber + 4 || !header.Fits(kRecNumber, 4)) return std::nullopt;
  return header.Le32(kRecNumber);
}

bool HasAttribute(ByteView record, uint32_t type) {
  AttributeWalker walker(record);
  while (auto a = walker.Next())
    if (a->type == type) return true;
  return false;
}

void ForEachAttributeListEntry(ByteView list,
                               const std::function<void(uint32_t type, uint8_t nameLength, uint64_t record)>& entry) {
  for (size_t pos = 0; list.Fits(pos, kAlMinimumLength);) {
    const uint32_t type = list.Le32(pos + kAlType);
    const uint16_t length = list.Le16(pos + kAlLength);
    if (type == kTypeEnd || length < kAlMinimumLength || !list.Fits(pos, length)) break;
    entry(type, list.U8(pos + kAlNameLength),
          (uint64_t{list.Le16(pos + kAlRecordHigh)} << 32) | list.Le32(pos + kAlRecordLow));
    pos += length;
  }
}

}  // namespace lv
