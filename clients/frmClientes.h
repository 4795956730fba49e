#pragma once
// The client registration form. One object for the whole run: closing the form
// destroys its window, not the object, so ClienteAtivo and rsClientes persist.
#include <QObject>
#include <QString>
#include <memory>

#include "platform/ole/ole.h"

class QKeyEvent;
class QWidget;
namespace ado { class Recordset; }

// Typed access to the hosted record toolbar: STATUS and HabilitaMenu by their
// dispatch ids. Failures throw ole::Error.
class TrivexProxy {
 public:
  QString STATUS() const;
  void setSTATUS(const QString& New_STATUS) const;
  bool HabilitaMenu() const;
  void setHabilitaMenu(bool New_HabilitaMenu) const;
  // True while a control is bound (the form is loaded).
  explicit operator bool() const { return object_ != nullptr; }

 private:
  friend class frmClientes;
  ole::DispatchPtr object_;
};

class frmClientes : public QObject {
  Q_OBJECT
 public:
  // The single instance; creating it does not load the window.
  static frmClientes& Instance();
  ~frmClientes() override;

  // True while the form is loaded.
  bool ClienteAtivo = false;

  // The hosted toolbar control, bound while the form is loaded.
  TrivexProxy Trivex1;

  // Shows the form inside the main window, loading it first when it is not
  // loaded (which loads the main window first); brings it to the front otherwise.
  // Throws ado::Error when the main window or the load step fails, ole::Error
  // when the toolbar control cannot be created; nothing stays open then.
  void Show();
  // Closes the form's window, running its unload step.
  void Unload();
  bool IsLoaded() const;
  // The form's window while loaded (the widget inside the MDI child), else null.
  QWidget* Window() const;

  // Finds the client whose CPFCod is Condicao (when not empty) and shows the
  // cursor's current row in the fields. Throws ado::Error when the cursor fails.
  void CarregaCliente(const QString& Condicao);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  frmClientes();
  class Site;
  struct Impl;
  std::unique_ptr<Impl> d;

  void Load();
  void CriaTrivex1();
  void LiberaTrivex1();
  ado::Recordset& rsClientes();

  void Form_Load();
  void Form_Unload();
  void Form_KeyDown(int KeyCode, int Shift);
  void Form_KeyPress(qint16& KeyAscii);
  void txtNum_KeyPress(qint16& KeyAscii);
  void mskCEP_GotFocus();
  void mskFone_GotFocus();
  void txtCPFCod_LostFocus();
  void Trivex1_ButtonClick(int Index);
  bool ValidaCampos();

  void Navega(int Index);
  void Gravar();
  void AtualizaCursor();
  void Excluir();
  void Limpa();
  void Foco(QWidget* field);
  bool Tabula(QWidget* at, const QKeyEvent* k);
  void PosicionaFrames();
  QWidget* PrimeiroCampo() const;
};
