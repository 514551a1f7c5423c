// An image control as the window's designer placed it: the picture drawn
// unstretched at its top-left corner, a click reported on release over it,
// and an optional hint with its own display time.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>

namespace kestrune::qt {

class PictureControl final : public QWidget {
 public:
  PictureControl(QImage picture, QWidget* parent);

  void SetClickHandler(std::function<void()> handler) { onClick_ = std::move(handler); }
  void SetHint(QString text) { hint_ = std::move(text); }
  const QString& Hint() const { return hint_; }
  void SetHintHidePause(int milliseconds) { hintHidePause_ = milliseconds; }
  int HintHidePause() const { return hintHidePause_; }
  const QImage& Picture() const { return picture_; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QImage picture_;
  std::function<void()> onClick_;
  QString hint_;
  int hintHidePause_ = -1;  // Qt's own choice until told
  bool pressed_ = false;
};

}  // namespace kestrune::qt
