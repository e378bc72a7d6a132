// Text helpers shared by every layer.
//
// Wide text (std::wstring) is the program's own text: captions, messages,
// status lines, file-system kinds, the category filter. Names that a file
// system stores as UTF-16 stay std::u16string until they are shown or used
// as a path. Paths on this system are UTF-8 byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lv {

// printf-style formatting into wide text. Wide string arguments take %ls.
std::wstring Format(const wchar_t* format, ...);
// printf-style formatting into UTF-8 text.
std::string FormatUtf8(const char* format, ...);

// UTF-16 to wide text; a lone surrogate is kept as its code unit value.
std::wstring Utf16ToWide(std::u16string_view text);
// Wide text to UTF-16 (code points above U+FFFF become surrogate pairs).
std::u16string WideToUtf16(std::wstring_view text);
// The same conversions appending to an existing buffer, for hot loops that
// reuse their storage.
void AppendUtf16ToWide(std::u16string_view text, std::wstring& out);
void AppendWideToUtf16(std::wstring_view text, std::u16string& out);
// Wide text to UTF-8 for display; values that are no Unicode scalar
// (lone surrogates, out of range) become U+FFFD.
// Appends one code point as UTF-8; a value past U+10FFFF or a surrogate is
// U+FFFD.
void AppendUtf8(std::string& out, uint32_t c);
std::string WideToUtf8(std::wstring_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// UTF-8 to wide text; malformed bytes become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);

// True when the UTF-16 text is well formed (no lone surrogates).
bool IsWellFormedUtf16(std::u16string_view text);

// The Windows-1252 ("ANSI") code page: decoding a byte, and the round trip
// of a UTF-16 text through it (characters without a 1252 byte become '?').
char16_t Cp1252ToUnicode(uint8_t byte);
std::u16string RoundTripCp1252(std::u16string_view text);

// White space removed at both ends (space, tab, CR, LF, VT, FF).
std::wstring Trim(std::wstring_view text);
std::u16string Trim(std::u16string_view text);
std::string TrimRight(std::string_view text);

// The decimal integer at the start of a text, after leading white space and
// an optional sign, as the C library's wcstoll reads it; 0 when there is none.
int64_t LeadingInteger(std::wstring_view text);

// ASCII-only case-insensitive comparison.
bool EqualsIgnoreCase(std::wstring_view a, std::wstring_view b);

}  // namespace lv
