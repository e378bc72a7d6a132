// MD5 (RFC 1321) for comparing extracted files with recorded hashes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lv::test {

// The lower-case hex digest of the bytes.
std::string Md5Hex(const void* data, size_t size);
inline std::string Md5Hex(const std::vector<uint8_t>& bytes) { return Md5Hex(bytes.data(), bytes.size()); }
inline std::string Md5Hex(const std::string& bytes) { return Md5Hex(bytes.data(), bytes.size()); }

}  // namespace lv::test
