#pragma once
// Data objects over SQLite: a Connection and a Recordset with the operations
// the forms use. Names follow the data-access library the forms were written
// against (Open, Execute, MoveFirst, BOF, Find, Fields ...).
//
// Every failure throws ado::Error, carrying a number and a description. For
// failures reported by SQLite the number is SQLite's (extended) result code and
// the description SQLite's message; the data objects' own refusals use the
// numbers listed below.
#include <QString>
#include <QVariant>
#include <exception>
#include <memory>

struct sqlite3;

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

  // Opens "Provider=...;Data Source=<path>". The file must exist and be a
  // database: a missing file fails and nothing is created; a file that is not a
  // database fails here, not at the first query. A file held by another writer
  // is waited for a short, fixed time, then the call fails.
  void Open(const QString& connectionString, const QString& userId = {},
            const QString& password = {}, long options = adConnectUnspecified);
  bool IsOpen() const;
  void Close();

  // Runs exactly one statement. A text holding a second statement, or a NUL
  // character, is refused and nothing runs. A statement that returns rows gives
  // a forward-only recordset over them; any other gives a closed recordset.
  std::unique_ptr<Recordset> Execute(const QString& commandText, long options = adCmdUnspecified);

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

  // Opens a SELECT over the connection. With a keyset, static or dynamic cursor
  // the recordset is a scrollable snapshot: it does not see changes made by
  // other statements until Requery. It stands on the first row (or at EOF when
  // there are none).
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
  // there, or past the last row (EOF) when none matches. Text compares
  // ignoring letter case, as '=' does in queries.
  void Find(const QString& criteria, long skipRecords = 0, int searchDirection = adSearchForward);

  // The current row's value of a column: an invalid QVariant for Null, a
  // QString for text (the empty text is not Null), qint64 or double for numbers.
  QVariant Fields(const QString& name) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d;
};

}  // namespace ado
