// Names held in large blocks: a name costs its characters and nothing more,
// and a view into the store stays valid until the store is emptied (blocks
// never move). Engines keep their entries' names here.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace lv {

class NameStore {
 public:
  // Copies a name in; the view stays valid until Clear(). The empty name
  // gives a view whose data() is not null (a name, though empty).
  std::u16string_view Add(std::u16string_view name);
  // Reserves room for `length` characters and returns it to be filled.
  char16_t* Allocate(size_t length);
  void Clear();
  size_t Bytes() const { return blocks_.size() * kBlockCharacters * sizeof(char16_t); }

 private:
  static constexpr size_t kBlockCharacters = 32768;
  std::vector<std::unique_ptr<char16_t[]>> blocks_;
  size_t used_ = kBlockCharacters;  // characters used in the last block
};

}  // namespace lv
