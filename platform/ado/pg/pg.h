#pragma once
// The data objects over a PostgreSQL server, through libpq: its session, its
// failures in the words of the catalogue, its dialect. Internal to
// platform/ado; the text functions are pure, for tests without a server.
#include <libpq-fe.h>

#include <QHash>
#include <deque>
#include <memory>

#include "platform/ado/motor.h"

namespace ado::detail {

// A statement text as the server reads it: "?" parameters numbered ($1, $2,
// ...) when params is true, and every "Like '<pattern>'" given "Escape ''",
// so that a backslash in a pattern is a plain character, as on the file.
// Literals, quoted names and comments are copied as they are.
QString TextoPg(const QString& sql, bool params);

// How the engine runs a statement of the connection.
struct ClassePg {
  bool le = false;     // it only reads: run as it is
  QString tabela;      // the table an Insert, Update or Delete writes
  QString comRetorno;  // that statement given "Returning rowid", where that is safe
};
ClassePg ClassificaPg(const QString& sql);

// The value of a result's cell; a timestamp keeps three decimals
// ("2024-05-01 10:00:00.120").
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
struct InstantaneoPg final : Instantaneo {
  quint64 xmin = 0, xmax = 0;
  std::vector<quint64> emCurso;  // started before xmax, still running then
  // False when the text is not a snapshot.
  bool Le(QByteArrayView texto);
  // As pg_visible_in_snapshot.
  bool Ve(quint64 xid) const override;
};

// One session with the server.
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

// Throws the ado::Error for a failed command (r may be null).
[[noreturn]] void ThrowPg(PGconn* c, const PGresult* r, const QString& context = {});
// Throws unless the command succeeded.
void Confere(PGconn* c, const Resultado& r);

}  // namespace ado::detail
