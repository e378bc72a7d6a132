#include "platform/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lv {

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Create(const std::string& path) {
  Close();
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  fd_ = fd;
  path_ = path;
  return true;
}

bool OutputFile::Write(const void* data, uint64_t size) {
  if (fd_ < 0) return false;
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, static_cast<size_t>(std::min<uint64_t>(size, 0x40000000)));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<uint64_t>(n);
  }
  return true;
}

namespace {
timespec MakeTimespec(int64_t seconds, int64_t nanoseconds) {
  timespec t{};
  t.tv_sec = static_cast<time_t>(seconds);
  t.tv_nsec = static_cast<long>(nanoseconds >= 0 && nanoseconds < 1000000000 ? nanoseconds : 0);
  return t;
}
}  // namespace

bool OutputFile::SetTimes(int64_t accessSeconds, int64_t accessNanoseconds, int64_t modifySeconds,
                          int64_t modifyNanoseconds) {
  if (fd_ < 0) return false;
  const timespec times[2] = {MakeTimespec(accessSeconds, accessNanoseconds),
                             MakeTimespec(modifySeconds, modifyNanoseconds)};
  return ::futimens(fd_, times) == 0;
}

bool OutputFile::Close() {
  if (fd_ < 0) return true;
  const bool ok = ::close(fd_) == 0;
  fd_ = -1;
  return ok;
}

bool SetPathTimes(const std::string& path, int64_t accessSeconds, int64_t accessNanoseconds, int64_t modifySeconds,
                  int64_t modifyNanoseconds) {
  const timespec times[2] = {MakeTimespec(accessSeconds, accessNanoseconds),
                             MakeTimespec(modifySeconds, modifyNanoseconds)};
  return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool CreateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0755) == 0) return true;
  struct stat st{};
  return errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st{};
  return ::lstat(path.c_str(), &st) == 0;
}

std::optional<uint64_t> FileLength(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

bool DeletePath(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace lv
