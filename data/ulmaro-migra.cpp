// ulmaro-migra: copies the clients of an ulmaro.mdb file to a PostgreSQL
// server made from schema-pg.sql, or back. Keeps DataCadastro and the order of
// registration; refuses a target that already has clients unless told to add
// to them; reports every row it refused, with the reason. A file that does
// not exist is made from schema.sql, and appears only once its copy is done.
//
//   ulmaro-migra para-servidor <arquivo.mdb> [--servidor <conexão>] [--acrescentar]
//   ulmaro-migra para-arquivo  <arquivo.mdb> [--servidor <conexão>] [--acrescentar]
//
// The server is the one given, or else the one the program itself would use
// (VT_SERVIDOR: a connection string or a service name); it is reached
// through the program's own connection, so the session is set up as the
// program's is. Both sides go through the data objects.
// Exit status: 0 all copied, 1 some rows refused, 2 nothing copied; --help
// prints every mode (also those of copia.h and migra_access.h) and exits 0.
#include <QCoreApplication>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>
#include <cstdio>
#include <optional>
#include <vector>

#include "data/clientes.h"
#include "data/conversao.h"
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

// What a copy did, before it is told.
struct Resultado {
  long copiados = 0;
  std::vector<Recusa> recusas;
};

// Tells the rows refused and the count; the exit status.
int Relata(const Resultado& r, const char* destino) {
  for (const Recusa& x : r.recusas) Diz(QStringLiteral("Recusado CPFCod '%1': %2").arg(x.chave, x.motivo));
  Diz(QStringLiteral("Copiados %1 clientes para o %2; recusados %3.")
          .arg(r.copiados)
          .arg(QLatin1String(destino))
          .arg(r.recusas.size()));
  return r.recusas.empty() ? 0 : 1;
}

// Every mode, for --help and a wrong command line.
QString Uso() {
  return QStringLiteral(
             "Uso:\n"
             "  ulmaro-migra para-servidor <arquivo.mdb> [--servidor <conexão>] [--acrescentar]\n"
             "  ulmaro-migra para-arquivo <arquivo.mdb> [--servidor <conexão>] [--acrescentar]\n"
             "(um <arquivo.mdb> que não existe é criado pelo esquema)\n%1\n%2\n"
             "Sem --servidor, vale VT_SERVIDOR. Saída: 0 tudo copiado, 1 alguns clientes recusados, "
             "2 nada copiado.")
      .arg(QString::fromUtf8(copia::kUso), QString::fromUtf8(kUsoAccess));
}

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
  Resultado r;
  Progresso progresso{total};
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
      for (auto rs = pg.Execute(sql); !rs->EOF_(); rs->MoveNext()) gravadas.insert(rs->Fields(0).toString());
    } catch (const ado::Error& e) {
      Erro(QStringLiteral("O servidor recusou a cópia; nada foi copiado: ") + e.Description());
      // DataCadastro is written as it was: the desks' role may not.
      if (e.NativeDescription().startsWith(QLatin1String("42501")))
        Erro(QStringLiteral("A cópia grava DataCadastro: use o usuário dono da tabela, não o dos balcões."));
      return false;
    }
    for (const Pendente& p : lote) {
      if (gravadas.remove(p.chave))
        ++r.copiados;
      else
        r.recusas.push_back(
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
        r.recusas.push_back({p.chave, motivo});
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
  return Relata(r, "servidor");
}

// Copies the server's clients into the file; nothing when nothing was copied.
std::optional<Resultado> ParaArquivo(ado::Connection& arquivo, ado::Connection& pg, bool acrescentar) {
  const long existentes = Conta(arquivo);
  if (existentes < 0) return {};
  if (existentes > 0 && !acrescentar) {
    Erro(QStringLiteral("O arquivo já tem %1 clientes; nada foi copiado (use --acrescentar para juntar a eles)")
             .arg(existentes));
    return {};
  }
  const long total = Conta(pg);
  if (total < 0) return {};
  QStringList sel;
  for (const QString& c : Colunas())
    sel << (c == QLatin1String("DataCadastro") ? QStringLiteral("to_char(DataCadastro, 'YYYY-MM-DD HH24:MI:SS.MS')")
                                               : c);
  const QString insere = "Insert Into Clientes (" + Colunas().join(QLatin1Char(',')) + ") Values (";
  if (!Comando(arquivo, QStringLiteral("Begin Immediate"))) return {};
  // The server's rows are read a batch at a time through a cursor of its
  // own, all in one snapshot, not held all at once.
  if (!Comando(pg, QStringLiteral("Begin")) ||
      !Comando(pg, "Declare origem No Scroll Cursor For Select " + sel.join(',') + " From Clientes Order By rowid")) {
    Comando(pg, QStringLiteral("Rollback"));
    Comando(arquivo, QStringLiteral("Rollback"));
    return {};
  }
  constexpr long kRestricao = 19;  // the file's number for a refused value, of every kind
  Resultado r;
  Progresso progresso{total};
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
          ++r.copiados;
        } catch (const ado::Error& e) {
          if ((e.Number() & 0xff) == kRestricao) {
            r.recusas.push_back({rs->Fields(0).toString(), e.NativeDescription()});
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
    return {};
  }
  return r;
}

// Opens the file through the data objects; reports the failure.
bool Abre(ado::Connection& arquivo, const QString& caminho, const QString& nome) {
  try {
    arquivo.Open("Provider=SQLite;Data Source=\"" + QString(caminho).replace('"', "\"\"") + '"');
    return true;
  } catch (const ado::Error& e) {
    Erro(QStringLiteral("Não foi possível abrir o arquivo %1: %2").arg(nome, e.Description()));
    return false;
  }
}

// para-arquivo into a file that does not exist: made from the schema under a
// name of its own, given its name only once the copy is committed.
int ParaArquivoNovo(const QString& destino, ado::Connection& pg, bool acrescentar) {
  std::optional<Resultado> r;
  try {
    conversao::CriaArquivo(destino, [&](const QString& novo) {
      ado::Connection arquivo;
      if (Abre(arquivo, novo, destino)) r = ParaArquivo(arquivo, pg, acrescentar);
      return r.has_value();
    });
  } catch (const ado::Error& e) {
    Erro(e.Description());
    r.reset();
  }
  if (!r) return 2;
  Diz(QStringLiteral("Criado o arquivo %1.").arg(destino));
  return Relata(*r, "arquivo");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
    Diz(Uso());
    return 0;
  }
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
    Erro(Uso());
    return 2;
  }
  const bool paraServidor = args[0] == QLatin1String("para-servidor");
  const QString caminho = args[1];
  const bool novo = !paraServidor && !QFileInfo::exists(caminho) && !QFileInfo(caminho).isSymLink();
  ado::Connection arquivo;
  // An existing file is never replaced; a new one is made only after the server answered.
  if (paraServidor) arquivo.Mode = ado::adModeRead;
  if (!novo && !Abre(arquivo, caminho, caminho)) return 2;
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
  ado::Connection& pg = *mGeral::cnConexao;
  int rc = 2;
  if (paraServidor)
    rc = ParaServidor(arquivo, pg, acrescentar);
  else if (novo)
    rc = ParaArquivoNovo(caminho, pg, acrescentar);
  else if (const std::optional<Resultado> r = ParaArquivo(arquivo, pg, acrescentar))
    rc = Relata(*r, "arquivo");
  mGeral::cnConexao.reset();
  return rc;
}
