#include "data/acesso.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <vector>

namespace acesso {
namespace {

bool TemGrupo(gid_t gid) {
  if (::getegid() == gid) return true;
  std::vector<gid_t> grupos(size_t(std::max(::getgroups(0, nullptr), 0)));
  const int n = ::getgroups(int(grupos.size()), grupos.data());
  return std::find(grupos.begin(), grupos.begin() + std::max(n, 0), gid) != grupos.begin() + std::max(n, 0);
}

// The first folder on the way from the root to `caminho` that the user may
// not enter; empty when there is none.
QString PastaFechada(const QString& caminho) {
  const QStringList partes = QDir::cleanPath(caminho).split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QString pasta;
  for (qsizetype i = 0; i + 1 < partes.size(); ++i) {
    pasta += QLatin1Char('/') + partes[i];
    if (::access(QFile::encodeName(pasta).constData(), X_OK) != 0 && errno == EACCES) return pasta;
  }
  return {};
}

QString Nome(const char* nome, unsigned numero) { return nome ? QString::fromLocal8Bit(nome) : QString::number(numero); }

// The explanation, or empty when the group is not what stands in the way.
QString FaltaGrupo(const QString& arquivo) {
  const QByteArray caminho = QFile::encodeName(arquivo);
  struct stat st {};
  QString fechado;  // the folder or file in the way
  mode_t precisa;   // what its group may do there, that the user needs
  if (::stat(caminho.constData(), &st) == 0) {
    if (::access(caminho.constData(), R_OK | W_OK) == 0 || errno != EACCES) return {};
    fechado = arquivo;
    precisa = S_IRGRP | S_IWGRP;
  } else {
    if (errno != EACCES) return {};
    fechado = PastaFechada(arquivo);
    const QFileInfo link(arquivo);
    if (fechado.isEmpty() && link.isSymLink()) fechado = PastaFechada(link.symLinkTarget());
    precisa = S_IXGRP;
    if (fechado.isEmpty() || ::stat(QFile::encodeName(fechado).constData(), &st) != 0) return {};
  }
  if ((st.st_mode & precisa) != precisa || TemGrupo(st.st_gid)) return {};
  const struct group* gr = ::getgrgid(st.st_gid);
  const struct passwd* pw = ::getpwuid(::geteuid());
  const QString grupo = Nome(gr ? gr->gr_name : nullptr, st.st_gid);
  const QString usuario = Nome(pw ? pw->pw_name : nullptr, ::geteuid());
  return (S_ISDIR(st.st_mode) ? QStringLiteral("Os clientes ficam na pasta %1, aberta apenas ao grupo %2")
                              : QStringLiteral("Os clientes ficam no arquivo %1, aberto apenas ao grupo %2"))
             .arg(fechado, grupo) +
         QStringLiteral(", e o usuário %1 não está nesse grupo. Peça ao administrador que inclua o usuário no grupo "
                        "(adduser %1 %2) e depois saia da sessão e entre de novo; se ele já foi incluído, basta "
                        "sair da sessão e entrar de novo.")
             .arg(usuario, grupo);
}

}  // namespace

void Explica(const ado::Error& e, const QString& arquivo) {
  const QString falta = FaltaGrupo(arquivo);
  if (falta.isEmpty()) throw;
  throw ado::Error(e.Number(), falta, e.NativeDescription());
}

}  // namespace acesso
