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
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) { return boxes << c.prompt, int(forms::vbOK); });
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
    QVERIFY(sqlite.waitForFinished() && sqlite.exitCode() == 0);
    Principal& p = Principal::Instance();
    QVERIFY(mGeral::cnConexao && mGeral::cnConexao->IsOpen());
    QCOMPARE(mGeral::cnConexao->DataSource(), dir.filePath("ulmaro.mdb"));
    QCOMPARE(p.windowTitle(), QString("Teste Controle Vaskor Torvana"));
    QCOMPARE(&Principal::Instance(), &p);
    const QList<QSize> sizes = p.windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
  }

  // Each menu as "text shortcut|..." with "-" for a separator; Serviços does nothing.
  void menus() {
    Principal& p = Principal::Instance();
    auto itens = [](const QList<QAction*>& actions) {
      QStringList s;
      for (QAction* a : actions) s << (a->isSeparator() ? "-" : (a->text() + ' ' + a->shortcut().toString()).trimmed());
      return s.join('|');
    };
    QCOMPARE(itens(p.menuBar()->actions()), QString("&Arquivo|&Cadastros|&Movimentações|A&genda"));
    QCOMPARE(itens(p.mnuArquivo->actions()) + itens(p.mnuAgenda->actions()), QString());
    QCOMPARE(itens(p.mnuCadastros->actions()), QString("C&lientes F8|-"));
    QCOMPARE(itens(p.mnuMovimento->actions()), QString("&Serviços Ctrl+S"));
    QVERIFY(p.mnuCadastros->actions() == QList<QAction*>({p.mnuClientes, p.mnuRisco1}) &&
            p.mnuMovimento->actions().value(0) == p.mnuServ);
    // The separator stands under "C&lientes" although nothing follows it.
    QVERIFY(p.mnuCadastros->actionGeometry(p.mnuRisco1).height() > 0);
    p.mnuServ->trigger();
    QVERIFY(p.MdiArea()->subWindowList().isEmpty() && boxes.isEmpty());
  }

  // Two empty bands on top, with their sizes and no context menu.
  void coolBar() {
    Principal& p = Principal::Instance();
    p.show();
    const QList<QToolBar*> bands = p.findChildren<QToolBar*>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(bands, QList<QToolBar*>({p.CoolBar1Band1, p.CoolBar1Band2}));
    QPointer<QWidget> popup;
    QTimer::singleShot(0, [&popup] {
      if ((popup = QApplication::activePopupWidget())) popup->close();
    });
    for (QToolBar* b : bands) {
      QCOMPARE(p.toolBarArea(b), Qt::TopToolBarArea);
      QVERIFY(b->actions().isEmpty());
      QCOMPARE(b->height(), forms::Twips(420));
      QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5), b->mapToGlobal(QPoint(5, 5)));
      QApplication::sendEvent(b, &ev);
    }
    QCOMPARE(bands[0]->minimumWidth(), forms::Twips(2880));
    QCOMPARE(bands[1]->minimumWidth(), forms::Twips(1440));
    QCoreApplication::processEvents();
    QVERIFY(!popup && bands[0]->isVisible() && bands[1]->isVisible());
  }
};

QTEST_MAIN(TestPrincipal)
#include "test_principal.moc"
