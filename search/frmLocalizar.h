#pragma once
// The client search dialog: a window of its own, one object for the run.
#include <QObject>
#include <memory>

class QWidget;

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

 private:
  frmLocalizar();
  struct Impl;
  std::unique_ptr<Impl> d;
};
