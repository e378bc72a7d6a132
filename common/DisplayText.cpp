#include "common/DisplayText.h"

#include <ctime>

#include "common/Text.h"

namespace lv {

std::wstring SizeText(uint64_t bytes) {
  const double s = static_cast<double>(bytes);
  if (s / 1073741824.0 >= 1) return Format(L"%.2f GB", s / 1073741824.0);
  if (s / 1048576.0 >= 1) return Format(L"%.2f MB", s / 1048576.0);
  if (s / 1024.0 >= 1) return Format(L"%.2f KB", s / 1024.0);
  return Format(L"%lld Bytes", static_cast<long long>(bytes));
}

std::wstring DateTimeText(const CivilTime& t) {
  if (t.hour > 12) return Format(L"%02d/%02d/%d  %02d:%02d PM", t.month, t.day, t.year, t.hour - 12, t.minute);
  return Format(L"%02d/%02d/%d  %02d:%02d AM", t.month, t.day, t.year, t.hour, t.minute);
}

std::wstring DateOnlyText(const CivilTime& t) { return Format(L"%02d/%02d/%d ", t.month, t.day, t.year); }

std::optional<CivilTime> UnixTimeToLocal(int64_t seconds) {
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!localtime_r(&when, &tm)) return std::nullopt;
  return CivilTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

namespace {
// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpochShift = 11644473600LL;
}  // namespace

UnixTime FileTimeToUnix(uint64_t fileTime) {
  const int64_t seconds = static_cast<int64_t>(fileTime / 10000000ULL) - kFileTimeEpochShift;
  const int64_t nanoseconds = static_cast<int64_t>(fileTime % 10000000ULL) * 100;
  return UnixTime{seconds, nanoseconds};
}

std::optional<CivilTime> FileTimeToLocal(uint64_t fileTime) {
  // Windows refuses file times with the top bit set; so do we.
  if (fileTime > 0x7FFFFFFFFFFFFFFFULL) return std::nullopt;
  return UnixTimeToLocal(FileTimeToUnix(fileTime).seconds);
}

}  // namespace lv
