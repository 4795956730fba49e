// Fault injection: every command of the client form and the search dialog run
// again and again while the n-th read, write, sync, lock or open of the
// database fails, until a run passes without the fault being hit. After each
// run: at most one message, the program still running, a refused save keeps
// the typed client and the mode, a save that reported nothing is in the
// table, and the file passes SQLite's integrity check. Each command prints how
// many faults it received; a command that received none fails.
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <tuple>

#include "clients/frmClientes.h"
#include "data/mGeral.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "search/frmLocalizar.h"
#include "shell/Principal.h"
#include "tests/clients/fixture.h"
#include "tests/data/faultvfs.h"
#include "tests/data/testdb.h"
#include "toolbar/trivex_tlb.h"

using faultvfs::Op;
using namespace trivex;

class TstFalhas : public QObject {
  Q_OBJECT
  QTemporaryDir dir;
  QString modelo;
  QStringList caixas;

  frmClientes& form() { return frmClientes::Instance(); }
  QLineEdit* campo(const char* name) { return form().Window()->findChild<QLineEdit*>(QLatin1String(name)); }

  QToolButton* botao(int index) { return fixture::Botao(form().Window(), index); }
  void clica(int index) { fixture::Clica(form().Window(), index); }

  // A query on the file through a connection of its own, past the faulty VFS.
  QString valor(const QString& query) { return testdb::Sql(dir.filePath("ulmaro.mdb"), query, SQLITE_OPEN_READONLY); }

  // As the program's default handler does, short of ending the program.
  static void Relatando(const std::function<void()>& f) try { f(); } catch (...) { mGeral::RelataErro(); }

  void Fecha() {
    if (frmLocalizar::Instance().IsLoaded()) frmLocalizar::Instance().Unload();
    if (form().IsLoaded()) form().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    mGeral::cnConexao.reset();
  }

  // A fresh copy of the three clients, the connection, the form on Carla.
  void Prepara(bool abre = true) {
    Fecha();
    const QString db = dir.filePath("ulmaro.mdb");
    for (const char* ext : {"", "-wal", "-shm"}) QFile::remove(db + ext);
    QVERIFY(QFile::copy(modelo, db));
    if (abre) {
      mGeral::AbreBanco();
      form().Show();
    }
    caixas.clear();
  }

  // NOVO, with the key typed and focused.
  void NovoComChave(const char* chave) {
    Prepara();
    clica(NOVO);
    campo("txtCPFCod")->setText(chave);
  }

  // A command under every fault in turn. run performs it, and waits for what
  // it runs queued, with faults armed; check looks at the outcome (faults disarmed).
  void Injeta(const char* nome, const std::function<void()>& prepara, const std::function<void()>& run,
              const std::function<void()>& check, int perguntas = 0) {
    const std::tuple<Op, int, bool> falhas[] = {
        {Op::Read, SQLITE_IOERR_READ, false},   {Op::Read, SQLITE_IOERR_READ, true},
        {Op::Write, SQLITE_IOERR_WRITE, false}, {Op::Write, SQLITE_FULL, true},
        {Op::Sync, SQLITE_IOERR_FSYNC, false},  {Op::Sync, SQLITE_IOERR_FSYNC, true},
        {Op::Lock, SQLITE_BUSY, false},         {Op::Lock, SQLITE_IOERR_LOCK, true},
        {Op::Open, SQLITE_CANTOPEN, false},     {Op::Open, SQLITE_CANTOPEN, true}};
    QStringList recebidas;  // faults received, per row of falhas
    int total = 0;
    for (auto [op, code, persistent] : falhas) {
      int n = 1;
      for (; n <= 400; ++n) {
        prepara();
        if (QTest::currentTestFailed()) return;
        faultvfs::Arm(op, n, code, persistent);
        run();
        const int fired = faultvfs::Disarm();
        const QString onde = QString("%1, op %2 call %3 code %4%5: ")
                                 .arg(nome).arg(int(op)).arg(n).arg(code).arg(persistent ? " (persistent)" : "");
        if (!QTest::currentTestFailed()) {
          QVERIFY2(caixas.size() <= 1 + perguntas, qPrintable(onde + caixas.join(" / ")));
          check();
        }
        if (QTest::currentTestFailed()) {
          qWarning("%s%s", qPrintable(onde), qPrintable(caixas.join(" / ")));
          return;
        }
        const QString integridade = valor("PRAGMA integrity_check");
        QVERIFY2(integridade == "ok", qPrintable(onde + integridade));
        if (fired == 0) break;  // the command ran past every call of this kind
      }
      recebidas << QString::number(n - 1);
      total += n - 1;
    }
    qInfo("%s: %d faults received (%s)", nome, total, qPrintable(recebidas.join(' ')));
    QVERIFY2(total > 0, qPrintable(QString(nome) + ": no fault reached the command"));
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir.isValid());
    QString err;
    QVERIFY2(fixture::RegistraTrivex(dir, &err), qPrintable(err));
    modelo = testdb::Cria(dir.filePath("modelo.mdb"));
    QCOMPARE(testdb::Sql(modelo, fixture::kTresClientes), QString());  // closed last: the log is in the file
    QVERIFY(QFile::copy(modelo, dir.filePath("ulmaro.mdb")));
    faultvfs::Install();
    forms::SetProgramFolder(dir.path());
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      caixas << c.title + '|' + c.prompt;
      return (c.buttons & 7) == forms::vbYesNo ? int(forms::vbYes) : int(forms::vbOK);
    });
    // Focus moves, and so the key check, need the active window.
    Principal::Instance().show();
    Principal::Instance().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Principal::Instance()));
  }

  void cleanupTestCase() { Fecha(); }

  void inicio() {
    Injeta("start", [&] { Prepara(false); },
           [&] {
             Relatando([&] {
               mGeral::AbreBanco();
               form().Show();
             });
           },
           [&] {
             if (caixas.isEmpty()) QCOMPARE(campo("txtCPFCod")->text(), QString("333"));
             else QVERIFY(caixas[0].startsWith("Pontelo|"));
           });
  }

  // A new client and an altered one: saved when nothing was reported, and
  // when refused still typed in the form, in the same mode.
  void gravar() {
    Injeta("GRAVAR new", [&] {
             Prepara();
             clica(NOVO);
             fixture::PreencheNovo(form().Window(), "999", "Novo");
           },
           [&] { clica(GRAVAR); },
           [&] {
             const bool gravado = valor("Select count(*) From Clientes Where CPFCod = '999'") == "1";
             QVERIFY(form().IsLoaded() && (gravado || !caixas.isEmpty()));
             if (caixas.isEmpty()) QCOMPARE(form().Trivex1.STATUS(), QString());
             if (gravado) return;
             QCOMPARE(form().Trivex1.STATUS(), QString("N"));
             QVERIFY(botao(GRAVAR)->isEnabled() && !botao(NOVO)->isEnabled());  // the editing set
             QCOMPARE(campo("txtCPFCod")->text() + campo("txtNome")->text(), QString("999Novo"));
             QCOMPARE(campo("mskFone")->displayText(), QString("9999-0000"));
           });
    Injeta("GRAVAR altered", [&] {
             Prepara();
             clica(ALTERAR);
             campo("txtNome")->setText("Carla Alterada");
           },
           [&] { clica(GRAVAR); },
           [&] {
             const bool gravado = valor("Select Nome From Clientes Where CPFCod = '333'") == "Carla Alterada";
             QVERIFY(form().IsLoaded() && (gravado || !caixas.isEmpty()));
             QCOMPARE(valor("Select count(*) From Clientes"), QString("3"));
             if (gravado) return;
             QCOMPARE(form().Trivex1.STATUS(), QString("A"));
             QVERIFY(botao(GRAVAR)->isEnabled() && !botao(NOVO)->isEnabled());
             QCOMPARE(campo("txtNome")->text(), QString("Carla Alterada"));
           });
  }

  void excluir() {
    Injeta("EXCLUIR", [&] { Prepara(); }, [&] { clica(EXCLUIR); },
           [&] {
             QVERIFY(form().IsLoaded());
             QCOMPARE(caixas.value(0).left(8), QString("Pontelo|"));  // the question
             const QString resta = valor("Select group_concat(CPFCod) From Clientes");
             if (caixas.size() == 1) QCOMPARE(resta, QString("111,222"));
             QVERIFY(resta == "111,222" || resta == "111,222,333");
             // Never the deleted client: the last one, or none when it cannot be read.
             const QString chave = campo("txtCPFCod")->text() + '|' + campo("txtNome")->text();
             if (resta == "111,222") QVERIFY2(chave == "222|Bruno" || chave == "|", qPrintable(chave));
             else QCOMPARE(chave, QString("333|Carla"));
           },
           1);
  }

  // CANCELAR after the key check left the cursor past the last client: the
  // typed client is dropped whatever happens, and the form browses again.
  void cancelar() {
    Injeta("CANCELAR", [&] {
             NovoComChave("999");
             fixture::SaiDaChave(Qt::Key_Tab);
           },
           [&] { clica(CANCELAR); },
           [&] {
             QVERIFY(form().Trivex1.STATUS().isEmpty() && !form().Window()->findChild<QWidget*>("fraClientes")->isEnabled());
             const QString chave = campo("txtCPFCod")->text() + '|' + campo("txtNome")->text();
             QVERIFY2(chave == "333|Carla" || (chave == "|" && caixas.size() == 1), qPrintable(chave));
           });
  }

  // A refresh that fails, then works again once the fault is gone.
  void requeryEVerificaChave() {
    Injeta("Requery", [&] { Prepara(); }, [&] { Relatando([&] { form().CarregaCliente("111"); }); },
           [&] {
             form().CarregaCliente("222");
             QCOMPARE(campo("txtNome")->text(), QString("Bruno"));
           });
    Injeta("key check", [&] { NovoComChave("222"); },
           [&] {
             fixture::SaiDaChave(Qt::Key_Tab);
             QCOMPARE(caixas.size(), 1);  // warned or reported
           },
           [&] {
             QVERIFY(form().IsLoaded());
             QCOMPARE(form().Trivex1.STATUS(), QString("N"));
             QCOMPARE(campo("txtCPFCod")->text(), QString("222"));
             // The next check works.
             caixas.clear();
             campo("txtCPFCod")->setFocus();
             fixture::SaiDaChave(Qt::Key_Tab);
             QCOMPARE(caixas, QStringList{"Aviso|Este CPF ou Código já existe"});
           });
  }

  void busca() {
    QWidget* w = nullptr;
    Injeta("search", [&] {
             Prepara();
             frmLocalizar::Instance().Show();
             w = frmLocalizar::Instance().Window();
             w->findChild<QComboBox*>("cboCampos")->setCurrentIndex(1);
             w->findChild<QComboBox*>("cboCriterio")->setCurrentIndex(0);
             w->findChild<QLineEdit*>("txtCondicao")->setText("");
           },
           [&] { QTest::mouseClick(w->findChild<QWidget*>("cmdBusca"), Qt::LeftButton); },
           [&] {
             QVERIFY(frmLocalizar::Instance().IsLoaded());
             const int linhas = w->findChild<QAbstractItemView*>("lvItens")->model()->rowCount();
             QVERIFY2(linhas == (caixas.isEmpty() ? 3 : 0) || linhas == 3, qPrintable(caixas.join('/')));
           });
  }
};

QTEST_MAIN(TstFalhas)
#include "tst_falhas.moc"
