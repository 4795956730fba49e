#pragma once
// The client registration form. One object for the whole run: closing the form
// destroys its window, not the object, so ClienteAtivo and rsClientes persist.
#include <QObject>
#include <QString>
#include <memory>

class QWidget;
namespace ado { class Recordset; }

class frmClientes : public QObject {
  Q_OBJECT
 public:
  // The single instance; creating it does not load the window.
  static frmClientes& Instance();
  ~frmClientes() override;

  // True while the form is loaded.
  bool ClienteAtivo = false;

  // Shows the form inside the main window, loading it first when it is not
  // loaded (which loads the main window first); brings it to the front otherwise.
  void Show();
  // Closes the form's window, running its unload step.
  void Unload();
  bool IsLoaded() const;
  // The form's window while loaded (the widget inside the MDI child), else null.
  QWidget* Window() const;

  // Finds the client whose CPFCod is Condicao (when not empty) and shows the
  // cursor's current row in the fields.
  void CarregaCliente(const QString& Condicao);

 private:
  frmClientes();
  struct Impl;
  std::unique_ptr<Impl> d;
};
