#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "platform/ado/ado.h"
#include "tests/data/testdb.h"

using ado::Connection;
using ado::Recordset;

namespace {

// Runs f and returns the number of the ado::Error it throws (0 when none).
long ErrorOf(const std::function<void()>& f, QString* description = nullptr) {
  try {
    f();
  } catch (const ado::Error& e) {
    if (description) *description = e.Description();
    return e.Number();
  }
  return 0;
}

QString Cs(const QString& path) { return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path; }

}  // namespace

class TstAdo : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  QString db_;
  std::unique_ptr<Connection> cn_;

  void Insere(const QString& cpf, const QString& nome, const QString& data) {
    cn_->Execute(QString("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,"
                         "Fone,DataCadastro) Values ('%1','%2','F','01310-100','Rua',1,'SP','SP',"
                         "11,'3255-1234','%3')")
                     .arg(cpf, nome, data));
  }

 private slots:
  void init() {
    db_ = testdb::Cria(dir_.filePath("ulmaro.mdb"));
    cn_ = std::make_unique<Connection>();
    cn_->Open(Cs(db_), "", "", -1);
    Insere("1", "Ana", "2020-01-01 00:00:00.003");
    Insere("2", "Bruno", "2020-01-01 00:00:00.001");
    Insere("3", "Carla", "2020-01-01 00:00:00.002");
  }
  void cleanup() { cn_.reset(); }

  void openFailures() {
    Connection cn;
    QString desc;
    const QString missing = dir_.filePath("nada.mdb");
    QCOMPARE(ErrorOf([&] { cn.Open(Cs(missing)); }, &desc), long(SQLITE_CANTOPEN));
    QVERIFY(desc.contains("unable to open database file"));
    QVERIFY(!QFile::exists(missing));
    QVERIFY(!cn.IsOpen());

    const QString garbage = dir_.filePath("lixo.mdb");
    QFile f(garbage);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    QCOMPARE(ErrorOf([&] { cn.Open(Cs(garbage)); }, &desc), long(SQLITE_NOTADB));
    QVERIFY(desc.contains("file is not a database"));

    QCOMPARE(ErrorOf([&] { cn.Open("Provider=Outro;Data Source=" + db_); }), ado::adErrProviderNotFound);
    QCOMPARE(ErrorOf([&] { cn.Open("Provider=Microsoft.Jet.OLEDB.4.0"); }), ado::adErrInvalidArgument);
    QCOMPARE(ErrorOf([&] { cn.Execute("Select 1"); }), ado::adErrObjectClosed);

    // A database without table Clientes opens; the query then fails with SQLite's message.
    const QString vazio = dir_.filePath("vazio.mdb");
    sqlite3* raw = nullptr;
    sqlite3_open(vazio.toUtf8().constData(), &raw);
    sqlite3_exec(raw, "Create Table Outra (x)", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    cn.Open(Cs(vazio));
    Recordset rs;
    QCOMPARE(ErrorOf([&] { rs.Open("Select * From Clientes Order By DataCadastro", cn); }, &desc),
             long(SQLITE_ERROR));
    QCOMPARE(desc, QString("no such table: Clientes"));
    QVERIFY(!rs.IsOpen());
  }

  void lockedFileFailsAfterShortWait() {
    sqlite3* other = nullptr;
    sqlite3_open(db_.toUtf8().constData(), &other);
    QCOMPARE(sqlite3_exec(other, "Begin Immediate", nullptr, nullptr, nullptr), SQLITE_OK);
    QElapsedTimer t;
    t.start();
    QString desc;
    const long n = ErrorOf([&] { Insere("9", "Zé", "2021-01-01"); }, &desc);
    QCOMPARE(n & 0xff, long(SQLITE_BUSY));
    QCOMPARE(desc, QString("database is locked"));
    QVERIFY(t.elapsed() >= Connection::kBusyTimeoutMs - 100);
    sqlite3_exec(other, "Rollback", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    Insere("9", "Zé", "2021-01-01");  // usable again
  }

  void executeRunsExactlyOneStatement() {
    QString desc;
    QCOMPARE(ErrorOf([&] { cn_->Execute("Delete From Clientes; Drop Table Clientes"); }, &desc),
             ado::adErrStatementRefused);
    QCOMPARE(ErrorOf([&] { cn_->Execute("Delete From Clientes where CPFCod = '1'; x"); }),
             ado::adErrStatementRefused);
    QCOMPARE(ErrorOf([&] { cn_->Execute(QString("Delete From Clientes where CPFCod = '1") + QChar(0) + "'"); }),
             ado::adErrStatementRefused);
    QCOMPARE(ErrorOf([&] { cn_->Execute("   "); }), ado::adErrInvalidArgument);
    QCOMPARE(ErrorOf([&] { cn_->Execute("Selec 1"); }, &desc), long(SQLITE_ERROR));
    QVERIFY(desc.contains("syntax error"));
    auto rs = cn_->Execute("Select count(*) From Clientes");
    QCOMPARE(rs->Fields(0).toLongLong(), 3);  // nothing ran
    // Trailing separators and comments are no second statement.
    QVERIFY(!cn_->Execute("Delete From Clientes where CPFCod = '3' ;  -- fim\n")->IsOpen());
    QCOMPARE(cn_->Execute("Select count(*) From Clientes ;")->Fields(0).toLongLong(), 2);
    // A refused constraint carries SQLite's extended code.
    QCOMPARE(ErrorOf([&] { Insere("1", "Outra Ana", "2022-01-01"); }, &desc),
             long(SQLITE_CONSTRAINT_UNIQUE));
    QVERIFY(desc.contains("Clientes.CPFCod"));
  }

  void forwardOnlyStreams() {
    auto rs = cn_->Execute("Select CPFCod, Nome, Hobby From Clientes Order By DataCadastro");
    QCOMPARE(rs->RecordCount(), -1);
    QVERIFY(!rs->BOF() && !rs->EOF_());
    QStringList nomes;
    for (; !rs->EOF_(); rs->MoveNext()) nomes << rs->Fields("nome").toString();
    QCOMPARE(nomes, QStringList({"Bruno", "Carla", "Ana"}));
    QCOMPARE(ErrorOf([&] { rs->MoveNext(); }), ado::adErrNoCurrentRecord);
    QCOMPARE(ErrorOf([&] { rs->Fields("Nome"); }), ado::adErrNoCurrentRecord);
    QCOMPARE(ErrorOf([&] { rs->MovePrevious(); }), ado::adErrNotSupported);
    QCOMPARE(ErrorOf([&] { rs->Find("CPFCod = '1'"); }), ado::adErrNotSupported);

    auto vazio = cn_->Execute("Select * From Clientes Where CPFCod = 'x'");
    QVERIFY(vazio->BOF() && vazio->EOF_());

    auto um = cn_->Execute("Select Nome, Hobby From Clientes Where CPFCod = '2'");
    QByteArrayView v;
    QVERIFY(um->FieldUtf8(0, &v));
    QCOMPARE(v.toByteArray(), QByteArray("Bruno"));
    QVERIFY(!um->FieldUtf8(1, &v));
    QCOMPARE(um->FieldIndex("HOBBY"), 1);
    QCOMPARE(ErrorOf([&] { um->Fields("Nada"); }), ado::adErrItemNotFound);
  }

  void snapshotIgnoresChangesUntilRequery() {
    Recordset rs;
    rs.Open("Select * From Clientes Order By DataCadastro", *cn_, ado::adOpenKeyset);
    QCOMPARE(rs.RecordCount(), 3);
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("2"));

    cn_->Execute("Update Clientes Set Nome = 'Bruna' Where CPFCod = '2'");
    cn_->Execute("Delete From Clientes where CPFCod = '3'");
    Insere("4", "Davi", "2019-01-01 00:00:00.000");
    QCOMPARE(rs.RecordCount(), 3);
    QCOMPARE(rs.Fields("Nome").toString(), QString("Bruno"));
    rs.MoveNext();
    QCOMPARE(rs.Fields("Nome").toString(), QString("Carla"));  // deleted after the snapshot

    rs.Requery();
    QCOMPARE(rs.RecordCount(), 3);
    QVERIFY(!rs.BOF());
    QCOMPARE(rs.Fields("Nome").toString(), QString("Davi"));  // first row again
    rs.MoveNext();
    QCOMPARE(rs.Fields("Nome").toString(), QString("Bruna"));

    // Everything removed: Requery leaves an empty recordset.
    cn_->Execute("Delete From Clientes");
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 0);
    QVERIFY(rs.BOF() && rs.EOF_());
    rs.Close();
    QCOMPARE(ErrorOf([&] { rs.RecordCount(); }), ado::adErrObjectClosed);
  }

  void movesAndBoundaries() {
    Recordset rs;
    rs.Open("Select * From Clientes Order By DataCadastro", *cn_);
    rs.MovePrevious();
    QVERIFY(rs.BOF() && !rs.EOF_());
    QCOMPARE(ErrorOf([&] { rs.MovePrevious(); }), ado::adErrNoCurrentRecord);
    QCOMPARE(ErrorOf([&] { rs.Fields("Nome"); }), ado::adErrNoCurrentRecord);
    rs.MoveNext();
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("2"));
    rs.MoveLast();
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("1"));
    rs.MoveNext();
    QVERIFY(rs.EOF_() && !rs.BOF());
    QCOMPARE(ErrorOf([&] { rs.MoveNext(); }), ado::adErrNoCurrentRecord);
    rs.MovePrevious();
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("1"));
    rs.MoveFirst();
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("2"));

    Recordset vazio;
    vazio.Open("Select * From Clientes Where CPFCod = 'x' Order By DataCadastro", *cn_);
    QCOMPARE(vazio.RecordCount(), 0);
    QVERIFY(vazio.BOF() && vazio.EOF_());
    vazio.MoveFirst();
    vazio.MoveLast();
    QVERIFY(vazio.BOF() && vazio.EOF_());
    QCOMPARE(ErrorOf([&] { vazio.MoveNext(); }), ado::adErrNoCurrentRecord);

    // Only single-table queries can be scrolled.
    Recordset junta;
    QCOMPARE(ErrorOf([&] { junta.Open("Select Nome, count(*) From Clientes Group By Nome", *cn_); }),
             ado::adErrInvalidArgument);
    QCOMPARE(ErrorOf([&] { junta.Open("Delete From Clientes", *cn_); }), ado::adErrInvalidArgument);
    Recordset literal;  // words inside a value are no clauses
    literal.Open("Select Nome From Clientes Where Nome = 'Union Join' Or Nome Like 'C%' Order By Nome", *cn_);
    QCOMPARE(literal.RecordCount(), 1);
    QCOMPARE(literal.Fields("Nome").toString(), QString("Carla"));
    QCOMPARE(cn_->Execute("Select count(*) From Clientes")->Fields(0).toLongLong(), 3);
  }

  void findSearchesForwardFromCurrent() {
    Insere("5", "ana", "2020-01-01 00:00:00.004");
    Insere("O''B", "O''Brien", "2020-01-01 00:00:00.005");
    Recordset rs;
    rs.Open("Select * From Clientes Order By DataCadastro", *cn_);
    // Order: 2 Bruno, 3 Carla, 1 Ana, 5 ana, O'B
    rs.Find("Nome = 'ANA'");
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("1"));
    rs.Find("Nome = 'ANA'");  // includes the current row
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("1"));
    rs.Find("Nome = 'ANA'", 1);
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("5"));
    rs.Find("CPFCod = '3'");  // behind the current row
    QVERIFY(rs.EOF_());
    rs.Find("CPFCod = '3'");
    QVERIFY(rs.EOF_());

    rs.MoveFirst();
    rs.Find("CPFCod = 'O''B'");
    QCOMPARE(rs.Fields("Nome").toString(), QString("O'Brien"));
    rs.Find("CPFCod = '3'", 0, ado::adSearchBackward);
    QCOMPARE(rs.Fields("Nome").toString(), QString("Carla"));
    rs.Find("CPFCod = 'nenhum'", 0, ado::adSearchBackward);
    QVERIFY(rs.BOF());

    rs.MoveFirst();
    for (const char* bad : {"CPFCod = 3", "CPFCod = 'O'B'", "CPFCod Like '1'", "CPFCod = '1' Or 1=1"})
      QCOMPARE(ErrorOf([&] { rs.Find(bad); }), ado::adErrInvalidArgument);
    QCOMPARE(rs.Fields("CPFCod").toString(), QString("2"));  // a refused Find does not move
    QVERIFY(ErrorOf([&] { rs.Find("Nada = '1'"); }) != 0);

    // A Find sees the snapshot, not rows added since.
    Insere("6", "Eva", "2020-01-01 00:00:00.006");
    rs.Find("CPFCod = '6'");
    QVERIFY(rs.EOF_());
    rs.Requery();
    rs.Find("CPFCod = '6'");
    QCOMPARE(rs.Fields("Nome").toString(), QString("Eva"));
  }

  void nullIsNotEmpty() {
    cn_->Execute("Update Clientes Set Hobby = '', Email = Null, Num = 12 Where CPFCod = '2'");
    Recordset rs;
    rs.Open("Select * From Clientes Order By DataCadastro", *cn_);
    const QVariant hobby = rs.Fields("Hobby"), email = rs.Fields("Email");
    QVERIFY(hobby.isValid());
    QCOMPARE(hobby.typeId(), QMetaType::QString);
    QVERIFY(hobby.toString().isEmpty());
    QVERIFY(!email.isValid());
    QCOMPARE(rs.Fields("Num").typeId(), QMetaType::LongLong);
    QCOMPARE(rs.Fields("num").toLongLong(), 12);
    QCOMPARE(rs.FieldCount(), 16);
    QCOMPARE(rs.FieldName(15), QString("DataCadastro"));
  }
};

QTEST_GUILESS_MAIN(TstAdo)
#include "tst_ado.moc"
