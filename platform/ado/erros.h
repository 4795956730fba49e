#pragma once
// Every text of an ado::Error, in one place: the data objects' own refusals
// (in the words of the data-access library they follow) and, in Portuguese,
// each failure a user can meet on either engine. Internal to platform/ado.
#include <QString>
#include <QStringList>

namespace ado::detail {

enum class Falha {
  // The data objects' own refusals; each has its adErr* number.
  Fechado,            // an operation on a closed object
  Aberto,             // Open on an open object
  SemLinhaAtual,      // BOF or EOF
  ItemAusente,        // no column of that name or position
  SemInstrucao,       // a command text of blanks and comments
  MaisDeUma,          // a second statement after the first
  ComNul,             // a NUL character in the text
  NaoDevolveLinhas,   // a recordset's source that is not a query
  NaoSimples,         // %1: a source a scrollable recordset cannot walk
  CriterioFind,       // %1: a Find criterion not "Column = 'value'"
  SoAdiante,          // %1: an operation a forward-only recordset cannot do
  ConexaoInvalida,    // %1: a malformed connection string
  SemFonte,           // no Data Source for a file
  SemProvedor,        // %1: an unknown Provider
  // Failures a user can meet. Their number is the file engine's (SQLite's
  // result code), which a server's failure of the same kind takes too.
  NaoAbre,            // the file cannot be opened
  ArquivoAusente,     // %1: the file does not exist
  PastaSemGravacao,   // %1: its folder is not writable
  NaoEBanco,          // not a database
  SemWal,             // the file cannot use write-ahead logging
  Bloqueado,          // another program holds the lock
  SomenteLeitura,     // a file that cannot be written
  SemPermissao,       // a server user without the right
  DiscoCheio,
  ServidorSemEspaco,
  LeituraGravacao,    // an I/O error
  Danificado,         // a corrupt file
  SemMemoria,
  ValorRepetido,      // %1: the unique column or constraint
  SemValor,           // %1: the Not Null column
  ValorRecusado,      // %1: the engine's words
  ValorInvalido,      // %1: the engine's words (a value the column's type refuses)
  SemTabela,          // %1
  SemColuna,          // %1
  TabelaSemColuna,    // %1 table, %2 column
  SintaxePerto,       // %1: the text near the error
  Sintaxe,            // %1: the engine's words
  TextoEstranho,      // %1: an unrecognised token
  Incompleta,
  BuscaLonga,         // a Like pattern over the engine's limit
  SemServidor,        // %1: where it connects, without any password
  ConexaoPerdida,
  ServidorMalAjustado,  // standard_conforming_strings off
  Outra,              // %1: the engine's own words
};

// The text with its arguments in place of %1, %2.
QString Texto(Falha f, const QStringList& args = {});
// Its number (see Falha).
long Numero(Falha f);

// Throws ado::Error for f. number 0: Numero(f). context, when given, is
// added to both texts after ": ". native: the engine's own words (the
// description when empty).
[[noreturn]] void Lanca(Falha f, const QStringList& args = {}, const QString& native = {}, long number = 0,
                        const QString& context = {});

}  // namespace ado::detail
