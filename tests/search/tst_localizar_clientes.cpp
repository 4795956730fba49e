// The search dialog beside the real client form: F5 and the search button open
// it, a confirmed row is shown in the client form, the form's unload closes it.
#include <QApplication>
#include <QLineEdit>
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
  // F5 typed in the client form, at whatever field has the focus there.
  static void F5() {
    Principal& p = Principal::Instance();
    p.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p));
    QWidget* foco = QApplication::focusWidget();
    if (!foco || !form().Window()->isAncestorOf(foco)) {
      for (QWidget* w : form().Window()->findChildren<QWidget*>())
        if (w->isEnabled() && w->isVisible() && w->focusPolicy() != Qt::NoFocus) {
          w->setFocus();
          break;
        }
    }
    QVERIFY(QApplication::focusWidget() && form().Window()->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(p.windowHandle(), Qt::Key_F5);
  }
  static int Linha(const Dialogo& d, const QString& cpf) { return int(d.Codigos().indexOf(cpf)); }

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
    QCOMPARE(campo("txtCPFCod"), QStringLiteral("C003"));  // the last registered
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
    QVERIFY(d.w->isVisible());
    QVERIFY(d.w->isWindow() && !d.w->parentWidget());
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("Silva"));
    d.Seleciona(1);
    QPointer<QWidget> janela = d.w;

    F5();
    QCOMPARE(frmLocalizar::Instance().Window(), janela.data());
    QVERIFY(janela->isVisible());
    QCOMPARE(d.Codigos(), (QStringList{"11122233344", "22233344455"}));
    QCOMPARE(d.lvItens->currentIndex().row(), 1);
    QCOMPARE(d.txtCondicao->text(), QStringLiteral("Silva"));

    // The toolbar's search button (entry 10) does the same.
    QToolBar* bar = form().Window()->findChild<QToolBar*>();
    QVERIFY(bar);
    auto* localizar = qobject_cast<QToolButton*>(bar->widgetForAction(bar->actions().value(9)));
    QVERIFY(localizar);
    QTest::mouseClick(localizar, Qt::LeftButton);
    QCOMPARE(frmLocalizar::Instance().Window(), janela.data());
    QCOMPARE(d.Codigos().size(), 2);
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  void duploCliqueCarregaEFecha() {
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QString());
    d.DuploClique(Linha(d, QStringLiteral("C001")));
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtCPFCod"), QStringLiteral("C001"));
    QCOMPARE(campo("txtNome"), QStringLiteral("Ana Costa"));
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  void okCarregaOSelecionado() {
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Telefone"), QStringLiteral("Igua à"), QStringLiteral("3333-4445"));
    d.Seleciona(0);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtNome"), QStringLiteral("Carla D'Ávila"));
    QCOMPARE(campo("mskFone"), QStringLiteral("3333-4445"));
  }

  void clienteExcluidoMostraOUltimo() {
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("CPF-Cód."), QStringLiteral("Contém"), QStringLiteral("C00"));
    mGeral::cnConexao->Execute(QStringLiteral("Delete From Clientes Where CPFCod = 'C002'"));
    d.Seleciona(Linha(d, QStringLiteral("C002")));
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    mGeral::cnConexao->Execute(QStringLiteral(
        "Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,DataCadastro) Values "
        "('C002','Pedro 100% Lima','M','01310-100','Rua A',1,'Santos','SP',13,'5555-6666','2024-01-01 10:00:03.000')"));
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtCPFCod"), QStringLiteral("C003"));
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  void fechamentoDoFormularioFechaODialogo() {
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("a"));
    QPointer<QWidget> janela = d.w;
    form().Unload();
    QVERIFY(!form().ClienteAtivo);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QTRY_VERIFY(janela.isNull());

    // With the client form closed a confirm does nothing and the dialog stays.
    d = Dialogo::Abre();
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("Silva"));
    d.Seleciona(0);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    d.DuploClique(1);
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    QVERIFY(caixas_.chamadas.isEmpty());
  }
};

QTEST_MAIN(TstLocalizarClientes)
#include "tst_localizar_clientes.moc"
