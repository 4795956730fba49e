// The search dialog beside the real client form: F5 and the search button open
// it, a confirmed row is shown in the client form, the form's unload closes it.
#include <QApplication>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include "clients/frmClientes.h"
#include "data/mGeral.h"
#include "fixture.h"
#include "platform/forms/window.h"
#include "platform/ole/ole.h"
#include "shell/Principal.h"

using fixture::Dialogo;

class TstLocalizarClientes : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  fixture::Caixas caixas_;

  static frmClientes& form() { return frmClientes::Instance(); }
  static QString campo(const char* nome) {
    return form().Window()->findChild<QLineEdit*>(QLatin1String(nome))->displayText();
  }
  // F5 typed in the client form, at the widget that has the focus there.
  static void F5() {
    Principal::Instance().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Principal::Instance()));
    QWidget* foco = QApplication::focusWidget();
    QVERIFY(foco && form().Window()->isAncestorOf(foco));
    QTest::keyClick(foco, Qt::Key_F5);
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("VT_OLE_REGISTRY", dir_.filePath(QStringLiteral("registry")).toUtf8());
    QString err;
    QVERIFY2(ole::Succeeded(ole::RegisterServer(QStringLiteral(VT_BIN_DIR "/Trivex.ocx"), false, &err)),
             qPrintable(err));
    fixture::CriaBanco(dir_.path());
    forms::SetProgramFolder(dir_.path());
    caixas_.Instala();
    form().Show();
    Principal::Instance().show();
    QVERIFY(form().ClienteAtivo);
  }
  void init() {
    caixas_.chamadas.clear();
    if (!form().IsLoaded()) form().Show();
  }
  void cleanup() { frmLocalizar::Instance().Unload(); }
  void cleanupTestCase() {
    if (form().IsLoaded()) form().Unload();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    forms::SetMsgBoxResponder({});
  }

  void f5EBotaoMostramOMesmoDialogo() {
    F5();
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    Dialogo d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "Silva");
    d.Seleciona(1);
    QPointer<QWidget> janela = d.w;

    F5();
    QVERIFY(frmLocalizar::Instance().Window() == janela && janela->isVisible());
    QCOMPARE(d.Coluna(), (QStringList{"11122233344", "22233344455"}));
    QCOMPARE(d.lvItens->currentIndex().row(), 1);
    QCOMPARE(d.txtCondicao->text(), QStringLiteral("Silva"));

    // The toolbar's search button (entry 10) does the same.
    auto* bar = form().Window()->findChild<QToolBar*>();
    auto* localizar = bar ? qobject_cast<QToolButton*>(bar->widgetForAction(bar->actions().value(9))) : nullptr;
    QVERIFY(localizar);
    QTest::mouseClick(localizar, Qt::LeftButton);
    QCOMPARE(frmLocalizar::Instance().Window(), janela.data());
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  void confirmarCarregaEFecha() {
    Dialogo d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "");
    // Without a selection: a warning, the dialog stays and the form keeps its client.
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QCOMPARE(caixas_.chamadas,
             QStringList{fixture::Caixa(QStringLiteral("Selecione um cliente na lista"), forms::vbExclamation)});
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtCPFCod"), QStringLiteral("C003"));

    d.DuploClique(int(d.Coluna().indexOf(QStringLiteral("C001"))));
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtCPFCod"), QStringLiteral("C001"));
    QCOMPARE(campo("txtNome"), QStringLiteral("Ana Costa"));

    d = Dialogo::Abre();
    d.Busca("Telefone", "Igua à", "3333-4445");
    d.Seleciona(0);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtNome"), QStringLiteral("Carla D'Ávila"));
    QCOMPARE(campo("mskFone"), QStringLiteral("3333-4445"));
    QCOMPARE(caixas_.chamadas.size(), 1);
  }

  void clienteExcluidoMostraOUltimo() {
    Dialogo d = Dialogo::Abre();
    d.Busca("CPF-Cód.", "Contém", "C00");
    mGeral::cnConexao->Execute(QStringLiteral("Delete From Clientes Where CPFCod = 'C002'"));
    d.Seleciona(1);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtCPFCod"), QStringLiteral("C003"));
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  void fechamentoDoFormularioFechaODialogo() {
    Dialogo d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "a");
    QPointer<QWidget> janela = d.w;
    form().Unload();
    QVERIFY(!form().ClienteAtivo);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QTRY_VERIFY(janela.isNull());

    // With the client form closed a confirm does nothing, selection or not, and the dialog stays.
    d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "Silva");
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    d.Seleciona(0);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    d.DuploClique(1);
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    QVERIFY(caixas_.chamadas.isEmpty());
  }
};

QTEST_MAIN(TstLocalizarClientes)
#include "tst_localizar_clientes.moc"
