#pragma once
// A picture that reacts to a click like a button but takes no focus and has no
// tab stop: pressing and releasing the left button over it emits Click.
#include <QLabel>

class ClickPicture : public QLabel {
  Q_OBJECT
 public:
  explicit ClickPicture(QWidget* parent = nullptr);

 signals:
  void Click();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};
