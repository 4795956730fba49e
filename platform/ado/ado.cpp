#include "platform/ado/ado.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/ado/like.h"
#include "platform/ado/pg.h"

namespace ado {

Error::Error(long number, QString description, QString nativeDescription)
    : number_(number),
      description_(std::move(description)),
      native_(nativeDescription.isEmpty() ? description_ : std::move(nativeDescription)),
      what_((QString::number(number) + QLatin1String(": ") + native_).toUtf8()) {}

QString TextFromUtf8(QByteArrayView utf8) {
  QStringDecoder decoder(QStringConverter::Utf8,
                         QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
  return decoder.decode(utf8);
}

namespace {

// The Portuguese description of an SQLite failure a user can meet; the
// native text for the others.
QString Descricao(int code, const QString& native) {
  switch (code & 0xff) {
    case SQLITE_CANTOPEN: return QStringLiteral("Não foi possível abrir o arquivo de banco de dados");
    case SQLITE_NOTADB: return QStringLiteral("O arquivo não é um banco de dados");
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return QStringLiteral("O banco de dados está bloqueado por outro programa");
    case SQLITE_READONLY: return QStringLiteral("O banco de dados não permite gravação (somente leitura)");
    case SQLITE_FULL: return QStringLiteral("O disco está cheio");
    case SQLITE_IOERR: return QStringLiteral("Erro de leitura ou gravação no banco de dados");
    case SQLITE_CORRUPT: return QStringLiteral("O banco de dados está danificado");
    case SQLITE_NOMEM: return QStringLiteral("Memória insuficiente");
    case SQLITE_CONSTRAINT:
      if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY)
        return QStringLiteral("Valor repetido numa coluna que não aceita repetição (%1)")
            .arg(native.section(QLatin1String(": "), 1));
      if (code == SQLITE_CONSTRAINT_NOTNULL)
        return QStringLiteral("Coluna obrigatória sem valor (%1)").arg(native.section(QLatin1String(": "), 1));
      return QStringLiteral("O banco de dados recusou o valor (%1)").arg(native);
    default: break;
  }
  struct Padrao {
    const char* en;
    const char* pt;
  };
  static const Padrao padroes[] = {
      {"^no such table: (.*)$", "A tabela %1 não existe no banco de dados"},
      {"^no such column: (.*)$", "A coluna %1 não existe"},
      {"^table (\\S+) has no column named (.*)$", "A tabela %1 não tem a coluna %2"},
      {"^near (\".*\"): syntax error$", "Erro de sintaxe perto de %1"},
      {"^unrecognized token: (.*)$", "Texto não reconhecido na instrução: %1"},
      {"^incomplete input$", "Instrução incompleta"},
      {"^LIKE or GLOB pattern too complex$", "O texto da busca é longo demais"},
  };
  for (const Padrao& p : padroes) {
    const QRegularExpression re(QString::fromLatin1(p.en));
    const auto m = re.match(native);
    if (!m.hasMatch()) continue;
    QString pt = QString::fromUtf8(p.pt);
    for (int i = 1; i <= re.captureCount(); ++i) pt = pt.arg(m.captured(i));
    return pt;
  }
  return native;
}

[[noreturn]] void ThrowCode(int code, const QString& native, const QString& context = {}) {
  QString desc = Descricao(code, native);
  QString nat = native;
  if (!context.isEmpty()) {
    desc += QLatin1String(": ") + context;
    nat += QLatin1String(": ") + context;
  }
  throw Error(code, desc, nat);
}

[[noreturn]] void ThrowSqlite(sqlite3* db, const QString& context = {}) {
  if (!db) ThrowCode(SQLITE_NOMEM, QStringLiteral("out of memory"), context);
  ThrowCode(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)), context);
}

[[noreturn]] void ThrowClosed() {
  throw Error(adErrObjectClosed, QStringLiteral("Operation is not allowed when the object is closed."));
}

[[noreturn]] void ThrowNoCurrentRecord() {
  throw Error(adErrNoCurrentRecord,
              QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
}

// An owned prepared statement.
struct Stmt {
  sqlite3_stmt* s = nullptr;
  Stmt() = default;
  explicit Stmt(sqlite3_stmt* st) : s(st) {}
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  Stmt(Stmt&& o) noexcept : s(std::exchange(o.s, nullptr)) {}
  Stmt& operator=(Stmt&& o) noexcept {
    if (this != &o) {
      sqlite3_finalize(s);
      s = std::exchange(o.s, nullptr);
    }
    return *this;
  }
  ~Stmt() { sqlite3_finalize(s); }
};

// Resets a statement when it goes out of scope, so that no read transaction
// outlives the call that stepped it.
struct ResetOnExit {
  sqlite3_stmt* s;
  ~ResetOnExit() {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
};

// A statement text holding a NUL character is refused on either engine.
void RefuseNul(const QString& text) {
  if (text.contains(QChar(0)))
    throw Error(adErrStatementRefused,
                QStringLiteral("The statement holds a NUL character and was not run."));
}

// Prepares exactly one statement. Refuses NUL characters and any statement
// after the first (white space, semicolons and comments may follow).
Stmt PrepareOne(sqlite3* db, const QString& text, unsigned flags = 0) {
  RefuseNul(text);
  const QByteArray sql = text.toUtf8();
  const char* tail = nullptr;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v3(db, sql.constData(), int(sql.size()), flags, &raw, &tail) != SQLITE_OK)
    ThrowSqlite(db);
  Stmt st(raw);
  if (!st.s)
    throw Error(adErrInvalidArgument, QStringLiteral("The command text holds no statement."));
  const char* end = sql.constData() + sql.size();
  while (tail && tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* rest = nullptr;
    const int rc = sqlite3_prepare_v2(db, tail, int(end - tail), &next, &rest);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next)
      throw Error(adErrStatementRefused,
                  QStringLiteral("The command text holds more than one statement; nothing was run."));
    if (rest == tail) break;
    tail = rest;
  }
  return st;
}

using detail::Valor;

// One stored value, copied out of a statement so that the statement can be reset.
Valor ValorDe(sqlite3_stmt* st, int col) {
  Valor v;
  v.type = sqlite3_column_type(st, col);
  switch (v.type) {
    case SQLITE_INTEGER: v.i = sqlite3_column_int64(st, col); break;
    case SQLITE_FLOAT: v.f = sqlite3_column_double(st, col); break;
    case SQLITE_NULL: break;
    default: {
      const void* p = v.type == SQLITE_BLOB ? sqlite3_column_blob(st, col) : sqlite3_column_text(st, col);
      v.bytes = QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(st, col));
    }
  }
  return v;
}

void Liga(const Valor& v, sqlite3_stmt* st, int param) {
  switch (v.type) {
    case SQLITE_INTEGER: sqlite3_bind_int64(st, param, v.i); break;
    case SQLITE_FLOAT: sqlite3_bind_double(st, param, v.f); break;
    case SQLITE_NULL: sqlite3_bind_null(st, param); break;
    case SQLITE_BLOB: sqlite3_bind_blob(st, param, v.bytes.constData(), int(v.bytes.size()), SQLITE_TRANSIENT); break;
    default: sqlite3_bind_text(st, param, v.bytes.constData(), int(v.bytes.size()), SQLITE_TRANSIENT); break;
  }
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) ThrowSqlite(db);
}

// Splits a connection string into lower-cased keys and values. A value may be
// in double quotes, a quote inside doubled.
QHash<QString, QString> ParseConnectionString(const QString& text) {
  QHash<QString, QString> out;
  qsizetype i = 0;
  const qsizetype n = text.size();
  auto invalid = [&] {
    return Error(adErrInvalidArgument, QStringLiteral("Invalid connection string: ") + text);
  };
  while (i < n) {
    const qsizetype eq = text.indexOf(QLatin1Char('='), i);
    const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
    if (eq < 0 || (semi >= 0 && semi < eq)) {
      const QString part = text.mid(i, (semi < 0 ? n : semi) - i);
      if (!part.trimmed().isEmpty()) throw invalid();
      if (semi < 0) break;
      i = semi + 1;
      continue;
    }
    const QString key = text.mid(i, eq - i).trimmed().toLower();
    i = eq + 1;
    while (i < n && text[i].isSpace()) ++i;
    QString value;
    if (i < n && text[i] == QLatin1Char('"')) {
      ++i;
      for (;;) {
        if (i >= n) throw invalid();
        if (text[i] == QLatin1Char('"')) {
          if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
            value += QLatin1Char('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += text[i++];
      }
      while (i < n && text[i].isSpace()) ++i;
      if (i < n && text[i] != QLatin1Char(';')) throw invalid();
    } else {
      const qsizetype end = semi < 0 ? n : semi;
      value = text.mid(i, end - i).trimmed();
      i = end;
    }
    out.insert(key, value);
    if (i < n) ++i;  // the ';'
  }
  return out;
}

// A recordset's own read-only connection to an SQLite file.
class LeitorSqlite final : public detail::Leitor {
 public:
  explicit LeitorSqlite(const QByteArray& path) {
    if (sqlite3_open_v2(path.constData(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
      try {
        ThrowSqlite(db_, QString::fromUtf8(path));
      } catch (...) {
        sqlite3_close_v2(db_);
        throw;
      }
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, Connection::kBusyTimeoutMs);
    detail::RegisterLike(db_);
  }
  ~LeitorSqlite() override {
    cache_.clear();
    sqlite3_close_v2(db_);
  }

  bool Linha(const QString& sql, const std::vector<const Valor*>& params, std::vector<Valor>* out) override {
    sqlite3_stmt* st = Prepared(sql);
    ResetOnExit guard{st};
    int p = 1;
    for (const Valor* v : params) Liga(*v, st, p++);
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_DONE) return false;
    if (rc != SQLITE_ROW) ThrowSqlite(db_);
    const int n = sqlite3_column_count(st);
    std::vector<Valor> fresh;
    fresh.reserve(size_t(n));
    for (int i = 0; i < n; ++i) fresh.push_back(ValorDe(st, i));
    *out = std::move(fresh);
    return true;
  }

  QStringList Nomes(const QString& sql) override {
    sqlite3_stmt* st = Prepared(sql);
    QStringList names;
    for (int i = 0; i < sqlite3_column_count(st); ++i) names << QString::fromUtf8(sqlite3_column_name(st, i));
    return names;
  }

  QSet<QString> NaoNulas(const QString& table) override {
    Stmt info = PrepareOne(db_, QStringLiteral("Select name, \"notnull\" From pragma_table_info(?)"));
    const QByteArray t = table.toUtf8();
    sqlite3_bind_text(info.s, 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    QSet<QString> out;
    while (sqlite3_step(info.s) == SQLITE_ROW)
      if (sqlite3_column_int(info.s, 1))
        out.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info.s, 0))).toLower());
    return out;
  }

  void Fixa() override {
    if (!sqlite3_get_autocommit(db_)) return;
    Exec(db_, "BEGIN");
    // A read starts the transaction: from here on the recordset reads the
    // state before the coming write.
    if (sqlite3_exec(db_, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) {
      const int code = sqlite3_extended_errcode(db_);
      const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      ThrowCode(code, msg);
    }
  }

  void Solta() override {
    if (!sqlite3_get_autocommit(db_)) {
      if (sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }

  QString CondicaoIds() const override { return QStringLiteral("rowid In (Select value From json_each(?))"); }
  Valor ParametroIds(const std::unordered_set<sqlite3_int64>& ids) const override { return detail::ListaIds(ids, '[', ']'); }

 private:
  sqlite3_stmt* Prepared(const QString& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) it = cache_.emplace(sql, PrepareOne(db_, sql, SQLITE_PREPARE_PERSISTENT)).first;
    return it->second.s;
  }
  sqlite3* db_ = nullptr;
  std::unordered_map<QString, Stmt> cache_;
};

}  // namespace

QVariant detail::Valor::ToVariant() const {
  switch (type) {
    case SQLITE_INTEGER: return QVariant::fromValue<qint64>(i);
    case SQLITE_FLOAT: return f;
    case SQLITE_NULL: return {};
    case SQLITE_BLOB: return bytes;
    default: return TextFromUtf8(bytes);
  }
}

// ---------------------------------------------------------------- Connection

struct Connection::Impl {
  sqlite3* db = nullptr;
  // On a server: the connection, and what opened it (for the recordsets' own).
  std::unique_ptr<detail::PgConexao> pg;
  QString path;
  bool wal = false;
  // Scrollable recordsets open over this connection.
  std::vector<Recordset::Impl*> snapshots;
  // Row changes the update hook reported during the running statement.
  sqlite3_int64 hookCalls = 0;

  bool IsOpen() const { return db || pg; }
  void EnsureWal();
  // Changes to the data committed by other connections: a number that grows with them.
  sqlite3_int64 Versao(bool exact);
  detail::Resultado ExecutePg(const QString& commandText);
  static void UpdateHook(void* self, int op, const char* dbName, const char* table, sqlite3_int64 rowid);
};

// ---------------------------------------------------------------- Recordset

struct Recordset::Impl {
  enum class Mode { Closed, Forward, Snapshot } mode = Mode::Closed;

  // Column names of the rows, lower-cased name -> index.
  QStringList names;
  QHash<QString, int> index;

  // Forward-only: the running statement on the caller's connection, or the
  // server's result and the row read.
  sqlite3* fwdDb = nullptr;
  Stmt fwd;
  detail::Resultado fwdPg;
  detail::PgConexao* fwdPgConn = nullptr;
  QString fwdSql;

  // Scrollable: a read-only connection of its own and what the query means.
  Connection::Impl* conn = nullptr;
  std::unique_ptr<detail::Leitor> leitor;
  QString table, columns, where;  // where: the condition, or empty
  struct Termo {
    QString coluna;
    bool desc = false;
    bool nullable = true;
  };
  std::vector<Termo> ordem;  // the Order By columns; rowid follows

  // The current row: rowid, the Order By values, then the selected columns.
  std::vector<Valor> row;
  bool temLinha = false;  // row holds a row (also while past either end)
  bool bof = true, eof = true;
  qsizetype pos = -1;     // forward-only: rows stepped

  // Counting and snapshot state.
  long count = 0;
  bool countValid = false;
  sqlite3_int64 dataVersion = -1;  // of the connection, when count was taken
  // On a server: the snapshot the count was taken in, and the one of the
  // last count of the rows the connection changed since (the count holds
  // what other desks committed before the first, not all they committed
  // before the second). Other desks' notices after number avisoVisto are
  // yet to be weighed against them.
  std::optional<detail::InstantaneoPg> inst, instProprio;
  qint64 avisoVisto = -1;
  bool pinned = false;
  bool recount = false;
  std::unordered_set<sqlite3_int64> changed;
  static constexpr size_t kMaxChanged = 10000;

  ~Impl() { Reset(); }

  void Detach() {
    if (!conn) return;
    auto& v = conn->snapshots;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    conn = nullptr;
  }

  void Reset() {
    Detach();
    fwd = Stmt();
    fwdDb = nullptr;
    fwdPg = detail::Resultado();
    fwdPgConn = nullptr;
    fwdSql.clear();
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

  void SetNames(const QStringList& all, int first) {
    names = all.mid(first);
    index.clear();
    for (int i = int(names.size()) - 1; i >= 0; --i) index[names[i].toLower()] = i;  // first of equal names wins
  }
  void SetNames(sqlite3_stmt* st, int first) {
    QStringList all;
    for (int i = 0; i < sqlite3_column_count(st); ++i) all << QString::fromUtf8(sqlite3_column_name(st, i));
    SetNames(all, first);
  }

  // Forward-only over a server's result (the whole result is read at once).
  void OpenPg(detail::Resultado r, detail::PgConexao* c, const QString& sql) {
    Reset();
    mode = Mode::Forward;
    fwdPg = std::move(r);
    fwdPgConn = c;
    fwdSql = sql;
    QStringList all;
    for (int i = 0; i < PQnfields(fwdPg.r); ++i) all << QString::fromUtf8(PQfname(fwdPg.r, i));
    SetNames(all, 0);
    pos = -1;
    StepForward();
  }

  // Forward-only: step to the next row.
  void StepForward() {
    if (fwdPg.r) {
      if (pos + 1 < PQntuples(fwdPg.r)) {
        ++pos;
        bof = eof = false;
      } else {
        eof = true;
        if (pos < 0) bof = true;
      }
      return;
    }
    const int rc = sqlite3_step(fwd.s);
    if (rc == SQLITE_ROW) {
      ++pos;
      bof = eof = false;
    } else if (rc == SQLITE_DONE) {
      eof = true;
      if (pos < 0) bof = true;
      sqlite3_reset(fwd.s);  // ends its read transaction
    } else {
      eof = true;
      const int code = sqlite3_extended_errcode(fwdDb);
      const QString msg = QString::fromUtf8(sqlite3_errmsg(fwdDb));
      sqlite3_reset(fwd.s);
      ThrowCode(code, msg);
    }
  }

  // ------------------------------------------------ snapshot: statements

  // "rowid, t1, ..., tn, <columns>": what every row query selects.
  QString SelectList() const {
    QString s = QStringLiteral("rowid");
    for (const Termo& t : ordem) s += QLatin1String(", ") + t.coluna;
    return s + QLatin1String(", ") + columns;
  }
  int FirstColumn() const { return 1 + int(ordem.size()); }

  QString OrderBy(bool reverse) const {
    QString s;
    for (const Termo& t : ordem) {
      const bool desc = t.desc != reverse;
      s += t.coluna + QLatin1String(desc ? " Desc" : " Asc");
      // Null comes first, as in SQLite (a server puts it last by default).
      if (t.nullable && conn && conn->pg) s += QLatin1String(desc ? " Nulls Last" : " Nulls First");
      s += QLatin1String(", ");
    }
    return s + QLatin1String(reverse ? "rowid Desc" : "rowid Asc");
  }

  // Reads the first row meeting cond (with its parameters) in the given
  // direction into row. False when there is none.
  bool ReadRow(const QString& cond, std::vector<const Valor*> params, bool reverse,
               const Valor* extra = nullptr) {
    QString sql = QStringLiteral("Select ") + SelectList() + QStringLiteral(" From ") + table + QStringLiteral(" Where ");
    if (!where.isEmpty()) sql += QLatin1Char('(') + where + QLatin1String(") And ");
    sql += QLatin1Char('(') + cond + QLatin1String(") Order By ") + OrderBy(reverse) + QLatin1String(" Limit 1");
    if (extra) params.push_back(extra);
    if (!leitor->Linha(sql, params, &row)) return false;
    temLinha = true;
    return true;
  }
  // Conditions on one sort term against the current row's value.
  static QString Greater(const Termo& t, const Valor& v, std::vector<const Valor*>& ps) {
    if (v.type == SQLITE_NULL) return t.coluna + QLatin1String(" Is Not Null");
    ps.push_back(&v);
    return t.coluna + QLatin1String(" > ?");
  }
  static QString Less(const Termo& t, const Valor& v, std::vector<const Valor*>& ps) {
    if (v.type == SQLITE_NULL) return QStringLiteral("1 = 0");
    ps.push_back(&v);
    return t.nullable ? QLatin1Char('(') + t.coluna + QLatin1String(" < ? Or ") + t.coluna + QLatin1String(" Is Null)")
                      : t.coluna + QLatin1String(" < ?");
  }
  static QString Equal(const Termo& t, const Valor& v, std::vector<const Valor*>& ps) {
    if (v.type == SQLITE_NULL) return t.coluna + QLatin1String(" Is Null");
    ps.push_back(&v);
    return t.coluna + QLatin1String(" = ?");
  }

  // Moves from the remembered row to the next (forward) or previous row that
  // also meets extraCond (with its one parameter). inclusive: the remembered
  // row itself counts. Tries the tie group first, then each coarser level, so
  // that every query can use an index on the Order By column.
  bool Step(bool forward, bool inclusive, const QString& extraCond = {}, const Valor* extra = nullptr) {
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

  // ------------------------------------------------ snapshot: moves

  void First() {
    bof = eof = !ReadRow(QStringLiteral("1 = 1"), {}, false);
  }
  void Last() {
    bof = eof = !ReadRow(QStringLiteral("1 = 1"), {}, true);
  }

  // One row on. From before the first row (forward) or past the last
  // (backward) that is the first or last row; past either end the row last
  // read stays remembered, so the way back finds it.
  void Move(bool forward) {
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

  // ------------------------------------------------ snapshot: pinning and counting

  void Pin() {
    if (pinned || !leitor) return;
    leitor->Fixa();
    pinned = true;
  }

  void Unpin() {
    pinned = false;
    if (leitor) leitor->Solta();
  }

  // A row of the table changed through the recordset's connection.
  void Changed(sqlite3_int64 rowid) {
    if (!pinned || changed.size() >= kMaxChanged) {
      recount = true;
      changed.clear();
      return;
    }
    if (!recount) changed.insert(rowid);
  }

  // exact: every commit finished before the call is counted.
  sqlite3_int64 ConnectionDataVersion(bool exact) const { return conn ? conn->Versao(exact) : -1; }

  // snap: the server's snapshot the count was taken in (not found: reset).
  long CountWhere(const QString& extra, const Valor* ids, std::optional<detail::InstantaneoPg>* snap = nullptr) {
    QString sql = QStringLiteral("Select count(*)") +
                  (snap ? QStringLiteral(", pg_current_snapshot()") : QString()) + QStringLiteral(" From ") + table;
    QStringList conds;
    if (!where.isEmpty()) conds << QLatin1Char('(') + where + QLatin1Char(')');
    if (!extra.isEmpty()) conds << extra;
    if (!conds.isEmpty()) sql += QLatin1String(" Where ") + conds.join(QLatin1String(" And "));
    std::vector<Valor> r;
    std::vector<const Valor*> ps;
    if (ids) ps.push_back(ids);
    if (snap) snap->reset();
    if (!leitor->Linha(sql, ps, &r) || r.empty()) return 0;
    if (snap && r.size() > 1 && !(*snap = detail::InstantaneoPg())->Le(r[1].bytes)) snap->reset();
    return long(r[0].i);
  }
  long CountAll() { return CountWhere({}, nullptr); }
  long CountChanged(const Valor& ids) { return CountWhere(leitor->CondicaoIds(), &ids); }

  // What other desks' commits notified since the count would change in it.
  struct Alheias {
    bool conhecidas = false;  // false: count afresh
    qint64 soma = 0;
    int quantas = 0;
  };
  Alheias AlheiasPg() const {
    Alheias a;
    std::vector<detail::Aviso> avisos;
    if (!conn || !conn->pg || !inst || !conn->pg->AvisosDesde(avisoVisto, &avisos)) return a;
    for (const detail::Aviso& v : avisos) {
      if (v.tabela.isEmpty()) return a;  // the connection was made again
      if (v.tabela.compare(table, Qt::CaseInsensitive) != 0) continue;
      if (!v.comDelta) return a;
      if (inst->Ve(v.xid)) continue;  // counted already
      // Committed between the two snapshots: the count of the changed rows
      // may hold part of it.
      if (instProprio && instProprio->Ve(v.xid)) return a;
      // An update may move rows in or out of a condition.
      if (!where.isEmpty()) return a;
      a.soma += v.delta;
      ++a.quantas;
    }
    a.conhecidas = true;
    return a;
  }

  // Requery on a server. Other desks' commits are added from their notices
  // when the query has no condition; the connection's own changes are
  // counted by their rowids when no other desk's commit came between; else
  // the table is counted again, with the snapshot of that count.
  void RequeryPg(bool valid) {
    detail::PgConexao* pg = conn->pg.get();
    Alheias alheias;
    qint64 visto = -1;
    if (valid && !recount) {
      visto = pg->VersaoAlheia(true);
      alheias = AlheiasPg();
    }
    const bool proprias = pinned && !changed.empty();
    const bool delta = alheias.conhecidas && alheias.quantas == 0 && proprias;
    const Valor ids = delta ? leitor->ParametroIds(changed) : Valor();
    const long before = delta ? CountChanged(ids) : 0;
    Unpin();
    changed.clear();
    recount = false;
    if (delta) {
      std::optional<detail::InstantaneoPg> depois;
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
      // Every notice read before the count is of a commit the count sees.
      avisoVisto = pg->VersaoAlheia(false);
      count = CountWhere({}, nullptr, &inst);
      instProprio.reset();
    }
  }

  void Requery() {
    // Anything that fails below leaves a state from which the next Requery
    // starts afresh: unpinned, count to be taken again.
    const bool valid = countValid;
    countValid = false;
    temLinha = false;
    bof = eof = true;
    try {
      if (conn && conn->pg)
        RequeryPg(valid);
      else
        RequeryArquivo(valid);
      countValid = true;
      First();
    } catch (...) {
      Unpin();
      changed.clear();
      countValid = false;
      throw;
    }
  }

  void RequeryArquivo(bool valid) {
    const bool usable = valid && !recount && conn && ConnectionDataVersion(true) == dataVersion;
    long before = 0;
    const bool delta = usable && pinned && !changed.empty();
    const Valor ids = delta ? leitor->ParametroIds(changed) : Valor();
    if (delta) before = CountChanged(ids);
    Unpin();
    const bool nothing = usable && changed.empty();
    changed.clear();
    recount = false;
    const sqlite3_int64 version = ConnectionDataVersion(false);
    if (delta)
      count += CountChanged(ids) - before;
    else if (!nothing)
      count = CountAll();
    dataVersion = version;
  }

  // ------------------------------------------------ access

  // The current row's columns, or the error of being off the rows.
  Valor& Column(int i) {
    if (mode == Mode::Closed) ThrowClosed();
    if (bof || eof) ThrowNoCurrentRecord();
    CheckIndex(i);
    return row[size_t(FirstColumn() + i)];
  }

  void CheckIndex(int i) const {
    if (i < 0 || i >= names.size())
      throw Error(adErrItemNotFound,
                  QStringLiteral("Item cannot be found in the collection corresponding to the "
                                 "requested name or ordinal."));
  }

  void RequireSnapshot(const char* what) const {
    if (mode == Mode::Closed) ThrowClosed();
    if (mode == Mode::Forward)
      throw Error(adErrNotSupported,
                  QStringLiteral("%1 is not supported by a forward-only recordset.").arg(QLatin1String(what)));
  }
};

void Connection::Impl::EnsureWal() {
  if (wal) return;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &st, nullptr) != SQLITE_OK) ThrowSqlite(db);
  Stmt owned(st);
  const int rc = sqlite3_step(st);
  if (rc != SQLITE_ROW) ThrowSqlite(db);
  const QByteArray mode = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
  if (mode.compare("wal", Qt::CaseInsensitive) != 0)
    throw Error(SQLITE_CANTOPEN, QStringLiteral("Não foi possível passar o banco de dados ao modo WAL"),
                QStringLiteral("journal_mode stays ") + QString::fromUtf8(mode));
  wal = true;
}

void Connection::Impl::UpdateHook(void* self, int, const char* dbName, const char* table, sqlite3_int64 rowid) {
  auto* c = static_cast<Connection::Impl*>(self);
  ++c->hookCalls;
  if (qstrcmp(dbName, "main") != 0) return;
  const QLatin1String name(table);
  for (Recordset::Impl* rs : c->snapshots)
    if (rs->table.compare(name, Qt::CaseInsensitive) == 0) rs->Changed(rowid);
}

sqlite3_int64 Connection::Impl::Versao(bool exact) {
  if (pg) return pg->VersaoAlheia(exact);
  if (!db) return -1;
  sqlite3_stmt* st = nullptr;
  sqlite3_int64 v = -1;
  if (sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
    v = sqlite3_column_int64(st, 0);
  sqlite3_finalize(st);
  return v;
}

namespace {
// Literals blanked out (same length), so that words are looked for outside them.
QString SemLiterais(const QString& text) {
  static const QRegularExpression literal(QStringLiteral("'(?:[^']|'')*'|\"(?:[^\"]|\"\")*\""));
  QString bare = text;
  for (auto it = literal.globalMatch(text); it.hasNext();) {
    const auto lm = it.next();
    bare.replace(lm.capturedStart(), lm.capturedLength(), QString(lm.capturedLength(), QLatin1Char(' ')));
  }
  return bare;
}
}  // namespace

// A statement on the server. Statements that read run as they are. Before
// any other, the open recordsets pin their snapshots; an Insert, Update or
// Delete is given "Returning rowid", so that the recordsets over its table
// learn which rows it changed (as the update hook tells on the file).
detail::Resultado Connection::Impl::ExecutePg(const QString& commandText) {
  static const QRegularExpression reads(QStringLiteral("^\\s*(select|values|table|show|explain)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression writes(
      QStringLiteral("^\\s*(?:insert\\s+into|update|delete\\s+from)\\s+([A-Za-z_][A-Za-z0-9_]*)\\b"),
      QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression unsafe(QStringLiteral("\\breturning\\b|--|/\\*|;\\s*\\S"),
                                         QRegularExpression::CaseInsensitiveOption);
  if (commandText.contains(reads)) return pg->Executa(commandText);

  const auto m = writes.match(commandText);
  std::vector<Recordset::Impl*> affected;
  for (Recordset::Impl* s : snapshots)
    if (!m.hasMatch() || s->table.compare(m.captured(1), Qt::CaseInsensitive) == 0) affected.push_back(s);
  QString text = commandText;
  bool ids = false;
  if (m.hasMatch() && !affected.empty() && !SemLiterais(commandText).contains(unsafe)) {
    while (text.endsWith(QLatin1Char(';')) || (!text.isEmpty() && text.back().isSpace())) text.chop(1);
    text += QLatin1String(" Returning rowid");
    ids = true;
  }
  for (Recordset::Impl* s : snapshots) s->Pin();
  auto unpinUntouched = [this] {
    for (Recordset::Impl* s : snapshots)
      if (s->changed.empty() && !s->recount) s->Unpin();
  };
  detail::Resultado r;
  try {
    r = pg->Executa(text);
  } catch (...) {
    // A statement on the server runs whole or not at all.
    unpinUntouched();
    throw;
  }
  if (ids) {
    for (int i = 0; i < PQntuples(r.r); ++i) {
      const sqlite3_int64 rowid = QByteArrayView(PQgetvalue(r.r, i, 0)).toLongLong();
      for (Recordset::Impl* s : affected) s->Changed(rowid);
    }
    r = detail::Resultado();
  } else {
    const QByteArray tuples = PQcmdTuples(r.r);
    if (tuples != "0")
      for (Recordset::Impl* s : affected) s->recount = true;
    if (PQresultStatus(r.r) != PGRES_TUPLES_OK) r = detail::Resultado();
  }
  unpinUntouched();
  return r;
}

Connection::Connection() : d(std::make_unique<Impl>()) {}
Connection::~Connection() { Close(); }

void Connection::Open(const QString& connectionString, const QString&, const QString&, long) {
  if (d->IsOpen()) throw Error(adErrObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
  const QHash<QString, QString> parts = ParseConnectionString(connectionString);
  const QString provider = parts.value(QStringLiteral("provider"));
  const QString source = parts.value(QStringLiteral("data source"));
  if (provider.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0) {
    if (source.contains(QChar(0)))
      throw Error(adErrInvalidArgument, QStringLiteral("Invalid connection string: NUL character"));
    d->pg = std::make_unique<detail::PgConexao>(source);
    d->path = d->pg->Fonte();
    return;
  }
  if (!provider.isEmpty() && provider.compare(QLatin1String("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) != 0 &&
      provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) != 0)
    throw Error(adErrProviderNotFound,
                QStringLiteral("Provider cannot be found. It may not be properly installed: ") + provider);
  if (source.isEmpty())
    throw Error(adErrInvalidArgument, QStringLiteral("The connection string names no Data Source."));

  // Nothing below may write: a file that is refused stays as it was, and no
  // -wal or -shm file is left beside it.
  const QByteArray file = source.toUtf8();
  const QFileInfo info(source);
  if (!info.exists())
    throw Error(SQLITE_CANTOPEN, QStringLiteral("O arquivo de banco de dados não foi encontrado: ") + source,
                QStringLiteral("unable to open database file: ") + source);
  if (!info.isFile())
    ThrowCode(SQLITE_CANTOPEN, QStringLiteral("unable to open database file"), source);
  if (info.size() == 0) ThrowCode(SQLITE_NOTADB, QStringLiteral("file is not a database"), source);
  if (::access(file.constData(), R_OK | W_OK) != 0)
    ThrowCode(errno == EACCES || errno == EPERM || errno == EROFS ? SQLITE_READONLY : SQLITE_CANTOPEN,
              QStringLiteral("attempt to write a readonly database"), source);
  const QByteArray folder = QFileInfo(info.canonicalFilePath()).absolutePath().toUtf8();  // -wal beside the real file
  if (::access(folder.constData(), W_OK | X_OK) != 0)
    throw Error(SQLITE_READONLY,
                QStringLiteral("A pasta do banco de dados não permite gravação: ") + QString::fromUtf8(folder),
                QStringLiteral("folder not writable: ") + QString::fromUtf8(folder));

  sqlite3* db = nullptr;
  // Never SQLITE_OPEN_CREATE: a missing file is an error, not a new database.
  const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto fail = [&](const QString& context) {
    try {
      ThrowSqlite(db, context);
    } catch (...) {
      sqlite3_close_v2(db);
      throw;
    }
  };
  if (rc != SQLITE_OK) fail(source);
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  // Read the header now, so that a file that is not a database fails here.
  if (sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) fail(source);
  if (sqlite3_db_readonly(db, "main") == 1) {
    sqlite3_close_v2(db);
    ThrowCode(SQLITE_READONLY, QStringLiteral("attempt to write a readonly database"), source);
  }
  if (detail::RegisterLike(db) != SQLITE_OK) fail(source);
  sqlite3_update_hook(db, &Impl::UpdateHook, d.get());
  d->db = db;
  d->path = source;
  d->wal = false;
}

bool Connection::IsOpen() const { return d->IsOpen(); }

void Connection::Close() {
  if (!d->IsOpen()) return;
  // Recordsets still open keep their own connection and count afresh.
  for (Recordset::Impl* rs : std::vector<Recordset::Impl*>(d->snapshots)) rs->Detach();
  if (d->pg) {
    // Forward-only recordsets hold their whole result and need no connection.
    d->pg.reset();
    d->path.clear();
    return;
  }
  // Forward-only recordsets still reading keep the handle alive until they are done.
  sqlite3_close_v2(d->db);
  d->db = nullptr;
  d->path.clear();
  d->wal = false;
}

std::unique_ptr<Recordset> Connection::Execute(const QString& commandText, long) {
  if (!d->IsOpen()) ThrowClosed();
  if (d->pg) {
    RefuseNul(commandText);
    if (commandText.trimmed().isEmpty())
      throw Error(adErrInvalidArgument, QStringLiteral("The command text holds no statement."));
    detail::Resultado r = d->ExecutePg(commandText);
    auto rs = std::make_unique<Recordset>();
    if (r.r) rs->d->OpenPg(std::move(r), d->pg.get(), commandText);
    return rs;
  }
  Stmt st = PrepareOne(d->db, commandText);
  auto rs = std::make_unique<Recordset>();
  if (sqlite3_column_count(st.s) > 0) {
    // The recordset owns the statement from here, also if its first step fails.
    rs->OpenForwardOnly(d->db, std::exchange(st.s, nullptr));
    return rs;
  }
  const bool writes = !sqlite3_stmt_readonly(st.s);
  if (writes) {
    d->EnsureWal();
    for (Recordset::Impl* s : d->snapshots) s->Pin();
  }
  const sqlite3_int64 before = sqlite3_total_changes64(d->db);
  d->hookCalls = 0;
  int rc;
  while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
  }
  if (writes) {
    const sqlite3_int64 delta = sqlite3_total_changes64(d->db) - before;
    for (Recordset::Impl* s : d->snapshots) {
      // Rows changed without the hook seeing each (truncation, triggers,
      // replaced rows): count afresh at the next Requery.
      if (delta > d->hookCalls) s->recount = true;
      // Nothing written: the snapshot is the current state again.
      if (delta == 0 && d->hookCalls == 0 && s->changed.empty() && sqlite3_get_autocommit(d->db)) s->Unpin();
    }
  }
  if (rc != SQLITE_DONE) ThrowSqlite(d->db);
  return rs;
}

QString Connection::DataSource() const { return d->path; }
bool Connection::IsServer() const { return d->pg != nullptr; }

QStringList Connection::TableColumns(const QString& table) {
  if (!d->IsOpen()) ThrowClosed();
  if (d->pg) return d->pg->Colunas(table);
  Stmt st = PrepareOne(d->db, QStringLiteral("Select name From pragma_table_info(?)"));
  const QByteArray t = table.toUtf8();
  sqlite3_bind_text(st.s, 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
  QStringList out;
  int rc;
  while ((rc = sqlite3_step(st.s)) == SQLITE_ROW)
    out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.s, 0)));
  if (rc != SQLITE_DONE) ThrowSqlite(d->db);
  return out;
}
sqlite3* Connection::Handle() const { return d->db; }

// ---------------------------------------------------------------- Recordset

Recordset::Recordset() : d(std::make_unique<Impl>()) {}
Recordset::~Recordset() = default;

void Recordset::OpenForwardOnly(sqlite3* db, sqlite3_stmt* stmt) {
  d->Reset();
  d->mode = Impl::Mode::Forward;
  d->fwdDb = db;
  d->fwd = Stmt(stmt);
  d->SetNames(stmt, 0);
  d->pos = -1;
  d->StepForward();
}

namespace {
// "Select <cols> From <table> <rest>", rest empty or starting Where / Order By.
const QRegularExpression& SelectPattern() {
  static const QRegularExpression re(
      QStringLiteral("^\\s*select\\s+(.+?)\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)"
                     "(?:\\s+((?:where|order\\s+by)\\b.*?))?\\s*;?\\s*$"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  return re;
}
const QRegularExpression& RefusedWords() {
  static const QRegularExpression re(
      QStringLiteral("\\b(group\\s+by|union|intersect|except|limit|join|offset)\\b"),
      QRegularExpression::CaseInsensitiveOption);
  return re;
}
[[noreturn]] void ThrowNotSimple(const QString& source) {
  throw Error(adErrInvalidArgument,
              QStringLiteral("A scrollable recordset needs \"Select <columns> From <table> "
                             "[Where ...] [Order By <columns>]\": ") + source);
}
}  // namespace

void Recordset::Open(const QString& source, Connection& activeConnection, int cursorType, int,
                     long) {
  if (d->mode != Impl::Mode::Closed)
    throw Error(adErrObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
  sqlite3* db = activeConnection.d->db;
  detail::PgConexao* pg = activeConnection.d->pg.get();
  if (!activeConnection.d->IsOpen()) ThrowClosed();

  if (pg) RefuseNul(source);
  if (pg && activeConnection.CursorLocation == adUseServer && cursorType == adOpenForwardOnly) {
    detail::Resultado r = pg->Executa(source);
    if (PQresultStatus(r.r) != PGRES_TUPLES_OK)
      throw Error(adErrInvalidArgument, QStringLiteral("The source is not a query that returns rows."));
    d->OpenPg(std::move(r), pg, source);
    return;
  }
  if (!pg && activeConnection.CursorLocation == adUseServer && cursorType == adOpenForwardOnly) {
    Stmt st = PrepareOne(db, source);
    if (sqlite3_column_count(st.s) == 0)
      throw Error(adErrInvalidArgument, QStringLiteral("The source is not a query that returns rows."));
    OpenForwardOnly(db, std::exchange(st.s, nullptr));
    return;
  }

  // Let SQLite judge the text first, so its own message reports a bad query.
  if (!pg) {
    Stmt check = PrepareOne(db, source);
    if (sqlite3_column_count(check.s) == 0)
      throw Error(adErrInvalidArgument, QStringLiteral("The source is not a query that returns rows."));
  }
  const auto m = SelectPattern().match(source);
  if (!m.hasMatch()) ThrowNotSimple(source);
  static const QRegularExpression literal(QStringLiteral("'(?:[^']|'')*'"));
  static const QRegularExpression nested(QStringLiteral("\\bfrom\\b|\\("),
                                         QRegularExpression::CaseInsensitiveOption);
  const QString rest = m.captured(3);
  // Literals blanked out (same length), so that keywords are found outside them only.
  QString bare = rest;
  for (auto it = literal.globalMatch(rest); it.hasNext();) {
    const auto lm = it.next();
    bare.replace(lm.capturedStart(), lm.capturedLength(), QString(lm.capturedLength(), QLatin1Char(' ')));
  }
  if (m.captured(1).contains(nested) || RefusedWords().match(bare).hasMatch()) ThrowNotSimple(source);
  static const QRegularExpression orderBy(QStringLiteral("\\border\\s+by\\b"), QRegularExpression::CaseInsensitiveOption);
  QString where, order;
  const auto om = orderBy.match(bare);
  if (om.hasMatch()) {
    if (bare.indexOf(orderBy, om.capturedEnd()) >= 0) ThrowNotSimple(source);
    where = rest.left(om.capturedStart()).trimmed();
    order = rest.mid(om.capturedEnd()).trimmed();
  } else {
    where = rest.trimmed();
  }
  static const QRegularExpression whereWord(QStringLiteral("^where\\b"), QRegularExpression::CaseInsensitiveOption);
  if (!where.isEmpty()) {
    if (!where.contains(whereWord)) ThrowNotSimple(source);
    where = where.mid(5).trimmed();
  }
  if (order.endsWith(QLatin1Char(';'))) order.chop(1);
  std::vector<Impl::Termo> ordem;
  static const QRegularExpression term(
      QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*|\\[[^\\]]+\\]|\"(?:[^\"]|\"\")+\")(?:\\s+(asc|desc))?\\s*$"),
      QRegularExpression::CaseInsensitiveOption);
  if (!order.isEmpty()) {
    for (const QString& t : order.split(QLatin1Char(','))) {
      const auto tm = term.match(t);
      if (!tm.hasMatch()) ThrowNotSimple(source);
      ordem.push_back({tm.captured(1), tm.captured(2).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0, true});
    }
  }

  if (!pg) activeConnection.d->EnsureWal();
  d->leitor = pg ? detail::NovoLeitorPg(pg->Conninfo())
                 : std::unique_ptr<detail::Leitor>(new LeitorSqlite(sqlite3_db_filename(db, "main")));
  d->mode = Impl::Mode::Snapshot;
  try {
    d->table = m.captured(2);
    d->columns = m.captured(1);
    d->where = where;
    d->ordem = std::move(ordem);
    // Columns declared Not Null need no Null branch in the position queries.
    const QSet<QString> notNull = d->leitor->NaoNulas(d->table);
    for (Impl::Termo& o : d->ordem) {
      QString bareName = o.coluna;
      if (bareName.startsWith(QLatin1Char('[')) || bareName.startsWith(QLatin1Char('"'))) bareName = bareName.mid(1).chopped(1);
      o.nullable = !notNull.contains(bareName.toLower());
    }
    d->SetNames(d->leitor->Nomes(QStringLiteral("Select ") + d->SelectList() + QStringLiteral(" From ") + d->table +
                                 QStringLiteral(" Where 1 = 0")),
                d->FirstColumn());
    d->conn = activeConnection.d.get();
    d->conn->snapshots.push_back(d.get());
    d->Requery();
  } catch (...) {
    d->Reset();
    throw;
  }
}

bool Recordset::IsOpen() const { return d->mode != Impl::Mode::Closed; }
void Recordset::Close() { d->Reset(); }

long Recordset::RecordCount() const {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  return d->mode == Impl::Mode::Forward ? -1 : d->count;
}

void Recordset::MoveFirst() {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  if (d->mode == Impl::Mode::Forward) {
    // Forward-only: only a recordset still on its first row may go there.
    if (d->pos > 0 || (d->eof && !d->bof))
      throw Error(adErrNotSupported, QStringLiteral("MoveFirst is not supported by a forward-only recordset."));
    return;
  }
  d->First();
}

void Recordset::MoveLast() {
  d->RequireSnapshot("MoveLast");
  d->Last();
}

void Recordset::MoveNext() {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  if (d->eof) ThrowNoCurrentRecord();
  if (d->mode == Impl::Mode::Forward) {
    d->StepForward();
    return;
  }
  d->Move(true);
}

void Recordset::MovePrevious() {
  d->RequireSnapshot("MovePrevious");
  if (d->bof) ThrowNoCurrentRecord();
  d->Move(false);
}

bool Recordset::BOF() const {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  return d->bof;
}

bool Recordset::EOF_() const {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  return d->eof;
}

void Recordset::Requery() {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  if (d->mode == Impl::Mode::Forward && d->fwdPgConn) {
    detail::Resultado r = d->fwdPgConn->Executa(d->fwdSql);
    d->fwdPg = std::move(r);
    d->pos = -1;
    d->bof = d->eof = true;
    d->StepForward();
    return;
  }
  if (d->mode == Impl::Mode::Forward) {
    sqlite3_reset(d->fwd.s);
    d->pos = -1;
    d->bof = d->eof = true;
    d->StepForward();
    return;
  }
  d->Requery();
}

void Recordset::Find(const QString& criteria, long skipRecords, int searchDirection) {
  d->RequireSnapshot("Find");
  static const QRegularExpression re(
      QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*=\\s*'((?:[^']|'')*)'\\s*$"),
      QRegularExpression::DotMatchesEverythingOption);
  const auto m = re.match(criteria);
  if (!m.hasMatch() || criteria.contains(QChar(0)))
    throw Error(adErrInvalidArgument,
                QStringLiteral("Find needs a criterion of the form Column = 'value': ") + criteria);
  const QString column = m.captured(1);
  QString value = m.captured(2);
  value.replace(QLatin1String("''"), QLatin1String("'"));
  Valor v;
  v.type = SQLITE_TEXT;
  v.bytes = value.toUtf8();
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
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  return int(d->names.size());
}

QString Recordset::FieldName(int index) const {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  d->CheckIndex(index);
  return d->names[index];
}

int Recordset::FieldIndex(const QString& name) const {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  return d->index.value(name.toLower(), -1);
}

QVariant Recordset::Fields(int index) const {
  if (d->mode == Impl::Mode::Forward) {
    if (d->bof || d->eof) ThrowNoCurrentRecord();
    d->CheckIndex(index);
    if (d->fwdPg.r) return detail::ValorPg(d->fwdPg.r, int(d->pos), index).ToVariant();
    return ValorDe(d->fwd.s, index).ToVariant();
  }
  return d->Column(index).ToVariant();
}

QVariant Recordset::Fields(const QString& name) const { return Fields(FieldIndex(name)); }

bool Recordset::FieldUtf8(int index, QByteArrayView* text) const {
  if (d->mode == Impl::Mode::Forward) {
    if (d->bof || d->eof) ThrowNoCurrentRecord();
    d->CheckIndex(index);
    if (d->fwdPg.r) {
      if (PQgetisnull(d->fwdPg.r, int(d->pos), index)) {
        *text = {};
        return false;
      }
      *text = QByteArrayView(PQgetvalue(d->fwdPg.r, int(d->pos), index), PQgetlength(d->fwdPg.r, int(d->pos), index));
      return true;
    }
    sqlite3_stmt* st = d->fwd.s;
    // The blob accessor hands out the stored bytes as they are; the text one
    // copies them to add a terminator. Only an empty value or Null gives no pointer.
    const void* p = sqlite3_column_blob(st, index);
    const int n = sqlite3_column_bytes(st, index);
    if (!p && sqlite3_column_type(st, index) == SQLITE_NULL) {
      *text = {};
      return false;
    }
    *text = QByteArrayView(static_cast<const char*>(p), n);
    return true;
  }
  Valor& v = d->Column(index);
  if (v.type == SQLITE_NULL) {
    *text = {};
    return false;
  }
  // Numbers as their text, kept in the row so that the view stays valid.
  if (v.bytes.isNull() && v.type == SQLITE_INTEGER) v.bytes = QByteArray::number(v.i);
  if (v.bytes.isNull() && v.type == SQLITE_FLOAT) v.bytes = QByteArray::number(v.f, 'g', 15);
  *text = v.bytes;
  return true;
}

}  // namespace ado
