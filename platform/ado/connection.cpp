#include "platform/ado/erros.h"
#include "platform/ado/nucleo.h"
#include "platform/ado/texto.h"

namespace ado {

using detail::Falha;
using detail::Lanca;

namespace {
bool Mesma(const QString& a, QStringView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }
}  // namespace

detail::Motor* detail::Acesso::MotorDe(const Connection& c) { return c.d->motor.get(); }

bool Connection::Impl::Observa(QStringView tabela) const {
  return std::any_of(snapshots.begin(), snapshots.end(), [&](Recordset::Impl* s) { return Mesma(s->table, tabela); });
}

void Connection::Impl::AntesDeGravar() {
  gravando = true;
  for (Recordset::Impl* s : snapshots) s->Pin();
}

void Connection::Impl::Mudou(QStringView tabela, detail::IdLinha id) {
  for (Recordset::Impl* s : snapshots)
    if (Mesma(s->table, tabela)) s->Changed(id);
}

void Connection::Impl::MudouSemIds(QStringView tabela) {
  for (Recordset::Impl* s : snapshots)
    if (tabela.isEmpty() || Mesma(s->table, tabela)) s->recount = true;
}

void Connection::Impl::DepoisDeGravar() {
  if (!std::exchange(gravando, false) || !motor || motor->EmTransacao()) return;
  // Nothing of theirs changed: their snapshot is the current state again.
  for (Recordset::Impl* s : snapshots)
    if (s->changed.empty() && !s->recount) s->Unpin();
}

Connection::Connection() : d(std::make_unique<Impl>()) {}
Connection::~Connection() { Close(); }

void Connection::Open(const QString& connectionString, const QString&, const QString&, long) {
  if (d->motor) Lanca(Falha::Aberto);
  const QHash<QString, QString> parts = detail::LeConexao(connectionString);
  const QString provider = parts.value(QStringLiteral("provider"));
  const QString source = parts.value(QStringLiteral("data source"));
  std::shared_ptr<detail::Motor> motor;
  if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0) {
    if (source.contains(QChar(0))) Lanca(Falha::ConexaoInvalida, {QStringLiteral("NUL character")});
    motor = detail::AbreServidor(source);
  } else {
    if (!provider.isEmpty() && provider.compare(QLatin1String("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) != 0 &&
        provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) != 0)
      Lanca(Falha::SemProvedor, {provider});
    if (source.isEmpty()) Lanca(Falha::SemFonte);
    motor = detail::AbreArquivo(source, Mode == adModeRead);
  }
  motor->Escuta(d.get());
  d->motor = std::move(motor);
}

bool Connection::IsOpen() const { return d->motor != nullptr; }

void Connection::Close() {
  if (!d->motor) return;
  // Recordsets still open keep their own connection and count afresh;
  // forward-only ones keep what they read from.
  for (Recordset::Impl* rs : std::vector<Recordset::Impl*>(d->snapshots)) rs->Detach();
  d->motor->Escuta(nullptr);
  d->motor.reset();
}

std::unique_ptr<Recordset> Connection::Execute(const QString& commandText, long) {
  if (!d->motor) Lanca(Falha::Fechado);
  detail::RecusaNul(commandText);
  std::unique_ptr<detail::Cursor> rows;
  try {
    rows = d->motor->Executa(commandText);
  } catch (...) {
    // A statement runs whole or not at all.
    d->DepoisDeGravar();
    throw;
  }
  d->DepoisDeGravar();
  auto rs = std::make_unique<Recordset>();
  if (rows) rs->d->OpenCursor(std::move(rows));
  return rs;
}

QString Connection::DataSource() const { return d->motor ? d->motor->Fonte() : QString(); }
bool Connection::IsServer() const { return d->motor && d->motor->Servidor(); }

QStringList Connection::TableColumns(const QString& table) {
  if (!d->motor) Lanca(Falha::Fechado);
  return d->motor->Colunas(table);
}

}  // namespace ado
