// The worker protocol: how a long-running engine reports to its page and how
// the page pauses and stops it.
//
// A worker writes status texts and sends ProgressRange / ProgressPosition to
// a WorkerSink. Stop is a byte flag per engine (`stopRequested`) polled at
// record, slot, cluster or chunk boundaries. Pause is a cooperative gate
// checked at the same polls: a paused worker waits there until Resume, so
// the work halts at once and continues where it was; a stop requested while
// paused takes effect after Resume.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace lv {

using StopFlag = std::atomic<uint8_t>;

class WorkerSink {
 public:
  virtual ~WorkerSink() = default;
  // The page's status line (its whole text).
  virtual void SetStatus(std::wstring_view text) = 0;
  // ProgressRange (WM_USER+2): the progress bar's range.
  virtual void ProgressRange(int64_t minimum, int64_t maximum) = 0;
  // ProgressPosition (WM_USER+1): the progress bar's position.
  virtual void ProgressPosition(int64_t position) = 0;
};

// A sink that forgets everything; engines use it when nobody listens.
class NullSink final : public WorkerSink {
 public:
  void SetStatus(std::wstring_view) override {}
  void ProgressRange(int64_t, int64_t) override {}
  void ProgressPosition(int64_t) override {}
};
NullSink& NoSink();

// Keeps the latest status and progress values (thread-safe); the command
// line and the tests read them.
class LatestValueSink : public WorkerSink {
 public:
  void SetStatus(std::wstring_view text) override;
  void ProgressRange(int64_t minimum, int64_t maximum) override;
  void ProgressPosition(int64_t position) override;

  std::wstring Status() const;
  int64_t RangeMinimum() const { return rangeMinimum_.load(); }
  int64_t RangeMaximum() const { return rangeMaximum_.load(); }
  int64_t Position() const { return position_.load(); }
  uint64_t StatusCount() const { return statusCount_.load(); }

 private:
  mutable std::mutex mutex_;
  std::wstring status_;
  std::atomic<uint64_t> statusCount_{0};
  std::atomic<int64_t> rangeMinimum_{0}, rangeMaximum_{0}, position_{0};
};

// Pause and Resume of one worker.
class PauseGate {
 public:
  void Pause();
  void Resume();
  bool Paused() const { return paused_.load(std::memory_order_acquire); }
  // Returns at once unless paused; otherwise blocks until Resume.
  void Wait() {
    if (Paused()) WaitSlow();
  }
  // Number of threads currently held at the gate (for tests and the page).
  int Waiting() const { return waiting_.load(); }

 private:
  void WaitSlow();
  std::atomic<bool> paused_{false};
  std::atomic<int> waiting_{0};
  std::mutex mutex_;
  std::condition_variable resumed_;
};

// The poll every engine loop makes: waits while paused, then tells whether a
// stop was requested.
inline bool StopPolled(const StopFlag& stopRequested, PauseGate* gate) {
  if (gate) gate->Wait();
  return stopRequested.load(std::memory_order_relaxed) != 0;
}

}  // namespace lv
