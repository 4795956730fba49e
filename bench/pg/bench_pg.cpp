// The program's commands on a PostgreSQL server over its Unix socket, with a
// table of n clients (default 1,000,000): the client form's key check, GRAVAR
// and EXCLUIR as the form runs them (statement, then Requery of the browse
// recordset), the key check right after another desk's GRAVAR or EXCLUIR,
// and the search dialog's "Contém" with its list filled, against the same
// query read raw through libpq. Starts a cluster of its own, with a
// server's usual durability (fsync on).
//   build/bench/bench_pg [n]
#include <libpq-fe.h>

#include <QCoreApplication>
#include <QDateTime>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "data/clientes.h"
#include "platform/ado/ado.h"
#include "tests/pg/pgcluster.h"

namespace {

double Agora() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Medida {
  std::vector<double> ms;
  double Mediana() {
    std::sort(ms.begin(), ms.end());
    return ms.empty() ? 0 : ms[ms.size() / 2];
  }
  double Pior() { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
};

QString Cpf(long i) { return QString::number(10000000000L + i * 7919L % 89999999999L); }

// n clients by COPY; one in three is a Silva, one in 10007 a Quintanilha.
void Carrega(const QString& conninfo, long n) {
  PGconn* c = PQconnectdb(conninfo.toUtf8().constData());
  PGresult* r = PQexec(c, "COPY Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,DataCadastro) FROM STDIN");
  PQclear(r);
  QByteArray buf;
  for (long i = 0; i < n; ++i) {
    const char* sobrenome = i % 10007 == 7 ? "Quintanilha" : i % 3 == 0 ? "Silva" : "Santos";
    buf += (Cpf(i) + "\tCliente " + QString::number(i) + " " + sobrenome + "\tF\t01310-100\tRua " +
            QString::number(i % 500) + "\t" + QString::number(i % 9999 + 1) + "\tSão Paulo\tSP\t11\t3255-" +
            QString::number(1000 + i % 9000) + "\t" +
            QDateTime::fromMSecsSinceEpoch(1577836800000LL + i * 1000, Qt::UTC).toString("yyyy-MM-dd HH:mm:ss.zzz") +
            "\n")
               .toUtf8();
    if (buf.size() > (1 << 20) || i + 1 == n) {
      PQputCopyData(c, buf.constData(), int(buf.size()));
      buf.clear();
    }
  }
  PQputCopyEnd(c, nullptr);
  while ((r = PQgetResult(c))) {
    if (PQresultStatus(r) != PGRES_COMMAND_OK) std::fprintf(stderr, "COPY: %s\n", PQresultErrorMessage(r));
    PQclear(r);
  }
  PQclear(PQexec(c, "VACUUM ANALYZE Clientes"));
  PQfinish(c);
}

clientes::Cliente Novo(long i) {
  return {"N" + QString::number(i), "Novo Cliente", "Feminino", "", "01310-100", "Rua", "1", "", "", "São Paulo", "SP",
          "11", "3255-1234", "", ""};
}

// The search dialog's reading: the three columns of every row, as text.
long PreencheLista(ado::Connection& cn, const QString& sql) {
  auto rs = cn.Execute(sql);
  std::vector<QString> lista;
  const int col[3] = {rs->FieldIndex("CPFCod"), rs->FieldIndex("Nome"), rs->FieldIndex("Fone")};
  for (; !rs->EOF_(); rs->MoveNext())
    for (int k : col) {
      QByteArrayView t;
      rs->FieldUtf8(k, &t);
      lista.push_back(ado::TextFromUtf8(t));
    }
  return long(lista.size() / 3);
}

long Bruta(PGconn* c, const QString& sql) {
  PGresult* r = PQexec(c, sql.toUtf8().constData());
  std::vector<QString> lista;
  for (int i = 0; i < PQntuples(r); ++i)
    for (int k = 0; k < 3; ++k) lista.push_back(QString::fromUtf8(PQgetvalue(r, i, k), PQgetlength(r, i, k)));
  PQclear(r);
  return long(lista.size() / 3);
}

// The table's size from the command line; --help prints the usage and ends.
long Tamanho(const QStringList& args) {
  const auto uso = [](FILE* f, int rc) {
    std::fprintf(f, "usage: bench_pg [n]\n  n: clients in the table (default 1000000); starts a server of its own\n");
    std::exit(rc);
  };
  if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) uso(stdout, 0);
  if (args.isEmpty()) return 1000000;
  bool ok = false;
  const long n = args[0].toLong(&ok);
  if (args.size() > 1 || !ok || n <= 0) uso(stderr, 2);
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const long n = Tamanho(app.arguments().mid(1));
  pgteste::Cluster cluster(false);
  cluster.CriaBanco("ulmaro", VT_SOURCE_DIR "/data/schema-pg.sql");
  const QString conninfo = cluster.Conninfo("ulmaro");
  double t = Agora();
  Carrega(conninfo, n);
  std::printf("PostgreSQL over its Unix socket, %ld clients (loaded in %.1f s)\n\n", n, (Agora() - t) / 1000);

  ado::Connection cn;
  cn.Open("Provider=PostgreSQL;Data Source=\"" + conninfo + "\"");
  ado::Recordset rs;
  t = Agora();
  rs.Open(clientes::SelectBrowse(), cn);
  rs.MoveLast();
  const double abre = Agora() - t;

  constexpr int kVezes = 30;
  Medida chave, chaveAusente, grava, exclui;
  for (int i = 0; i < kVezes; ++i) {
    t = Agora();
    rs.Requery();
    rs.Find(clientes::CriterioChave(Cpf(n / 2 + i)));
    chave.ms.push_back(Agora() - t);
    if (rs.EOF_()) std::fprintf(stderr, "key not found\n");
    t = Agora();
    rs.Requery();
    rs.Find(clientes::CriterioChave("ausente"));
    chaveAusente.ms.push_back(Agora() - t);
    t = Agora();
    cn.Execute(clientes::InsertSQL(Novo(i)));
    rs.Requery();
    grava.ms.push_back(Agora() - t);
    t = Agora();
    cn.Execute(clientes::DeleteSQL(Novo(i).CPFCod));
    rs.Requery();
    rs.MoveLast();
    exclui.ms.push_back(Agora() - t);
  }
  // Another desk saves and deletes; this desk's key check follows each.
  ado::Connection outra;
  outra.Open("Provider=PostgreSQL;Data Source=\"" + conninfo + "\"");
  Medida aposGravar, aposExcluir;
  for (int i = 0; i < kVezes; ++i) {
    const clientes::Cliente c = Novo(1000 + i);
    outra.Execute(clientes::InsertSQL(c));
    t = Agora();
    rs.Requery();
    rs.Find(clientes::CriterioChave(c.CPFCod));
    aposGravar.ms.push_back(Agora() - t);
    if (rs.EOF_()) std::fprintf(stderr, "the other desk's client not found\n");
    outra.Execute(clientes::DeleteSQL(c.CPFCod));
    t = Agora();
    rs.Requery();
    rs.Find(clientes::CriterioChave(c.CPFCod));
    aposExcluir.ms.push_back(Agora() - t);
    if (!rs.EOF_()) std::fprintf(stderr, "the other desk's deleted client still found\n");
  }
  if (rs.RecordCount() != n) std::fprintf(stderr, "RecordCount %ld, table %ld\n", rs.RecordCount(), n);

  std::printf("%-44s %10s %10s\n", "command", "median ms", "worst ms");
  std::printf("%-44s %10.2f %10s\n", "open the form (Open + MoveLast)", abre, "");
  std::printf("%-44s %10.2f %10.2f\n", "key check, key present (Requery + Find)", chave.Mediana(), chave.Pior());
  std::printf("%-44s %10.2f %10.2f\n", "key check, key absent", chaveAusente.Mediana(), chaveAusente.Pior());
  std::printf("%-44s %10.2f %10.2f\n", "GRAVAR (Insert + Requery)", grava.Mediana(), grava.Pior());
  std::printf("%-44s %10.2f %10.2f\n", "EXCLUIR (Delete + Requery + MoveLast)", exclui.Mediana(), exclui.Pior());
  std::printf("%-44s %10.2f %10.2f\n", "key check after another desk's GRAVAR", aposGravar.Mediana(),
              aposGravar.Pior());
  std::printf("%-44s %10.2f %10.2f\n", "key check after another desk's EXCLUIR", aposExcluir.Mediana(),
              aposExcluir.Pior());

  PGconn* raw = PQconnectdb(conninfo.toUtf8().constData());
  std::printf("\n%-44s %8s %10s %10s %7s\n", "Contém (median of 5)", "rows", "ado ms", "raw ms", "ratio");
  for (const char* texto : {"Quintanilha", "Silva"}) {
    const QString sql = clientes::SelectBusca(clientes::CriterioBusca(clientes::Campo::Nome, true, texto));
    // The raw query is the same text as the server reads it from the data objects.
    const QString cru = sql + " Escape ''";
    Medida a, b;
    long linhas = 0;
    for (int i = 0; i < 5; ++i) {
      t = Agora();
      linhas = PreencheLista(cn, sql);
      a.ms.push_back(Agora() - t);
      t = Agora();
      Bruta(raw, cru);
      b.ms.push_back(Agora() - t);
    }
    const double ma = a.Mediana(), mb = b.Mediana();
    std::printf("%-44s %8ld %10.1f %10.1f %7.2f\n", texto, linhas, ma, mb, ma / mb);
  }
  PQfinish(raw);
  return 0;
}
