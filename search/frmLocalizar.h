#pragma once
// The client search dialog: a window of its own, one object for the run.
// Its window is created at each load and destroyed when it closes.
#include <QObject>
#include <memory>

class QWidget;
class QAbstractItemView;
namespace ado { class Recordset; }

class frmLocalizar : public QObject {
  Q_OBJECT
 public:
  static frmLocalizar& Instance();
  ~frmLocalizar() override;

  // Set True each time the window loads; never cleared.
  bool ATIVO = false;

  // Shows the dialog modeless with no owner, loading it when needed; brings the
  // open one to the front with its contents unchanged.
  void Show();
  // Closes the window; no effect when it is not open.
  void Unload();
  bool IsLoaded() const;
  QWidget* Window() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  frmLocalizar();
  void Form_Load();
  void cmdBusca_Click();
  void cmdOK_Click();
  void lvItens_DblClick();
  void cmdCancelar_Click();
  // Replaces the rows of lv with the recordset's, in the order it returns them.
  void PreencheLista(QAbstractItemView& lv, ado::Recordset& rs);

  struct Impl;
  std::unique_ptr<Impl> d;
};
