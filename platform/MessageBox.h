// Message boxes. The engines and the catalogue report to the user through one
// process-wide MessageBox: the GUI installs a Qt implementation, the command
// line one that prints on stderr and answers Yes, the tests a recording fake.
#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace lv {

// The caption of every message box unless a message says otherwise.
inline constexpr const wchar_t* kProductTitle = L"Lumenvault";

enum class MessageIcon { None, Information, Question, Warning, Error };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual MessageAnswer Show(std::wstring_view text, std::wstring_view caption, MessageIcon icon,
                             MessageButtons buttons) = 0;
};

// The installed message box (one that discards everything when none is).
MessageBox& Messages();
// Installs a message box; null restores the silent one. Not owned.
void SetMessages(MessageBox* box);

// Shorthands for the common shapes.
void ShowInfo(std::wstring_view text, std::wstring_view caption = kProductTitle);
// A message with no caption of its own and no icon.
void ShowPlain(std::wstring_view text);
bool AskYesNo(std::wstring_view text, std::wstring_view caption = L"", MessageIcon icon = MessageIcon::Question);

// Prints each message on stderr (UTF-8, one line) and answers Yes.
class StderrMessageBox : public MessageBox {
 public:
  MessageAnswer Show(std::wstring_view text, std::wstring_view caption, MessageIcon icon,
                     MessageButtons buttons) override;
};

// Records every message; answers with `answer` for Yes/No questions.
class RecordingMessageBox : public MessageBox {
 public:
  struct Shown {
    std::wstring text;
    std::wstring caption;
    MessageIcon icon;
    MessageButtons buttons;
  };
  MessageAnswer answer = MessageAnswer::Yes;

  MessageAnswer Show(std::wstring_view text, std::wstring_view caption, MessageIcon icon,
                     MessageButtons buttons) override;
  std::vector<Shown> Messages() const;
  std::vector<std::wstring> Texts() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<Shown> shown_;
};

// Installs a message box for the lifetime of the object, restoring the
// previous one afterwards.
class ScopedMessages {
 public:
  explicit ScopedMessages(MessageBox* box);
  ~ScopedMessages();
  ScopedMessages(const ScopedMessages&) = delete;
  ScopedMessages& operator=(const ScopedMessages&) = delete;

 private:
  MessageBox* previous_;
};

}  // namespace lv
