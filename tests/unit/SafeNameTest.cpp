#include <gtest/gtest.h>

#include "common/SafeName.h"
#include "common/Text.h"

namespace lv {
namespace {

TEST(SafeComponent, OrdinaryNamesAreUnchanged) {
  EXPECT_EQ(SafeComponent(u"IMG_0001.JPG"), "IMG_0001.JPG");
  EXPECT_EQ(SafeComponent(u"caf\u00e9 off.jpg"), "caf\xc3\xa9 off.jpg");
  EXPECT_EQ(SafeComponent(u"..hidden"), "..hidden");
}

TEST(SafeComponent, NamesThatWouldLeaveTheFolderAreEscaped) {
  EXPECT_EQ(SafeComponent(u"."), "%2E");
  EXPECT_EQ(SafeComponent(u".."), "%2E%2E");
  EXPECT_EQ(SafeComponent(u"../../etc/passwd"), "..%2F..%2Fetc%2Fpasswd");
  EXPECT_EQ(SafeComponent(u""), "%00");
  EXPECT_EQ(SafeComponent(std::u16string(u"a\0b", 3)), "a%00b");
  // Escapes read back one way: "%" itself, and control characters that
  // would break a printed line.
  EXPECT_EQ(SafeComponent(u"50%2F off\t\n\x7f.jpg"), "50%252F off%09%0A%7F.jpg");
  EXPECT_EQ(SafeComponentFromBytes("50%\r"), "50%25%0D");
  const std::u16string lone = {u'x', char16_t(0xDC01)};
  EXPECT_EQ(SafeComponent(lone), "x%uDC01");
}

TEST(SafeComponent, LongNamesAreCutStablyAndKeepTheirExtension) {
  const std::u16string longName = std::u16string(300, u'\u00e9') + u".jpg";
  const std::string a = SafeComponent(longName);
  EXPECT_LE(a.size(), kMaxComponentBytes);
  EXPECT_EQ(a, SafeComponent(longName));
  EXPECT_EQ(a.substr(a.size() - 4), ".jpg");
  EXPECT_NE(a, SafeComponent(std::u16string(301, u'\u00e9') + u".jpg"));
}

TEST(SafeComponent, WideTextGivesWhatItsUtf16FormGives) {
  const std::wstring cases[] = {L"IMG_0001.JPG", L"..", L"", L"a/b%\t", L"\U0001F600.jpg",
                                {L'x', wchar_t(0xDC01)}, {wchar_t(0xD83D), wchar_t(0xDE00)}, {wchar_t(0x110000)},
                                std::wstring(300, L'\u00e9') + L".jpg"};
  for (const std::wstring& name : cases) EXPECT_EQ(SafeComponent(std::wstring_view(name)), SafeComponent(WideToUtf16(name)));
}

TEST(SafeComponentFromBytes, EscapesBytesThatAreNotUtf8) {
  EXPECT_EQ(SafeComponentFromBytes("ok.txt"), "ok.txt");
  EXPECT_EQ(SafeComponentFromBytes("bad\xff/x"), "bad%FF%2Fx");
  EXPECT_EQ(SafeComponentFromBytes(".."), "%2E%2E");
  EXPECT_EQ(SafeComponentFromBytes("\xc3\xa9"), "\xc3\xa9");
  EXPECT_EQ(SafeComponentFromBytes("\xc3"), "%C3");
}

}  // namespace
}  // namespace lv
