#include <gtest/gtest.h>

#include "common/DisplayText.h"
#include "common/Text.h"

namespace lv {
namespace {

TEST(SizeText, UnitBoundaries) {
  EXPECT_EQ(SizeText(0), L"0 Bytes");
  EXPECT_EQ(SizeText(1023), L"1023 Bytes");
  EXPECT_EQ(SizeText(1024), L"1.00 KB");
  EXPECT_EQ(SizeText(1048575), L"1024.00 KB");
  EXPECT_EQ(SizeText(1048576), L"1.00 MB");
  EXPECT_EQ(SizeText(1073741823), L"1024.00 MB");
  EXPECT_EQ(SizeText(1073741824), L"1.00 GB");
  EXPECT_EQ(SizeText(5ULL << 40), L"5120.00 GB");
}

TEST(DateTimeText, HourRule) {
  EXPECT_EQ(DateTimeText({2004, 1, 2, 0, 10, 0}), L"01/02/2004  00:10 AM");
  EXPECT_EQ(DateTimeText({2004, 1, 2, 12, 30, 0}), L"01/02/2004  12:30 AM");
  EXPECT_EQ(DateTimeText({2004, 11, 22, 13, 5, 59}), L"11/22/2004  01:05 PM");
  EXPECT_EQ(DateTimeText({1999, 12, 31, 23, 59, 0}), L"12/31/1999  11:59 PM");
  EXPECT_EQ(DateOnlyText({2004, 6, 1, 15, 0, 0}), L"06/01/2004 ");
}

TEST(FileTime, ConvertsToUnixAndLocal) {
  // 2004-01-01 14:00:00 UTC as a Windows file time.
  const uint64_t ft = (1072965600ULL + 11644473600ULL) * 10000000ULL + 1234567;
  const UnixTime u = FileTimeToUnix(ft);
  EXPECT_EQ(u.seconds, 1072965600);
  EXPECT_EQ(u.nanoseconds, 123456700);
  setenv("TZ", "UTC", 1);
  tzset();
  const auto local = FileTimeToLocal(ft);
  ASSERT_TRUE(local);
  EXPECT_EQ(DateTimeText(*local), L"01/01/2004  02:00 PM");
  EXPECT_FALSE(FileTimeToLocal(0x8000000000000000ULL));
}

TEST(TextConversion, Utf16SurvivesAndLoneSurrogatesAreReplacedForDisplay) {
  const std::u16string name = u"caf\u00e9 \U0001F600.jpg";
  EXPECT_EQ(Utf16ToUtf8(name), "caf\xc3\xa9 \xf0\x9f\x98\x80.jpg");
  EXPECT_EQ(WideToUtf16(Utf16ToWide(name)), name);
  const std::u16string lone = {u'a', char16_t(0xD800), u'b'};
  EXPECT_FALSE(IsWellFormedUtf16(lone));
  EXPECT_TRUE(IsWellFormedUtf16(name));
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xef\xbf\xbd" "b");
  EXPECT_EQ(Utf8ToWide("a\xff\xc3"), L"a\xFFFD\xFFFD");
  EXPECT_EQ(Utf8ToWide("\xe2\x82\xac"), L"\x20AC");
}

TEST(TextConversion, Cp1252RoundTripKeepsWhatTheCodePageHolds) {
  EXPECT_EQ(RoundTripCp1252(u"Basic data \u00e9\u20ac"), u"Basic data \u00e9\u20ac");
  EXPECT_EQ(RoundTripCp1252(u"\u0416\U0001F600x"), u"??x");
  EXPECT_EQ(Cp1252ToUnicode(0x80), u'\u20AC');
  EXPECT_EQ(Cp1252ToUnicode(0xE9), u'\u00E9');
}

TEST(TextHelpers, LeadingIntegerAndTrim) {
  EXPECT_EQ(LeadingInteger(L"2048   MB"), 2048);
  EXPECT_EQ(LeadingInteger(L"  -12x"), -12);
  EXPECT_EQ(LeadingInteger(L"MB"), 0);
  EXPECT_EQ(LeadingInteger(L"99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(Trim(std::wstring_view(L"  a b \t")), L"a b");
  EXPECT_EQ(TrimRight("out  "), "out");
  EXPECT_TRUE(EqualsIgnoreCase(L"NTFS", L"ntfs"));
  EXPECT_FALSE(EqualsIgnoreCase(L"FAT", L"FAT16"));
  EXPECT_EQ(Format(L"%ls-%d", L"x", 5), L"x-5");
}

}  // namespace
}  // namespace lv
