// Placeholder until the search dialog lands.
#include "frmLocalizar.h"

#include <QPointer>
#include <QWidget>

struct frmLocalizar::Impl {
  QPointer<QWidget> window;
};

frmLocalizar& frmLocalizar::Instance() {
  static frmLocalizar* f = new frmLocalizar;
  return *f;
}
frmLocalizar::frmLocalizar() : d(std::make_unique<Impl>()) {}
frmLocalizar::~frmLocalizar() = default;

void frmLocalizar::Show() {
  if (!d->window) {
    d->window = new QWidget;
    d->window->setAttribute(Qt::WA_DeleteOnClose);
    d->window->setWindowTitle(QStringLiteral("Pesquisa Cadastro de Clientes"));
    ATIVO = true;
  }
  d->window->show();
  d->window->raise();
}
void frmLocalizar::Unload() {
  if (d->window) d->window->close();
}
bool frmLocalizar::IsLoaded() const { return d->window != nullptr; }
QWidget* frmLocalizar::Window() const { return d->window; }
