#pragma once
// Message boxes. Every box of the program goes through MsgBox, so that a test
// can install a responder that records the call and answers it instead of a
// modal dialog.
#include <QString>
#include <functional>

namespace forms {

// Button sets, icons and default button; add one of each group.
enum MsgBoxStyle : int {
  vbOKOnly = 0,
  vbOKCancel = 1,
  vbYesNo = 4,
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton1 = 0,
  vbDefaultButton2 = 256,
};

// Answers.
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbYes = 6, vbNo = 7 };

struct MsgBoxCall {
  QString prompt;
  int buttons = vbOKOnly;
  QString title;  // the caption shown: the application title when none was given
};

// The caption of boxes without a title of their own ("Pontelo").
QString AppTitle();
void SetAppTitle(const QString& title);

// Shows a modal box, or asks the installed responder. Returns an MsgBoxResult.
int MsgBox(const QString& prompt, int buttons = vbOKOnly, const QString& title = {});

using MsgBoxResponder = std::function<int(const MsgBoxCall&)>;
// Installs a responder (tests); an empty one restores the real dialog.
// Without one, VT_MSGBOX_ECHO=1 in the environment prints each call to stderr
// and answers the default button, for runs with nobody at the screen.
void SetMsgBoxResponder(MsgBoxResponder responder);

// Reports an error the way the platform reports an unhandled one: a box
// captioned with the application title, with the error's number and description.
void ReportError(long number, const QString& description);

}  // namespace forms
