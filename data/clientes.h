#pragma once
// The statements of table Clientes, built from a client's field texts.
// Values go between apostrophes exactly as typed, an apostrophe doubled; Num
// and DDD go bare and must be digit strings.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <stdexcept>

namespace clientes {

// The fifteen field texts of the client form, as displayed.
struct Cliente {
  QString CPFCod, Nome, Sexo /* text of cboSexo */, Hobby, CEP, Endereco, Num, Complemento,
      Bairro, Cidade, UF, DDD, Fone, Email, Obs;
  bool operator==(const Cliente&) const = default;
};

// Thrown when Num or DDD is not a non-empty digit string; names the column.
class CampoNaoNumerico : public std::invalid_argument {
 public:
  explicit CampoNaoNumerico(const QString& column);
  QString Coluna() const { return column_; }

 private:
  QString column_;
};

// Every column the program reads or writes, DataCadastro last.
const QStringList& Colunas();

// Rows from elsewhere (another database, another program's table) are taken
// by these rules, the same whichever way they come in.
// The columns such a row may leave null.
bool Opcional(const QString& coluna);
// Why table Clientes refuses `valor` (null, text or a number) for `coluna`, or
// an empty text. Num and DDD take integers, and whole numbers or digit strings
// converted to integers in place; DataCadastro takes "yyyy-MM-dd HH:mm:ss"
// with up to three decimals of a second.
QString Recusa(const QString& coluna, QVariant& valor);

// Browse cursor of the client form.
QString SelectBrowse();                                 // "Select * From Clientes Order By DataCadastro"
QString InsertSQL(const Cliente& c);
QString UpdateSQL(const Cliente& c);                    // addressed by c.CPFCod
QString DeleteSQL(const QString& cpfCod);
QString CriterioChave(const QString& cpfCod);           // "CPFCod = '...'"

enum class Campo { CPFCod, Nome, Fone };
// "Contém" when contem, else "Igua à".
QString CriterioBusca(Campo campo, bool contem, const QString& texto);
QString SelectBusca(const QString& criterio);           // "Select CPFCod,Nome,Fone From Clientes Where ..."

// Doubles every apostrophe.
QString Aspas(const QString& value);
// True when text is one or more ASCII digits.
bool SoDigitos(const QString& text);

}  // namespace clientes
