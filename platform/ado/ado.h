#pragma once
// Data objects over SQLite: a Connection and a Recordset with the operations
// the forms use. Names follow the data-access library the forms were written
// against (Open, Execute, MoveFirst, BOF, Find, Fields ...).
//
// Every failure throws ado::Error, carrying a number and a description. For
// failures reported by SQLite the number is SQLite's (extended) result code and
// the description SQLite's message; the data objects' own refusals use the
// numbers listed below.
#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <exception>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace ado {

// Cursor locations.
constexpr int adUseServer = 2;
constexpr int adUseClient = 3;
// Cursor types.
constexpr int adOpenForwardOnly = 0;
constexpr int adOpenKeyset = 1;
constexpr int adOpenDynamic = 2;
constexpr int adOpenStatic = 3;
// Lock types.
constexpr int adLockReadOnly = 1;
constexpr int adLockOptimistic = 3;
// Command and connect options.
constexpr long adCmdUnspecified = -1;
constexpr long adConnectUnspecified = -1;
// Find directions.
constexpr int adSearchForward = 1;
constexpr int adSearchBackward = -1;

// The data objects' own error numbers.
constexpr long adErrNoCurrentRecord = 3021;    // BOF or EOF is True, or no current row
constexpr long adErrItemNotFound = 3265;       // no column of that name
constexpr long adErrObjectClosed = 3704;       // the object is closed
constexpr long adErrInvalidArgument = 3001;    // malformed criterion, connection string, ...
constexpr long adErrStatementRefused = 3709;   // more than one statement, NUL in the text
constexpr long adErrObjectOpen = 3705;         // the object is already open
constexpr long adErrProviderNotFound = 3706;   // unknown Provider in the connection string
constexpr long adErrNotSupported = 3251;       // not possible with this cursor (forward-only)

class Error : public std::exception {
 public:
  Error(long number, QString description);
  long Number() const { return number_; }
  const QString& Description() const { return description_; }
  const char* what() const noexcept override { return what_.constData(); }

 private:
  long number_;
  QString description_;
  QByteArray what_;
};

class Recordset;

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Where cursors live; recordsets opened over a client-side connection are
  // snapshots. Set before Open.
  int CursorLocation = adUseClient;

  // Opens "Provider=...;Data Source=<path>" (Provider may be left out; the
  // providers accepted are Microsoft.Jet.OLEDB.4.0 and SQLite). The file must
  // exist and be a writable database: a missing file fails and nothing is
  // created; a file that is not a database fails here, not at the first query.
  // A file held by another writer is waited for kBusyTimeoutMs, then the call
  // (or a later Execute) fails with SQLITE_BUSY, "database is locked".
  // The database is switched to WAL mode so snapshots can be read while the
  // connection writes. User, password and options are accepted and ignored.
  void Open(const QString& connectionString, const QString& userId = {},
            const QString& password = {}, long options = adConnectUnspecified);
  bool IsOpen() const;
  void Close();

  // Runs exactly one statement. A text holding a second statement, or a NUL
  // character, is refused and nothing runs. A statement that returns rows gives
  // a forward-only recordset over them; any other gives a closed recordset.
  std::unique_ptr<Recordset> Execute(const QString& commandText, long options = adCmdUnspecified);

  static constexpr int kBusyTimeoutMs = 1500;

  // The path of the open database file.
  QString DataSource() const;
  // The underlying handle, for benchmarks and tests.
  sqlite3* Handle() const;

 private:
  friend class Recordset;
  struct Impl;
  std::unique_ptr<Impl> d;
};

class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Opens a SELECT over the connection. On a client-side connection, or with a
  // keyset, static or dynamic cursor, the recordset is a scrollable snapshot:
  // it does not see changes made by other statements until Requery. It stands
  // on the first row (BOF and EOF both True when there are none).
  //
  // A snapshot reads through a connection of its own that holds a read
  // transaction, and keeps only the rowids of its rows; the current row is
  // read on demand. So its source must be a single-table query:
  //   Select <columns or *> From <table> [Where <condition>] [Order By <terms>]
  // (the table must have rowids; no joins, Group By, Union or Limit). Other
  // texts are refused with adErrInvalidArgument.
  //
  // On a server-side connection a forward-only recordset streams the rows of
  // any single SELECT, like Connection::Execute.
  void Open(const QString& source, Connection& activeConnection, int cursorType = adOpenKeyset,
            int lockType = adLockOptimistic, long options = adCmdUnspecified);
  bool IsOpen() const;
  void Close();

  // Rows in the snapshot; -1 for a forward-only recordset.
  long RecordCount() const;

  // MoveFirst and MoveLast on an empty recordset leave BOF and EOF both True.
  // MoveNext at EOF and MovePrevious at BOF fail with adErrNoCurrentRecord.
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();
  bool BOF() const;
  bool EOF_() const;  // EOF is a C macro

  // Runs the query again; the first row becomes current.
  void Requery();

  // Searches for the first row meeting "Column = 'value'" (an apostrophe in the
  // value doubled), from the current row (skipRecords = 0: including it). Moves
  // there, or past the last row (EOF) when none matches (BOF when searching
  // backward). Text compares as '=' does in queries (the column's collation).
  // Any other criterion fails with adErrInvalidArgument; a forward-only
  // recordset fails with adErrNotSupported.
  void Find(const QString& criteria, long skipRecords = 0, int searchDirection = adSearchForward);

  // The current row's value of a column: an invalid QVariant for Null, a
  // QString for text (the empty text is not Null), qint64 or double for numbers.
  QVariant Fields(const QString& name) const;

  // The columns by position, for callers that read many rows.
  int FieldCount() const;
  QString FieldName(int index) const;
  int FieldIndex(const QString& name) const;  // -1 when there is no such column
  QVariant Fields(int index) const;
  // The current row's text of a column as UTF-8, valid until the next move;
  // false for Null. Numbers come as their text.
  bool FieldUtf8(int index, QByteArrayView* text) const;

 private:
  friend class Connection;
  // A forward-only recordset over a statement that Execute prepared; takes it.
  void OpenForwardOnly(sqlite3* db, sqlite3_stmt* stmt);
  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace ado
