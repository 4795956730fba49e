// Start-up failures: the real program, copied into a folder of its own.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

class TestStartup : public QObject {
  Q_OBJECT

  struct Run {
    int exitCode;
    QStringList boxes;
  };

  static QByteArray Quote(const QByteArray& s) {
    QByteArray q = s;
    q.replace('\'', "'\\''");
    return '\'' + q + '\'';
  }

  // Runs the program from dir (raw bytes: any legal folder name) with message
  // boxes echoed instead of shown; as user nobody when asked and possible.
  static Run runIn(const QByteArray& dir, bool asNobody = false) {
    const fs::path exe = fs::path(dir.toStdString()) / "VaskorTorvana";
    fs::remove(exe);
    fs::copy_file(VT_BIN_DIR "/VaskorTorvana", exe);
    QByteArray cmd = "cd / && env QT_QPA_PLATFORM=offscreen VT_MSGBOX_ECHO=1 VT_OLE_REGISTRY=" +
                     Quote(dir + "/registry.ini") + " XDG_RUNTIME_DIR=" + Quote(dir) + " ";
    if (asNobody) cmd += "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
    cmd += "timeout 30 " + Quote(QByteArray::fromStdString(exe.string())) + " 2>&1 >/dev/null; echo \"exit=$?\"";
    FILE* p = popen(cmd.constData(), "r");
    QByteArray out;
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, qsizetype(n));
    pclose(p);
    QStringList boxes;
    int code = -1;
    for (const QString& line : QString::fromUtf8(out).split('\n')) {
      if (line.startsWith("MsgBox ")) boxes << line;
      if (line.startsWith("exit=")) code = line.mid(5).toInt();
    }
    fs::remove(exe);
    return {code, boxes};
  }

  // Everything in dir, name and content, to see that a refused start wrote nothing.
  static QByteArray Folder(const QString& dir) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name)) {
      if (f.fileName() == "VaskorTorvana" || f.fileName() == "registry.ini") continue;
      QFile file(f.filePath());
      file.open(QIODevice::ReadOnly);
      h.addData(f.fileName().toUtf8() + '\0' + file.readAll() + '\0');
    }
    return h.result().toHex();
  }

  static void Sql(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

 private slots:
  // A missing or refused file, and its folder, stay exactly as they were:
  // one report, and the program ends.
  void refusedFilesStayAsTheyWere_data() {
    QTest::addColumn<QString>("caso");
    QTest::addColumn<QString>("texto");  // a pattern of the report
    QTest::newRow("missing") << "missing" << "Erro em tempo de execução '14'.*não foi encontrado";
    QTest::newRow("garbage") << "garbage" << "não é um banco de dados";
    QTest::newRow("empty") << "empty" << "não é um banco de dados";
    QTest::newRow("no table") << "no table" << "A tabela Clientes não existe";
    QTest::newRow("no column") << "no column" << "A tabela Clientes não tem a coluna Email";
    QTest::newRow("read-only") << "read-only" << "somente leitura";
  }
  void refusedFilesStayAsTheyWere() {
    QFETCH(QString, caso);
    QFETCH(QString, texto);
    QTemporaryDir dir;
    const QString db = dir.path() + "/ulmaro.mdb";
    QFile f(db);
    if (caso != "missing") QVERIFY(f.open(QIODevice::WriteOnly));
    if (caso == "garbage") f.write(QByteArray(4096, 'x'));
    f.close();
    if (caso == "no table") Sql(db, "Create Table Outra (x); Insert Into Outra Values (1)");
    if (caso == "no column" || caso == "read-only") {
      QFile schema(VT_SOURCE_DIR "/data/schema.sql");
      QVERIFY(schema.open(QIODevice::ReadOnly));
      QByteArray sql = schema.readAll();
      if (caso == "no column") sql.replace("Email        TEXT             COLLATE NOCASE,", "");
      Sql(db, sql.constData());
    }
    bool asNobody = false;
    if (caso == "read-only") {
      QFile::setPermissions(db, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
      // root writes any file: the program then runs as an ordinary user.
      asNobody = geteuid() == 0;
      if (asNobody) QVERIFY(::chmod(dir.path().toUtf8().constData(), 0777) == 0);
    }
    const QByteArray before = Folder(dir.path());
    const Run r = runIn(dir.path().toUtf8(), asNobody);
    QVERIFY2(r.exitCode > 0, qPrintable(QString::number(r.exitCode)));
    QCOMPARE(r.boxes.size(), 1);
    QVERIFY2(r.boxes[0].startsWith("MsgBox [Pontelo] ") && r.boxes[0].contains(QRegularExpression(texto)),
             qPrintable(r.boxes[0]));
    QCOMPARE(Folder(dir.path()), before);  // a missing database is not created
    QVERIFY(!QFile::exists(db + "-wal") && !QFile::exists(db + "-shm"));
  }

  // Any legal folder name holds the program and its database: ";" once broke
  // the connection string, a name that is not UTF-8 lost the folder.
  void databaseFoundInAnyFolder() {
    QTemporaryDir base;
    for (const QByteArray& nome : {QByteArray("a;b=c \"d\""), QByteArray("x\xff\xfey")}) {
      const QByteArray dir = base.path().toUtf8() + '/' + nome;
      QVERIFY(::mkdir(dir.constData(), 0700) == 0);
      FILE* f = fopen((dir + "/ulmaro.mdb").constData(), "w");
      fwrite(QByteArray(4096, 'x').constData(), 1, 4096, f);
      fclose(f);
      const Run r = runIn(dir);
      QCOMPARE(r.boxes.size(), 1);
      // The file beside the program was read: it is not a database.
      QVERIFY2(r.boxes[0].contains("Erro em tempo de execução '26'"), qPrintable(r.boxes[0]));
      fs::remove_all(dir.toStdString());
    }
  }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
