#pragma once
// A throwaway PostgreSQL cluster for tests: initdb and pg_ctl in a temporary
// folder, reached only through a Unix socket in that folder, stopped and
// removed when the object goes. When the tests run as root the server runs as
// the unprivileged user "postgres" (initdb refuses root). Each database gets
// the program's schema and the desks' grants, for role kBalcao.
#include <libpq-fe.h>
#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <exception>
#include <stdexcept>
#include <utility>

namespace pgteste {

class Cluster {
 public:
  // The role the desks log in as, with only the grants of permissoes-pg.sql.
  static constexpr const char* kBalcao = "balcao";

  // The folder of the server's programs (initdb, pg_ctl); empty when they are not installed.
  static QString Bin() {
    QStringList versoes = QDir("/usr/lib/postgresql").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(versoes.begin(), versoes.end(), [](const QString& a, const QString& b) { return a.toInt() > b.toInt(); });
    for (const QString& v : versoes) {
      const QString bin = "/usr/lib/postgresql/" + v + "/bin";
      if (QFile::exists(bin + "/initdb") && QFile::exists(bin + "/pg_ctl")) return bin;
    }
    return {};
  }

  // Creates and starts the cluster; throws std::runtime_error. rapido: no
  // waiting for the disk (tests); otherwise a server's usual durability.
  explicit Cluster(bool rapido = true) : rapido_(rapido) {
    bin_ = Bin();
    if (bin_.isEmpty()) throw std::runtime_error("PostgreSQL server programs not installed");
    if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
    if (::geteuid() == 0) {
      const passwd* pw = ::getpwnam("postgres");
      if (!pw) throw std::runtime_error("running as root and there is no user postgres");
      if (::chown(dir_.path().toUtf8().constData(), pw->pw_uid, pw->pw_gid) != 0)
        throw std::runtime_error("chown of the cluster folder failed");
      comoUsuario_ = {"runuser", "-u", "postgres", "--"};
    }
    // A test that ends by an uncaught exception leaves no server behind.
    Atual() = this;
    std::set_terminate([] {
      if (Cluster* c = std::exchange(Atual(), nullptr)) c->ParaSemFalhar("immediate");
      std::abort();
    });
    Roda(bin_ + "/initdb", {"-D", Dados(), "-U", "vt", "-A", "trust", "-E", "UTF8", "--locale=C.UTF-8", "--no-sync"});
    Inicia();
    Sql(Conninfo(), QStringLiteral("Create Role %1 Login").arg(kBalcao));
  }
  ~Cluster() {
    if (Atual() == this) Atual() = nullptr;
    ParaSemFalhar("fast");
  }
  Cluster(const Cluster&) = delete;
  Cluster& operator=(const Cluster&) = delete;

  void Inicia() {
    Roda(bin_ + "/pg_ctl",
         {"-D", Dados(), "-l", dir_.filePath("log"), "-w", "-t", "60", "-o",
          "-k " + dir_.path() + " -c listen_addresses= -c max_connections=40" +
              (rapido_ ? " -c fsync=off -c synchronous_commit=off -c full_page_writes=off" : "") +
              (rapido_ && ComEstatisticas() ? " -c shared_preload_libraries=pg_stat_statements" : ""),
          "start"});
    rodando_ = true;
  }
  // mode: "fast" ends every session (as an administrator's restart does).
  void Para(const QString& modo = "fast") {
    if (!std::exchange(rodando_, false)) return;
    Roda(bin_ + "/pg_ctl", {"-D", Dados(), "-m", modo, "-w", "stop"});
  }

  // A libpq connection string for database db, as its owner (a superuser) or as `usuario`.
  QString Conninfo(const QString& db = "postgres", const QString& usuario = "vt") const {
    return QString("host=%1 user=%2 dbname=%3").arg(dir_.path(), usuario, db);
  }

  // Creates database db with the server schema of the program (replacing it),
  // then runs the desks' grants beside it through psql, as an office does.
  void CriaBanco(const QString& db, const QString& schemaFile) {
    Sql(Conninfo(), "Drop Database If Exists " + db + " With (Force)");
    Sql(Conninfo(), "Create Database " + db);
    Sql(Conninfo(db), QString::fromUtf8(Le(schemaFile)));
    Roda(bin_ + "/psql", {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-v", QStringLiteral("balcao=") + kBalcao, "-d",
                          Conninfo(db), "-f", "-"},
         Le(QFileInfo(schemaFile).dir().filePath("permissoes-pg.sql")));
  }

  // Runs statements (several may be given) and returns the first value of the last one.
  static QString Sql(const QString& conninfo, const QString& sql) {
    PGconn* c = PQconnectdb(conninfo.toUtf8().constData());
    if (PQstatus(c) != CONNECTION_OK) {
      const std::string m = PQerrorMessage(c);
      PQfinish(c);
      throw std::runtime_error("connect: " + m);
    }
    PGresult* r = PQexec(c, sql.toUtf8().constData());
    const ExecStatusType st = PQresultStatus(r);
    QString v;
    if (st == PGRES_TUPLES_OK && PQntuples(r) > 0 && !PQgetisnull(r, 0, 0)) v = QString::fromUtf8(PQgetvalue(r, 0, 0));
    const std::string m = PQresultErrorMessage(r);
    PQclear(r);
    PQfinish(c);
    if (st != PGRES_TUPLES_OK && st != PGRES_COMMAND_OK) throw std::runtime_error("sql: " + m);
    return v;
  }

  QString Pasta() const { return dir_.path(); }

  // A test cluster records its statements (pg_stat_statements) when the
  // server has that module, so that tests can tell which statements ran.
  bool ComEstatisticas() const { return QFile::exists(bin_ + "/../lib/pg_stat_statements.so"); }

 private:
  static Cluster*& Atual() {
    static Cluster* atual = nullptr;
    return atual;
  }
  QString Dados() const { return dir_.filePath("data"); }
  static QByteArray Le(const QString& arquivo) {
    QFile f(arquivo);
    if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error(("not readable: " + arquivo).toStdString());
    return f.readAll();
  }
  void ParaSemFalhar(const char* modo) noexcept {
    try {
      Para(modo);
    } catch (...) {
    }
  }
  void Roda(const QString& programa, const QStringList& args, const QByteArray& entrada = {}) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    QStringList tudo = comoUsuario_ + QStringList{programa} + args;
    p.start(tudo.takeFirst(), tudo);
    p.write(entrada);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
      throw std::runtime_error((programa + ": " + QString::fromLocal8Bit(p.readAll())).toStdString());
  }

  QString bin_;
  QTemporaryDir dir_;
  QStringList comoUsuario_;
  bool rodando_ = false;
  bool rapido_ = true;
};

}  // namespace pgteste
