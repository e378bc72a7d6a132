// The signature settings file's record, and the carving rule built from it.
//
// A settings file is nothing but 173-byte records back to back, all integers
// little-endian, with no header and no trailer; record i starts at byte
// 173 × i. Fields are decoded at the named offsets below, never by casting.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace lv {

namespace sigrec {
inline constexpr size_t kRecordBytes = 173;
inline constexpr size_t kExtension = 0;           // 5 UTF-16 characters
inline constexpr size_t kStartOffset = 10;        // int16
inline constexpr size_t kExtensionLength = 12;    // uint8
inline constexpr size_t kStartSignature = 13;     // 10 bytes
inline constexpr size_t kEndSignature = 23;       // 10 bytes
inline constexpr size_t kStartLength = 33;        // uint8
inline constexpr size_t kEndLength = 34;          // uint8
inline constexpr size_t kRecordIndex = 35;        // uint8
inline constexpr size_t kSizeOffset = 36;         // int32
inline constexpr size_t kSizeWidth = 40;          // int32
inline constexpr size_t kHeaderSize = 44;         // int32
inline constexpr size_t kSizeIncludesHeader = 48; // uint8
inline constexpr size_t kReserved = 49;           // int32
inline constexpr size_t kApproxSize = 53;         // int64
inline constexpr size_t kSkipSize = 61;           // int64
inline constexpr size_t kCategory = 69;           // 50 UTF-16 characters
inline constexpr size_t kUnused = 169;            // int32
inline constexpr size_t kSignatureBytes = 10;
inline constexpr size_t kExtensionSlots = 5;
inline constexpr size_t kCategorySlots = 50;
}  // namespace sigrec

// Rules the carving engine supports: rule numbers 0..127.
inline constexpr size_t kMaxRules = 128;
// Settings files longer than this are refused.
inline constexpr uint64_t kMaxSettingsFileBytes = 1 << 20;

// One record as stored, field by field.
struct SignatureRecord {
  std::u16string extension;  // up to the first zero of the 5 slots
  int16_t startOffset = 0;
  uint8_t extensionLength = 0;
  std::array<uint8_t, sigrec::kSignatureBytes> startSignature{};
  std::array<uint8_t, sigrec::kSignatureBytes> endSignature{};
  uint8_t startLength = 0;
  uint8_t endLength = 0;
  uint8_t recordIndex = 0xFF;
  int32_t sizeOffset = -1;
  int32_t sizeWidth = 0;
  int32_t headerSize = 0;
  uint8_t sizeIncludesHeader = 0;
  int32_t reserved = 0;
  int64_t approxSize = 0;
  int64_t skipSize = 0;
  std::u16string category;  // up to the first zero of the 50 slots
};

using RecordBytes = std::array<uint8_t, sigrec::kRecordBytes>;

// The 173 bytes of a record: the extension cut to 4 characters and the
// category to 50, both zero-filled; unused always 0.
RecordBytes EncodeRecord(const SignatureRecord& record);
// The record in 173 bytes.
SignatureRecord DecodeRecord(const uint8_t* bytes);

// A rule of the carving engine, one per loaded record, in load order.
struct CarveRule {
  int ruleNumber = 0;  // position in the combined rule list
  std::wstring extension;
  std::array<uint8_t, sigrec::kSignatureBytes> startSignature{};
  uint8_t startLength = 0;
  int32_t startOffset = 0;
  std::array<uint8_t, sigrec::kSignatureBytes> endSignature{};
  uint8_t endLength = 0;
  int32_t sizeOffset = -1;  // -1: no size field
  int32_t sizeWidth = 0;
  int32_t headerSize = 0;
  uint8_t sizeIncludesHeader = 0;
  int32_t reserved = 0;
  int64_t approxSize = 0;
  int64_t skipSize = 0;
  std::wstring category;

  bool HasEnd() const { return endLength != 0; }
  bool HasSizeField() const { return sizeWidth > 0; }
};

}  // namespace lv
