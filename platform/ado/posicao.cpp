// A scrollable recordset: its position queries, its pinning while its
// connection writes, and its count across Requery. Engines are reached only
// through the recordset's Leitor and its connection's Motor.
#include "platform/ado/erros.h"
#include "platform/ado/nucleo.h"
#include "platform/ado/texto.h"

namespace ado {

using detail::Valor;

void Recordset::Impl::OpenSnapshot(const QString& source, Connection::Impl* c) {
  detail::Consulta q = detail::LeConsulta(source);
  leitor = c->motor->NovoLeitor();
  mode = Mode::Snapshot;
  try {
    table = q.tabela;
    columns = q.colunas;
    where = q.condicao;
    // Columns declared Not Null need no Null branch in the position queries.
    const QSet<QString> notNull = leitor->NaoNulas(table);
    for (const detail::Consulta::Termo& t : q.ordem)
      ordem.push_back({t.coluna, t.desc, !notNull.contains(detail::SemAspas(t.coluna).toLower())});
    SetNames(leitor->Nomes(QStringLiteral("Select ") + SelectList() + QStringLiteral(" From ") + table +
                           QStringLiteral(" Where 1 = 0")),
             FirstColumn());
    conn = c;
    conn->snapshots.push_back(this);
    Requery();
  } catch (...) {
    Reset();
    throw;
  }
}

// ------------------------------------------------ statements

// "rowid, t1, ..., tn, <columns>": what every row query selects.
QString Recordset::Impl::SelectList() const {
  QString s = QStringLiteral("rowid");
  for (const Termo& t : ordem) s += QLatin1String(", ") + t.coluna;
  return s + QLatin1String(", ") + columns;
}

QString Recordset::Impl::OrderBy(bool reverse) const {
  QString s;
  for (const Termo& t : ordem) {
    const bool desc = t.desc != reverse;
    s += t.coluna + QLatin1String(desc ? " Desc" : " Asc");
    if (t.nullable) s += leitor->Nulos(desc);
    s += QLatin1String(", ");
  }
  return s + QLatin1String(reverse ? "rowid Desc" : "rowid Asc");
}

// Reads the first row meeting cond (with its parameters) in the given
// direction into row. False when there is none.
bool Recordset::Impl::ReadRow(const QString& cond, std::vector<const Valor*> params, bool reverse,
                              const Valor* extra) {
  QString sql = QStringLiteral("Select ") + SelectList() + QStringLiteral(" From ") + table + QStringLiteral(" Where ");
  if (!where.isEmpty()) sql += QLatin1Char('(') + where + QLatin1String(") And ");
  sql += QLatin1Char('(') + cond + QLatin1String(") Order By ") + OrderBy(reverse) + QLatin1String(" Limit 1");
  if (extra) params.push_back(extra);
  if (!leitor->Linha(sql, params, &row)) return false;
  temLinha = true;
  return true;
}

namespace {
using Termo = Recordset::Impl::Termo;
// Conditions on one sort term against the current row's value.
QString Greater(const Termo& t, const Valor& v, std::vector<const Valor*>& ps) {
  if (v.tipo == Valor::Tipo::Nulo) return t.coluna + QLatin1String(" Is Not Null");
  ps.push_back(&v);
  return t.coluna + QLatin1String(" > ?");
}
QString Less(const Termo& t, const Valor& v, std::vector<const Valor*>& ps) {
  if (v.tipo == Valor::Tipo::Nulo) return QStringLiteral("1 = 0");
  ps.push_back(&v);
  return t.nullable ? QLatin1Char('(') + t.coluna + QLatin1String(" < ? Or ") + t.coluna + QLatin1String(" Is Null)")
                    : t.coluna + QLatin1String(" < ?");
}
QString Equal(const Termo& t, const Valor& v, std::vector<const Valor*>& ps) {
  if (v.tipo == Valor::Tipo::Nulo) return t.coluna + QLatin1String(" Is Null");
  ps.push_back(&v);
  return t.coluna + QLatin1String(" = ?");
}
}  // namespace

// Moves from the remembered row to the next (forward) or previous row that
// also meets extraCond (with its one parameter). inclusive: the remembered
// row itself counts. Tries the tie group first, then each coarser level, so
// that every query can use an index on the Order By column.
bool Recordset::Impl::Step(bool forward, bool inclusive, const QString& extraCond, const Valor* extra) {
  const std::vector<Valor> key(row.begin(), row.begin() + FirstColumn());
  const Termo rowidTerm{QStringLiteral("rowid"), false, false};
  for (int level = int(ordem.size()); level >= 0; --level) {
    std::vector<const Valor*> ps;
    QString cond;
    for (int i = 0; i < level; ++i) cond += Equal(ordem[size_t(i)], key[size_t(i) + 1], ps) + QLatin1String(" And ");
    const Termo& t = level == int(ordem.size()) ? rowidTerm : ordem[size_t(level)];
    const Valor& v = level == int(ordem.size()) ? key[0] : key[size_t(level) + 1];
    const bool after = forward != t.desc;
    if (level == int(ordem.size()) && inclusive) {
      ps.push_back(&v);
      cond += after ? QStringLiteral("rowid >= ?") : QStringLiteral("rowid <= ?");
    } else {
      cond += after ? Greater(t, v, ps) : Less(t, v, ps);
    }
    if (!extraCond.isEmpty()) cond += QLatin1String(" And ") + extraCond;
    if (ReadRow(cond, ps, !forward, extra)) return true;
  }
  return false;
}

// ------------------------------------------------ moves

void Recordset::Impl::First() { bof = eof = !ReadRow(QStringLiteral("1 = 1"), {}, false); }
void Recordset::Impl::Last() { bof = eof = !ReadRow(QStringLiteral("1 = 1"), {}, true); }

// One row on. From before the first row (forward) or past the last
// (backward) that is the first or last row; past either end the row last
// read stays remembered, so the way back finds it.
void Recordset::Impl::Move(bool forward) {
  if (!temLinha || (forward ? bof : eof)) {
    forward ? First() : Last();
    return;
  }
  const bool found = Step(forward, false);
  bool& ahead = forward ? eof : bof;
  bool& behind = forward ? bof : eof;
  ahead = !found;
  behind = false;
}

// ------------------------------------------------ pinning

void Recordset::Impl::Pin() {
  if (pinned || !leitor) return;
  leitor->Fixa();
  pinned = true;
}

void Recordset::Impl::Unpin() noexcept {
  pinned = false;
  if (leitor) leitor->Solta();
}

// A row of the table changed through the recordset's connection.
void Recordset::Impl::Changed(detail::IdLinha rowid) {
  if (!pinned || changed.size() >= kMaxChanged) {
    recount = true;
    changed.clear();
    return;
  }
  if (!recount) changed.insert(rowid);
}

// ------------------------------------------------ counting

// snap: the server's snapshot the count was taken in (none: reset).
long Recordset::Impl::CountWhere(const QString& extra, const Valor* ids,
                                 std::shared_ptr<const detail::Instantaneo>* snap) {
  QString sql = QStringLiteral("From ") + table;
  QStringList conds;
  if (!where.isEmpty()) conds << QLatin1Char('(') + where + QLatin1Char(')');
  if (!extra.isEmpty()) conds << extra;
  if (!conds.isEmpty()) sql += QLatin1String(" Where ") + conds.join(QLatin1String(" And "));
  std::vector<const Valor*> ps;
  if (ids) ps.push_back(ids);
  if (snap) snap->reset();
  return leitor->Conta(sql, ps, snap);
}

// What other connections' commits, told since the count, would change in it.
Recordset::Impl::Alheias Recordset::Impl::OutrasConexoes() const {
  Alheias a;
  std::vector<detail::Aviso> avisos;
  if (!conn || !conn->motor->AvisosDesde(avisoVisto, &avisos)) return a;
  for (const detail::Aviso& v : avisos) {
    if (v.tabela.isEmpty()) return a;  // the connection was made again
    if (v.tabela.compare(table, Qt::CaseInsensitive) != 0) continue;
    if (!v.comDelta || !inst) return a;
    if (inst->Ve(v.transacao)) continue;  // counted already
    // Committed between the two snapshots: the count of the changed rows
    // may hold part of it.
    if (instProprio && instProprio->Ve(v.transacao)) return a;
    // An update may move rows in or out of a condition.
    if (!where.isEmpty()) return a;
    a.soma += v.delta;
    ++a.quantas;
  }
  a.conhecidas = true;
  return a;
}

// Other connections' commits are added from what they told when the query
// has no condition; the connection's own changes are counted by their rowids
// when no other connection's commit came between; else the table is counted
// again, with the snapshot of that count.
void Recordset::Impl::Recount(bool valid) {
  Alheias alheias;
  qint64 visto = -1;
  if (valid && !recount && conn) {
    visto = conn->motor->VersaoAlheia(true);
    alheias = OutrasConexoes();
  }
  const bool proprias = pinned && !changed.empty();
  const bool delta = alheias.conhecidas && alheias.quantas == 0 && proprias;
  const Valor ids = delta ? leitor->ParametroIds(changed) : Valor();
  const long before = delta ? CountWhere(leitor->CondicaoIds(), &ids) : 0;
  Unpin();
  changed.clear();
  recount = false;
  if (delta) {
    std::shared_ptr<const detail::Instantaneo> depois;
    count += CountWhere(leitor->CondicaoIds(), &ids, &depois) - before;
    if (depois)
      instProprio = depois;
    else
      inst.reset();
    avisoVisto = visto;
  } else if (alheias.conhecidas && !proprias) {
    count += long(alheias.soma);
    avisoVisto = visto;
  } else {
    // Every commit told before the count is one the count sees.
    avisoVisto = conn ? conn->motor->VersaoAlheia(false) : -1;
    count = CountWhere({}, nullptr, &inst);
    instProprio.reset();
  }
}

// Anything that fails leaves a state from which the next Requery starts
// afresh: unpinned, the count to be taken again.
void Recordset::Impl::Requery() {
  const bool valid = countValid;
  countValid = false;
  temLinha = false;
  bof = eof = true;
  try {
    Recount(valid);
    countValid = true;
    First();
  } catch (...) {
    Unpin();
    changed.clear();
    countValid = false;
    throw;
  }
}

}  // namespace ado
