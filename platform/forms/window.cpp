#include "window.h"

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace forms {

namespace {
QString& folderOverride() {
  static QString path;
  return path;
}
}  // namespace

QString ProgramFolder() {
  return folderOverride().isEmpty() ? QCoreApplication::applicationDirPath() : folderOverride();
}
void SetProgramFolder(const QString& path) { folderOverride() = path; }

void SendTab() {
  QWidget* target = QApplication::focusWidget();
  if (!target) return;
  QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
  QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier));
}

void SelectAllDeferred(QWidget* widget) {
  QPointer<QLineEdit> edit = qobject_cast<QLineEdit*>(widget);
  if (!edit) return;
  QTimer::singleShot(0, edit, [edit] {
    if (edit) edit->setSelection(0, edit->displayText().size());
  });
}

}  // namespace forms
