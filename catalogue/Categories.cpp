#include "catalogue/Categories.h"

#include <locale>
#include <stdexcept>

namespace lv {

const std::wstring_view PhotoExtensions =
    L".png|.jpg|.bmp|.gif|.tif|.mos|.mef|.psp|djvu|.tga|.pgm|.dng|.psd|indd|.jp2|.pct|.pbm|.eps|.nef|.nrw|.orf|"
    L".arw|.srf|.sr2|.kdc|.dcs|.drf|.raf|.x3f|.raw|.rw2|.pef|.mrw|.crw|.ico|.cpt|.max|.3ds|.dwg|.cr2|.kdc|.orf|"
    L".agp|jpeg|tiff|heic|heif|webp|avif|.cr3|.jxl";
const std::wstring_view AudioExtensions =
    L".mp3|.wav|.rm|.acd|.amr|.at3|.au|.dss|.iff|.m4a|.m4p|.nra|.ogg|.ra|.snd|.wma|aiff|flac|.aac|opus";
const std::wstring_view VideoExtensions =
    L".avi|.3gp|.mp4|.mkv|.mov|.wmv|mpeg|.mpg|.mpe|divx|.f4v|.m4r|.moi|.ogm|.svi|.tod|.vid|.3g2|.asx|.mts|.flv|.vob|"
    L"webm|.m4v|m2ts";

std::wstring CategoryFilter;

bool BuildCategoryFilter(bool photo, bool audio, bool video) {
  CategoryFilter.clear();
  if (photo) CategoryFilter += PhotoExtensions;
  if (audio) {
    if (!CategoryFilter.empty()) CategoryFilter += L"|";
    CategoryFilter += AudioExtensions;
  }
  if (video) {
    if (!CategoryFilter.empty()) CategoryFilter += L"|";
    CategoryFilter += VideoExtensions;
  }
  return photo || audio || video;
}

std::optional<std::wstring_view> CategoryEnding(std::wstring_view name) {
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring_view::npos && name.size() >= 3 && dot == name.size() - 3) return name.substr(dot);
  if (name.size() < 4) return std::nullopt;
  return name.substr(name.size() - 4);
}

namespace {
// Case folding for every script, whatever the machine's locale settings:
// the C library's UTF-8 locale, else the classic one (ASCII only).
const std::locale& PatternLocale() {
  static const std::locale locale = [] {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      try {
        return std::locale(name);
      } catch (const std::runtime_error&) {
      }
    }
    return std::locale::classic();
  }();
  return locale;
}
}  // namespace

std::wregex CompilePattern(const std::wstring& pattern) {
  std::wregex expression;
  expression.imbue(PatternLocale());
  expression.assign(pattern, std::regex_constants::ECMAScript | std::regex_constants::icase);
  return expression;
}

CategoryMatcher::CategoryMatcher(const std::wstring& filter) {
  try {
    pattern_ = CompilePattern(filter);
    valid_ = true;
  } catch (const std::regex_error&) {
    valid_ = false;
  }
}

CategoryMatcher CategoryMatcher::AcceptAll() {
  CategoryMatcher matcher;
  matcher.valid_ = true;
  matcher.acceptAll_ = true;
  return matcher;
}

bool CategoryMatcher::Matches(std::wstring_view name) {
  if (acceptAll_) return true;
  if (!valid_) return false;
  const std::optional<std::wstring_view> ending = CategoryEnding(name);
  if (!ending) return false;
  // Characters beyond U+10FFFF do not pack; they are matched every time.
  EndingKey key;
  bool packs = true;
  for (size_t i = 0; i < ending->size(); ++i) {
    const uint32_t c = static_cast<uint32_t>((*ending)[i]);
    if (c > 0x10FFFF) packs = false;
    const uint64_t field = uint64_t{c} + 1;  // +1: a 3-character ending differs from its 4-character padding
    if (i < 3) key.low |= field << (21 * i);
    else key.high = static_cast<uint32_t>(field);
  }
  if (packs && haveLast_ && key == lastKey_) return lastVerdict_;
  if (packs) {
    const auto known = verdicts_.find(key);
    if (known != verdicts_.end()) lastKey_ = key, lastVerdict_ = known->second, haveLast_ = true;
    if (known != verdicts_.end()) return known->second;
  }
  const std::wstring subject(*ending);
  const bool verdict = std::regex_match(subject, pattern_);
  if (packs && verdicts_.size() < kMaxRemembered) verdicts_.emplace(key, verdict);
  if (packs) lastKey_ = key, lastVerdict_ = verdict, haveLast_ = true;
  return verdict;
}

}  // namespace lv
