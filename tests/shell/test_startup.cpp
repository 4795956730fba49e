// Start-up failures: the real program, copied into a folder of its own.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestStartup : public QObject {
  Q_OBJECT

  struct Run {
    int exitCode;
    QStringList boxes;
  };

  // Runs the program from dir with message boxes echoed instead of shown.
  static Run runIn(const QString& dir) {
    const QString exe = dir + "/VaskorTorvana";
    QFile::remove(exe);
    if (!QFile::copy(VT_BIN_DIR "/VaskorTorvana", exe)) qFatal("cannot copy the program");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("VT_MSGBOX_ECHO", "1");
    env.insert("VT_OLE_REGISTRY", dir + "/registry.ini");
    p.setProcessEnvironment(env);
    p.start(exe, {});
    if (!p.waitForFinished(30000)) {
      p.kill();
      p.waitForFinished();
      return {-1, {}};
    }
    QStringList boxes;
    for (const QString& line : QString::fromLocal8Bit(p.readAllStandardError()).split('\n'))
      if (line.startsWith("MsgBox ")) boxes << line;
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, boxes};
  }

 private slots:
  void missingDatabaseEndsWithOneReport() {
    QTemporaryDir dir;
    const Run r = runIn(dir.path());
    QVERIFY2(r.exitCode > 0, qPrintable(QString::number(r.exitCode)));
    QCOMPARE(r.boxes.size(), 1);
    QVERIFY(r.boxes[0].startsWith("MsgBox [Pontelo] "));
    QVERIFY(r.boxes[0].contains("Erro em tempo de execução"));
    QVERIFY2(!QFile::exists(dir.path() + "/ulmaro.mdb"), "a missing database must not be created");
  }

  void garbageDatabaseEndsWithOneReport() {
    QTemporaryDir dir;
    QFile f(dir.path() + "/ulmaro.mdb");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    const Run r = runIn(dir.path());
    QVERIFY(r.exitCode > 0);
    QCOMPARE(r.boxes.size(), 1);
    QVERIFY2(r.boxes[0].contains("não é um banco de dados"), qPrintable(r.boxes[0]));
    QCOMPARE(QFileInfo(f.fileName()).size(), 4096);
  }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
