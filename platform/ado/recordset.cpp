#include <QStringDecoder>
#include <cstdlib>

#include "platform/ado/erros.h"
#include "platform/ado/nucleo.h"
#include "platform/ado/texto.h"

namespace ado {

using detail::Falha;
using detail::Lanca;
using detail::Valor;

QString TextFromUtf8(QByteArrayView utf8) {
  QStringDecoder decoder(QStringConverter::Utf8,
                         QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
  return decoder.decode(utf8);
}

QVariant Valor::ToVariant() const {
  switch (tipo) {
    case Tipo::Inteiro: return QVariant::fromValue<qint64>(i);
    case Tipo::Real: return f;
    case Tipo::Nulo: return {};
    case Tipo::Blob: return bytes;
    case Tipo::Texto: break;
  }
  return TextFromUtf8(bytes);
}

bool Valor::Utf8(QByteArrayView* text) {
  if (tipo == Tipo::Nulo) {
    *text = {};
    return false;
  }
  if (bytes.isNull() && tipo == Tipo::Inteiro) bytes = QByteArray::number(i);
  if (bytes.isNull() && tipo == Tipo::Real) bytes = QByteArray::number(f, 'g', 15);
  *text = bytes;
  return true;
}

// ---------------------------------------------------------------- state

void Recordset::Impl::Detach() {
  if (!conn) return;
  auto& v = conn->snapshots;
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  conn = nullptr;
}

void Recordset::Impl::Reset() {
  Detach();
  cursor.reset();
  leitor.reset();
  ordem.clear();
  row.clear();
  temLinha = false;
  names.clear();
  index.clear();
  changed.clear();
  pinned = recount = countValid = false;
  inst.reset();
  instProprio.reset();
  count = 0;
  pos = -1;
  bof = eof = true;
  mode = Mode::Closed;
}

void Recordset::Impl::SetNames(const QStringList& all, int first) {
  names = all.mid(first);
  index.clear();
  for (int i = int(names.size()) - 1; i >= 0; --i) index[names[i].toLower()] = i;  // first of equal names wins
}

void Recordset::Impl::OpenCursor(std::unique_ptr<detail::Cursor> c) {
  Reset();
  mode = Mode::Forward;
  cursor = std::move(c);
  SetNames(cursor->Nomes(), 0);
  StepForward();
}

void Recordset::Impl::StepForward() {
  bool found;
  try {
    found = cursor->Proxima();
  } catch (...) {
    eof = true;
    throw;
  }
  if (found) {
    ++pos;
    bof = eof = false;
  } else {
    eof = true;
    if (pos < 0) bof = true;
  }
}

// The current row's columns, or the error of being off the rows.
Valor& Recordset::Impl::Column(int i) {
  RequireOpen();
  if (bof || eof) Lanca(Falha::SemLinhaAtual);
  CheckIndex(i);
  return row[size_t(FirstColumn() + i)];
}

void Recordset::Impl::CheckIndex(int i) const {
  if (i < 0 || i >= names.size()) Lanca(Falha::ItemAusente);
}

void Recordset::Impl::RequireOpen() const {
  if (mode == Mode::Closed) Lanca(Falha::Fechado);
}

void Recordset::Impl::RequireSnapshot(const char* what) const {
  RequireOpen();
  if (mode == Mode::Forward) Lanca(Falha::SoAdiante, {QLatin1String(what)});
}

// ---------------------------------------------------------------- Recordset

Recordset::Recordset() : d(std::make_unique<Impl>()) {}
Recordset::~Recordset() = default;

void Recordset::Open(const QString& source, Connection& activeConnection, int cursorType, int, long) {
  if (d->mode != Impl::Mode::Closed) Lanca(Falha::Aberto);
  detail::Motor* motor = activeConnection.d->motor.get();
  if (!motor) Lanca(Falha::Fechado);
  detail::RecusaNul(source);
  if (activeConnection.CursorLocation == adUseServer && cursorType == adOpenForwardOnly) {
    d->OpenCursor(motor->Consulta(source));
    return;
  }
  motor->ConfereConsulta(source);
  d->OpenSnapshot(source, activeConnection.d.get());
}

bool Recordset::IsOpen() const { return d->mode != Impl::Mode::Closed; }
void Recordset::Close() { d->Reset(); }

long Recordset::RecordCount() const {
  d->RequireOpen();
  return d->mode == Impl::Mode::Forward ? -1 : d->count;
}

void Recordset::MoveFirst() {
  d->RequireOpen();
  if (d->mode == Impl::Mode::Forward) {
    // Forward-only: only a recordset still on its first row may go there.
    if (d->pos > 0 || (d->eof && !d->bof)) Lanca(Falha::SoAdiante, {QStringLiteral("MoveFirst")});
    return;
  }
  d->First();
}

void Recordset::MoveLast() {
  d->RequireSnapshot("MoveLast");
  d->Last();
}

void Recordset::MoveNext() {
  d->RequireOpen();
  if (d->eof) Lanca(Falha::SemLinhaAtual);
  if (d->mode == Impl::Mode::Forward)
    d->StepForward();
  else
    d->Move(true);
}

void Recordset::MovePrevious() {
  d->RequireSnapshot("MovePrevious");
  if (d->bof) Lanca(Falha::SemLinhaAtual);
  d->Move(false);
}

bool Recordset::BOF() const {
  d->RequireOpen();
  return d->bof;
}

bool Recordset::EOF_() const {
  d->RequireOpen();
  return d->eof;
}

void Recordset::Requery() {
  d->RequireOpen();
  if (d->mode == Impl::Mode::Snapshot) return d->Requery();
  d->cursor->Reinicia();
  d->pos = -1;
  d->bof = d->eof = true;
  d->StepForward();
}

void Recordset::Find(const QString& criteria, long skipRecords, int searchDirection) {
  d->RequireSnapshot("Find");
  const auto [column, value] = detail::LeCriterio(criteria);
  const Valor v = Valor::DeTexto(value.toUtf8());
  const QString cond = column + QStringLiteral(" = ?");

  const bool forward = searchDirection != adSearchBackward;
  // Skipped rows first, then a search that includes the row reached.
  for (long i = 0; i < std::abs(skipRecords); ++i) {
    if (d->bof || d->eof) break;
    if ((skipRecords > 0) == forward)
      MoveNext();
    else
      MovePrevious();
  }
  const bool empty = d->count == 0;
  bool& ahead = forward ? d->eof : d->bof;  // the end the search runs towards
  bool& behind = forward ? d->bof : d->eof;
  if (ahead) return;
  const bool found = (behind || !d->temLinha) ? d->ReadRow(cond, {}, !forward, &v) : d->Step(forward, true, cond, &v);
  ahead = !found;
  behind = !found && empty;
}

int Recordset::FieldCount() const {
  d->RequireOpen();
  return int(d->names.size());
}

QString Recordset::FieldName(int index) const {
  d->RequireOpen();
  d->CheckIndex(index);
  return d->names[index];
}

int Recordset::FieldIndex(const QString& name) const {
  d->RequireOpen();
  return d->index.value(name.toLower(), -1);
}

QVariant Recordset::Fields(int index) const {
  if (d->mode == Impl::Mode::Forward) {
    if (d->bof || d->eof) Lanca(Falha::SemLinhaAtual);
    d->CheckIndex(index);
    return d->cursor->Campo(index).ToVariant();
  }
  return d->Column(index).ToVariant();
}

QVariant Recordset::Fields(const QString& name) const { return Fields(FieldIndex(name)); }

bool Recordset::FieldUtf8(int index, QByteArrayView* text) const {
  if (d->mode == Impl::Mode::Forward) {
    if (d->bof || d->eof) Lanca(Falha::SemLinhaAtual);
    d->CheckIndex(index);
    return d->cursor->CampoUtf8(index, text);
  }
  return d->Column(index).Utf8(text);
}

}  // namespace ado
