#include <QTemporaryDir>
#include <QtTest>
#include <QtWidgets>

#include "data/clientes.h"
#include "data/mGeral.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "tests/data/testdb.h"

using clientes::Campo;
using clientes::Cliente;

namespace {

Cliente Ana() {
  return {"123", "Ana", "Feminino", "", "01310-100", "Av. Paulista", "1000", "", "Bela Vista",
          "São Paulo", "SP", "11", "3255-1234", "", ""};
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

// The number of the ado::Error that sql raises (0 when none).
long ErroDe(const QString& sql) {
  try {
    Executa(sql);
  } catch (const ado::Error& e) {
    return e.Number();
  }
  return 0;
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
      QCOMPARE(e.Number(), 14L);  // SQLITE_CANTOPEN
      QCOMPARE(e.Description(), "unable to open database file: " + vazio.filePath("ulmaro.mdb"));
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
    QCOMPARE(clientes::SelectBusca("Nome = 'Ana'"),
             QString("Select CPFCod,Nome,Fone From Clientes Where Nome = 'Ana'"));
    for (auto [campo, contem, texto, criterio] :
         {std::tuple{Campo::CPFCod, true, "12", "CPFCod Like '%12%'"}, {Campo::CPFCod, false, "12", "CPFCod = '12'"},
          {Campo::Nome, true, "d'A", "Nome Like '%d''A%'"}, {Campo::Nome, false, "Ana", "Nome = 'Ana'"},
          {Campo::Fone, true, "55", "Fone Like '%55%'"}, {Campo::Fone, false, "3255-1234", "Fone = '3255-1234'"}})
      QCOMPARE(clientes::CriterioBusca(campo, contem, texto), QString(criterio));
    // Sexo is M only for exactly "Masculino".
    for (auto [texto, sexo] : {std::pair{"Masculino", "'M'"}, {"masculino", "'F'"}, {"", "'F'"},
                               {"Masculino ", "'F'"}, {"Feminino", "'F'"}}) {
      c.Sexo = texto;
      QVERIFY(clientes::InsertSQL(c).contains(QString("'Ana',") + sexo + ","));
    }
  }

  void numbersMustBeDigits() {
    for (const char* bad : {"", "12a", " 12", "1 2", "-1", "1.5", "0x1", "１２", "1 or 1=1"}) {
      for (auto [campo, coluna] : {std::pair{&Cliente::Num, "Num"}, {&Cliente::DDD, "DDD"}}) {
        Cliente c = Ana();
        c.*campo = bad;
        for (auto monta : {clientes::InsertSQL, clientes::UpdateSQL}) {
          try {
            monta(c);
            QFAIL(bad);
          } catch (const clientes::CampoNaoNumerico& e) {
            QCOMPARE(e.Coluna(), QString(coluna));
          }
        }
      }
    }
    // Leading zeros go as typed; the database keeps the number.
    Cliente c = Ana();
    c.Num = "0012";
    c.DDD = "011";
    QVERIFY(clientes::InsertSQL(c).contains(",0012,") && clientes::InsertSQL(c).contains(",011,"));
    Executa(clientes::InsertSQL(c));
    QCOMPARE(Le("123").DDD, QString("11"));
    QCOMPARE(Le("123").Num, QString("12"));
  }

  void badInputStoredExactly_data() {
    QTest::addColumn<QString>("texto");
    QTest::newRow("quotes") << "O'Brien d'Ávila '' \"aspas\" `crase`";
    QTest::newRow("statement") << "x'); Drop Table Clientes; -- /* */";
    QTest::newRow("wildcards") << "100% _a_ \\";
    QTest::newRow("letters") << "São João Ñandú Ελληνικά Русский 日本語 العربية";
    QTest::newRow("emoji") << "😀👍🏽 🇧🇷";
    QTest::newRow("control") << "linha\r\nnova\ttab";
    QTest::newRow("blank") << "  ";
  }
  // Every text field, the key included, goes through insert, update, search and
  // delete as typed; the other row is never touched.
  void badInputStoredExactly() {
    QFETCH(QString, texto);
    Executa(clientes::InsertSQL(Ana()));
    Cliente c = Ana();
    c.CPFCod = texto.left(14);
    for (QString* f : {&c.Nome, &c.Hobby, &c.CEP, &c.Endereco, &c.Complemento, &c.Bairro, &c.Cidade,
                       &c.UF, &c.Fone, &c.Email, &c.Obs})
      *f = texto;
    Executa(clientes::InsertSQL(c));
    c.Sexo = "F";
    QCOMPARE(Le(c.CPFCod), c);

    c.Obs = QString(100000, QChar(u'ç')) + texto;
    Executa(clientes::UpdateSQL(c));
    QCOMPARE(Le(c.CPFCod), c);
    Cliente ana = Ana();
    ana.Sexo = "F";
    QCOMPARE(Le("123"), ana);

    auto rs = mGeral::cnConexao->Execute(
        clientes::SelectBusca(clientes::CriterioBusca(Campo::Nome, true, texto)));
    QVERIFY(!rs->EOF_());
    QCOMPARE(rs->Fields("Nome").toString(), texto);
    rs.reset();

    Executa(clientes::DeleteSQL(c.CPFCod));
    long n = -1;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, Le(c.CPFCod, &n));
    QCOMPARE(n, 1L);
    QCOMPARE(Le("123"), ana);
  }

  void schemaFillsAndGuards() {
    Executa(clientes::InsertSQL(Ana()));
    const QString data =
        mGeral::cnConexao->Execute("Select DataCadastro From Clientes")->Fields(0).toString();
    QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$").match(data).hasMatch(),
             qPrintable(data));
    const QDateTime quando = QDateTime::fromString(data, "yyyy-MM-dd HH:mm:ss.zzz");
    // UTC, not local time.
    QVERIFY(qAbs(QDateTime(quando.date(), quando.time(), Qt::UTC).secsTo(QDateTime::currentDateTimeUtc())) < 60);
    // Key unique without regard to ASCII case; Nome compares the same way, accents apart.
    Cliente outro = Ana();
    outro.CPFCod = "ab1";
    Executa(clientes::InsertSQL(outro));
    outro.CPFCod = "AB1";
    QCOMPARE(ErroDe(clientes::InsertSQL(outro)), 2067L);  // SQLITE_CONSTRAINT_UNIQUE
    QCOMPARE(mGeral::cnConexao->Execute(clientes::SelectBusca("Nome = 'ANA'"))->Fields("CPFCod").toString(),
             QString("123"));
    QVERIFY(mGeral::cnConexao->Execute(clientes::SelectBusca("Cidade = 'SÃO PAULO'"))->EOF_());
    QCOMPARE(ErroDe("Insert Into Clientes (CPFCod) Values ('x')"), 1299L);  // SQLITE_CONSTRAINT_NOTNULL
  }

  // Forms without the masked fields, with them, and with plain fields of those names.
  void limpaCampos() {
    for (int mascaras : {0, 1, 2}) {
      QWidget form;
      auto* grupo = new QGroupBox(" Dados ", &form);
      auto* rotulo = new QLabel("Nome", grupo);
      auto* nome = new QLineEdit("Ana", grupo);
      auto* obs = new QPlainTextEdit("texto", &form);
      auto* sexo = new QComboBox(&form);
      sexo->addItems({"Masculino", "Feminino"});
      sexo->setCurrentIndex(1);
      auto* vip = new QCheckBox("VIP", &form);
      auto* r1 = new QRadioButton("a", grupo);  // auto-exclusive
      auto* r2 = new QRadioButton("c", &form);  // in an exclusive group
      auto* g = new QButtonGroup(&form);
      g->addButton(r2);
      auto* hospedado = new QToolButton(&form);  // a hosted control's button
      hospedado->setCheckable(true);
      for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{vip, r1, r2, hospedado}) b->setChecked(true);
      auto* cep = new QLineEdit(&form);
      auto* fone = new QLineEdit(&form);
      cep->setObjectName(mascaras ? "mskCEP" : "");
      fone->setObjectName(mascaras ? "mskFone" : "");
      cep->setInputMask(mascaras == 1 ? "00000-000;_" : "");
      fone->setInputMask(mascaras == 1 ? "0000-0000;_" : "");
      cep->setText("0131");
      fone->setText("32551234");
      fone->setCursorPosition(9);
      boxes_.clear();
      mGeral::LimpaCampos(form);

      QVERIFY(nome->text().isEmpty() && obs->toPlainText().isEmpty());
      QCOMPARE(sexo->currentIndex(), -1);
      QCOMPARE(sexo->count(), 2);
      QVERIFY(!vip->isChecked() && !r1->isChecked() && !r2->isChecked());
      QVERIFY(r1->autoExclusive() && g->exclusive());  // exclusivity restored
      QCOMPARE(rotulo->text(), QString("Nome"));
      QCOMPARE(grupo->title(), QString(" Dados "));
      QVERIFY(hospedado->isChecked());
      QVERIFY(boxes_.isEmpty());
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
    for (int k = 0; k <= 255; ++k) {
      const qint16 esperado = (k == 8 || (k >= '0' && k <= '9')) ? qint16(k) : 0;
      QCOMPARE(mGeral::SoNumeros(qint16(k)), esperado);
    }
  }
};

QTEST_MAIN(TstData)
#include "tst_data.moc"
