#include "widgets/Artwork.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace lv {

namespace {

const QColor kInk(28, 64, 120);
const QColor kAccent(240, 170, 40);

QPixmap Draw(int size, ButtonImage image) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 16.0, size / 16.0);
  p.setPen(Qt::NoPen);
  p.setBrush(kInk);
  switch (image) {
    case ButtonImage::Next: p.drawPolygon(QPolygonF({{3, 2}, {13, 8}, {3, 14}})); break;
    case ButtonImage::Back: p.drawPolygon(QPolygonF({{13, 2}, {3, 8}, {13, 14}})); break;
    case ButtonImage::Resume:
      p.setBrush(QColor(40, 140, 60));
      p.drawPolygon(QPolygonF({{4, 2}, {13, 8}, {4, 14}}));
      break;
    case ButtonImage::Pause:
      p.drawRect(QRectF(3, 2, 3.5, 12));
      p.drawRect(QRectF(9.5, 2, 3.5, 12));
      break;
    case ButtonImage::Stop:
      p.setBrush(QColor(190, 40, 40));
      p.drawRoundedRect(QRectF(2.5, 2.5, 11, 11), 1.5, 1.5);
      break;
    case ButtonImage::Help: {
      p.drawEllipse(QRectF(1, 1, 14, 14));
      p.setPen(Qt::white);
      QFont font;
      font.setPixelSize(11);
      font.setBold(true);
      p.setFont(font);
      p.drawText(QRectF(1, 1, 14, 14), Qt::AlignCenter, QStringLiteral("?"));
      break;
    }
    case ButtonImage::Save:
      p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
      p.setBrush(Qt::white);
      p.drawRect(QRectF(4, 2.5, 8, 4.5));
      p.setBrush(kAccent);
      p.drawRect(QRectF(4, 9.5, 8, 4));
      break;
    case ButtonImage::Search:
      p.setPen(QPen(kInk, 2.2));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(2, 2, 8.5, 8.5));
      p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(9.5, 9.5), QPointF(14, 14));
      break;
    case ButtonImage::Folder:
      p.setBrush(kAccent);
      p.drawRoundedRect(QRectF(1, 3, 6, 3), 1, 1);
      p.drawRoundedRect(QRectF(1, 4.5, 14, 9.5), 1, 1);
      break;
    case ButtonImage::Disk:
      p.drawRoundedRect(QRectF(1, 4, 14, 8), 1.5, 1.5);
      p.setBrush(kAccent);
      p.drawEllipse(QRectF(11, 7, 2, 2));
      break;
  }
  return pixmap;
}

}  // namespace

QIcon ButtonIcon(ButtonImage image) {
  QIcon icon;
  for (int size : {16, 32}) icon.addPixmap(Draw(size, image));
  return icon;
}

QPixmap ProgramPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  QLinearGradient body(0, 0, 0, 64);
  body.setColorAt(0, QColor(52, 100, 170));
  body.setColorAt(1, kInk);
  p.setPen(Qt::NoPen);
  p.setBrush(body);
  p.drawRoundedRect(QRectF(4, 4, 56, 56), 10, 10);
  p.setBrush(QColor(255, 255, 255, 230));
  p.drawEllipse(QRectF(14, 14, 36, 36));
  QRadialGradient lens(QPointF(30, 30), 16);
  lens.setColorAt(0, QColor(255, 220, 120));
  lens.setColorAt(1, kAccent);
  p.setBrush(lens);
  p.drawEllipse(QRectF(20, 20, 24, 24));
  p.setBrush(kInk);
  p.drawEllipse(QRectF(27, 27, 10, 10));
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(ProgramPixmap(size));
  return icon;
}

QSize DialogUnitsToPixels(const QWidget& widget, int width, int height) {
  const QFontMetrics metrics(widget.font());
  const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  const int averageWidth = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
  return QSize(width * averageWidth / 4, height * metrics.height() / 8);
}

Banner::Banner(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize Banner::sizeHint() const { return QSize(400, fontMetrics().height() * 4); }

void Banner::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient band(0, 0, width(), 0);
  band.setColorAt(0, kInk);
  band.setColorAt(1, QColor(70, 120, 190));
  p.fillRect(rect(), band);
  const int h = height();
  p.drawPixmap(h / 6, h / 6, ProgramPixmap(h * 2 / 3));
  QFont title = font();
  title.setPixelSize(h * 2 / 5);
  title.setBold(true);
  p.setFont(title);
  p.setPen(Qt::white);
  const int x = h;
  p.drawText(QRect(x, 0, width() - x, h * 3 / 5), Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Lumenvault"));
  QFont line = font();
  line.setPixelSize(std::max(9, h / 5));
  p.setFont(line);
  p.setPen(QColor(220, 230, 245));
  p.drawText(QRect(x, h * 3 / 5, width() - x, h * 2 / 5), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("Photo, audio and video recovery"));
}

}  // namespace lv
