#include "platform/ado/ado.h"

#include <sqlite3.h>

#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <unordered_set>
#include <vector>

namespace ado {

Error::Error(long number, QString description)
    : number_(number),
      description_(std::move(description)),
      what_((QString::number(number) + QLatin1String(": ") + description_).toUtf8()) {}

namespace {

[[noreturn]] void ThrowSqlite(sqlite3* db, const QString& context = {}) {
  const long code = db ? sqlite3_extended_errcode(db) : SQLITE_NOMEM;
  QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("out of memory");
  if (!context.isEmpty()) msg += QLatin1String(": ") + context;
  throw Error(code, msg);
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

// Prepares exactly one statement. Refuses NUL characters and any statement
// after the first (white space, semicolons and comments may follow).
Stmt PrepareOne(sqlite3* db, const QString& text) {
  if (text.contains(QChar(0)))
    throw Error(adErrStatementRefused,
                QStringLiteral("The statement holds a NUL character and was not run."));
  const QByteArray sql = text.toUtf8();
  const char* tail = nullptr;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, &tail) != SQLITE_OK)
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

QVariant ColumnValue(sqlite3_stmt* st, int i) {
  switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL:
      return {};
    case SQLITE_INTEGER:
      return QVariant::fromValue<qint64>(sqlite3_column_int64(st, i));
    case SQLITE_FLOAT:
      return sqlite3_column_double(st, i);
    case SQLITE_BLOB: {
      const void* p = sqlite3_column_blob(st, i);
      return QByteArray(static_cast<const char*>(p), sqlite3_column_bytes(st, i));
    }
    default: {
      const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
      return QString::fromUtf8(p, sqlite3_column_bytes(st, i));
    }
  }
}

void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) ThrowSqlite(db);
}

}  // namespace

// ---------------------------------------------------------------- Connection

struct Connection::Impl {
  sqlite3* db = nullptr;
  QString path;
};

Connection::Connection() : d(std::make_unique<Impl>()) {}
Connection::~Connection() { Close(); }

void Connection::Open(const QString& connectionString, const QString&, const QString&, long) {
  if (d->db) throw Error(adErrObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
  QString provider, source;
  bool hasSource = false;
  for (const QString& part : connectionString.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    const qsizetype eq = part.indexOf(QLatin1Char('='));
    if (eq < 0) {
      if (part.trimmed().isEmpty()) continue;
      throw Error(adErrInvalidArgument, QStringLiteral("Invalid connection string: ") + connectionString);
    }
    const QString key = part.left(eq).trimmed().toLower();
    const QString value = part.mid(eq + 1).trimmed();
    if (key == QLatin1String("provider")) {
      provider = value;
    } else if (key == QLatin1String("data source")) {
      source = value;
      hasSource = true;
    }
  }
  if (!provider.isEmpty() && provider.compare(QLatin1String("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) != 0 &&
      provider.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) != 0)
    throw Error(adErrProviderNotFound,
                QStringLiteral("Provider cannot be found. It may not be properly installed: ") + provider);
  if (!hasSource || source.isEmpty())
    throw Error(adErrInvalidArgument, QStringLiteral("The connection string names no Data Source."));

  sqlite3* db = nullptr;
  // Never SQLITE_OPEN_CREATE: a missing file is an error, not a new database.
  const int rc = sqlite3_open_v2(source.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
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
    throw Error(SQLITE_READONLY, QStringLiteral("attempt to write a readonly database: ") + source);
  }
  if (sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr) != SQLITE_OK) fail(source);
  d->db = db;
  d->path = source;
}

bool Connection::IsOpen() const { return d->db != nullptr; }

void Connection::Close() {
  if (!d->db) return;
  // Recordsets still reading keep the handle alive until they are done.
  sqlite3_close_v2(d->db);
  d->db = nullptr;
  d->path.clear();
}

std::unique_ptr<Recordset> Connection::Execute(const QString& commandText, long) {
  if (!d->db) ThrowClosed();
  Stmt st = PrepareOne(d->db, commandText);
  auto rs = std::make_unique<Recordset>();
  if (sqlite3_column_count(st.s) > 0) {
    rs->OpenForwardOnly(d->db, std::move(st.s));
    st.s = nullptr;
    return rs;
  }
  int rc;
  while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE) ThrowSqlite(d->db);
  return rs;
}

QString Connection::DataSource() const { return d->path; }
sqlite3* Connection::Handle() const { return d->db; }

// ---------------------------------------------------------------- Recordset

struct Recordset::Impl {
  enum class Mode { Closed, Forward, Snapshot } mode = Mode::Closed;

  // Column names of the rows, lower-cased name -> index.
  QStringList names;
  QHash<QString, int> index;

  // Forward-only: the running statement on the caller's connection.
  sqlite3* fwdDb = nullptr;
  Stmt fwd;

  // Snapshot: a connection of its own in a read transaction, the rowids in
  // order, and a statement that reads one row by rowid.
  sqlite3* snap = nullptr;
  QString table;
  QString keysetSql;  // "Select rowid From <table> <rest>"
  std::vector<sqlite3_int64> keys;
  Stmt fetch;                  // "Select <columns> From <table> Where rowid = ?"
  qsizetype fetchedPos = -1;   // the row fetch stands on, -1 for none

  qsizetype pos = -1;
  bool bof = true, eof = true;

  ~Impl() { Reset(); }

  void Reset() {
    fwd = Stmt();
    fwdDb = nullptr;
    fetch = Stmt();
    if (snap) {
      sqlite3_exec(snap, "COMMIT", nullptr, nullptr, nullptr);
      sqlite3_close_v2(snap);
      snap = nullptr;
    }
    keys.clear();
    keys.shrink_to_fit();
    names.clear();
    index.clear();
    fetchedPos = -1;
    pos = -1;
    bof = eof = true;
    mode = Mode::Closed;
  }

  void SetNames(sqlite3_stmt* st) {
    names.clear();
    index.clear();
    const int n = sqlite3_column_count(st);
    for (int i = 0; i < n; ++i) {
      const QString name = QString::fromUtf8(sqlite3_column_name(st, i));
      names << name;
    }
    for (int i = n - 1; i >= 0; --i) index[names[i].toLower()] = i;  // first of equal names wins
  }

  // Forward-only: step to the next row.
  void StepForward() {
    const int rc = sqlite3_step(fwd.s);
    if (rc == SQLITE_ROW) {
      ++pos;
      bof = eof = false;
    } else if (rc == SQLITE_DONE) {
      eof = true;
      if (pos < 0) bof = true;
    } else {
      eof = true;
      ThrowSqlite(fwdDb);
    }
  }

  // Snapshot: begin a read transaction and read the rowids.
  void BuildKeyset() {
    Exec(snap, "BEGIN");
    const size_t previous = keys.size();
    keys.clear();
    {
      // No memory map here: the kernel maps whole neighbourhoods of each page
      // touched, and the index pages lie all over the file.
      Stmt st = PrepareOne(snap, keysetSql);
      if (previous) keys.reserve(previous + previous / 8 + 16);
      int rc;
      while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) keys.push_back(sqlite3_column_int64(st.s, 0));
      if (rc != SQLITE_DONE) ThrowSqlite(snap);
    }
    if (keys.capacity() > keys.size() * 2 + 1024) keys.shrink_to_fit();
    fetchedPos = -1;
    pos = keys.empty() ? -1 : 0;
    bof = eof = keys.empty();
  }

  // The statement standing on the current row.
  sqlite3_stmt* Current() {
    if (mode == Mode::Closed) ThrowClosed();
    if (bof || eof) ThrowNoCurrentRecord();
    if (mode == Mode::Forward) return fwd.s;
    if (fetchedPos != pos) {
      fetchedPos = -1;
      sqlite3_reset(fetch.s);
      sqlite3_bind_int64(fetch.s, 1, keys[size_t(pos)]);
      const int rc = sqlite3_step(fetch.s);
      if (rc == SQLITE_DONE) ThrowNoCurrentRecord();
      if (rc != SQLITE_ROW) ThrowSqlite(snap);
      fetchedPos = pos;
    }
    return fetch.s;
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

Recordset::Recordset() : d(std::make_unique<Impl>()) {}
Recordset::~Recordset() = default;

void Recordset::OpenForwardOnly(sqlite3* db, sqlite3_stmt* stmt) {
  d->Reset();
  d->mode = Impl::Mode::Forward;
  d->fwdDb = db;
  d->fwd = Stmt(stmt);
  d->SetNames(stmt);
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
      QStringLiteral("\\b(group\\s+by|union|intersect|except|limit|join)\\b"),
      QRegularExpression::CaseInsensitiveOption);
  return re;
}
}  // namespace

void Recordset::Open(const QString& source, Connection& activeConnection, int cursorType, int,
                     long) {
  if (d->mode != Impl::Mode::Closed)
    throw Error(adErrObjectOpen, QStringLiteral("Operation is not allowed when the object is open."));
  sqlite3* db = activeConnection.d->db;
  if (!db) ThrowClosed();

  if (activeConnection.CursorLocation == adUseServer && cursorType == adOpenForwardOnly) {
    Stmt st = PrepareOne(db, source);
    if (sqlite3_column_count(st.s) == 0)
      throw Error(adErrInvalidArgument, QStringLiteral("The source is not a query that returns rows."));
    OpenForwardOnly(db, std::exchange(st.s, nullptr));
    return;
  }

  // Let SQLite judge the text first, so its own message reports a bad query.
  {
    Stmt check = PrepareOne(db, source);
    if (sqlite3_column_count(check.s) == 0)
      throw Error(adErrInvalidArgument, QStringLiteral("The source is not a query that returns rows."));
  }
  const auto m = SelectPattern().match(source);
  // Text outside the pattern, or words changing the row set, need a full copy
  // of the rows, which this recordset does not make.
  const QString rest = m.hasMatch() ? m.captured(3) : QString();
  static const QRegularExpression literal(QStringLiteral("'(?:[^']|'')*'"));
  static const QRegularExpression nested(QStringLiteral("\\bfrom\\b|\\("),
                                         QRegularExpression::CaseInsensitiveOption);
  if (!m.hasMatch() || m.captured(1).contains(nested) ||
      RefusedWords().match(QString(rest).remove(literal)).hasMatch())
    throw Error(adErrInvalidArgument,
                QStringLiteral("A scrollable recordset needs \"Select <columns> From <table> "
                               "[Where ...] [Order By ...]\": ") + source);

  sqlite3* snap = nullptr;
  const QString path = QString::fromUtf8(sqlite3_db_filename(db, "main"));
  if (sqlite3_open_v2(path.toUtf8().constData(), &snap, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
    try {
      ThrowSqlite(snap, path);
    } catch (...) {
      sqlite3_close_v2(snap);
      throw;
    }
  }
  sqlite3_extended_result_codes(snap, 1);
  sqlite3_busy_timeout(snap, Connection::kBusyTimeoutMs);
  d->mode = Impl::Mode::Snapshot;
  d->snap = snap;
  try {
    d->table = m.captured(2);
    d->keysetSql = QStringLiteral("Select rowid From ") + d->table + (rest.isEmpty() ? QString() : QLatin1Char(' ') + rest);
    d->fetch = PrepareOne(snap, QStringLiteral("Select ") + m.captured(1) + QStringLiteral(" From ") +
                                    d->table + QStringLiteral(" Where rowid = ?"));
    d->SetNames(d->fetch.s);
    d->BuildKeyset();
  } catch (...) {
    d->Reset();
    throw;
  }
}

bool Recordset::IsOpen() const { return d->mode != Impl::Mode::Closed; }
void Recordset::Close() { d->Reset(); }

long Recordset::RecordCount() const {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  return d->mode == Impl::Mode::Forward ? -1 : long(d->keys.size());
}

void Recordset::MoveFirst() {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  if (d->mode == Impl::Mode::Forward) {
    // Forward-only: only a recordset still on its first row may go there.
    if (d->pos > 0 || (d->eof && !d->bof))
      throw Error(adErrNotSupported, QStringLiteral("MoveFirst is not supported by a forward-only recordset."));
    return;
  }
  d->pos = d->keys.empty() ? -1 : 0;
  d->bof = d->eof = d->keys.empty();
}

void Recordset::MoveLast() {
  d->RequireSnapshot("MoveLast");
  d->pos = qsizetype(d->keys.size()) - 1;
  d->bof = d->eof = d->keys.empty();
}

void Recordset::MoveNext() {
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  if (d->eof) ThrowNoCurrentRecord();
  if (d->mode == Impl::Mode::Forward) {
    d->StepForward();
    return;
  }
  d->bof = false;
  if (++d->pos >= qsizetype(d->keys.size())) {
    d->pos = qsizetype(d->keys.size());
    d->eof = true;
  }
}

void Recordset::MovePrevious() {
  d->RequireSnapshot("MovePrevious");
  if (d->bof) ThrowNoCurrentRecord();
  d->eof = false;
  if (--d->pos < 0) {
    d->pos = -1;
    d->bof = true;
  }
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
  if (d->mode == Impl::Mode::Forward) {
    sqlite3_reset(d->fwd.s);
    d->pos = -1;
    d->bof = d->eof = true;
    d->StepForward();
    return;
  }
  sqlite3_reset(d->fetch.s);
  d->fetchedPos = -1;
  Exec(d->snap, "COMMIT");
  try {
    d->BuildKeyset();
  } catch (...) {
    sqlite3_exec(d->snap, "ROLLBACK", nullptr, nullptr, nullptr);
    d->keys.clear();
    d->pos = -1;
    d->bof = d->eof = true;
    throw;
  }
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

  // The matching rows of the same snapshot, compared by the column's own rules.
  Stmt st = PrepareOne(d->snap, QStringLiteral("Select rowid From ") + d->table +
                                    QStringLiteral(" Where ") + column + QStringLiteral(" = ?"));
  const QByteArray utf8 = value.toUtf8();
  sqlite3_bind_text(st.s, 1, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
  std::unordered_set<sqlite3_int64> hits;
  int rc;
  while ((rc = sqlite3_step(st.s)) == SQLITE_ROW) hits.insert(sqlite3_column_int64(st.s, 0));
  if (rc != SQLITE_DONE) ThrowSqlite(d->snap);

  const qsizetype n = qsizetype(d->keys.size());
  const bool single = hits.size() == 1;
  const sqlite3_int64 only = single ? *hits.begin() : 0;
  auto matches = [&](qsizetype i) {
    const sqlite3_int64 k = d->keys[size_t(i)];
    return single ? k == only : hits.count(k) != 0;
  };
  if (searchDirection != adSearchBackward) {
    if (d->eof) return;
    for (qsizetype i = std::max<qsizetype>((d->bof ? 0 : d->pos) + skipRecords, 0); i < n; ++i) {
      if (matches(i)) {
        d->pos = i;
        d->bof = d->eof = false;
        return;
      }
    }
    d->pos = n;
    d->eof = true;
    d->bof = n == 0;
  } else {
    if (d->bof) return;
    for (qsizetype i = std::min((d->eof ? n - 1 : d->pos) - skipRecords, n - 1); i >= 0; --i) {
      if (matches(i)) {
        d->pos = i;
        d->bof = d->eof = false;
        return;
      }
    }
    d->pos = -1;
    d->bof = true;
    d->eof = n == 0;
  }
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
  if (d->mode == Impl::Mode::Closed) ThrowClosed();
  d->CheckIndex(index);
  return ColumnValue(d->Current(), index);
}

QVariant Recordset::Fields(const QString& name) const { return Fields(FieldIndex(name)); }

bool Recordset::FieldUtf8(int index, QByteArrayView* text) const {
  sqlite3_stmt* st = d->Current();  // throws when closed or off the rows
  d->CheckIndex(index);
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

}  // namespace ado
