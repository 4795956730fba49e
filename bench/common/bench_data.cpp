// Generates the client databases the benchmarks use, once, and prints their paths.
// Usage: bench_data --dir DIR --clients N [--clients N ...]
#include <QCoreApplication>
#include <cstdio>

#include "bench/common/benchcommon.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const vtbench::Options o = vtbench::ParseOptions(argc, argv, "Generates dir/clientes-<N>.mdb for each N.\n");
  for (long n : o.clients) {
    vtbench::Timer t;
    const QString path = vtbench::SourceDatabase(o, n);
    std::printf("%s (%.1f s)\n", qPrintable(path), t.Seconds());
  }
  return 0;
}
