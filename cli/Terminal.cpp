#include "cli/Terminal.h"

#include <unistd.h>

#include <cstdio>

#include "common/DisplayText.h"
#include "common/Text.h"

namespace lv::cli {

StatusLine& StatusLine::Get() {
  static StatusLine line;
  return line;
}

StatusLine::StatusLine() : enabled_(::isatty(STDERR_FILENO) == 1) {}

void StatusLine::Show(std::string_view text) {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  constexpr size_t kWidth = 79;
  std::string line(text.substr(0, kWidth));
  // A cut must not leave half a UTF-8 character.
  while (line.size() == kWidth && !line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80)
    line.pop_back();
  if (line.size() == kWidth - 1 && !line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0xC0)
    line.pop_back();
  std::fprintf(stderr, "\r\033[K%s", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void StatusLine::Clear() {
  if (!enabled_) return;
  std::lock_guard lock(mutex_);
  if (!drawn_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

MessageAnswer TerminalMessageBox::Show(std::wstring_view text, std::wstring_view, MessageIcon,
                                       MessageButtons buttons) {
  if (buttons == MessageButtons::YesNo) return MessageAnswer::Yes;
  std::string line = WideToUtf8(text);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  StatusLine::Get().Clear();
  std::fprintf(stderr, "%s\n", line.c_str());
  return MessageAnswer::Ok;
}

WorkerProgress::WorkerProgress(std::function<std::string()> text) : text_(std::move(text)) {
  if (!StatusLine::Get().enabled()) return;
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return done_; })) {
      const std::string line = text_();
      if (!line.empty()) StatusLine::Get().Show(line);
    }
  });
}

WorkerProgress::~WorkerProgress() {
  {
    std::lock_guard lock(mutex_);
    done_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  StatusLine::Get().Clear();
}

void SaveProgress::Add(uint64_t bytes) {
  ++files_;
  bytes_ += bytes;
  StatusLine& line = StatusLine::Get();
  if (!line.enabled()) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - drawn_ < std::chrono::milliseconds(200)) return;
  drawn_ = now;
  line.Show(FormatUtf8("saving: %llu file%s, %s written", static_cast<unsigned long long>(files_),
                       files_ == 1 ? "" : "s", WideToUtf8(SizeText(bytes_)).c_str()));
}

void SaveProgress::Interrupt() {
  StatusLine::Get().Clear();
  drawn_ = {};
}

}  // namespace lv::cli
