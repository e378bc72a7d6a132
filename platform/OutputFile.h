// Files the program writes: saved and previewed copies. Never the source.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lv {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates path for writing, truncating an existing regular file. A
  // symbolic link at path is not followed. Returns false when it cannot.
  bool Create(const std::string& path);
  bool IsOpen() const { return fd_ >= 0; }
  // Writes all bytes; false on a write error (disk full, ...).
  bool Write(const void* data, uint64_t size);
  // Sets access and modification times (seconds and nanoseconds since 1970).
  // A creation time cannot be set on this system.
  bool SetTimes(int64_t accessSeconds, int64_t accessNanoseconds, int64_t modifySeconds, int64_t modifyNanoseconds);
  bool Close();
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// Sets access and modification times of an existing path.
bool SetPathTimes(const std::string& path, int64_t accessSeconds, int64_t accessNanoseconds, int64_t modifySeconds,
                  int64_t modifyNanoseconds);
// Creates one folder (an existing folder is reused); false when it cannot.
bool CreateFolder(const std::string& path);
bool PathExists(const std::string& path);
std::optional<uint64_t> FileLength(const std::string& path);
bool DeletePath(const std::string& path);

}  // namespace lv
