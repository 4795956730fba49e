#pragma once
// Test helpers: a fresh database made from data/schema.sql, statements run
// past the program, and the error a call raises.
#include <sqlite3.h>

#include <QFile>
#include <QString>
#include <functional>
#include <stdexcept>

#include "platform/ado/ado.h"

namespace testdb {

// Runs statements (several may be given) on the file through a connection of
// its own on the plain "unix" VFS. Returns the first value of the last row
// read, empty when none, or "erro: " and SQLite's message.
inline QString Sql(const QString& path, const QString& sql, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.toUtf8().constData(), &db, flags, "unix");
  sqlite3_busy_timeout(db, 2000);
  QString v;
  char* erro = nullptr;
  auto linha = [](void* out, int, char** valores, char**) {
    *static_cast<QString*>(out) = QString::fromUtf8(valores[0]);
    return 0;
  };
  if (sqlite3_exec(db, sql.toUtf8().constData(), linha, &v, &erro) != SQLITE_OK)
    v = "erro: " + QString::fromUtf8(erro ? erro : sqlite3_errmsg(db));
  sqlite3_free(erro);
  sqlite3_close(db);
  return v;
}

// Creates path from the schema (replacing any file there) and returns path.
inline QString Cria(const QString& path) {
  QFile schema(QStringLiteral(VT_SOURCE_DIR "/data/schema.sql"));
  if (!schema.open(QIODevice::ReadOnly)) throw std::runtime_error("schema.sql not readable");
  for (const char* ext : {"", "-wal", "-shm"}) QFile::remove(path + ext);
  const QString r = Sql(path, QString::fromUtf8(schema.readAll()));
  if (r.startsWith("erro: ")) throw std::runtime_error("schema: " + r.toStdString());
  return path;
}

// Runs f and returns the number of the ado::Error it throws (0 when none).
inline long ErroDe(const std::function<void()>& f, QString* description = nullptr) {
  try {
    f();
  } catch (const ado::Error& e) {
    if (description) *description = e.Description();
    return e.Number();
  }
  return 0;
}

}  // namespace testdb
