// Reads the carving range's chunks on a thread of its own, up to kSlots
// chunks ahead of the scan, so that reading the disk and classifying
// sectors overlap: the scan runs as fast as the slower of the two, not as
// their sum. The reader goes on to the next chunk as soon as a slot is
// free, without waiting to be asked, so a thread's wake-up never stands
// between two reads.
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

  // Chunk c, read (waiting for it when needed); the chunks after it are
  // read in the background meanwhile. What it points to stays valid until
  // the next call. The scan asks for chunks in increasing order; a chunk
  // further on than the next (the scan jumped) restarts reading there.
  Chunk Get(int64_t c);

  static constexpr int kSlots = 4;

 private:
  enum class State { Empty, Reading, Ready };
  struct Slot {
    AlignedBuffer buffer;
    std::vector<uint8_t> unreadable;
    int64_t chunk = -1;
    State state = State::Empty;
    Chunk result;
  };
  void Loop();
  void Read(Slot& slot);
  // With the lock held: whether chunk c is still wanted (in the window of
  // kSlots chunks from the one asked for last), and a slot free to read.
  bool Wanted(int64_t c) const { return c >= want_ && c < want_ + kSlots; }
  Slot* FreeSlot();

  const VolumeView& view_;
  const uint64_t range_, chunkBytes_;
  int64_t chunks_ = 0;
  bool ready_ = false;
  Slot slots_[kSlots];
  std::mutex mutex_;
  std::condition_variable changed_;
  int64_t want_ = 0;     // the chunk asked for last
  int64_t next_ = 0;     // the chunk the thread reads next
  Slot* held_ = nullptr; // the slot the scan holds
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace lv
