// The data objects' tests. Every case runs once per engine, as Qt's own SQL
// driver tests do: on a file, and on a server (a cluster of the test's own;
// that row is skipped where the server programs are not installed). Cases
// named arquivo_* or servidor_* are of that engine only.
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QtTest>
#include <optional>

#include "platform/ado/ado.h"
#include "platform/ado/pg/pg.h"
#include "tests/data/testdb.h"
#include "tests/pg/pgcluster.h"

using ado::Connection;
using ado::Recordset;
using testdb::ErroDe;

namespace {

const QString kBrowse = QStringLiteral("Select * From Clientes Order By DataCadastro");

// The statement that registers a client; DataCadastro by the database when empty.
QString Insert(const QString& cpf, const QString& nome, const QString& data = {}) {
  return QString("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone%1) Values "
                 "('%2','%3','F','01310-100','Rua',1,'SP','SP',11,'3255-1234'%4)")
      .arg(data.isEmpty() ? "" : ",DataCadastro", cpf, nome, data.isEmpty() ? "" : ",'" + data + "'");
}
// n clients in one statement, keys prefix1 .. prefixN (on a server).
QString InsertVarios(const QString& prefix, int n) {
  return QString("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone) Select '%1' || g, "
                 "'Varios', 'F', '1', 'R', 1, 'SP', 'SP', 11, '1' From generate_series(1, %2) g").arg(prefix).arg(n);
}

// Where rs stands: "BOF", "EOF" or the current row's key.
QString Pos(const Recordset& rs) { return rs.BOF() ? "BOF" : rs.EOF_() ? "EOF" : rs.Fields("CPFCod").toString(); }

// The keys a recordset reads from where it stands to its end, joined by ",".
QString Chaves(Recordset& rs) {
  QStringList out;
  for (; !rs.EOF_(); rs.MoveNext()) out << rs.Fields("CPFCod").toString();
  return out.join(',');
}

// The key check of the client form (Requery, then Find from the first row),
// and the count it left: "sim 6", "não 2".
QString Checa(Recordset& rs, const QString& cpf) {
  rs.Requery();
  if (rs.RecordCount() > 0) rs.Find("CPFCod = '" + QString(cpf).replace("'", "''") + "'");
  return QString(rs.RecordCount() > 0 && !rs.EOF_() ? "sim %1" : "não %1").arg(rs.RecordCount());
}

// Runs f with an ordinary user's rights when the test runs as root, who may
// write any folder.
void ComoUsuario(const std::function<void()>& f) {
  const passwd* pw = ::getpwnam("nobody");
  if (::geteuid() != 0 || !pw) return f();
  if (::setresgid(pw->pw_gid, pw->pw_gid, 0) != 0 || ::setresuid(pw->pw_uid, pw->pw_uid, 0) != 0)
    QFAIL("cannot become nobody");
  auto volta = qScopeGuard([] { QVERIFY(::setresuid(0, 0, 0) == 0 && ::setresgid(0, 0, 0) == 0); });
  f();
}

// The database of one engine: a file made from data/schema.sql, or a table
// made from data/schema-pg.sql on a cluster of the test's own.
class Banco {
 public:
  explicit Banco(bool servidor) : servidor(servidor) {}
  const bool servidor;
  bool estatisticas = false;  // the server records its statements (pg_stat_statements)

  // False where the engine cannot run (no server programs installed).
  bool Existe() {
    if (servidor && !cluster_ && !pgteste::Cluster::Bin().isEmpty()) {
      cluster_.emplace();
      cluster_->CriaBanco("ulmaro", VT_SOURCE_DIR "/data/schema-pg.sql");
      if ((estatisticas = cluster_->ComEstatisticas())) Valor("Create Extension pg_stat_statements");
    }
    return !servidor || cluster_;
  }
  // No clients.
  void Esvazia() { servidor ? Valor("Truncate Clientes Restart Identity") : testdb::Cria(Fonte()); }
  QString Fonte(QString db = "ulmaro") const { return servidor ? cluster_->Conninfo(db) : dir_.filePath(db + ".mdb"); }
  QString Cs(const QString& db = "ulmaro") const {
    return QString(servidor ? "Provider=PostgreSQL" : "Provider=Microsoft.Jet.OLEDB.4.0") + ";Data Source=\"" +
           Fonte(db).replace('"', "\"\"") + '"';
  }
  // A desk's connection.
  std::unique_ptr<Connection> Mesa(const QString& db = "ulmaro") const {
    auto c = std::make_unique<Connection>();
    c->Open(Cs(db));
    return c;
  }
  // The first value of the last row a statement reads, past the data objects.
  QString Valor(const QString& sql, const QString& db = "ulmaro") const {
    return servidor ? pgteste::Cluster::Sql(Fonte(db), sql) : testdb::Sql(Fonte(db), sql);
  }
  pgteste::Cluster& Cluster() { return *cluster_; }

 private:
  QTemporaryDir dir_;
  std::optional<pgteste::Cluster> cluster_;
};

}  // namespace

class TstAdo : public QObject {
  Q_OBJECT
  Banco arquivo_{false}, servidor_{true};
  Banco* b_ = nullptr;
  std::unique_ptr<Connection> cn_, outra_;  // two desks

  long Conta() { return long(cn_->Execute("Select count(*) From Clientes")->Fields(0).toLongLong()); }
  QString Achados(const QString& cond) {
    return Chaves(*cn_->Execute("Select CPFCod From Clientes Where " + cond + " Order By DataCadastro, CPFCod"));
  }
  // How many times the recordsets have counted the whole table on the server so far.
  long ContagensCheias() {
    return b_->Valor("Select coalesce(sum(calls), 0) From pg_stat_statements "
                     "Where query = 'Select count(*), pg_current_snapshot() From Clientes'")
        .toLong();
  }

 private slots:
  void initTestCase_data() {
    QTest::addColumn<bool>("servidor");
    QTest::newRow("arquivo") << false;
    QTest::newRow("servidor") << true;
  }
  // Browse order: 2 Bruno and 3 Carla, registered in the same millisecond,
  // then 1 Ana; the server's own cases start with no clients.
  void init() {
    QFETCH_GLOBAL(bool, servidor);
    const QByteArray caso = QTest::currentTestFunction();
    if (caso.startsWith(servidor ? "arquivo_" : "servidor_")) QSKIP("a case of the other engine");
    b_ = servidor ? &servidor_ : &arquivo_;
    if (!b_->Existe()) QSKIP("PostgreSQL server programs are not installed");
    b_->Esvazia();
    cn_ = b_->Mesa();
    outra_ = b_->Mesa();
    if (caso.startsWith("servidor_")) return;
    cn_->Execute(Insert("1", "Ana", "2020-01-01 00:00:00.003"));
    cn_->Execute(Insert("2", "Bruno", "2020-01-01 00:00:00.001"));
    cn_->Execute(Insert("3", "Carla", "2020-01-01 00:00:00.001"));
  }
  void cleanup() { cn_.reset(), outra_.reset(); }

  // Exactly one statement runs, or none; a missing table is told in Portuguese.
  void umaInstrucao() {
    for (const QString& sql : {QString("Delete From Clientes; Drop Table Clientes"),
                               QString("Delete From Clientes Where CPFCod = '1'; Select 1"),
                               QString("Delete From Clientes Where CPFCod = '1") + QChar(0) + "'"})
      QCOMPARE(ErroDe([&] { cn_->Execute(sql); }), ado::adErrStatementRefused);
    QCOMPARE(ErroDe([&] { cn_->Execute("   "); }), ado::adErrInvalidArgument);
    QCOMPARE(Conta(), 3);
    // Trailing separators and comments are no second statement.
    QVERIFY(!cn_->Execute("Delete From Clientes Where CPFCod = '3' ;  -- fim\n")->IsOpen());
    QCOMPARE(cn_->Execute("Select count(*) From Clientes ;")->Fields(0).toLongLong(), 2);
    QString desc;
    QCOMPARE(ErroDe([&] { cn_->Execute("Select * From Nada"); }, &desc), 1L);
    QCOMPARE(desc.toLower(), QString("a tabela nada não existe no banco de dados"));
    Recordset rs;
    QCOMPARE(ErroDe([&] { rs.Open("Select * From Nada", *cn_); }, &desc), 1L);
    QVERIFY(!rs.IsOpen() && desc.toLower() == "a tabela nada não existe no banco de dados");
    QVERIFY(cn_->TableColumns("Clientes").contains("cpfcod", Qt::CaseInsensitive) && cn_->TableColumns("Nada").isEmpty());
    QCOMPARE(ErroDe([] { Connection().Execute("Select 1"); }), ado::adErrObjectClosed);
  }

  void soAdiante() {
    auto rs = cn_->Execute("Select CPFCod, Nome, Hobby From Clientes Order By DataCadastro, CPFCod");
    QCOMPARE(rs->RecordCount(), -1);
    QCOMPARE(Chaves(*rs), QString("2,3,1"));
    QCOMPARE(ErroDe([&] { rs->MoveNext(); }), ado::adErrNoCurrentRecord);
    QCOMPARE(ErroDe([&] { rs->Fields("Nome"); }), ado::adErrNoCurrentRecord);
    QCOMPARE(ErroDe([&] { rs->MovePrevious(); }), ado::adErrNotSupported);
    QCOMPARE(ErroDe([&] { rs->Find("CPFCod = '1'"); }), ado::adErrNotSupported);
    auto um = cn_->Execute("Select Nome, Hobby From Clientes Where CPFCod = '2'");
    QByteArrayView v;
    QVERIFY(um->FieldUtf8(0, &v) && v.toByteArray() == "Bruno");
    QVERIFY(!um->FieldUtf8(1, &v));  // Null
    QCOMPARE(um->FieldIndex("HOBBY"), 1);
    QCOMPARE(ErroDe([&] { um->Fields("Nada"); }), ado::adErrItemNotFound);
  }

  // The connection's own changes are seen after Requery. A failed Requery,
  // even twice, leaves the recordset able to requery.
  void instantaneoAteRequery() {
    Recordset rs;
    rs.Open(kBrowse, *cn_, ado::adOpenKeyset);
    cn_->Execute("Update Clientes Set Nome = 'Bruna' Where CPFCod = '2'");
    cn_->Execute("Delete From Clientes Where CPFCod = '3'");
    cn_->Execute(Insert("4", "Davi", "2019-01-01 00:00:00.000"));
    QCOMPARE(rs.RecordCount(), 3);
    QCOMPARE(rs.Fields("Nome").toString(), QString("Bruno"));
    rs.MoveNext();
    QCOMPARE(rs.Fields("Nome").toString(), QString("Carla"));  // deleted after the snapshot
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 3);
    rs.MoveNext();
    QCOMPARE(rs.Fields("Nome").toString(), QString("Bruna"));
    QCOMPARE(Chaves(rs), QString("2,1"));

    cn_->Execute("Alter Table Clientes Rename To Guarda");
    QCOMPARE(ErroDe([&] { rs.Requery(); }), 1L);
    QCOMPARE(ErroDe([&] { rs.Requery(); }), 1L);
    cn_->Execute("Alter Table Guarda Rename To Clientes");
    cn_->Execute(Insert("5", "Eva", "2021-01-01 00:00:00.000"));
    QCOMPARE(Checa(rs, "5"), QString("sim 4"));
  }

  // Each move, and where it leaves the recordset or the error it raises.
  void movimentos() {
    cn_->Execute("Update Clientes Set Hobby = '', Email = Null Where CPFCod = '2'");
    Recordset rs;
    rs.Open(kBrowse, *cn_);
    QCOMPARE(rs.Fields("Hobby"), QVariant(QString("")));  // empty is not Null
    QVERIFY(!rs.Fields("EMAIL").isValid());
    QCOMPARE(rs.Fields("Num").typeId(), QMetaType::LongLong);
    QByteArrayView v;  // numbers as their text, text as stored
    QVERIFY(rs.FieldUtf8(rs.FieldIndex("Num"), &v) && v == "1");
    QVERIFY(rs.FieldUtf8(rs.FieldIndex("Nome"), &v) && v == "Bruno");
    QCOMPARE(rs.Fields("DataCadastro").toString(), QString("2020-01-01 00:00:00.001"));
    using Move = void (Recordset::*)();
    const std::pair<Move, const char*> passos[] = {
        {&Recordset::MovePrevious, "BOF"}, {&Recordset::MovePrevious, "3021"}, {&Recordset::MoveNext, "2"},
        {&Recordset::MoveNext, "3"},       {&Recordset::MoveLast, "1"},        {&Recordset::MoveNext, "EOF"},
        {&Recordset::MoveNext, "3021"},    {&Recordset::MovePrevious, "1"},    {&Recordset::MoveFirst, "2"},
        {&Recordset::MovePrevious, "BOF"}};
    for (auto [move, pos] : passos) {
      const long n = ErroDe([&] { (rs.*move)(); });
      QCOMPARE(n ? QString::number(n) : Pos(rs), QString(pos));
    }
    QCOMPARE(ErroDe([&] { rs.Fields("Nome"); }), ado::adErrNoCurrentRecord);
    // A source that is no query is refused before it runs, scrollable or forward-only.
    cn_->CursorLocation = ado::adUseServer;
    for (int tipo : {ado::adOpenKeyset, ado::adOpenForwardOnly})
      QCOMPARE(ErroDe([&] { rs.Close(), rs.Open("Delete From Clientes", *cn_, tipo); }), ado::adErrInvalidArgument);
    QCOMPARE(Conta(), 3);
    rs.Open("Select CPFCod From Clientes Order By CPFCod", *cn_, ado::adOpenForwardOnly);
    QCOMPARE(QString::number(rs.RecordCount()) + ":" + Chaves(rs), QString("-1:1,2,3"));
  }

  void find() {
    cn_->Execute(Insert("5", "ana", "2020-01-01 00:00:00.004"));
    Recordset rs;
    rs.Open(kBrowse, *cn_);
    auto find = [&](const char* criterio, long skip = 0, int sentido = ado::adSearchForward) {
      rs.Find(criterio, skip, sentido);
      return Pos(rs);
    };
    QCOMPARE(find("Nome = 'ANA'"), QString("1"));
    QCOMPARE(find("Nome = 'ANA'"), QString("1"));  // includes the current row
    QCOMPARE(find("Nome = 'ANA'", 1), QString("5"));
    QCOMPARE(find("CPFCod = '3'"), QString("EOF"));  // behind the current row
    QCOMPARE(find("CPFCod = '3'", 0, ado::adSearchBackward), QString("3"));
    QCOMPARE(find("CPFCod = 'nenhum'", 0, ado::adSearchBackward), QString("BOF"));
    rs.MoveFirst();
    QCOMPARE(ErroDe([&] { rs.Find("CPFCod = '1' Or 1=1"); }), ado::adErrInvalidArgument);
    QCOMPARE(Pos(rs), QString("2"));  // a refused Find does not move
    // A Find sees the snapshot, not rows added since.
    cn_->Execute(Insert("6", "Eva", "2020-01-01 00:00:00.006"));
    QCOMPARE(find("CPFCod = '6'"), QString("EOF"));
    rs.Requery();
    QCOMPARE(find("CPFCod = '6'"), QString("6"));
  }

  // Stored, read (scrolling and forward), found by "=", Find and Like, all
  // exactly as typed.
  void textoComoDigitado() {
    const QString bom = QChar(0xFEFF) + QString("777");
    const QStringList textos = {bom, "777", "a\tb\r\nc", QString("\U0001F600 ") + QChar(0xFEFF),
                                "O'Brien d'Ávila '' x'); Drop Table Clientes; --", "C:\\dir\\n \\' \\\\ fim\\",
                                "$$ $1 $a$ ? ?? :x", "São João Ñandú Ελληνικά 日本語 👍🏽 🇧🇷", "100% _a_ [x]"};
    cn_->Execute("Delete From Clientes");
    for (int i = 0; i < textos.size(); ++i) {
      const QString lit = QString(textos[i]).replace("'", "''");
      cn_->Execute(Insert(lit, lit, QString("2021-01-01 00:00:00.%1").arg(i, 3, 10, QChar('0'))));
    }
    Recordset rs;
    rs.Open(kBrowse, *cn_);
    QStringList lidos;
    for (; !rs.EOF_(); rs.MoveNext()) lidos << rs.Fields("CPFCod").toString();
    QCOMPARE(lidos, textos);
    for (const QString& t : textos) {
      const QString lit = QString(t).replace("'", "''");
      rs.MoveFirst();
      rs.Find("CPFCod = '" + lit + "'");
      QCOMPARE(Pos(rs), t);
      QCOMPARE(cn_->Execute("Select Nome From Clientes Where Nome = '" + lit + "'")->Fields(0).toString(), t);
      QStringList contem;
      for (const QString& u : textos)
        if (u.contains(t)) contem << u;
      QCOMPARE(Achados("Nome Like '%" + lit + "%'"), contem.join(','));
    }
  }

  // The count kept across Requery follows exactly the rows that changed,
  // also for rows that enter or leave the query's condition.
  void contagemPeloQueMudou() {
    Recordset rs;
    rs.Open("Select CPFCod From Clientes Where Nome Like 'c%' Or Nome Like 'd%' Order By Nome Desc", *cn_);
    QCOMPARE(rs.RecordCount(), 1);
    cn_->Execute(Insert("4", "Davi", "2021-01-01"));
    cn_->Execute(Insert("5", "Edu", "2021-01-02"));
    cn_->Execute("Update Clientes Set Nome = 'Caio' Where CPFCod = '1'");
    cn_->Execute("Update Clientes Set Nome = 'Zuleica' Where CPFCod = '3'");
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(Pos(rs), QString("3"));
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 2);
    QCOMPARE(Chaves(rs), QString("4,1"));
    // A statement that changes nothing keeps the count as it was.
    cn_->Execute("Delete From Clientes Where CPFCod = 'nenhum'");
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 2);
    // Everything removed: an empty recordset, where moving to either end is allowed.
    cn_->Execute("Delete From Clientes");
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 0);
    rs.MoveFirst();
    rs.MoveLast();
    QVERIFY(rs.BOF() && rs.EOF_());
    QCOMPARE(ErroDe([&] { rs.MoveNext(); }), ado::adErrNoCurrentRecord);
  }

  // Another connection's changes: seen by the next move, counted at Requery;
  // the row on screen stays readable even when the other one deletes it.
  void outraConexao() {
    Recordset rs;
    rs.Open(kBrowse, *cn_);
    outra_->Execute("Delete From Clientes Where CPFCod = '2'");
    outra_->Execute(Insert("7", "Gil", "2030-01-01"));
    QCOMPARE(Pos(rs), QString("2"));
    QCOMPARE(rs.Fields("Nome").toString(), QString("Bruno"));
    rs.MoveNext();
    QCOMPARE(Pos(rs), QString("3"));
    rs.MoveLast();
    QCOMPARE(Pos(rs), QString("7"));
    QCOMPARE(rs.RecordCount(), 3);
    QCOMPARE(Checa(rs, "7"), QString("sim 3"));
  }

  // No snapshot outlives a command: a recordset holds one only from its
  // connection's write to its next Requery, so the file's log can always be
  // checkpointed whole and no server session waits inside a transaction.
  void nadaPresoForaDoRequery() {
    Recordset rs;
    rs.Open(kBrowse, *cn_);
    rs.MoveLast();
    auto preso = [&] {
      if (b_->servidor)
        return b_->Valor("Select count(*) From pg_stat_activity Where state Like 'idle in transaction%' And "
                         "application_name = '" + QCoreApplication::applicationName() + "'") != "0";
      // "0": no page kept from the checkpoint by a reader.
      return b_->Valor("PRAGMA wal_checkpoint(TRUNCATE)") != "0" || QFileInfo(b_->Fonte() + "-wal").size() != 0;
    };
    for (int i = 0; i < 20; ++i) {
      cn_->Execute(Insert(QString("n%1").arg(i), "Novo"));
      QVERIFY(Checa(rs, QString("n%1").arg(i)).startsWith("sim"));
    }
    QVERIFY(!preso());
    cn_->Execute(Insert("x", "Xis"));
    QVERIFY(preso());
    rs.Requery();
    QVERIFY(!preso());
    QCOMPARE(ErroDe([&] { cn_->Execute(Insert("X", "Outro")); }), ado::adErrDuplicateKey);  // pins nothing
    QVERIFY(!preso());
  }

  // Like ignores the case of every letter and keeps accents; "%" and "_"
  // are wildcards, a backslash is a character, an Escape clause is kept.
  void like() {
    cn_->Execute("Update Clientes Set Nome = 'SÃO PAULO Ávila' Where CPFCod = '1'");
    cn_->Execute("Update Clientes Set Nome = 'Sao_Paulo 100%' Where CPFCod = '2'");
    cn_->Execute("Update Clientes Set Nome = 'a\\_b' Where CPFCod = '3'");
    for (auto [padrao, esperado] :
         {std::pair{"%são%", "1"}, {"%ÁVILA", "1"}, {"%ávila%", "1"}, {"%sao%", "2"}, {"s_o%", "2,1"},
          {"%100!%' Escape '!", "2"}, {"%o!_p%' Escape '!", "2"}, {"a\\_b", "3"}, {"a\\%", "3"},
          {"a\\_b' Escape '\\", ""}, {"%", "2,3,1"}, {"", ""}})
      QCOMPARE(Achados(QString("Nome Like '") + padrao + "'"), QString(esperado));
    Recordset rs;
    rs.Open("Select CPFCod From Clientes Where Nome Like 'são%'", *cn_);
    QCOMPARE(rs.RecordCount(), 1);
  }

  // Recordsets outlive their connection: after Close, Requery reads as before.
  void requeryAposClose() {
    auto fwd = cn_->Execute("Select 1 As x");
    Recordset rs;
    rs.Open(kBrowse, *cn_);
    cn_->Close();
    fwd->Requery();
    QCOMPARE(fwd->Fields("x").toLongLong(), 1);
    QCOMPARE(Checa(rs, "1"), QString("sim 3"));
  }
  // ---------------------------------------------------------------- the file only

  void arquivo_abreERecusa() {
    QTemporaryDir dir;
    Connection cn;
    QString desc;
    QFile lixo(dir.filePath("lixo.mdb"));
    QVERIFY(lixo.open(QIODevice::WriteOnly) && lixo.write(QByteArray(4096, 'x')) == 4096);
    lixo.close();
    const QString cs = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=";
    QCOMPARE(ErroDe([&] { cn.Open(cs + lixo.fileName()); }, &desc), long(SQLITE_NOTADB));
    QVERIFY2(desc.startsWith("O arquivo não é um banco de dados") && !cn.IsOpen(), qPrintable(desc));
    QCOMPARE(ErroDe([&] { cn.Open("Provider=Outro;Data Source=" + b_->Fonte()); }), ado::adErrProviderNotFound);
    QCOMPARE(ErroDe([&] { cn.Open("Provider=Microsoft.Jet.OLEDB.4.0"); }), ado::adErrInvalidArgument);
    // An empty file is refused too, and stays empty: opening writes nothing.
    QVERIFY(lixo.open(QIODevice::WriteOnly));
    lixo.close();
    QCOMPARE(ErroDe([&] { cn.Open(cs + lixo.fileName()); }), long(SQLITE_NOTADB));
    QCOMPARE(QFileInfo(lixo.fileName()).size(), 0);
    QVERIFY(!QFile::exists(lixo.fileName() + "-wal") && !QFile::exists(lixo.fileName() + "-shm"));
    // Over SQLite's pattern limit the first step fails: the statement must be
    // finalized once (a double free crashes here, or under the sanitizers).
    QCOMPARE(ErroDe([&] { cn_->Execute("Select 1 From Clientes Where Nome Like '%" + QString(25001, u'ã') + "%'"); },
                    &desc),
             long(SQLITE_ERROR));
    QCOMPARE(desc, QString("O texto da busca é longo demais"));
    QCOMPARE(ErroDe([&] { cn_->Execute("Delete From Clientes; x"); }), ado::adErrStatementRefused);
  }

  // The folder that must be writable is the one of the file a link leads to:
  // SQLite keeps -wal and -shm there.
  void arquivo_pastaDoArquivoReal_data() {
    QTest::addColumn<bool>("programaSoLeitura");
    QTest::newRow("link in a read-only program folder") << true;
    QTest::newRow("link into a read-only folder") << false;
  }
  void arquivo_pastaDoArquivoReal() {
    QFETCH(bool, programaSoLeitura);
    QTemporaryDir base;
    const QString programa = base.filePath("programa"), dados = base.filePath("dados");
    QVERIFY(QDir().mkdir(programa) && QDir().mkdir(dados));
    const QString real = testdb::Cria(dados + "/ulmaro.mdb"), link = programa + "/ulmaro.mdb";
    QVERIFY(QFile::link(real, link));
    const int pasta[] = {0777, 0555};
    for (auto [p, modo] : {std::pair{base.path(), 0755}, {programa, pasta[programaSoLeitura]},
                           {dados, pasta[!programaSoLeitura]}, {real, 0666}})
      QVERIFY(::chmod(QFile::encodeName(p), modo) == 0);
    long erro = 0;
    QString desc;
    bool walAoLado = false;
    ComoUsuario([&] {
      Connection cn;
      erro = ErroDe([&] { cn.Open("Provider=SQLite;Data Source=" + link), cn.Execute(Insert("1", "Ana")); }, &desc);
      walAoLado = QFile::exists(real + "-wal");
    });
    QCOMPARE(erro, programaSoLeitura ? 0L : long(SQLITE_READONLY));
    QCOMPARE(walAoLado, programaSoLeitura);
    if (!programaSoLeitura)
      QCOMPARE(desc, "A pasta do banco de dados não permite gravação: " + QFileInfo(dados).canonicalFilePath());
    QVERIFY(!QFile::exists(link + "-wal") && !QFile::exists(link + "-shm"));
  }

  void arquivo_bloqueadoPorOutroPrograma() {
    sqlite3* other = nullptr;
    sqlite3_open(b_->Fonte().toUtf8().constData(), &other);
    QCOMPARE(sqlite3_exec(other, "Begin Immediate", nullptr, nullptr, nullptr), SQLITE_OK);
    QElapsedTimer t;
    t.start();
    QString desc;
    QCOMPARE(ErroDe([&] { cn_->Execute(Insert("9", "Zé")); }, &desc) & 0xff, long(SQLITE_BUSY));
    QCOMPARE(desc, QString("O banco de dados está bloqueado por outro programa"));
    QVERIFY(t.elapsed() >= Connection::kBusyTimeoutMs - 100);
    sqlite3_close(other);  // rolls back
    cn_->Execute(Insert("9", "Zé"));  // usable again
  }

  // ---------------------------------------------------------------- the server only

  void servidor_abreERecusa() {
    QVERIFY(cn_->IsServer() && cn_->DataSource().startsWith("ulmaro em "));
    Connection cn;
    QString desc;
    // No server at that place: one clear error, no password in it.
    const QString nada = "host=" + b_->Cluster().Pasta() + "/nada user=vt password=segredo dbname=ulmaro";
    QCOMPARE(ErroDe([&] { cn.Open("Provider=PostgreSQL;Data Source=\"" + nada + '"'); }, &desc),
             ado::adErrConnectionLost);
    QVERIFY2(desc.startsWith("Não foi possível conectar ao servidor de banco de dados") && !desc.contains("segredo"),
             qPrintable(desc));
    QVERIFY(!cn.IsOpen());
    // A server whose literals treat the backslash as an escape is refused.
    for (const char* sql : {"Drop Database If Exists velho", "Create Database velho",
                            "Alter Database velho Set standard_conforming_strings = off"})
      b_->Valor(sql);
    QCOMPARE(ErroDe([&] { cn.Open(b_->Cs("velho")); }), ado::adErrServerSettings);
    QVERIFY(!cn.IsOpen());
  }

  // The key ignores the case of every letter, not accents; another desk's
  // save of a taken key is refused by the key's name.
  void servidor_chave() {
    cn_->Execute(Insert("abc", "Ana"));
    QString desc;
    QCOMPARE(ErroDe([&] { outra_->Execute(Insert("ABC", "Bruno")); }, &desc), ado::adErrDuplicateKey);
    QVERIFY2(desc.contains("clientes_cpfcod_key"), qPrintable(desc));
    QCOMPARE(ErroDe([&] { outra_->Execute(Insert("ábç", "Carla")); }), 0L);
    QCOMPARE(ErroDe([&] { cn_->Execute(Insert("ÁBÇ", "Davi")); }), ado::adErrDuplicateKey);
  }

  // Desk B's Requery after desk A's commits adds what A's statements notified
  // instead of counting the table again: single and multi-row statements,
  // several in one transaction, one rolled back, one still running when B
  // counted. Only B's own save with A's in between is counted afresh. With
  // the older trigger, which tells only the table's name, every count after
  // another desk's commit is taken afresh, and comes out the same.
  void servidor_contagemPelosAvisos_data() {
    QTest::addColumn<QString>("db");
    QTest::newRow("trigger telling the change") << "ulmaro";
    QTest::newRow("older trigger") << "antiga";
  }
  void servidor_contagemPelosAvisos() {
    QFETCH(QString, db);
    if (db == "antiga") {
      b_->Cluster().CriaBanco(db, VT_SOURCE_DIR "/data/schema-pg.sql");
      b_->Valor("Drop Trigger clientes_inseriu On Clientes; Drop Trigger clientes_apagou On Clientes; "
                "Drop Trigger clientes_mudou On Clientes; Drop Function clientes_mudou(); "
                "Create Function clientes_mudou() Returns trigger Language plpgsql As $$ Begin "
                "Perform pg_notify('vt_mudou', TG_TABLE_NAME); Return Null; End $$; "
                "Create Trigger clientes_mudou After Insert Or Update Or Delete Or Truncate On Clientes "
                "For Each Statement Execute Function clientes_mudou()",
                db);
      cn_ = b_->Mesa(db);
      outra_ = b_->Mesa(db);
    }
    const bool estatisticas = b_->estatisticas && db == "ulmaro";
    Recordset rb;
    rb.Open(kBrowse, *outra_);
    const long cheias = estatisticas ? ContagensCheias() : 0;
    cn_->Execute(Insert("1", "Ana"));
    QCOMPARE(Checa(rb, "1"), QString("sim 1"));
    cn_->Execute(InsertVarios("m", 5));
    QCOMPARE(Checa(rb, "m5"), QString("sim 6"));
    cn_->Execute("Delete From Clientes Where Nome = 'Varios' And CPFCod <> 'm1'");
    QCOMPARE(Checa(rb, "m5"), QString("não 2"));
    cn_->Execute("Update Clientes Set Nome = 'Ana Maria' Where CPFCod = '1'");
    QCOMPARE(Checa(rb, "1"), QString("sim 2"));

    // Equal statements in one transaction are each told.
    cn_->Execute("Begin");
    cn_->Execute(Insert("t1", "Teo"));
    cn_->Execute(Insert("t2", "Teo"));
    cn_->Execute(Insert("t3", "Teo"));
    cn_->Execute("Delete From Clientes Where CPFCod = '1'");
    QCOMPARE(Checa(rb, "t1"), QString("não 2"));
    // Counted while A's transaction runs: the count does not hold it.
    Recordset rc;
    rc.Open(kBrowse, *outra_);
    QCOMPARE(rc.RecordCount(), 2L);
    cn_->Execute("Commit");
    QCOMPARE(Checa(rb, "t3"), QString("sim 4"));
    rc.Requery();
    QCOMPARE(rc.RecordCount(), 4L);

    cn_->Execute("Begin");
    cn_->Execute(Insert("r1", "Rui"));
    cn_->Execute("Delete From Clientes");
    cn_->Execute("Rollback");
    QCOMPARE(Checa(rb, "r1"), QString("não 4"));
    if (estatisticas) QCOMPARE(ContagensCheias() - cheias, 1L);  // rc's Open

    // B's own save is counted by its rowid; with A's save in between, afresh.
    outra_->Execute(Insert("b1", "Bia"));
    QCOMPARE(Checa(rb, "b1"), QString("sim 5"));
    outra_->Execute(Insert("b2", "Bia"));
    cn_->Execute(InsertVarios("a", 2));
    QCOMPARE(Checa(rb, "a2"), QString("sim 8"));
    if (estatisticas) QCOMPARE(ContagensCheias() - cheias, 2L);
    // ... and A's save after B's own one is added again.
    outra_->Execute("Delete From Clientes Where CPFCod = 'b1'");
    rb.Requery();
    cn_->Execute("Delete From Clientes Where CPFCod In ('a1', 'b2')");
    QCOMPARE(Checa(rb, "b2"), QString("não 5"));
    QCOMPARE(rb.RecordCount(), b_->Valor("Select count(*) From Clientes", db).toLong());
    if (estatisticas) QCOMPARE(ContagensCheias() - cheias, 2L);
    // A condition may gain or lose rows by an update: counted afresh.
    Recordset rw;
    rw.Open("Select * From Clientes Where Nome = 'Teo' Order By DataCadastro", *outra_);
    QCOMPARE(rw.RecordCount(), 3L);
    cn_->Execute("Update Clientes Set Nome = 'Outro' Where CPFCod = 't1'");
    QCOMPARE(Checa(rw, "t1"), QString("não 2"));
    // Emptied by a truncation, which tells no count.
    b_->Valor("Truncate Clientes", db);
    QCOMPARE(Checa(rb, "t2"), QString("não 0"));
  }

  // A snapshot read from its text tells a transaction's visibility as the
  // server does, also for one running while it was taken.
  void servidor_instantaneoComoOServidor() {
    outra_->Execute("Begin");
    const quint64 x = outra_->Execute("Select pg_current_xact_id()")->Fields(0).toULongLong();
    const QString texto = b_->Valor("Select pg_current_snapshot()");
    outra_->Execute("Commit");
    ado::detail::InstantaneoPg s;
    QVERIFY2(s.Le(texto.toUtf8()) && !s.Ve(x), qPrintable(texto));
    for (quint64 t : {s.xmin - 1, s.xmin, x, x + 1, s.xmax - 1, s.xmax, s.xmax + 7}) {
      const QString servidor =
          b_->Valor(QString("Select pg_visible_in_snapshot('%1'::xid8, '%2'::pg_snapshot)").arg(t).arg(texto));
      QCOMPARE(s.Ve(t), servidor == "t");
    }
  }

  // The server stops under a desk and comes back: the command that hit it is
  // reported, the next one connects again, nothing is lost or doubled.
  void servidor_reiniciado() {
    cn_->Execute(Insert("1", "Ana"));
    Recordset rs;
    rs.Open(kBrowse, *cn_);
    b_->Cluster().Para();
    QString desc;
    QCOMPARE(ErroDe([&] { cn_->Execute(Insert("2", "Bruno")); }, &desc), ado::adErrConnectionLost);
    QVERIFY2(desc.contains("servidor"), qPrintable(desc));
    QCOMPARE(ErroDe([&] { rs.Requery(); }), ado::adErrConnectionLost);
    b_->Cluster().Inicia();
    cn_->Execute(Insert("2", "Bruno"));
    QCOMPARE(Checa(rs, "2"), QString("sim 2"));
    // Restarted while the desk was idle: the next command just works.
    b_->Cluster().Para();
    b_->Cluster().Inicia();
    QCOMPARE(ErroDe([&] { cn_->Execute(Insert("3", "Carla")); }), 0L);
    QCOMPARE(ErroDe([&] { rs.MoveLast(); }), 0L);
    QCOMPARE(Checa(rs, "3"), QString("sim 3"));
    QCOMPARE(Conta(), 3);
  }
};

QTEST_GUILESS_MAIN(TstAdo)
#include "tst_ado.moc"
