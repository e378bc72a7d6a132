// Reads the carving range's chunks ahead of the scan, up to kSlots chunks,
// on a thread of its own, so that reading the disk and classifying sectors
// overlap: the scan runs as fast as the slower of the two, not as their
// sum. The reader goes on to the next chunk as soon as a slot is free,
// without waiting to be asked, so a thread's wake-up never stands between
// two reads.
//
// When the source takes concurrent reads, the scan does not idle while its
// next chunk is still being read: it reads the next chunk nobody has taken
// yet itself. Two reads are then in flight, which a warm page cache or a
// solid-state disk serves faster than one.
//
// On a warm page cache a chunk is read in a fraction of a millisecond, less
// than some machines take to put a thread to sleep and wake it again, so a
// thread that waits for the other first spins for a short while (kSpin)
// before it sleeps.
//
// A chunk that cannot be read whole is read again in pieces and sector by
// sector (VolumeView's batched read, one at a time, since it moves the
// reader's position); the sectors that stay unreadable are flagged. Without
// concurrent reads, only the reading thread touches the source.
#pragma once

#include <atomic>
#include <chrono>
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
    // The source ended inside the chunk (a source of unknown size): what
    // follows its end is zero, and no later chunk holds anything.
    bool endOfSource = false;
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
  static constexpr std::chrono::microseconds kSpin{250};

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
  void ReadWithFallback(Slot& slot, uint64_t start);
  // With the lock held: whether chunk c is still wanted (in the window of
  // kSlots chunks from the one asked for last), and a slot free to read.
  bool Wanted(int64_t c) const { return c >= want_ && c < want_ + kSlots; }
  Slot* FreeSlot();
  // With the lock held: the slot to read the next chunk into, taken, or
  // null when the window is full or the range read.
  Slot* TakeNext();
  // Reads a taken slot with the lock released, then marks it read.
  void ReadTaken(std::unique_lock<std::mutex>& lock, Slot& slot);
  // With the lock held: records a change of state and wakes the other side.
  void Changed();
  // Waits until `ready()` holds (it is checked with the lock held).
  template <class Condition>
  void Await(std::unique_lock<std::mutex>& lock, Condition ready);

  const VolumeView& view_;
  const uint64_t range_, chunkBytes_;
  const bool concurrent_;
  int64_t chunks_ = 0;
  bool ready_ = false;
  Slot slots_[kSlots];
  std::mutex mutex_;
  std::mutex fallback_;  // one positioned (seek and read) reader at a time
  std::condition_variable changed_;
  std::atomic<uint64_t> changes_{0};  // counts Changed(), watched while spinning
  int64_t want_ = 0;     // the chunk asked for last
  int64_t next_ = 0;     // the chunk read next
  Slot* held_ = nullptr; // the slot the scan holds
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace lv
