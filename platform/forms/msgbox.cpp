#include "msgbox.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace forms {
namespace {
QString& appTitle() {
  static QString title = QStringLiteral("Pontelo");
  return title;
}
MsgBoxResponder& responder() {
  static MsgBoxResponder r;
  return r;
}
}  // namespace

QString AppTitle() { return appTitle(); }
void SetAppTitle(const QString& title) { appTitle() = title; }
void SetMsgBoxResponder(MsgBoxResponder r) { responder() = std::move(r); }

int MsgBox(const QString& prompt, int buttons, const QString& title) {
  MsgBoxCall call{prompt, buttons, title.isEmpty() ? AppTitle() : title};
  if (responder()) return responder()(call);
  const bool yesNo = (buttons & 0x7) == vbYesNo;
  const bool secondDefault = (buttons & vbDefaultButton2) != 0;
  if (qEnvironmentVariable("VT_MSGBOX_ECHO") == QLatin1String("1")) {
    QString oneLine = prompt;
    oneLine.replace(QLatin1Char('\n'), QLatin1String("\\n")).replace(QLatin1Char('\r'), QLatin1String("\\r"));
    fprintf(stderr, "MsgBox [%s] %s\n", qPrintable(call.title), qPrintable(oneLine));
    if (yesNo) return secondDefault ? vbNo : vbYes;
    return (buttons & 0x7) == vbOKCancel && secondDefault ? vbCancel : vbOK;
  }

  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(call.title);
  // A lone carriage return breaks the line, as it does in the platform's boxes.
  box.setText(QString(prompt).replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n')));
  switch (buttons & 0x70) {
    case vbCritical: box.setIcon(QMessageBox::Critical); break;
    case vbQuestion: box.setIcon(QMessageBox::Question); break;
    case vbExclamation: box.setIcon(QMessageBox::Warning); break;
    case vbInformation: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (buttons & 0x7) {
    case vbYesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(secondDefault ? QMessageBox::No : QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      break;
    case vbOKCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(secondDefault ? QMessageBox::Cancel : QMessageBox::Ok);
      break;
    default:
      box.setStandardButtons(QMessageBox::Ok);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    case QMessageBox::Cancel: return vbCancel;
    default: return vbOK;
  }
}

void ReportError(long number, const QString& description) {
  MsgBox(QStringLiteral("Erro em tempo de execução '%1':\n\n%2").arg(number).arg(description),
         vbCritical);
}

}  // namespace forms
