#pragma once
// The data objects over a PostgreSQL server, through libpq. Internal to
// platform/ado: Connection and Recordset use it when their connection string
// names Provider=PostgreSQL.
#include <libpq-fe.h>

#include <QHash>
#include <deque>
#include <memory>

#include "platform/ado/backend.h"

namespace ado::detail {

// A statement text as the server reads it: "?" parameters numbered ($1, $2,
// ...) when params is true, and every "Like '<pattern>'" given "Escape ''",
// so that a backslash in a pattern is a plain character, as on the file.
// Literals, quoted names and comments are copied as they are.
QString TextoPg(const QString& sql, bool params);

// The value of a result's cell, typed as the data objects type it; a
// timestamp keeps three decimals ("2024-05-01 10:00:00.120").
Valor ValorPg(const PGresult* r, int row, int col);

// An owned result.
struct Resultado {
  PGresult* r = nullptr;
  Resultado() = default;
  explicit Resultado(PGresult* p) : r(p) {}
  Resultado(const Resultado&) = delete;
  Resultado& operator=(const Resultado&) = delete;
  Resultado(Resultado&& o) noexcept : r(std::exchange(o.r, nullptr)) {}
  Resultado& operator=(Resultado&& o) noexcept {
    if (this != &o) {
      PQclear(r);
      r = std::exchange(o.r, nullptr);
    }
    return *this;
  }
  ~Resultado() { PQclear(r); }
};

// A snapshot of the server, as pg_current_snapshot() writes it:
// "xmin:xmax:xid,xid,..." (transaction ids with their epoch).
struct InstantaneoPg {
  quint64 xmin = 0, xmax = 0;
  std::vector<quint64> emCurso;  // started before xmax, still running then
  // False when the text is not a snapshot.
  bool Le(QByteArrayView texto);
  // Whether the effects of a committed transaction are seen in the snapshot
  // (pg_visible_in_snapshot).
  bool Ve(quint64 xid) const;
};

// A statement of another connection that changed a table, as the server
// schema's trigger notifies it once its transaction commits.
struct Aviso {
  QString tabela;         // as the server names it; empty when unknown
  bool comDelta = false;  // the change in row count is known (a schema's older trigger does not tell it)
  qint64 delta = 0;
  quint64 xid = 0;        // its transaction
};

// One connection to the server.
class PgConexao {
 public:
  // Connects with a libpq connection string (or URI, or "service=<name>");
  // throws ado::Error when the server cannot be reached or refuses, or when
  // standard_conforming_strings is off.
  explicit PgConexao(const QString& conninfo);
  ~PgConexao();
  PgConexao(const PgConexao&) = delete;
  PgConexao& operator=(const PgConexao&) = delete;

  PGconn* Handle() const { return c_; }
  // Where it connects, without any password: "dbname em host:port".
  QString Fonte() const;
  const QString& Conninfo() const { return conninfo_; }

  // Before a command: a connection the server closed while it was idle (a
  // restart, an administrator) is made again, since nothing was sent on it.
  // Throws when the server cannot be reached.
  void Garante();
  // Runs a statement with text parameters (nullptr for Null); throws ado::Error.
  Resultado Executa(const QString& sql, const std::vector<const Valor*>& params = {});
  // Runs a prepared statement (prepared once per text and connection).
  Resultado Preparada(const QString& sql, const std::vector<const Valor*>& params);
  // Bumped whenever another connection commits a change to a table (the
  // server schema's trigger notifies), or this connection is made again.
  // exata: makes one round trip, so that every commit that finished before
  // the call is counted; otherwise counts what has arrived.
  qint64 VersaoAlheia(bool exata = true);
  // What the version counted after version desde, one notice per step; a
  // reconnection is a notice with no table. False when some of them are no
  // longer kept.
  bool AvisosDesde(qint64 desde, std::vector<Aviso>* out) const;
  // The columns of a table, as the server names them; empty when there is no such table.
  QStringList Colunas(const QString& table);

 private:
  void Ajusta();  // session settings, after connecting
  void LeAvisos();
  void Anota(Aviso a);
  PGconn* c_ = nullptr;
  QString conninfo_;
  qint64 alheia_ = 0;
  std::deque<Aviso> avisos_;  // the last ones, up to kAvisos; the newest is number alheia_
  static constexpr size_t kAvisos = 4096;
  QHash<QString, QByteArray> preparadas_;
};

// A recordset's own connection to the server: autocommit reads, a REPEATABLE
// READ transaction while pinned.
std::unique_ptr<Leitor> NovoLeitorPg(const QString& conninfo);

// Throws the ado::Error for a failed command (r may be null).
[[noreturn]] void ThrowPg(PGconn* c, const PGresult* r, const QString& context = {});

}  // namespace ado::detail
