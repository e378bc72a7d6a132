#include "raw/SignatureRecord.h"

#include <algorithm>
#include <cstring>

#include "common/ByteView.h"

namespace lv {

namespace {

void PutLe(RecordBytes& out, size_t offset, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutText(RecordBytes& out, size_t offset, std::u16string_view text, size_t slots) {
  const size_t n = std::min(text.size(), slots);
  for (size_t i = 0; i < n; ++i) PutLe(out, offset + 2 * i, text[i], 2);
}

std::u16string TakeText(const ByteView& view, size_t offset, size_t slots) {
  std::u16string text;
  for (size_t i = 0; i < slots; ++i) {
    const char16_t c = static_cast<char16_t>(view.Le16(offset + 2 * i));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

}  // namespace

RecordBytes EncodeRecord(const SignatureRecord& record) {
  using namespace sigrec;
  RecordBytes out{};
  PutText(out, kExtension, record.extension, kExtensionSlots - 1);
  PutLe(out, kStartOffset, static_cast<uint16_t>(record.startOffset), 2);
  out[kExtensionLength] = record.extensionLength;
  std::copy(record.startSignature.begin(), record.startSignature.end(), out.begin() + kStartSignature);
  std::copy(record.endSignature.begin(), record.endSignature.end(), out.begin() + kEndSignature);
  out[kStartLength] = record.startLength;
  out[kEndLength] = record.endLength;
  out[kRecordIndex] = record.recordIndex;
  PutLe(out, kSizeOffset, static_cast<uint32_t>(record.sizeOffset), 4);
  PutLe(out, kSizeWidth, static_cast<uint32_t>(record.sizeWidth), 4);
  PutLe(out, kHeaderSize, static_cast<uint32_t>(record.headerSize), 4);
  out[kSizeIncludesHeader] = record.sizeIncludesHeader;
  PutLe(out, kReserved, static_cast<uint32_t>(record.reserved), 4);
  PutLe(out, kApproxSize, static_cast<uint64_t>(record.approxSize), 8);
  PutLe(out, kSkipSize, static_cast<uint64_t>(record.skipSize), 8);
  PutText(out, kCategory, record.category, kCategorySlots);
  return out;
}

SignatureRecord DecodeRecord(const uint8_t* bytes) {
  using namespace sigrec;
  const ByteView view(bytes, kRecordBytes);
  SignatureRecord record;
  record.extension = TakeText(view, kExtension, kExtensionSlots);
  record.startOffset = static_cast<int16_t>(view.Le16(kStartOffset));
  record.extensionLength = view.U8(kExtensionLength);
  std::memcpy(record.startSignature.data(), bytes + kStartSignature, kSignatureBytes);
  std::memcpy(record.endSignature.data(), bytes + kEndSignature, kSignatureBytes);
  record.startLength = view.U8(kStartLength);
  record.endLength = view.U8(kEndLength);
  record.recordIndex = view.U8(kRecordIndex);
  record.sizeOffset = static_cast<int32_t>(view.Le32(kSizeOffset));
  record.sizeWidth = static_cast<int32_t>(view.Le32(kSizeWidth));
  record.headerSize = static_cast<int32_t>(view.Le32(kHeaderSize));
  record.sizeIncludesHeader = view.U8(kSizeIncludesHeader);
  record.reserved = static_cast<int32_t>(view.Le32(kReserved));
  record.approxSize = static_cast<int64_t>(view.Le64(kApproxSize));
  record.skipSize = static_cast<int64_t>(view.Le64(kSkipSize));
  record.category = TakeText(view, kCategory, kCategorySlots);
  return record;
}

}  // namespace lv
