// The main window: menu, shortcuts, cool bar, and its load opening the database.
#include <QAction>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
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
    // The separator stands under "C&lientes" although nothing follows it.
    QVERIFY(p.mnuCadastros->actionGeometry(p.mnuRisco1).height() > 0);

    const QList<QAction*> mov = p.mnuMovimento->actions();
    QCOMPARE(mov.size(), 1);
    QCOMPARE(mov[0]->text(), QString("&Serviços"));
    QCOMPARE(mov[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  }

  void iconHasBothSizes() {
    const QList<QSize> sizes = Principal::Instance().windowIcon().availableSizes();
    QVERIFY2(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)),
             qPrintable(QString::number(sizes.size())));
  }

  void coolBarHasNoContextMenu() {
    Principal& p = Principal::Instance();
    p.show();
    QPointer<QWidget> popup;
    QTimer::singleShot(0, [&popup] {
      popup = QApplication::activePopupWidget();
      if (popup) popup->close();
    });
    for (QToolBar* band : {p.CoolBar1Band1, p.CoolBar1Band2}) {
      QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5), band->mapToGlobal(QPoint(5, 5)));
      QApplication::sendEvent(band, &ev);
    }
    QCoreApplication::processEvents();
    QVERIFY(!popup);
    QVERIFY(p.CoolBar1Band1->isVisible() && p.CoolBar1Band2->isVisible());
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
