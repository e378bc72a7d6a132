// File-type categories: the endings of each category, the process-wide
// CategoryFilter built from the categories the user chose, and the test of
// a name against it.
#pragma once

#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace lv {

// '|'-separated file-name endings, most with a leading dot.
extern const std::wstring_view PhotoExtensions;
extern const std::wstring_view AudioExtensions;
extern const std::wstring_view VideoExtensions;

// The '|'-joined endings of the chosen categories; empty at start. Set on
// the interface thread before any scan or search reads it.
extern std::wstring CategoryFilter;

// Rewrites CategoryFilter from the checked categories; false (and an empty
// filter) when none is checked.
bool BuildCategoryFilter(bool photo, bool audio, bool video);

// The part of a name tested against the endings: the last three characters
// when the last '.' is the third character from the end (a two-letter
// extension), else the last four; nothing for a shorter name.
std::optional<std::wstring_view> CategoryEnding(std::wstring_view name);

// Compiles a pattern as the program does everywhere: ECMAScript grammar,
// case-insensitive. Throws std::regex_error for a malformed pattern.
std::wregex CompilePattern(const std::wstring& pattern);

// The category test of one fill or search: CategoryFilter compiled once,
// with the verdict for each ending remembered (there are few distinct
// endings, and the same ending always gives the same verdict).
class CategoryMatcher {
 public:
  // Compiles `filter`; a filter that does not compile matches nothing and
  // Valid() is false.
  explicit CategoryMatcher(const std::wstring& filter);
  // A matcher that accepts every name (the unfiltered tree).
  static CategoryMatcher AcceptAll();

  bool Valid() const { return valid_; }
  // Whether the name's ending matches the filter as a whole. Throws
  // std::regex_error when the regular-expression library fails on it.
  bool Matches(std::wstring_view name);

 private:
  CategoryMatcher() = default;
  static constexpr size_t kMaxRemembered = 65536;
  std::wregex pattern_;
  bool valid_ = false;
  bool acceptAll_ = false;
  // Verdicts by ending; an ending (3 or 4 characters of at most 21 bits)
  // packs into one 96-bit key.
  struct EndingKey {
    uint64_t low = 0;
    uint32_t high = 0;
    bool operator==(const EndingKey&) const = default;
  };
  struct EndingHash {
    size_t operator()(const EndingKey& k) const { return std::hash<uint64_t>()(k.low * 31 + k.high); }
  };
  std::unordered_map<EndingKey, bool, EndingHash> verdicts_;
  // The last ending asked about: names of one folder mostly share it.
  EndingKey lastKey_;
  bool lastVerdict_ = false, haveLast_ = false;
};

}  // namespace lv
