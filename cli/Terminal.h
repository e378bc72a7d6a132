// What the command line writes to the terminal besides its output: one
// status line that progress rewrites in place, and the messages of the
// recovery core.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/MessageBox.h"

namespace lv::cli {

// The status line at the bottom of stderr, drawn only when stderr is a
// terminal. Everything else written to stderr or to the same terminal
// clears it first, so every message starts on a line of its own.
class StatusLine {
 public:
  static StatusLine& Get();
  bool enabled() const { return enabled_; }
  // Rewrites the line (cut to the terminal's usual width).
  void Show(std::string_view text);
  // Erases the line when it is drawn.
  void Clear();

 private:
  StatusLine();
  bool enabled_;
  bool drawn_ = false;
  std::mutex mutex_;
};

// The core's messages on stderr, one line each, after the status line is
// cleared. Questions are answered Yes without being printed: the command
// line already says what to do, and a question nobody can answer only
// confuses the output.
class TerminalMessageBox : public MessageBox {
 public:
  MessageAnswer Show(std::wstring_view text, std::wstring_view caption, MessageIcon icon,
                     MessageButtons buttons) override;
};

// Redraws the status line from a text function every 200 ms while it
// lives (a worker runs), when stderr is a terminal; clears it at the end.
class WorkerProgress {
 public:
  explicit WorkerProgress(std::function<std::string()> text);
  ~WorkerProgress();
  WorkerProgress(const WorkerProgress&) = delete;
  WorkerProgress& operator=(const WorkerProgress&) = delete;

 private:
  std::function<std::string()> text_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

// Progress of a save on the status line: files and bytes written, redrawn
// at most five times a second.
class SaveProgress {
 public:
  void Add(uint64_t bytes);
  // Clears the line before other output; the next Add draws it again.
  void Interrupt();

 private:
  uint64_t files_ = 0, bytes_ = 0;
  std::chrono::steady_clock::time_point drawn_{};
};

}  // namespace lv::cli
