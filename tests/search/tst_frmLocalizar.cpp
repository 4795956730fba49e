// The search dialog against a small known table; the client form stays closed.
#include <QApplication>
#include <QCursor>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include "clients/frmClientes.h"
#include "data/mGeral.h"
#include "fixture.h"
#include "platform/forms/window.h"

using fixture::Dialogo;

class TstFrmLocalizar : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  fixture::Caixas caixas_;

  static QStringList Todos() {
    QStringList all;
    for (const auto& c : fixture::kClientes) all << QString::fromUtf8(c.cpf);
    return all;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    fixture::CriaBanco(dir_.path());
    forms::SetProgramFolder(dir_.path());
    mGeral::AbreBanco();
  }
  void init() { caixas_.Instala(); }
  void cleanup() {
    frmLocalizar::Instance().Unload();
    forms::SetMsgBoxResponder({});
  }

  void abreVazioComFocoNoCampo() {
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    Dialogo d = Dialogo::Abre();
    QVERIFY(d.w && d.cboCampos && d.lvItens && d.cmdBusca);
    QVERIFY(frmLocalizar::Instance().ATIVO);
    QVERIFY(d.w->isWindow());
    QCOMPARE(d.w->parentWidget(), nullptr);
    QCOMPARE(d.w->windowTitle(), QStringLiteral("Pesquisa Cadastro de Clientes"));
    QCOMPARE(d.cboCampos->currentIndex(), -1);
    QCOMPARE(d.cboCriterio->currentIndex(), -1);
    QCOMPARE(d.lvItens->model()->rowCount(), 0);
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    QCOMPARE(QApplication::focusWidget(), d.cboCampos);

    // Tab order; the picture is not in the chain.
    QWidget* chain[] = {d.cboCriterio, d.txtCondicao, d.lvItens, d.cmdCancelar, d.cmdOK, d.cboCampos};
    for (QWidget* next : chain) {
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Tab);
      QTRY_COMPARE(QApplication::focusWidget(), next);
    }
    QCOMPARE(d.cmdBusca->focusPolicy(), Qt::NoFocus);
    const QCursor cursor = d.cmdBusca->cursor();
    QCOMPARE(cursor.shape(), Qt::BitmapCursor);
    QCOMPARE(cursor.hotSpot(), QPoint(13, 9));
    QCOMPARE(cursor.pixmap().size(), QSize(32, 32));
    QVERIFY(!d.w->windowIcon().isNull());

    // Neither Esc nor Enter acts on the buttons.
    QSignalSpy ok(d.cmdOK, &QPushButton::clicked), cancel(d.cmdCancelar, &QPushButton::clicked);
    for (QWidget* at : {static_cast<QWidget*>(d.txtCondicao), static_cast<QWidget*>(d.cmdOK)}) {
      at->setFocus();
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Escape);
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Return);
    }
    QVERIFY(frmLocalizar::Instance().IsLoaded() && d.w->isVisible());
    QCOMPARE(ok.count() + cancel.count(), 0);
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  void escolhasFaltando() {
    Dialogo d = Dialogo::Abre();
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    const QString antes = mGeral::strSQL;
    // The field is checked first, even with a criterion chosen.
    d.txtCondicao->setFocus();
    d.Busca({}, QStringLiteral("Contém"), QStringLiteral("Silva"));
    QCOMPARE(caixas_.chamadas.size(), 1);
    QCOMPARE(caixas_.chamadas[0].prompt, QStringLiteral("Escolha onde deseja efetura a busca"));
    QCOMPARE(caixas_.chamadas[0].buttons, int(forms::vbExclamation));
    QCOMPARE(caixas_.chamadas[0].title, QStringLiteral("Aviso"));
    QTRY_COMPARE(QApplication::focusWidget(), d.cboCampos);

    d.txtCondicao->setFocus();
    d.Busca(QStringLiteral("Nome"), {}, QStringLiteral("Silva"));
    QCOMPARE(caixas_.chamadas.size(), 2);
    QCOMPARE(caixas_.chamadas[1].prompt, QStringLiteral("Escolha um critério para efetura a busca"));
    QCOMPARE(caixas_.chamadas[1].buttons, int(forms::vbExclamation));
    QCOMPARE(caixas_.chamadas[1].title, QStringLiteral("Aviso"));
    QTRY_COMPARE(QApplication::focusWidget(), d.cboCriterio);
    QCOMPARE(mGeral::strSQL, antes);
    QCOMPARE(d.lvItens->model()->rowCount(), 0);
  }

  void buscas_data() {
    QTest::addColumn<QString>("campo");
    QTest::addColumn<QString>("criterio");
    QTest::addColumn<QString>("texto");
    QTest::addColumn<QStringList>("esperado");  // empty: the not-found message
    QTest::addColumn<QString>("sql");           // empty: not checked

    const QString contem = QStringLiteral("Contém"), igual = QStringLiteral("Igua à");
    const QString cpf = QStringLiteral("CPF-Cód."), nome = QStringLiteral("Nome"), fone = QStringLiteral("Telefone");
    QTest::newRow("nome contém") << nome << contem << "Silva" << QStringList{"11122233344", "22233344455"}
                                 << "Select CPFCod,Nome,Fone From Clientes Where Nome Like '%Silva%'";
    QTest::newRow("nome igual") << nome << igual << "anacleto" << QStringList{"C003"}
                                << "Select CPFCod,Nome,Fone From Clientes Where Nome = 'anacleto'";
    QTest::newRow("nome contém vazio") << nome << contem << "" << Todos()
                                       << "Select CPFCod,Nome,Fone From Clientes Where Nome Like '%%'";
    QTest::newRow("nome igual vazio") << nome << igual << "" << QStringList{}
                                      << "Select CPFCod,Nome,Fone From Clientes Where Nome = ''";
    QTest::newRow("cpf contém") << cpf << contem << "1112" << QStringList{"11122233344"}
                                << "Select CPFCod,Nome,Fone From Clientes Where CPFCod Like '%1112%'";
    QTest::newRow("cpf igual") << cpf << igual << "c001" << QStringList{"C001"}
                               << "Select CPFCod,Nome,Fone From Clientes Where CPFCod = 'c001'";
    QTest::newRow("fone igual com hífen") << fone << igual << "3333-4444" << QStringList{"11122233344"}
                                          << "Select CPFCod,Nome,Fone From Clientes Where Fone = '3333-4444'";
    QTest::newRow("fone igual sem hífen") << fone << igual << "33334444" << QStringList{} << "";
    QTest::newRow("fone contém") << fone << contem << "3333" << QStringList{"11122233344", "C001", "33344455566"}
                                 << "Select CPFCod,Nome,Fone From Clientes Where Fone Like '%3333%'";
    QTest::newRow("underscore is a wildcard") << nome << contem << "Ma_ia" << QStringList{"11122233344"} << "";
    QTest::newRow("percent is a wildcard") << nome << contem << "Maria%Silva" << QStringList{"11122233344"} << "";
    QTest::newRow("text kept untrimmed") << nome << igual << " Anacleto" << QStringList{}
                                         << "Select CPFCod,Nome,Fone From Clientes Where Nome = ' Anacleto'";
    QTest::newRow("apostrophe contém") << nome << contem << "D'Ávila" << QStringList{"33344455566"}
                                       << "Select CPFCod,Nome,Fone From Clientes Where Nome Like '%D''Ávila%'";
    QTest::newRow("apostrophe cannot widen") << nome << igual << "x' Or '1'='1" << QStringList{}
                                             << "Select CPFCod,Nome,Fone From Clientes Where Nome = 'x'' Or ''1''=''1'";
  }

  void buscas() {
    QFETCH(QString, campo);
    QFETCH(QString, criterio);
    QFETCH(QString, texto);
    QFETCH(QStringList, esperado);
    QFETCH(QString, sql);
    Dialogo d = Dialogo::Abre();
    d.Busca(campo, criterio, texto);
    if (!sql.isEmpty()) QCOMPARE(mGeral::strSQL, sql);
    if (esperado.isEmpty()) {
      QCOMPARE(caixas_.chamadas.size(), 1);
      QCOMPARE(caixas_.chamadas[0].prompt,
               QStringLiteral("Não foi encontrado nenhum clientes com a condição desejada"));
      QCOMPARE(caixas_.chamadas[0].buttons, int(forms::vbInformation));
      QCOMPARE(caixas_.chamadas[0].title, QStringLiteral("Aviso"));
      QCOMPARE(d.lvItens->model()->rowCount(), 0);
    } else {
      QVERIFY(caixas_.chamadas.isEmpty());
      QCOMPARE(d.Codigos(), esperado);
    }
    QVERIFY(!d.lvItens->selectionModel()->hasSelection());
  }

  void naoEncontradoMantemLinhas() {
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("Silva"));
    d.Seleciona(1);
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("Xavier"));
    QCOMPARE(caixas_.chamadas.size(), 1);
    QCOMPARE(mGeral::strSQL, QStringLiteral("Select CPFCod,Nome,Fone From Clientes Where Nome Like '%Xavier%'"));
    QCOMPARE(d.Codigos(), (QStringList{"11122233344", "22233344455"}));
    QCOMPARE(d.lvItens->currentIndex().row(), 1);
    // A later successful search replaces the rows and drops the selection.
    d.Busca(QStringLiteral("CPF-Cód."), QStringLiteral("Contém"), QStringLiteral("C00"));
    QCOMPARE(d.Codigos(), (QStringList{"C001", "C002", "C003"}));
    QVERIFY(!d.lvItens->selectionModel()->hasSelection());
  }

  void comandoRecusadoInformaEMantem() {
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("Silva"));
    mGeral::cnConexao->Execute(QStringLiteral("Alter Table Clientes Rename To Outros"));
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("a"));
    mGeral::cnConexao->Execute(QStringLiteral("Alter Table Outros Rename To Clientes"));
    QCOMPARE(caixas_.chamadas.size(), 1);
    QCOMPARE(caixas_.chamadas[0].title, QStringLiteral("Pontelo"));
    QVERIFY2(caixas_.chamadas[0].prompt.contains(QStringLiteral("no such table")), qPrintable(caixas_.chamadas[0].prompt));
    QVERIFY(caixas_.chamadas[0].prompt.contains(QRegularExpression(QStringLiteral("\\d"))));
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    QCOMPARE(d.Codigos(), (QStringList{"11122233344", "22233344455"}));
  }

  void confirmarSemFormularioDeClientes() {
    QVERIFY(!frmClientes::Instance().ClienteAtivo);
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("Silva"));
    // Client form closed: nothing at all, with or without a selection.
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    d.Seleciona(0);
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    d.DuploClique(1);
    QVERIFY(caixas_.chamadas.isEmpty());
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    QCOMPARE(d.Codigos().size(), 2);
  }

  void confirmarSemSelecao() {
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Contém"), QStringLiteral("Silva"));
    // The selection check comes before any use of the client form.
    frmClientes::Instance().ClienteAtivo = true;
    QTest::mouseClick(d.cmdOK, Qt::LeftButton);
    frmClientes::Instance().ClienteAtivo = false;
    QCOMPARE(caixas_.chamadas.size(), 1);
    QCOMPARE(caixas_.chamadas[0].prompt, QStringLiteral("Selecione um cliente na lista"));
    QCOMPARE(caixas_.chamadas[0].buttons, int(forms::vbExclamation));
    QCOMPARE(caixas_.chamadas[0].title, QStringLiteral("Aviso"));
    QVERIFY(frmLocalizar::Instance().IsLoaded());
  }

  void umaInstanciaEFechamentos() {
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Telefone"), QStringLiteral("Contém"), QStringLiteral("3333"));
    d.Seleciona(2);
    QPointer<QWidget> primeira = d.w;
    Dialogo de_novo = Dialogo::Abre();
    QCOMPARE(de_novo.w, primeira.data());
    QCOMPARE(de_novo.cboCampos->currentText(), QStringLiteral("Telefone"));
    QCOMPARE(de_novo.txtCondicao->text(), QStringLiteral("3333"));
    QCOMPARE(de_novo.Codigos().size(), 3);
    QCOMPARE(de_novo.lvItens->currentIndex().row(), 2);

    // Unload closes and destroys the window; ATIVO stays True; a second Unload is harmless.
    frmLocalizar::Instance().Unload();
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QCOMPARE(frmLocalizar::Instance().Window(), nullptr);
    QVERIFY(frmLocalizar::Instance().ATIVO);
    QTRY_VERIFY(primeira.isNull());
    frmLocalizar::Instance().Unload();

    // The next load starts empty; cmdCancelar and the close box close it too.
    d = Dialogo::Abre();
    QCOMPARE(d.cboCampos->currentIndex(), -1);
    QVERIFY(d.txtCondicao->text().isEmpty());
    QCOMPARE(d.lvItens->model()->rowCount(), 0);
    QTest::mouseClick(d.cmdCancelar, Qt::LeftButton);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    d = Dialogo::Abre();
    QVERIFY(d.w->close());
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QVERIFY(caixas_.chamadas.isEmpty());
  }

  void colunasNulasComoTextoVazio() {
    QTemporaryDir outro;
    fixture::CriaBanco(outro.path(), true);
    forms::SetProgramFolder(outro.path());
    mGeral::AbreBanco();
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("CPF-Cód."), QStringLiteral("Contém"), QStringLiteral("N"));
    forms::SetProgramFolder(dir_.path());
    mGeral::AbreBanco();
    QVERIFY(caixas_.chamadas.isEmpty());
    const QAbstractItemModel* m = d.lvItens->model();
    QCOMPARE(m->rowCount(), 3);
    QCOMPARE(m->index(0, 1).data().toString(), QString());
    QCOMPARE(m->index(0, 2).data().toString(), QStringLiteral("1111-2222"));
    QCOMPARE(m->index(1, 1).data().toString(), QStringLiteral("Sem Fone"));
    QCOMPARE(m->index(1, 2).data().toString(), QString());
  }

  void igualVazioAchaNomeVazio() {
    QTemporaryDir outro;
    fixture::CriaBanco(outro.path(), true);
    forms::SetProgramFolder(outro.path());
    mGeral::AbreBanco();
    Dialogo d = Dialogo::Abre();
    d.Busca(QStringLiteral("Nome"), QStringLiteral("Igua à"), QString());
    forms::SetProgramFolder(dir_.path());
    mGeral::AbreBanco();
    QVERIFY(caixas_.chamadas.isEmpty());
    QCOMPARE(d.Codigos(), QStringList{"N3"});
  }
};

QTEST_MAIN(TstFrmLocalizar)
#include "tst_frmLocalizar.moc"
