// An entry's data as an engine offers it to the shared writer: a stream of
// pieces in file order (bytes, or holes that stand for zeros), the file's
// length and the times to stamp. Engines build the stream from their runs,
// extents or chains; the writer creates, writes, stamps and names the file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace lv {

// One piece of a file: `length` bytes at `bytes`, or a hole of `length`
// zero bytes when `bytes` is null (sparse runs, unreadable clusters).
struct DataPiece {
  const uint8_t* bytes = nullptr;
  uint64_t length = 0;
};

class DataStream {
 public:
  virtual ~DataStream() = default;
  // The next piece in file order; false at the end. The bytes stay valid
  // until the next call.
  virtual bool Next(DataPiece& piece) = 0;
};

// Access and modification times in seconds and nanoseconds since 1970. A
// creation time cannot be set on this system.
struct FileTimes {
  int64_t accessSeconds = 0, accessNanoseconds = 0;
  int64_t modifySeconds = 0, modifyNanoseconds = 0;
};

struct EntryData {
  // False when the entry's record cannot be read as one (the engine has
  // said why); the writer then leaves an empty file, as extraction always did.
  bool valid = true;
  // Why the data cannot be read at all (its runs lie outside the volume):
  // the writer shows it, creates nothing and counts the file as not written.
  std::wstring unreadable;
  // Null: the file is empty.
  std::unique_ptr<DataStream> stream;
  // The file's length: the writer writes no byte beyond it, and a file whose
  // pieces end early ends there (a short file, as a cut-off chain gives).
  uint64_t size = 0;
  // Bytes that are not holes are never more than this (what the volume can
  // hold; compressed data may expand to its unit size).
  uint64_t maxStoredBytes = UINT64_MAX;
  std::optional<FileTimes> times;
};

// A stream of bytes held in memory (resident data, small records).
std::unique_ptr<DataStream> StreamOfBytes(std::string bytes);

// Reads up to `limit` bytes of a stream into memory (holes as zeros); false
// when the data is longer than `limit` (nothing is kept then).
bool ReadWhole(EntryData& data, uint64_t limit, std::string& out);

}  // namespace lv
