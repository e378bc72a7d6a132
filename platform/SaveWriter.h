// The one writer of recovered files: every saved file, preview copy and
// single-file save goes through it.
//
// It works below one output folder opened once: every sub-folder and file is
// made relative to that folder's descriptor, one component at a time, and no
// symbolic link is ever followed (openat with O_NOFOLLOW and O_DIRECTORY).
// It never overwrites: a name already taken gets the first free name of the
// form "stem (2).ext". Holes of the data become holes of the file, so sparse
// data costs no space. Every file that could not be written is counted.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "common/EntryData.h"

namespace lv {

enum class WriteStatus : uint8_t {
  Written,       // the file was written whole
  FolderFailed,  // its folder could not be made (reported once per folder)
  CreateFailed,  // the file could not be created
  WriteFailed,   // writing or stamping failed (disk full, I/O error)
  TooLarge,      // the output file system cannot hold a file of this size
  Unreadable,    // the entry's data cannot be read (the engine said why)
                 // (nothing is left of it)
};

struct WriteOutcome {
  WriteStatus status = WriteStatus::CreateFailed;
  // The file written or attempted: the output folder joined with the
  // relative folder and the name actually used.
  std::string path;
  uint64_t bytes = 0;  // the file's length when written
  int error = 0;       // errno of the failure, 0 when written
  bool ok() const { return status == WriteStatus::Written; }
};

class SaveWriter {
 public:
  SaveWriter() = default;
  ~SaveWriter();
  SaveWriter(const SaveWriter&) = delete;
  SaveWriter& operator=(const SaveWriter&) = delete;

  // Opens the output folder, which must exist and be a folder (the path the
  // user chose; links in it are the user's own and are followed). False
  // when it cannot be opened. Opening again closes the folder open before
  // and starts the counts afresh.
  bool Open(const std::string& outputFolder);
  bool IsOpen() const { return rootFd_ >= 0; }
  const std::string& Root() const { return root_; }

  // The format of the message shown when writing fails, with one %ls for
  // the system's description of the error ("Exception :  %ls   ").
  void SetFailureFormat(std::wstring format) { failureFormat_ = std::move(format); }
  // Largest file the output file system holds (found from its type when the
  // folder is opened: 4 GiB - 1 on FAT); tests set it.
  void SetMaxFileSize(uint64_t bytes) { maxFileSize_ = bytes; }
  uint64_t MaxFileSize() const { return maxFileSize_; }

  // Makes (or reuses) the folder `relative` below the output folder: safe
  // components joined with "/", "" for the output folder itself. A
  // component that is a link, or that cannot be made, fails; the failure is
  // shown once and every later file below it counts as not written.
  bool MakeFolder(const std::string& relative);

  // Writes one file named `name` (one safe component) into the folder
  // `relative` (made as by MakeFolder when missing): a free name when the
  // name is taken, the data's pieces up to data.size with holes left as
  // holes, then the times. A failure is shown with the failure format, or
  // as too large for the output file system, and counted.
  WriteOutcome Write(const std::string& relative, const std::string& name, EntryData& data);

  uint64_t FilesWritten() const { return written_; }
  uint64_t FilesFailed() const { return failed_; }

 private:
  // The descriptor of the folder `relative` (made when missing), or -1 when
  // it or a folder above it failed.
  int FolderFd(const std::string& relative);
  void CloseFolders();

  int rootFd_ = -1;
  std::string root_;  // as given, without a trailing slash unless "/"
  std::wstring failureFormat_ = L"Exception :  %ls   ";
  uint64_t maxFileSize_ = UINT64_MAX;
  uint64_t written_ = 0, failed_ = 0;
  // The folder written last, as its caller spelled it, and its descriptor:
  // the files of one folder come one after another.
  int folderFd_ = -1;
  std::string folder_;
  // Folders that could not be made, as components joined with "/"; every
  // folder below one of them fails too.
  std::set<std::string, std::less<>> failedFolders_;
};

// A name made free by a number: "IMG_0001.JPG", 2 → "IMG_0001 (2).JPG";
// "archive" → "archive (2)"; a leading dot is no extension (".profile (2)").
// The result stays within 255 bytes, cutting the stem at a UTF-8 boundary.
std::string NumberedName(std::string_view name, unsigned number);

// Refuses an output folder whose file system lives on the source device:
// when `source` is a block device and the output folder's device is that
// device, one of its partitions, or a device built on it (device mapper,
// md), the message to show; nullopt otherwise (an image file as source is
// never refused: writing beside it does not touch it).
std::optional<std::wstring> OutputOnSource(const std::string& source, const std::string& outputFolder);

}  // namespace lv
