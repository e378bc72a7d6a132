#include "fat/FatCommon.h"

#include <algorithm>
#include <ctime>

#include "common/Text.h"

namespace lv {

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

CivilTime DosFields(uint16_t date, uint16_t time) {
  CivilTime t;
  t.year = 1980 + (date >> 9);
  t.month = (date >> 5) & 0x0F;
  t.day = date & 0x1F;
  t.hour = time >> 11;
  t.minute = (time >> 5) & 0x3F;
  t.second = (time & 0x1F) * 2;
  return t;
}

bool IsValidDos(uint16_t date, uint16_t time) {
  const CivilTime t = DosFields(date, time);
  return t.day >= 1 && t.day <= DaysInMonth(t.year, t.month) && t.hour < 24 && t.minute < 60 && t.second < 60;
}

std::optional<int64_t> DosToUnixLocal(uint16_t date, uint16_t time) {
  if (!IsValidDos(date, time)) return std::nullopt;
  const CivilTime t = DosFields(date, time);
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;  // the zone's rule for that date decides
  const std::time_t when = std::mktime(&tm);
  if (when == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<int64_t>(when);
}

std::wstring DosDateTimeText(uint16_t date, uint16_t time) { return DateTimeText(DosFields(date, time)); }

std::wstring DosDateText(uint16_t date) { return DateOnlyText(DosFields(date, 0)); }

std::u16string ShortEntryName(ByteView name11, uint8_t caseFlags) {
  std::u16string base, extension;
  for (size_t i = 0; i < kShortNameBytes; ++i) {
    const uint8_t b = name11.U8(i);
    char16_t c;
    if (i == 0 && b == kDeletedMark) c = 0xFFE5;
    else if (i == 0 && b == kKanjiMark) c = Cp1252ToUnicode(kDeletedMark);
    else c = Cp1252ToUnicode(b);
    if (i < 8) base.push_back((caseFlags & kLowerBase) ? Lower(c) : c);
    else extension.push_back((caseFlags & kLowerExtension) ? Lower(c) : c);
  }
  while (!base.empty() && base.back() == u' ') base.pop_back();
  while (!extension.empty() && extension.back() == u' ') extension.pop_back();
  if (extension.empty()) return base;
  return base + u'.' + extension;
}

uint8_t ShortNameChecksum(ByteView name11) {
  uint8_t sum = 0;
  for (size_t i = 0; i < kShortNameBytes; ++i) sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + name11.U8(i));
  return sum;
}

}  // namespace lv
