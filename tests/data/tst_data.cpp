#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "data/clientes.h"
#include "data/mGeral.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "tests/data/testdb.h"

using clientes::Cliente;

namespace {

Cliente Ana() {
  Cliente c;
  c.CPFCod = "123";
  c.Nome = "Ana";
  c.Sexo = "Feminino";
  c.CEP = "01310-100";
  c.Endereco = "Av. Paulista";
  c.Num = "1000";
  c.Bairro = "Bela Vista";
  c.Cidade = "São Paulo";
  c.UF = "SP";
  c.DDD = "11";
  c.Fone = "3255-1234";
  return c;
}

// The row of the browse cursor with the given key, as the form reads it.
Cliente Le(const QString& cpf, long* count = nullptr) {
  ado::Recordset rs;
  rs.Open(clientes::SelectBrowse(), *mGeral::cnConexao);
  if (count) *count = rs.RecordCount();
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

 private slots:
  void initTestCase() {
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      boxes_ << c;
      return int(forms::vbOK);
    });
  }

  void init() {
    testdb::Cria(dir_.filePath("ulmaro.mdb"));
    forms::SetProgramFolder(dir_.path());
    mGeral::AbreBanco();
  }
  void cleanup() { mGeral::cnConexao.reset(); }

  void abreBancoFailsOnMissingFile() {
    QTemporaryDir vazio;
    forms::SetProgramFolder(vazio.path());
    try {
      mGeral::AbreBanco();
      QFAIL("opened a missing file");
    } catch (const ado::Error& e) {
      QCOMPARE(e.Number(), 14L);
      QVERIFY(e.Description().contains(vazio.path() + "/ulmaro.mdb"));
    }
    QVERIFY(!QFile::exists(vazio.filePath("ulmaro.mdb")));
    QVERIFY(mGeral::cnConexao && !mGeral::cnConexao->IsOpen());
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
    QCOMPARE(clientes::SelectBrowse(), QString("Select * From Clientes Order By DataCadastro"));
    using clientes::Campo;
    QCOMPARE(clientes::CriterioBusca(Campo::CPFCod, true, "12"), QString("CPFCod Like '%12%'"));
    QCOMPARE(clientes::CriterioBusca(Campo::CPFCod, false, "12"), QString("CPFCod = '12'"));
    QCOMPARE(clientes::CriterioBusca(Campo::Nome, true, "d'A"), QString("Nome Like '%d''A%'"));
    QCOMPARE(clientes::CriterioBusca(Campo::Nome, false, "Ana"), QString("Nome = 'Ana'"));
    QCOMPARE(clientes::CriterioBusca(Campo::Fone, true, "55"), QString("Fone Like '%55%'"));
    QCOMPARE(clientes::CriterioBusca(Campo::Fone, false, "3255-1234"), QString("Fone = '3255-1234'"));
    QCOMPARE(clientes::SelectBusca("Nome = 'Ana'"),
             QString("Select CPFCod,Nome,Fone From Clientes Where Nome = 'Ana'"));

    // Sexo is M only for exactly "Masculino".
    for (auto [texto, sexo] : {std::pair{"Masculino", "'M'"}, {"masculino", "'F'"}, {"", "'F'"},
                               {"Masculino ", "'F'"}, {"Feminino", "'F'"}}) {
      c.Sexo = texto;
      QVERIFY(clientes::InsertSQL(c).contains(QString("'Ana',") + sexo + ","));
    }
  }

  void numbersMustBeDigits() {
    Cliente c = Ana();
    for (const char* bad : {"", "12a", " 12", "1 2", "-1", "1.5", "Num", "0x1", "１２"}) {
      c.Num = bad;
      try {
        clientes::UpdateSQL(c);
        QFAIL(bad);
      } catch (const clientes::CampoNaoNumerico& e) {
        QCOMPARE(e.Coluna(), QString("Num"));
      }
    }
    c.Num = "0012";
    c.DDD = "1 or 1=1";
    try {
      clientes::InsertSQL(c);
      QFAIL("DDD accepted");
    } catch (const clientes::CampoNaoNumerico& e) {
      QCOMPARE(e.Coluna(), QString("DDD"));
    }
    // Leading zeros go as typed; the database keeps the number.
    c.DDD = "011";
    QVERIFY(clientes::InsertSQL(c).contains(",0012,") && clientes::InsertSQL(c).contains(",011,"));
    Executa(clientes::InsertSQL(c));
    const Cliente lido = Le("123");
    QCOMPARE(lido.DDD, QString("11"));
    QCOMPARE(lido.Num, QString("12"));
  }

  void badInputStoredExactly_data() {
    QTest::addColumn<QString>("texto");
    QTest::newRow("apostrophes") << "O'Brien d'Ávila ''";
    QTest::newRow("quotes") << "\"aspas\" `crase`";
    QTest::newRow("statement") << "x'); Drop Table Clientes; --";
    QTest::newRow("comment") << "-- nada /* */";
    QTest::newRow("wildcards") << "100% _a_ \\";
    QTest::newRow("accents") << "São João Açaí Ñandú ü";
    QTest::newRow("non-latin") << "Ελληνικά Русский 日本語 العربية";
    QTest::newRow("emoji") << "😀👍🏽 🇧🇷";
    QTest::newRow("control") << "linha\r\nnova\ttab";
    QTest::newRow("blank") << "  ";
  }
  void badInputStoredExactly() {
    QFETCH(QString, texto);
    Cliente c = Ana();
    c.CPFCod = texto.left(14);
    for (QString* f : {&c.Nome, &c.Hobby, &c.CEP, &c.Endereco, &c.Complemento, &c.Bairro, &c.Cidade,
                       &c.UF, &c.Fone, &c.Email, &c.Obs})
      *f = texto;
    Executa(clientes::InsertSQL(c));
    c.Sexo = "F";
    c.Num = "1000";
    QCOMPARE(Le(c.CPFCod), c);

    c.Sexo = "Feminino";
    c.Obs = QString(100000, QChar(u'ç')) + texto;
    Executa(clientes::UpdateSQL(c));
    c.Sexo = "F";
    QCOMPARE(Le(c.CPFCod).Obs, c.Obs);

    // The search finds it by its own text, wildcards and all.
    auto rs = mGeral::cnConexao->Execute(
        clientes::SelectBusca(clientes::CriterioBusca(clientes::Campo::Nome, true, texto)));
    QVERIFY(!rs->EOF_());
    QCOMPARE(rs->Fields("Nome").toString(), texto);

    Executa(clientes::DeleteSQL(c.CPFCod));
    long n = -1;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, Le(c.CPFCod, &n));
    QCOMPARE(n, 0L);
  }

  void apostropheKeyRoundTrip() {
    Cliente c = Ana();
    c.CPFCod = "O'Brien";
    c.Nome = "Seán O'Brien";
    c.Sexo = "Masculino";
    Executa(clientes::InsertSQL(c));
    Executa(clientes::InsertSQL(Ana()));
    c.Fone = "9999-0000";
    Executa(clientes::UpdateSQL(c));
    const Cliente lido = Le("O'Brien");
    QCOMPARE(lido.Nome, QString("Seán O'Brien"));
    QCOMPARE(lido.Sexo, QString("M"));
    QCOMPARE(lido.Fone, QString("9999-0000"));
    QCOMPARE(Le("123").Fone, QString("3255-1234"));  // only its own row changed
    Executa(clientes::DeleteSQL("O'Brien"));
    long n = 0;
    QCOMPARE(Le("123", &n).Nome, QString("Ana"));
    QCOMPARE(n, 1L);
  }

  void schemaFillsAndGuards() {
    Executa(clientes::InsertSQL(Ana()));
    auto rs = mGeral::cnConexao->Execute("Select DataCadastro, Hobby From Clientes");
    const QString data = rs->Fields("DataCadastro").toString();
    QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$").match(data).hasMatch(),
             qPrintable(data));
    const QDateTime quando = QDateTime::fromString(data, "yyyy-MM-dd HH:mm:ss.zzz");
    // UTC, not local time.
    QVERIFY(qAbs(QDateTime(quando.date(), quando.time(), Qt::UTC).secsTo(QDateTime::currentDateTimeUtc())) < 60);
    rs.reset();
    // Key unique without regard to ASCII case; Nome compares the same way.
    Cliente outro = Ana();
    outro.CPFCod = "ab1";
    Executa(clientes::InsertSQL(outro));
    outro.CPFCod = "AB1";
    try {
      Executa(clientes::InsertSQL(outro));
      QFAIL("duplicate key accepted");
    } catch (const ado::Error& e) {
      QCOMPARE(e.Number(), 2067L);  // SQLITE_CONSTRAINT_UNIQUE
    }
    auto busca = mGeral::cnConexao->Execute(clientes::SelectBusca("Nome = 'ANA'"));
    QCOMPARE(busca->Fields("CPFCod").toString(), QString("123"));
    // Beyond ASCII the case is kept apart.
    auto acento = mGeral::cnConexao->Execute(clientes::SelectBusca("Cidade = 'SÃO PAULO'"));
    QVERIFY(acento->EOF_());
    // Required columns refuse Null.
    try {
      Executa("Insert Into Clientes (CPFCod) Values ('x')");
      QFAIL("Null accepted");
    } catch (const ado::Error& e) {
      QCOMPARE(e.Number(), 1299L);  // SQLITE_CONSTRAINT_NOTNULL
    }
  }

  void limpaCampos() {
    for (bool comMascaras : {true, false}) {
      QWidget form;
      auto* grupo = new QGroupBox(" Dados ", &form);
      auto* rotulo = new QLabel("Nome", grupo);
      auto* nome = new QLineEdit("Ana", grupo);
      auto* obs = new QPlainTextEdit("texto", &form);
      auto* sexo = new QComboBox(&form);
      sexo->addItems({"Masculino", "Feminino"});
      sexo->setCurrentIndex(1);
      auto* vip = new QCheckBox("VIP", &form);
      vip->setChecked(true);
      auto* r1 = new QRadioButton("a", grupo);
      auto* r2 = new QRadioButton("b", grupo);
      r2->setChecked(true);
      auto* g = new QButtonGroup(&form);
      auto* r3 = new QRadioButton("c", &form);
      auto* r4 = new QRadioButton("d", &form);
      g->addButton(r3);
      g->addButton(r4);
      r4->setChecked(true);
      auto* hospedado = new QToolButton(&form);  // a hosted control's button
      hospedado->setCheckable(true);
      hospedado->setChecked(true);
      QLineEdit *cep = nullptr, *fone = nullptr;
      if (comMascaras) {
        cep = new QLineEdit(&form);
        cep->setObjectName("mskCEP");
        cep->setInputMask("00000-000;_");
        cep->setText("0131");
        fone = new QLineEdit(&form);
        fone->setObjectName("mskFone");
        fone->setInputMask("0000-0000;_");
        fone->setText("32551234");
        fone->setCursorPosition(9);
      }
      boxes_.clear();
      mGeral::LimpaCampos(form);

      QVERIFY(nome->text().isEmpty());
      QVERIFY(obs->toPlainText().isEmpty());
      QCOMPARE(sexo->currentIndex(), -1);
      QCOMPARE(sexo->count(), 2);
      QVERIFY(!vip->isChecked());
      QVERIFY(!r1->isChecked() && !r2->isChecked() && !r3->isChecked() && !r4->isChecked());
      QVERIFY(r2->autoExclusive() && g->exclusive());  // exclusivity restored
      QCOMPARE(rotulo->text(), QString("Nome"));
      QCOMPARE(grupo->title(), QString(" Dados "));
      QVERIFY(hospedado->isChecked());
      QVERIFY(boxes_.isEmpty());
      if (comMascaras) {
        QCOMPARE(cep->displayText(), QString("_____-___"));
        QCOMPARE(fone->displayText(), QString("____-____"));
        QCOMPARE(fone->cursorPosition(), 0);
        // Typing goes into the first positions again.
        QTest::keyClicks(fone, "1234");
        QCOMPARE(fone->displayText(), QString("1234-____"));
      }
    }
    // A plain field carrying the name gets the pattern as its text.
    QWidget form;
    auto* cep = new QLineEdit("x", &form);
    cep->setObjectName("mskCEP");
    mGeral::LimpaCampos(form);
    QCOMPARE(cep->text(), QString("_____-___"));
  }

  void soNumeros() {
    for (int k = 0; k <= 255; ++k) {
      const qint16 esperado = (k == 8 || (k >= '0' && k <= '9')) ? qint16(k) : 0;
      QCOMPARE(mGeral::SoNumeros(qint16(k)), esperado);
    }
  }
};

QTEST_MAIN(TstData)
#include "tst_data.moc"
