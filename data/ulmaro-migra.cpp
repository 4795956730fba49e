// ulmaro-migra: copies the clients of an ulmaro.mdb file to a PostgreSQL
// server made from schema-pg.sql, or back. Keeps DataCadastro and the order of
// registration; refuses a target that already has clients unless told to add
// to them; reports every row it refused, with the reason.
//
//   ulmaro-migra para-servidor <arquivo.mdb> [--servidor <conexão>] [--acrescentar]
//   ulmaro-migra para-arquivo  <arquivo.mdb> [--servidor <conexão>] [--acrescentar]
//
// The server is the one given, or else the one the program itself would use
// (VT_SERVIDOR: a connection string or a service name); it is reached
// through the program's own connection, so the session is set up as the
// program's is. Both sides go through the data objects.
// Exit status: 0 all copied, 1 some rows refused, 2 nothing copied.
#include <QCoreApplication>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>
#include <cstdio>
#include <vector>

#include "data/clientes.h"
#include "data/copia.h"
#include "data/mGeral.h"
#include "data/migra_access.h"
#include "platform/ado/ado.h"

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

// Runs a statement; reports its failure.
bool Comando(ado::Connection& cn, const QString& sql) {
  try {
    cn.Execute(sql);
    return true;
  } catch (const ado::Error& e) {
    Erro(e.Description());
    return false;
  }
}

long Conta(ado::Connection& cn) {
  try {
    return long(cn.Execute(QStringLiteral("Select count(*) From Clientes"))->Fields(0).toLongLong());
  } catch (const ado::Error& e) {
    Erro(e.Description());
    return -1;
  }
}

QString Literal(const QString& texto) { return QLatin1Char('\'') + clientes::Aspas(texto) + QLatin1Char('\''); }

// A row of the file as the server will take it (each value as its SQL
// text), or the reason it cannot.
QString ValidaLinha(const ado::Recordset& rs, QStringList* valores) {
  valores->clear();
  for (int i = 0; i < Colunas().size(); ++i) {
    const QString& col = Colunas()[i];
    QByteArrayView bytes;
    if (rs.FieldUtf8(i, &bytes)) {
      QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
      utf8.decode(bytes);
      if (utf8.hasError()) return col + QStringLiteral(" não é texto UTF-8 válido");
    }
    QVariant v = rs.Fields(i);
    if (const QString motivo = clientes::Recusa(col, v); !motivo.isEmpty()) return motivo;
    if (v.isNull())
      *valores << QStringLiteral("Null");
    else
      *valores << (Numerica(col) ? QString::number(v.toLongLong()) : Literal(ado::TextFromUtf8(bytes)));
  }
  return {};
}

int ParaServidor(ado::Connection& arquivo, ado::Connection& pg, bool acrescentar) {
  const long existentes = Conta(pg);
  if (existentes < 0) return 2;
  if (existentes > 0 && !acrescentar) {
    Erro(QStringLiteral("O servidor já tem %1 clientes; nada foi copiado (use --acrescentar para juntar a eles)")
             .arg(existentes));
    return 2;
  }
  const long total = Conta(arquivo);
  if (total < 0) return 2;
  const QString lista = Colunas().join(QLatin1Char(','));
  std::vector<Recusa> recusas;
  Progresso progresso{total};
  long copiados = 0;
  constexpr int kLote = 500;
  // One multi-row insert per batch; a key already taken is skipped by the
  // server and named by its absence from what the insert returns.
  struct Pendente {
    QString chave;
    QStringList valores;
  };
  std::vector<Pendente> lote;
  auto envia = [&]() -> bool {
    if (lote.empty()) return true;
    QString sql = "Insert Into Clientes (" + lista + ") Values ";
    for (size_t k = 0; k < lote.size(); ++k) sql += (k ? ",(" : "(") + lote[k].valores.join(QLatin1Char(',')) + ")";
    sql += " On Conflict (CPFCod) Do Nothing Returning CPFCod";
    QSet<QString> gravadas;
    try {
      for (auto r = pg.Execute(sql); !r->EOF_(); r->MoveNext()) gravadas.insert(r->Fields(0).toString());
    } catch (const ado::Error& e) {
      Erro(QStringLiteral("O servidor recusou a cópia; nada foi copiado: ") + e.Description());
      return false;
    }
    for (const Pendente& p : lote) {
      if (gravadas.remove(p.chave))
        ++copiados;
      else
        recusas.push_back(
            {p.chave, QStringLiteral("CPF ou Código já existe no servidor (sem contar maiúsculas e minúsculas)")});
    }
    lote.clear();
    return true;
  };
  if (!Comando(pg, QStringLiteral("Begin"))) return 2;
  bool ok = true;
  try {
    for (auto rs = arquivo.Execute("Select " + lista + " From Clientes Order By rowid"); ok && !rs->EOF_();
         rs->MoveNext()) {
      Pendente p;
      const QString motivo = ValidaLinha(*rs, &p.valores);
      progresso.Passo();
      p.chave = rs->Fields(0).toString();
      if (!motivo.isEmpty())
        recusas.push_back({p.chave, motivo});
      else
        lote.push_back(std::move(p));
      if (int(lote.size()) == kLote) ok = envia();
    }
  } catch (const ado::Error& e) {
    Erro(e.Description());
    ok = false;
  }
  if (!ok || !envia() || !Comando(pg, QStringLiteral("Commit"))) {
    Comando(pg, QStringLiteral("Rollback"));
    return 2;
  }
  for (const Recusa& r : recusas) Diz(QStringLiteral("Recusado CPFCod '%1': %2").arg(r.chave, r.motivo));
  Diz(QStringLiteral("Copiados %1 clientes para o servidor; recusados %2.").arg(copiados).arg(recusas.size()));
  return recusas.empty() ? 0 : 1;
}

int ParaArquivo(ado::Connection& arquivo, ado::Connection& pg, bool acrescentar) {
  const long existentes = Conta(arquivo);
  if (existentes < 0) return 2;
  if (existentes > 0 && !acrescentar) {
    Erro(QStringLiteral("O arquivo já tem %1 clientes; nada foi copiado (use --acrescentar para juntar a eles)")
             .arg(existentes));
    return 2;
  }
  const long total = Conta(pg);
  if (total < 0) return 2;
  QStringList sel;
  for (const QString& c : Colunas())
    sel << (c == QLatin1String("DataCadastro") ? QStringLiteral("to_char(DataCadastro, 'YYYY-MM-DD HH24:MI:SS.MS')")
                                               : c);
  const QString insere = "Insert Into Clientes (" + Colunas().join(QLatin1Char(',')) + ") Values (";
  if (!Comando(arquivo, QStringLiteral("Begin Immediate"))) return 2;
  // The server's rows are read a batch at a time through a cursor of its
  // own, all in one snapshot, not held all at once.
  if (!Comando(pg, QStringLiteral("Begin")) ||
      !Comando(pg, "Declare origem No Scroll Cursor For Select " + sel.join(',') + " From Clientes Order By rowid")) {
    Comando(pg, QStringLiteral("Rollback"));
    Comando(arquivo, QStringLiteral("Rollback"));
    return 2;
  }
  constexpr long kRestricao = 19;  // the file's number for a refused value, of every kind
  std::vector<Recusa> recusas;
  Progresso progresso{total};
  long copiados = 0;
  bool falhou = false;
  try {
    for (bool mais = true; mais && !falhou;) {
      auto rs = pg.Execute(QStringLiteral("Fetch 1000 From origem"));
      mais = !rs->EOF_();
      for (; !rs->EOF_() && !falhou; rs->MoveNext()) {
        QStringList valores;
        for (int i = 0; i < Colunas().size(); ++i) {
          const QVariant v = rs->Fields(i);
          valores << (!v.isValid()                ? QStringLiteral("Null")
                      : Numerica(Colunas()[i]) ? QString::number(v.toLongLong())
                                                : Literal(v.toString()));
        }
        try {
          arquivo.Execute(insere + valores.join(QLatin1Char(',')) + QLatin1Char(')'));
          ++copiados;
        } catch (const ado::Error& e) {
          if ((e.Number() & 0xff) == kRestricao) {
            recusas.push_back({rs->Fields(0).toString(), e.NativeDescription()});
          } else {
            Erro(QStringLiteral("O arquivo recusou a cópia; nada foi copiado: ") + e.Description());
            falhou = true;
          }
        }
        progresso.Passo();
      }
    }
  } catch (const ado::Error& e) {
    Erro(e.Description());
    falhou = true;
  }
  Comando(pg, QStringLiteral("Rollback"));
  if (falhou || !Comando(arquivo, QStringLiteral("Commit"))) {
    Comando(arquivo, QStringLiteral("Rollback"));
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
  // --servidor names the server as VT_SERVIDOR does for the program.
  if (const qsizetype i = args.indexOf(QStringLiteral("--servidor")); i >= 0 && i + 1 < args.size()) {
    qputenv("VT_SERVIDOR", args[i + 1].toUtf8());
    args.remove(i, 2);
  }
  if (const int rc = MigraAccess(args, mGeral::Servidor(), acrescentar); rc >= 0) return rc;  // from an Access file
  if (args.size() != 2 || (args[0] != QLatin1String("para-servidor") && args[0] != QLatin1String("para-arquivo")) ||
      mGeral::Servidor().isEmpty()) {
    Erro(QStringLiteral("Uso: ulmaro-migra para-servidor|para-arquivo <arquivo.mdb> [--servidor <conexão>] "
                        "[--acrescentar]\n(sem --servidor, vale VT_SERVIDOR)"));
    return 2;
  }
  const bool paraServidor = args[0] == QLatin1String("para-servidor");
  ado::Connection arquivo;
  // Never creates the file: the target file is made from schema.sql beforehand.
  if (paraServidor) arquivo.Mode = ado::adModeRead;
  try {
    arquivo.Open("Provider=SQLite;Data Source=\"" + QString(args[1]).replace('"', "\"\"") + '"');
  } catch (const ado::Error& e) {
    Erro(QStringLiteral("Não foi possível abrir o arquivo %1: %2").arg(args[1], e.Description()));
    return 2;
  }
  try {
    mGeral::AbreBanco();
  } catch (const ado::Error& e) {
    if (e.Number() == ado::adErrServerSettings)
      Erro(QStringLiteral("O servidor precisa de standard_conforming_strings = on"));
    else if (e.Number() == ado::adErrConnectionLost)
      Erro(QStringLiteral("Não foi possível conectar ao servidor: ") + e.NativeDescription());
    else
      Erro(e.Description());
    return 2;
  }
  const int rc = paraServidor ? ParaServidor(arquivo, *mGeral::cnConexao, acrescentar)
                              : ParaArquivo(arquivo, *mGeral::cnConexao, acrescentar);
  mGeral::cnConexao.reset();
  return rc;
}
