// Read-only access to a drive, a volume or an image file.
//
// The source is opened with O_RDONLY and read with pread: nothing in the
// program can write to it through this class.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lv {

class DeviceFile {
 public:
  DeviceFile() = default;
  ~DeviceFile();
  DeviceFile(const DeviceFile&) = delete;
  DeviceFile& operator=(const DeviceFile&) = delete;

  // Opens path read-only, replacing (and closing) the previous source.
  // Returns false, keeping nothing open, when the path cannot be opened.
  bool Open(const std::string& path);

  // Asked for a read-only descriptor of a block device that the process has
  // no rights to open itself (the desktop program asks udisks2); returns -1
  // when it has none. A descriptor that is not read-only is closed unused.
  using OpenFallback = int (*)(const std::string& path);
  static void SetOpenFallback(OpenFallback fallback);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // Size in bytes: BLKGETSIZE64 for a block device, the length of a regular
  // file, otherwise the end position where the source can report one.
  std::optional<uint64_t> Size() const;
  // A block device's logical sector size (BLKSSZGET); nullopt for anything
  // else.
  std::optional<uint32_t> LogicalSectorSize() const;

  // Reads up to count bytes at position into destination, retrying short
  // transfers; returns the number of bytes read (0 at the end or on error).
  // Nothing is written to destination beyond the bytes read.
  uint64_t ReadAt(uint64_t position, void* destination, uint64_t count, int* error = nullptr) const;

 private:
  static OpenFallback openFallback_;
  int fd_ = -1;
};

}  // namespace lv
