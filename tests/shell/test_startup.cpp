// Start-up failures: the real program, copied into a folder of its own.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <fstream>

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

  // Every file in dir, name and content, to see that a refused start wrote nothing.
  static QByteArray Folder(const fs::path& dir) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    std::vector<fs::path> files(fs::directory_iterator(dir), {});
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
      if (!fs::is_regular_file(f) || f.filename() == "VaskorTorvana" || f.filename() == "registry.ini") continue;
      std::ifstream in(f, std::ios::binary);
      const std::string content(std::istreambuf_iterator<char>(in), {});
      h.addData(QByteArray::fromStdString(f.filename().string() + '\0' + content + '\0'));
    }
    return h.result().toHex();
  }

  static void Sql(const QByteArray& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.constData(), &db);
    QCOMPARE(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

 private slots:
  // A missing or refused file, and its folder, stay exactly as they were:
  // one report, and the program ends. Any legal folder name holds the program
  // and its database: ";" once broke the connection string, a name that is
  // not UTF-8 lost the folder.
  void refusedFilesStayAsTheyWere_data() {
    QTest::addColumn<QString>("caso");
    QTest::addColumn<QByteArray>("pasta");
    QTest::addColumn<QString>("texto");  // a pattern of the report
    QTest::newRow("missing") << "missing" << QByteArray() << "Erro em tempo de execução '14'.*não foi encontrado";
    QTest::newRow("garbage") << "garbage" << QByteArray() << "não é um banco de dados";
    QTest::newRow("garbage, folder with ;") << "garbage" << QByteArray("a;b=c \"d\"") << "'26'.*não é um banco";
    QTest::newRow("garbage, folder not UTF-8") << "garbage" << QByteArray("x\xff\xfey") << "'26'.*não é um banco";
    QTest::newRow("empty") << "empty" << QByteArray() << "não é um banco de dados";
    QTest::newRow("no table") << "no table" << QByteArray() << "A tabela Clientes não existe";
    QTest::newRow("no column") << "no column" << QByteArray() << "A tabela Clientes não tem a coluna Email";
    QTest::newRow("read-only") << "read-only" << QByteArray() << "somente leitura";
  }
  void refusedFilesStayAsTheyWere() {
    QFETCH(QString, caso);
    QFETCH(QByteArray, pasta);
    QFETCH(QString, texto);
    QTemporaryDir base;
    const QByteArray dir = QFile::encodeName(base.path()) + (pasta.isEmpty() ? "" : "/" + pasta);
    auto limpa = qScopeGuard([&] { fs::remove_all(dir.toStdString()); });
    QVERIFY(pasta.isEmpty() || ::mkdir(dir.constData(), 0700) == 0);
    const QByteArray db = dir + "/ulmaro.mdb";
    if (caso != "missing") std::ofstream(db.toStdString()) << std::string(caso == "garbage" ? 4096 : 0, 'x');
    if (caso == "no table") Sql(db, "Create Table Outra (x); Insert Into Outra Values (1)");
    if (caso == "no column" || caso == "read-only") {
      QFile schema(VT_SOURCE_DIR "/data/schema.sql");
      QVERIFY(schema.open(QIODevice::ReadOnly));
      QByteArray sql = schema.readAll();
      if (caso == "no column") sql.replace("Email        TEXT             COLLATE NOCASE,", "");
      Sql(db, sql.constData());
    }
    // root writes any file: a read-only file is then tried by an ordinary user.
    const bool asNobody = caso == "read-only" && geteuid() == 0;
    if (caso == "read-only") QVERIFY(::chmod(db.constData(), 0444) == 0);
    if (asNobody) QVERIFY(::chmod(dir.constData(), 0777) == 0);
    const QByteArray before = Folder(dir.toStdString());
    const Run r = runIn(dir, asNobody);
    QVERIFY2(r.exitCode > 0, qPrintable(QString::number(r.exitCode)));
    QCOMPARE(r.boxes.size(), 1);
    QVERIFY2(r.boxes[0].startsWith("MsgBox [Pontelo] ") && r.boxes[0].contains(QRegularExpression(texto)),
             qPrintable(r.boxes[0]));
    QCOMPARE(Folder(dir.toStdString()), before);  // a missing database is not created
    QVERIFY(!fs::exists((db + "-wal").toStdString()) && !fs::exists((db + "-shm").toStdString()));
  }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
