#pragma once
// What the data objects need from a database engine, so that Connection and
// Recordset keep one set of snapshot and position rules for SQLite files and
// PostgreSQL servers. Internal to platform/ado.
#include <sqlite3.h>

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <unordered_set>
#include <vector>

namespace ado::detail {

// One value copied out of a result, typed as SQLite types it (SQLITE_NULL,
// SQLITE_INTEGER, SQLITE_FLOAT, SQLITE_TEXT, SQLITE_BLOB).
struct Valor {
  int type = SQLITE_NULL;
  sqlite3_int64 i = 0;
  double f = 0;
  QByteArray bytes;  // text (UTF-8) or blob

  QVariant ToVariant() const;
};

// A text parameter listing ids: open, the ids joined by commas, close.
inline Valor ListaIds(const std::unordered_set<sqlite3_int64>& ids, char open, char close) {
  Valor v;
  v.type = SQLITE_TEXT;
  v.bytes += open;
  for (sqlite3_int64 id : ids) {
    if (v.bytes.size() > 1) v.bytes += ',';
    v.bytes += QByteArray::number(id);
  }
  v.bytes += close;
  return v;
}

// A recordset's own read-only connection: it runs the positioned queries and
// the counts, and pins a snapshot while its Connection writes. Queries use "?"
// for their parameters, in order.
class Leitor {
 public:
  virtual ~Leitor() = default;
  // Runs a query and copies its first row into out; false when it has none.
  virtual bool Linha(const QString& sql, const std::vector<const Valor*>& params, std::vector<Valor>* out) = 0;
  // The names of the columns a query returns (it is not run for its rows).
  virtual QStringList Nomes(const QString& sql) = 0;
  // The lower-cased names of the table's columns declared Not Null.
  virtual QSet<QString> NaoNulas(const QString& table) = 0;
  // Starts reading the current state as a snapshot kept until Solta.
  virtual void Fixa() = 0;
  virtual void Solta() = 0;
  // A condition true for the rows whose rowid is in a set, with its one parameter.
  virtual QString CondicaoIds() const = 0;
  virtual Valor ParametroIds(const std::unordered_set<sqlite3_int64>& ids) const = 0;
};

}  // namespace ado::detail
