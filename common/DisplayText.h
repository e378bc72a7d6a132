// The size and date texts of the file list and of the save status lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lv {

// "%.2f GB", "%.2f MB", "%.2f KB" or "%lld Bytes": the largest unit of which
// the size holds at least one, divided in floating point.
std::wstring SizeText(uint64_t bytes);

struct CivilTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

// "%02d/%02d/%d  %02d:%02d AM" (month/day/year): hours 0..12 read AM and are
// printed unchanged, hours 13..23 read PM and are printed minus 12.
std::wstring DateTimeText(const CivilTime& t);
// "%02d/%02d/%d " (month/day/year and one trailing blank): a date without time.
std::wstring DateOnlyText(const CivilTime& t);

// Seconds since 1970-01-01 UTC to the local time of the current time zone.
std::optional<CivilTime> UnixTimeToLocal(int64_t seconds);
// A Windows file time (100 ns units since 1601-01-01 UTC) to local time.
std::optional<CivilTime> FileTimeToLocal(uint64_t fileTime);
// A Windows file time to seconds and nanoseconds since 1970 (for utimensat).
struct UnixTime {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
};
UnixTime FileTimeToUnix(uint64_t fileTime);

}  // namespace lv
