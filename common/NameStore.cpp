#include "common/NameStore.h"

#include <algorithm>

namespace lv {

char16_t* NameStore::Allocate(size_t length) {
  if (length > kBlockCharacters / 4) {
    // A long name gets a block of its own, placed before the last one so
    // that the last block's free room stays in use.
    auto block = std::make_unique<char16_t[]>(std::max<size_t>(length, 1));
    char16_t* at = block.get();
    blocks_.insert(blocks_.empty() ? blocks_.end() : blocks_.end() - 1, std::move(block));
    return at;
  }
  if (kBlockCharacters - used_ < std::max<size_t>(length, 1)) {
    blocks_.push_back(std::make_unique_for_overwrite<char16_t[]>(kBlockCharacters));
    used_ = 0;
  }
  char16_t* at = blocks_.back().get() + used_;
  used_ += std::max<size_t>(length, 1);
  return at;
}

std::u16string_view NameStore::Add(std::u16string_view name) {
  char16_t* at = Allocate(name.size());
  std::copy(name.begin(), name.end(), at);
  return std::u16string_view(at, name.size());
}

void NameStore::Clear() {
  blocks_.clear();
  used_ = kBlockCharacters;
}

}  // namespace lv
