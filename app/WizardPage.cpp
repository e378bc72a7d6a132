#include "app/WizardPage.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/Config.h"
#include "app/Shell.h"
#include "pages/CQuillmarkAboutDlg.h"
#include "platform/MessageBox.h"

namespace lv {

QString ControlName(int id) { return QString::number(id); }

WizardPage::WizardPage(WizardPage* parentPage, int dialogId) : QDialog(parentPage), parentPage_(parentPage), dialogId_(dialogId) {
  setWindowTitle(QStringLiteral("Lumenvault"));
  setWindowIcon(ProgramIcon());
  setObjectName(ControlName(dialogId));
  setAttribute(Qt::WA_DeleteOnClose, false);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  outer->addWidget(new Banner(this));
  auto* inner = new QVBoxLayout;
  const int margin = fontMetrics().height() * 3 / 4;
  inner->setContentsMargins(margin, margin, margin, margin);
  body_ = new QVBoxLayout;
  inner->addLayout(body_, 1);
  buttons_ = new QHBoxLayout;
  inner->addLayout(buttons_);
  outer->addLayout(inner, 1);

  help_ = new QToolButton(this);
  help_->setObjectName(ControlName(1326));
  help_->setText(QStringLiteral("Help"));
  help_->setIcon(ButtonIcon(ButtonImage::Help));
  help_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  help_->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(help_);
  menu->setObjectName(QStringLiteral("179"));
  QAction* manual = menu->addAction(QStringLiteral("Help"));
  manual->setObjectName(QStringLiteral("32771"));
  connect(manual, &QAction::triggered, this, [] { TheShell().OpenUrl(QString::fromUtf8(config::kManualUrl)); });
  QAction* home = menu->addAction(QStringLiteral("Software Homepage"));
  home->setObjectName(QStringLiteral("32774"));
  connect(home, &QAction::triggered, this, [] { TheShell().OpenUrl(QString::fromUtf8(config::kHomePageUrl)); });
  QAction* about = menu->addAction(QStringLiteral("About"));
  about->setObjectName(QStringLiteral("32775"));
  connect(about, &QAction::triggered, this, [this] {
    CQuillmarkAboutDlg box(this);
    box.exec();
  });
  help_->setMenu(menu);
  buttons_->addWidget(help_);
  buttons_->addStretch(1);

  exit_ = new QPushButton(QStringLiteral("EXIT"), this);
  exit_->setObjectName(ControlName(1));
  exit_->setVisible(false);
  connect(exit_, &QPushButton::clicked, this, &WizardPage::PressEnter);

  const QSize size = DialogUnitsToPixels(*this, 513, 300);
  setMinimumSize(size);
  resize(size);
}

QPushButton* WizardPage::MakeButton(const QString& text, int id, ButtonImage image, bool trailingIcon) {
  auto* button = new QPushButton(ButtonIcon(image), text, this);
  button->setObjectName(ControlName(id));
  button->setAutoDefault(false);
  button->setDefault(false);
  if (trailingIcon) button->setLayoutDirection(Qt::RightToLeft);
  return button;
}

void WizardPage::OpenChild(WizardPage* child) {
  child->move(pos());
  child->show();
  hide();
}

void WizardPage::GoBack() {
  if (!parentPage_) return;
  parentPage_->move(pos());
  parentPage_->show();
  hide();
  deleteLater();
}

void WizardPage::RequestExit() {
  if (ExitRefused()) return;
  if (!AskYesNo(L"Do you want to Close Application ?", kProductTitle, MessageIcon::Question)) return;
  StopWorkers();
  TheShell().OpenUrl(QString::fromUtf8(config::kHomePageUrl));
  hide();
  TheShell().EndProgram(true);
}

void WizardPage::PressEnter() {
  const bool atOnce = EnterEndsAtOnce();
  if (atOnce) StopWorkers();
  hide();
  TheShell().EndProgram(atOnce);
}

void WizardPage::reject() { RequestExit(); }

void WizardPage::closeEvent(QCloseEvent* event) {
  event->ignore();
  RequestExit();
}

void WizardPage::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
      exit_->click();
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

}  // namespace lv
