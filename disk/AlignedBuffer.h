// A zero-filled, page-aligned byte buffer for large reads.
//
// The kernel copies into a page-aligned destination several times faster
// than into one at an arbitrary offset (malloc's 16-byte alignment), so code
// that reads in large blocks (chunks of a volume scan, MFT runs, carving)
// reads into one of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace lv {

class AlignedBuffer {
 public:
  static constexpr size_t kAlignment = 4096;

  AlignedBuffer() = default;
  explicit AlignedBuffer(size_t size) { Resize(size); }
  ~AlignedBuffer() { std::free(data_); }
  AlignedBuffer(const AlignedBuffer&) = delete;
  AlignedBuffer& operator=(const AlignedBuffer&) = delete;
  AlignedBuffer(AlignedBuffer&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr, other.size_ = 0;
  }
  AlignedBuffer& operator=(AlignedBuffer&& other) noexcept {
    if (this != &other) {
      std::free(data_);
      data_ = other.data_, size_ = other.size_;
      other.data_ = nullptr, other.size_ = 0;
    }
    return *this;
  }

  // Reallocates to `size` zero bytes; false (and empty) when memory runs out.
  bool Resize(size_t size) {
    std::free(data_);
    data_ = nullptr, size_ = 0;
    if (size == 0) return true;
    const size_t rounded = (size + kAlignment - 1) / kAlignment * kAlignment;
    if (rounded < size) return false;
    data_ = static_cast<uint8_t*>(std::aligned_alloc(kAlignment, rounded));
    if (!data_) return false;
    std::memset(data_, 0, rounded);
    size_ = size;
    return true;
  }
  void Clear() {
    if (data_) std::memset(data_, 0, size_);
  }

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  uint8_t& operator[](size_t i) { return data_[i]; }
  const uint8_t& operator[](size_t i) const { return data_[i]; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace lv
