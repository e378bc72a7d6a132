#include "common/WorkerProtocol.h"

namespace lv {

NullSink& NoSink() {
  static NullSink sink;
  return sink;
}

void LatestValueSink::SetStatus(std::wstring_view text) {
  std::lock_guard lock(mutex_);
  status_.assign(text);
  statusCount_.fetch_add(1, std::memory_order_relaxed);
}

void LatestValueSink::ProgressRange(int64_t minimum, int64_t maximum) {
  rangeMinimum_.store(minimum);
  rangeMaximum_.store(maximum);
}

void LatestValueSink::ProgressPosition(int64_t position) { position_.store(position); }

std::wstring LatestValueSink::Status() const {
  std::lock_guard lock(mutex_);
  return status_;
}

void PauseGate::Pause() {
  std::lock_guard lock(mutex_);
  paused_.store(true, std::memory_order_release);
}

void PauseGate::Resume() {
  {
    std::lock_guard lock(mutex_);
    paused_.store(false, std::memory_order_release);
  }
  resumed_.notify_all();
}

void PauseGate::WaitSlow() {
  std::unique_lock lock(mutex_);
  waiting_.fetch_add(1);
  resumed_.wait(lock, [this] { return !paused_.load(std::memory_order_acquire); });
  waiting_.fetch_sub(1);
}

}  // namespace lv
