// The main window: menu, shortcuts, cool bar, and its load opening the database.
#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include "data/mGeral.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "shell/Principal.h"

class TestPrincipal : public QObject {
  Q_OBJECT
  QTemporaryDir dir;
  QStringList boxes;

 private slots:
  void initTestCase() {
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      boxes << c.prompt;
      return int(forms::vbOK);
    });
    forms::SetProgramFolder(dir.path());
  }

  void loadFailsWithoutDatabaseAndLeavesNoInstance() {
    QVERIFY_THROWS_EXCEPTION(ado::Error, Principal::Instance());
    QVERIFY(!Principal::Exists());
  }

  void loadOpensTheConnection() {
    QProcess sqlite;
    sqlite.setStandardInputFile(VT_SOURCE_DIR "/data/schema.sql");
    sqlite.start("sqlite3", {dir.filePath("ulmaro.mdb")});
    QVERIFY(sqlite.waitForFinished());
    QCOMPARE(sqlite.exitCode(), 0);

    Principal& p = Principal::Instance();
    QVERIFY(mGeral::cnConexao && mGeral::cnConexao->IsOpen());
    QCOMPARE(mGeral::cnConexao->DataSource(), dir.filePath("ulmaro.mdb"));
    QCOMPARE(p.windowTitle(), QString("Teste Controle Vaskor Torvana"));
    QCOMPARE(&Principal::Instance(), &p);
  }

  void menuStructure() {
    Principal& p = Principal::Instance();
    QStringList top;
    for (QAction* a : p.menuBar()->actions()) top << a->text();
    QCOMPARE(top, QStringList({"&Arquivo", "&Cadastros", "&Movimentações", "A&genda"}));
    QVERIFY(p.mnuArquivo->actions().isEmpty());
    QVERIFY(p.mnuAgenda->actions().isEmpty());

    const QList<QAction*> cad = p.mnuCadastros->actions();
    QCOMPARE(cad.size(), 2);
    QCOMPARE(cad[0], p.mnuClientes);
    QCOMPARE(cad[0]->text(), QString("C&lientes"));
    QCOMPARE(cad[0]->shortcut(), QKeySequence(Qt::Key_F8));
    QVERIFY(cad[1]->isSeparator());
    QCOMPARE(cad[1], p.mnuRisco1);

    const QList<QAction*> mov = p.mnuMovimento->actions();
    QCOMPARE(mov.size(), 1);
    QCOMPARE(mov[0]->text(), QString("&Serviços"));
    QCOMPARE(mov[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  }

  void coolBarHasTwoEmptyBands() {
    Principal& p = Principal::Instance();
    const QList<QToolBar*> bands = p.findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(bands.size(), 2);
    for (QToolBar* b : bands) {
      QCOMPARE(p.toolBarArea(b), Qt::TopToolBarArea);
      QVERIFY(b->actions().isEmpty());
      QCOMPARE(b->height(), forms::Twips(420));
    }
    QCOMPARE(bands[0]->minimumWidth(), forms::Twips(2880));
    QCOMPARE(bands[1]->minimumWidth(), forms::Twips(1440));
  }

  void servicosDoesNothing() {
    Principal& p = Principal::Instance();
    const int children = p.MdiArea()->subWindowList().size();
    p.mnuServ->trigger();
    QCOMPARE(p.MdiArea()->subWindowList().size(), children);
    QVERIFY(boxes.isEmpty());
  }
};

QTEST_MAIN(TestPrincipal)
#include "test_principal.moc"
