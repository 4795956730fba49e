#pragma once
// Test helper: a fresh database made from data/schema.sql.
#include <sqlite3.h>

#include <QFile>
#include <QString>
#include <stdexcept>

namespace testdb {

// Creates path from the schema (replacing any file there) and returns path.
inline QString Cria(const QString& path) {
  QFile schema(QStringLiteral(VT_SOURCE_DIR "/data/schema.sql"));
  if (!schema.open(QIODevice::ReadOnly)) throw std::runtime_error("schema.sql not readable");
  const QByteArray sql = schema.readAll();
  for (const char* ext : {"", "-wal", "-shm"}) QFile::remove(path + ext);
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  char* err = nullptr;
  const int rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &err);
  const std::string msg = err ? err : "";
  sqlite3_free(err);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("schema: " + msg);
  return path;
}

}  // namespace testdb
