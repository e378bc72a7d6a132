// Builds the default signature settings file from its readable table:
//   make-file-setting FileSetting.table FileSetting.txt
// Every line of the table becomes one 173-byte record, numbered in order.
// A line that does not fit the record format stops the build.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/Text.h"
#include "raw/SignatureRecord.h"

namespace {

[[noreturn]] void Fail(size_t line, const std::string& why) {
  std::fprintf(stderr, "make-file-setting: line %zu: %s\n", line, why.c_str());
  std::exit(1);
}

std::string Trimmed(const std::string& text) {
  const size_t a = text.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  return text.substr(a, text.find_last_not_of(" \t") - a + 1);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) parts.push_back(Trimmed(part));
  return parts;
}

// Hexadecimal bytes separated by blanks; "*" is the wildcard byte 0x2A.
uint8_t Signature(size_t line, const std::string& text, std::array<uint8_t, lv::sigrec::kSignatureBytes>& out) {
  if (text == "-") return 0;
  std::stringstream in(text);
  std::string word;
  size_t n = 0;
  while (in >> word) {
    if (n == out.size()) Fail(line, "a signature has at most 10 bytes");
    if (word == "*") {
      out[n++] = 0x2A;
      continue;
    }
    char* end = nullptr;
    const unsigned long v = std::strtoul(word.c_str(), &end, 16);
    if (word.size() != 2 || *end != '\0' || v > 0xFF) Fail(line, "not a hexadecimal byte: " + word);
    if (v == 0x2A) Fail(line, "0x2A is the wildcard; write * where any byte may stand");
    out[n++] = static_cast<uint8_t>(v);
  }
  return static_cast<uint8_t>(n);
}

int64_t Size(size_t line, const std::string& text) {
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  const std::string unit = end;
  if (end == text.c_str() || v < 0) Fail(line, "not a size: " + text);
  if (unit == "K") v <<= 10;
  else if (unit == "M") v <<= 20;
  else if (unit == "G") v <<= 30;
  else if (!unit.empty()) Fail(line, "unknown unit in " + text);
  return v;
}

int32_t Int32(size_t line, const std::string& text) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < INT32_MIN || v > INT32_MAX) Fail(line, "not a number: " + text);
  return static_cast<int32_t>(v);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make-file-setting TABLE OUTPUT\n");
    return 2;
  }
  std::ifstream table(argv[1]);
  if (!table) {
    std::fprintf(stderr, "make-file-setting: cannot read %s\n", argv[1]);
    return 1;
  }
  std::vector<lv::SignatureRecord> records;
  std::string text;
  for (size_t line = 1; std::getline(table, text); ++line) {
    if (Trimmed(text).empty() || Trimmed(text)[0] == '#') continue;
    const std::vector<std::string> cells = Split(text, '|');
    if (cells.size() != 8) Fail(line, "expected 8 columns");
    lv::SignatureRecord record;
    const std::u16string extension = lv::WideToUtf16(lv::Utf8ToWide(cells[0]));
    if (extension.empty() || extension.size() > 4) Fail(line, "an extension has 1 to 4 characters");
    record.extension = extension;
    record.extensionLength = static_cast<uint8_t>(extension.size());
    record.category = lv::WideToUtf16(lv::Utf8ToWide(cells[1]));
    if (record.category.size() > lv::sigrec::kCategorySlots) Fail(line, "a category has at most 50 characters");
    const int32_t offset = Int32(line, cells[2]);
    record.startLength = Signature(line, cells[3], record.startSignature);
    record.endLength = Signature(line, cells[4], record.endSignature);
    if (record.startLength < 2) Fail(line, "a start signature has at least 2 bytes");
    if (offset < 0 || offset + record.startLength > 512) Fail(line, "the start signature must lie in the sector");
    record.startOffset = static_cast<int16_t>(offset);
    if (cells[5] != "-") {
      std::string field = cells[5];
      record.sizeIncludesHeader = !field.empty() && field.back() == '+';
      if (record.sizeIncludesHeader) field.pop_back();
      const std::vector<std::string> parts = Split(field, '/');
      if (parts.size() != 3) Fail(line, "a size field is OFFSET/WIDTH/HEADER");
      record.sizeOffset = Int32(line, parts[0]);
      record.sizeWidth = Int32(line, parts[1]);
      record.headerSize = Int32(line, parts[2]);
      if (record.sizeOffset <= 0 || record.sizeWidth != 4 || record.headerSize < 0 ||
          record.sizeOffset + record.sizeWidth + (record.sizeIncludesHeader ? 0 : record.headerSize) > 512)
        Fail(line, "a size field is 4 bytes inside the sector, after its first byte");
      if (record.endLength != 0) Fail(line, "a rule has an end signature or a size field, not both");
    }
    record.approxSize = Size(line, cells[6]);
    record.skipSize = Size(line, cells[7]);
    records.push_back(record);
  }
  if (records.empty() || records.size() > lv::kMaxRules) Fail(0, "the table needs 1 to 128 rules");
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].recordIndex = static_cast<uint8_t>(i);
    const lv::RecordBytes bytes = lv::EncodeRecord(records[i]);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  out.close();
  if (!out) {
    std::fprintf(stderr, "make-file-setting: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
