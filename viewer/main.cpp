// glimpser PATH: shows an image (any format Qt reads) scaled to its window;
// any other file goes to the desktop's default application.
#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QWidget>
#include <cstdio>

namespace {

class ImageView : public QWidget {
 public:
  explicit ImageView(const QImage& image) : image_(image) {
    setMinimumSize(160, 120);
    setStyleSheet(QStringLiteral("background: #202428;"));
    setAttribute(Qt::WA_OpaquePaintEvent);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 36, 40));
    if (image_.isNull()) return;
    const QSize fitted = image_.size().scaled(size(), Qt::KeepAspectRatio);
    const QSize shown = image_.width() <= width() && image_.height() <= height() ? image_.size() : fitted;
    const QRect target(QPoint((width() - shown.width()) / 2, (height() - shown.height()) / 2), shown);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(target, image_);
  }
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Q) close();
    else QWidget::keyPressEvent(event);
  }

 private:
  QImage image_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: glimpser PATH\n");
    return 2;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("glimpser"));
  const QString path = QString::fromLocal8Bit(argv[1]);
  const QFileInfo info(path);
  if (!info.isFile()) {
    std::fprintf(stderr, "glimpser: %s is not a file\n", path.toLocal8Bit().constData());
    return 1;
  }
  QImageReader reader(path);
  reader.setAutoTransform(true);
  const QImage image = reader.read();
  if (image.isNull()) {
    // Not a picture Qt reads: the desktop's default application opens it.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath())) ? 0 : 1;
  }
  ImageView view(image);
  view.setWindowTitle(QStringLiteral("%1 - glimpser").arg(info.fileName()));
  const QSize screen = view.screen() ? view.screen()->availableSize() * 0.8 : QSize(1024, 768);
  view.resize(image.size().boundedTo(screen).expandedTo(QSize(320, 240)));
  view.show();
  return application.exec();
}
