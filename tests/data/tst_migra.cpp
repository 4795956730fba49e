// The migration tool between a file and a server, run as the administrator
// runs it, on a throwaway cluster.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "tests/data/testdb.h"
#include "tests/pg/pgcluster.h"

class TstMigra : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  std::optional<pgteste::Cluster> cluster_;

  struct Saida {
    int codigo;
    QString texto, erros;
  };
  Saida Roda(const QStringList& args, const QString& usuario = "vt") {
    QProcess p;
    p.start(VT_BIN_DIR "/ulmaro-migra", QStringList(args) << "--servidor" << cluster_->Conninfo("ulmaro", usuario));
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
  }
  static QString Linhas(const QString& path) {
    return testdb::Sql(path,
                       "Select group_concat(CPFCod||'|'||Nome||'|'||Num||'|'||ifnull(Obs,'-')||'|'||DataCadastro, "
                       "';') From (Select * From Clientes Order By rowid)");
  }

 private slots:
  void initTestCase() {
    if (pgteste::Cluster::Bin().isEmpty()) QSKIP("PostgreSQL server programs are not installed");
    cluster_.emplace();
    cluster_->CriaBanco("ulmaro", VT_SOURCE_DIR "/data/schema-pg.sql");
  }

  // To the server: rows it cannot hold are refused one by one, with the
  // reason; the rest keep their DataCadastro and order. A server with clients
  // is refused unless told to add; back into a new file, made from the schema,
  // every row as it was; a file with clients is refused unless told to add.
  void idaEVolta() {
    const QString origem = testdb::Cria(dir_.filePath("origem.mdb"));
    const QString ins = "Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,Obs,DataCadastro) "
                        "Values ('%1','%2','F','1','R',%3,'C','SP',11,'1',%4,'%5');";
    QCOMPARE(testdb::Sql(origem, ins.arg("1", "Ana d''Ávila \\ $$", "10", "Null", "2020-01-02 10:00:00.120") +
                                     ins.arg("áb", "Bruno", "20", "'x'", "2020-01-01 10:00:00.000") +
                                     ins.arg("ÁB", "Bia", "30", "'y'", "2020-01-03 10:00:00.000") +
                                     ins.arg("3", "Carla", "' 12x'", "Null", "2020-01-04 10:00:00.000") +
                                     ins.arg("4", "Davi", "40", "'z'", "ontem")),
             QString());
    Saida s = Roda({"para-servidor", origem});
    QCOMPARE(s.codigo, 1);
    for (const char* linha : {"Copiados 2 clientes para o servidor; recusados 3.",
                              "Recusado CPFCod 'ÁB': CPF ou Código já existe",
                              "Recusado CPFCod '3': Num não é um número inteiro: ' 12x'",
                              "Recusado CPFCod '4': DataCadastro não é uma data válida: 'ontem'"})
      QVERIFY2(s.texto.contains(linha), qPrintable(s.texto + s.erros));
    QCOMPARE(pgteste::Cluster::Sql(cluster_->Conninfo("ulmaro"),
                                   "Select string_agg(CPFCod||'@'||DataCadastro, ',' Order By rowid) From Clientes"),
             QString("1@2020-01-02 10:00:00.12,áb@2020-01-01 10:00:00"));

    s = Roda({"para-servidor", origem});
    QCOMPARE(s.codigo, 2);
    QVERIFY2(s.erros.contains("O servidor já tem 2 clientes; nada foi copiado"), qPrintable(s.erros));

    const QString volta = dir_.filePath("volta.mdb");
    s = Roda({"para-arquivo", volta});
    QCOMPARE(s.codigo, 0);
    QVERIFY2(s.texto.contains("Copiados 2 clientes para o arquivo; recusados 0."), qPrintable(s.texto + s.erros));
    QCOMPARE(Linhas(volta),
             QString("1|Ana d'Ávila \\ $$|10|-|2020-01-02 10:00:00.120;áb|Bruno|20|x|2020-01-01 10:00:00.000"));
    QCOMPARE(testdb::Sql(volta, "Select sql From sqlite_schema Where name = 'ixClientesDataCadastro'"),
             QString("CREATE INDEX ixClientesDataCadastro ON Clientes (DataCadastro)"));
    QCOMPARE(QDir(dir_.path()).entryList({"*volta*"}, QDir::Files | QDir::Hidden), QStringList("volta.mdb"));
    s = Roda({"para-arquivo", volta});
    QCOMPARE(s.codigo, 2);
    QVERIFY2(s.erros.contains("O arquivo já tem 2 clientes; nada foi copiado"), qPrintable(s.erros));
    // Adding to a file that has them: each repeated key refused by name.
    s = Roda({"para-arquivo", volta, "--acrescentar"});
    QCOMPARE(s.codigo, 1);
    QVERIFY2(s.texto.contains("Recusado CPFCod 'áb': UNIQUE constraint failed"), qPrintable(s.texto));
  }

  // The desks' role writes only the columns the program's statements write,
  // never DataCadastro or rowid, so moving clients to the server takes the
  // table's owner. A copy into a new file that fails leaves no file behind.
  void papeis() {
    const QString balcao = cluster_->Conninfo("ulmaro", pgteste::Cluster::kBalcao);
    for (const char* sql : {"Update Clientes Set DataCadastro = '2000-01-01'",
                            "Insert Into Clientes (rowid,CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone) "
                            "Overriding System Value Values (99,'9','A','F','1','R',1,'C','SP',11,'1')"}) {
      QString erro;
      try {
        pgteste::Cluster::Sql(balcao, sql);
      } catch (const std::runtime_error& e) {
        erro = e.what();
      }
      QVERIFY2(erro.contains("permission denied for table clientes"), qPrintable(sql + (": " + erro)));
    }
    const QString um = testdb::Cria(dir_.filePath("um.mdb"));
    testdb::Sql(um, "Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone) "
                    "Values ('9','Zé','M','1','R',1,'C','SP',11,'1')");
    Saida s = Roda({"para-servidor", um, "--acrescentar"}, pgteste::Cluster::kBalcao);
    QCOMPARE(s.codigo, 2);
    QVERIFY2(s.erros.contains("nada foi copiado") && s.erros.contains("dono da tabela"), qPrintable(s.erros));

    pgteste::Cluster::Sql(cluster_->Conninfo(), "Create Role ninguem Login");
    s = Roda({"para-arquivo", dir_.filePath("nova.mdb")}, "ninguem");
    QCOMPARE(s.codigo, 2);
    QVERIFY2(s.erros.contains("não permite esta operação a este usuário"), qPrintable(s.erros));
    QCOMPARE(QDir(dir_.path()).entryList({"*nova*"}, QDir::Files | QDir::Hidden), QStringList());
  }

  // --help names every mode and ends well; a wrong command line ends with 2.
  void uso() {
    Saida s = Roda({"--help"});
    QCOMPARE(s.codigo, 0);
    for (const char* modo : {"para-servidor", "para-arquivo", "copia", "access-para-arquivo", "access-para-servidor"})
      QVERIFY2(s.texto.contains(QString(" ulmaro-migra %1 ").arg(modo)), qPrintable(s.texto));
    s = Roda({"para-lugar-nenhum"});
    QCOMPARE(s.codigo, 2);
    QVERIFY2(s.erros.startsWith("Uso:\n  ulmaro-migra"), qPrintable(s.erros));
  }
};

QTEST_GUILESS_MAIN(TstMigra)
#include "tst_migra.moc"
