#pragma once
// Data objects over an SQLite file or a PostgreSQL server: a Connection and a
// Recordset with the operations the forms use. Names follow the data-access
// library the forms were written against (Open, Execute, MoveFirst, BOF, Find,
// Fields ...). Both engines follow the same snapshot, position and counting
// rules described below; what differs is said where it matters.
//
// Every failure throws ado::Error, carrying a number and a description. For
// failures reported by SQLite the number is SQLite's (extended) result code;
// a server's failures are given the number of the same failure on SQLite
// (a repeated key is adErrDuplicateKey on both), or one of the numbers below;
// the description is in Portuguese for the failures a user can meet (missing
// file, not a database, locked, read-only, disk full, I/O error, missing table
// or column, syntax), and SQLite's own message otherwise, which
// NativeDescription() always keeps for a log. The data objects' own refusals
// use the numbers listed below.
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <exception>
#include <memory>

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
// Connection modes.
constexpr int adModeUnknown = 0;
constexpr int adModeRead = 1;
constexpr int adModeReadWrite = 3;
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
// A value repeated in a unique column: SQLite's SQLITE_CONSTRAINT_UNIQUE, and
// a server's unique violation (SQLSTATE 23505).
constexpr long adErrDuplicateKey = 2067;
// The server cannot be reached, refused the connection, or the connection
// broke during the command (which may or may not have been carried out).
constexpr long adErrConnectionLost = 3760;
// The server's settings differ from what the statements need
// (standard_conforming_strings must be on).
constexpr long adErrServerSettings = 3761;

class Error : public std::exception {
 public:
  Error(long number, QString description, QString nativeDescription = {});
  long Number() const { return number_; }
  const QString& Description() const { return description_; }
  // The provider's own text (SQLite's message); the description when there is none.
  const QString& NativeDescription() const { return native_; }
  const char* what() const noexcept override { return what_.constData(); }

 private:
  long number_;
  QString description_;
  QString native_;
  QByteArray what_;
};

// Text read from the database as it was stored: UTF-8 decoded without
// dropping a leading U+FEFF (QString::fromUtf8 would).
QString TextFromUtf8(QByteArrayView utf8);

class Recordset;
namespace detail {
struct Acesso;
}

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Where cursors live; recordsets opened over a client-side connection are
  // snapshots. Set before Open.
  int CursorLocation = adUseClient;
  // adModeRead opens a file for reading only: it need not be writable, and
  // statements that write fail. Set before Open; a server ignores it.
  int Mode = adModeUnknown;

  // Opens "Provider=...;Data Source=<path>" (Provider may be left out; the
  // providers accepted are Microsoft.Jet.OLEDB.4.0 and SQLite for a file,
  // PostgreSQL for a server). A value may be put in double quotes (a quote
  // inside doubled), so a path may hold ";".
  //
  // Provider=PostgreSQL: Data Source is a libpq connection string, URI or
  // "service=<name>" of pg_service.conf; passwords come from libpq (.pgpass,
  // the service file), TLS as its sslmode says (by default used when the
  // server offers it). The session is set to UTF-8, DateStyle ISO and time
  // zone UTC; the call fails with adErrServerSettings unless
  // standard_conforming_strings is on, so that a backslash in a literal stays
  // a backslash. Unquoted names fold to lower case on the server: field
  // lookup by name ignores case. "Like '<pattern>'" is sent with "Escape ''",
  // so that only "%" and "_" are special, as on the file; case is ignored as
  // the columns' type says (citext in the server schema). A command finding
  // the connection closed while idle connects again first; a command that
  // loses it midway fails with adErrConnectionLost and is never repeated.
  // Another connection's commits are seen through the notifications of the
  // server schema's trigger (channel vt_mudou).
  // The file must exist, be non-empty, be a database and be writable, with its
  // folder writable too (SQLite keeps its -wal and -shm files there; for a
  // symbolic link, the folder of the file it leads to); otherwise
  // the call fails and the folder is left exactly as it was: opening writes
  // nothing. A file held by another writer is waited for kBusyTimeoutMs, then
  // the call (or a later Execute) fails with SQLITE_BUSY.
  // The database is switched to WAL mode before the first statement that
  // writes and before the first scrollable recordset, so that snapshots can be
  // read while the connection writes. User, password and options are ignored.
  //
  // "Like" on this connection (and on its recordsets) ignores the case of every
  // letter, not only of ASCII ones ('são' Like 'SÃO%'); accents stay
  // significant, and "%" and "_" are wildcards. "=" and indexes keep the
  // columns' own collation.
  void Open(const QString& connectionString, const QString& userId = {},
            const QString& password = {}, long options = adConnectUnspecified);
  bool IsOpen() const;
  // Recordsets still open outlive it: scrollable ones keep their own
  // connection (and count afresh at their next Requery), forward-only ones
  // keep what they read from (on a server, its session stays open until the
  // last of them goes).
  void Close();

  // Runs exactly one statement. A text holding a second statement, or a NUL
  // character, is refused and nothing runs. A statement that returns rows gives
  // a forward-only recordset over them (it holds a read transaction until it
  // is closed or destroyed); any other gives a closed recordset.
  // Before a statement that writes, every open scrollable recordset of this
  // connection pins its snapshot, which it keeps until its next Requery.
  std::unique_ptr<Recordset> Execute(const QString& commandText, long options = adCmdUnspecified);

  static constexpr int kBusyTimeoutMs = 1500;

  // The path of the open database file; on a server "<db> em <host>:<port>".
  QString DataSource() const;
  bool IsServer() const;
  // The names of a table's columns; empty when there is no such table.
  QStringList TableColumns(const QString& table);
  // (The file's own handle, for benchmarks and tests: ado::sqlite::Handle in
  // platform/ado/sqlite/sqlite.h.)

  struct Impl;  // platform/ado/nucleo.h

 private:
  friend class Recordset;
  friend struct detail::Acesso;
  std::unique_ptr<Impl> d;
};

class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // Opens a SELECT over the connection. On a client-side connection, or with a
  // keyset, static or dynamic cursor, the recordset is scrollable. It stands on
  // the first row (BOF and EOF both True when there are none).
  //
  // A scrollable recordset keeps no copy of its rows: it remembers where it
  // stands (the values of its Order By columns and the rowid) and each move
  // reads the neighbouring row with an indexed query, so no operation costs
  // more with a larger table. It holds no read transaction while idle, so it
  // never keeps the -wal file from being checkpointed. Snapshot rules:
  //  - Changes made through its own connection are seen only after Requery:
  //    before such a statement runs, the recordset pins a read transaction of
  //    its own on the state before it, and reads from it until Requery.
  //  - Changes committed by another connection or program are seen by the next
  //    move (each move reads afresh); the current row's values stay as read.
  //    RecordCount is the count at the last Open or Requery.
  // Requery is answered from the changes seen since the last one: nothing to
  // read when nothing changed, the changed rows only when its own connection
  // wrote, a count of the table only when another connection wrote.
  // On a server the recordset has a server connection of its own, reading in
  // autocommit, and pins with a REPEATABLE READ transaction that Requery ends:
  // no transaction stays open while the program waits for the user. The
  // table needs a unique column named rowid (the server schema's identity
  // column), and "Select *" lists it too.
  //
  // Its source must be a single-table query:
  //   Select <columns or *> From <table> [Where <condition>] [Order By <columns>]
  // where each Order By term is a column name with an optional Asc or Desc
  // (rows of equal terms come in rowid order; the table must have rowids; no
  // joins, Group By, Union or Limit). Other texts are refused with
  // adErrInvalidArgument.
  //
  // On a server-side connection a forward-only recordset streams the rows of
  // any single SELECT, like Connection::Execute; a statement that returns no
  // rows is refused and not run.
  void Open(const QString& source, Connection& activeConnection, int cursorType = adOpenKeyset,
            int lockType = adLockOptimistic, long options = adCmdUnspecified);
  bool IsOpen() const;
  void Close();

  // Rows at the last Open or Requery; -1 for a forward-only recordset.
  long RecordCount() const;

  // MoveFirst and MoveLast on an empty recordset leave BOF and EOF both True.
  // MoveNext at EOF and MovePrevious at BOF fail with adErrNoCurrentRecord.
  void MoveFirst();
  void MoveLast();
  void MoveNext();
  void MovePrevious();
  bool BOF() const;
  bool EOF_() const;  // EOF is a C macro

  // Runs the query again; the first row becomes current. After a failure (the
  // table missing for a while, a lock, an I/O error) the next Requery starts
  // afresh and succeeds once the cause is gone.
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

  struct Impl;  // platform/ado/nucleo.h

 private:
  friend class Connection;
  std::unique_ptr<Impl> d;
};

}  // namespace ado
