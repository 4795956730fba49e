#include "Principal.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QToolBar>

#include "clients/frmClientes.h"
#include "data/mGeral.h"
#include "platform/forms/window.h"

// The icons live in this static library: the linker keeps them only when
// something refers to them.
static void initResources() { Q_INIT_RESOURCE(shell); }

namespace {
std::unique_ptr<Principal>& instance() {
  static std::unique_ptr<Principal> p;
  return p;
}

// A cool-bar band: an empty, movable strip in the top tool-bar area.
QToolBar* band(QMainWindow* w, const QString& name, int widthTwips, int minHeightTwips) {
  auto* bar = new QToolBar(w);
  bar->setObjectName(name);
  bar->setMovable(true);
  bar->setFloatable(false);
  bar->setAllowedAreas(Qt::TopToolBarArea);
  bar->setMinimumSize(forms::Twips(widthTwips), forms::Twips(minHeightTwips));
  bar->setFixedHeight(forms::Twips(420));
  w->addToolBar(Qt::TopToolBarArea, bar);
  return bar;
}
}  // namespace

Principal& Principal::Instance() {
  auto& p = instance();
  if (!p) {
    // Widgets must go before the application object does.
    static const bool cleanup = (qAddPostRoutine([] { instance().reset(); }), true);
    Q_UNUSED(cleanup);
    p.reset(new Principal);
    try {
      p->MDIForm_Load();
    } catch (...) {
      p.reset();
      throw;
    }
  }
  return *p;
}

bool Principal::Exists() { return instance() != nullptr; }

Principal::Principal() {
  initResources();
  setObjectName(QStringLiteral("Principal"));
  setWindowTitle(QStringLiteral("Teste Controle Vaskor Torvana"));
  QIcon icon(QStringLiteral(":/shell/Principal16.png"));
  icon.addFile(QStringLiteral(":/shell/Principal32.png"));
  setWindowIcon(icon);

  mdiArea_ = new QMdiArea(this);
  mdiArea_->setObjectName(QStringLiteral("MDIClient"));
  mdiArea_->setBackground(palette().brush(QPalette::Dark));
  setCentralWidget(mdiArea_);

  CoolBar1Band1 = band(this, QStringLiteral("CoolBar1Band1"), 2880, 360);
  CoolBar1Band2 = band(this, QStringLiteral("CoolBar1Band2"), 1440, 360);

  QMenuBar* bar = menuBar();
  mnuArquivo = bar->addMenu(QStringLiteral("&Arquivo"));
  mnuArquivo->setObjectName(QStringLiteral("mnuArquivo"));
  mnuCadastros = bar->addMenu(QStringLiteral("&Cadastros"));
  mnuCadastros->setObjectName(QStringLiteral("mnuCadastros"));
  mnuClientes = mnuCadastros->addAction(QStringLiteral("C&lientes"));
  mnuClientes->setObjectName(QStringLiteral("mnuClientes"));
  mnuClientes->setShortcut(QKeySequence(Qt::Key_F8));
  connect(mnuClientes, &QAction::triggered, this, &Principal::mnuClientes_Click);
  mnuRisco1 = mnuCadastros->addSeparator();
  mnuRisco1->setObjectName(QStringLiteral("mnuRisco1"));
  // The separator closes the menu; Qt would hide it there.
  mnuCadastros->setSeparatorsCollapsible(false);
  mnuMovimento = bar->addMenu(QStringLiteral("&Movimentações"));
  mnuMovimento->setObjectName(QStringLiteral("mnuMovimento"));
  mnuServ = mnuMovimento->addAction(QStringLiteral("&Serviços"));
  mnuServ->setObjectName(QStringLiteral("mnuServ"));
  mnuServ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  mnuAgenda = bar->addMenu(QStringLiteral("A&genda"));
  mnuAgenda->setObjectName(QStringLiteral("mnuAgenda"));

  // Client area of 9195 x 7065 twips at design size.
  resize(forms::Twips(9195), forms::Twips(7065) + menuBar()->sizeHint().height() + forms::Twips(420));
}

// The cool bar has no menu of its own: no entry may hide its bands.
QMenu* Principal::createPopupMenu() { return nullptr; }

void Principal::MDIForm_Load() { mGeral::AbreBanco(); }

void Principal::mnuClientes_Click() {
  try {
    frmClientes::Instance().Show();
  } catch (const std::exception&) {
    mGeral::RelataErro();
  }
}

void Principal::closeEvent(QCloseEvent* event) {
  // Children first: their unload steps run (and close the search dialog).
  mdiArea_->closeAllSubWindows();
  event->accept();
  QApplication::quit();
}

bool IniciaPrograma() {
  try {
    frmClientes::Instance().Show();
    Principal& p = Principal::Instance();
    p.show();
    p.activateWindow();
    return true;
  } catch (const std::exception&) {
    mGeral::RelataErro();
  }
  return false;
}
