#pragma once
// The state behind Connection and Recordset. Internal to platform/ado.
#include <QHash>
#include <memory>
#include <vector>

#include "platform/ado/ado.h"
#include "platform/ado/motor.h"

namespace ado {

namespace detail {
// Reaches the state behind the public classes, for the engines' own headers.
struct Acesso {
  static Motor* MotorDe(const Connection& c);
};
}  // namespace detail

struct Connection::Impl final : detail::Ouvinte {
  std::shared_ptr<detail::Motor> motor;
  // Scrollable recordsets open over this connection.
  std::vector<Recordset::Impl*> snapshots;
  bool gravando = false;  // AntesDeGravar came during the running statement

  bool Observa(QStringView tabela) const override;
  void AntesDeGravar() override;
  void Mudou(QStringView tabela, detail::IdLinha id) override;
  void MudouSemIds(QStringView tabela) override;
  // After a statement, whether it ran or failed: the recordsets it did not
  // change read the current state again.
  void DepoisDeGravar();
};

struct Recordset::Impl {
  using Valor = detail::Valor;
  enum class Mode { Closed, Forward, Snapshot } mode = Mode::Closed;

  // Column names of the rows, lower-cased name -> index.
  QStringList names;
  QHash<QString, int> index;
  bool bof = true, eof = true;

  // Forward-only: the statement's rows, and how many were stepped.
  std::unique_ptr<detail::Cursor> cursor;
  qsizetype pos = -1;

  // Scrollable: a read-only connection of its own and what the query means.
  Connection::Impl* conn = nullptr;
  std::unique_ptr<detail::Leitor> leitor;
  QString table, columns, where;  // where: the condition, or empty
  struct Termo {
    QString coluna;
    bool desc = false;
    bool nullable = true;
  };
  std::vector<Termo> ordem;  // the Order By columns; rowid follows

  // The current row: rowid, the Order By values, then the selected columns.
  std::vector<Valor> row;
  bool temLinha = false;  // row holds a row (also while past either end)

  // Counting and snapshot state. The count holds what other connections
  // committed up to version avisoVisto; the snapshot it was taken in (inst),
  // and the one of the last count of the connection's own changed rows since
  // (instProprio), tell which later notices it already holds.
  long count = 0;
  bool countValid = false;
  std::shared_ptr<const detail::Instantaneo> inst, instProprio;
  qint64 avisoVisto = -1;
  bool pinned = false;
  bool recount = false;
  detail::Ids changed;
  static constexpr size_t kMaxChanged = 10000;

  ~Impl() { Reset(); }
  void Reset();
  void Detach();
  void SetNames(const QStringList& all, int first);

  // Forward-only.
  void OpenCursor(std::unique_ptr<detail::Cursor> c);
  void StepForward();

  // Scrollable (posicao.cpp).
  void OpenSnapshot(const QString& source, Connection::Impl* c);
  QString SelectList() const;
  int FirstColumn() const { return 1 + int(ordem.size()); }
  bool ReadRow(const QString& cond, std::vector<const Valor*> params, bool reverse, const Valor* extra = nullptr);
  bool Step(bool forward, bool inclusive, const QString& extraCond = {}, const Valor* extra = nullptr);
  void First();
  void Last();
  void Move(bool forward);
  void Pin();
  void Unpin() noexcept;
  void Changed(detail::IdLinha rowid);
  void Requery();

  // Access.
  Valor& Column(int i);
  void CheckIndex(int i) const;
  void RequireOpen() const;
  void RequireSnapshot(const char* what) const;

 private:
  struct Alheias {
    bool conhecidas = false;  // false: count afresh
    qint64 soma = 0;
    int quantas = 0;
  };
  Alheias OutrasConexoes() const;
  void Recount(bool valid);
  long CountWhere(const QString& extra, const Valor* ids, std::shared_ptr<const detail::Instantaneo>* snap = nullptr);
  QString OrderBy(bool reverse) const;
};

}  // namespace ado
