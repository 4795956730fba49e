// The data objects' text handling, which needs no database: connection
// strings, literals, the queries a scrollable recordset walks, Find's
// criterion, a server's reading of a statement and of its snapshots, the
// file's Like.
#include <QtTest>

#include "platform/ado/ado.h"
#include "platform/ado/pg/pg.h"
#include "platform/ado/sqlite/like.h"
#include "platform/ado/texto.h"

using namespace ado::detail;

namespace {
// What one of the functions makes of a text, as one line; "erro <n>" for
// the error it throws.
QString Le(const QString& funcao, const QString& texto) {
  QStringList partes;
  try {
    if (funcao == "conexao") {
      const auto h = LeConexao(texto);
      for (auto it = h.begin(); it != h.end(); ++it) partes << it.key() + "=" + it.value();
      partes.sort();
    } else if (funcao == "literais") {  // blanked characters shown as "_"
      QString b = SemLiterais(texto);
      for (qsizetype i = 0; i < texto.size(); ++i)
        if (b[i] != texto[i]) b[i] = '_';
      partes << b;
    } else if (funcao == "consulta") {  // table | columns | condition | Order By ("-": Desc)
      const Consulta c = LeConsulta(texto);
      QStringList ordem;
      for (const auto& t : c.ordem) ordem << (t.desc ? "-" : "") + t.coluna;
      partes << c.tabela << c.colunas << c.condicao << ordem.join(',');
    } else if (funcao == "criterio") {
      const auto [coluna, valor] = LeCriterio(texto);
      partes << coluna << valor;
    } else if (funcao == "pg") {  // as the server reads it
      partes << TextoPg(texto, true);
    } else if (funcao == "escrita") {  // how the server engine runs it
      const ClassePg c = ClassificaPg(texto);
      partes << (c.le ? "le" : c.tabela + "|" + c.comRetorno);
    } else if (funcao == "instantaneo") {  // the transactions around it it sees ("+") or not
      InstantaneoPg s;
      if (!s.Le(texto.toUtf8())) return "recusado";
      for (quint64 x = s.xmin - 1; x <= s.xmax; ++x) partes << QString::number(x) + (s.Ve(x) ? "+" : "-");
    } else {  // the file's Like: pattern|text
      return LikeMatch(texto.section('|', 0, 0).toStdString(), texto.section('|', 1).toStdString()) ? "sim" : "não";
    }
  } catch (const ado::Error& e) {
    return "erro " + QString::number(e.Number());
  }
  return partes.join(funcao == "conexao" ? ';' : '|');
}
}  // namespace

class TstTexto : public QObject {
  Q_OBJECT

 private slots:
  void leitura_data() {
    QTest::addColumn<QString>("funcao");
    QTest::addColumn<QString>("texto");
    QTest::addColumn<QString>("esperado");
    const char* const casos[][3] = {
        {"conexao", "Provider=Jet;Data Source=/a.mdb", "data source=/a.mdb;provider=Jet"},
        {"conexao", " PROVIDER = SQLite ; Data Source = x y ;", "data source=x y;provider=SQLite"},
        {"conexao", "Data Source=\"a;b=c \"\"d\"\"\" ;x=", "data source=a;b=c \"d\";x="},
        {"conexao", "Data Source=\"x\" y", "erro 3001"}, {"conexao", "Data Source=\"aberto", "erro 3001"},
        {"conexao", "lixo;Provider=x", "erro 3001"},  {"conexao", ";;", ""},
        {"literais", "a = 'b''c' Or \"d e\" = 1", "a = ______ Or __ __ = 1"},
        {"literais", "'x' \"'\" '\"' 'aberto", "___ ___ ___ 'aberto"},
        {"consulta", "Select * From Clientes Order By DataCadastro", "Clientes|*||DataCadastro"},
        {"consulta", "select CPFCod, Nome from Clientes where Nome = 'x Order By y' order by Nome desc , [Data] ;",
         "Clientes|CPFCod, Nome|Nome = 'x Order By y'|-Nome,[Data]"},
        {"consulta", "Select Nome From Clientes Where Nome = 'Union Join' Or \"limit\" = 1",
         "Clientes|Nome|Nome = 'Union Join' Or \"limit\" = 1|"},
        {"consulta", "Select Nome, count(*) From Clientes Group By Nome", "erro 3001"},
        {"consulta", "Select * From Clientes c Join Outra o On 1 = 1", "erro 3001"},
        {"consulta", "Select (Select 1) From Clientes", "erro 3001"},
        {"consulta", "Select * From Clientes Order By Nome Order By Nome", "erro 3001"},
        {"consulta", "Select * From Clientes Order By lower(Nome)", "erro 3001"},
        {"consulta", "Delete From Clientes", "erro 3001"},
        {"criterio", "CPFCod = 'O''Brien'", "CPFCod|O'Brien"},  {"criterio", " Nome='' ", "Nome|"},
        {"criterio", "CPFCod = 3", "erro 3001"},  {"criterio", "CPFCod = 'a' Or 1=1", "erro 3001"},
        {"criterio", "CPFCod Like 'a'", "erro 3001"},
        {"pg", "Where a Like 'x%' And b iLike 'O''B'", "Where a Like 'x%' Escape '' And b iLike 'O''B' Escape ''"},
        {"pg", "Where a Like 'x!%' Escape '!'", "Where a Like 'x!%' Escape '!'"},
        {"pg", "Where a = ? And b = '?' And \"?\" = ?", "Where a = $1 And b = '?' And \"?\" = $2"},
        {"pg", "-- Like 'x' ?\n/* ? */ Select ?", "-- Like 'x' ?\n/* ? */ Select $1"},
        {"escrita", " select 1", "le"},  {"escrita", "Values (1)", "le"},
        {"escrita", "Insert Into Clientes (a) Values ('--') ; ",
         "Clientes|Insert Into Clientes (a) Values ('--') Returning rowid"},
        {"escrita", "update clientes set a = 1", "clientes|update clientes set a = 1 Returning rowid"},
        {"escrita", "Delete From Clientes -- x", "Clientes|"},  {"escrita", "Delete From t Returning x", "t|"},
        {"escrita", "Delete From Clientes; Select 2", "Clientes|"},  {"escrita", "Truncate Clientes", "|"},
        {"instantaneo", "10:14:12,13", "9+|10+|11+|12-|13-|14-"},  {"instantaneo", "10:14:", "9+|10+|11+|12+|13+|14-"},
        {"instantaneo", "1:2", "recusado"},  {"instantaneo", "5:3:", "recusado"},  {"instantaneo", "1:9:3,x", "recusado"},
        // The matcher's shortcuts (an ASCII needle found in the bytes, a needle
        // beyond ASCII pre-checked by its ASCII letters) agree with plain folding.
        {"like", "%silva%|Conceição SILVA", "sim"},  {"like", "%kelvin%|\u212AELVIN", "sim"},  // Kelvin sign
        {"like", "%ss%|a\u017FS", "sim"},  {"like", "%sã%|\u017FÃ", "sim"},                      // long s
        {"like", "%josé%|JOSÉ DA SILVA", "sim"},  {"like", "%jose%|JOSÉ", "não"},  {"like", "%é%|E", "não"},
        {"like", "%σοφ%|ΣΟΦΙΑ", "sim"},  {"like", "%\U0001D400%|x\U0001D400", "sim"},  {"like", "s_o|SÃO", "sim"},
        {"like", "s_o|SÃÃO", "não"},  {"like", "ana%|ANA MARIA", "sim"},  {"like", "%ana|ANA MARIA", "não"},
        {"like", "%a%b%c|aXbYaZbc", "sim"},  {"like", "%%|", "sim"},  {"like", "%abcd%|abc", "não"},
    };
    for (const auto& c : casos)
      QTest::addRow("%s %d", c[0], int(&c - casos)) << c[0] << QString::fromUtf8(c[1]) << QString::fromUtf8(c[2]);
  }
  void leitura() {
    QFETCH(QString, funcao);
    QFETCH(QString, texto);
    QFETCH(QString, esperado);
    QCOMPARE(Le(funcao, texto), esperado);
  }

};

QTEST_GUILESS_MAIN(TstTexto)
#include "tst_texto.moc"
