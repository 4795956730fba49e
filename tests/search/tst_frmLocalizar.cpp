// The search dialog against a small known table; the client form stays closed.
#include <QApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "data/mGeral.h"
#include "fixture.h"
#include "platform/forms/window.h"

using fixture::Caixa;
using fixture::Dialogo;

class TstFrmLocalizar : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  fixture::Caixas caixas_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    fixture::CriaBanco(dir_.path());
    forms::SetProgramFolder(dir_.path());
    mGeral::AbreBanco();
  }
  void init() { caixas_.Instala(); }
  void cleanup() { frmLocalizar::Instance().Unload(); }
  void cleanupTestCase() { forms::SetMsgBoxResponder({}); }

  void abreVazioComFocoNoCampo() {
    Dialogo d = Dialogo::Abre();
    QVERIFY(frmLocalizar::Instance().ATIVO);
    QVERIFY(d.w->isWindow() && !d.w->parentWidget());
    QCOMPARE(d.w->windowTitle(), QStringLiteral("Pesquisa Cadastro de Clientes"));
    QVERIFY(d.cboCampos->currentIndex() == -1 && d.cboCriterio->currentIndex() == -1);
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    QCOMPARE(QApplication::focusWidget(), d.cboCampos);

    // Tab order; the picture is not in the chain.
    const std::initializer_list<QWidget*> cadeia = {d.cboCriterio, d.txtCondicao, d.lvItens,
                                                    d.cmdCancelar, d.cmdOK,       d.cboCampos};
    for (QWidget* next : cadeia) {
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Tab);
      QTRY_COMPARE(QApplication::focusWidget(), next);
    }

    // Neither Esc nor Enter acts on the buttons.
    QSignalSpy ok(d.cmdOK, &QPushButton::clicked);
    for (QWidget* at : std::initializer_list<QWidget*>{d.txtCondicao, d.cmdOK}) {
      at->setFocus();
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Escape);
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Return);
    }
    QVERIFY(frmLocalizar::Instance().IsLoaded() && d.w->isVisible());
    QCOMPARE(ok.count(), 0);
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  void escolhasFaltando() {
    Dialogo d = Dialogo::Abre();
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    const QString antes = mGeral::strSQL;
    // The field is checked first, even with a criterion chosen.
    d.txtCondicao->setFocus();
    d.Busca({}, "Contém", "Silva");
    QTRY_COMPARE(QApplication::focusWidget(), d.cboCampos);
    d.txtCondicao->setFocus();
    d.Busca("Nome", {}, "Silva");
    QTRY_COMPARE(QApplication::focusWidget(), d.cboCriterio);
    QCOMPARE(caixas_.chamadas,
             (QStringList{Caixa(QStringLiteral("Escolha onde deseja efetura a busca"), forms::vbExclamation),
                          Caixa(QStringLiteral("Escolha um critério para efetura a busca"), forms::vbExclamation)}));
    QCOMPARE(mGeral::strSQL, antes);
  }

  void buscas_data() {
    QTest::addColumn<QString>("campo");
    QTest::addColumn<QString>("criterio");
    QTest::addColumn<QString>("texto");
    QTest::addColumn<QString>("achados");  // CPFCods in list order; none: the not-found message
    QTest::addColumn<QString>("onde");     // the statement's condition; empty: not checked
    const char *c = "Contém", *i = "Igua à";
    QTest::newRow("nome contém") << "Nome" << c << "Silva" << "11122233344 22233344455" << "Nome Like '%Silva%'";
    QTest::newRow("nome igual, any case") << "Nome" << i << "anacleto" << "C003" << "Nome = 'anacleto'";
    QTest::newRow("contém vazio: all")
        << "Nome" << c << "" << "11122233344 22233344455 C001 C002 33344455566 C003" << "Nome Like '%%'";
    QTest::newRow("igual vazio") << "Nome" << i << "" << "" << "Nome = ''";
    QTest::newRow("cpf igual, any case") << "CPF-Cód." << i << "c001" << "C001" << "CPFCod = 'c001'";
    QTest::newRow("fone com hífen") << "Telefone" << i << "3333-4444" << "11122233344" << "Fone = '3333-4444'";
    QTest::newRow("fone sem hífen") << "Telefone" << i << "33334444" << "" << "";
    QTest::newRow("fone contém")
        << "Telefone" << c << "3333" << "11122233344 C001 33344455566" << "Fone Like '%3333%'";
    QTest::newRow("_ is a wildcard") << "Nome" << c << "Ma_ia" << "11122233344" << "";
    QTest::newRow("% is a wildcard") << "Nome" << c << "Maria%Silva" << "11122233344" << "";
    QTest::newRow("untrimmed") << "Nome" << i << " Anacleto" << "" << "Nome = ' Anacleto'";
    QTest::newRow("apostrophe") << "Nome" << c << "D'Ávila" << "33344455566" << "Nome Like '%D''Ávila%'";
    QTest::newRow("apostrophe cannot widen") << "Nome" << i << "x' Or '1'='1" << "" << "Nome = 'x'' Or ''1''=''1'";
  }

  void buscas() {
    QFETCH(QString, campo);
    QFETCH(QString, criterio);
    QFETCH(QString, texto);
    QFETCH(QString, achados);
    QFETCH(QString, onde);
    Dialogo d = Dialogo::Abre();
    d.Busca(campo, criterio, texto);
    if (!onde.isEmpty()) QCOMPARE(mGeral::strSQL, "Select CPFCod,Nome,Fone From Clientes Where " + onde);
    QCOMPARE(d.Coluna(), achados.split(' ', Qt::SkipEmptyParts));
    const QString nenhum = QStringLiteral("Não foi encontrado nenhum clientes com a condição desejada");
    QCOMPARE(caixas_.chamadas, achados.isEmpty() ? QStringList{Caixa(nenhum, forms::vbInformation)} : QStringList{});
    QVERIFY(!d.lvItens->selectionModel()->hasSelection());
  }

  void naoEncontradoMantemLinhas() {
    Dialogo d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "Silva");
    d.Seleciona(1);
    d.Busca("Nome", "Contém", "Xavier");
    QCOMPARE(caixas_.chamadas.size(), 1);
    QCOMPARE(d.Coluna(), (QStringList{"11122233344", "22233344455"}));
    QCOMPARE(d.lvItens->currentIndex().row(), 1);
    // A later successful search replaces the rows and drops the selection.
    d.Busca("CPF-Cód.", "Contém", "C00");
    QCOMPARE(d.Coluna(), (QStringList{"C001", "C002", "C003"}));
    QVERIFY(!d.lvItens->selectionModel()->hasSelection());
  }

  void fechamentos() {
    Dialogo d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "Silva");
    QPointer<QWidget> primeira = d.w;
    // Unload closes and destroys the window; ATIVO stays True; a second Unload is harmless.
    frmLocalizar::Instance().Unload();
    QVERIFY(!frmLocalizar::Instance().IsLoaded() && !frmLocalizar::Instance().Window());
    QVERIFY(frmLocalizar::Instance().ATIVO);
    QTRY_VERIFY(primeira.isNull());
    frmLocalizar::Instance().Unload();

    // The next load starts empty; cmdCancelar and the close box close it too.
    d = Dialogo::Abre();
    QVERIFY(d.cboCampos->currentIndex() == -1 && d.txtCondicao->text().isEmpty() && d.Coluna().isEmpty());
    QTest::mouseClick(d.cmdCancelar, Qt::LeftButton);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    d = Dialogo::Abre();
    QVERIFY(d.w->close());
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  // Last: works on a table swapped in place of Clientes.
  void tabelaAlheia() {
    Dialogo d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "Silva");
    mGeral::cnConexao->Execute(QStringLiteral("Alter Table Clientes Rename To Guarda"));
    // A refused statement: a box with number and description, the list kept.
    d.Busca("Nome", "Contém", "a");
    const QRegularExpression erro(QStringLiteral("^Pontelo\\|\\d+\\|\\D*\\d+.*no such table"),
                                  QRegularExpression::DotMatchesEverythingOption);
    QVERIFY2(caixas_.chamadas.value(0).contains(erro), qPrintable(caixas_.chamadas.join(QLatin1Char('\n'))));
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    QCOMPARE(d.Coluna(), (QStringList{"11122233344", "22233344455"}));

    // Rows left by another tool: Null shows as empty text; "Igua à" with no text finds the empty name.
    mGeral::cnConexao->Execute(QStringLiteral("Create Table Clientes (CPFCod Text, Nome Text, Fone Text)"));
    mGeral::cnConexao->Execute(QStringLiteral(
        "Insert Into Clientes Values ('N1', Null, '1111-2222'), ('N2', 'Sem Fone', Null), ('N3', '', '9-0')"));
    d.Busca("CPF-Cód.", "Contém", "N");
    QCOMPARE(d.Coluna(1), (QStringList{"", "Sem Fone", ""}));
    QCOMPARE(d.Coluna(2), (QStringList{"1111-2222", "", "9-0"}));
    d.Busca("Nome", "Igua à", "");
    QCOMPARE(d.Coluna(), QStringList{"N3"});
    QCOMPARE(caixas_.chamadas.size(), 1);
    mGeral::cnConexao->Execute(QStringLiteral("Drop Table Clientes"));
    mGeral::cnConexao->Execute(QStringLiteral("Alter Table Guarda Rename To Clientes"));
  }
};

QTEST_MAIN(TstFrmLocalizar)
#include "tst_frmLocalizar.moc"
