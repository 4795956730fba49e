// Converting an Access ulmaro.mdb: reading its clients (in the reader's child
// process) and writing the new database in place, as the program's start does.
//   build/bench/bench_access --clients 100000 [--repeat 3] [--dir DIR]
// The Access file is generated once per size into DIR (access-<n>.mdb) and
// copied into a run folder for each conversion.
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cstdio>

#include "bench/common/benchcommon.h"
#include "data/conversao.h"
#include "tests/access/jetgen.h"

namespace {

QString AccessFile(const vtbench::Options& o, long n) {
  const QString path = vtbench::DataDir(o) + QStringLiteral("/access-%1.mdb").arg(n);
  if (QFile::exists(path)) return path;
  using namespace jetgen;
  Tabela t{"Clientes",
           {{"CPFCod", Texto}, {"Nome", Texto}, {"Sexo", Texto}, {"Hobby", Texto}, {"CEP", Texto},
            {"Endereco", Texto}, {"Num", Longo}, {"Complemento", Texto}, {"Bairro", Texto}, {"Cidade", Texto},
            {"UF", Texto}, {"DDD", Inteiro}, {"Fone", Texto}, {"Email", Texto}, {"Obs", Memo},
            {"DataCadastro", DataHora}},
           {}};
  const QDateTime inicio(QDate(2001, 1, 1), QTime(8, 0));
  for (long i = 0; i < n; ++i)
    t.linhas << QVariantList{vtbench::ClienteCPF(i), vtbench::ClienteNome(i), i % 2 ? "M" : "F",
                             i % 3 ? QVariant() : QVariant("Xadrez"), "01310-100", "Av. Paulista", qint64(i % 9999),
                             QVariant(), "Bela Vista", "São Paulo", "SP", 11, "3255-1234", "cliente@exemplo.com.br",
                             i % 5 ? QVariant() : QVariant(QString(400, QLatin1Char('o'))), inicio.addSecs(i * 60)};
  QFile f(path + ".tmp");
  if (!f.open(QIODevice::WriteOnly) || f.write(jetgen::Arquivo({t})) < 0 || !f.flush())
    qFatal("cannot write %s", qPrintable(path));
  f.close();
  QFile::rename(path + ".tmp", path);
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const vtbench::Options o = vtbench::ParseOptions(argc, argv, "");
  vtbench::TargetTable tabela;
  for (long n : o.clients.empty() ? std::vector<long>{100000} : o.clients) {
    const QString origem = AccessFile(o, n);
    std::vector<double> ler, gravar, total;
    for (int r = 0; r < (o.repeat > 0 ? o.repeat : 3); ++r) {
      const QString pasta = vtbench::RunFolder(o, QStringLiteral("access"));
      QFile::copy(origem, pasta + QStringLiteral("/ulmaro.mdb"));
      vtbench::Timer t;
      const conversao::Leitura l = conversao::Le(pasta + QStringLiteral("/ulmaro.mdb"), {});
      ler.push_back(t.Seconds());
      vtbench::Timer g;
      conversao::Substitui(l, {});
      gravar.push_back(g.Seconds());
      total.push_back(t.Seconds());
      if (l.Aceitas() != n) qFatal("converted %lld of %ld clients", l.Aceitas(), n);
      QDir(pasta).removeRecursively();
    }
    const QString c = QStringLiteral("%1 clients").arg(n);
    tabela.Add(c + ": read and check", vtbench::Median(ler), vtbench::Unit::Seconds, 0);
    tabela.Add(c + ": write, check, rename", vtbench::Median(gravar), vtbench::Unit::Seconds, 0);
    tabela.Add(c + ": whole conversion", vtbench::Median(total), vtbench::Unit::Seconds, n <= 100000 ? 10 : 0);
  }
  return tabela.Print(QStringLiteral("Access ulmaro.mdb converted")) ? 0 : 1;
}
