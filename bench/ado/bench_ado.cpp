// Browse recordset over generated client tables: open + MoveLast, Requery,
// Find of the last key and memory, against raw SQLite stepping the same SELECT.
// Usage: bench_ado [N ...]   (default 100000 1000000)
#include <sqlite3.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "bench/common/benchcommon.h"
#include "platform/ado/ado.h"

namespace {

const char* const kBrowse = "Select * From Clientes Order By DataCadastro";

// Median of three runs, in seconds.
double Median3(const std::function<void()>& f) {
  std::vector<double> t;
  for (int i = 0; i < 3; ++i) {
    vtbench::Timer timer;
    f();
    t.push_back(timer.Seconds());
  }
  std::sort(t.begin(), t.end());
  return t[1];
}

double RawStep(const QString& path) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, kBrowse, -1, &st, nullptr);
  long rows = 0;
  const double s = Median3([&] {
    sqlite3_reset(st);
    rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) ++rows;
  });
  sqlite3_finalize(st);
  sqlite3_close(db);
  return s;
}

void Run(long n) {
  std::fprintf(stderr, "preparing %ld clients...\n", n);
  const QString path = vtbench::CachedDatabase(QStringLiteral(VT_BENCH_CACHE_DIR), n);
  const double raw = RawStep(path);  // also warms the file cache

  ado::Connection cn;
  cn.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path);
  const QString lastKey = vtbench::ClienteCPF(n - 1);

  const long before = vtbench::CurrentMemoryKB();
  vtbench::ResetPeakMemory();
  ado::Recordset rs;
  vtbench::Timer t;
  rs.Open(kBrowse, cn);
  rs.MoveLast();
  const QString key = rs.Fields("CPFCod").toString();
  const double open = t.Seconds();
  const long peakDelta = vtbench::PeakMemoryKB() - before;
  const long heldDelta = vtbench::CurrentMemoryKB() - before;
  if (key != lastKey || rs.RecordCount() != n) std::fprintf(stderr, "WRONG last row %s\n", qPrintable(key));

  const double requery = Median3([&] { rs.Requery(); });
  const double find = Median3([&] {
    rs.MoveFirst();
    rs.Find("CPFCod = '" + lastKey + "'");
  });
  if (rs.EOF_() || rs.Fields("CPFCod").toString() != lastKey) std::fprintf(stderr, "WRONG Find\n");

  const double openMed = Median3([&] {
    ado::Recordset r;
    r.Open(kBrowse, cn);
    r.MoveLast();
    r.Fields("CPFCod");
  });

  std::printf("%9ld | %8.3f %8.3f | %8.3f | %8.4f | %7.1f %7.1f | %8.3f | %5.2f %5.2f | %7.1f\n", n,
              open, openMed, requery, find, peakDelta / 1024.0, heldDelta / 1024.0, raw,
              openMed / raw, requery / raw, vtbench::PeakMemoryKB() / 1024.0);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atol(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};
  std::printf("Browse recordset \"%s\"; times in s (median of 3 unless first), memory in MB\n", kBrowse);
  std::printf("Targets at 1,000,000: open+MoveLast and Requery <= 0.15 s and <= 0.3 x raw; Find <= 0.05 s; recordset <= 64 MB\n\n");
  std::printf("%9s | %8s %8s | %8s | %8s | %7s %7s | %8s | %5s %5s | %7s\n", "clients", "open 1st",
              "open", "requery", "find", "rs peak", "rs held", "raw step", "o/raw", "r/raw",
              "VmHWM");
  for (long n : sizes) Run(n);
  return 0;
}
