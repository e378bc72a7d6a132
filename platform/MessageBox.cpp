#include "platform/MessageBox.h"

#include <atomic>
#include <cstdio>

#include "common/Text.h"

namespace lv {

namespace {
class SilentMessageBox : public MessageBox {
 public:
  MessageAnswer Show(std::wstring_view, std::wstring_view, MessageIcon, MessageButtons buttons) override {
    return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
  }
};
SilentMessageBox silentBox;
std::atomic<MessageBox*> installedBox{nullptr};
}  // namespace

MessageBox& Messages() {
  MessageBox* box = installedBox.load();
  return box ? *box : silentBox;
}

void SetMessages(MessageBox* box) { installedBox.store(box); }

static MessageBox* SwapMessages(MessageBox* box) { return installedBox.exchange(box); }

void ShowInfo(std::wstring_view text, std::wstring_view caption) {
  Messages().Show(text, caption, MessageIcon::Information, MessageButtons::Ok);
}

void ShowPlain(std::wstring_view text) { Messages().Show(text, L"", MessageIcon::None, MessageButtons::Ok); }

bool AskYesNo(std::wstring_view text, std::wstring_view caption, MessageIcon icon) {
  return Messages().Show(text, caption, icon, MessageButtons::YesNo) == MessageAnswer::Yes;
}

MessageAnswer StderrMessageBox::Show(std::wstring_view text, std::wstring_view, MessageIcon, MessageButtons buttons) {
  std::string line = WideToUtf8(text);
  for (char& c : line)
    if (c == '\n') c = ' ';
  std::fprintf(stderr, "%s\n", line.c_str());
  return buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok;
}

MessageAnswer RecordingMessageBox::Show(std::wstring_view text, std::wstring_view caption, MessageIcon icon,
                                        MessageButtons buttons) {
  std::lock_guard lock(mutex_);
  shown_.push_back(Shown{std::wstring(text), std::wstring(caption), icon, buttons});
  if (buttons == MessageButtons::YesNo) return answer;
  return MessageAnswer::Ok;
}

std::vector<RecordingMessageBox::Shown> RecordingMessageBox::Messages() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

std::vector<std::wstring> RecordingMessageBox::Texts() const {
  std::lock_guard lock(mutex_);
  std::vector<std::wstring> texts;
  for (const Shown& s : shown_) texts.push_back(s.text);
  return texts;
}

void RecordingMessageBox::Clear() {
  std::lock_guard lock(mutex_);
  shown_.clear();
}

ScopedMessages::ScopedMessages(MessageBox* box) : previous_(SwapMessages(box)) {}
ScopedMessages::~ScopedMessages() { SetMessages(previous_); }

}  // namespace lv
