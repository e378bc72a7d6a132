// The message boxes of the program on Qt: caption, information or question
// icon, OK or Yes and No. A worker's message is shown on the interface
// thread while the worker waits for the answer.
#pragma once

#include "platform/MessageBox.h"

namespace lv {

class QtMessageBox : public MessageBox {
 public:
  MessageAnswer Show(std::wstring_view text, std::wstring_view caption, MessageIcon icon,
                     MessageButtons buttons) override;
};

}  // namespace lv
