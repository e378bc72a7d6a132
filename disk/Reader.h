// The one way to read the disk: a random-access, read-only reader addressed
// in bytes relative to a settable base offset.
//
// Sectors are 512 bytes everywhere, whatever the device reports. Engines see
// only readWriteInterface, so an image file, a block device and an in-memory
// image (MemoryReader, for tests and fuzzers) serve alike.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DeviceFile.h"

namespace lv {

inline constexpr uint64_t kSectorSize = 512;

// Seek move methods.
inline constexpr uint32_t kFileBegin = 0;
inline constexpr uint32_t kFileCurrent = 1;
inline constexpr uint32_t kFileEnd = 2;

// Error code of a read that reached the end of the source (as the system
// error code of an end-of-file condition).
inline constexpr int kErrorHandleEof = 38;

class readWriteInterface {
 public:
  virtual ~readWriteInterface() = default;
  virtual bool Open(std::wstring path) = 0;
  // Reads count bytes at the current position and advances it. True only for
  // a full read. On a short read the destination holds the bytes read
  // followed by zeros up to count; when nothing was read it is untouched.
  virtual bool Read(void* destination, uint32_t count) {
    (void)destination, (void)count;
    return true;
  }
  // Sets the position to position + baseOffset (kFileBegin), relative to the
  // current position (kFileCurrent) or to the end (kFileEnd).
  virtual bool Seek(int64_t position, uint32_t method = kFileBegin) {
    (void)position, (void)method;
    return true;
  }
  // The source's size in bytes, 0 when unknown. Whatever a volume's boot
  // sector claims, nothing past this can be read.
  virtual uint64_t SourceBytes() const { return 0; }
  // The logical sector size a block device reports, 0 when the source is
  // not one (an image file, a memory image). Partition tables count in
  // these sectors; everything else here counts in 512-byte sectors.
  virtual uint32_t DeviceSectorSize() const { return 0; }
  // Reads count bytes at an absolute source offset (the base offset does not
  // apply) without using or moving the current position; true only for a
  // full read. Sources for which ConcurrentReads() is true take such reads
  // from several threads at once; the others refuse them.
  virtual bool ReadAtOffset(uint64_t offset, void* destination, uint32_t count) {
    (void)offset, (void)destination, (void)count;
    return false;
  }
  virtual bool ConcurrentReads() const { return false; }
  virtual bool Reserved(uint32_t value) {
    (void)value;
    return true;
  }

  // Byte offset added by Seek; engines set it to their volume's start.
  int64_t baseOffset = 0;
  // The error code of the last failed Open, Seek or Read; 0 after success.
  int lastError = 0;
};

class FileReadSeek : public readWriteInterface {
 public:
  FileReadSeek() = default;
  ~FileReadSeek() override = default;

  // Opens path read-only. On failure shows "Invalid handle ..." and returns
  // false, leaving DeviceSectorCount as it was. On success sets
  // DeviceSectorCount to the size ÷ 512; when the source reports no size at
  // all (neither a block device nor a regular file nor a seekable end), it
  // is set to 0 and "Size of the source is unknown ..." is shown: the source
  // stays open and readable, but nothing that scans up to the device's end
  // will read it.
  bool Open(std::wstring path) override;
  bool OpenUtf8(const std::string& path);
  bool Read(void* destination, uint32_t count) override;
  bool Seek(int64_t position, uint32_t method = kFileBegin) override;
  bool ReadAtOffset(uint64_t offset, void* destination, uint32_t count) override;
  bool ConcurrentReads() const override { return file_.IsOpen(); }

  bool IsOpen() const { return file_.IsOpen(); }
  // The opened source's size in bytes (0 when unknown).
  uint64_t SourceSize() const { return sourceSize_; }
  uint64_t SourceBytes() const override { return sourceSize_; }
  uint32_t DeviceSectorSize() const override { return file_.LogicalSectorSize().value_or(0); }

 private:
  DeviceFile file_;
  int64_t position_ = 0;
  uint64_t sourceSize_ = 0;
};

// An image held in memory: the same contract as FileReadSeek.
class MemoryReader : public readWriteInterface {
 public:
  MemoryReader() = default;
  explicit MemoryReader(std::vector<uint8_t> image) : image_(std::move(image)) {}
  bool Open(std::wstring) override { return true; }
  bool Read(void* destination, uint32_t count) override;
  bool Seek(int64_t position, uint32_t method = kFileBegin) override;
  bool ReadAtOffset(uint64_t offset, void* destination, uint32_t count) override;
  bool ConcurrentReads() const override { return true; }

  uint64_t SourceBytes() const override { return image_.size(); }
  std::vector<uint8_t>& Image() { return image_; }
  const std::vector<uint8_t>& Image() const { return image_; }
  uint64_t readCalls = 0;

 private:
  std::vector<uint8_t> image_;
  int64_t position_ = 0;
};

// The reader in use, or null. Whoever replaces it deletes the old one first.
extern std::unique_ptr<FileReadSeek> SharedReader;
// 512-byte sectors of the source most recently opened by FileReadSeek::Open.
extern int64_t DeviceSectorCount;
// The recovery-mode page's "Is Drive Formated..?" (1: set): the FAT-family
// engines then take every chain to end after its first cluster and read
// file data from consecutive clusters. Set before a scan starts.
extern std::atomic<uint8_t> FormattedDriveMode;

// Reads count bytes at an absolute position (baseOffset applied): a Seek
// followed by a Read.
bool ReadAt(readWriteInterface& reader, int64_t position, void* destination, uint32_t count);

}  // namespace lv
