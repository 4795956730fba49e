#include <QTemporaryDir>
#include <QtTest>
#include <QtWidgets>

#include "data/clientes.h"
#include "data/mGeral.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "tests/data/testdb.h"
#include "tests/pg/pgcluster.h"

#include <optional>

using clientes::Cliente;

namespace {

Cliente Ana(const QString& sexo = "Feminino") {
  return {"123", "Ana", sexo, "", "01310-100", "Av. Paulista", "1000", "", "Bela Vista",
          "São Paulo", "SP", "11", "3255-1234", "", ""};
}

// The row of the browse cursor with the given key, as the form reads it.
Cliente Le(const QString& cpf) {
  ado::Recordset rs;
  rs.Open(clientes::SelectBrowse(), *mGeral::cnConexao);
  rs.Find(clientes::CriterioChave(cpf));
  if (rs.EOF_()) throw std::runtime_error("not found");
  auto t = [&](const char* col) { return rs.Fields(col).toString(); };
  return {t("CPFCod"), t("Nome"), t("Sexo"), t("Hobby"), t("CEP"), t("Endereco"), t("Num"),
          t("Complemento"), t("Bairro"), t("Cidade"), t("UF"), t("DDD"), t("Fone"), t("Email"),
          t("Obs")};
}

void Executa(const QString& sql) {
  mGeral::strSQL = sql;
  mGeral::cnConexao->Execute(mGeral::strSQL);
}

}  // namespace

class TstData : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  QList<forms::MsgBoxCall> boxes_;
  // With VT_TEST_SERVIDOR set, every test runs on a server of its own.
  std::optional<pgteste::Cluster> cluster_;

 private slots:
  void initTestCase() {
    if (qEnvironmentVariableIsSet("VT_TEST_SERVIDOR")) {
      if (pgteste::Cluster::Bin().isEmpty()) QSKIP("PostgreSQL server programs are not installed");
      cluster_.emplace();
      cluster_->CriaBanco("ulmaro", VT_SOURCE_DIR "/data/schema-pg.sql");
      qputenv("VT_SERVIDOR", cluster_->Conninfo("ulmaro", pgteste::Cluster::kBalcao).toUtf8());
    }
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      boxes_ << c;
      return int(forms::vbOK);
    });
  }
  void init() {
    if (cluster_) pgteste::Cluster::Sql(cluster_->Conninfo("ulmaro"), "Truncate Clientes Restart Identity");
    testdb::Cria(dir_.filePath("ulmaro.mdb"));
    forms::SetProgramFolder(dir_.path());
    mGeral::AbreBanco();
  }
  void cleanup() { mGeral::cnConexao.reset(); }

  // The switch: unset or empty, the file; a bare name, a service of
  // pg_service.conf. No file, no server, no table: one clear error, nothing
  // opened or created.
  void abreBanco() {
    const QByteArray antes = qgetenv("VT_SERVIDOR");
    auto volta = qScopeGuard([&] { qputenv("VT_SERVIDOR", antes); });
    qputenv("VT_SERVIDOR", "escritorio");
    QCOMPARE(mGeral::Servidor(), QString("service=escritorio"));
    qputenv("VT_SERVIDOR", " ");
    QCOMPARE(mGeral::Servidor(), QString());
    QTemporaryDir vazio;
    forms::SetProgramFolder(vazio.path());
    QString descricao;
    QCOMPARE(testdb::ErroDe(mGeral::AbreBanco, &descricao), 14L);  // SQLITE_CANTOPEN
    QCOMPARE(descricao, "O arquivo de banco de dados não foi encontrado: " + vazio.filePath("ulmaro.mdb"));
    QVERIFY(!QFile::exists(vazio.filePath("ulmaro.mdb")));
    QVERIFY(mGeral::cnConexao && !mGeral::cnConexao->IsOpen());
    forms::SetProgramFolder(dir_.path());
    mGeral::AbreBanco();
    QVERIFY(!mGeral::cnConexao->IsServer());
    if (!cluster_) return;
    // No server there: one clear error, nothing open.
    qputenv("VT_SERVIDOR", "host=" + QFile::encodeName(dir_.filePath("nada")) + " dbname=ulmaro");
    QCOMPARE(testdb::ErroDe(mGeral::AbreBanco, &descricao), ado::adErrConnectionLost);
    QVERIFY2(descricao.startsWith("Não foi possível conectar ao servidor de banco de dados"), qPrintable(descricao));
    QVERIFY(!mGeral::cnConexao->IsOpen());
    // A server without the table: refused as the file is.
    qputenv("VT_SERVIDOR", cluster_->Conninfo("postgres").toUtf8());
    QCOMPARE(testdb::ErroDe(mGeral::AbreBanco, &descricao), 1L);
    QVERIFY2(descricao.startsWith("A tabela Clientes não existe no banco de dados: postgres em "), qPrintable(descricao));
    QVERIFY(!mGeral::cnConexao->IsOpen());
  }

  void statementTexts() {
    Cliente c = Ana();
    QCOMPARE(clientes::InsertSQL(c),
             QString("Insert Into Clientes (CPFCod,Nome,Sexo,Hobby,CEP,Endereco,Num,Complemento,"
                     "Bairro,Cidade,UF,DDD,Fone,Email,Obs) Values ( '123','Ana','F','','01310-100',"
                     "'Av. Paulista',1000,'','Bela Vista','São Paulo','SP',11,'3255-1234','','')"));
    c.Fone = "3255-4321";
    QCOMPARE(clientes::UpdateSQL(c),
             QString("Update Clientes Set Nome = 'Ana',Sexo = 'F',Hobby = '',CEP = '01310-100',"
                     "Endereco = 'Av. Paulista',Num = 1000,Complemento = '',Bairro = 'Bela Vista',"
                     "Cidade = 'São Paulo',UF = 'SP',DDD = 11,Fone = '3255-4321',Email = '',Obs = '' "
                     "Where CPFCod = '123'"));
    QCOMPARE(clientes::DeleteSQL("123"), QString("Delete From Clientes where CPFCod = '123'"));
    QCOMPARE(clientes::CriterioChave("O'Brien"), QString("CPFCod = 'O''Brien'"));
    // Sexo is M only for exactly "Masculino".
    for (auto [texto, sexo] : {std::pair{"Masculino", "'M'"}, {"masculino", "'F'"}, {"Masculino ", "'F'"}})
      QVERIFY(clientes::InsertSQL(Ana(texto)).contains(QString("'Ana',") + sexo + ","));
  }

  void numbersMustBeDigits() {
    for (const char* bad : {"", "12a", " 12", "1 2", "-1", "1.5", "0x1", "１２", "1 or 1=1"})
      for (auto [campo, coluna] : {std::pair{&Cliente::Num, "Num"}, {&Cliente::DDD, "DDD"}})
        for (auto monta : {clientes::InsertSQL, clientes::UpdateSQL}) {
          Cliente c = Ana();
          c.*campo = bad;
          QString recusada;
          try {
            monta(c);
          } catch (const clientes::CampoNaoNumerico& e) {
            recusada = e.Coluna();
          }
          QCOMPARE(recusada, QString(coluna));
        }
    // Leading zeros go as typed; the database keeps the number.
    Cliente c = Ana();
    c.Num = "0012";
    c.DDD = "011";
    QVERIFY(clientes::InsertSQL(c).contains(",0012,") && clientes::InsertSQL(c).contains(",011,"));
    Executa(clientes::InsertSQL(c));
    QCOMPARE(Le("123").DDD + "/" + Le("123").Num, QString("11/12"));
  }

  void badInputStoredExactly_data() {
    QTest::addColumn<QString>("texto");
    QTest::newRow("quotes") << "O'Brien d'Ávila '' \"aspas\" x'); Drop Table Clientes; -- /* */";
    QTest::newRow("wildcards") << "100% _a_ \\";
    QTest::newRow("letters") << "São João Ñandú Ελληνικά Русский 日本語 العربية 😀👍🏽 🇧🇷";
    QTest::newRow("control, blanks") << "  linha\r\nnova\ttab ";
  }
  // Every text field, the key included, goes through insert, update, search and
  // delete as typed; the other row is never touched.
  void badInputStoredExactly() {
    QFETCH(QString, texto);
    Executa(clientes::InsertSQL(Ana()));
    Cliente c = Ana("F");
    c.CPFCod = texto.left(14);
    for (QString* f : {&c.Nome, &c.Hobby, &c.CEP, &c.Endereco, &c.Complemento, &c.Bairro, &c.Cidade,
                       &c.UF, &c.Fone, &c.Email, &c.Obs})
      *f = texto;
    Executa(clientes::InsertSQL(c));
    QCOMPARE(Le(c.CPFCod), c);
    c.Obs = QString(100000, QChar(u'ç')) + texto;
    Executa(clientes::UpdateSQL(c));
    QCOMPARE(Le(c.CPFCod), c);

    const QString busca = clientes::SelectBusca(clientes::CriterioBusca(clientes::Campo::Nome, true, texto));
    QCOMPARE(mGeral::cnConexao->Execute(busca)->Fields("Nome").toString(), texto);

    Executa(clientes::DeleteSQL(c.CPFCod));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, Le(c.CPFCod));
    QCOMPARE(Le("123"), Ana("F"));
  }

  void schemaFillsAndGuards() {
    Executa(clientes::InsertSQL(Ana()));
    const QString data =
        mGeral::cnConexao->Execute("Select DataCadastro From Clientes")->Fields(0).toString();
    // UTC to the millisecond, not local time.
    const QDateTime quando = QDateTime::fromString(data, "yyyy-MM-dd HH:mm:ss.zzz");
    QVERIFY2(data.size() == 23 && quando.isValid() &&
                 qAbs(QDateTime(quando.date(), quando.time(), Qt::UTC).secsTo(QDateTime::currentDateTimeUtc())) < 60,
             qPrintable(data));
    // Key unique without regard to case; Nome compares the same way.
    Cliente outro = Ana();
    outro.CPFCod = "ab1";
    Executa(clientes::InsertSQL(outro));
    outro.CPFCod = "AB1";
    QCOMPARE(testdb::ErroDe([&] { Executa(clientes::InsertSQL(outro)); }), 2067L);  // SQLITE_CONSTRAINT_UNIQUE
    QCOMPARE(mGeral::cnConexao->Execute(clientes::SelectBusca("Nome = 'ANA'"))->Fields("CPFCod").toString(),
             QString("123"));
    QCOMPARE(testdb::ErroDe([] { Executa("Insert Into Clientes (CPFCod) Values ('x')"); }), 1299L);  // NOT NULL
  }

  // Forms without the masked fields, with them, and with plain fields of those names.
  void limpaCampos() {
    for (int mascaras : {0, 1, 2}) {
      QWidget form;
      auto* nome = new QLineEdit("Ana", new QGroupBox(&form));  // inside a frame
      auto* obs = new QPlainTextEdit("texto", &form);
      auto* sexo = new QComboBox(&form);
      sexo->addItems({"Masculino", "Feminino"});
      sexo->setCurrentIndex(1);
      auto* vip = new QCheckBox(&form);
      auto* r1 = new QRadioButton(&form);  // auto-exclusive
      auto* r2 = new QRadioButton(&form);  // in an exclusive group
      auto* g = new QButtonGroup(&form);
      g->addButton(r2);
      auto* hospedado = new QToolButton(&form);  // a hosted control's button
      hospedado->setCheckable(true);
      for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{vip, r1, r2, hospedado}) b->setChecked(true);
      auto* cep = new QLineEdit("0131", &form);
      auto* fone = new QLineEdit("32551234", &form);
      cep->setObjectName(mascaras ? "mskCEP" : "");
      fone->setObjectName(mascaras ? "mskFone" : "");
      cep->setInputMask(mascaras == 1 ? "00000-000;_" : "");
      fone->setInputMask(mascaras == 1 ? "0000-0000;_" : "");
      fone->setCursorPosition(9);
      mGeral::LimpaCampos(form);

      QVERIFY(nome->text().isEmpty() && obs->toPlainText().isEmpty());
      QVERIFY(sexo->currentIndex() == -1 && sexo->count() == 2);
      QVERIFY(!vip->isChecked() && !r1->isChecked() && !r2->isChecked());
      QVERIFY(r1->autoExclusive() && g->exclusive());  // exclusivity restored
      QVERIFY(hospedado->isChecked() && boxes_.isEmpty());
      QCOMPARE(cep->displayText(), mascaras ? QString("_____-___") : QString());
      QCOMPARE(fone->displayText(), mascaras ? QString("____-____") : QString());
      if (mascaras == 1) {
        QCOMPARE(fone->cursorPosition(), 0);
        QTest::keyClicks(fone, "1234");  // typing goes into the first positions again
        QCOMPARE(fone->displayText(), QString("1234-____"));
      }
    }
  }

  void soNumeros() {
    QString passam;  // each code that passes, as returned
    for (int k = 0; k <= 255; ++k)
      if (const qint16 r = mGeral::SoNumeros(qint16(k))) passam += QChar(r);
    QCOMPARE(passam, QString("\b0123456789"));
  }
};

QTEST_MAIN(TstData)
#include "tst_data.moc"
