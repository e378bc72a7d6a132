// Recovered names made safe to use as one component of a path.
//
// A name read from a disk may hold "/", NUL, invalid UTF-16 or be "." or
// ".."; used as it is, it could write outside the output folder or fail. The
// escapes keep every ordinary name unchanged and are stable: the same stored
// name always gives the same component.
#pragma once

#include <string>
#include <string_view>

namespace lv {

// Longest component written, in UTF-8 bytes (the usual NAME_MAX).
inline constexpr size_t kMaxComponentBytes = 255;

// UTF-16 name to one UTF-8 path component. The same rule names the files
// saved and the paths the command line prints:
//  - "%", "/" and the control characters U+0000-U+001F and U+007F become
//    "%XX" (two hex digits), a lone surrogate "%uXXXX";
//  - "." becomes "%2E" and ".." "%2E%2E"; an empty name becomes "%00";
//  - a component longer than kMaxComponentBytes is cut at a character
//    boundary and ends in "~" and eight hex digits of a hash of the whole
//    name, followed by the original extension when it is short.
std::string SafeComponent(std::u16string_view name);
// The same for wide text: SafeComponent(WideToUtf16(name)), without the copy.
std::string SafeComponent(std::wstring_view name);
// The same, appended to `out`.
void AppendSafeComponent(std::wstring_view name, std::string& out);
// The same for names already held as UTF-8 bytes (ext); bytes that are not
// UTF-8 become "%XX".
std::string SafeComponentFromBytes(std::string_view name);

}  // namespace lv
