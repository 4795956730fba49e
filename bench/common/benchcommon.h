#pragma once
// Helpers for the benchmarks: generated client databases, peak memory, a timer.
//
// Usage:
//   #include "bench/common/benchcommon.h"
//   QString db = vtbench::CachedDatabase(VT_BENCH_CACHE_DIR, 1000000);  // generated once, reused
//   forms::SetProgramFolder(...) or copy db where the program expects ulmaro.mdb
//   vtbench::Timer t; ...; double s = t.Seconds();
//   vtbench::ResetPeakMemory(); ...; long kb = vtbench::PeakMemoryKB();
// Link the target vt_benchcommon; it defines VT_BENCH_CACHE_DIR (a folder in
// the build tree) and VT_SCHEMA_FILE (data/schema.sql) for its users.
//
// Client i (0-based) of a generated database is fully determined by i: its key
// is ClienteCPF(i), and DataCadastro grows with i, so "Order By DataCadastro"
// lists the clients in generation order and the last row is client n-1.
// About one client in three has the surname kSobrenomeComum in Nome; one in
// kRaroCada (i % kRaroCada == 7) has kSobrenomeRaro, no other client does.
// Optional columns (Hobby, Complemento, Bairro, Email, Obs) are sometimes Null.
#include <QString>
#include <chrono>

namespace vtbench {

inline constexpr const char* kSobrenomeComum = "Silva";
inline constexpr const char* kSobrenomeRaro = "Quintanilha";
inline constexpr long kRaroCada = 10007;

// Key of client i: an 11-digit CPF-like text, unique per i.
QString ClienteCPF(long i);
// Nome of client i.
QString ClienteNome(long i);

// Creates a fresh database at path from the schema file (an existing file is replaced).
void CreateDatabase(const QString& path, const QString& schemaFile = QStringLiteral(VT_SCHEMA_FILE));
// Appends clients first .. first+count-1 to an existing database, in one transaction.
void GenerateClients(const QString& path, long first, long count);
// A database with clients 0 .. n-1 at dir/clientes-<n>.mdb, generated on first
// use and reused afterwards. Returns its path.
QString CachedDatabase(const QString& dir, long n);
// Copies a database file to a new path (replacing it); for benchmarks that write.
void CopyDatabase(const QString& from, const QString& to);

// Peak resident memory of this process (VmHWM) and the current one (VmRSS), in kB.
long PeakMemoryKB();
long CurrentMemoryKB();
// Resets the peak to the current resident size where the kernel allows it.
void ResetPeakMemory();

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

}  // namespace vtbench
