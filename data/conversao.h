#pragma once
// Brings the clients of an Access database (table Clientes of a Jet 4 or ACE
// file) into a database of this program, never changing the Access file.
//
// Le reads and checks every row, writing nothing. Substitui then writes a new
// database made from data/schema.sql under a temporary name in the Access
// file's own folder (a symbolic link is followed), fills it, checks it (row
// count, integrity_check), and only then keeps the Access file under the
// first free name among <nome>-access.mdb, <nome>-access-2.mdb, ... and gives
// the new database the Access file's name. Any failure removes what was
// written and leaves the folder as it was. Failures throw ado::Error with a
// Portuguese description naming the cause.
//
// Columns are matched by name, letter case ignored. Text goes to text; Num and
// DDD take Long, Integer or Byte values, or digits in text; DataCadastro, a
// Date/Time in the office's local time, becomes UTC to the millisecond (when
// the table has none, every client gets the moment of the conversion and
// keeps the table's order); Obs takes a Memo. A missing optional column gives
// Null; a missing required one refuses the whole table; other columns are
// ignored and named. Each row passes clientes::Recusa, and a key equal to an
// earlier one but for the case of its letters is refused.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace conversao {

constexpr int kColunas = 16;  // clientes::Colunas()

struct Linha {
  std::array<QVariant, kColunas> valores;  // as the database takes them when accepted
  QString motivo;                           // why the row is refused; empty when accepted
};

struct Leitura {
  QString arquivo;           // the Access file, a link followed
  QString tabela;            // the table's name as the file spells it
  QStringList ignoradas;     // the table's columns that no column of Clientes takes
  bool semData = false;      // the table has no DataCadastro
  std::vector<Linha> linhas;  // accepted and refused, in the order to be written
  qint64 Aceitas() const;
  QStringList Recusas() const;  // "CPFCod '…': motivo", one a refused row
  std::shared_ptr<void> trava;  // keeps the Access file locked against a second conversion
};

// Called with the rows done and the total; returning false cancels.
using Progresso = std::function<bool(qint64 feitos, qint64 total)>;

// Reads table Clientes of the Access file `access` and checks each row.
// With chavesUnicas, a key repeated but for letter case is refused after its
// first row (a file's unique key); without, the target refuses it itself.
Leitura Le(const QString& access, const Progresso& progresso, bool chavesUnicas = true);

// Replaces the Access file read by a new database holding its accepted rows;
// returns where the Access file was kept.
QString Substitui(const Leitura& leitura, const Progresso& progresso);

// Writes the accepted rows into `destino`, a new database file (refused when it exists).
void Grava(const QString& destino, const Leitura& leitura, const Progresso& progresso);

// Makes `destino`, a new database file, from data/schema.sql under a name of
// its own in the same folder, lets `preenche` fill it (given that name; it
// closes what it opened there), and only then gives it its name: refused
// when `destino` exists by then. False when `preenche` said so; then, as on
// any failure, nothing is left behind.
bool CriaArquivo(const QString& destino, const std::function<bool(const QString& novo)>& preenche);

// Writes every row as read, unchecked, into table Clientes of a new database
// `destino` without constraints, for a copy that applies the rules itself.
void GravaSemRegras(const QString& destino, const Leitura& leitura);

}  // namespace conversao
