// Reads the carving range's chunks on a thread of its own, one chunk ahead
// of the scan, so that reading the disk and classifying sectors overlap:
// the scan runs as fast as the slower of the two, not as their sum.
//
// Only this thread reads the source while a run lasts. A chunk that cannot
// be read whole is read again in pieces and sector by sector (VolumeView's
// batched read); the sectors that stay unreadable are flagged.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "disk/AlignedBuffer.h"
#include "disk/VolumeView.h"

namespace lv {

class ChunkPrefetch {
 public:
  struct Chunk {
    const uint8_t* data = nullptr;
    uint64_t length = 0;
    bool positioned = true;        // false: the chunk cannot be reached at all
    const uint8_t* unreadable = nullptr;  // one flag per sector; null when none
    uint64_t unreadableCount = 0;
  };

  // `chunkBytes` per chunk over `range` bytes of the view. False from Ready()
  // when the buffers cannot be had.
  ChunkPrefetch(const VolumeView& view, uint64_t range, uint64_t chunkBytes);
  ~ChunkPrefetch();
  ChunkPrefetch(const ChunkPrefetch&) = delete;
  ChunkPrefetch& operator=(const ChunkPrefetch&) = delete;
  bool Ready() const { return ready_; }

  // Chunk c, read (waiting for it when needed); the next chunk is read in
  // the background meanwhile. What it points to stays valid until the next
  // call.
  Chunk Get(int64_t c);

 private:
  struct Slot {
    AlignedBuffer buffer;
    std::vector<uint8_t> unreadable;
    int64_t chunk = -1;   // the chunk held or being read
    bool done = false;    // its read has ended
    Chunk result;
  };
  void Loop();
  void Read(Slot& slot);
  void Request(Slot& slot, int64_t c);  // with the lock held

  const VolumeView& view_;
  const uint64_t range_, chunkBytes_;
  int64_t chunks_ = 0;
  bool ready_ = false;
  Slot slots_[2];
  std::mutex mutex_;
  std::condition_variable changed_;
  Slot* pending_ = nullptr;  // the slot the thread is to read next
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace lv
