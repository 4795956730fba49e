#pragma once
// What the data objects need from a database engine. Connection and
// Recordset keep one set of position, snapshot and counting rules over it;
// each engine (sqlite/, pg/) keeps its calls, its error mapping and its
// dialect behind it, and is chosen once, when the connection opens.
// Internal to platform/ado.
#include <QByteArray>
#include <QByteArrayView>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <unordered_set>
#include <vector>

namespace ado::detail {

// A row's id: the rowid of a file's table, the identity column rowid of the
// server's.
using IdLinha = qint64;
using Ids = std::unordered_set<IdLinha>;

// One value copied out of a result.
struct Valor {
  enum class Tipo : unsigned char { Nulo, Inteiro, Real, Texto, Blob };
  Tipo tipo = Tipo::Nulo;
  qint64 i = 0;
  double f = 0;
  QByteArray bytes;  // text (UTF-8) or blob

  static Valor DeTexto(QByteArray utf8) { return {Tipo::Texto, 0, 0, std::move(utf8)}; }
  QVariant ToVariant() const;
  // The value as UTF-8 text, valid while the value lives (numbers as their
  // text, kept in bytes); false for Null.
  bool Utf8(QByteArrayView* text);
};

// A text parameter listing ids: open, the ids joined by commas, close.
inline Valor ListaIds(const Ids& ids, char open, char close) {
  QByteArray lista(1, open);
  for (IdLinha id : ids) (lista.size() > 1 ? lista += ',' : lista) += QByteArray::number(id);
  return Valor::DeTexto(lista + close);
}

// The rows of one statement, read forward.
class Cursor {
 public:
  virtual ~Cursor() = default;
  virtual QStringList Nomes() const = 0;
  // Steps to the next row; false past the last one.
  virtual bool Proxima() = 0;
  virtual Valor Campo(int col) const = 0;
  // The current row's value as stored, valid until the next step; false for Null.
  virtual bool CampoUtf8(int col, QByteArrayView* text) const = 0;
  // Runs the statement again; the next step reads its first row. On a
  // failure the cursor stays as it was.
  virtual void Reinicia() = 0;
};

// What the server's snapshot of a count saw.
class Instantaneo {
 public:
  virtual ~Instantaneo() = default;
  // Whether a committed transaction's effects are in the snapshot.
  virtual bool Ve(quint64 transacao) const = 0;
};

// A statement of another connection that changed a table, as the engine
// learnt of it after its commit.
struct Aviso {
  QString tabela;         // empty: unknown (the connection was made again)
  bool comDelta = false;  // whether the change in row count is known
  qint64 delta = 0;
  quint64 transacao = 0;
};

// A recordset's own read-only connection: it runs the positioned queries and
// the counts, and pins a snapshot while its Connection writes. Queries use
// "?" for their parameters, in order.
class Leitor {
 public:
  virtual ~Leitor() = default;
  // Runs a query and copies its first row into out; false when it has none.
  virtual bool Linha(const QString& sql, const std::vector<const Valor*>& params, std::vector<Valor>* out) = 0;
  // The names of the columns a query returns (it is not run for its rows).
  virtual QStringList Nomes(const QString& sql) = 0;
  // The lower-cased names of the table's columns declared Not Null.
  virtual QSet<QString> NaoNulas(const QString& table) = 0;
  // Starts reading the current state as a snapshot kept until Solta.
  virtual void Fixa() = 0;
  virtual void Solta() noexcept = 0;
  // "Select count(*) " followed by fromWhere; with snapshot, also the
  // snapshot the count was taken in, where the engine has one.
  virtual long Conta(const QString& fromWhere, const std::vector<const Valor*>& params,
                     std::shared_ptr<const Instantaneo>* snapshot) = 0;

  // The dialect: how Null sorts, in the words to add after Asc or Desc so
  // that it comes first going up (as on the file); a condition true for the
  // rows whose rowid is in a set, with its one parameter.
  virtual QLatin1String Nulos(bool desc) const = 0;
  virtual QString CondicaoIds() const = 0;
  virtual Valor ParametroIds(const Ids& ids) const = 0;
};

// What a connection's statements do to the rows, as the engine learns it.
class Ouvinte {
 public:
  // Whether a recordset watches the table (so its changed rows are worth telling).
  virtual bool Observa(QStringView tabela) const = 0;
  // A statement that may write is about to run.
  virtual void AntesDeGravar() = 0;
  // It changed a row of tabela.
  virtual void Mudou(QStringView tabela, IdLinha id) = 0;
  // It changed rows of tabela without telling which (empty: of any table).
  virtual void MudouSemIds(QStringView tabela) = 0;

 protected:
  ~Ouvinte() = default;
};

// An open connection of one engine. Cursors it hands out keep what they need
// of it, so they outlive the Connection that closes it.
class Motor {
 public:
  virtual ~Motor() = default;
  // Told of what the connection's statements change; nullptr to stop.
  virtual void Escuta(Ouvinte* ouvinte) = 0;
  virtual QString Fonte() const = 0;
  virtual bool Servidor() const = 0;
  virtual QStringList Colunas(const QString& table) = 0;
  // Runs exactly one statement; one that returns rows gives its cursor,
  // standing before its first row.
  virtual std::unique_ptr<Cursor> Executa(const QString& sql) = 0;
  // A cursor over a query's rows, for a forward-only recordset; a statement
  // that returns no rows is refused and not run.
  virtual std::unique_ptr<Cursor> Consulta(const QString& sql) = 0;
  // Lets the engine judge a scrollable recordset's source first, so that its
  // own words report a bad query.
  virtual void ConfereConsulta(const QString& sql) = 0;
  virtual std::unique_ptr<Leitor> NovoLeitor() = 0;
  virtual bool EmTransacao() const = 0;
  // Grows with other connections' commits. exata: every commit finished
  // before the call is counted (a round trip); else what has arrived.
  virtual qint64 VersaoAlheia(bool exata) = 0;
  // The commits the version counted after version desde, when the engine can
  // tell them one by one; false when it cannot.
  virtual bool AvisosDesde(qint64 desde, std::vector<Aviso>* out) const = 0;
};

// The engines. A file: the checks before opening, as Connection::Open says.
std::shared_ptr<Motor> AbreArquivo(const QString& path, bool readOnly);
std::shared_ptr<Motor> AbreServidor(const QString& conninfo);

}  // namespace ado::detail
