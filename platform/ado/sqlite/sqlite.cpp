// The data objects over an SQLite file: every call to SQLite, its failures
// in the words of the catalogue, and its dialect.
#include "platform/ado/sqlite/sqlite.h"

#include <sqlite3.h>
#include <unistd.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <cerrno>
#include <cstdlib>
#include <unordered_map>

#include "platform/ado/erros.h"
#include "platform/ado/nucleo.h"
#include "platform/ado/sqlite/like.h"

namespace ado::detail {

namespace {

// The catalogue's entry for one of SQLite's messages, with its arguments.
Falha FalhaDaMensagem(const QString& native, QStringList* args) {
  struct Padrao {
    const char* en;
    Falha falha;
  };
  static const Padrao padroes[] = {
      {"^no such table: (.*)$", Falha::SemTabela},
      {"^no such column: (.*)$", Falha::SemColuna},
      {"^table (\\S+) has no column named (.*)$", Falha::TabelaSemColuna},
      {"^near (\".*\"): syntax error$", Falha::SintaxePerto},
      {"^unrecognized token: (.*)$", Falha::TextoEstranho},
      {"^incomplete input$", Falha::Incompleta},
      {"^LIKE or GLOB pattern too complex$", Falha::BuscaLonga},
  };
  for (const Padrao& p : padroes) {
    const QRegularExpression re(QString::fromLatin1(p.en));
    const auto m = re.match(native);
    if (!m.hasMatch()) continue;
    *args = m.capturedTexts().mid(1);
    return p.falha;
  }
  *args = QStringList{native};
  return Falha::Outra;
}

// Throws the error of an SQLite result code: its number, the catalogue's
// words for the failures a user can meet, SQLite's own for the others.
[[noreturn]] void ThrowCode(int code, const QString& native, const QString& context = {}) {
  QStringList args;
  Falha f;
  switch (code & 0xff) {
    case SQLITE_CANTOPEN: f = Falha::NaoAbre; break;
    case SQLITE_NOTADB: f = Falha::NaoEBanco; break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: f = Falha::Bloqueado; break;
    case SQLITE_READONLY: f = Falha::SomenteLeitura; break;
    case SQLITE_FULL: f = Falha::DiscoCheio; break;
    case SQLITE_IOERR: f = Falha::LeituraGravacao; break;
    case SQLITE_CORRUPT: f = Falha::Danificado; break;
    case SQLITE_NOMEM: f = Falha::SemMemoria; break;
    case SQLITE_CONSTRAINT:
      if (code == SQLITE_CONSTRAINT_UNIQUE || code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_NOTNULL) {
        f = code == SQLITE_CONSTRAINT_NOTNULL ? Falha::SemValor : Falha::ValorRepetido;
        args << native.section(QLatin1String(": "), 1);
      } else {
        f = Falha::ValorRecusado;
        args << native;
      }
      break;
    default: f = FalhaDaMensagem(native, &args);
  }
  Lanca(f, args, native, code, context);
}

[[noreturn]] void ThrowSqlite(sqlite3* db, const QString& context = {}) {
  if (!db) ThrowCode(SQLITE_NOMEM, QStringLiteral("out of memory"), context);
  ThrowCode(sqlite3_extended_errcode(db), QString::fromUtf8(sqlite3_errmsg(db)), context);
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

// Prepares exactly one statement. Refuses any statement after the first
// (white space, semicolons and comments may follow).
Stmt PrepareOne(sqlite3* db, const QString& text, unsigned flags = 0) {
  const QByteArray sql = text.toUtf8();
  const char* tail = nullptr;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v3(db, sql.constData(), int(sql.size()), flags, &raw, &tail) != SQLITE_OK) ThrowSqlite(db);
  Stmt st(raw);
  if (!st.s) Lanca(Falha::SemInstrucao);
  const char* end = sql.constData() + sql.size();
  while (tail && tail < end) {
    sqlite3_stmt* next = nullptr;
    const char* rest = nullptr;
    const int rc = sqlite3_prepare_v2(db, tail, int(end - tail), &next, &rest);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next) Lanca(Falha::MaisDeUma);
    if (rest == tail) break;
    tail = rest;
  }
  return st;
}

// Begin or Savepoint.
bool AbreTransacao(sqlite3_stmt* st) {
  static const QRegularExpression re(QStringLiteral("^\\s*(begin|savepoint)\\b"),
                                     QRegularExpression::CaseInsensitiveOption);
  return QString::fromUtf8(sqlite3_sql(st)).contains(re);
}

// One stored value, copied out of a statement so that the statement can be reset.
Valor ValorDe(sqlite3_stmt* st, int col) {
  Valor v;
  switch (sqlite3_column_type(st, col)) {
    case SQLITE_INTEGER:
      v.tipo = Valor::Tipo::Inteiro;
      v.i = sqlite3_column_int64(st, col);
      break;
    case SQLITE_FLOAT:
      v.tipo = Valor::Tipo::Real;
      v.f = sqlite3_column_double(st, col);
      break;
    case SQLITE_NULL: break;
    case SQLITE_BLOB:
      v.tipo = Valor::Tipo::Blob;
      v.bytes = QByteArray(static_cast<const char*>(sqlite3_column_blob(st, col)), sqlite3_column_bytes(st, col));
      break;
    default:
      v.tipo = Valor::Tipo::Texto;
      v.bytes = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(st, col)), sqlite3_column_bytes(st, col));
  }
  return v;
}

void Liga(const Valor& v, sqlite3_stmt* st, int param) {
  switch (v.tipo) {
    case Valor::Tipo::Inteiro: sqlite3_bind_int64(st, param, v.i); break;
    case Valor::Tipo::Real: sqlite3_bind_double(st, param, v.f); break;
    case Valor::Tipo::Nulo: sqlite3_bind_null(st, param); break;
    case Valor::Tipo::Blob:
      sqlite3_bind_blob(st, param, v.bytes.constData(), int(v.bytes.size()), SQLITE_TRANSIENT);
      break;
    case Valor::Tipo::Texto:
      sqlite3_bind_text(st, param, v.bytes.constData(), int(v.bytes.size()), SQLITE_TRANSIENT);
      break;
  }
}

QStringList NomesDe(sqlite3_stmt* st) {
  QStringList names;
  for (int i = 0; i < sqlite3_column_count(st); ++i) names << QString::fromUtf8(sqlite3_column_name(st, i));
  return names;
}

// Opens db and readies it as every connection of the data objects: extended
// result codes, the busy wait, Like for every letter. Closes it on failure.
sqlite3* AbreSqlite(const QByteArray& file, int flags, const QString& context) {
  sqlite3* db = nullptr;
  auto fail = [&] {
    try {
      ThrowSqlite(db, context);
    } catch (...) {
      sqlite3_close_v2(db);
      throw;
    }
  };
  if (sqlite3_open_v2(file.constData(), &db, flags | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) fail();
  sqlite3_extended_result_codes(db, 1);
  sqlite3_busy_timeout(db, Connection::kBusyTimeoutMs);
  if (RegisterLike(db) != SQLITE_OK) fail();
  return db;
}

// A recordset's own read-only connection to the file.
class LeitorSqlite final : public Leitor {
 public:
  explicit LeitorSqlite(const QByteArray& path)
      : db_(AbreSqlite(path, SQLITE_OPEN_READONLY, QString::fromUtf8(path))) {}
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

  QStringList Nomes(const QString& sql) override { return NomesDe(Prepared(sql)); }

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
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) ThrowSqlite(db_);
    // A read starts the transaction: from here on the recordset reads the
    // state before the coming write.
    if (sqlite3_exec(db_, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) {
      const int code = sqlite3_extended_errcode(db_);
      const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      ThrowCode(code, msg);
    }
  }

  void Solta() noexcept override {
    if (!sqlite3_get_autocommit(db_) && sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  long Conta(const QString& fromWhere, const std::vector<const Valor*>& params,
             std::shared_ptr<const Instantaneo>*) override {
    std::vector<Valor> r;
    if (!Linha(QStringLiteral("Select count(*) ") + fromWhere, params, &r) || r.empty()) return 0;
    return long(r[0].i);
  }

  // Null sorts first going up, as every query here wants it.
  QLatin1String Nulos(bool) const override { return {}; }
  QString CondicaoIds() const override { return QStringLiteral("rowid In (Select value From json_each(?))"); }
  Valor ParametroIds(const Ids& ids) const override { return ListaIds(ids, '[', ']'); }

 private:
  sqlite3_stmt* Prepared(const QString& sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) it = cache_.emplace(sql, PrepareOne(db_, sql, SQLITE_PREPARE_PERSISTENT)).first;
    return it->second.s;
  }
  sqlite3* db_;
  std::unordered_map<QString, Stmt> cache_;
};

class MotorSqlite;

// The rows of a statement on the connection, which it keeps open.
class CursorSqlite final : public Cursor {
 public:
  CursorSqlite(std::shared_ptr<MotorSqlite> motor, Stmt st) : motor_(std::move(motor)), st_(std::move(st)) {}
  QStringList Nomes() const override { return NomesDe(st_.s); }
  bool Proxima() override {
    const int rc = sqlite3_step(st_.s);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
      sqlite3_reset(st_.s);  // ends its read transaction
      return false;
    }
    sqlite3* db = sqlite3_db_handle(st_.s);
    const int code = sqlite3_extended_errcode(db);
    const QString msg = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_reset(st_.s);
    ThrowCode(code, msg);
  }
  Valor Campo(int col) const override { return ValorDe(st_.s, col); }
  bool CampoUtf8(int col, QByteArrayView* text) const override {
    // The blob accessor hands out the stored bytes as they are; the text one
    // copies them to add a terminator. Only an empty value or Null gives no pointer.
    const void* p = sqlite3_column_blob(st_.s, col);
    const int n = sqlite3_column_bytes(st_.s, col);
    if (!p && sqlite3_column_type(st_.s, col) == SQLITE_NULL) {
      *text = {};
      return false;
    }
    *text = QByteArrayView(static_cast<const char*>(p), n);
    return true;
  }
  void Reinicia() override { sqlite3_reset(st_.s); }

 private:
  std::shared_ptr<MotorSqlite> motor_;
  Stmt st_;
};

class MotorSqlite final : public Motor, public std::enable_shared_from_this<MotorSqlite> {
 public:
  MotorSqlite(sqlite3* db, QString path, bool readOnly) : db_(db), path_(std::move(path)), readOnly_(readOnly) {
    sqlite3_update_hook(db_, &MotorSqlite::Hook, this);
  }
  ~MotorSqlite() override { sqlite3_close_v2(db_); }
  sqlite3* Db() const { return db_; }

  void Escuta(Ouvinte* ouvinte) override { ouvinte_ = ouvinte; }
  QString Fonte() const override { return path_; }
  bool Servidor() const override { return false; }

  QStringList Colunas(const QString& table) override {
    Stmt st = PrepareOne(db_, QStringLiteral("Select name From pragma_table_info(?)"));
    const QByteArray t = table.toUtf8();
    sqlite3_bind_text(st.s, 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
    QStringList out;
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW)
      out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st.s, 0)));
    if (rc != SQLITE_DONE) ThrowSqlite(db_);
    return out;
  }

  std::unique_ptr<Cursor> Executa(const QString& sql) override {
    Stmt st = PrepareOne(db_, sql);
    if (sqlite3_column_count(st.s) > 0) return std::make_unique<CursorSqlite>(shared_from_this(), std::move(st));
    const bool writes = !sqlite3_stmt_readonly(st.s);
    // A transaction's writes cannot switch the journal: it is done before
    // the transaction starts.
    if (writes || (!wal_ && sqlite3_get_autocommit(db_) && AbreTransacao(st.s))) EnsureWal();
    if (writes && ouvinte_) ouvinte_->AntesDeGravar();
    const sqlite3_int64 before = sqlite3_total_changes64(db_);
    hookCalls_ = 0;
    int rc;
    while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
    }
    // Rows changed without the hook seeing each (truncation, triggers,
    // replaced rows): counted afresh.
    if (writes && ouvinte_ && sqlite3_total_changes64(db_) - before > hookCalls_) ouvinte_->MudouSemIds({});
    if (rc != SQLITE_DONE) ThrowSqlite(db_);
    return nullptr;
  }

  std::unique_ptr<Cursor> Consulta(const QString& sql) override {
    Stmt st = PrepareOne(db_, sql);
    if (sqlite3_column_count(st.s) == 0) Lanca(Falha::NaoDevolveLinhas);
    return std::make_unique<CursorSqlite>(shared_from_this(), std::move(st));
  }

  void ConfereConsulta(const QString& sql) override {
    if (sqlite3_column_count(PrepareOne(db_, sql).s) == 0) Lanca(Falha::NaoDevolveLinhas);
  }

  std::unique_ptr<Leitor> NovoLeitor() override {
    EnsureWal();
    return std::make_unique<LeitorSqlite>(QByteArray(sqlite3_db_filename(db_, "main")));
  }

  bool EmTransacao() const override { return !sqlite3_get_autocommit(db_); }

  // The file tells only that another connection committed, not what.
  qint64 VersaoAlheia(bool) override {
    sqlite3_stmt* st = nullptr;
    versao_ = -1;
    if (sqlite3_prepare_v2(db_, "PRAGMA data_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
      versao_ = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return versao_;
  }
  bool AvisosDesde(qint64 desde, std::vector<Aviso>* out) const override {
    out->clear();
    return desde == versao_ && desde >= 0;
  }

 private:
  // The database is switched to WAL mode before the first statement that
  // writes and before the first scrollable recordset, so that snapshots can
  // be read while the connection writes.
  void EnsureWal() {
    if (wal_ || readOnly_) return;
    Stmt st;
    if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode=WAL", -1, &st.s, nullptr) != SQLITE_OK) ThrowSqlite(db_);
    if (sqlite3_step(st.s) != SQLITE_ROW) ThrowSqlite(db_);
    const QByteArray mode = reinterpret_cast<const char*>(sqlite3_column_text(st.s, 0));
    if (mode.compare("wal", Qt::CaseInsensitive) != 0)
      Lanca(Falha::SemWal, {}, QStringLiteral("journal_mode stays ") + QString::fromUtf8(mode));
    wal_ = true;
  }

  static void Hook(void* self, int, const char* dbName, const char* table, sqlite3_int64 rowid) {
    auto* m = static_cast<MotorSqlite*>(self);
    ++m->hookCalls_;
    if (!m->ouvinte_ || qstrcmp(dbName, "main") != 0) return;
    if (m->tabelaCrua_ != table) {
      m->tabelaCrua_ = table;
      m->tabela_ = QString::fromUtf8(table);
    }
    m->ouvinte_->Mudou(m->tabela_, rowid);
  }

  sqlite3* db_;
  QString path_;
  bool readOnly_;
  bool wal_ = false;
  Ouvinte* ouvinte_ = nullptr;
  sqlite3_int64 hookCalls_ = 0;  // rows the hook reported during the running statement
  QByteArray tabelaCrua_;        // the table the hook named last
  QString tabela_;
  qint64 versao_ = -1;           // data_version as last read
};

}  // namespace

std::shared_ptr<Motor> AbreArquivo(const QString& source, bool readOnly) {
  // Nothing below may write: a file that is refused stays as it was, and no
  // -wal or -shm file is left beside it.
  const QByteArray file = source.toUtf8();
  const QFileInfo info(source);
  if (!info.exists())
    Lanca(Falha::ArquivoAusente, {source}, QStringLiteral("unable to open database file: ") + source);
  if (!info.isFile()) ThrowCode(SQLITE_CANTOPEN, QStringLiteral("unable to open database file"), source);
  if (info.size() == 0) ThrowCode(SQLITE_NOTADB, QStringLiteral("file is not a database"), source);
  if (!readOnly) {
    if (::access(file.constData(), R_OK | W_OK) != 0) {
      const int err = errno;
      ThrowCode(err == EACCES || err == EPERM || err == EROFS ? SQLITE_READONLY : SQLITE_CANTOPEN,
                QStringLiteral("attempt to write a readonly database"), source);
    }
    // SQLite follows a symbolic link and keeps -wal and -shm beside the file it leads to.
    QByteArray folder = QFileInfo(source).absolutePath().toUtf8();
    if (char* real = ::realpath(file.constData(), nullptr)) {
      const QByteArray path(real);
      std::free(real);
      folder = path.left(std::max<qsizetype>(path.lastIndexOf('/'), 1));
    }
    if (::access(folder.constData(), W_OK | X_OK) != 0)
      Lanca(Falha::PastaSemGravacao, {QString::fromUtf8(folder)},
            QStringLiteral("folder not writable: ") + QString::fromUtf8(folder));
  }

  // Never SQLITE_OPEN_CREATE: a missing file is an error, not a new database.
  sqlite3* db = AbreSqlite(file, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, source);
  auto motor = std::make_shared<MotorSqlite>(db, source, readOnly);
  // Read the header now, so that a file that is not a database fails here.
  if (sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) ThrowSqlite(db, source);
  if (!readOnly && sqlite3_db_readonly(db, "main") == 1)
    ThrowCode(SQLITE_READONLY, QStringLiteral("attempt to write a readonly database"), source);
  return motor;
}

}  // namespace ado::detail

sqlite3* ado::sqlite::Handle(const Connection& connection) {
  auto* m = dynamic_cast<detail::MotorSqlite*>(detail::Acesso::MotorDe(connection));
  return m ? m->Db() : nullptr;
}
