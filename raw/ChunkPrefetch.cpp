#include "raw/ChunkPrefetch.h"

#include <algorithm>

namespace lv {

namespace {

bool AllZero(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

}  // namespace

ChunkPrefetch::ChunkPrefetch(const VolumeView& view, uint64_t range, uint64_t chunkBytes)
    : view_(view), range_(range), chunkBytes_(chunkBytes) {
  chunks_ = static_cast<int64_t>((range + chunkBytes - 1) / chunkBytes);
  ready_ = chunkBytes % kSectorSize == 0 && chunkBytes > 0;
  for (Slot& slot : slots_) ready_ = ready_ && slot.buffer.Resize(chunkBytes);
  if (!ready_) return;
  for (Slot& slot : slots_) slot.unreadable.assign(chunkBytes / kSectorSize, 0);
  thread_ = std::thread([this] { Loop(); });
}

ChunkPrefetch::~ChunkPrefetch() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void ChunkPrefetch::Read(Slot& slot) {
  const uint64_t start = static_cast<uint64_t>(slot.chunk) * chunkBytes_;
  Chunk& r = slot.result;
  r = Chunk{};
  r.data = slot.buffer.data();
  r.length = std::min(chunkBytes_, range_ - start);
  const VolumeView::BatchResult read = view_.ReadBatch(start, slot.buffer.data(), r.length);
  r.positioned = read.positioned;
  if (read.skippedBytes == 0) return;
  // The batched read left unreadable sectors as zeros; find which of the
  // zero sectors they are, so that none is taken for data.
  std::fill(slot.unreadable.begin(), slot.unreadable.end(), 0);
  uint8_t probe[kSectorSize];
  for (uint64_t s = 0; s + kSectorSize <= r.length; s += kSectorSize) {
    if (!AllZero(slot.buffer.data() + s, kSectorSize) || view_.Read(start + s, probe, kSectorSize)) continue;
    slot.unreadable[s / kSectorSize] = 1;
    ++r.unreadableCount;
  }
  r.unreadable = slot.unreadable.data();
}

void ChunkPrefetch::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return quit_ || pending_; });
    if (quit_) return;
    Slot& slot = *pending_;
    pending_ = nullptr;
    lock.unlock();
    Read(slot);
    lock.lock();
    slot.done = true;
    changed_.notify_all();
  }
}

void ChunkPrefetch::Request(Slot& slot, int64_t c) {
  slot.chunk = c;
  slot.done = false;
  pending_ = &slot;
  changed_.notify_all();
}

ChunkPrefetch::Chunk ChunkPrefetch::Get(int64_t c) {
  std::unique_lock lock(mutex_);
  Slot* mine = nullptr;
  for (Slot& slot : slots_)
    if (slot.chunk == c) mine = &slot;
  if (!mine) {
    // Not asked for (the scan jumped ahead): read it into the slot that is
    // not being read, or wait until neither is.
    changed_.wait(lock, [this] { return !pending_ && (slots_[0].done || slots_[0].chunk < 0 || slots_[1].done || slots_[1].chunk < 0); });
    for (Slot& slot : slots_)
      if (!mine && (slot.done || slot.chunk < 0)) mine = &slot;
    Request(*mine, c);
  }
  changed_.wait(lock, [mine] { return mine->done; });
  // The other slot reads the next chunk meanwhile, unless it is reading.
  Slot& other = mine == &slots_[0] ? slots_[1] : slots_[0];
  if (c + 1 < chunks_ && other.chunk != c + 1 && (other.done || other.chunk < 0) && !pending_) Request(other, c + 1);
  return mine->result;
}

}  // namespace lv
