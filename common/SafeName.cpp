#include "common/SafeName.h"

#include <cstdint>

#include "common/Text.h"

namespace lv {

namespace {

void AppendHexEscape(std::string& out, const char* prefix, uint32_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  out += prefix;
  for (int i = digits - 1; i >= 0; --i) out.push_back(kHex[(value >> (4 * i)) & 0xF]);
}

// "/" would split the component, control characters would split or hide a
// printed line, and "%" itself is escaped so that every escape reads back
// one way.
bool IsEscapedAscii(uint32_t c) { return c < 0x20 || c == 0x7F || c == '/' || c == '%'; }

uint32_t Fnv1a(std::string_view bytes) {
  uint32_t h = 2166136261u;
  for (unsigned char c : bytes) h = (h ^ c) * 16777619u;
  return h;
}

size_t Utf8CharStart(const std::string& s, size_t pos) {
  while (pos > 0 && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80) --pos;
  return pos;
}

// Shortens an escaped component to kMaxComponentBytes, stably.
std::string Shorten(std::string component, std::string_view original) {
  if (component.size() <= kMaxComponentBytes) return component;
  std::string extension;
  const size_t dot = component.rfind('.');
  if (dot != std::string::npos && dot > 0 && component.size() - dot <= 16) extension = component.substr(dot);
  std::string tag;
  AppendHexEscape(tag, "~", Fnv1a(original), 8);
  const size_t keep = Utf8CharStart(component, kMaxComponentBytes - tag.size() - extension.size());
  component.resize(keep);
  return component + tag + extension;
}

std::string Finish(std::string component, std::string_view original) {
  if (component.empty()) return "%00";
  if (component == ".") return "%2E";
  if (component == "..") return "%2E%2E";
  return Shorten(std::move(component), original);
}

// Escapes a UTF-16 or wide name onto `out`: a surrogate pair joins into
// one character, a lone surrogate becomes "%uXXXX", a wide value past
// U+10FFFF becomes U+FFFD.
template <class Char>
void AppendEscaped(std::basic_string_view<Char> name, std::string& out) {
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<uint32_t>(name[i]);
    const uint32_t next = i + 1 < name.size() ? static_cast<uint32_t>(name[i + 1]) : 0;
    if (c >= 0x20 && c < 0x7F && c != '/' && c != '%') {
      out.push_back(static_cast<char>(c));
    } else if (IsEscapedAscii(c)) {
      AppendHexEscape(out, "%", c, 2);
    } else if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00));
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      AppendHexEscape(out, "%u", c, 4);
    } else {
      AppendUtf8(out, c);
    }
  }
}

}  // namespace

std::string SafeComponent(std::u16string_view name) {
  std::string out;
  out.reserve(name.size() + 8);
  AppendEscaped(name, out);
  const std::string_view raw(reinterpret_cast<const char*>(name.data()), name.size() * sizeof(char16_t));
  return Finish(std::move(out), raw);
}

void AppendSafeComponent(std::wstring_view name, std::string& out) {
  // The rule of the UTF-16 form, without building it.
  const size_t start = out.size();
  AppendEscaped(name, out);
  const std::string_view added = std::string_view(out).substr(start);
  // Empty, "." and "..", and a long name whose tag hashes its UTF-16 bytes.
  if (!added.empty() && added != "." && added != ".." && added.size() <= kMaxComponentBytes) return;
  out.resize(start);
  out += SafeComponent(WideToUtf16(name));
}

std::string SafeComponent(std::wstring_view name) {
  std::string out;
  out.reserve(name.size() + 8);
  AppendSafeComponent(name, out);
  return out;
}

std::string SafeComponentFromBytes(std::string_view name) {
  std::string out;
  size_t i = 0;
  while (i < name.size()) {
    const unsigned char b = static_cast<unsigned char>(name[i]);
    if (IsEscapedAscii(b)) {
      AppendHexEscape(out, "%", b, 2);
      ++i;
      continue;
    }
    // Copy one well-formed UTF-8 character, or escape the byte.
    size_t length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (length > 1) {
      const std::wstring decoded = Utf8ToWide(name.substr(i, length));
      if (i + length > name.size() || decoded.size() != 1 || decoded[0] == 0xFFFD) length = 0;
    }
    if (length == 0) {
      AppendHexEscape(out, "%", b, 2);
      ++i;
    } else {
      out.append(name.substr(i, length));
      i += length;
    }
  }
  return Finish(std::move(out), name);
}

}  // namespace lv
