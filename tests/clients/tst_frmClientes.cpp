// The client form driven through its real widgets: key events on the focused
// field, mouse clicks on the toolbar's buttons, message boxes answered by a
// responder. Runs on a database built from the schema in a temporary folder.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <sqlite3.h>

#include "clients/frmClientes.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "platform/ole/ole.h"
#include "search/frmLocalizar.h"
#include "shell/Principal.h"

namespace {
enum { PRIMEIRO = 1, ANTERIOR = 2, PROXIMO = 3, ULTIMO = 4, NOVO = 7, ALTERAR = 8,
       LOCALIZAR = 10, EXCLUIR = 11, CANCELAR = 13, GRAVAR = 14, SAIR = 16 };
}  // namespace

class TestFrmClientes : public QObject {
  Q_OBJECT
  QTemporaryDir dir;
  sqlite3* db = nullptr;
  QList<forms::MsgBoxCall> caixas;
  QList<int> respostas;

  frmClientes& form() { return frmClientes::Instance(); }
  template <class T = QLineEdit>
  T* campo(const char* name) { return form().Window()->findChild<T*>(QLatin1String(name)); }
  QString txt(const char* name) { return campo(name)->displayText(); }
  QWidget* foco() { return QApplication::focusWidget(); }
  QString focoNome() { return foco() ? foco()->objectName() : QString(); }
  // "title|prompt" of the i-th message box.
  QString caixa(int i) { return i < caixas.size() ? caixas[i].title + '|' + caixas[i].prompt : QString(); }

  QToolButton* botao(int index) {
    QToolBar* bar = form().Window()->findChild<QToolBar*>();
    return bar ? qobject_cast<QToolButton*>(bar->widgetForAction(bar->actions().value(index - 1)))
               : nullptr;
  }
  void clica(int index) {
    QToolButton* b = botao(index);
    QVERIFY2(b && b->isEnabled(), qPrintable(QString("button %1 not clickable").arg(index)));
    QTest::mouseClick(b, Qt::LeftButton);
  }
  bool conjuntoEdicao() {
    return botao(GRAVAR)->isEnabled() && botao(CANCELAR)->isEnabled() && !botao(NOVO)->isEnabled() &&
           !botao(PROXIMO)->isEnabled();
  }
  void sql(const QString& text) {
    char* err = nullptr;
    QVERIFY2(sqlite3_exec(db, text.toUtf8().constData(), nullptr, nullptr, &err) == SQLITE_OK, err);
  }
  QString valor(const QString& query) {
    sqlite3_stmt* st = nullptr;
    QString v = QStringLiteral("<none>");
    if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return v;
  }
  // Reloads the form over Ana, Bruno and Carla (registered in that order), or no clients.
  void prepara(bool comClientes = true) {
    if (form().IsLoaded()) form().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sql("Delete From Clientes");
    const QStringList nomes = {"Ana", "Bruno", "Carla"};
    for (int i = 0; comClientes && i < 3; ++i)
      sql(QString("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,Obs,DataCadastro) "
                  "Values ('%1','%2','%3','01310-100','Rua A',10,'Recife','PE',81,'3255-1234','obs %2',"
                  "'2020-01-0%4 10:00:00.000')")
              .arg(QString(3, QChar('1' + i)), nomes[i], i == 1 ? "M" : "F", QString::number(i + 1)));
    form().Show();
    Principal::Instance().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Principal::Instance()));
    caixas.clear();
    respostas.clear();
  }
  void preencheNovo(const QString& cpf, const QString& nome) {
    campo("txtCPFCod")->setText(cpf);
    campo("txtNome")->setText(nome);
    campo<QComboBox>("cboSexo")->setCurrentIndex(0);
    campo("mskCEP")->setText("50000-000");
    for (const char* c : {"txtEndereco", "txtNum", "txtCidade", "txtUF", "txtDDD"}) campo(c)->setText("7");
    campo("mskFone")->setText("9999-0000");
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    qputenv("VT_OLE_REGISTRY", dir.filePath("registry").toUtf8());
    QString err;
    QVERIFY2(ole::Succeeded(ole::RegisterServer(VT_BIN_DIR "/Trivex.ocx", false, &err)), qPrintable(err));
    QFile schema(VT_SOURCE_DIR "/data/schema.sql");
    QVERIFY(schema.open(QIODevice::ReadOnly));
    QCOMPARE(sqlite3_open(dir.filePath("ulmaro.mdb").toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    sql(QString::fromUtf8(schema.readAll()));
    forms::SetProgramFolder(dir.path());
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      caixas << c;
      return respostas.isEmpty() ? ((c.buttons & 7) == forms::vbYesNo ? forms::vbNo : forms::vbOK)
                                 : respostas.takeFirst();
    });
    Principal::Instance().show();
  }
  void cleanupTestCase() {
    if (form().IsLoaded()) form().Unload();
    sqlite3_close(db);
  }

  void abreNoUltimoClienteESaiEReabrePeloMenu() {
    prepara();
    QCOMPARE(txt("txtCPFCod"), QString("333"));
    QCOMPARE(campo<QComboBox>("cboSexo")->currentText(), QString("Feminino"));
    QCOMPARE(txt("txtHobby"), QString());  // Null
    QCOMPARE(campo<QPlainTextEdit>("txtObs")->toPlainText(), QString("obs Carla"));
    QVERIFY(!campo<QWidget>("fraClientes")->isEnabled() && !campo<QWidget>("fraObs")->isEnabled());
    QCOMPARE(form().Trivex1.STATUS(), QString("N"));
    // SAIR closes the search dialog too.
    clica(LOCALIZAR);
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    clica(SAIR);
    QVERIFY(!form().IsLoaded() && !form().ClienteAtivo);
    QTRY_VERIFY(!frmLocalizar::Instance().IsLoaded());
    QVERIFY(caixas.isEmpty());
    // Without the toolbar control registered the menu reports it and goes on.
    qputenv("VT_OLE_REGISTRY", dir.filePath("empty-registry").toUtf8());
    Principal::Instance().mnuClientes->trigger();
    QVERIFY(!form().IsLoaded() && !form().ClienteAtivo);
    QCOMPARE(caixas.size(), 1);
    QCOMPARE(caixas[0].title, QString("Pontelo"));
    QVERIFY2(caixas[0].prompt.contains(QString::number(ole::REGDB_E_CLASSNOTREG)), qPrintable(caixas[0].prompt));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(Principal::Instance().MdiArea()->subWindowList().size(), 0);
    // The menu loads the form once.
    qputenv("VT_OLE_REGISTRY", dir.filePath("registry").toUtf8());
    Principal::Instance().mnuClientes->trigger();
    Principal::Instance().mnuClientes->trigger();
    QCOMPARE(Principal::Instance().MdiArea()->subWindowList().size(), 1);
    QVERIFY(form().ClienteAtivo);
    QCOMPARE(txt("txtNome"), QString("Carla"));
  }

  void navegacaoFicaDentroDaTabelaEExcluir() {
    prepara();
    clica(PROXIMO);
    QCOMPARE(txt("txtCPFCod"), QString("333"));
    clica(PRIMEIRO);
    clica(ANTERIOR);
    QCOMPARE(txt("txtNome"), QString("Ana"));
    clica(PROXIMO);
    QCOMPARE(txt("txtNome"), QString("Bruno"));
    QCOMPARE(campo<QComboBox>("cboSexo")->currentIndex(), 0);
    clica(EXCLUIR);  // answered No
    QCOMPARE(caixas.size(), 1);
    QCOMPARE(caixa(0), QString("Pontelo|Confirma a Exclusão do Cliente: \rBruno ?"));
    QCOMPARE(caixas[0].buttons, int(forms::vbYesNo + forms::vbQuestion));
    QCOMPARE(valor("Select Count(*) From Clientes"), QString("3"));
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(valor("Select Count(*) From Clientes Where CPFCod='222'"), QString("0"));
    QCOMPARE(txt("txtNome"), QString("Carla"));
    clica(PRIMEIRO);
    clica(ULTIMO);
    QCOMPARE(txt("txtNome"), QString("Carla"));
    QCOMPARE(caixas.size(), 2);
  }

  void novoValidaUmCampoPorVezEGrava() {
    prepara();
    clica(NOVO);
    const QList<QPair<QString, QString>> passos = {
        {"O campo CPF-Cód. deve ser preenchido", "txtCPFCod"}, {"O campo Nome deve ser preenchido", "txtNome"},
        {"O sexo deve ser informado", "cboSexo"},              {"O CEP deve ser informado", "mskCEP"},
        {"O campo endereço deve ser informado", "txtEndereco"}, {"O número deve ser informado", "txtNum"},
        {"A cidade deve ser informada", "txtCidade"},           {"A UF deve ser informada", "txtUF"},
        {"O DDD deve ser informado", "txtDDD"},                 {"O Fone deve ser informado", "mskFone"}};
    const QStringList digitado = {"44'4", "O'Brien", "F", "0131", "Rua C", "1a2", "Natal", "RN", "x1", "32551234"};
    for (int i = 0; i < passos.size(); ++i) {
      caixas.clear();
      clica(GRAVAR);
      QCOMPARE(caixas.size(), 1);
      QCOMPARE(caixa(0), "Aviso|" + passos[i].first);
      QCOMPARE(caixas[0].buttons, int(forms::vbExclamation));
      QCOMPARE(focoNome(), passos[i].second);
      QVERIFY(!form().Trivex1.HabilitaMenu());
      QVERIFY(conjuntoEdicao());
      QTest::qWait(1);  // deferred select-all of the masks
      QTest::keyClicks(foco(), digitado[i]);
    }
    caixas.clear();
    clica(GRAVAR);  // DDD "x1" is not a number
    QCOMPARE(caixa(0), QString("Aviso|O campo DDD deve conter apenas números"));
    QCOMPARE(focoNome(), QString("txtDDD"));
    campo("txtDDD")->setText("084");
    caixas.clear();
    clica(GRAVAR);
    QVERIFY(caixas.isEmpty());
    QCOMPARE(valor("Select Nome||'|'||Sexo||'|'||CEP||'|'||Num||'|'||DDD||'|'||Fone||'|'||Hobby||'|'||Obs "
                   "From Clientes Where CPFCod = '44''4'"),
             QString("O'Brien|F|0131_-___|12|84|3255-1234||"));
    QCOMPARE(form().Trivex1.STATUS(), QString());
    QVERIFY(botao(NOVO)->isEnabled() && !botao(GRAVAR)->isEnabled() && !botao(CANCELAR)->isEnabled());
    QVERIFY(campo<QWidget>("fraClientes")->isEnabled());  // frames stay enabled after a new save
    QCOMPARE(focoNome(), QString("txtCPFCod"));
    clica(PROXIMO);  // the cursor stands on the first client
    QCOMPARE(txt("txtNome"), QString("Bruno"));
  }

  void alterarNaoMudaChaveNemDataERecusadoMantemORegistro() {
    prepara();
    clica(ALTERAR);
    QCOMPARE(form().Trivex1.STATUS(), QString("A"));
    QVERIFY(!campo("txtCPFCod")->isEnabled());
    QCOMPARE(focoNome(), QString("txtNome"));
    QCOMPARE(campo("txtNome")->selectedText(), QString("Carla"));
    QTest::keyClick(foco(), Qt::Key_Backspace);
    clica(GRAVAR);  // empty name: warned, nothing written, still altering
    QCOMPARE(caixa(0), QString("Aviso|O campo Nome deve ser preenchido"));
    QCOMPARE(form().Trivex1.STATUS(), QString("A"));
    QTest::keyClicks(foco(), "Carla Dias");
    // A refused statement keeps the typed values, the mode and the editing set.
    sql("Begin Exclusive");
    clica(GRAVAR);
    QCOMPARE(caixas.size(), 2);
    QCOMPARE(caixas[1].title, QString("Pontelo"));
    QVERIFY2(caixas[1].prompt.contains("5"), qPrintable(caixas[1].prompt));  // SQLITE_BUSY
    QCOMPARE(form().Trivex1.STATUS(), QString("A"));
    QVERIFY(conjuntoEdicao());
    QVERIFY(campo<QWidget>("fraClientes")->isEnabled());
    QCOMPARE(txt("txtNome"), QString("Carla Dias"));
    sql("Commit");
    clica(GRAVAR);
    QCOMPARE(valor("Select Nome||'|'||DataCadastro From Clientes Where CPFCod='333'"),
             QString("Carla Dias|2020-01-03 10:00:00.000"));
    QVERIFY(!campo<QWidget>("fraClientes")->isEnabled());
    QVERIFY(campo("txtCPFCod")->isEnabledTo(campo<QWidget>("fraClientes")));
    sql("Begin Exclusive");
    respostas << forms::vbYes;
    clica(EXCLUIR);
    sql("Commit");
    QCOMPARE(caixas.size(), 4);
    QCOMPARE(caixas[3].title, QString("Pontelo"));
    QCOMPARE(txt("txtNome"), QString("Carla Dias"));
    QCOMPARE(valor("Select Count(*) From Clientes"), QString("3"));
    clica(ALTERAR);  // the save left the cursor on the first client
    clica(CANCELAR);
    QCOMPARE(txt("txtNome"), QString("Ana"));
    QCOMPARE(form().Trivex1.STATUS(), QString());
  }

  void verificaChaveSoAvisaEmNovoEMoveOCursor() {
    prepara();
    clica(PRIMEIRO);
    clica(PROXIMO);  // Bruno
    clica(NOVO);
    clica(CANCELAR);  // no key check ran: the cursor's row again
    QCOMPARE(txt("txtNome"), QString("Bruno"));
    clica(NOVO);
    QTest::keyClicks(foco(), "111");
    QTest::keyClick(foco(), Qt::Key_Tab);
    QCOMPARE(caixa(0), QString("Aviso|Este CPF ou Código já existe"));
    QCOMPARE(focoNome(), QString("txtCPFCod"));
    QCOMPARE(campo("txtCPFCod")->selectedText(), QString("111"));
    // Warning ignored: the save is refused and the new client kept on screen.
    preencheNovo("111", "Outra Ana");
    campo("txtCPFCod")->deselect();
    clica(GRAVAR);
    QCOMPARE(caixa(1), QString("Aviso|Este CPF ou Código já existe"));
    QCOMPARE(campo("txtCPFCod")->selectedText(), QString("111"));
    QCOMPARE(form().Trivex1.STATUS(), QString("N"));
    QVERIFY(conjuntoEdicao());
    QCOMPARE(valor("Select Count(*) From Clientes"), QString("3"));
    QCOMPARE(txt("txtNome"), QString("Outra Ana"));
    clica(CANCELAR);  // the check left the cursor on Ana
    QCOMPARE(txt("txtNome"), QString("Ana"));
    clica(NOVO);
    QTest::keyClicks(foco(), "999");
    QTest::keyClick(foco(), Qt::Key_Return);
    QTRY_COMPARE(focoNome(), QString("txtNome"));
    QCOMPARE(caixas.size(), 2);
    clica(CANCELAR);  // no match: past the end, shown as the last client
    QCOMPARE(txt("txtNome"), QString("Carla"));
    // After a new save the mode is browsing: leaving the key warns no more.
    clica(NOVO);
    preencheNovo("555", "Eva");
    clica(GRAVAR);
    campo("txtCPFCod")->setText("111");
    QTest::keyClick(foco(), Qt::Key_Tab);
    QCOMPARE(caixas.size(), 2);
  }

  void tecladoDoFormulario() {
    prepara();
    clica(NOVO);
    QTest::keyClick(foco(), Qt::Key_Return);
    QTRY_COMPARE(focoNome(), QString("txtNome"));
    QTest::keyClick(foco(), Qt::Key_Enter);
    QTRY_COMPARE(focoNome(), QString("cboSexo"));
    QTest::keyClick(foco(), Qt::Key_Return);
    QTRY_COMPARE(focoNome(), QString("txtHobby"));
    QTest::keyClick(foco(), Qt::Key_Tab);
    QTRY_COMPARE(focoNome(), QString("mskCEP"));
    QTRY_COMPARE(campo("mskCEP")->selectedText(), QString("_____-___"));
    campo("mskFone")->setText("3255-1234");
    QTest::mouseClick(campo("mskFone"), Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(campo("mskFone")->selectedText(), QString("3255-1234"));
    campo("txtNum")->setFocus();
    QTest::keyClicks(foco(), "1a2-3456");
    QTest::keyClick(foco(), Qt::Key_Backspace);
    QCOMPARE(txt("txtNum"), QString("1234"));
    QTest::keyClick(foco(), Qt::Key_Home);
    QTest::keyClick(foco(), Qt::Key_Delete);
    QCOMPARE(txt("txtNum"), QString("234"));
    // Enter in the e-mail goes on to the observations, on their own tab page.
    campo("txtEmail")->setFocus();
    QTest::keyClick(foco(), Qt::Key_Return);
    QTRY_COMPARE(focoNome(), QString("txtObs"));
    QCOMPARE(campo<QTabWidget>("tbDados")->currentIndex(), 1);
    campo<QTabWidget>("tbDados")->setCurrentIndex(1);
    campo<QPlainTextEdit>("txtObs")->setFocus();
    QTest::keyClicks(foco(), "a");
    QTest::keyClick(foco(), Qt::Key_Return);
    QTest::keyClicks(campo<QPlainTextEdit>("txtObs"), "b");
    QCOMPARE(campo<QPlainTextEdit>("txtObs")->toPlainText(), QString("ab"));
    QTRY_VERIFY(focoNome() != "txtObs");
    // F5 opens the search dialog in any mode.
    QTest::keyClick(Principal::Instance().windowHandle(), Qt::Key_F5, Qt::ShiftModifier);
    QVERIFY(frmLocalizar::Instance().IsLoaded());
  }

  void valoresLongosDeOutrasFerramentasAparecemInteiros() {
    prepara(false);
    const QString insere = "Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,"
                           "DataCadastro) Values ('%1','%2','M','01310-100','R',%3,'C','SP',11,'1111-2222','%4')";
    sql(insere.arg("11111111111111", "Curto", "1", "2024-01-01 10:00:00.000"));
    sql(insere.arg("11111111111111X", "Longo", "123456", "2024-01-01 10:00:01.000"));
    form().Unload();
    form().Show();
    QCOMPARE(txt("txtCPFCod"), QString("11111111111111X"));
    QCOMPARE(txt("txtNum"), QString("123456"));
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(valor("Select Nome From Clientes"), QString("Curto"));
    clica(NOVO);
    QCOMPARE(campo("txtCPFCod")->maxLength(), 14);
  }

  // A key read from the table is the key stored: "\uFEFF777" is not "777".
  void valoresLidosSaoOsGravados() {
    prepara(false);
    const QString bom = QChar(0xFEFF) + QString("777");
    const QString insere = "Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,"
                           "DataCadastro) Values ('%1','%2','M','01310-100','R',1,'C','SP',11,'1111-2222','%3')";
    sql(insere.arg(bom, QChar(0xFEFF) + QString("Nome"), "2024-01-01 10:00:00.000"));
    sql(insere.arg("777", "Outro", "2024-01-01 09:00:00.000"));
    form().Unload();
    form().Show();
    QCOMPARE(campo("txtCPFCod")->text(), bom);
    // ALTERAR writes back what it read.
    clica(ALTERAR);
    clica(GRAVAR);
    QCOMPARE(valor("Select count(*) From Clientes Where Nome = char(65279)||'Nome' And CPFCod = char(65279)||'777'"),
             QString("1"));
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(valor("Select group_concat(CPFCod) From Clientes"), QString("777"));
    QCOMPARE(txt("txtNome"), QString("Outro"));
  }

  void tabelaVaziaApostrofosEDadosDeOutrasFerramentas() {
    prepara(false);
    QCOMPARE(txt("txtCPFCod"), QString());
    sql("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone) "
        "Values ('9''9','D''Ávila','m','abc','R',' 12x',' C','U','1','12345678901')");
    form().Unload();
    form().Show();
    QCOMPARE(txt("txtCPFCod"), QString("9'9"));
    QCOMPARE(campo<QComboBox>("cboSexo")->currentIndex(), 1);
    QCOMPARE(txt("mskCEP"), QString("_____-___"));
    QCOMPARE(txt("mskFone"), QString("1234-5678"));
    QVERIFY(caixas.isEmpty());
    // Found by the key check, altered and deleted.
    clica(NOVO);
    QTest::keyClicks(foco(), "9'9");
    QTest::keyClick(foco(), Qt::Key_Tab);
    QCOMPARE(caixa(0), QString("Aviso|Este CPF ou Código já existe"));
    clica(CANCELAR);
    clica(ALTERAR);
    preencheNovo("9'9", "D'Ávila Neto");
    clica(GRAVAR);
    QCOMPARE(valor("Select Nome From Clientes Where CPFCod='9''9'"), QString("D'Ávila Neto"));
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(valor("Select Count(*) From Clientes"), QString("0"));
    QCOMPARE(txt("txtCPFCod"), QString());
    QCOMPARE(txt("mskCEP"), QString("_____-___"));
    QCOMPARE(txt("mskFone"), QString("____-____"));
    QCOMPARE(caixas.size(), 2);
    // Empty table: navigation does nothing, EXCLUIR only asks, the empty key is refused.
    for (int i : {PRIMEIRO, ANTERIOR, PROXIMO, ULTIMO}) clica(i);
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(caixas.size(), 3);
    clica(ALTERAR);
    clica(GRAVAR);
    QCOMPARE(caixa(3), QString("Aviso|O campo CPF-Cód. deve ser preenchido"));
    QVERIFY(conjuntoEdicao());
    clica(CANCELAR);
    QCOMPARE(form().Trivex1.STATUS(), QString());
  }
};

QTEST_MAIN(TestFrmClientes)
#include "tst_frmClientes.moc"
