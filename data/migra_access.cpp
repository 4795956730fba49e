#include "data/migra_access.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

#include "data/conversao.h"
#include "platform/ado/ado.h"

namespace {

void Diz(FILE* f, const QString& s) { std::fprintf(f, "%s\n", qUtf8Printable(s)); }

// How far a long step has gone, on one line of the terminal.
conversao::Progresso Progresso(const char* passo) {
  return [passo](qint64 feitos, qint64 total) {
    if (total >= 10000 && (feitos % 10000 == 0 || feitos == total))
      std::fprintf(stderr, "\r%s: %lld de %lld clientes%s", passo, feitos, total, feitos == total ? "\n" : "");
    return true;
  };
}

}  // namespace

int MigraAccess(const QStringList& args, const QString& servidor, bool acrescentar) {
  const bool paraArquivo = args.value(0) == QLatin1String("access-para-arquivo");
  if (!paraArquivo && args.value(0) != QLatin1String("access-para-servidor")) return -1;
  if (args.size() < 2 || args.size() > (paraArquivo ? 3 : 2) || (paraArquivo && acrescentar) ||
      (!paraArquivo && servidor.isEmpty())) {
    Diz(stderr, QStringLiteral("Uso:\n%1\n(sem --servidor, vale VT_SERVIDOR)").arg(QString::fromUtf8(kUsoAccess)));
    return 2;
  }
  try {
    const conversao::Leitura l = conversao::Le(args[1], Progresso("Lidos"), paraArquivo);
    if (!l.ignoradas.isEmpty())
      Diz(stdout, QStringLiteral("Colunas do Access ignoradas: ") + l.ignoradas.join(QStringLiteral(", ")));
    if (!paraArquivo) {
      // The server's own mode applies the rules and reports, on a scratch copy of the rows.
      QTemporaryDir pasta;
      const QString copia = pasta.filePath(QStringLiteral("clientes.mdb"));
      conversao::GravaSemRegras(copia, l);
      QStringList a{QStringLiteral("para-servidor"), copia, QStringLiteral("--servidor"), servidor};
      if (acrescentar) a << QStringLiteral("--acrescentar");
      QProcess p;
      p.setProcessChannelMode(QProcess::ForwardedChannels);
      p.start(QCoreApplication::applicationFilePath(), a);
      p.waitForFinished(-1);
      return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 2;
    }
    const QStringList recusas = l.Recusas();
    for (const QString& r : recusas) Diz(stdout, QStringLiteral("Recusado ") + r);
    if (l.Aceitas() == 0 && !recusas.isEmpty()) {
      Diz(stderr, QStringLiteral("Todos os %1 clientes foram recusados; nada foi copiado.").arg(recusas.size()));
      return 2;
    }
    QString guardado;
    if (args.size() == 3)
      conversao::Grava(args[2], l, Progresso("Gravados"));
    else
      guardado = conversao::Substitui(l, Progresso("Gravados"));
    Diz(stdout, QStringLiteral("Copiados %1 clientes para o arquivo; recusados %2.").arg(l.Aceitas()).arg(recusas.size()));
    if (!guardado.isEmpty()) Diz(stdout, QStringLiteral("O arquivo do Access ficou guardado como %1.").arg(guardado));
    return recusas.isEmpty() ? 0 : 1;
  } catch (const ado::Error& e) {
    Diz(stderr, e.Description());
    return 2;
  }
}
