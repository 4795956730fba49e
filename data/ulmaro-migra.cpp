// ulmaro-migra: copies the clients of an ulmaro.mdb file to a PostgreSQL
// server made from schema-pg.sql, or back. Keeps DataCadastro and the order of
// registration; refuses a target that already has clients unless told to add
// to them; reports every row it refused, with the reason.
//
//   ulmaro-migra para-servidor <arquivo.mdb> [--servidor <conexão>] [--acrescentar]
//   ulmaro-migra para-arquivo  <arquivo.mdb> [--servidor <conexão>] [--acrescentar]
//
// The server is the libpq connection string given, or else the one the program
// itself would use (VT_SERVIDOR: a connection string or a service name).
// Exit status: 0 all copied, 1 some rows refused, 2 nothing copied.
#include <libpq-fe.h>
#include <sqlite3.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <cstdio>
#include <vector>

#include "data/clientes.h"
#include "data/copia.h"
#include "data/migra_access.h"

namespace {

void Diz(const QString& s) { std::fprintf(stdout, "%s\n", qUtf8Printable(s)); }
void Erro(const QString& s) { std::fprintf(stderr, "%s\n", qUtf8Printable(s)); }

const QStringList& Colunas() { return clientes::Colunas(); }  // DataCadastro last
bool Numerica(const QString& c) { return c == QLatin1String("Num") || c == QLatin1String("DDD"); }

// Shows how far a long copy has gone, on one line of the terminal.
struct Progresso {
  long total;
  long feitos = 0;
  void Passo() {
    ++feitos;
    if (total >= 10000 && (feitos % 10000 == 0 || feitos == total)) {
      std::fprintf(stderr, "\r%ld de %ld clientes", feitos, total);
      if (feitos == total) std::fprintf(stderr, "\n");
    }
  }
};

struct Recusa {
  QString chave, motivo;
};

PGconn* ConectaServidor(const QString& conninfo) {
  const QByteArray info = conninfo.toUtf8();
  const char* keys[] = {"application_name", "dbname", "client_encoding", nullptr};
  const char* values[] = {"ulmaro-migra", info.constData(), "UTF8", nullptr};
  PGconn* c = PQconnectdbParams(keys, values, 1);
  if (PQstatus(c) != CONNECTION_OK) {
    Erro(QStringLiteral("Não foi possível conectar ao servidor: ") + QString::fromUtf8(PQerrorMessage(c)).trimmed());
    PQfinish(c);
    return nullptr;
  }
  const char* scs = PQparameterStatus(c, "standard_conforming_strings");
  if (!scs || qstrcmp(scs, "on") != 0) {
    Erro(QStringLiteral("O servidor precisa de standard_conforming_strings = on"));
    PQfinish(c);
    return nullptr;
  }
  PQclear(PQexec(c, "SET DateStyle = 'ISO, YMD'; SET TimeZone = 'UTC'"));
  return c;
}

bool Comando(PGconn* c, const char* sql) {
  PGresult* r = PQexec(c, sql);
  const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK;
  if (!ok) Erro(QString::fromUtf8(PQresultErrorMessage(r)).trimmed());
  PQclear(r);
  return ok;
}

long ContaServidor(PGconn* c) {
  PGresult* r = PQexec(c, "Select count(*) From Clientes");
  long n = PQresultStatus(r) == PGRES_TUPLES_OK ? QByteArray(PQgetvalue(r, 0, 0)).toLong() : -1;
  if (n < 0) Erro(QString::fromUtf8(PQresultErrorMessage(r)).trimmed());
  PQclear(r);
  return n;
}

long ContaArquivo(sqlite3* db) {
  sqlite3_stmt* st = nullptr;
  long n = -1;
  if (sqlite3_prepare_v2(db, "Select count(*) From Clientes", -1, &st, nullptr) == SQLITE_OK &&
      sqlite3_step(st) == SQLITE_ROW)
    n = long(sqlite3_column_int64(st, 0));
  else
    Erro(QString::fromUtf8(sqlite3_errmsg(db)));
  sqlite3_finalize(st);
  return n;
}

// A row of the file as the server will take it, or the reason it cannot.
QString ValidaLinha(sqlite3_stmt* st, std::vector<QByteArray>* valores, std::vector<bool>* nulos) {
  valores->assign(size_t(Colunas().size()), QByteArray());
  nulos->assign(size_t(Colunas().size()), false);
  for (int i = 0; i < Colunas().size(); ++i) {
    const int tipo = sqlite3_column_type(st, i);
    const QByteArray texto(reinterpret_cast<const char*>(sqlite3_column_text(st, i)), sqlite3_column_bytes(st, i));
    QVariant v = tipo == SQLITE_NULL      ? QVariant()
                 : tipo == SQLITE_INTEGER ? QVariant(qint64(sqlite3_column_int64(st, i)))
                                          : QVariant(QString::fromUtf8(texto));
    if (const QString motivo = clientes::Recusa(Colunas()[i], v); !motivo.isEmpty()) return motivo;
    (*nulos)[size_t(i)] = v.isNull();
    (*valores)[size_t(i)] = texto;
  }
  return {};
}

int ParaServidor(sqlite3* db, PGconn* pg, bool acrescentar) {
  const long existentes = ContaServidor(pg);
  if (existentes < 0) return 2;
  if (existentes > 0 && !acrescentar) {
    Erro(QStringLiteral("O servidor já tem %1 clientes; nada foi copiado (use --acrescentar para juntar a eles)")
             .arg(existentes));
    return 2;
  }
  const long total = ContaArquivo(db);
  if (total < 0) return 2;
  sqlite3_stmt* st = nullptr;
  const QString lista = Colunas().join(QLatin1Char(','));
  if (sqlite3_prepare_v2(db, ("Select " + lista + " From Clientes Order By rowid").toUtf8().constData(), -1, &st,
                         nullptr) != SQLITE_OK) {
    Erro(QString::fromUtf8(sqlite3_errmsg(db)));
    return 2;
  }
  if (!Comando(pg, "BEGIN")) return 2;
  std::vector<Recusa> recusas;
  Progresso progresso{total};
  long copiados = 0;
  constexpr int kLote = 500;
  const int ncol = int(Colunas().size());
  // One multi-row insert per batch; a key already taken is skipped by the
  // server and named by its absence from what the insert returns.
  struct Pendente {
    std::vector<QByteArray> valores;
    std::vector<bool> nulos;
  };
  std::vector<Pendente> lote;
  auto envia = [&]() -> bool {
    if (lote.empty()) return true;
    QString sql = "Insert Into Clientes (" + lista + ") Values ";
    std::vector<const char*> ps;
    std::vector<int> tamanhos;
    int n = 0;
    for (size_t k = 0; k < lote.size(); ++k) {
      sql += k ? ",(" : "(";
      for (int i = 0; i < ncol; ++i) {
        sql += (i ? ",$" : "$") + QString::number(++n);
        ps.push_back(lote[k].nulos[size_t(i)] ? nullptr : lote[k].valores[size_t(i)].constData());
        tamanhos.push_back(int(lote[k].valores[size_t(i)].size()));
      }
      sql += ")";
    }
    sql += " On Conflict (CPFCod) Do Nothing Returning CPFCod";
    PGresult* r = PQexecParams(pg, sql.toUtf8().constData(), n, nullptr, ps.data(), tamanhos.data(), nullptr, 0);
    if (PQresultStatus(r) != PGRES_TUPLES_OK) {
      Erro(QStringLiteral("O servidor recusou a cópia; nada foi copiado: ") +
           QString::fromUtf8(PQresultErrorMessage(r)).trimmed());
      PQclear(r);
      return false;
    }
    QSet<QByteArray> gravadas;
    for (int i = 0; i < PQntuples(r); ++i) gravadas.insert(QByteArray(PQgetvalue(r, i, 0), PQgetlength(r, i, 0)));
    PQclear(r);
    for (const Pendente& p : lote) {
      if (gravadas.remove(p.valores[0]))
        ++copiados;
      else
        recusas.push_back({QString::fromUtf8(p.valores[0]),
                           QStringLiteral("CPF ou Código já existe no servidor (sem contar maiúsculas e minúsculas)")});
    }
    lote.clear();
    return true;
  };
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    Pendente p;
    const QString motivo = ValidaLinha(st, &p.valores, &p.nulos);
    progresso.Passo();
    if (!motivo.isEmpty()) {
      recusas.push_back({QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))), motivo});
      continue;
    }
    lote.push_back(std::move(p));
    if (int(lote.size()) == kLote && !envia()) {
      sqlite3_finalize(st);
      Comando(pg, "ROLLBACK");
      return 2;
    }
  }
  sqlite3_finalize(st);
  if (rc != SQLITE_DONE) {
    Erro(QString::fromUtf8(sqlite3_errmsg(db)));
    Comando(pg, "ROLLBACK");
    return 2;
  }
  if (!envia() || !Comando(pg, "COMMIT")) {
    Comando(pg, "ROLLBACK");
    return 2;
  }
  for (const Recusa& r : recusas) Diz(QStringLiteral("Recusado CPFCod '%1': %2").arg(r.chave, r.motivo));
  Diz(QStringLiteral("Copiados %1 clientes para o servidor; recusados %2.").arg(copiados).arg(recusas.size()));
  return recusas.empty() ? 0 : 1;
}

int ParaArquivo(sqlite3* db, PGconn* pg, bool acrescentar) {
  const long existentes = ContaArquivo(db);
  if (existentes < 0) return 2;
  if (existentes > 0 && !acrescentar) {
    Erro(QStringLiteral("O arquivo já tem %1 clientes; nada foi copiado (use --acrescentar para juntar a eles)")
             .arg(existentes));
    return 2;
  }
  const long total = ContaServidor(pg);
  if (total < 0) return 2;
  QStringList sel;
  for (const QString& c : Colunas())
    sel << (c == QLatin1String("DataCadastro") ? QStringLiteral("to_char(DataCadastro, 'YYYY-MM-DD HH24:MI:SS.MS')")
                                               : c);
  const QString lista = Colunas().join(QLatin1Char(','));
  QString marcas;
  for (int i = 0; i < Colunas().size(); ++i) marcas += i ? ",?" : "?";
  sqlite3_stmt* ins = nullptr;
  if (sqlite3_prepare_v2(db, ("Insert Into Clientes (" + lista + ") Values (" + marcas + ")").toUtf8().constData(), -1,
                         &ins, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    Erro(QString::fromUtf8(sqlite3_errmsg(db)));
    sqlite3_finalize(ins);
    return 2;
  }
  // The server's rows are streamed, not held all at once.
  if (!PQsendQuery(pg, ("Select " + sel.join(',') + " From Clientes Order By rowid").toUtf8().constData()) ||
      !PQsetSingleRowMode(pg)) {
    Erro(QString::fromUtf8(PQerrorMessage(pg)).trimmed());
    sqlite3_finalize(ins);
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return 2;
  }
  std::vector<Recusa> recusas;
  Progresso progresso{total};
  long copiados = 0;
  bool falhou = false;
  while (PGresult* r = PQgetResult(pg)) {
    const ExecStatusType s = PQresultStatus(r);
    if (s == PGRES_SINGLE_TUPLE && !falhou) {
      for (int i = 0; i < Colunas().size(); ++i) {
        if (PQgetisnull(r, 0, i))
          sqlite3_bind_null(ins, i + 1);
        else if (Numerica(Colunas()[i]))
          sqlite3_bind_int64(ins, i + 1, QByteArray(PQgetvalue(r, 0, i)).toLongLong());
        else
          sqlite3_bind_text(ins, i + 1, PQgetvalue(r, 0, i), PQgetlength(r, 0, i), SQLITE_TRANSIENT);
      }
      const int rc = sqlite3_step(ins);
      if (rc == SQLITE_DONE)
        ++copiados;
      else if ((rc & 0xff) == SQLITE_CONSTRAINT)
        recusas.push_back({QString::fromUtf8(PQgetvalue(r, 0, 0)), QString::fromUtf8(sqlite3_errmsg(db))});
      else {
        Erro(QStringLiteral("O arquivo recusou a cópia; nada foi copiado: ") + QString::fromUtf8(sqlite3_errmsg(db)));
        falhou = true;
      }
      sqlite3_reset(ins);
      sqlite3_clear_bindings(ins);
      progresso.Passo();
    } else if (s != PGRES_SINGLE_TUPLE && s != PGRES_TUPLES_OK) {
      Erro(QString::fromUtf8(PQresultErrorMessage(r)).trimmed());
      falhou = true;
    }
    PQclear(r);
  }
  sqlite3_finalize(ins);
  if (falhou || sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return 2;
  }
  for (const Recusa& r : recusas) Diz(QStringLiteral("Recusado CPFCod '%1': %2").arg(r.chave, r.motivo));
  Diz(QStringLiteral("Copiados %1 clientes para o arquivo; recusados %2.").arg(copiados).arg(recusas.size()));
  return recusas.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (args.value(0) == QLatin1String("copia")) return copia::Copia(args.mid(1));
  const bool acrescentar = args.removeAll(QStringLiteral("--acrescentar")) > 0;
  QString servidor = qEnvironmentVariable("VT_SERVIDOR").trimmed();
  if (const qsizetype i = args.indexOf(QStringLiteral("--servidor")); i >= 0 && i + 1 < args.size()) {
    servidor = args[i + 1];
    args.remove(i, 2);
  }
  static const QRegularExpression nome(QStringLiteral("^[A-Za-z0-9_.-]+$"));
  if (nome.match(servidor).hasMatch()) servidor = QStringLiteral("service=") + servidor;
  if (const int rc = MigraAccess(args, servidor, acrescentar); rc >= 0) return rc;  // from an Access file
  if (args.size() != 2 || (args[0] != QLatin1String("para-servidor") && args[0] != QLatin1String("para-arquivo")) ||
      servidor.isEmpty()) {
    Erro(QStringLiteral("Uso: ulmaro-migra para-servidor|para-arquivo <arquivo.mdb> [--servidor <conexão>] "
                        "[--acrescentar]\n(sem --servidor, vale VT_SERVIDOR)"));
    return 2;
  }
  const bool paraServidor = args[0] == QLatin1String("para-servidor");
  sqlite3* db = nullptr;
  // Never creates the file: the target file is made from schema.sql beforehand.
  if (sqlite3_open_v2(args[1].toUtf8().constData(), &db,
                      paraServidor ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    Erro(QStringLiteral("Não foi possível abrir o arquivo %1: %2").arg(args[1], QString::fromUtf8(sqlite3_errmsg(db))));
    sqlite3_close(db);
    return 2;
  }
  sqlite3_busy_timeout(db, 5000);
  PGconn* pg = ConectaServidor(servidor);
  int rc = 2;
  if (pg) rc = paraServidor ? ParaServidor(db, pg, acrescentar) : ParaArquivo(db, pg, acrescentar);
  PQfinish(pg);
  sqlite3_close(db);
  return rc;
}
