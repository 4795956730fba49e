// Placeholder until the client form lands: an empty MDI child.
#include "frmClientes.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QWidget>

#include "shell/Principal.h"

struct frmClientes::Impl {
  QPointer<QMdiSubWindow> sub;
  QPointer<QWidget> window;
};

frmClientes& frmClientes::Instance() {
  static frmClientes* f = new frmClientes;
  return *f;
}
frmClientes::frmClientes() : d(std::make_unique<Impl>()) {}
frmClientes::~frmClientes() = default;

void frmClientes::Show() {
  Principal& p = Principal::Instance();
  if (!d->window) {
    d->window = new QWidget;
    d->window->setObjectName(QStringLiteral("frmClientes"));
    d->window->setWindowTitle(QStringLiteral("Cadastro de Clientes"));
    d->window->setAttribute(Qt::WA_DeleteOnClose);
    d->sub = p.MdiArea()->addSubWindow(d->window);
    ClienteAtivo = true;
  }
  d->sub->show();
  p.MdiArea()->setActiveSubWindow(d->sub);
}
void frmClientes::Unload() {
  if (d->sub) d->sub->close();
  ClienteAtivo = false;
}
bool frmClientes::IsLoaded() const { return d->window != nullptr; }
QWidget* frmClientes::Window() const { return d->window; }
void frmClientes::CarregaCliente(const QString&) {}
