#include "data/copia.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "data/acesso.h"
#include "platform/ado/ado.h"

namespace copia {
namespace {

void Diz(const QString& s) {
  std::fprintf(stdout, "%s\n", qUtf8Printable(s));
  std::fflush(stdout);
}
void Erro(const QString& s) { std::fprintf(stderr, "%s\n", qUtf8Printable(s)); }

// A failure that leaves no copy, in Portuguese.
struct Falha {
  QString texto;
};

QString Cotado(const QString& valor) {
  return QLatin1Char('"') + QString(valor).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

void Abre(ado::Connection& c, const QString& arquivo) {
  try {
    c.Open(QStringLiteral("Provider=SQLite;Data Source=") + Cotado(arquivo));
  } catch (const ado::Error& e) {
    acesso::Explica(e, arquivo);
  }
}

// Writes a folder's names to the disk.
void Sincroniza(const QString& pasta) {
  const int fd = ::open(QFile::encodeName(pasta).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Reads the copy back: every page checked, the clients counted.
long Confere(const QString& arquivo) {
  ado::Connection c;
  Abre(c, arquivo);
  QStringList problemas;
  for (auto rs = c.Execute(QStringLiteral("PRAGMA integrity_check")); !rs->EOF_(); rs->MoveNext())
    problemas << rs->Fields(0).toString();
  if (problemas != QStringList{QStringLiteral("ok")})
    throw Falha{QStringLiteral("A cópia não passou na verificação (integrity_check): ") +
                problemas.mid(0, 5).join(QStringLiteral("; "))};
  return c.Execute(QStringLiteral("Select count(*) From Clientes"))->Fields(0).toLongLong();
}

// Copies `origem` to `destino` and checks the copy under a name of its own
// first; `substitui` lets the copy take the place of an older one.
long Copia(const QString& origem, const QString& destino, bool substitui) {
  if (QFileInfo(destino).canonicalFilePath() == QFileInfo(origem).canonicalFilePath() && QFileInfo::exists(origem))
    throw Falha{QStringLiteral("O destino é o próprio arquivo copiado: ") + destino};
  if (!substitui && (QFileInfo::exists(destino) || QFileInfo(destino).isSymLink()))
    throw Falha{QStringLiteral("O destino já existe: ") + destino};
  const QFileInfo alvo(destino);
  const QString parcial = alvo.absolutePath() + QStringLiteral("/.") + alvo.fileName() + QStringLiteral(".parcial");
  const QByteArray de = QFile::encodeName(parcial), para = QFile::encodeName(destino);
  ado::Connection fonte;
  Abre(fonte, origem);
  if (fonte.TableColumns(QStringLiteral("Clientes")).isEmpty())
    throw Falha{QStringLiteral("O arquivo não tem a tabela Clientes: ") + origem};
  // Held (flock) until the copy has its name, so that two copies to one
  // destination never write the same file; VACUUM INTO takes an empty one.
  const int fd = ::open(de.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0640);
  if (fd < 0) throw Falha{QStringLiteral("Não foi possível criar %1: %2").arg(parcial, QString::fromLocal8Bit(strerror(errno)))};
  auto fecha = qScopeGuard([&] { ::close(fd); });
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    throw Falha{QStringLiteral("Outra cópia para %1 está em andamento").arg(destino)};
  auto limpa = qScopeGuard([&] { ::unlink(de.constData()); });
  if (::ftruncate(fd, 0) != 0)  // left by a copy that was cut short
    throw Falha{QStringLiteral("Não foi possível esvaziar %1: %2").arg(parcial, QString::fromLocal8Bit(strerror(errno)))};
  // One read transaction: every client committed before it began, and none half-saved.
  fonte.Execute(QStringLiteral("VACUUM INTO '%1'").arg(QString(parcial).replace(QLatin1Char('\''), QLatin1String("''"))));
  fonte.Close();
  // VACUUM INTO leaves the writing to the disk to the system.
  if (::fsync(fd) != 0) throw Falha{QStringLiteral("Não foi possível gravar a cópia em disco: ") + parcial};
  const long clientes = Confere(parcial);
  if (::fchmod(fd, 0640) != 0 ||
      (substitui ? ::rename(de.constData(), para.constData()) : ::link(de.constData(), para.constData())) != 0)
    throw Falha{QStringLiteral("Não foi possível dar à cópia o nome %1: %2").arg(destino, QString::fromLocal8Bit(strerror(errno)))};
  limpa.dismiss();
  if (!substitui) ::unlink(de.constData());  // the copy's other name
  Sincroniza(alvo.absolutePath());
  return clientes;
}

// Of the daily copies in `pasta`, removes those the rotation does not keep:
// the newest kDiarias, then the newest of each of the kSemanais weeks before.
void Rotaciona(const QString& pasta) {
  static const QRegularExpression nome(QStringLiteral("^ulmaro-(\\d{4}-\\d{2}-\\d{2})\\.mdb$"));
  std::vector<std::pair<QDate, QString>> copias;
  for (const QString& f : QDir(pasta).entryList(QDir::Files)) {
    const auto m = nome.match(f);
    const QDate d = m.hasMatch() ? QDate::fromString(m.captured(1), Qt::ISODate) : QDate();
    if (d.isValid()) copias.emplace_back(d, f);
  }
  std::sort(copias.begin(), copias.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  QSet<int> semanas;  // year * 100 + ISO week
  for (size_t i = 0; i < copias.size(); ++i) {
    int ano = 0;
    const int semana = copias[i].first.weekNumber(&ano);
    if (i < size_t(kDiarias) || (semanas.size() < kSemanais && !semanas.contains(ano * 100 + semana))) {
      if (i >= size_t(kDiarias)) semanas.insert(ano * 100 + semana);
      continue;
    }
    if (QFile::remove(pasta + QLatin1Char('/') + copias[i].second))
      Diz(QStringLiteral("Removida a cópia antiga %1/%2").arg(pasta, copias[i].second));
    else
      Erro(QStringLiteral("Não foi possível remover a cópia antiga %1/%2").arg(pasta, copias[i].second));
  }
}

int Uso() {
  Erro(QStringLiteral("Uso:\n") + QString::fromUtf8(kUso));
  return 2;
}

}  // namespace

int Copia(const QStringList& argumentos) {
  ::umask(027);  // client data: the owner and the group only
  QStringList args = argumentos;
  QString origem = QCoreApplication::applicationDirPath() + QStringLiteral("/ulmaro.mdb");
  if (const qsizetype i = args.indexOf(QStringLiteral("--de")); i >= 0) {
    if (i + 1 >= args.size()) return Uso();
    origem = args[i + 1];
    args.remove(i, 2);
  }
  const bool diaria = args.removeAll(QStringLiteral("--diaria")) > 0;
  if (args.size() != 1 || args[0].startsWith(QLatin1String("--"))) return Uso();
  // An absolute name: VACUUM INTO must never read it as a URI.
  QString destino = QFileInfo(args[0]).absoluteFilePath();
  const bool pasta = QFileInfo(destino).isDir();
  if (diaria && !pasta) {
    Erro(QStringLiteral("A pasta das cópias não existe: ") + destino);
    return 2;
  }
  const QDateTime agora = QDateTime::currentDateTime();
  if (diaria)
    destino += agora.toString(QStringLiteral("'/ulmaro-'yyyy-MM-dd'.mdb'"));
  else if (pasta)
    destino += agora.toString(QStringLiteral("'/ulmaro-'yyyy-MM-dd-HHmmss'.mdb'"));
  try {
    const long clientes = Copia(origem, destino, diaria);
    Diz(QStringLiteral("Cópia de %1 em %2: %3 clientes, verificada.").arg(origem, destino).arg(clientes));
  } catch (const ado::Error& e) {
    Erro(QStringLiteral("Nenhuma cópia feita: %1 (erro %2)").arg(e.Description()).arg(e.Number()));
    return 2;
  } catch (const Falha& f) {
    Erro(QStringLiteral("Nenhuma cópia feita: ") + f.texto);
    return 2;
  }
  if (diaria) Rotaciona(QFileInfo(destino).absolutePath());
  return 0;
}

}  // namespace copia
