// The data objects over a PostgreSQL server: a throwaway cluster of the
// test's own, the server schema, and two connections standing for two desks.
#include <QtTest>
#include <memory>
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

QString Insert(const QString& cpf, const QString& nome, const QString& data = {}) {
  return QString("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone%1) Values "
                 "('%2','%3','F','01310-100','Rua',1,'SP','SP',11,'3255-1234'%4)")
      .arg(data.isEmpty() ? "" : ",DataCadastro", cpf, nome, data.isEmpty() ? "" : ",'" + data + "'");
}
// n clients in one statement, keys prefix1 .. prefixN.
QString InsertVarios(const QString& prefix, int n) {
  return QString("Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone) Select '%1' || g, "
                 "'Varios', 'F', '1', 'R', 1, 'SP', 'SP', 11, '1' From generate_series(1, %2) g").arg(prefix).arg(n);
}
QString Cs(const QString& conninfo) { return "Provider=PostgreSQL;Data Source=\"" + conninfo + "\""; }
QString Pos(const Recordset& rs) { return rs.BOF() ? "BOF" : rs.EOF_() ? "EOF" : rs.Fields("CPFCod").toString(); }
// The key check of the client form: Requery, then Find from the first row.
bool Existe(Recordset& rs, const QString& cpf) {
  rs.Requery();
  if (rs.RecordCount() == 0) return false;
  rs.Find("CPFCod = '" + QString(cpf).replace("'", "''") + "'");
  return !rs.EOF_();
}
// The key check, then the count it left: "sim 6", "não 2".
QString Checa(Recordset& rs, const QString& cpf) {
  const bool existe = Existe(rs, cpf);
  return QString(existe ? "sim %1" : "não %1").arg(rs.RecordCount());
}
}  // namespace

class TstPg : public QObject {
  Q_OBJECT
  std::optional<pgteste::Cluster> cluster_;
  std::unique_ptr<Connection> a_, b_;

  std::unique_ptr<Connection> Mesa(const QString& db = "ulmaro") {
    auto c = std::make_unique<Connection>();
    c->Open(Cs(cluster_->Conninfo(db)));
    return c;
  }
  QString Valor(const QString& sql) { return pgteste::Cluster::Sql(cluster_->Conninfo("ulmaro"), sql); }
  bool estatisticas_ = false;
  // How many times the recordsets have counted the whole table so far.
  long ContagensCheias() {
    return Valor("Select coalesce(sum(calls), 0) From pg_stat_statements "
                 "Where query = 'Select count(*), pg_current_snapshot() From Clientes'")
        .toLong();
  }
  long Linhas() { return Valor("Select count(*) From Clientes").toLong(); }

 private slots:
  void initTestCase() {
    if (pgteste::Cluster::Bin().isEmpty()) QSKIP("PostgreSQL server programs are not installed");
    cluster_.emplace();
    cluster_->CriaBanco("ulmaro", VT_SOURCE_DIR "/data/schema-pg.sql");
    if ((estatisticas_ = cluster_->ComEstatisticas())) Valor("Create Extension pg_stat_statements");
  }
  void init() {
    Valor("Truncate Clientes Restart Identity");
    a_ = Mesa();
    b_ = Mesa();
  }
  void cleanup() { a_.reset(), b_.reset(); }

  void abreERecusa() {
    QVERIFY(a_->IsServer() && a_->DataSource().startsWith("ulmaro em "));
    Connection cn;
    QString desc;
    // No server at that place: one clear error, no password in it.
    QCOMPARE(ErroDe([&] { cn.Open(Cs("host=" + cluster_->Pasta() + "/nada user=vt password=segredo dbname=ulmaro")); },
                    &desc),
             ado::adErrConnectionLost);
    QVERIFY2(desc.startsWith("Não foi possível conectar ao servidor de banco de dados") && !desc.contains("segredo"),
             qPrintable(desc));
    QVERIFY(!cn.IsOpen());
    // A server whose literals treat the backslash as an escape is refused.
    for (const char* sql : {"Drop Database If Exists velho", "Create Database velho",
                            "Alter Database velho Set standard_conforming_strings = off"})
      pgteste::Cluster::Sql(cluster_->Conninfo(), sql);
    QCOMPARE(ErroDe([&] { cn.Open(Cs(cluster_->Conninfo("velho"))); }), ado::adErrServerSettings);
    QVERIFY(!cn.IsOpen());
    // Exactly one statement, and no NUL.
    QCOMPARE(ErroDe([&] { a_->Execute(Insert("1", "Ana") + "; Delete From Clientes"); }), ado::adErrStatementRefused);
    QCOMPARE(ErroDe([&] { a_->Execute(Insert("1", QString("A") + QChar(0))); }), ado::adErrStatementRefused);
    QCOMPARE(Linhas(), 0L);
    // A missing table reads as on the file.
    QCOMPARE(ErroDe([&] { a_->Execute("Select * From Nada"); }, &desc), 1L);
    QCOMPARE(desc, QString("A tabela nada não existe no banco de dados"));
    QVERIFY(a_->TableColumns("Clientes").contains("cpfcod"));
    QVERIFY(a_->TableColumns("Nada").isEmpty());
  }

  // Ties in DataCadastro come in registration order; the current row is read afresh.
  void movesFindECampos() {
    a_->Execute(Insert("1", "Ana", "2020-01-01 00:00:00.003"));
    a_->Execute(Insert("2", "Bruno", "2020-01-01 00:00:00.001"));
    a_->Execute(Insert("3", "Carla", "2020-01-01 00:00:00.001"));
    Recordset rs;
    rs.Open(kBrowse, *a_);
    QCOMPARE(rs.RecordCount(), 3L);
    QStringList ordem;
    for (; !rs.EOF_(); rs.MoveNext()) ordem << Pos(rs);
    QCOMPARE(ErroDe([&] { rs.MoveNext(); }), ado::adErrNoCurrentRecord);
    rs.MovePrevious();
    ordem << Pos(rs);
    rs.MoveFirst();
    rs.MovePrevious();
    ordem << Pos(rs);
    QCOMPARE(ordem, QStringList({"2", "3", "1", "1", "BOF"}));
    rs.MoveLast();
    rs.Find("CPFCod = '3'", 0, ado::adSearchBackward);
    QCOMPARE(Pos(rs), QString("3"));
    rs.Find("CPFCod = '9'");
    QCOMPARE(Pos(rs), QString("EOF"));
    // Names fold to lower case on the server; lookup ignores case.
    rs.MoveFirst();
    QCOMPARE(rs.Fields("NOME").toString(), QString("Bruno"));
    QCOMPARE(rs.Fields("Num").typeId(), QMetaType::LongLong);
    QCOMPARE(rs.Fields("DataCadastro").toString(), QString("2020-01-01 00:00:00.001"));
    QCOMPARE(rs.Fields("Hobby"), QVariant());
  }

  // The desk's own writes are seen after Requery, which counts only the rows
  // they touched; no transaction is left open afterwards.
  void instantaneoAteRequery() {
    a_->Execute(Insert("1", "Ana"));
    Recordset rs;
    rs.Open(kBrowse, *a_);
    a_->Execute(Insert("2", "Bruno"));
    a_->Execute("Update Clientes Set Nome = 'Ana Maria' Where CPFCod = '1'");
    QCOMPARE(rs.RecordCount(), 1L);
    rs.MoveLast();
    QCOMPARE(Pos(rs), QString("1"));
    QCOMPARE(rs.Fields("Nome").toString(), QString("Ana"));  // the state before the writes
    const QString abertas = "Select count(*) From pg_stat_activity Where application_name = 'VaskorTorvana' "
                            "And state Like 'idle in transaction%'";
    QCOMPARE(Valor(abertas), QString("1"));  // pinned until Requery
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 2L);
    QCOMPARE(Valor(abertas), QString("0"));
    rs.MoveLast();
    QCOMPARE(Pos(rs), QString("2"));
    a_->Execute("Delete From Clientes Where CPFCod = '2'");
    QCOMPARE(ErroDe([&] { a_->Execute(Insert("1", "Outra")); }), ado::adErrDuplicateKey);
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 1L);
    QCOMPARE(rs.Fields("Nome").toString(), QString("Ana Maria"));
    // A refused statement leaves nothing pinned.
    QCOMPARE(ErroDe([&] { a_->Execute(Insert("1", "Outra")); }), ado::adErrDuplicateKey);
    QCOMPARE(Valor(abertas), QString("0"));
  }

  // Two desks: B's key check sees A's new client after its Requery, and both
  // counts follow each other's saves and deletes. When both checked a key and
  // found it free, the server keeps one (the key ignores case, not accents).
  void duasMesas() {
    Recordset ra, rb;
    ra.Open(kBrowse, *a_);
    rb.Open(kBrowse, *b_);
    QVERIFY(!Existe(rb, "100"));
    a_->Execute(Insert("100", "Ana"));
    QCOMPARE(Checa(rb, "100"), QString("sim 1"));
    b_->Execute(Insert("200", "Bruno"));
    a_->Execute(Insert("300", "Carla"));
    b_->Execute("Delete From Clientes Where CPFCod = '100'");
    QVERIFY(!Existe(ra, "100") && Existe(ra, "200") && Existe(ra, "300"));
    QCOMPARE(ra.RecordCount(), 2L);
    QCOMPARE(Checa(rb, "300"), QString("sim 2"));
    QCOMPARE(Valor("Select string_agg(CPFCod::text, ',' Order By rowid) From Clientes"), QString("200,300"));

    QVERIFY(!Existe(ra, "abc") && !Existe(rb, "ABC"));
    a_->Execute(Insert("abc", "Ana"));
    QString desc;
    QCOMPARE(ErroDe([&] { b_->Execute(Insert("ABC", "Bruno")); }, &desc), ado::adErrDuplicateKey);
    QVERIFY2(desc.contains("clientes_cpfcod_key"), qPrintable(desc));
    QCOMPARE(ErroDe([&] { b_->Execute(Insert("ábç", "Carla")); }), 0L);
    QCOMPARE(ErroDe([&] { a_->Execute(Insert("ÁBÇ", "Davi")); }), ado::adErrDuplicateKey);
    QCOMPARE(Linhas(), 4L);
    rb.Requery();
    QCOMPARE(rb.RecordCount(), 4L);
  }

  // Desk B's Requery after desk A's commits adds what A's statements notified
  // instead of counting the table again: single and multi-row statements,
  // several in one transaction, one rolled back, one still running when B
  // counted. Only B's own save with A's in between is counted afresh.
  void contagemPelosAvisos() {
    Recordset rb;
    rb.Open(kBrowse, *b_);
    const long cheias = estatisticas_ ? ContagensCheias() : 0;
    a_->Execute(Insert("1", "Ana"));
    QCOMPARE(Checa(rb, "1"), QString("sim 1"));
    a_->Execute(InsertVarios("m", 5));
    QCOMPARE(Checa(rb, "m5"), QString("sim 6"));
    a_->Execute("Delete From Clientes Where Nome = 'Varios' And CPFCod <> 'm1'");
    QCOMPARE(Checa(rb, "m5"), QString("não 2"));
    a_->Execute("Update Clientes Set Nome = 'Ana Maria' Where CPFCod = '1'");
    rb.Requery();
    QCOMPARE(rb.RecordCount(), 2L);

    // Equal statements in one transaction are each told.
    a_->Execute("Begin");
    a_->Execute(Insert("t1", "Teo"));
    a_->Execute(Insert("t2", "Teo"));
    a_->Execute(Insert("t3", "Teo"));
    a_->Execute("Delete From Clientes Where CPFCod = '1'");
    QCOMPARE(Checa(rb, "t1"), QString("não 2"));
    // Counted while A's transaction runs: the count does not hold it.
    Recordset rc;
    rc.Open(kBrowse, *b_);
    QCOMPARE(rc.RecordCount(), 2L);
    a_->Execute("Commit");
    QVERIFY(Existe(rb, "t3"));
    QCOMPARE(Checa(rb, "1"), QString("não 4"));
    rc.Requery();
    QCOMPARE(rc.RecordCount(), 4L);

    a_->Execute("Begin");
    a_->Execute(Insert("r1", "Rui"));
    a_->Execute("Delete From Clientes");
    a_->Execute("Rollback");
    QCOMPARE(Checa(rb, "r1"), QString("não 4"));
    if (estatisticas_) QCOMPARE(ContagensCheias() - cheias, 1L);  // rc's Open

    // B's own save is counted by its rowid; with A's save in between, afresh.
    b_->Execute(Insert("b1", "Bia"));
    rb.Requery();
    QCOMPARE(rb.RecordCount(), 5L);
    b_->Execute(Insert("b2", "Bia"));
    a_->Execute(InsertVarios("a", 2));
    rb.Requery();
    QCOMPARE(rb.RecordCount(), 8L);
    if (estatisticas_) QCOMPARE(ContagensCheias() - cheias, 2L);
    // ... and A's save after B's own one is added again.
    b_->Execute("Delete From Clientes Where CPFCod = 'b1'");
    rb.Requery();
    a_->Execute("Delete From Clientes Where CPFCod In ('a1', 'b2')");
    QCOMPARE(Checa(rb, "b2"), QString("não 5"));
    QCOMPARE(rb.RecordCount(), Linhas());
    if (estatisticas_) QCOMPARE(ContagensCheias() - cheias, 2L);
    // A condition may gain or lose rows by an update: counted afresh.
    Recordset rw;
    rw.Open("Select * From Clientes Where Nome = 'Teo' Order By DataCadastro", *b_);
    QCOMPARE(rw.RecordCount(), 3L);
    a_->Execute("Update Clientes Set Nome = 'Outro' Where CPFCod = 't1'");
    rw.Requery();
    QCOMPARE(rw.RecordCount(), 2L);
    // Emptied by a truncation, which tells no count.
    Valor("Truncate Clientes");
    rb.Requery();
    QCOMPARE(rb.RecordCount(), 0L);
  }

  // A snapshot read from its text tells a transaction's visibility as the
  // server does, also for one running while it was taken.
  void instantaneoComoOServidor() {
    b_->Execute("Begin");
    const quint64 x = b_->Execute("Select pg_current_xact_id()")->Fields(0).toULongLong();
    const QString texto = Valor("Select pg_current_snapshot()");
    b_->Execute("Commit");
    ado::detail::InstantaneoPg s;
    QVERIFY2(s.Le(texto.toUtf8()) && !s.Ve(x), qPrintable(texto));
    for (quint64 t : {s.xmin - 1, s.xmin, x, x + 1, s.xmax - 1, s.xmax, s.xmax + 7}) {
      const QString servidor =
          Valor(QString("Select pg_visible_in_snapshot('%1'::xid8, '%2'::pg_snapshot)").arg(t).arg(texto));
      QCOMPARE(s.Ve(t), servidor == "t");
    }
    QVERIFY(!s.Le("1:2") && !s.Le("5:3:") && !s.Le("1:9:3,x"));
  }

  // A server whose table was made with the older trigger, which tells only
  // the table's name: every Requery after another desk's commit counts afresh.
  void gatilhoAntigo() {
    cluster_->CriaBanco("antiga", VT_SOURCE_DIR "/data/schema-pg.sql");
    pgteste::Cluster::Sql(cluster_->Conninfo("antiga"),
                          "Drop Trigger clientes_inseriu On Clientes; Drop Trigger clientes_apagou On Clientes; "
                          "Drop Trigger clientes_mudou On Clientes; Drop Function clientes_mudou(); "
                          "Create Function clientes_mudou() Returns trigger Language plpgsql As $$ Begin "
                          "Perform pg_notify('vt_mudou', TG_TABLE_NAME); Return Null; End $$; "
                          "Create Trigger clientes_mudou After Insert Or Update Or Delete Or Truncate On Clientes "
                          "For Each Statement Execute Function clientes_mudou()");
    auto a = Mesa("antiga"), b = Mesa("antiga");
    Recordset rb;
    rb.Open(kBrowse, *b);
    a->Execute(Insert("1", "Ana"));
    a->Execute(InsertVarios("m", 3));
    QCOMPARE(Checa(rb, "m3"), QString("sim 4"));
    b->Execute(Insert("2", "Bruno"));
    a->Execute("Delete From Clientes Where CPFCod In ('1', 'm1')");
    rb.Requery();
    QCOMPARE(rb.RecordCount(), 3L);
    b->Execute("Delete From Clientes Where CPFCod = '2'");
    rb.Requery();
    QCOMPARE(rb.RecordCount(), 2L);
  }

  void textoHostil_data() {
    QTest::addColumn<QString>("texto");
    QTest::newRow("apostrophes") << "O'Brien d'Ávila '' x'); Drop Table Clientes; --";
    QTest::newRow("backslashes") << "C:\\dir\\n \\' \\\\ fim\\";
    QTest::newRow("dollars") << "$$ $1 $a$ ? ?? :x";
    QTest::newRow("unicode") << "São João Ñandú Ελληνικά 日本語 😀👍🏽 🇧🇷 " + QString(QChar(0xFEFF)) + "x";
    QTest::newRow("wildcards") << "100% _a_ [x]";
  }
  // Stored, read, found by "=" and by Like exactly as typed.
  void textoHostil() {
    QFETCH(QString, texto);
    const QString lit = QString(texto).replace("'", "''");
    a_->Execute(Insert("1", "outro"));
    a_->Execute(Insert(lit.left(20), lit));
    Recordset rs;
    rs.Open(kBrowse, *a_);
    rs.Find("Nome = '" + lit + "'");
    QCOMPARE(Pos(rs) == "EOF" ? "EOF" : rs.Fields("Nome").toString(), texto);
    QStringList achados;
    for (auto b = a_->Execute("Select CPFCod,Nome,Fone From Clientes Where Nome Like '%" + lit + "%'"); !b->EOF_();
         b->MoveNext())
      achados << b->Fields("Nome").toString();
    QCOMPARE(achados, QStringList{texto});
    QCOMPARE(a_->Execute("Select Nome From Clientes Where Nome = '" + lit + "'")->Fields(0).toString(), texto);
    a_->Execute("Delete From Clientes Where Nome = '" + lit + "'");
    QCOMPARE(Valor("Select string_agg(Nome::text, ',') From Clientes"), QString("outro"));
  }

  // Recordsets outlive their connection: after Close, Requery reads as before.
  void requeryAfterClose() {
    a_->Execute(Insert("1", "Ana"));
    auto fwd = a_->Execute("Select 1 As x");
    Recordset rs;
    rs.Open(kBrowse, *a_);
    a_->Close();
    fwd->Requery();
    QCOMPARE(fwd->Fields("x").toLongLong(), 1);
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 1L);
  }

  void likeIgnoraCaixaEBarraNaoEscapa() {
    int i = 0;
    for (const char* nome : {"são joão", "a\\_b", "a\\xb", "a_b"}) a_->Execute(Insert(QString::number(++i), nome));
    auto conta = [&](const char* cond) {
      return a_->Execute(QString("Select count(*) From Clientes Where ") + cond)->Fields(0).toLongLong();
    };
    // "\" is a character, "_" any one; an explicit Escape is kept.
    for (auto [cond, n] : {std::pair{"Nome Like '%SÃO JOÃO%'", 1LL}, {"Nome = 'SÃO JOÃO'", 1LL},
                           {"Nome Like 'a\\_b'", 2LL}, {"Nome Like 'a\\%'", 2LL}, {"Nome Like 'a\\_b' Escape '\\'", 1LL}})
      QCOMPARE(conta(cond), n);
  }

  // The server stops under a desk and comes back: the command that hit it is
  // reported, the next one connects again, nothing is lost or doubled.
  void servidorReiniciado() {
    a_->Execute(Insert("1", "Ana"));
    Recordset rs;
    rs.Open(kBrowse, *a_);
    cluster_->Para();
    QString desc;
    QCOMPARE(ErroDe([&] { a_->Execute(Insert("2", "Bruno")); }, &desc), ado::adErrConnectionLost);
    QVERIFY2(desc.contains("servidor"), qPrintable(desc));
    QCOMPARE(ErroDe([&] { rs.Requery(); }), ado::adErrConnectionLost);
    cluster_->Inicia();
    a_->Execute(Insert("2", "Bruno"));
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 2L);
    // Restarted while the desk was idle: the next command just works.
    cluster_->Para();
    cluster_->Inicia();
    QCOMPARE(ErroDe([&] { a_->Execute(Insert("3", "Carla")); }), 0L);
    QCOMPARE(ErroDe([&] { rs.MoveLast(); }), 0L);
    rs.Requery();
    QCOMPARE(rs.RecordCount(), 3L);
    QCOMPARE(Linhas(), 3L);
  }
};

QTEST_GUILESS_MAIN(TstPg)
#include "tst_pg.moc"
