#include "platform/DeviceFile.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace lv {

DeviceFile::OpenFallback DeviceFile::openFallback_ = nullptr;

void DeviceFile::SetOpenFallback(OpenFallback fallback) { openFallback_ = fallback; }

DeviceFile::~DeviceFile() { Close(); }

bool DeviceFile::Open(const std::string& path) {
  Close();
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0 && (errno == EACCES || errno == EPERM) && openFallback_) {
    const int error = errno;
    struct stat device{};
    if (::stat(path.c_str(), &device) == 0 && S_ISBLK(device.st_mode)) fd = openFallback_(path);
    // Only a descriptor opened for reading alone is taken.
    if (fd >= 0 && (::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY) {
      ::close(fd);
      fd = -1;
    }
    if (fd < 0) errno = error;
  }
  if (fd < 0) return false;
  struct stat st{};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return false;
  }
  fd_ = fd;
  return true;
}

void DeviceFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<uint64_t> DeviceFile::Size() const {
  if (fd_ < 0) return std::nullopt;
  struct stat st{};
  if (::fstat(fd_, &st) != 0) return std::nullopt;
  if (S_ISBLK(st.st_mode)) {
    uint64_t bytes = 0;
    if (::ioctl(fd_, BLKGETSIZE64, &bytes) == 0) return bytes;
    return std::nullopt;
  }
  if (S_ISREG(st.st_mode)) return static_cast<uint64_t>(st.st_size);
  const off_t end = ::lseek(fd_, 0, SEEK_END);
  if (end > 0) return static_cast<uint64_t>(end);
  return std::nullopt;
}

std::optional<uint32_t> DeviceFile::LogicalSectorSize() const {
  struct stat st{};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
  int size = 0;
  if (::ioctl(fd_, BLKSSZGET, &size) != 0 || size <= 0) return std::nullopt;
  return static_cast<uint32_t>(size);
}

uint64_t DeviceFile::ReadAt(uint64_t position, void* destination, uint64_t count, int* error) const {
  if (error) *error = 0;
  if (fd_ < 0) {
    if (error) *error = EBADF;
    return 0;
  }
  auto* out = static_cast<unsigned char*>(destination);
  uint64_t done = 0;
  while (done < count) {
    if (position + done > static_cast<uint64_t>(LLONG_MAX)) break;
    // Linux transfers at most 0x7ffff000 bytes per call.
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(count - done, 0x40000000));
    const ssize_t n = ::pread(fd_, out + done, chunk, static_cast<off_t>(position + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      if (error) *error = errno;
      break;
    }
    if (n == 0) break;
    done += static_cast<uint64_t>(n);
  }
  return done;
}

}  // namespace lv
