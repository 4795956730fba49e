#pragma once
// The program's forms driven as a user drives them, for the benchmarks: the
// client form's toolbar, the search dialog, and the whole program started
// under a virtual X server.
#include <QString>

#include "bench/common/benchcommon.h"
#include "toolbar/trivex_tlb.h"

class QAbstractItemView;
class QComboBox;
class QLineEdit;
class QPushButton;
class QWidget;

namespace vtbench {

// Buttons of the client form's record toolbar, by position.
using namespace trivex;

// Ends the process with a message: a benchmark that measured the wrong thing
// must not print a table.
[[noreturn]] void Fail(const QString& what);

// Registers the build's Trivex.ocx in a registry file of its own in folder
// (VT_OLE_REGISTRY), for a process hosting the forms itself.
void RegisterToolbar(const QString& folder);

// Program files (VaskorTorvana, Trivex.ocx, its manifest) hard-linked, or
// copied, into folder, so that the program finds folder/ulmaro.mdb.
void InstallProgram(const QString& folder);

// The client form (loaded) and its fields.
QWidget* ClientForm();
QLineEdit* Field(const char* name);
template <class T>
T* FieldAs(const char* name);
// Clicks a toolbar button of the client form with the mouse (press and
// release); returns the seconds the click took.
double Click(int button);
// The same command through QAbstractButton::click(): without the mouse events,
// and so without the pressed button's synchronous repaint.
double ClickWithoutMouse(int button);

// The search dialog, shown.
struct SearchDialog {
  QWidget* window = nullptr;
  QComboBox* campos = nullptr;
  QComboBox* criterio = nullptr;
  QLineEdit* condicao = nullptr;
  QWidget* busca = nullptr;
  QAbstractItemView* lista = nullptr;
  QPushButton* ok = nullptr;

  static SearchDialog Open();
  // Chooses the field ("CPF-Cód.", "Nome", "Telefone") and criterion ("Contém",
  // "Igua à"), types text and clicks the search picture. Returns the seconds
  // from the click to the list filled.
  double Search(const QString& field, const QString& criterion, const QString& text);
  int Rows() const;
  // Selects a row of the list.
  void Select(int row);
};

// The statement the dialog runs for Nome "Contém" text.
QString ContemSQL(const QString& text);

struct ContemTiming {
  long rows = 0;
  double raw = 0;      // raw step, median
  double rawText = 0;  // raw step reading the three texts, median
  double filled = 0;   // click to list filled, median
};
// Times the dialog's Nome "Contém" search for text against the same SELECT on
// a raw connection, interleaved, repeat times each. Fails the process when the
// list and the raw step disagree on the number of rows.
ContemTiming TimeContem(SearchDialog& d, const RawConnection& raw, const QString& text, int repeat);

// Starts folder/VaskorTorvana repeat times under a private Xvfb and returns the
// median seconds from the start of the process to its main window being
// mapped (the form shows the latest client before the main window is shown).
// Returns a negative number, with why, when Xvfb or xev is missing.
double TimeProcessStart(const QString& folder, int repeat, QString* why);

}  // namespace vtbench

#include <QLineEdit>
template <class T>
T* vtbench::FieldAs(const char* name) {
  T* w = ClientForm()->findChild<T*>(QLatin1String(name));
  if (!w) Fail(QStringLiteral("no field ") + QLatin1String(name));
  return w;
}
