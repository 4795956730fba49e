#pragma once
// Access database files (Jet 4, "Standard Jet DB", and ACE, "Standard ACE DB"),
// read, never written, through libmdb.
//
// libmdb trusts the file: a damaged one can make it read out of bounds or loop.
// So every reading runs in a child process of its own, which streams the
// table's raw values back through a pipe; the child's crash, a stop of more
// than a minute or a malformed stream end the reading with jet::Erro, and the
// calling process is never touched. Values are decoded here, in the caller.
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <stdexcept>

namespace jet {

// What the first page of a file says it is.
enum class Formato { Nenhum, Jet3, Jet4, Ace };
// Reads only the signature of page 0; Nenhum for any other file or an unreadable one.
Formato FormatoDe(const QString& arquivo);

// Column types, as the file stores them.
enum Tipo : int {
  Booleano = 1, Byte = 2, Inteiro = 3, Longo = 4, Moeda = 5, Simples = 6, Duplo = 7,
  DataHora = 8, Binario = 9, Texto = 10, OLE = 11, Memo = 12, GUID = 15, Numerico = 16,
};

struct Coluna {
  QString nome;
  int tipo;  // a Tipo; others are read as raw bytes
};

struct Tabela {
  QString nome;  // as the file spells it
  QList<Coluna> colunas;
  qint64 linhas;  // as the table's definition counts them (may be stale)
};

// The reading failed; the text is Portuguese and names the cause.
class Erro : public std::runtime_error {
 public:
  explicit Erro(const QString& texto) : std::runtime_error(texto.toStdString()), texto_(texto) {}
  const QString& Texto() const { return texto_; }

 private:
  QString texto_;
};

// A row's values in column order: a null QVariant for Null; qint64 for
// Booleano, Byte, Inteiro and Longo; double for Simples and Duplo; a
// QDateTime in Qt::LocalTime for DataHora (the file keeps no time zone; a
// value outside the years 100 to 9999 comes as its raw double); QString for
// Texto and Memo; QByteArray for the rest.
using Linha = QList<QVariant>;

// Reads the user table `nome` (letter case ignored) of `arquivo`: calls
// aoAbrir once with its columns, then aoLer for each row in the table's order
// until it returns false. Throws Erro; a missing table names those there are.
void LeTabela(const QString& arquivo, const QString& nome, const std::function<void(const Tabela&)>& aoAbrir,
              const std::function<bool(const Linha&)>& aoLer);

// Decodes a Jet 4 text value: UCS-2 little-endian, or its compressed form
// (marked by FF FE, a 00 byte switching between one and two bytes a letter).
QString TextoDe(const QByteArray& bruto);
// A Date/Time value (days since 1899-12-30, the fraction the time of day, also
// for days before it) as local wall-clock time, to the millisecond; an
// invalid QDateTime when outside the years 100 to 9999.
QDateTime DataHoraDe(double dias);

}  // namespace jet
