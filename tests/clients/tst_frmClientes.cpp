// The client form driven through its real widgets: key events on the focused
// field, mouse clicks on the toolbar's buttons, message boxes answered by a
// responder. Runs on a database built from the schema in a temporary folder.
#include <QApplication>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QScopeGuard>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

#include "clients/frmClientes.h"
#include "tests/clients/fixture.h"
#include "tests/data/testdb.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "platform/ole/ole.h"
#include "search/frmLocalizar.h"
#include "shell/Principal.h"
#include "tests/pg/pgcluster.h"
#include "toolbar/trivex_tlb.h"

#include <optional>

namespace {

// A control of the form where the twips put it: position relative to its
// container, size, and what the user reads in it.
struct Lugar {
  const char* nome;
  const char* pai;
  int left, top, width, height;
  const char* legenda;  // label caption; "" for none
  const char* rotulo;   // the label above the field; "" for none
  int limite;           // maxLength; 0 for none
  const char* maior;    // the widest value the field must show whole; "" for any
};
const Lugar kLugares[] = {
    {"frmClientes", "", 0, 0, 7860, 4995, "Cadastro de Clientes", "", 0, ""},
    {"Trivex1", "frmClientes", 30, 0, 7785, 375, "", "", 0, ""},
    {"Picture1", "frmClientes", 0, 390, 7815, 4515, "", "", 0, ""},
    {"tbDados", "Picture1", 30, 90, 7725, 4335, "", "", 0, ""},
    {"fraClientes", "tbDados", 120, 450, 7455, 3675, "", "", 0, ""},
    {"fraObs", "tbDados", 120, 390, 7455, 3735, "", "", 0, ""},
    {"txtObs", "fraObs", 210, 300, 7065, 3195, "", "", 0, ""},
    {"txtCPFCod", "fraClientes", 150, 510, 2115, 315, "CPF - Código:", "lblTexto_0", 14, "88888888888888"},
    {"txtNome", "fraClientes", 2400, 510, 4935, 315, " Nome", "lblTexto_1", 50, ""},
    {"cboSexo", "fraClientes", 150, 1140, 2145, 315, "Sexo:", "lblTexto_19", 0, ""},
    {"txtHobby", "fraClientes", 2400, 1140, 4935, 315, "Hobby:", "lblTexto_2", 50, ""},
    {"mskCEP", "fraClientes", 120, 1800, 2175, 315, "CEP:", "lblTexto_6", 9, "88888-888"},
    {"txtEndereco", "fraClientes", 2430, 1800, 4335, 315, "Endereço:", "lblTexto_3", 50, ""},
    {"txtNum", "fraClientes", 6840, 1800, 465, 315, "Nº:", "lblTexto_17", 5, "88888"},
    {"txtComplemento", "fraClientes", 120, 2415, 2175, 315, "Complemento:", "lblTexto_7", 30, ""},
    {"txtBairro", "fraClientes", 2430, 2430, 2055, 315, "Bairro:", "lblTexto_4", 30, ""},
    {"txtCidade", "fraClientes", 4620, 2430, 2145, 315, "Cidade:", "lblTexto_5", 30, ""},
    {"txtUF", "fraClientes", 6840, 2430, 465, 315, "UF:", "lblTexto_8", 2, "WW"},
    {"txtDDD", "fraClientes", 120, 3090, 465, 315, "DDD:", "lblTexto_9", 3, "888"},
    {"mskFone", "fraClientes", 600, 3090, 1695, 315, "Fone:", "lblTexto_10", 9, "8888-8888"},
    {"txtEmail", "fraClientes", 2400, 3090, 4935, 315, "E-mail:", "Label2", 30, ""},
};

// Horizontal distance the cursor travels from the first to the last position
// of the field's text, as painted: the text's width when nothing scrolls.
int PercursoDoCursor(QLineEdit* campo) {
  auto x = [campo](int pos) {
    campo->setCursorPosition(pos);
    campo->grab();  // the field works out its scrolling when it paints
    return campo->inputMethodQuery(Qt::ImCursorRectangle).toRect().x();
  };
  const int inicio = x(0);
  return x(campo->displayText().size()) - inicio;
}
}  // namespace
using namespace trivex;

class TestFrmClientes : public QObject {
  Q_OBJECT
  QTemporaryDir dir;
  sqlite3* db = nullptr;
  QList<forms::MsgBoxCall> caixas;
  QList<int> respostas;
  std::function<void()> aoResponder;  // what the box does to the windows
  // With VT_TEST_SERVIDOR set, the form runs on a server of its own.
  std::optional<pgteste::Cluster> cluster;

  frmClientes& form() { return frmClientes::Instance(); }
  template <class T = QLineEdit>
  T* campo(const char* name) { return form().Window()->findChild<T*>(QLatin1String(name)); }
  QString txt(const char* name) { return campo(name)->displayText(); }
  QWidget* foco() { return QApplication::focusWidget(); }
  QString focoNome() { return foco() ? foco()->objectName() : QString(); }
  // "title|prompt" of the i-th message box.
  QString caixa(int i) { return i < caixas.size() ? caixas[i].title + '|' + caixas[i].prompt : QString(); }

  QToolButton* botao(int index) { return fixture::Botao(form().Window(), index); }
  void clica(int index) { fixture::Clica(form().Window(), index); }
  // Still in the given mode, with the toolbar's editing set.
  bool editando(const QString& status) {
    return form().Trivex1.STATUS() == status && botao(GRAVAR)->isEnabled() && botao(CANCELAR)->isEnabled() &&
           !botao(NOVO)->isEnabled() && !botao(PROXIMO)->isEnabled();
  }
  // The i-th box is the program's error box, naming each piece.
  void erro(int i, const QStringList& trechos) {
    QVERIFY(i < caixas.size());
    for (const QString& t : trechos)
      QVERIFY2(caixas[i].title == "Pontelo" && caixas[i].prompt.contains(t), qPrintable(caixas[i].prompt));
  }
  void sql(const QString& text) {
    char* err = nullptr;
    if (cluster)
      QCOMPARE(valor(text, true), QString());
    else
      QVERIFY2(sqlite3_exec(db, text.toUtf8().constData(), nullptr, nullptr, &err) == SQLITE_OK, err);
  }
  // The first value of the query; on the server, with soErro, only its error.
  QString valor(QString query, bool soErro = false) {
    if (cluster) {
      // The few functions the tests use under their server names.
      query.replace("char(65279)", "chr(65279)").replace("group_concat(CPFCod)", "string_agg(CPFCod::text, ',')");
      try {
        const QString v = pgteste::Cluster::Sql(cluster->Conninfo("ulmaro"), query);
        return soErro ? QString() : v;
      } catch (const std::exception& e) {
        return e.what();
      }
    }
    sqlite3_stmt* st = nullptr;
    QString v = QStringLiteral("<none>");
    if (sqlite3_prepare_v2(db, query.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return v;
  }
  // A client as another tool would register it, with only the required fields.
  void insere(const QString& cpf, const QString& nome, const QString& num = "1",
              const QString& data = "2024-01-01 10:00:00.000") {
    sql(QString("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,DataCadastro) "
                "Values ('%1','%2','M','01310-100','R',%3,'C','SP',11,'1111-2222','%4')")
            .arg(cpf, nome, num, data));
  }
  // Reloads the form over Ana, Bruno and Carla (registered in that order), or
  // over the clients inserted by the given step.
  void prepara(std::function<void()> clientes = {}) {
    if (form().IsLoaded()) form().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sql("Delete From Clientes");
    clientes ? clientes() : sql(fixture::kTresClientes);
    form().Show();
    Principal::Instance().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Principal::Instance()));
    caixas.clear();
    respostas.clear();
  }
  void preencheNovo(const QString& cpf, const QString& nome) { fixture::PreencheNovo(form().Window(), cpf, nome); }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    QString err;
    QVERIFY2(fixture::RegistraTrivex(dir, &err), qPrintable(err));
    QCOMPARE(sqlite3_open(testdb::Cria(dir.filePath("ulmaro.mdb")).toUtf8().constData(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    if (qEnvironmentVariableIsSet("VT_TEST_SERVIDOR")) {
      if (pgteste::Cluster::Bin().isEmpty()) QSKIP("PostgreSQL server programs are not installed");
      cluster.emplace();
      cluster->CriaBanco("ulmaro", VT_SOURCE_DIR "/data/schema-pg.sql");
      qputenv("VT_SERVIDOR", cluster->Conninfo("ulmaro", pgteste::Cluster::kBalcao).toUtf8());
    }
    forms::SetProgramFolder(dir.path());
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      caixas << c;
      if (aoResponder) aoResponder();
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
    QCOMPARE(txt("txtCPFCod") + '|' + campo<QComboBox>("cboSexo")->currentText() + '|' + txt("txtHobby") + '|' +
                 campo<QPlainTextEdit>("txtObs")->toPlainText(),
             QString("333|Feminino||obs Carla"));  // Hobby is Null
    QVERIFY(!campo<QWidget>("fraClientes")->isEnabled() && !campo<QWidget>("fraObs")->isEnabled());
    QCOMPARE(form().Trivex1.STATUS(), QString("N"));
    // SAIR closes the search dialog too.
    clica(LOCALIZAR);
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    clica(SAIR);
    QVERIFY(!form().IsLoaded() && !form().ClienteAtivo && caixas.isEmpty());
    QTRY_VERIFY(!frmLocalizar::Instance().IsLoaded());
    // Without the toolbar control registered the menu reports it and goes on.
    qputenv("VT_OLE_REGISTRY", dir.filePath("empty-registry").toUtf8());
    Principal::Instance().mnuClientes->trigger();
    QVERIFY(!form().IsLoaded() && !form().ClienteAtivo && caixas.size() == 1);
    erro(0, {QString::number(ole::REGDB_E_CLASSNOTREG), "Classe não registrada"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(Principal::Instance().MdiArea()->subWindowList().size(), 0);
    // The menu loads the form once.
    qputenv("VT_OLE_REGISTRY", dir.filePath("registry").toUtf8());
    Principal::Instance().mnuClientes->trigger();
    Principal::Instance().mnuClientes->trigger();
    QCOMPARE(Principal::Instance().MdiArea()->subWindowList().size(), 1);
    QVERIFY(form().ClienteAtivo && txt("txtNome") == "Carla");
  }

  void navegacaoFicaDentroDaTabelaEExcluir() {
    prepara();
    clica(PROXIMO);
    QCOMPARE(txt("txtCPFCod"), QString("333"));
    clica(PRIMEIRO);
    clica(ANTERIOR);
    QCOMPARE(txt("txtNome"), QString("Ana"));
    clica(PROXIMO);
    QCOMPARE(txt("txtNome") + '|' + campo<QComboBox>("cboSexo")->currentText(), QString("Bruno|Masculino"));
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
    QVERIFY(txt("txtNome") == "Carla" && caixas.size() == 2);
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
      QVERIFY(!form().Trivex1.HabilitaMenu() && editando("N"));
      QTest::qWait(1);  // deferred select-all of the masks
      QTest::keyClicks(foco(), digitado[i]);
    }
    caixas.clear();
    clica(GRAVAR);  // DDD "x1" is not a number
    QCOMPARE(caixa(0), QString("Aviso|O campo DDD deve conter apenas números"));
    QCOMPARE(focoNome(), QString("txtDDD"));
    campo("txtDDD")->setText("084");
    clica(GRAVAR);
    QCOMPARE(caixas.size(), 1);
    QCOMPARE(valor("Select Nome||'|'||Sexo||'|'||CEP||'|'||Num||'|'||DDD||'|'||Fone||'|'||Hobby||'|'||Obs "
                   "From Clientes Where CPFCod = '44''4'"),
             QString("O'Brien|F|0131_-___|12|84|3255-1234||"));
    QCOMPARE(form().Trivex1.STATUS() + '|' + focoNome(), QString("|txtCPFCod"));
    QVERIFY(botao(NOVO)->isEnabled() && !botao(GRAVAR)->isEnabled() && !botao(CANCELAR)->isEnabled());
    QVERIFY(campo<QWidget>("fraClientes")->isEnabled());  // frames stay enabled after a new save
    clica(PROXIMO);  // the cursor stands on the first client
    QCOMPARE(txt("txtNome"), QString("Bruno"));
  }

  void alterarNaoMudaChaveNemData() {
    prepara();
    clica(ALTERAR);
    QCOMPARE(form().Trivex1.STATUS() + '|' + focoNome() + '|' + campo("txtNome")->selectedText(), QString("A|txtNome|Carla"));
    QVERIFY(!campo("txtCPFCod")->isEnabled());
    QTest::keyClick(foco(), Qt::Key_Backspace);
    clica(GRAVAR);  // empty name: warned, nothing written, still altering
    QCOMPARE(caixa(0) + '|' + form().Trivex1.STATUS(), QString("Aviso|O campo Nome deve ser preenchido|A"));
    QTest::keyClicks(foco(), "Carla Dias");
    clica(GRAVAR);
    QCOMPARE(valor("Select Nome From Clientes Where CPFCod='333'"), QString("Carla Dias"));
    if (!cluster)  // the server keeps its timestamps as timestamps
      QCOMPARE(valor("Select DataCadastro From Clientes Where CPFCod='333'"), QString("2020-01-03 10:00:00.000"));
    QVERIFY(!campo<QWidget>("fraClientes")->isEnabled());
    QVERIFY(campo("txtCPFCod")->isEnabledTo(campo<QWidget>("fraClientes")));
    clica(ALTERAR);  // the save left the cursor on the first client
    clica(CANCELAR);
    QCOMPARE(form().Trivex1.STATUS() + '|' + txt("txtNome"), QString("|Ana"));
  }

  // The form is desk A; the test's own connection is desk B on the same server.
  void duasMesasEQuedaDoServidor() {
    if (!cluster) QSKIP("the server only");
    prepara();
    // B registers a key after A's check found it free: A's save is refused as a repeated key.
    clica(NOVO);
    preencheNovo("444", "Davi");
    insere("444", "Bia");
    clica(GRAVAR);
    QCOMPARE(caixa(0) + '|' + form().Trivex1.STATUS() + '|' + txt("txtNome"),
             QString("Aviso|Este CPF ou Código já existe|N|Davi"));
    QCOMPARE(valor("Select Nome From Clientes Where CPFCod='444'"), QString("Bia"));
    // A's key check sees what B saved, whatever its letter case.
    insere("abc", "Caio");
    clica(CANCELAR);
    clica(NOVO);
    QTest::keyClicks(foco(), "ABC");
    fixture::SaiDaChave(Qt::Key_Tab);
    QCOMPARE(caixa(1), QString("Aviso|Este CPF ou Código já existe"));
    clica(CANCELAR);
    QCOMPARE(valor("Select count(*) From Clientes"), QString("5"));
    // The server stops under the form: the save is reported once, the typed
    // client and the mode stay; once it is back the save goes in once.
    caixas.clear();
    clica(NOVO);
    preencheNovo("666", "Eva");
    cluster->Para();
    clica(GRAVAR);
    QCOMPARE(caixas.size(), 1);
    erro(0, {"3760", "servidor"});
    QVERIFY(editando("N"));
    QCOMPARE(txt("txtCPFCod") + '|' + txt("txtNome"), QString("666|Eva"));
    cluster->Inicia();
    clica(GRAVAR);
    QVERIFY(caixas.size() == 1 && form().Trivex1.STATUS().isEmpty());
    QCOMPARE(valor("Select count(*) From Clientes Where CPFCod='666'"), QString("1"));
    clica(ULTIMO);
    QCOMPARE(txt("txtNome"), QString("Eva"));
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
    fixture::SaiDaChave(Qt::Key_Tab);
    QCOMPARE(caixa(0), QString("Aviso|Este CPF ou Código já existe"));
    QCOMPARE(focoNome() + '|' + campo("txtCPFCod")->selectedText(), QString("txtCPFCod|111"));
    // Warning ignored: the save is refused and the new client kept on screen.
    preencheNovo("111", "Outra Ana");
    campo("txtCPFCod")->deselect();
    clica(GRAVAR);
    QCOMPARE(caixa(1), QString("Aviso|Este CPF ou Código já existe"));
    QCOMPARE(campo("txtCPFCod")->selectedText(), QString("111"));
    QVERIFY(editando("N"));
    QCOMPARE(valor("Select Count(*) From Clientes") + '|' + txt("txtNome"), QString("3|Outra Ana"));
    clica(CANCELAR);  // the check left the cursor on Ana
    QCOMPARE(txt("txtNome"), QString("Ana"));
    clica(NOVO);
    QTest::keyClicks(foco(), "999");
    fixture::SaiDaChave(Qt::Key_Return);
    QCOMPARE(focoNome(), QString("txtNome"));
    QCOMPARE(caixas.size(), 2);  // each check warned once
    clica(CANCELAR);  // no match: past the end, shown as the last client
    QCOMPARE(txt("txtNome"), QString("Carla"));
    // After a new save the mode is browsing: leaving the key warns no more.
    clica(NOVO);
    preencheNovo("555", "Eva");
    clica(GRAVAR);
    campo("txtCPFCod")->setText("111");
    fixture::SaiDaChave(Qt::Key_Tab);
    QCOMPARE(caixas.size(), 2);
  }

  void layoutDoFormulario() {
    prepara();
    QWidget* w = form().Window();
    for (const Lugar& l : kLugares) {
      auto achado = [&](const char* nome) { return QLatin1String(nome) == "frmClientes" ? w : campo<QWidget>(nome); };
      QWidget* c = achado(l.nome);
      QVERIFY2(c, l.nome);
      const QString onde = QString("%1 at %2,%3 %4x%5").arg(l.nome).arg(c->x()).arg(c->y()).arg(c->width()).arg(c->height());
      if (*l.pai) {
        const QPoint p = c->mapTo(achado(l.pai), QPoint(0, 0));
        QVERIFY2(qAbs(p.x() - forms::Twips(l.left)) <= 1 && qAbs(p.y() - forms::Twips(l.top)) <= 1,
                 qPrintable(onde + QString(" (%1,%2 in %3)").arg(p.x()).arg(p.y()).arg(l.pai)));
      }
      QVERIFY2(qAbs(c->width() - forms::Twips(l.width)) <= 1 && qAbs(c->height() - forms::Twips(l.height)) <= 1,
               qPrintable(onde));
      if (!*l.rotulo) continue;
      auto* rotulo = campo<QLabel>(l.rotulo);
      QCOMPARE(rotulo->text(), QString(l.legenda));
      QCOMPARE(rotulo->buddy(), c);
      // The label stands just above its field, its top 210 to 240 twips higher.
      const int acima = c->y() - rotulo->y();
      QVERIFY2(acima >= forms::Twips(210) - 1 && acima <= forms::Twips(240) + 1 &&
                   qAbs(rotulo->x() - c->x()) <= 2 && qAbs(rotulo->height() - forms::Twips(300)) <= 1,
               qPrintable(QString("%1 %2 px above %3").arg(l.rotulo).arg(acima).arg(l.nome)));
      if (auto* edit = qobject_cast<QLineEdit*>(c)) {
        QCOMPARE(edit->maxLength(), l.limite);
        if (!*l.maior) continue;
        // The widest value is shown whole: nothing scrolls out of sight.
        edit->setText(l.maior);
        QCOMPARE(edit->displayText(), QString(l.maior));
        QCOMPARE(PercursoDoCursor(edit), edit->fontMetrics().horizontalAdvance(l.maior));
        QVERIFY(edit->font().family() == w->font().family() && edit->font().pointSizeF() == w->font().pointSizeF());
      }
    }
    auto* sexo = campo<QComboBox>("cboSexo");
    auto* abas = campo<QTabWidget>("tbDados");
    QCOMPARE(QStringList({w->windowTitle(), abas->tabText(0), abas->tabText(1), campo("mskCEP")->inputMask(),
                          campo("mskFone")->inputMask(), sexo->itemText(0), sexo->itemText(1)})
                 .join('|'),
             QString("Cadastro de Clientes|Dados Básicos|Observações|00000-000;_|0000-0000;_|Masculino|Feminino"));
    QVERIFY(sexo->count() == 2 && !sexo->isEditable());
  }

  // Tab goes through the fields in their order, past the observations on the
  // other page and the tab strip, round to the key, bringing each field's page
  // forward; Shift+Tab goes back the same way, and Enter goes as Tab does.
  void ordemDeTabulacao() {
    prepara();
    clica(NOVO);
    // Each press, then what it queued (Enter's Tab): the visible field focused and the page shown.
    auto teclas = [this](Qt::Key tecla, int vezes) {
      QStringList visto;
      while (vezes--) {
        QTest::keyClick(Principal::Instance().windowHandle(), tecla,
                        tecla == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        QCoreApplication::sendPostedEvents();
        const QString pagina = QString::number(campo<QTabWidget>("tbDados")->currentIndex());
        visto << (foco()->isVisible() ? focoNome() : "?") + pagina;
      }
      return visto.join(' ');
    };
    QCOMPARE(teclas(Qt::Key_Tab, 16), QString("txtNome0 cboSexo0 txtHobby0 mskCEP0 txtEndereco0 txtNum0 "
                                              "txtComplemento0 txtBairro0 txtCidade0 txtUF0 txtDDD0 mskFone0 "
                                              "txtEmail0 txtObs1 qt_tabwidget_tabbar1 txtCPFCod0"));
    QCOMPARE(teclas(Qt::Key_Backtab, 4), QString("qt_tabwidget_tabbar0 txtObs1 txtEmail0 mskFone0"));
    // Enter from the observations; while altering the key is skipped.
    clica(CANCELAR);
    clica(ALTERAR);
    campo<QTabWidget>("tbDados")->setCurrentIndex(1);
    campo<QPlainTextEdit>("txtObs")->setFocus();
    QCOMPARE(teclas(Qt::Key_Return, 2), QString("qt_tabwidget_tabbar1 txtNome0"));
    QCOMPARE(campo<QPlainTextEdit>("txtObs")->toPlainText(), QString("obs Carla"));  // no line break typed
  }

  // Clicking the other page takes the focus from the key: the check warns once
  // and hands the whole key back, on its own page.
  void sairDaChavePelaAbaObservacoes() {
    prepara();
    clica(NOVO);
    auto* abas = campo<QTabWidget>("tbDados");
    QTabBar* barra = abas->tabBar();
    // A real box takes the activation and, with no window manager, does not
    // hand it back.
    QWidget outra;
    outra.show();
    aoResponder = [&outra] {
      outra.activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(&outra));
    };
    auto fim = qScopeGuard([this] { aoResponder = {}; });
    for (int vez = 1; vez <= 2; ++vez) {
      QTest::keyClicks(foco(), vez == 1 ? "111" : "");
      QTest::mouseClick(barra, Qt::LeftButton, {}, barra->tabRect(1).center());
      QTRY_COMPARE(caixas.size(), vez);
      QTRY_COMPARE(focoNome(), QString("txtCPFCod"));  // once the form's window is active again
      QCOMPARE(caixa(vez - 1), QString("Aviso|Este CPF ou Código já existe"));
      QVERIFY(abas->currentIndex() == 0 && foco()->isVisible() && campo("txtCPFCod")->selectedText() == "111");
    }
    // What is typed next replaces the key in sight.
    QTest::keyClicks(foco(), "999");
    QCOMPARE(txt("txtCPFCod"), QString("999"));
    QTest::mouseClick(barra, Qt::LeftButton, {}, barra->tabRect(1).center());
    QTRY_COMPARE(abas->currentIndex(), 1);
    QCoreApplication::sendPostedEvents();  // the key check, queued
    QCOMPARE(caixas.size(), 2);
  }

  // F5 reaches the form in every state, also when no field has the focus;
  // not when another child of the main window has it.
  void f5EmTodoEstado() {
    const QList<QList<int>> estados = {{}, {NOVO, CANCELAR}, {ALTERAR, GRAVAR}, {NOVO, -1, GRAVAR}, {EXCLUIR}};
    const Qt::KeyboardModifiers modificadores[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier,
                                                   Qt::AltModifier, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier};
    for (Qt::KeyboardModifiers m : modificadores) {
      for (const QList<int>& estado : estados) {
        prepara();
        respostas << forms::vbYes;  // EXCLUIR
        for (int b : estado) b < 0 ? preencheNovo("444", "Dora") : clica(b);
        QTest::keyClick(Principal::Instance().windowHandle(), Qt::Key_F5, m);
        QVERIFY2(frmLocalizar::Instance().IsLoaded(),
                 qPrintable(QString("after buttons %1, modifiers %2, focus on '%3'")
                                .arg(estado.value(0)).arg(int(m), 0, 16).arg(focoNome())));
        frmLocalizar::Instance().Unload();
      }
    }
    // With no field focused Enter does what Tab does: the tab strip takes the focus.
    QWindow* janela = Principal::Instance().windowHandle();
    auto semFoco = [&] {
      clica(NOVO);
      clica(CANCELAR);
      QVERIFY(!foco());
    };
    prepara();
    semFoco();
    QTest::keyClick(janela, Qt::Key_Return);
    QTRY_COMPARE(focoNome(), QString("qt_tabwidget_tabbar"));
    // The menu bar in keyboard mode keeps F5. Out of it, holding the focus it
    // took from nobody with no entry highlighted, it lets F5 be the form's again.
    semFoco();
    for (Qt::Key tecla : {Qt::Key_Alt, Qt::Key_F5, Qt::Key_Escape}) QTest::keyClick(janela, tecla);
    QVERIFY(!frmLocalizar::Instance().IsLoaded() && foco() == Principal::Instance().menuBar());
    QTest::keyClick(janela, Qt::Key_F5);
    QVERIFY(frmLocalizar::Instance().IsLoaded());
    frmLocalizar::Instance().Unload();
  }

  void tecladoDoFormulario() {
    prepara();
    clica(NOVO);
    for (auto [tecla, proximo] : {std::pair{Qt::Key_Return, "txtNome"}, {Qt::Key_Enter, "cboSexo"},
                                  {Qt::Key_Return, "txtHobby"}, {Qt::Key_Tab, "mskCEP"}}) {
      QTest::keyClick(foco(), tecla);
      QTRY_COMPARE(focoNome(), QString(proximo));
    }
    QTRY_COMPARE(campo("mskCEP")->selectedText(), QString("_____-___"));
    campo("mskFone")->setText("3255-1234");
    QTest::mouseClick(campo("mskFone"), Qt::LeftButton, {}, QPoint(5, 5));
    QTRY_COMPARE(campo("mskFone")->selectedText(), QString("3255-1234"));
    campo("txtNum")->setFocus();
    QTest::keyClicks(foco(), "1a2-3456");
    for (Qt::Key tecla : {Qt::Key_Backspace, Qt::Key_Home, Qt::Key_Delete}) QTest::keyClick(foco(), tecla);
    QCOMPARE(txt("txtNum"), QString("234"));  // "1234" edited at both ends
    // Characters beyond the code page are no digits, typed or composed.
    for (const QString& c : {QString("€"), QString("٣"), QString("１")})
      QTest::sendKeyEvent(QTest::Click, foco(), Qt::Key_unknown, c, Qt::NoModifier);
    campo("txtNum")->end(false);
    QInputMethodEvent composto;
    composto.setCommitString(QString("５7"));
    QApplication::sendEvent(foco(), &composto);
    QCOMPARE(txt("txtNum"), QString("2347"));
  }

  // Keys read from the table are the keys stored: a key longer than the field
  // shows whole and is not its 14-character prefix, "\uFEFF777" is not "777".
  void valoresLidosSaoOsGravados() {
    const QString bom = QChar(0xFEFF) + QString("777");
    prepara([&] {
      insere("11111111111111", "Curto", "1", "2024-01-01 08:00:00.000");
      insere("777", "Outro", "1", "2024-01-01 09:00:00.000");
      insere(bom, QChar(0xFEFF) + QString("Nome"));
      insere("11111111111111X", "Longo", "123456", "2024-01-01 10:00:01.000");
    });
    QCOMPARE(txt("txtCPFCod") + '|' + txt("txtNum"), QString("11111111111111X|123456"));
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(valor("Select Count(*) From Clientes Where Nome In ('Curto', 'Longo')"), QString("1"));
    QCOMPARE(valor("Select Count(*) From Clientes Where Nome = 'Curto'"), QString("1"));
    QCOMPARE(campo("txtCPFCod")->text(), bom);
    // ALTERAR writes back what it read.
    clica(ALTERAR);
    clica(GRAVAR);
    QCOMPARE(valor("Select count(*) From Clientes Where Nome = char(65279)||'Nome' And CPFCod = char(65279)||'777'"),
             QString("1"));
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(valor("Select group_concat(CPFCod) From Clientes Where Nome <> 'Curto'"), QString("777"));
    QCOMPARE(txt("txtNome"), QString("Outro"));
    clica(NOVO);
    QCOMPARE(campo("txtCPFCod")->maxLength(), 14);
  }

  void apostrofosDadosDeOutrasFerramentasETabelaVazia() {
    prepara([this] {
      sql("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone) "
          "Values ('9''9','D''Ávila','m','abc','R'," + QString(cluster ? "12" : "' 12x'") +
          ",' C','U','1','12345678901')");  // the server keeps Num an integer
    });
    QCOMPARE(txt("txtCPFCod") + '|' + txt("mskCEP") + '|' + txt("mskFone"), QString("9'9|_____-___|1234-5678"));
    QCOMPARE(campo<QComboBox>("cboSexo")->currentIndex(), 1);
    // Found by the key check, altered and deleted.
    clica(NOVO);
    QTest::keyClicks(foco(), "9'9");
    fixture::SaiDaChave(Qt::Key_Tab);
    QCOMPARE(caixa(0), QString("Aviso|Este CPF ou Código já existe"));
    clica(CANCELAR);
    clica(ALTERAR);
    preencheNovo("9'9", "D'Ávila Neto");
    clica(GRAVAR);
    QCOMPARE(valor("Select Nome From Clientes Where CPFCod='9''9'"), QString("D'Ávila Neto"));
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(valor("Select Count(*) From Clientes"), QString("0"));
    QCOMPARE(txt("txtCPFCod") + '|' + txt("mskCEP") + '|' + txt("mskFone"), QString("|_____-___|____-____"));
    QCOMPARE(caixas.size(), 2);
    // Empty table: navigation does nothing, EXCLUIR only asks, the empty key is refused.
    for (int i : {PRIMEIRO, ANTERIOR, PROXIMO, ULTIMO}) clica(i);
    respostas << forms::vbYes;
    clica(EXCLUIR);
    QCOMPARE(caixas.size(), 3);
    clica(ALTERAR);
    clica(GRAVAR);
    QCOMPARE(caixa(3), QString("Aviso|O campo CPF-Cód. deve ser preenchido"));
    QVERIFY(editando("A"));
    clica(CANCELAR);
    QCOMPARE(form().Trivex1.STATUS(), QString());
    prepara([] {});
    QVERIFY(caixas.isEmpty() && txt("txtCPFCod").isEmpty());
  }
};

QTEST_MAIN(TestFrmClientes)
#include "tst_frmClientes.moc"
