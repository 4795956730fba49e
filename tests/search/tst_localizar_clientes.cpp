// The search dialog beside the real client form: F5 opens it, a confirmed row is shown in the client form, the form's unload closes it.
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "clients/frmClientes.h"
#include "data/mGeral.h"
#include "fixture.h"
#include "platform/forms/window.h"
#include "shell/Principal.h"
#include "tests/clients/fixture.h"

using fixture::Dialogo;

class TstLocalizarClientes : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  fixture::Caixas caixas_;

  static frmClientes& form() { return frmClientes::Instance(); }
  static QString campo(const char* nome) {
    return form().Window()->findChild<QLineEdit*>(QLatin1String(nome))->displayText();
  }
  static void F5() {
    Principal::Instance().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Principal::Instance()));
    QTest::keyClick(Principal::Instance().windowHandle(), Qt::Key_F5);
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QString err;
    QVERIFY2(fixture::RegistraTrivex(dir_, &err), qPrintable(err));
    fixture::CriaBanco(dir_.path());
    forms::SetProgramFolder(dir_.path());
    form().Show();
    Principal::Instance().show();
    QVERIFY(form().ClienteAtivo);
  }
  void init() { caixas_.clear(); }
  void cleanup() { frmLocalizar::Instance().Unload(); }
  void cleanupTestCase() {
    if (form().IsLoaded()) form().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void f5MostraOMesmoDialogo() {
    F5();
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    Dialogo d;
    d.Busca("Nome", "Contém", "Silva");
    d.Seleciona(1);
    QPointer<QWidget> janela = d.w;
    // Again from the client form: the same window, contents intact.
    F5();
    QVERIFY(frmLocalizar::Instance().Window() == janela && janela->isVisible() && caixas_.isEmpty());
    QCOMPARE(d.Coluna() << d.txtCondicao->text() << QString::number(d.lvItens->currentIndex().row()),
             (QStringList{"11122233344", "22233344455", "Silva", "1"}));
  }

  void confirmarEFechamento() {
    Dialogo d = Dialogo::Abre();
    d.Busca("CPF-Cód.", "Contém", "C00");
    // Without a selection: a warning, the dialog stays and the form keeps its client.
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QCOMPARE(caixas_,
             QStringList{fixture::Caixa(QStringLiteral("Selecione um cliente na lista"), forms::vbExclamation)});
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtCPFCod"), QStringLiteral("C003"));
    d.DuploClique(0);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QCOMPARE(campo("txtCPFCod") + '|' + campo("txtNome"), QStringLiteral("C001|Ana Costa"));
    // A client deleted since the search: the form shows its last client, the dialog closes.
    d = Dialogo::Abre();
    d.Busca("CPF-Cód.", "Contém", "C00");
    mGeral::cnConexao->Execute(QStringLiteral("Delete From Clientes Where CPFCod = 'C002'"));
    d.Seleciona(1);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QVERIFY(!frmLocalizar::Instance().IsLoaded() && caixas_.size() == 1);
    QCOMPARE(campo("txtCPFCod"), QStringLiteral("C003"));
    // The form's unload closes the dialog.
    Dialogo::Abre();
    form().Unload();
    QVERIFY(!form().ClienteAtivo && !frmLocalizar::Instance().IsLoaded());
    // With the client form closed a confirm does nothing, selection or not, and the dialog stays.
    d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "Silva");
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    d.Seleciona(0);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    QVERIFY(frmLocalizar::Instance().IsLoaded() && caixas_.size() == 1);
  }
};

QTEST_MAIN(TstLocalizarClientes)
#include "tst_localizar_clientes.moc"
