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

ChunkPrefetch::Slot* ChunkPrefetch::FreeSlot() {
  for (Slot& slot : slots_)
    if (slot.state == State::Empty && &slot != held_) return &slot;
  return nullptr;
}

void ChunkPrefetch::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    Slot* slot = nullptr;
    changed_.wait(lock, [&] {
      if (quit_) return true;
      slot = next_ < chunks_ && Wanted(next_) ? FreeSlot() : nullptr;
      return slot != nullptr;
    });
    if (quit_) return;
    slot->chunk = next_++;
    slot->state = State::Reading;
    lock.unlock();
    Read(*slot);
    lock.lock();
    // A chunk the scan has jumped past is dropped.
    slot->state = Wanted(slot->chunk) ? State::Ready : State::Empty;
    changed_.notify_all();
  }
}

ChunkPrefetch::Chunk ChunkPrefetch::Get(int64_t c) {
  if (c < 0 || c >= chunks_) return Chunk{nullptr, 0, false, nullptr, 0};
  std::unique_lock lock(mutex_);
  if (held_) held_->state = State::Empty;
  held_ = nullptr;
  want_ = c;
  Slot* mine = nullptr;
  for (Slot& slot : slots_) {
    if (slot.state == State::Ready && !Wanted(slot.chunk)) slot.state = State::Empty;
    if (slot.state != State::Empty && slot.chunk == c) mine = &slot;
  }
  if (!mine && next_ != c) next_ = c;  // not read nor being read: read it next
  changed_.notify_all();
  changed_.wait(lock, [&] {
    for (Slot& slot : slots_)
      if (slot.state == State::Ready && slot.chunk == c) mine = &slot;
    return mine && mine->state == State::Ready && mine->chunk == c;
  });
  held_ = mine;
  return mine->result;
}

}  // namespace lv
