#include "ClickPicture.h"

#include <QMouseEvent>

ClickPicture::ClickPicture(QWidget* parent) : QLabel(parent) { setFocusPolicy(Qt::NoFocus); }

void ClickPicture::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

void ClickPicture::mouseReleaseEvent(QMouseEvent* event) {
  const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click) emit Click();
}
