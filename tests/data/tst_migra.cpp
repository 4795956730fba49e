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
  Saida Roda(const QStringList& args) {
    QProcess p;
    p.start(VT_BIN_DIR "/ulmaro-migra", QStringList(args) << "--servidor" << cluster_->Conninfo("ulmaro"));
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
  // is refused unless told to add; back to a file, every row as it was.
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

    const QString volta = testdb::Cria(dir_.filePath("volta.mdb"));
    s = Roda({"para-arquivo", volta});
    QCOMPARE(s.codigo, 0);
    QVERIFY2(s.texto.contains("Copiados 2 clientes para o arquivo; recusados 0."), qPrintable(s.texto + s.erros));
    QCOMPARE(Linhas(volta),
             QString("1|Ana d'Ávila \\ $$|10|-|2020-01-02 10:00:00.120;áb|Bruno|20|x|2020-01-01 10:00:00.000"));
    // Adding to a file that has them: each repeated key refused by name.
    s = Roda({"para-arquivo", volta, "--acrescentar"});
    QCOMPARE(s.codigo, 1);
    QVERIFY2(s.texto.contains("Recusado CPFCod 'áb': UNIQUE constraint failed"), qPrintable(s.texto));
  }
};

QTEST_GUILESS_MAIN(TstMigra)
#include "tst_migra.moc"
