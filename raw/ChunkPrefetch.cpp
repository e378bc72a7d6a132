#include "raw/ChunkPrefetch.h"

#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lv {

namespace {

bool AllZero(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (bytes[i] != 0) return false;
  return true;
}

void Pause() {
#if defined(__x86_64__)
  _mm_pause();
#endif
}

}  // namespace

void ChunkPrefetch::Changed() {
  changes_.fetch_add(1, std::memory_order_release);
  changed_.notify_all();
}

template <class Condition>
void ChunkPrefetch::Await(std::unique_lock<std::mutex>& lock, Condition ready) {
  if (ready()) return;
  const auto until = std::chrono::steady_clock::now() + kSpin;
  bool spun = false;
  while (!spun) {
    const uint64_t seen = changes_.load(std::memory_order_acquire);
    lock.unlock();
    for (unsigned i = 1; changes_.load(std::memory_order_acquire) == seen; ++i) {
      Pause();
      if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) {
        spun = true;
        break;
      }
    }
    lock.lock();
    if (ready()) return;
  }
  changed_.wait(lock, ready);
}

ChunkPrefetch::ChunkPrefetch(const VolumeView& view, uint64_t range, uint64_t chunkBytes)
    : view_(view), range_(range), chunkBytes_(chunkBytes), concurrent_(view.Reader().ConcurrentReads()) {
  chunks_ = static_cast<int64_t>((range + chunkBytes - 1) / chunkBytes);
  ready_ = chunkBytes % kSectorSize == 0 && chunkBytes > 0 && chunkBytes <= UINT32_MAX;
  for (Slot& slot : slots_) ready_ = ready_ && slot.buffer.Resize(chunkBytes);
  if (!ready_) return;
  for (Slot& slot : slots_) slot.unreadable.assign(chunkBytes / kSectorSize, 0);
  thread_ = std::thread([this] { Loop(); });
}

ChunkPrefetch::~ChunkPrefetch() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    Changed();
  }
  if (thread_.joinable()) thread_.join();
}

void ChunkPrefetch::Read(Slot& slot) {
  const uint64_t start = static_cast<uint64_t>(slot.chunk) * chunkBytes_;
  Chunk& r = slot.result;
  r = Chunk{};
  r.data = slot.buffer.data();
  r.length = std::min(chunkBytes_, range_ - start);
  if (concurrent_ && view_.Positionable(start) &&
      view_.Reader().ReadAtOffset(static_cast<uint64_t>(view_.BaseOffset()) + start, slot.buffer.data(),
                                  static_cast<uint32_t>(r.length)))
    return;
  std::lock_guard lock(fallback_);
  ReadWithFallback(slot, start);
}

void ChunkPrefetch::ReadWithFallback(Slot& slot, uint64_t start) {
  Chunk& r = slot.result;
  const VolumeView::BatchResult read = view_.ReadBatch(start, slot.buffer.data(), r.length);
  r.positioned = read.positioned;
  r.endOfSource = read.reachedEnd;
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

ChunkPrefetch::Slot* ChunkPrefetch::TakeNext() {
  if (quit_ || next_ >= chunks_ || !Wanted(next_)) return nullptr;
  Slot* slot = FreeSlot();
  if (!slot) return nullptr;
  slot->chunk = next_++;
  slot->state = State::Reading;
  return slot;
}

void ChunkPrefetch::ReadTaken(std::unique_lock<std::mutex>& lock, Slot& slot) {
  lock.unlock();
  Read(slot);
  lock.lock();
  // A chunk the scan has jumped past is dropped.
  slot.state = Wanted(slot.chunk) ? State::Ready : State::Empty;
  Changed();
}

void ChunkPrefetch::Loop() {
  std::unique_lock lock(mutex_);
  for (;;) {
    Slot* slot = nullptr;
    Await(lock, [&] { return quit_ || (slot = TakeNext()) != nullptr; });
    if (quit_) return;
    ReadTaken(lock, *slot);
  }
}

ChunkPrefetch::Chunk ChunkPrefetch::Get(int64_t c) {
  if (c < 0 || c >= chunks_) return Chunk{nullptr, 0, false, nullptr, 0, false};
  std::unique_lock lock(mutex_);
  if (held_) held_->state = State::Empty;
  held_ = nullptr;
  want_ = c;
  bool taken = false;
  for (Slot& slot : slots_) {
    if (slot.state == State::Ready && !Wanted(slot.chunk)) slot.state = State::Empty;
    if (slot.state != State::Empty && slot.chunk == c) taken = true;
  }
  if (!taken && next_ != c) next_ = c;  // not read nor being read: read it next
  Changed();
  Slot* mine = nullptr;
  auto have = [&] {
    for (Slot& slot : slots_)
      if (slot.state == State::Ready && slot.chunk == c) mine = &slot;
    return mine != nullptr;
  };
  // While chunk c is on its way, read the next one nobody has taken (c
  // itself when the thread has not yet taken it).
  for (;;) {
    Slot* help = nullptr;
    Await(lock, [&] { return have() || (concurrent_ && (help = TakeNext()) != nullptr); });
    if (!help) break;
    ReadTaken(lock, *help);
  }
  held_ = mine;
  return mine->result;
}

}  // namespace lv
