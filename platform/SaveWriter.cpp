#include "platform/SaveWriter.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/SafeName.h"
#include "common/Text.h"
#include "platform/MessageBox.h"

namespace lv {

namespace {

constexpr unsigned kMaxNumberedTries = 10000;
// Largest count handed to one pwrite (the kernel moves at most ~2 GiB).
constexpr uint64_t kMaxWriteChunk = uint64_t{1} << 30;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Calls `next(component)` for every non-empty component of a "/"-joined path
// until it returns false; false then.
template <typename Fn>
bool ForEachComponent(std::string_view path, Fn next) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start && !next(path.substr(start, end - start), end)) return false;
    start = end + 1;
  }
  return true;
}

// The parts joined with single slashes, empty parts and components skipped.
void AppendPath(std::string& out, std::string_view part) {
  ForEachComponent(part, [&](std::string_view component, size_t) {
    if (out.empty() || out.back() != '/') out += '/';
    out.append(component);
    return true;
  });
}

bool IsOneComponent(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::wstring ErrorText(int error) { return Utf8ToWide(std::strerror(error)); }

timespec MakeTimespec(int64_t seconds, int64_t nanoseconds) {
  timespec t{};
  t.tv_sec = static_cast<time_t>(seconds);
  t.tv_nsec = static_cast<long>(nanoseconds >= 0 && nanoseconds < 1000000000 ? nanoseconds : 0);
  return t;
}

void ShowTooLarge(const std::string& path, uint64_t size) {
  ShowPlain(Format(L"%ls is %llu bytes, more than the output folder's file system can hold in one file; it was "
                   L"not written.",
                   Utf8ToWide(path).c_str(), static_cast<unsigned long long>(size)));
}

// Writes all `count` bytes at `offset`; the errno of the failure otherwise.
int WriteAllAt(int fd, const uint8_t* bytes, uint64_t count, uint64_t offset) {
  while (count > 0) {
    const ssize_t n = ::pwrite(fd, bytes, static_cast<size_t>(std::min(count, kMaxWriteChunk)),
                               static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;
    bytes += n;
    offset += static_cast<uint64_t>(n);
    count -= static_cast<uint64_t>(n);
  }
  return 0;
}

}  // namespace

SaveWriter::~SaveWriter() {
  CloseFolders();
  CloseFd(rootFd_);
}

void SaveWriter::CloseFolders() {
  CloseFd(folderFd_);
  folder_.clear();
}

bool SaveWriter::Open(const std::string& outputFolder) {
  CloseFolders();
  CloseFd(rootFd_);
  root_.clear();
  failedFolders_.clear();
  written_ = failed_ = 0;
  maxFileSize_ = UINT64_MAX;

  int fd;
  do {
    fd = ::open(outputFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  rootFd_ = fd;
  root_ = outputFolder;
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();

  struct statfs fs{};
  if (::fstatfs(fd, &fs) == 0 && fs.f_type == MSDOS_SUPER_MAGIC) maxFileSize_ = 0xFFFFFFFFu;
  return true;
}

int SaveWriter::FolderFd(const std::string& relative) {
  if (rootFd_ < 0) return -1;
  if (folderFd_ >= 0 && relative == folder_) return folderFd_;

  // The folder as components joined with "/"; a folder fails when it or
  // any folder above it failed before.
  std::string key;
  bool failedAbove = false;
  ForEachComponent(relative, [&](std::string_view component, size_t) {
    if (!key.empty()) key += '/';
    key.append(component);
    failedAbove = failedFolders_.count(std::string_view(key)) > 0;
    return !failedAbove;
  });
  if (failedAbove) return -1;
  if (key.empty()) return rootFd_;

  int parent = rootFd_;
  int error = 0;
  std::string name;
  std::string_view failedAt;
  ForEachComponent(key, [&](std::string_view component, size_t end) {
    name.assign(component);
    int fd = -1;
    if (name == "." || name == "..") {
      error = EINVAL;
    } else if (::mkdirat(parent, name.c_str(), 0755) != 0 && errno != EEXIST) {
      error = errno;
    } else {
      // O_NOFOLLOW with O_DIRECTORY refuses a link (ELOOP) and a file
      // (ENOTDIR) where the folder should be.
      do {
        fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      } while (fd < 0 && errno == EINTR);
      if (fd < 0) error = errno;
    }
    if (parent != rootFd_) ::close(parent);
    if (fd < 0) {
      parent = -1;
      failedAt = std::string_view(key).substr(0, end);
      return false;
    }
    parent = fd;
    return true;
  });

  if (parent < 0) {
    std::string path = root_;
    AppendPath(path, failedAt);
    ShowPlain(Format(L"The folder %ls could not be created: %ls", Utf8ToWide(path).c_str(), ErrorText(error).c_str()));
    failedFolders_.emplace(failedAt);
    return -1;
  }
  CloseFd(folderFd_);
  folderFd_ = parent;
  folder_ = relative;
  return folderFd_;
}

bool SaveWriter::MakeFolder(const std::string& relative) { return FolderFd(relative) >= 0; }

WriteOutcome SaveWriter::Write(const std::string& relative, const std::string& name, EntryData& data) {
  WriteOutcome outcome;
  if (rootFd_ < 0) {
    outcome.error = EBADF;
    ++failed_;
    return outcome;
  }
  outcome.path.reserve(root_.size() + relative.size() + name.size() + 16);
  outcome.path = root_;
  AppendPath(outcome.path, relative);
  if (outcome.path.back() != '/') outcome.path += '/';
  const size_t folderLength = outcome.path.size();
  outcome.path += name;

  auto fail = [&](WriteStatus status, int error) {
    outcome.status = status;
    outcome.error = error;
    outcome.bytes = 0;
    ++failed_;
    return outcome;
  };
  auto failShown = [&](WriteStatus status, int error) {
    ShowPlain(Format(failureFormat_.c_str(), ErrorText(error).c_str()));
    return fail(status, error);
  };

  if (!IsOneComponent(name)) return failShown(WriteStatus::CreateFailed, EINVAL);
  if (!data.unreadable.empty()) {
    ShowPlain(data.unreadable);
    return fail(WriteStatus::Unreadable, EIO);
  }
  const int folder = FolderFd(relative);
  if (folder < 0) return fail(WriteStatus::FolderFailed, ENOENT);

  const bool hasData = data.valid && data.stream;
  const uint64_t size = hasData ? data.size : 0;
  if (size > maxFileSize_ || size > static_cast<uint64_t>(INT64_MAX)) {
    ShowTooLarge(outcome.path, size);
    return fail(WriteStatus::TooLarge, EFBIG);
  }

  // O_EXCL never opens an existing file and never follows a link, dangling
  // or not: a taken name moves on to the next numbered one.
  int fd = -1;
  std::string numbered;
  const char* candidate = name.c_str();
  for (unsigned number = 2;; ++number) {
    do {
      fd = ::openat(folder, candidate, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 || errno != EEXIST || number > kMaxNumberedTries) break;
    numbered = NumberedName(name, number);
    candidate = numbered.c_str();
  }
  if (candidate != name.c_str()) {
    outcome.path.resize(folderLength);
    outcome.path += numbered;
  }
  if (fd < 0) return failShown(WriteStatus::CreateFailed, errno);

  // A file the file system cannot hold whole is removed: it was created
  // here a moment ago, under a name no one else had.
  auto tooLarge = [&]() {
    ::close(fd);
    ::unlinkat(folder, candidate, 0);
    ShowTooLarge(outcome.path, size);
    return fail(WriteStatus::TooLarge, EFBIG);
  };
  auto writeFailed = [&](int error) {
    ::close(fd);
    return failShown(WriteStatus::WriteFailed, error);
  };

  uint64_t offset = 0, end = 0, stored = 0;
  if (hasData) {
    DataPiece piece;
    while (offset < size && data.stream->Next(piece)) {
      const uint64_t length = std::min(piece.length, size - offset);
      if (piece.bytes && stored < data.maxStoredBytes) {
        const uint64_t keep = std::min(length, data.maxStoredBytes - stored);
        if (const int error = WriteAllAt(fd, piece.bytes, keep, offset)) {
          return error == EFBIG ? tooLarge() : writeFailed(error);
        }
        stored += keep;
        end = offset + keep;
      }
      offset += length;
    }
  }
  // A file that ends in a hole gets its length from ftruncate.
  if (offset > end && ::ftruncate(fd, static_cast<off_t>(offset)) != 0) {
    return errno == EFBIG ? tooLarge() : writeFailed(errno);
  }
  if (data.times) {
    const FileTimes& t = *data.times;
    const timespec times[2] = {MakeTimespec(t.accessSeconds, t.accessNanoseconds),
                               MakeTimespec(t.modifySeconds, t.modifyNanoseconds)};
    if (::futimens(fd, times) != 0) return writeFailed(errno);
  }
  if (::close(fd) != 0) return failShown(WriteStatus::WriteFailed, errno);

  outcome.status = WriteStatus::Written;
  outcome.bytes = offset;
  outcome.error = 0;
  ++written_;
  return outcome;
}

std::string NumberedName(std::string_view name, unsigned number) {
  char suffix[24];
  const int suffixLength = std::snprintf(suffix, sizeof suffix, " (%u)", number);
  const size_t room = kMaxComponentBytes > static_cast<size_t>(suffixLength)
                          ? kMaxComponentBytes - static_cast<size_t>(suffixLength)
                          : 0;

  const size_t dot = name.rfind('.');
  std::string_view stem = name, extension;
  // A leading dot starts a hidden name, not an extension; an extension that
  // leaves no room for a stem is taken as part of the stem.
  if (dot != std::string_view::npos && dot > 0 && name.size() - dot < room) {
    stem = name.substr(0, dot);
    extension = name.substr(dot);
  }
  if (stem.size() + extension.size() > room) {
    size_t cut = room - extension.size();
    while (cut > 0 && (static_cast<uint8_t>(stem[cut]) & 0xC0) == 0x80) --cut;
    stem = stem.substr(0, cut);
  }
  std::string out;
  out.reserve(stem.size() + static_cast<size_t>(suffixLength) + extension.size());
  out.append(stem).append(suffix, static_cast<size_t>(suffixLength)).append(extension);
  return out;
}

namespace {

std::string SysBlockPath(dev_t device) {
  char path[64];
  std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u", ::major(device), ::minor(device));
  return path;
}

// The device number in a sysfs "dev" file ("MAJ:MIN").
std::optional<dev_t> ReadDevFile(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "re");
  if (!file) return std::nullopt;
  unsigned major = 0, minor = 0;
  const bool ok = std::fscanf(file, "%u:%u", &major, &minor) == 2;
  std::fclose(file);
  if (!ok) return std::nullopt;
  return ::makedev(major, minor);
}

bool IsPartition(dev_t device) {
  struct stat st{};
  return ::stat((SysBlockPath(device) + "/partition").c_str(), &st) == 0;
}

// True when `device` is `target` or is built on it: its parent disk when it
// is a partition, the devices below it (device mapper, md) and theirs.
bool BuiltOn(dev_t device, dev_t target, std::set<dev_t>& visited, int depth) {
  if (device == target) return true;
  if (::major(device) == 0 || depth > 16 || !visited.insert(device).second) return false;
  const std::string base = SysBlockPath(device);
  if (IsPartition(device)) {
    // The kernel resolves the link before "..": this is the disk's folder.
    if (const auto disk = ReadDevFile(base + "/../dev"); disk && BuiltOn(*disk, target, visited, depth + 1)) {
      return true;
    }
  }
  std::error_code error;
  for (std::filesystem::directory_iterator it(base + "/slaves", error), last; !error && it != last;
       it.increment(error)) {
    if (const auto slave = ReadDevFile(it->path().string() + "/dev");
        slave && BuiltOn(*slave, target, visited, depth + 1)) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::optional<std::wstring> OutputOnSource(const std::string& source, const std::string& outputFolder) {
  struct stat sourceStat{}, outputStat{};
  if (::stat(source.c_str(), &sourceStat) != 0 || !S_ISBLK(sourceStat.st_mode)) return std::nullopt;
  // A folder that is still to be made will live on the file system of its
  // nearest existing ancestor.
  std::string existing = outputFolder;
  while (!existing.empty() && ::stat(existing.c_str(), &outputStat) != 0) {
    const size_t slash = existing.find_last_of('/');
    existing = slash == std::string::npos ? std::string() : slash == 0 ? std::string("/") : existing.substr(0, slash);
  }
  if (existing.empty() && ::stat(".", &outputStat) != 0) return std::nullopt;
  // A whole disk as source also covers every partition of it: BuiltOn walks
  // from a partition up to its disk.
  std::set<dev_t> visited;
  if (!BuiltOn(outputStat.st_dev, sourceStat.st_rdev, visited, 0)) return std::nullopt;
  return Format(
      L"The output folder %ls is on the device being recovered (%ls). Saving there could overwrite the deleted "
      L"files. Choose a folder on another drive.",
      Utf8ToWide(outputFolder).c_str(), Utf8ToWide(source).c_str());
}

}  // namespace lv
