#include "app/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace lv {

namespace {

QString ToQt(std::wstring_view text) { return QString::fromWCharArray(text.data(), static_cast<qsizetype>(text.size())); }

MessageAnswer ShowHere(const QString& text, const QString& caption, MessageIcon icon, MessageButtons buttons) {
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case MessageIcon::Information: qicon = QMessageBox::Information; break;
    case MessageIcon::Question: qicon = QMessageBox::Question; break;
    case MessageIcon::Warning: qicon = QMessageBox::Warning; break;
    case MessageIcon::Error: qicon = QMessageBox::Critical; break;
    case MessageIcon::None: break;
  }
  QWidget* owner = QApplication::activeWindow();
  QMessageBox box(qicon, caption, text,
                  buttons == MessageButtons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, owner);
  if (buttons == MessageButtons::YesNo) box.setDefaultButton(QMessageBox::Yes);
  const int answer = box.exec();
  if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
  return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}

}  // namespace

MessageAnswer QtMessageBox::Show(std::wstring_view text, std::wstring_view caption, MessageIcon icon,
                                 MessageButtons buttons) {
  const QString qtext = ToQt(text);
  // A message without a caption of its own still carries the product's name
  // in the window title, as every window of the program does.
  const QString qcaption = caption.empty() ? QString::fromWCharArray(kProductTitle) : ToQt(caption);
  if (!qApp || QThread::currentThread() == qApp->thread()) return ShowHere(qtext, qcaption, icon, buttons);
  MessageAnswer answer = MessageAnswer::Ok;
  QMetaObject::invokeMethod(
      qApp, [&] { answer = ShowHere(qtext, qcaption, icon, buttons); }, Qt::BlockingQueuedConnection);
  return answer;
}

}  // namespace lv
