#include "window.h"

#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include <QApplication>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

namespace forms {

namespace {
QString& folderOverride() {
  static QString path;
  return path;
}
}  // namespace

QString ProgramFolder() {
  if (!folderOverride().isEmpty()) return folderOverride();
  // The folder of the running executable, as the kernel names it. A name that
  // is not UTF-8 cannot be held in a QString; the folder is then reached
  // through a descriptor kept open for the run.
  static const QString folder = [] {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || n == ssize_t(sizeof buf)) return QCoreApplication::applicationDirPath();
    const QByteArray exe(buf, n);
    QByteArray dir = exe.left(exe.lastIndexOf('/'));
    if (dir.isEmpty()) dir = "/";
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString name = utf8.decode(dir);
    if (!utf8.hasError()) return name;
    const int fd = ::open(dir.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return QCoreApplication::applicationDirPath();
    return QStringLiteral("/proc/self/fd/%1").arg(fd);
  }();
  return folder;
}
void SetProgramFolder(const QString& path) { folderOverride() = path; }

void SendTab() {
  // Like a typed key: to the focused widget, or to the active window when
  // nothing has the focus.
  QWidget* target = QApplication::focusWidget();
  if (!target) target = QApplication::activeWindow();
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
