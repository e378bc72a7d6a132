#include "pages/CQuillmarkAboutDlg.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/Config.h"
#include "app/Shell.h"
#include "widgets/Artwork.h"

namespace lv {

namespace {
QLabel* Link(QWidget* parent, const QString& text, const char* url, const QString& tip, const QString& name) {
  auto* label = new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(QString::fromUtf8(url), text.toHtmlEscaped()), parent);
  label->setObjectName(name);
  label->setToolTip(tip);
  label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  QObject::connect(label, &QLabel::linkActivated, parent, [](const QString& link) { TheShell().OpenUrl(link); });
  return label;
}
}  // namespace

CQuillmarkAboutDlg::CQuillmarkAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("100"));
  setWindowTitle(QStringLiteral("Lumenvault"));
  auto* layout = new QHBoxLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramPixmap(64));
  icon->setAlignment(Qt::AlignTop);
  layout->addWidget(icon);
  auto* column = new QVBoxLayout;
  auto* title = new QLabel(QStringLiteral("Lumenvault %1").arg(QString::fromUtf8(config::kVersion)), this);
  QFont bold(QStringLiteral("Arial"));
  bold.setPixelSize(15);
  bold.setWeight(QFont::DemiBold);
  title->setFont(bold);
  column->addWidget(title);
  column->addWidget(Link(this, QStringLiteral("lumenvault.org"), config::kCompanyUrl, QStringLiteral("Company website"), QStringLiteral("link.company")));
  column->addWidget(Link(this, QStringLiteral("support@lumenvault.org"), config::kSupportMail, QStringLiteral("Support email address"), QStringLiteral("link.support")));
  column->addWidget(Link(this, QStringLiteral("sales@lumenvault.org"), config::kSalesMail, QStringLiteral("Sales email address"), QStringLiteral("link.sales")));
  column->addWidget(new QLabel(QStringLiteral("Recovers lost photo, audio and video files, read-only."), this));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("IDOK"));
  ok->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  column->addWidget(ok, 0, Qt::AlignRight);
  layout->addLayout(column);
}

void CQuillmarkAboutDlg::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape: return;
    default: QDialog::keyPressEvent(event);
  }
}

void CQuillmarkAboutDlg::mousePressEvent(QMouseEvent* event) {
  dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CQuillmarkAboutDlg::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragOffset_);
}

}  // namespace lv
