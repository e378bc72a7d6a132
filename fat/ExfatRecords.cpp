#include "fat/ExfatRecords.h"

#include <ctime>

#include "fat/ExfatLayout.h"

namespace lv {

using namespace exfat_layout;

namespace {

bool IsFileType(uint8_t type) { return type == kTypeFile || type == kTypeFileDeleted; }
bool IsStreamType(uint8_t type) { return type == kTypeStream || type == kTypeStreamDeleted; }
bool IsNameType(uint8_t type) { return type == kTypeName || type == kTypeNameDeleted; }

void ReadFileEntry(ByteView e, ExFatEntryRecord& r) {
  r = ExFatEntryRecord{};
  r.entryType = e.U8(0);
  r.attributes = e.Le16(kFileAttributes);
  r.createTimestamp = e.Le32(kCreateTimestamp);
  r.modifyTimestamp = e.Le32(kModifyTimestamp);
  r.accessTimestamp = e.Le32(kAccessTimestamp);
  r.create10ms = e.U8(kCreate10ms);
  r.modify10ms = e.U8(kModify10ms);
  r.createUtcOffset = e.U8(kCreateUtcOffset);
  r.modifyUtcOffset = e.U8(kModifyUtcOffset);
  r.accessUtcOffset = e.U8(kAccessUtcOffset);
}

void ReadStreamEntry(ByteView e, ExFatEntryRecord& r) {
  r.streamType = e.U8(0);
  r.secondaryFlags = e.U8(kSecondaryFlags);
  r.nameLength = e.U8(kNameLength);
  r.validDataLength = e.Le64(kValidDataLength);
  r.firstCluster = e.Le32(kFirstCluster);
  r.dataLength = e.Le64(kDataLength);
}

constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

bool IsRealMoment(const CivilTime& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= DaysIn(t.year, t.month) && t.hour < 24 &&
         t.minute < 60 && t.second < 60;
}

// Seconds since 1970 of a civil time read as UTC (years 1980..2107 only).
int64_t UtcSeconds(const CivilTime& t) {
  int64_t days = 0;
  for (int y = 1970; y < t.year; ++y) days += IsLeap(y) ? 366 : 365;
  days += kDaysBefore[t.month - 1] + (t.month > 2 && IsLeap(t.year) ? 1 : 0) + (t.day - 1);
  return ((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
}

}  // namespace

DecodedSlot DecodeSlot(ByteView slots, ExFatEntryRecord& record, std::u16string& name) {
  DecodedSlot out;
  const ByteView first = slots.Sub(0, kEntryBytes);
  const uint8_t type = first.U8(0);
  if (type == kTypeBitmap) {
    out.kind = SlotKind::Bitmap;
    out.bitmapCluster = first.Le32(kBitmapFirstCluster);
    out.bitmapBytes = first.Le64(kBitmapDataLength);
    return out;
  }
  if (first.empty() || !IsFileType(type)) return out;
  out.kind = SlotKind::FileSet;
  ReadFileEntry(first, record);
  name.clear();
  size_t at = kEntryBytes;
  const ByteView stream = slots.Sub(at, kEntryBytes);
  if (!stream.empty() && IsStreamType(stream.U8(0))) {
    ReadStreamEntry(stream, record);
    at += kEntryBytes;
  }
  // Name entries that follow, no more than the set holds: a set is shorter
  // than the one it overwrote, and the old set's name entries may follow it.
  // A secondary count below 2 is damaged and does not limit the gathering.
  const uint8_t secondaries = first.U8(kSecondaryCount);
  size_t limit = kMaxNameEntries;
  if (secondaries >= 2 && static_cast<size_t>(secondaries - 1) < limit) limit = secondaries - 1u;
  for (size_t n = 0; n < limit; ++n) {
    const ByteView entry = slots.Sub(at, kEntryBytes);
    if (entry.empty() || !IsNameType(entry.U8(0))) break;
    for (size_t c = 0; c < kCharactersPerNameEntry; ++c) {
      const char16_t ch = entry.Le16(kNameCharacters + 2 * c);
      if (ch == 0) break;
      name.push_back(ch);
    }
    at += kEntryBytes;
  }
  if (record.nameLength != 0 && record.nameLength < name.size()) name.resize(record.nameLength);
  out.entries = at / kEntryBytes;
  return out;
}

CivilTime ExfatTimestampFields(uint32_t timestamp) {
  const uint32_t date = timestamp >> 16, time = timestamp & 0xFFFF;
  CivilTime t;
  t.year = 1980 + static_cast<int>(date >> 9);
  t.month = static_cast<int>((date >> 5) & 0x0F);
  t.day = static_cast<int>(date & 0x1F);
  t.hour = static_cast<int>(time >> 11);
  t.minute = static_cast<int>((time >> 5) & 0x3F);
  t.second = static_cast<int>(time & 0x1F) * 2;
  return t;
}

std::wstring ExfatTimestampText(uint32_t timestamp) { return DateTimeText(ExfatTimestampFields(timestamp)); }

std::optional<UnixTime> ExfatTimestampToUnix(uint32_t timestamp, uint8_t increment10ms, uint8_t utcOffset) {
  const CivilTime t = ExfatTimestampFields(timestamp);
  if (!IsRealMoment(t)) return std::nullopt;
  int64_t seconds;
  if (utcOffset & kUtcOffsetValid) {
    // Bits 0..6: a signed count of 15-minute steps east of UTC.
    const int64_t quarters = SignExtend(utcOffset & 0x7F, 7);
    seconds = UtcSeconds(t) - quarters * 15 * 60;
  } else {
    std::tm local{};
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1;
    const std::time_t made = std::mktime(&local);
    if (made == static_cast<std::time_t>(-1)) return std::nullopt;
    seconds = static_cast<int64_t>(made);
  }
  // The increment adds 0 to 1.99 seconds; larger values are not defined.
  UnixTime out;
  const unsigned centiseconds = increment10ms < 200 ? increment10ms : 0;
  out.seconds = seconds + centiseconds / 100;
  out.nanoseconds = static_cast<int64_t>(centiseconds % 100) * 10'000'000;
  return out;
}

std::optional<FileTimes> ExfatFileTimes(const ExFatEntryRecord& record) {
  const std::optional<UnixTime> modify =
      ExfatTimestampToUnix(record.modifyTimestamp, record.modify10ms, record.modifyUtcOffset);
  if (!modify) return std::nullopt;
  const std::optional<UnixTime> access = ExfatTimestampToUnix(record.accessTimestamp, 0, record.accessUtcOffset);
  const UnixTime a = access.value_or(*modify);
  return FileTimes{a.seconds, a.nanoseconds, modify->seconds, modify->nanoseconds};
}

}  // namespace lv
