#include "disk/Reader.h"

#include <cerrno>
#include <cstring>
#include <limits>

#include "common/Text.h"
#include "platform/MessageBox.h"

namespace lv {

std::unique_ptr<FileReadSeek> SharedReader;
int64_t DeviceSectorCount = 0;
std::atomic<uint8_t> FormattedDriveMode{0};

bool FileReadSeek::Open(std::wstring path) { return OpenUtf8(WideToUtf8(path)); }

bool FileReadSeek::OpenUtf8(const std::string& path) {
  position_ = 0;
  sourceSize_ = 0;
  if (!file_.Open(path)) {
    lastError = errno ? errno : ENOENT;
    ShowInfo(L"Invalid handle ...");
    return false;
  }
  lastError = 0;
  if (const auto size = file_.Size()) {
    sourceSize_ = *size;
    DeviceSectorCount = static_cast<int64_t>(*size / kSectorSize);
  } else {
    DeviceSectorCount = 0;
    ShowInfo(L"Size of the source is unknown ...");
  }
  return true;
}

bool FileReadSeek::Read(void* destination, uint32_t count) {
  if (count == 0) return true;
  if (!file_.IsOpen() || position_ < 0) {
    lastError = EBADF;
    return false;
  }
  int error = 0;
  const uint64_t got = file_.ReadAt(static_cast<uint64_t>(position_), destination, count, &error);
  if (got > 0 && got < count) std::memset(static_cast<unsigned char*>(destination) + got, 0, count - got);
  position_ += static_cast<int64_t>(got);
  if (got == count) {
    lastError = 0;
    return true;
  }
  lastError = error ? error : kErrorHandleEof;
  return false;
}

bool FileReadSeek::ReadAtOffset(uint64_t offset, void* destination, uint32_t count) {
  return count == 0 || file_.ReadAt(offset, destination, count) == count;
}

namespace {
// The new position for a seek, or false when it would overflow or be negative.
bool ResolveSeek(int64_t position, uint32_t method, int64_t base, int64_t current, int64_t end, int64_t& out) {
  int64_t origin;
  switch (method) {
    case kFileBegin: origin = base; break;
    case kFileCurrent: origin = current; break;
    case kFileEnd: origin = end; break;
    default: return false;
  }
  int64_t target;
  if (__builtin_add_overflow(origin, position, &target) || target < 0) return false;
  out = target;
  return true;
}
}  // namespace

bool FileReadSeek::Seek(int64_t position, uint32_t method) {
  if (!file_.IsOpen()) {
    lastError = EBADF;
    return false;
  }
  int64_t target;
  if (!ResolveSeek(position, method, baseOffset, position_, static_cast<int64_t>(sourceSize_), target)) {
    lastError = EINVAL;
    return false;
  }
  position_ = target;
  lastError = 0;
  return true;
}

bool MemoryReader::Read(void* destination, uint32_t count) {
  ++readCalls;
  if (count == 0) return true;
  if (position_ < 0 || static_cast<uint64_t>(position_) >= image_.size()) {
    lastError = kErrorHandleEof;
    return false;
  }
  const uint64_t available = image_.size() - static_cast<uint64_t>(position_);
  const uint64_t got = std::min<uint64_t>(available, count);
  std::memcpy(destination, image_.data() + position_, got);
  if (got < count) std::memset(static_cast<unsigned char*>(destination) + got, 0, count - got);
  position_ += static_cast<int64_t>(got);
  lastError = got == count ? 0 : kErrorHandleEof;
  return got == count;
}

bool MemoryReader::ReadAtOffset(uint64_t offset, void* destination, uint32_t count) {
  if (offset > image_.size() || image_.size() - offset < count) return false;
  if (count > 0) std::memcpy(destination, image_.data() + offset, count);
  return true;
}

bool MemoryReader::Seek(int64_t position, uint32_t method) {
  int64_t target;
  if (!ResolveSeek(position, method, baseOffset, position_, static_cast<int64_t>(image_.size()), target)) {
    lastError = EINVAL;
    return false;
  }
  position_ = target;
  lastError = 0;
  return true;
}

bool ReadAt(readWriteInterface& reader, int64_t position, void* destination, uint32_t count) {
  if (!reader.Seek(position, kFileBegin)) return false;
  return reader.Read(destination, count);
}

}  // namespace lv
