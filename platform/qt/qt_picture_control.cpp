#include "platform/qt/qt_picture_control.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace kestrune::qt {

PictureControl::PictureControl(QImage picture, QWidget* parent)
    : QWidget(parent), picture_(std::move(picture)) {}

bool PictureControl::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    // Qt's tooltip would pick its own display time from the text's length;
    // the hint stays up for the hide pause the program set.
    const auto* help = static_cast<QHelpEvent*>(event);
    if (hint_.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), hint_, this, QRect(), hintHidePause_);
    }
    return true;
  }
  return QWidget::event(event);
}

void PictureControl::paintEvent(QPaintEvent*) {
  if (picture_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(QPoint(0, 0), picture_);
}

void PictureControl::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

void PictureControl::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click && onClick_) onClick_();
}

}  // namespace kestrune::qt
