// Checked little- and big-endian field reads over bytes taken from a disk.
//
// Every on-disk field is read through ByteView at a named offset; image bytes
// are never cast to structs. A read that does not fit inside the view yields
// 0 (or an empty sub-view), so a damaged offset can never read outside the
// buffer; code that must tell "zero" from "absent" asks Fits() first or uses
// the Try* forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>

namespace lv {

class ByteView {
 public:
  constexpr ByteView() = default;
  constexpr ByteView(const std::byte* data, size_t size) : data_(data), size_(size) {}
  ByteView(const void* data, size_t size)
      : data_(static_cast<const std::byte*>(data)), size_(data ? size : 0) {}
  constexpr ByteView(std::span<const std::byte> bytes) : data_(bytes.data()), size_(bytes.size()) {}

  const std::byte* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // True when n bytes starting at off lie inside the view (overflow-safe).
  bool Fits(size_t off, size_t n) const { return off <= size_ && n <= size_ - off; }

  // The n bytes at off, or an empty view when they do not fit.
  ByteView Sub(size_t off, size_t n) const { return Fits(off, n) ? ByteView(data_ + off, n) : ByteView(); }
  // Everything from off to the end, or an empty view.
  ByteView From(size_t off) const { return off <= size_ ? ByteView(data_ + off, size_ - off) : ByteView(); }

  uint8_t U8(size_t off) const { return Fits(off, 1) ? static_cast<uint8_t>(data_[off]) : 0; }
  uint16_t Le16(size_t off) const { return static_cast<uint16_t>(LeN(off, 2)); }
  uint32_t Le32(size_t off) const { return static_cast<uint32_t>(LeN(off, 4)); }
  uint64_t Le64(size_t off) const { return LeN(off, 8); }
  uint16_t Be16(size_t off) const { return static_cast<uint16_t>(BeN(off, 2)); }
  uint32_t Be32(size_t off) const { return static_cast<uint32_t>(BeN(off, 4)); }
  uint64_t Be64(size_t off) const { return BeN(off, 8); }

  // Little-endian unsigned integer of n bytes (0 < n <= 8); 0 when it does not fit.
  uint64_t LeN(size_t off, size_t n) const {
    if (n == 0 || n > 8 || !Fits(off, n)) return 0;
    uint64_t v = 0;
    for (size_t i = n; i-- > 0;) v = (v << 8) | static_cast<uint8_t>(data_[off + i]);
    return v;
  }
  uint64_t BeN(size_t off, size_t n) const {
    if (n == 0 || n > 8 || !Fits(off, n)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<uint8_t>(data_[off + i]);
    return v;
  }

  std::optional<uint16_t> TryLe16(size_t off) const { return Fits(off, 2) ? std::optional<uint16_t>(Le16(off)) : std::nullopt; }
  std::optional<uint32_t> TryLe32(size_t off) const { return Fits(off, 4) ? std::optional<uint32_t>(Le32(off)) : std::nullopt; }
  std::optional<uint64_t> TryLe64(size_t off) const { return Fits(off, 8) ? std::optional<uint64_t>(Le64(off)) : std::nullopt; }

  // True when the bytes at off equal the given ASCII text.
  bool Matches(size_t off, std::string_view text) const {
    return Fits(off, text.size()) && std::memcmp(data_ + off, text.data(), text.size()) == 0;
  }

 private:
  const std::byte* data_ = nullptr;
  size_t size_ = 0;
};

// Sign-extends the low `bits` bits of v.
constexpr int64_t SignExtend(uint64_t v, unsigned bits) {
  if (bits == 0) return 0;
  if (bits >= 64) return static_cast<int64_t>(v);
  const uint64_t mask = (uint64_t{1} << bits) - 1;
  v &= mask;
  const uint64_t sign = uint64_t{1} << (bits - 1);
  return static_cast<int64_t>((v ^ sign) - sign);
}

// Overflow-checked a * b for unsigned 64-bit values.
inline std::optional<uint64_t> CheckedMul(uint64_t a, uint64_t b) {
  uint64_t r;
  if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
  return r;
}
inline std::optional<uint64_t> CheckedAdd(uint64_t a, uint64_t b) {
  uint64_t r;
  if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
  return r;
}

}  // namespace lv
