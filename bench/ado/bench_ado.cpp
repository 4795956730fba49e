// The browse recordset alone, on the client form's query: what each form
// command asks of it (open and MoveLast, the four moves, Requery with and
// without a change of its own, Find of a key that exists and of one that
// does not) and the memory it holds, beside raw SQLite floors. Targets are
// the form commands' own: the data objects' share must fit within them.
// It writes (one client, deleted again), so it works on a copy unless --in-place.
#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <functional>

#include "bench/common/benchcommon.h"
#include "platform/ado/ado.h"

namespace {

using namespace vtbench;

const char* const kUsage = "bench_ado [--clients N ... | --db FILE [--in-place]] [--dir DIR] [--repeat N]\n";
const QString kBrowse = QStringLiteral("Select * From Clientes Order By DataCadastro");

void Confere(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "benchmark stopped: %s\n", what);
    std::exit(1);
  }
}

bool Run(const Options& o, long n) {
  const int repeat = o.repeat > 0 ? o.repeat : 21;
  const QString fonte = SourceDatabase(o, n);
  const QString pasta = RunFolder(o, QStringLiteral("ado"));
  const QString banco = PrepareWritable(o, fonte, pasta, QStringLiteral("ulmaro.mdb"));
  const RawConnection raw(banco);
  const long linhas = raw.Count(QStringLiteral("Select count(*) From Clientes"));
  const QStringList meio = raw.Texts(
      QStringLiteral("Select CPFCod From Clientes Where rowid >= (Select max(rowid) / 2 From Clientes) Limit 1"));
  Confere(!meio.isEmpty(), "no middle key");
  const QString chave = meio[0];

  ado::Connection cn;
  cn.Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" + banco + "\"");
  const long antes = CurrentMemoryKB();
  ado::Recordset rs;
  Timer t;
  rs.Open(kBrowse, cn);
  rs.MoveLast();
  rs.Fields(QStringLiteral("CPFCod"));
  const double primeiraAbertura = t.Seconds();
  const double retido = (CurrentMemoryKB() - antes) / 1024.0;
  Confere(rs.RecordCount() == linhas, "RecordCount");

  const double abre = MedianOf(repeat, [&] {
    ado::Recordset r;
    r.Open(kBrowse, cn);
    r.MoveLast();
    r.Fields(QStringLiteral("CPFCod"));
  });
  auto move = [&](void (ado::Recordset::*m)(), bool voltaAoFim) {
    return MedianOf(repeat, [&] {
      if (voltaAoFim ? rs.EOF_() : rs.BOF()) voltaAoFim ? rs.MoveFirst() : rs.MoveLast();
      (rs.*m)();
      rs.Fields(QStringLiteral("CPFCod"));
    });
  };
  const double primeiro = move(&ado::Recordset::MoveFirst, false);
  const double ultimo = move(&ado::Recordset::MoveLast, false);
  rs.MoveFirst();
  const double proximo = move(&ado::Recordset::MoveNext, true);
  rs.MoveLast();
  const double anterior = move(&ado::Recordset::MovePrevious, false);
  const double requery = MedianOf(repeat, [&] { rs.Requery(); });
  const double achaExistente = MedianOf(repeat, [&] {
    rs.Requery();
    rs.Find("CPFCod = '" + chave + "'");
  });
  Confere(!rs.EOF_() && rs.Fields(QStringLiteral("CPFCod")).toString() == chave, "Find of an existing key");
  const double achaAusente = MedianOf(repeat, [&] {
    rs.Requery();
    rs.Find(QStringLiteral("CPFCod = '000.000.000-00x'"));
  });
  Confere(rs.EOF_(), "Find of an absent key");
  // Each write of a form command, split into its statement (with its commit)
  // and the Requery that follows it.
  std::vector<double> insere, requeryInsere, altera, requeryAltera, apaga, requeryApaga;
  auto tempo = [](std::vector<double>& v, const std::function<void()>& f) {
    Timer k;
    f();
    v.push_back(k.Seconds());
  };
  for (int i = 0; i < repeat; ++i) {
    tempo(insere, [&] {
      cn.Execute(QStringLiteral("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone) "
                                "Values ('bench-ado','Bench','M','01310-100','Rua',1,'Recife','PE',81,'3255-1234')"));
    });
    tempo(requeryInsere, [&] { rs.Requery(); });
    Confere(rs.RecordCount() == linhas + 1, "RecordCount after an insert");
    tempo(altera, [&] {
      cn.Execute(QStringLiteral("Update Clientes Set Nome = 'Bench %1', Fone = '3255-0000' Where CPFCod = 'bench-ado'")
                     .arg(i));
    });
    tempo(requeryAltera, [&] { rs.Requery(); });
    tempo(apaga, [&] { cn.Execute(QStringLiteral("Delete From Clientes Where CPFCod = 'bench-ado'")); });
    tempo(requeryApaga, [&] { rs.Requery(); });
    Confere(rs.RecordCount() == linhas, "RecordCount after a delete");
  }
  const double contagem = MedianOf(repeat, [&] { raw.Step(QStringLiteral("Select count(*) From Clientes"), false); });
  const double lido = MedianOf(repeat, [&] {
    raw.Step("Select * From Clientes Where CPFCod = '" + chave + "'", true);
  });

  TargetTable table;
  table.Add(QStringLiteral("open + MoveLast (first)"), primeiraAbertura, Unit::Milliseconds, 0);
  table.Add(QStringLiteral("open + MoveLast"), abre, Unit::Milliseconds, 0);
  table.Add(QStringLiteral("MoveFirst"), primeiro, Unit::Milliseconds, 0.002);
  table.Add(QStringLiteral("MovePrevious"), anterior, Unit::Milliseconds, 0.002);
  table.Add(QStringLiteral("MoveNext"), proximo, Unit::Milliseconds, 0.002);
  table.Add(QStringLiteral("MoveLast"), ultimo, Unit::Milliseconds, 0.002);
  table.Add(QStringLiteral("Requery, nothing changed"), requery, Unit::Milliseconds, 0.005);
  table.Add(QStringLiteral("Insert (statement and commit)"), Median(insere), Unit::Milliseconds, 0);
  table.Add(QStringLiteral("Requery after the insert"), Median(requeryInsere), Unit::Milliseconds, 0.005);
  table.Add(QStringLiteral("Update by key (statement and commit)"), Median(altera), Unit::Milliseconds, 0);
  table.Add(QStringLiteral("Requery after the update"), Median(requeryAltera), Unit::Milliseconds, 0.005);
  table.Add(QStringLiteral("Delete by key (statement and commit)"), Median(apaga), Unit::Milliseconds, 0);
  table.Add(QStringLiteral("Requery after the delete"), Median(requeryApaga), Unit::Milliseconds, 0.005);
  table.Add(QStringLiteral("Requery + Find, existing key"), achaExistente, Unit::Milliseconds, 0.005);
  table.Add(QStringLiteral("Requery + Find, absent key"), achaAusente, Unit::Milliseconds, 0.005);
  table.Add(QStringLiteral("memory held by the open recordset"), retido, Unit::MB, 0, QStringLiteral("VmRSS growth"));
  table.Add(QStringLiteral("raw: count(*)"), contagem, Unit::Milliseconds, 0, QStringLiteral("plain connection"));
  table.Add(QStringLiteral("raw: one client by key"), lido, Unit::Milliseconds, 0, QStringLiteral("plain connection"));
  const bool ok = table.Print(QStringLiteral("Browse recordset \"%1\", %2 clients, medians of %3")
                                  .arg(kBrowse).arg(linhas).arg(repeat));
  rs.Close();
  cn.Close();
  if (o.inPlace) QFile::remove(banco);
  QDir(pasta).removeRecursively();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const Options o = ParseOptions(argc, argv, kUsage);
  std::vector<long> sizes = o.clients;
  if (!o.db.isEmpty()) sizes = {0};
  else if (sizes.empty()) sizes = {1000000};
  bool ok = true;
  for (long n : sizes) ok = Run(o, n) && ok;
  return ok ? 0 : 1;
}
