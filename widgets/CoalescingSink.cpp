#include "widgets/CoalescingSink.h"

#include <QLabel>
#include <QProgressBar>
#include <climits>

namespace lv {

CoalescingSink::CoalescingSink(QLabel* status, QProgressBar* progress, QObject* parent, int intervalMs)
    : QObject(parent), status_(status), progress_(progress) {
  timer_.setInterval(intervalMs);
  connect(&timer_, &QTimer::timeout, this, [this] {
    Apply();
    if (tick) tick();
  });
  timer_.start();
}

void CoalescingSink::SetStatus(std::wstring_view text) {
  std::lock_guard lock(mutex_);
  text_.assign(text);
  textDirty_ = true;
}

void CoalescingSink::ProgressRange(int64_t minimum, int64_t maximum) {
  std::lock_guard lock(mutex_);
  minimum_ = minimum;
  maximum_ = maximum;
  rangeDirty_ = true;
}

void CoalescingSink::ProgressPosition(int64_t position) {
  std::lock_guard lock(mutex_);
  position_ = position;
  positionDirty_ = true;
}

void CoalescingSink::Apply() {
  std::wstring text;
  bool textDirty, rangeDirty, positionDirty;
  int64_t minimum, maximum, position;
  {
    std::lock_guard lock(mutex_);
    textDirty = textDirty_;
    rangeDirty = rangeDirty_;
    positionDirty = positionDirty_;
    textDirty_ = rangeDirty_ = positionDirty_ = false;
    if (textDirty) text = text_;
    minimum = minimum_;
    maximum = maximum_;
    position = position_;
  }
  if (textDirty && status_) status_->setText(QString::fromStdWString(text));
  if (!progress_) return;
  if (rangeDirty) {
    // A 64-bit range on the bar's int range: both ends scaled alike.
    const int64_t span = maximum > minimum ? maximum - minimum : 0;
    scale_ = span / INT_MAX + 1;
    progress_->setRange(static_cast<int>(minimum / scale_), static_cast<int>(maximum / scale_));
  }
  if (positionDirty || rangeDirty) progress_->setValue(static_cast<int>(position / scale_));
}

}  // namespace lv
