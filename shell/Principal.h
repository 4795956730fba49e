#pragma once
// The MDI main window. Created and loaded on first use; its load opens the
// database connection, so it must exist before any child form loads.
#include <QMainWindow>

class QMdiArea;
class QAction;
class QMenu;
class QToolBar;

class Principal : public QMainWindow {
  Q_OBJECT
 public:
  // The single instance, created and loaded on first use. When the load fails
  // the instance is discarded and the error (ado::Error) propagates.
  static Principal& Instance();
  // True once the instance exists.
  static bool Exists();

  QMdiArea* MdiArea() const { return mdiArea_; }

  QMenu* mnuArquivo = nullptr;
  QMenu* mnuCadastros = nullptr;
  QAction* mnuClientes = nullptr;
  QAction* mnuRisco1 = nullptr;
  QMenu* mnuMovimento = nullptr;
  QAction* mnuServ = nullptr;
  QMenu* mnuAgenda = nullptr;
  QToolBar* CoolBar1Band1 = nullptr;
  QToolBar* CoolBar1Band2 = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  QMenu* createPopupMenu() override;

 private:
  Principal();
  void MDIForm_Load();
  void mnuClientes_Click();

  QMdiArea* mdiArea_ = nullptr;
};

// Starts the program: shows the client form (which loads the main window and
// opens the database first), then the main window. Returns false after
// reporting a start-up failure; nothing is shown then.
bool IniciaPrograma();
