#include "data/conversao.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "data/clientes.h"
#include "platform/ado/ado.h"
#include "platform/jet/jet.h"

// The schema lives in the library as a resource (a macro outside any namespace).
static void IniciaEsquema() { Q_INIT_RESOURCE(esquema); }

namespace conversao {

namespace {

// Numbers of the failures, as the data objects number the same ones.
constexpr long kNaoEBanco = 26;   // unreadable as a database
constexpr long kColuna = 1;       // a required column is missing
constexpr long kCancelada = 4;    // the user stopped it
constexpr long kMudou = 5;        // another program holds or changed the file
constexpr long kGravacao = 10;    // the folder or the disk refused a write

[[noreturn]] void Falha(long numero, const QString& causa, const QString& nativa = {}) {
  throw ado::Error(numero, QStringLiteral("Os clientes não foram convertidos: %1. Nada foi mudado.").arg(causa),
                   nativa.isEmpty() ? causa : nativa);
}

QString Pasta(const QString& arquivo) { return QFileInfo(arquivo).absolutePath(); }

// A failed system call on a file of the folder, in Portuguese.
[[noreturn]] void FalhaSistema(int erro, const QString& arquivo) {
  const QString nativa = QString::fromLocal8Bit(strerror(erro)) + QStringLiteral(": ") + arquivo;
  switch (erro) {
    case EACCES: case EPERM: case EROFS:
      Falha(kGravacao, QStringLiteral("a pasta %1 não permite gravação").arg(Pasta(arquivo)), nativa);
    case ENOSPC: case EDQUOT: Falha(kGravacao, QStringLiteral("o disco está cheio"), nativa);
    default: Falha(kGravacao, QStringLiteral("erro ao gravar na pasta %1 (%2)").arg(Pasta(arquivo), nativa), nativa);
  }
}

// The lock taken on the Access file while it is converted, and what it was.
struct Trava {
  int fd = -1;
  struct stat st {};
  ~Trava() {
    if (fd >= 0) close(fd);
  }
};

bool Mesmo(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

std::shared_ptr<Trava> Trava_(const QString& arquivo) {
  auto t = std::make_shared<Trava>();
  t->fd = open(QFile::encodeName(arquivo).constData(), O_RDONLY | O_CLOEXEC);
  if (t->fd < 0 || fstat(t->fd, &t->st) != 0)
    Falha(kNaoEBanco, QStringLiteral("o arquivo %1 não pôde ser aberto (%2)").arg(arquivo, QString::fromLocal8Bit(strerror(errno))));
  if (flock(t->fd, LOCK_EX | LOCK_NB) != 0)
    Falha(kMudou, QStringLiteral("o arquivo %1 já está sendo convertido por outro programa").arg(arquivo));
  return t;
}

// An Access value as column `coluna` of Clientes takes it, before its rules.
QVariant Valor(const QString& coluna, const QVariant& v) {
  if (v.isNull()) return {};
  const bool numerica = coluna == QLatin1String("Num") || coluna == QLatin1String("DDD");
  if (coluna == QLatin1String("DataCadastro")) {
    if (v.typeId() == QMetaType::QDateTime)
      return v.toDateTime().toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    return v.toString();
  }
  if (numerica || v.typeId() == QMetaType::QString) return v;
  if (v.typeId() == QMetaType::QDateTime) return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  if (v.typeId() == QMetaType::QByteArray) return QString::fromLatin1(v.toByteArray().toHex());
  return v.toString();
}

// sqlite3 with the failure of the last call described; closed on destruction.
class Banco {
 public:
  Banco(const QString& arquivo) : arquivo_(arquivo) {
    if (sqlite3_open_v2(QFile::encodeName(arquivo).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
      Erro(sqlite3_extended_errcode(db_));
  }
  ~Banco() {
    sqlite3_finalize(st_);
    sqlite3_close_v2(db_);
  }
  void Exec(const QByteArray& sql) {
    if (const int rc = sqlite3_exec(db_, sql.constData(), nullptr, nullptr, nullptr); rc != SQLITE_OK) Erro(rc);
  }
  QString Valor(const char* sql) {
    sqlite3_stmt* st = nullptr;
    QString v;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &st, nullptr);
    if (rc == SQLITE_OK && (rc = sqlite3_step(st)) == SQLITE_ROW)
      v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW) Erro(rc);
    return v;
  }
  void Prepara(const QByteArray& sql) {
    if (const int rc = sqlite3_prepare_v2(db_, sql.constData(), -1, &st_, nullptr); rc != SQLITE_OK) Erro(rc);
  }
  void Insere(const std::array<QVariant, kColunas>& valores) {
    for (int i = 0; i < kColunas; ++i) {
      const QVariant& v = valores[size_t(i)];
      if (v.isNull())
        sqlite3_bind_null(st_, i + 1);
      else if (v.typeId() == QMetaType::LongLong)
        sqlite3_bind_int64(st_, i + 1, v.toLongLong());
      else
        sqlite3_bind_text(st_, i + 1, v.toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
    }
    const int rc = sqlite3_step(st_);
    sqlite3_reset(st_);
    if (rc != SQLITE_DONE) Erro(rc);
  }
  [[noreturn]] void Erro(int rc) {
    const QString nativa = QString::fromUtf8(db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
    switch (rc & 0xff) {
      case SQLITE_FULL: Falha(rc, QStringLiteral("o disco está cheio"), nativa);
      case SQLITE_CANTOPEN: case SQLITE_READONLY: case SQLITE_PERM:
        Falha(rc, QStringLiteral("a pasta %1 não permite gravação").arg(Pasta(arquivo_)), nativa);
      case SQLITE_IOERR: Falha(rc, QStringLiteral("erro de gravação em %1").arg(Pasta(arquivo_)), nativa);
      default: Falha(rc, QStringLiteral("o novo banco de dados recusou os clientes (%1)").arg(nativa), nativa);
    }
  }

 private:
  QString arquivo_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* st_ = nullptr;
};

QByteArray Esquema() {
  IniciaEsquema();
  QFile f(QStringLiteral(":/data/schema.sql"));
  f.open(QIODevice::ReadOnly);
  return f.readAll();
}

// A new file beside `alvo` under a name of its own, with `modo` and `grupo`
// when it replaces a file (grupo given); removed with its journal files unless kept.
class Temporario {
 public:
  Temporario(const QString& alvo, mode_t modo, gid_t grupo) {
    const QFileInfo fi(alvo);
    for (int tentativa = 0; fd_ < 0; ++tentativa) {
      caminho_ = fi.absolutePath() + QStringLiteral("/.") + fi.fileName() + QStringLiteral(".nova-") +
                 QString::number(QRandomGenerator::global()->generate() % 1000000);
      fd_ = open(QFile::encodeName(caminho_).constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, modo);
      if (fd_ < 0 && (errno != EEXIST || tentativa > 100)) FalhaSistema(errno, caminho_);
    }
    // The group and mode of the file it replaces, so that the same users may write it.
    if (grupo != gid_t(-1)) {
      if (fchown(fd_, uid_t(-1), grupo) != 0) { /* not a member of that group: ours stays */ }
      fchmod(fd_, modo);
    }
  }
  ~Temporario() {
    if (fd_ >= 0) close(fd_);
    if (!guardado_)
      for (const char* ext : {"", "-wal", "-shm", "-journal"}) QFile::remove(caminho_ + QLatin1String(ext));
  }
  const QString& Caminho() const { return caminho_; }
  void Sincroniza() {
    if (fsync(fd_) != 0) FalhaSistema(errno, caminho_);
  }
  void Guarda() { guardado_ = true; }

 private:
  QString caminho_;
  int fd_ = -1;
  bool guardado_ = false;
};

// Fills `arquivo`, made from the schema, with the accepted rows and checks it.
void Preenche(const QString& arquivo, const Leitura& l, const Progresso& progresso) {
  Banco db(arquivo);
  // Nobody else opens the file before it is checked and synced as a whole.
  db.Exec("PRAGMA synchronous=OFF");
  db.Exec("BEGIN");
  QString marcas;
  for (int i = 0; i < kColunas; ++i) marcas += i ? QStringLiteral(",?") : QStringLiteral("?");
  db.Prepara(("Insert Into Clientes (" + clientes::Colunas().join(',') + ") Values (" + marcas + ")").toUtf8());
  const qint64 total = l.Aceitas();
  qint64 feitos = 0;
  for (const Linha& linha : l.linhas) {
    if (!linha.motivo.isEmpty()) continue;
    db.Insere(linha.valores);
    if (++feitos % 1000 == 0 && progresso && !progresso(feitos, total))
      Falha(kCancelada, QStringLiteral("a conversão foi cancelada"));
  }
  db.Exec("COMMIT");
  if (const QString n = db.Valor("Select count(*) From Clientes"); n != QString::number(total))
    Falha(kGravacao, QStringLiteral("o novo banco de dados tem %1 clientes em vez de %2").arg(n).arg(total));
  if (const QString ok = db.Valor("PRAGMA integrity_check"); ok != QLatin1String("ok"))
    Falha(kGravacao, QStringLiteral("o novo banco de dados não passou na verificação (%1)").arg(ok));
  db.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
  if (progresso) progresso(total, total);
}

void SincronizaPasta(const QString& pasta) {
  const int fd = open(QFile::encodeName(pasta).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

qint64 Leitura::Aceitas() const {
  return std::count_if(linhas.begin(), linhas.end(), [](const Linha& l) { return l.motivo.isEmpty(); });
}

QStringList Leitura::Recusas() const {
  QStringList r;
  for (const Linha& l : linhas)
    if (!l.motivo.isEmpty()) r << QStringLiteral("CPFCod '%1': %2").arg(l.valores[0].toString(), l.motivo);
  return r;
}

Leitura Le(const QString& access, const Progresso& progresso, bool chavesUnicas) {
  Leitura l;
  l.arquivo = QFileInfo(access).canonicalFilePath();
  if (l.arquivo.isEmpty()) l.arquivo = access;
  if (jet::FormatoDe(l.arquivo) == jet::Formato::Nenhum)
    Falha(kNaoEBanco, QStringLiteral("o arquivo %1 não é um banco de dados do Access").arg(l.arquivo));
  auto trava = Trava_(l.arquivo);
  l.trava = trava;
  const QStringList& colunas = clientes::Colunas();
  std::array<int, kColunas> origem;  // the Access column of each column of Clientes, or -1
  qint64 total = 0;
  bool cancelada = false;
  try {
    jet::LeTabela(
        l.arquivo, QStringLiteral("Clientes"),
        [&](const jet::Tabela& t) {
          l.tabela = t.nome;
          total = t.linhas;
          origem.fill(-1);
          QStringList faltam;
          for (qsizetype i = 0; i < t.colunas.size(); ++i) {
            qsizetype k = kColunas - 1;
            while (k >= 0 && colunas[k].compare(t.colunas[i].nome, Qt::CaseInsensitive) != 0) --k;
            if (k < 0 || origem[size_t(k)] >= 0)
              l.ignoradas << t.colunas[i].nome;
            else
              origem[size_t(k)] = int(i);
          }
          for (int k = 0; k < kColunas; ++k)
            if (origem[size_t(k)] < 0 && !clientes::Opcional(colunas[k]) && colunas[k] != QLatin1String("DataCadastro"))
              faltam << colunas[k];
          if (!faltam.isEmpty())
            Falha(kColuna, QStringLiteral("a tabela %1 do arquivo do Access não tem %2 %3")
                               .arg(t.nome, faltam.size() == 1 ? QStringLiteral("a coluna") : QStringLiteral("as colunas"),
                                    faltam.join(QStringLiteral(", "))));
          l.semData = origem[kColunas - 1] < 0;
          l.linhas.reserve(size_t(total));
        },
        [&](const jet::Linha& r) {
          Linha linha;
          for (int k = 0; k < kColunas; ++k) {
            QVariant& v = linha.valores[size_t(k)];
            v = origem[size_t(k)] >= 0 ? Valor(colunas[k], r[origem[size_t(k)]]) : QVariant();
          }
          l.linhas.push_back(std::move(linha));
          const qint64 n = qint64(l.linhas.size());
          cancelada = n % 1000 == 0 && progresso && !progresso(n, std::max(total, n));
          return !cancelada;
        });
  } catch (const jet::Erro& e) {
    Falha(kNaoEBanco, e.Texto());
  }
  if (cancelada || (progresso && !progresso(qint64(l.linhas.size()), qint64(l.linhas.size()))))
    Falha(kCancelada, QStringLiteral("a conversão foi cancelada"));

  // Registration order; without DataCadastro, the moment of the conversion and the table's order.
  const QString agora = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
  for (Linha& linha : l.linhas)
    if (l.semData) linha.valores[kColunas - 1] = agora;
  std::vector<std::pair<QString, size_t>> ordem;
  ordem.reserve(l.linhas.size());
  for (size_t i = 0; i < l.linhas.size(); ++i) ordem.emplace_back(l.linhas[i].valores[kColunas - 1].toString(), i);
  std::stable_sort(ordem.begin(), ordem.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<Linha> ordenadas;
  ordenadas.reserve(ordem.size());
  for (const auto& o : ordem) ordenadas.push_back(std::move(l.linhas[o.second]));
  l.linhas = std::move(ordenadas);
  QHash<QString, QString> chaves;  // folded key: the first one
  for (Linha& linha : l.linhas) {
    for (int k = 0; k < kColunas && linha.motivo.isEmpty(); ++k)
      linha.motivo = clientes::Recusa(colunas[k], linha.valores[size_t(k)]);
    if (!chavesUnicas || !linha.motivo.isEmpty()) continue;
    const QString chave = linha.valores[0].toString();
    const QString dobrada = chave.toCaseFolded();
    if (const auto it = chaves.constFind(dobrada); it != chaves.constEnd())
      linha.motivo = QStringLiteral("CPF ou Código repete '%1' (sem contar maiúsculas e minúsculas)").arg(it.value());
    else
      chaves.insert(dobrada, chave);
  }
  return l;
}

bool CriaArquivo(const QString& destino, const std::function<bool(const QString&)>& preenche) {
  Temporario tmp(destino, 0666, gid_t(-1));  // as the user's umask says
  Banco(tmp.Caminho()).Exec(Esquema());
  if (!preenche(tmp.Caminho())) return false;
  tmp.Sincroniza();
  if (renameat2(AT_FDCWD, QFile::encodeName(tmp.Caminho()).constData(), AT_FDCWD,
                QFile::encodeName(destino).constData(), RENAME_NOREPLACE) != 0) {
    if (errno == EEXIST) Falha(kMudou, QStringLiteral("o arquivo %1 já existe").arg(destino));
    FalhaSistema(errno, destino);
  }
  tmp.Guarda();
  SincronizaPasta(Pasta(destino));
  return true;
}

void Grava(const QString& destino, const Leitura& l, const Progresso& progresso) {
  CriaArquivo(destino, [&](const QString& novo) {
    Preenche(novo, l, progresso);
    return true;
  });
}

QString Substitui(const Leitura& l, const Progresso& progresso) {
  const auto* trava = static_cast<const Trava*>(l.trava.get());
  Temporario tmp(l.arquivo, trava->st.st_mode & 07777, trava->st.st_gid);
  Banco(tmp.Caminho()).Exec(Esquema());
  Preenche(tmp.Caminho(), l, progresso);
  tmp.Sincroniza();
  const QByteArray original = QFile::encodeName(l.arquivo);
  struct stat agora {};
  if (stat(original.constData(), &agora) != 0 || !Mesmo(agora, trava->st))
    Falha(kMudou, QStringLiteral("o arquivo %1 mudou durante a conversão").arg(l.arquivo));
  // The Access file first gets its kept name (a second link, so that the
  // folder never lacks the file), then the new database takes its name.
  const QFileInfo fi(l.arquivo);
  const QString base = fi.absolutePath() + QLatin1Char('/') + fi.completeBaseName() + QStringLiteral("-access");
  const QString ext = fi.suffix().isEmpty() ? QString() : QLatin1Char('.') + fi.suffix();
  QString guardado;
  bool ligado = false;
  for (int n = 1; guardado.isEmpty(); ++n) {
    if (n > 999) Falha(kGravacao, QStringLiteral("não há nome livre para guardar o arquivo do Access"));
    const QString nome = base + (n > 1 ? QStringLiteral("-%1").arg(n) : QString()) + ext;
    const QByteArray c = QFile::encodeName(nome);
    if (link(original.constData(), c.constData()) == 0) {
      ligado = true;
    } else if (errno == EEXIST) {
      continue;
    } else if (renameat2(AT_FDCWD, original.constData(), AT_FDCWD, c.constData(), RENAME_NOREPLACE) != 0) {
      // A folder without hard links: the Access file moves to the kept name.
      if (errno == EEXIST) continue;
      FalhaSistema(errno, nome);
    }
    guardado = nome;
  }
  if (rename(QFile::encodeName(tmp.Caminho()).constData(), original.constData()) != 0) {
    const int erro = errno;
    if (ligado)
      unlink(QFile::encodeName(guardado).constData());
    else
      rename(QFile::encodeName(guardado).constData(), original.constData());
    FalhaSistema(erro, l.arquivo);
  }
  tmp.Guarda();
  SincronizaPasta(fi.absolutePath());
  return guardado;
}

void GravaSemRegras(const QString& destino, const Leitura& l) {
  if (QFile f(destino); !f.open(QIODevice::NewOnly))
    Falha(kGravacao, QStringLiteral("o arquivo %1 não pôde ser criado").arg(destino), f.errorString());
  Banco db(destino);
  db.Exec(("Create Table Clientes (" + clientes::Colunas().join(',') + ")").toUtf8());
  db.Exec("BEGIN");
  QString marcas;
  for (int i = 0; i < kColunas; ++i) marcas += i ? QStringLiteral(",?") : QStringLiteral("?");
  db.Prepara(("Insert Into Clientes Values (" + marcas + ")").toUtf8());
  for (const Linha& linha : l.linhas) db.Insere(linha.valores);
  db.Exec("COMMIT");
}

}  // namespace conversao
