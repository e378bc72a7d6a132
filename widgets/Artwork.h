// The program's own images: the banner across the top of every page, the
// button images and the program icon, all drawn here in one style.
#pragma once

#include <QIcon>
#include <QSize>
#include <QWidget>

namespace lv {

enum class ButtonImage { Next, Back, Help, Save, Search, Pause, Resume, Stop, Folder, Disk };

QIcon ButtonIcon(ButtonImage image);
// The program's icon (a vault door with a lens), at any size.
QIcon ProgramIcon();
QPixmap ProgramPixmap(int size);

// A page of width × height dialog units in pixels of the given widget's font
// (a dialog unit is a quarter of the average character width and an eighth
// of the character height).
QSize DialogUnitsToPixels(const QWidget& widget, int width, int height);

// The banner: the product name and its line on a deep-blue band.
class Banner : public QWidget {
 public:
  explicit Banner(QWidget* parent = nullptr);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;
};

}  // namespace lv
