#include "raw/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cwctype>

#include "common/Text.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {

constexpr const wchar_t* kInvalidFile = L"Please select a valid file..";

CarveRule RuleOf(const SignatureRecord& record, int ruleNumber) {
  CarveRule rule;
  rule.ruleNumber = ruleNumber;
  rule.extension = Utf16ToWide(std::u16string_view(record.extension).substr(0, 4));
  rule.startSignature = record.startSignature;
  rule.startLength = record.startLength;
  rule.startOffset = record.startOffset;
  rule.endSignature = record.endSignature;
  rule.endLength = record.endLength;
  rule.sizeOffset = record.sizeOffset > 0 ? record.sizeOffset : -1;
  rule.sizeWidth = record.sizeWidth;
  rule.headerSize = record.headerSize;
  rule.sizeIncludesHeader = record.sizeIncludesHeader;
  rule.reserved = record.reserved;
  rule.approxSize = record.approxSize;
  rule.skipSize = record.skipSize;
  rule.category = Utf16ToWide(record.category);
  return rule;
}

// Reads a whole regular file of at most kMaxSettingsFileBytes + 1 bytes.
// False when it cannot be opened or read.
bool ReadSmallFile(const std::string& path, std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st{};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bytes.clear();
  if (ok) {
    // One byte past the limit is enough to refuse the file as too long.
    bytes.resize(static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(st.st_size), kMaxSettingsFileBytes + 1)));
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    bytes.resize(got);
  }
  ::close(fd);
  return ok;
}

}  // namespace

bool ParseSettings(const uint8_t* bytes, size_t size, SettingsKind kind, std::vector<CarveRule>& rules) {
  using sigrec::kRecordBytes;
  const bool user = kind == SettingsKind::User;
  if (size < kRecordBytes) {
    // A default file shorter than one record adds nothing, silently.
    if (user) ShowInfo(kInvalidFile);
    return false;
  }
  if (size > kMaxSettingsFileBytes) {
    ShowInfo(kInvalidFile);
    return false;
  }
  const SignatureRecord last = DecodeRecord(bytes + size - kRecordBytes);
  if (user && last.sizeWidth > 8) {
    ShowInfo(kInvalidFile);
    return false;
  }
  // The last record's index gives the count. A count the file cannot hold,
  // or one that takes the combined list past what the engine supports, is
  // refused rather than read past the file or into rule numbers without
  // lists.
  const size_t count = size_t{last.recordIndex} + 1;
  if (count > size / kRecordBytes || rules.size() + count > kMaxRules) {
    ShowInfo(kInvalidFile);
    return false;
  }
  std::vector<CarveRule> loaded;
  loaded.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const SignatureRecord record = DecodeRecord(bytes + i * kRecordBytes);
    if (record.startLength > sigrec::kSignatureBytes || record.endLength > sigrec::kSignatureBytes) {
      ShowInfo(kInvalidFile);
      return false;
    }
    // Rules are numbered by their position in the combined list, whatever
    // index a record carries: the engine's lists are indexed by it.
    loaded.push_back(RuleOf(record, static_cast<int>(rules.size() + i)));
  }
  rules.insert(rules.end(), loaded.begin(), loaded.end());
  return true;
}

bool LoadSettingsFile(const std::string& path, SettingsKind kind, std::vector<CarveRule>& rules, WorkerSink& status) {
  if (kind == SettingsKind::Default) status.SetStatus(L"Processing.....");
  std::vector<uint8_t> bytes;
  if (!ReadSmallFile(path, bytes)) {
    if (kind == SettingsKind::User) ShowInfo(L"Cannot open the selected file");
    return false;
  }
  return ParseSettings(bytes.data(), bytes.size(), kind, rules);
}

std::vector<uint8_t> ParseSignatureText(std::wstring_view text) {
  std::vector<uint8_t> bytes;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(L',', start);
    if (comma == std::wstring_view::npos) comma = text.size();
    std::wstring_view piece = text.substr(start, comma - start);
    start = comma + 1;
    if (piece.empty()) continue;
    size_t i = 0;
    while (i < piece.size() && std::iswspace(static_cast<wint_t>(piece[i]))) ++i;
    if (i + 1 < piece.size() && piece[i] == L'0' && (piece[i + 1] == L'x' || piece[i + 1] == L'X')) i += 2;
    uint32_t value = 0;
    for (; i < piece.size() && std::iswxdigit(static_cast<wint_t>(piece[i])); ++i) {
      const wchar_t c = piece[i];
      const uint32_t digit = c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10;
      value = (value << 4) | digit;
    }
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

int32_t ReadNumberBox(std::wstring_view text) {
  const int64_t value = LeadingInteger(text);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

std::variant<SignatureRecord, std::wstring> BuildRecord(const EntryFields& fields, uint64_t targetLength) {
  SignatureRecord record;
  record.recordIndex = static_cast<uint8_t>(targetLength / sigrec::kRecordBytes);
  if (fields.extension.empty()) return std::wstring(L"extention length is zero..");
  const std::u16string extension = WideToUtf16(fields.extension);
  record.extension = extension.substr(0, 4);
  record.extensionLength = static_cast<uint8_t>(fields.extension.size());
  const std::vector<uint8_t> start = ParseSignatureText(fields.startSignature);
  const std::vector<uint8_t> end = ParseSignatureText(fields.endSignature);
  if (start.empty()) return std::wstring(L"signature length is zero..");
  // The record holds 10 bytes per signature; a longer one is refused, not cut.
  if (start.size() > sigrec::kSignatureBytes || end.size() > sigrec::kSignatureBytes)
    return std::wstring(L"signature length is more than 10..");
  std::copy(start.begin(), start.end(), record.startSignature.begin());
  std::copy(end.begin(), end.end(), record.endSignature.begin());
  record.startLength = static_cast<uint8_t>(start.size());
  record.endLength = static_cast<uint8_t>(end.size());
  if (const int32_t sizeOffset = ReadNumberBox(fields.sizeOffset); sizeOffset != 0) record.sizeOffset = sizeOffset;
  record.startOffset = static_cast<int16_t>(ReadNumberBox(fields.startOffset));
  record.sizeWidth = ReadNumberBox(fields.sizeWidth);
  record.headerSize = ReadNumberBox(fields.headerSize);
  record.approxSize = ReadNumberBox(fields.approxSize);
  record.skipSize = ReadNumberBox(fields.skipSize);
  record.sizeIncludesHeader = fields.sizeIncludesHeader ? 1 : 0;
  record.reserved = 0;
  if (!fields.category.empty()) record.category = WideToUtf16(fields.category).substr(0, sigrec::kCategorySlots);
  return record;
}

SignatureEditor::~SignatureEditor() {
  if (fd_ >= 0) ::close(fd_);
}

bool SignatureEditor::Replace(int fd, const std::string& path) {
  if (fd < 0) return false;
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  path_ = path;
  return true;
}

bool SignatureEditor::CreateTarget(const std::string& path) {
  return Replace(::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644), path);
}

bool SignatureEditor::OpenTarget(const std::string& path) {
  return Replace(::open(path.c_str(), O_RDWR | O_CLOEXEC), path);
}

bool SignatureEditor::SaveEntry(const EntryFields& fields) {
  if (fd_ < 0) {
    ShowInfo(L"File not found for saving entry.");
    return false;
  }
  struct stat st{};
  if (::fstat(fd_, &st) != 0) return false;
  auto built = BuildRecord(fields, static_cast<uint64_t>(st.st_size));
  if (const auto* refusal = std::get_if<std::wstring>(&built)) {
    if (*refusal == L"extention length is zero..") ShowInfo(*refusal);
    else ShowPlain(*refusal);
    return false;
  }
  const RecordBytes bytes = EncodeRecord(std::get<SignatureRecord>(built));
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd_, bytes.data() + done, bytes.size() - done, st.st_size + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  ShowPlain(L"everything initialized well.....");
  return true;
}

}  // namespace lv
