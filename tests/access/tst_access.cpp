// Clients from an Access ulmaro.mdb: the generated test files checked by
// mdbtools' own tools and read back, the conversion at the program's start
// with each answer and each failure, and ulmaro-migra's access modes.
#include <unistd.h>

#include <QCryptographicHash>
#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include "data/mGeral.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "platform/jet/jet.h"
#include "tests/access/jetgen.h"
#include "tests/data/faultvfs.h"
#include "tests/data/testdb.h"
#include "tests/pg/pgcluster.h"

using namespace jetgen;

namespace {

// Table Clientes as an office keeps it, names in any case, plus a column the program has not.
QList<Coluna> Colunas(Tipo num = Longo, bool comData = true) {
  QList<Coluna> c{{"CPFCod", Texto},      {"nome", Texto},   {"Sexo", Texto},   {"Hobby", Texto}, {"CEP", Texto},
                  {"Endereco", Texto},    {"Num", num},      {"Complemento", Texto}, {"Bairro", Texto},
                  {"Cidade", Texto},      {"UF", Texto},     {"DDD", Inteiro},  {"Fone", Texto},  {"Email", Texto},
                  {"OBS", Memo},          {"Idade", Byte}};
  if (comData) c.insert(15, {"DataCadastro", DataHora});
  return c;
}
// A client; Hobby, Complemento and Email null, DataCadastro left out when data is null.
QVariantList Cliente(const QString& cpf, const QVariant& nome, const QVariant& num, const QVariant& obs,
                     const QDateTime& data = {}) {
  QVariantList l{cpf, nome, "F", {}, "01310-100", "Av. Paulista", num, {}, "Bela Vista", "São Paulo", "SP", 11,
                 "3255-1234", {}, obs, 40};
  if (data.isValid()) l.insert(15, data);
  return l;
}
void Escreve(const QString& caminho, const QByteArray& bytes) {
  QFile f(caminho);
  QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
}
QByteArray Le(const QString& caminho) {
  QFile f(caminho);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
// Every entry below dir: name, link target or content; to see that nothing changed.
QByteArray Pasta(const QString& dir) {
  QStringList itens;
  QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                  QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QFileInfo fi(it.next());
    itens << fi.filePath() + '\0' + (fi.isSymLink() ? fi.symLinkTarget() : QString::fromLatin1(Le(fi.filePath()).toHex()));
  }
  itens.sort();
  return QCryptographicHash::hash(itens.join('\n').toUtf8(), QCryptographicHash::Sha256).toHex();
}
// Key, name, Num, Obs (or "-") and DataCadastro of the first n clients in order of rowid.
QString Linhas(const QString& db, int n) {
  return testdb::Sql(db, QString("Select group_concat(CPFCod||'|'||Nome||'|'||Num||'|'||ifnull(substr(Obs,1,3)||length(Obs),"
                                 "'-')||'|'||DataCadastro, ';') From (Select * From Clientes Order By rowid Limit %1)")
                             .arg(n));
}
struct Saida {
  int codigo;
  QString texto;
};
Saida Roda(const QString& programa, const QStringList& args, const QStringList& env = {}, bool comoNinguem = false) {
  QProcess p;
  p.setProcessEnvironment([&] {
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& v : env) e.insert(v.section('=', 0, 0), v.section('=', 1));
    return e;
  }());
  if (comoNinguem)
    p.start("setpriv", QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups", programa} + args);
  else
    p.start(programa, args);
  p.waitForFinished(120000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError())};
}

}  // namespace

class TstAccess : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  QStringList respostas_;  // answers to the next questions: "sim" or "não"
  QStringList caixas_;

 private slots:
  void initTestCase() {
    qputenv("TZ", "America/Sao_Paulo");  // Access keeps local time; the database, UTC
    faultvfs::Install();
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      caixas_ << c.prompt;
      if ((c.buttons & 7) != forms::vbYesNo) return int(forms::vbOK);
      return respostas_.isEmpty() || respostas_.takeFirst() != "sim" ? int(forms::vbNo) : int(forms::vbYes);
    });
  }
  void cleanup() { mGeral::cnConexao.reset(); }

  // Text compressed or not, an apostrophe, a Memo in its row, in one long
  // value and in a chain of them, Null, dates with and without a time:
  // mdb-tables and mdb-export read what was written, and so does the reader.
  void arquivosGeradosLidosPeloMdbtools() {
    const QList<QVariantList> linhas{
        Cliente("1", "José d'Ávila", 10, QString(300, QChar(0xe9)), QDateTime({2020, 1, 2}, {10, 0, 0, 120})),
        Cliente("2", "Dvořák \"Zé\"", 0, {}, QDateTime({2020, 1, 3}, {})),
        Cliente("3", "Ana", -7, QString(1500, 'x'), QDateTime({1999, 12, 31}, {23, 59, 59})),
        Cliente("4", "Bia", 2147483647, QString(5000, QChar(0x159)), QDateTime({2001, 2, 3}, {4, 5, 6}))};
    const QString arquivo = dir_.filePath("gerado.mdb");
    Escreve(arquivo, Arquivo({{"Outra", {{"x", Longo}}, {{1}}}, {"Clientes", Colunas(), linhas}}));
    QCOMPARE(Roda("mdb-tables", {"-1", arquivo}).texto, QString("Outra\nClientes\n"));
    QStringList csv{"CPFCod,nome,Sexo,Hobby,CEP,Endereco,Num,Complemento,Bairro,Cidade,UF,DDD,Fone,Email,OBS,"
                    "DataCadastro,Idade"};
    for (const QVariantList& l : linhas) {
      QStringList campos;
      for (const QVariant& v : l)
        campos << (v.isNull() ? QString()
                   : v.typeId() == QMetaType::QString   ? '"' + v.toString().replace('"', "\"\"") + '"'
                   : v.typeId() == QMetaType::QDateTime ? '"' + v.toDateTime().toString("yyyy-MM-dd HH:mm:ss") + '"'
                                                        : v.toString());
      csv << campos.join(',');
    }
    QCOMPARE(Roda("mdb-export", {"-T", "%Y-%m-%d %H:%M:%S", arquivo, "Clientes"}).texto, csv.join('\n') + '\n');
    QList<jet::Linha> lidas;
    jet::LeTabela(arquivo, "clientes", [](const jet::Tabela& t) { QCOMPARE(t.colunas.size(), 17); },
                  [&](const jet::Linha& l) { return lidas << l, true; });
    QCOMPARE(lidas.size(), linhas.size());
    for (qsizetype i = 0; i < lidas.size(); ++i)
      for (qsizetype k = 0; k < linhas[i].size(); ++k)
        QVERIFY2(lidas[i][k] == linhas[i][k] || lidas[i][k].toLongLong() == linhas[i][k].toLongLong(),
                 qPrintable(QString("%1/%2: %3").arg(i).arg(k).arg(lidas[i][k].toString())));
  }

  // The program's start on an Access ulmaro.mdb, with each answer and failure.
  // Converted: the Access file kept byte for byte under a free name beside the
  // real file (a link in the program's folder stays a link), the clients in
  // order of registration. Refused: the folder byte for byte as it was and one
  // report naming the cause.
  void conversaoNoInicio_data() {
    QTest::addColumn<QString>("caso");
    QTest::addColumn<QStringList>("respostas");
    QTest::addColumn<QString>("erro");  // a pattern of the report; empty: converted
    QTest::newRow("10,000 clients") << "muitos" << QStringList{"sim"} << "";
    QTest::newRow("refused rows accepted") << "recusas" << QStringList{"sim", "sim"} << "";
    QTest::newRow("refused rows not accepted") << "recusas" << QStringList{"sim", "não"}
                                               << "3 clientes do Access foram recusados \\(CPFCod 'áb'";
    QTest::newRow("no") << "muitos" << QStringList{"não"} << "Access; os clientes não foram convertidos. Para convertê-los: .*/ulmaro-migra access-para-arquivo \"";
    QTest::newRow("damaged") << "danificado" << QStringList{"sim"} << "danificado";
    QTest::newRow("disk full") << "muitos" << QStringList{"sim"} << "o disco está cheio";
    QTest::newRow("no Nome column") << "sem nome" << QStringList{"sim"} << "não tem a coluna Nome";
  }
  void conversaoNoInicio() {
    QFETCH(QString, caso);
    QFETCH(QStringList, respostas);
    QFETCH(QString, erro);
    QTemporaryDir base;
    const QString programa = base.filePath("programa"), dados = base.filePath("dados");
    QVERIFY(QDir().mkpath(programa) && QDir().mkpath(dados));
    forms::SetProgramFolder(programa);
    QString real = programa + "/ulmaro.mdb";
    QList<QVariantList> linhas;
    QByteArray access;
    if (caso == "muitos") {
      for (int i = 0; i < 10000; ++i)
        linhas << Cliente(QString::number(i), "Cliente " + QString::number(i), i, {},
                          QDateTime({2021, 1, 1}, {}).addSecs(60 * i));
      linhas << Cliente("b", "Bia", 2, "curta", QDateTime({2020, 1, 3}, {}))
             << Cliente("a", "Ana d'Ávila", 1, QString(300, 'o'), QDateTime({2020, 1, 2}, {10, 0, 0, 120}));
      access = Arquivo({{"Clientes", Colunas(), linhas}});
    } else if (caso == "recusas") {
      // In the data folder, reached by a link; no DataCadastro; Num as text; the kept name taken.
      linhas << Cliente("ÁB", "Ana", "0012", {}) << Cliente("áb", "Bia", "20", {}) << Cliente("5", "Carla", "12x", {})
             << Cliente("6", {}, "1", {}) << Cliente("7", "Davi", "7", "Obs");
      access = Arquivo({{"Clientes", Colunas(Texto, false), linhas}});
      real = dados + "/ulmaro.mdb";
      QVERIFY(QFile::link(real, programa + "/ulmaro.mdb"));
      Escreve(dados + "/ulmaro-access.mdb", "ocupado");
    } else if (caso == "danificado") {
      access = Arquivo({{"Clientes", Colunas(), {Cliente("1", "Ana", 1, {}, QDateTime({2020, 1, 1}, {}))}}}).left(4096);
      QRandomGenerator acaso(17);
      for (int i = 0; i < 16384; ++i) access += char(acaso.generate());
    } else {
      QList<Coluna> c = Colunas();
      c[1].nome = "Nomes";
      access = Arquivo({{"Clientes", c, {Cliente("1", "Ana", 1, {}, QDateTime({2020, 1, 1}, {}))}}});
    }
    Escreve(real, access);
    const QByteArray antes = Pasta(base.path());
    respostas_ = respostas;
    caixas_.clear();
    if (QTest::currentDataTag() == QLatin1String("disk full")) faultvfs::Arm(faultvfs::Op::Write, 5, SQLITE_FULL, true);
    QString descricao;
    const long numero = testdb::ErroDe(mGeral::AbreBanco, &descricao);
    faultvfs::Disarm();
    QVERIFY2(caixas_.value(0).startsWith("O arquivo ulmaro.mdb é um banco de dados do Access."), qPrintable(caixas_.value(0)));
    QVERIFY(respostas_.isEmpty());
    if (!erro.isEmpty()) {
      QVERIFY2(numero > 0 && descricao.contains(QRegularExpression(erro)), qPrintable(descricao));
      QCOMPARE(Pasta(base.path()), antes);
      return;
    }
    QVERIFY2(numero == 0, qPrintable(descricao));
    QVERIFY(mGeral::cnConexao->IsOpen());
    if (caso == "muitos") {
      QCOMPARE(Le(programa + "/ulmaro-access.mdb"), access);
      QCOMPARE(Linhas(real, 3), QString("a|Ana d'Ávila|1|ooo300|2020-01-02 13:00:00.120;b|Bia|2|cur5|2020-01-03 "
                                        "03:00:00.000;0|Cliente 0|0|-|2021-01-01 03:00:00.000"));
      QCOMPARE(testdb::Sql(real, "Select count(*)||max(DataCadastro) From Clientes"), QString("100022021-01-08 01:39:00.000"));
      QVERIFY2(caixas_.last().contains("10002 clientes convertidos") && caixas_.last().contains("ulmaro-access.mdb") &&
                   caixas_.last().endsWith("convertidas: Idade"),
               qPrintable(caixas_.last()));
    } else {
      QVERIFY(QFileInfo(programa + "/ulmaro.mdb").isSymLink());
      QCOMPARE(Le(dados + "/ulmaro-access-2.mdb"), access);
      QCOMPARE(Le(dados + "/ulmaro-access.mdb"), QByteArray("ocupado"));
      QVERIFY2(caixas_[1].startsWith("3 dos 5 clientes do Access não podem ser convertidos:\n\nCPFCod 'áb': CPF ou "
                                     "Código repete 'ÁB'") &&
                   caixas_[1].contains("CPFCod '5': Num não é um número inteiro: '12x'\nCPFCod '6': Nome sem valor"),
               qPrintable(caixas_[1]));
      // Table order, all registered at the moment of the conversion.
      const QString linhasNovas = Linhas(real, 5);
      QCOMPARE(linhasNovas.section(';', 0, 0).section('|', 0, 3), QString("ÁB|Ana|12|-"));
      QCOMPARE(linhasNovas.section(';', 1, 1).section('|', 0, 3), QString("7|Davi|7|Obs3"));
      QCOMPARE(testdb::Sql(real, "Select count(Distinct DataCadastro) From Clientes"), QString("1"));
    }
    QCOMPARE(testdb::Sql(real, "PRAGMA journal_mode"), QString("wal"));
  }

  // ulmaro-migra from the command line: into a new file with its report and
  // exit status, refused in a folder it may not write (nothing changed), and
  // to a server through the server's own mode; the real program ends with a
  // report, not a crash, on a damaged Access file.
  void migraEPrograma() {
    QTemporaryDir base;
    const QString pasta = base.filePath("escritorio");
    QVERIFY(QDir().mkpath(pasta));
    QFile::setPermissions(base.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
    const QString access = pasta + "/ulmaro.mdb", novo = base.filePath("novo.mdb");
    Escreve(access, Arquivo({{"Clientes", Colunas(Texto),
                              {Cliente("ÁB", "Ana", "1", {}, QDateTime({2020, 1, 2}, {})),
                               Cliente("áb", "Bia", "2", {}, QDateTime({2020, 1, 3}, {})),
                               Cliente("5", "Carla", "12x", {}, QDateTime({2020, 1, 4}, {})),
                               Cliente("6", "Davi", "6", "x", QDateTime({2020, 1, 1}, {}))}}}));
    const QByteArray antes = Pasta(pasta);
    const QString migra = VT_BIN_DIR "/ulmaro-migra";
    Saida s = Roda(migra, {"access-para-arquivo", access, novo});
    QCOMPARE(s.codigo, 1);
    for (const char* linha : {"Colunas do Access ignoradas: Idade", "Recusado CPFCod 'áb': CPF ou Código repete 'ÁB'",
                              "Recusado CPFCod '5': Num não é um número inteiro: '12x'",
                              "Copiados 2 clientes para o arquivo; recusados 2."})
      QVERIFY2(s.texto.contains(linha), qPrintable(s.texto));
    QCOMPARE(Linhas(novo, 2), QString("6|Davi|6|x1|2020-01-01 03:00:00.000;ÁB|Ana|1|-|2020-01-02 03:00:00.000"));
    s = Roda(migra, {"access-para-arquivo", access, novo});
    QVERIFY2(s.codigo == 2 && s.texto.contains("já existe. Nada foi mudado."), qPrintable(s.texto));
    // A folder the user may not write: refused, nothing written.
    const bool root = geteuid() == 0;
    if (!root) QFile::setPermissions(pasta, QFile::ReadOwner | QFile::ExeOwner);
    s = Roda(migra, {"access-para-arquivo", access}, {}, root);
    QFile::setPermissions(pasta, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY2(s.codigo == 2 && s.texto.contains("não permite gravação. Nada foi mudado."), qPrintable(s.texto));
    QCOMPARE(Pasta(pasta), antes);

    // The real program on a damaged file: the question, one report, the end.
    Escreve(access, Le(access).left(8192) + QByteArray(8192, '\xee'));
    const QByteArray danificado = Pasta(pasta);
    QVERIFY(QFile::copy(VT_BIN_DIR "/VaskorTorvana", pasta + "/VaskorTorvana"));
    s = Roda(pasta + "/VaskorTorvana", {}, {"VT_MSGBOX_ECHO=1", "QT_QPA_PLATFORM=offscreen"});
    QFile::remove(pasta + "/VaskorTorvana");
    QVERIFY2(s.codigo > 0 && s.texto.count("MsgBox [Pontelo]") == 2 && s.texto.contains("danificado"),
             qPrintable(s.texto));
    QCOMPARE(Pasta(pasta), danificado);

    if (pgteste::Cluster::Bin().isEmpty()) QSKIP("PostgreSQL server programs are not installed");
    pgteste::Cluster cluster;
    cluster.CriaBanco("ulmaro", VT_SOURCE_DIR "/data/schema-pg.sql");
    s = Roda(migra, {"access-para-servidor", novo, "--servidor", cluster.Conninfo("ulmaro")});
    QVERIFY2(s.codigo == 2 && s.texto.contains("não é um banco de dados do Access"), qPrintable(s.texto));
    Escreve(access, Arquivo({{"Clientes", Colunas(Texto),
                              {Cliente("ÁB", "Ana", "1", {}, QDateTime({2020, 1, 2}, {})),
                               Cliente("áb", "Bia", "2", {}, QDateTime({2020, 1, 3}, {})),
                               Cliente("5", "Carla", "12x", {}, QDateTime({2020, 1, 4}, {}))}}}));
    s = Roda(migra, {"access-para-servidor", access, "--servidor", cluster.Conninfo("ulmaro")});
    QVERIFY2(s.codigo == 1, qPrintable(s.texto));
    for (const char* linha : {"Recusado CPFCod 'áb': CPF ou Código já existe no servidor",
                              "Recusado CPFCod '5': Num não é um número inteiro: '12x'",
                              "Copiados 1 clientes para o servidor; recusados 2."})
      QVERIFY2(s.texto.contains(linha), qPrintable(s.texto));
    QCOMPARE(pgteste::Cluster::Sql(cluster.Conninfo("ulmaro"), "Select string_agg(CPFCod||'@'||to_char(DataCadastro, "
                                                                   "'YYYY-MM-DD HH24:MI'), ',') From Clientes"),
             QString("ÁB@2020-01-02 03:00"));
  }
};

QTEST_MAIN(TstAccess)
#include "tst_access.moc"
