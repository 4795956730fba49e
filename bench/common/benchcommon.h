#pragma once
// Shared pieces of the benchmarks: command-line options, generated client
// databases, raw SQLite floors, medians, peak memory and the target table.
//
// Every benchmark takes:
//   --db FILE      run on this database instead of a generated one; a
//                  benchmark that writes works on a copy in the output folder
//   --in-place     with --db: write on FILE itself (the benchmark removes the
//                  clients it adds)
//   --dir DIR      folder for generated databases and working copies; default:
//                  the build tree's benchdata folder (a temporary folder when
//                  the build tree is the source tree)
//   --clients N    size of a generated database (repeatable; also positional)
//   --repeat N     repetitions of each timed command (median reported)
//
// Client i (0-based) of a generated database is fully determined by i: its key
// is ClienteCPF(i), and DataCadastro grows with i, so "Order By DataCadastro"
// lists the clients in generation order and the last row is client n-1.
// About one client in three has the surname kSobrenomeComum in Nome; one in
// kRaroCada (i % kRaroCada == 7) has kSobrenomeRaro, no other client does.
// Optional columns (Hobby, Complemento, Bairro, Email, Obs) are sometimes Null.
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <vector>

struct sqlite3;

namespace vtbench {

inline constexpr const char* kSobrenomeComum = "Silva";
inline constexpr const char* kSobrenomeRaro = "Quintanilha";
inline constexpr long kRaroCada = 10007;

// ---------------------------------------------------------------------------
// Options

struct Options {
  QString db;                 // --db
  bool inPlace = false;       // --in-place
  QString dir;                // --dir
  std::vector<long> clients;  // --clients / positional
  int repeat = 0;             // --repeat (0: the benchmark's default)
  QStringList extra;          // options the common parser does not know, in order
};

// Parses argv. Unknown "--name value" pairs are left in extra for the caller;
// --help prints usage (the caller's lines after the common ones) and exits.
// A malformed value ends the process with a message.
Options ParseOptions(int argc, char** argv, const char* usage);
// The value of "--name value" among extra, or fallback.
QString ExtraOption(const Options& o, const QString& name, const QString& fallback = {});
bool ExtraFlag(const Options& o, const QString& name);
// Options back as arguments, for a benchmark that runs parts in child processes.
QStringList ToArguments(const Options& o);

// The folder for generated data and working copies (created on first use).
QString DataDir(const Options& o);
// The database to measure: --db, else the generated database of n clients in
// DataDir (generated on first use, reused afterwards).
QString SourceDatabase(const Options& o, long n);
// Where a benchmark that writes puts the database: with --in-place the source
// itself is linked as folder/fileName, otherwise copied there.
QString PrepareWritable(const Options& o, const QString& source, const QString& folder,
                        const QString& fileName);
// A folder of its own below DataDir, removed by the caller.
QString RunFolder(const Options& o, const QString& prefix);

// ---------------------------------------------------------------------------
// Generated data

// Key of client i: an 11-digit CPF-like text, unique per i.
QString ClienteCPF(long i);
// Nome of client i.
QString ClienteNome(long i);
// Creates a fresh database at path from the schema file (an existing file is replaced).
void CreateDatabase(const QString& path, const QString& schemaFile = QStringLiteral(VT_SCHEMA_FILE));
// Appends clients first .. first+count-1 to an existing database, in one transaction.
void GenerateClients(const QString& path, long first, long count);
// A database with clients 0 .. n-1 at dir/clientes-<n>.mdb, generated on first
// use (under a temporary name, so an interrupted run leaves nothing) and reused.
QString CachedDatabase(const QString& dir, long n);
// Copies a database file to a new path (replacing it and any -wal/-shm there).
void CopyDatabase(const QString& from, const QString& to);
// Removes a database file with its -wal, -shm and -journal files.
void RemoveDatabase(const QString& path);

// ---------------------------------------------------------------------------
// Raw floors: a plain connection opened as the program opens its own
// (read-write, no mutex, extended result codes, the same busy timeout), with
// none of the program's functions: Like is SQLite's built-in one.

class RawConnection {
 public:
  explicit RawConnection(const QString& path);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  sqlite3* Handle() const { return db_; }

  // Steps sql to its end; with columns, also reads every column's text.
  // Returns seconds; rows gets the row count.
  double Step(const QString& sql, bool columns, long* rows = nullptr) const;
  // The first column of each row, as text.
  QStringList Texts(const QString& sql) const;
  long Count(const QString& sql) const;

 private:
  sqlite3* db_ = nullptr;
};

// ---------------------------------------------------------------------------
// Measuring

class Timer {
 public:
  Timer() : start_(std::chrono::steady_clock::now()) {}
  void Restart() { start_ = std::chrono::steady_clock::now(); }
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

double Median(std::vector<double> v);
// Runs f repeat times and returns the median of its seconds.
double MedianOf(int repeat, const std::function<void()>& f);

// Peak resident memory of this process (VmHWM) and the current one (VmRSS), in kB.
long PeakMemoryKB();
long CurrentMemoryKB();
// Resets the peak to the current resident size where the kernel allows it.
void ResetPeakMemory();

// ---------------------------------------------------------------------------
// The target table

enum class Unit { Seconds, Milliseconds, MB, Ratio };

struct Target {
  QString what;
  double value;   // measured (seconds, MB or ratio, as unit says; ms are given in seconds)
  Unit unit;
  double limit;   // same unit as value; <= 0: no target, shown for information
  QString note = {};  // shown after the verdict
  bool Passed() const { return limit <= 0 || value <= limit; }
};

class TargetTable {
 public:
  void Add(Target t) { rows_.push_back(std::move(t)); }
  void Add(const QString& what, double value, Unit unit, double limit, const QString& note = {}) {
    Add(Target{what, value, unit, limit, note});
  }
  // Prints the rows with their verdicts; returns true when every target passed.
  bool Print(const QString& title) const;

  // For a benchmark measuring in a child process: the child writes each row
  // to stdout as one line, the parent collects the lines of its output.
  static void Emit(const Target& t);
  void Collect(const QByteArray& childOutput);

 private:
  std::vector<Target> rows_;
};

// The task's size-dependent targets: the 1M value up to 1,000,000 clients,
// the 10M value above.
inline double BySize(long clients, double at1M, double at10M) {
  return clients <= 1000000 ? at1M : at10M;
}

}  // namespace vtbench
