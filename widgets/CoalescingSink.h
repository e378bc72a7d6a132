// The worker sink of a page: workers write status and progress from their
// own thread; the page applies the latest values on its interface thread at
// most every ~50 ms (latest value wins), so a worker that reports a million
// records never floods the event loop.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <mutex>
#include <string>

#include "common/WorkerProtocol.h"

class QLabel;
class QProgressBar;

namespace lv {

class CoalescingSink : public QObject, public WorkerSink {
 public:
  // Applies to status and progress every intervalMs; `tick` runs after each
  // application (the page publishes list rows there).
  CoalescingSink(QLabel* status, QProgressBar* progress, QObject* parent, int intervalMs = 50);
  void SetStatus(std::wstring_view text) override;
  void ProgressRange(int64_t minimum, int64_t maximum) override;
  void ProgressPosition(int64_t position) override;
  // Applies what changed now (interface thread).
  void Apply();
  std::function<void()> tick;

 private:
  QLabel* status_;
  QProgressBar* progress_;
  QTimer timer_;
  std::mutex mutex_;
  std::wstring text_;
  int64_t minimum_ = 0, maximum_ = 0, position_ = 0;
  bool textDirty_ = false, rangeDirty_ = false, positionDirty_ = false;
  int64_t scale_ = 1;
};

}  // namespace lv
