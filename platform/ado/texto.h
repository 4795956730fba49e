#pragma once
// The data objects' reading of connection strings and statement texts, as
// pure functions: no database is needed to run or test them. They throw
// ado::Error for texts they refuse. Internal to platform/ado.
#include <QHash>
#include <QString>
#include <utility>
#include <vector>

namespace ado::detail {

// Splits a connection string into lower-cased keys and values. A value may
// be in double quotes, a quote inside doubled.
QHash<QString, QString> LeConexao(const QString& text);

// The text with every literal ('...') and quoted name ("...") blanked out,
// keeping its length, so that words are looked for outside them.
QString SemLiterais(const QString& text);

// Refuses a text holding a NUL character.
void RecusaNul(const QString& text);

// A single-table query, as a scrollable recordset walks it:
//   Select <colunas> From <tabela> [Where <condicao>] [Order By <ordem>]
struct Consulta {
  QString colunas, tabela, condicao;  // condicao: empty without Where
  struct Termo {
    QString coluna;  // as written, quotes included
    bool desc = false;
  };
  std::vector<Termo> ordem;
};
// Refuses any other text (joins, Group By, Union, Limit, a sub-query, an
// Order By term that is not a column).
Consulta LeConsulta(const QString& source);

// A column name without its quotes ([x] or "x").
QString SemAspas(const QString& name);

// Find's criterion "Column = 'value'": the column and the value, its
// apostrophes no longer doubled.
std::pair<QString, QString> LeCriterio(const QString& criteria);

}  // namespace ado::detail
