#pragma once
// Test helpers: a fresh database made from data/schema.sql, and the error a call raises.
#include <sqlite3.h>

#include <QFile>
#include <QString>
#include <functional>
#include <stdexcept>

#include "platform/ado/ado.h"

namespace testdb {

// Creates path from the schema (replacing any file there) and returns path.
inline QString Cria(const QString& path) {
  QFile schema(QStringLiteral(VT_SOURCE_DIR "/data/schema.sql"));
  if (!schema.open(QIODevice::ReadOnly)) throw std::runtime_error("schema.sql not readable");
  for (const char* ext : {"", "-wal", "-shm"}) QFile::remove(path + ext);
  sqlite3* db = nullptr;
  sqlite3_open(path.toUtf8().constData(), &db);
  const int rc = sqlite3_exec(db, schema.readAll().constData(), nullptr, nullptr, nullptr);
  const std::string msg = sqlite3_errmsg(db);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("schema: " + msg);
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
