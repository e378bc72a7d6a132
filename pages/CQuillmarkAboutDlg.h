// The About box (dialog 100).
#pragma once

#include <QDialog>
#include <QPoint>

namespace lv {

class CQuillmarkAboutDlg : public QDialog {
 public:
  explicit CQuillmarkAboutDlg(QWidget* parent);

 protected:
  // Enter and Escape are swallowed; a drag anywhere moves the box.
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  QPoint dragOffset_;
};

}  // namespace lv
