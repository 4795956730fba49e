#pragma once
// Window-system services the forms expect and Qt spells differently.
#include <QRect>
#include <QString>

class QWidget;

namespace forms {

// 15 twips make one pixel at 96 dpi.
constexpr int Twips(int twips) { return (twips + 7) / 15; }
inline QRect TwipsRect(int left, int top, int width, int height) {
  return QRect(Twips(left), Twips(top), Twips(width), Twips(height));
}

// The folder the program was started from, without a trailing separator.
QString ProgramFolder();
// Tests point the program's folder elsewhere; an empty path restores it.
void SetProgramFolder(const QString& path);

// Queues a Tab keystroke for the focused widget, or the active window when no
// widget has the focus (SendKeys "{TAB}"): it is processed after the current
// event handler has returned.
void SendTab();

// Selects the whole text of a line edit once Qt's own focus handling is done.
void SelectAllDeferred(QWidget* lineEdit);

}  // namespace forms
