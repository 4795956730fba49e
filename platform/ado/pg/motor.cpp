// The data objects' engine over a PostgreSQL server: the connection's
// statements, a forward-only cursor, a recordset's own session.
#include "platform/ado/erros.h"
#include "platform/ado/pg/pg.h"

namespace ado::detail {

namespace {

// A recordset's own session: autocommit reads, a REPEATABLE READ transaction
// while pinned.
class LeitorPg final : public Leitor {
 public:
  explicit LeitorPg(const QString& conninfo) : c_(conninfo) {}

  bool Linha(const QString& sql, const std::vector<const Valor*>& params, std::vector<Valor>* out) override {
    Resultado r = c_.Preparada(sql, params);
    if (PQntuples(r.r) == 0) return false;
    const int n = PQnfields(r.r);
    std::vector<Valor> fresh;
    fresh.reserve(size_t(n));
    for (int i = 0; i < n; ++i) fresh.push_back(ValorPg(r.r, 0, i));
    *out = std::move(fresh);
    return true;
  }

  QStringList Nomes(const QString& sql) override {
    c_.Garante();
    const QByteArray texto = TextoPg(sql, false).toUtf8();
    Resultado r(PQprepare(c_.Handle(), "", texto.constData(), 0, nullptr));
    Confere(c_.Handle(), r);
    Resultado d(PQdescribePrepared(c_.Handle(), ""));
    Confere(c_.Handle(), d);
    QStringList names;
    for (int i = 0; i < PQnfields(d.r); ++i) names << QString::fromUtf8(PQfname(d.r, i));
    return names;
  }

  QSet<QString> NaoNulas(const QString& table) override {
    const Valor nome = Valor::DeTexto(table.toUtf8());
    Resultado r = c_.Executa(QStringLiteral("Select lower(attname) From pg_attribute Where attrelid = to_regclass(?) "
                                            "And attnum > 0 And Not attisdropped And attnotnull"),
                             {&nome});
    QSet<QString> out;
    for (int i = 0; i < PQntuples(r.r); ++i) out.insert(QString::fromUtf8(PQgetvalue(r.r, i, 0)));
    return out;
  }

  void Fixa() override {
    if (PQtransactionStatus(c_.Handle()) == PQTRANS_INTRANS) return;
    c_.Garante();
    // The snapshot is taken by the first query of the transaction.
    Resultado r(PQexec(c_.Handle(), "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY; SELECT 1"));
    if (PQresultStatus(r.r) != PGRES_TUPLES_OK) {
      Solta();
      ThrowPg(c_.Handle(), r.r);
    }
  }

  void Solta() noexcept override {
    PGconn* c = c_.Handle();
    if (PQstatus(c) != CONNECTION_OK || PQtransactionStatus(c) == PQTRANS_IDLE) return;
    Resultado r(PQexec(c, PQtransactionStatus(c) == PQTRANS_INTRANS ? "COMMIT" : "ROLLBACK"));
  }

  long Conta(const QString& fromWhere, const std::vector<const Valor*>& params,
             std::shared_ptr<const Instantaneo>* snapshot) override {
    std::vector<Valor> r;
    const QString sql = QStringLiteral("Select count(*)") +
                        (snapshot ? QStringLiteral(", pg_current_snapshot() ") : QStringLiteral(" ")) + fromWhere;
    if (!Linha(sql, params, &r) || r.empty()) return 0;
    if (snapshot && r.size() > 1) {
      auto s = std::make_shared<InstantaneoPg>();
      if (s->Le(r[1].bytes)) *snapshot = std::move(s);
    }
    return long(r[0].i);
  }

  // Null comes first going up, as on the file (a server puts it last by default).
  QLatin1String Nulos(bool desc) const override {
    return desc ? QLatin1String(" Nulls Last") : QLatin1String(" Nulls First");
  }
  QString CondicaoIds() const override { return QStringLiteral("rowid = Any(?::bigint[])"); }
  Valor ParametroIds(const Ids& ids) const override { return ListaIds(ids, '{', '}'); }

 private:
  PgConexao c_;
};

// A statement's whole result, read at once; the session it came from is
// kept, to run it again.
class CursorPg final : public Cursor {
 public:
  CursorPg(std::shared_ptr<PgConexao> c, Resultado r, QString sql)
      : c_(std::move(c)), r_(std::move(r)), sql_(std::move(sql)) {}
  QStringList Nomes() const override {
    QStringList names;
    for (int i = 0; i < PQnfields(r_.r); ++i) names << QString::fromUtf8(PQfname(r_.r, i));
    return names;
  }
  bool Proxima() override {
    if (linha_ + 1 >= PQntuples(r_.r)) return false;
    ++linha_;
    return true;
  }
  Valor Campo(int col) const override { return ValorPg(r_.r, linha_, col); }
  bool CampoUtf8(int col, QByteArrayView* text) const override {
    if (PQgetisnull(r_.r, linha_, col)) {
      *text = {};
      return false;
    }
    *text = QByteArrayView(PQgetvalue(r_.r, linha_, col), PQgetlength(r_.r, linha_, col));
    return true;
  }
  void Reinicia() override {
    r_ = c_->Executa(sql_);
    linha_ = -1;
  }

 private:
  std::shared_ptr<PgConexao> c_;
  Resultado r_;
  QString sql_;
  int linha_ = -1;
};

class MotorPg final : public Motor {
 public:
  explicit MotorPg(const QString& conninfo) : pg_(std::make_shared<PgConexao>(conninfo)) {}

  void Escuta(Ouvinte* ouvinte) override { ouvinte_ = ouvinte; }
  QString Fonte() const override { return pg_->Fonte(); }
  bool Servidor() const override { return true; }
  QStringList Colunas(const QString& table) override { return pg_->Colunas(table); }

  // Before a statement that may write, the open recordsets pin their
  // snapshots; an Insert, Update or Delete of a watched table is given
  // "Returning rowid", so that they learn which rows it changed (as the
  // update hook tells on the file).
  std::unique_ptr<Cursor> Executa(const QString& sql) override {
    if (sql.trimmed().isEmpty()) Lanca(Falha::SemInstrucao);
    const ClassePg c = ClassificaPg(sql);
    if (c.le) return Linhas(pg_->Executa(sql), sql);
    const bool ids = !c.comRetorno.isEmpty() && ouvinte_ && ouvinte_->Observa(c.tabela);
    if (ouvinte_) ouvinte_->AntesDeGravar();
    Resultado r = pg_->Executa(ids ? c.comRetorno : sql);
    if (ids) {
      for (int i = 0; i < PQntuples(r.r); ++i)
        ouvinte_->Mudou(c.tabela, QByteArrayView(PQgetvalue(r.r, i, 0)).toLongLong());
      return nullptr;
    }
    if (ouvinte_ && QByteArrayView(PQcmdTuples(r.r)) != "0") ouvinte_->MudouSemIds(c.tabela);
    return Linhas(std::move(r), sql);
  }

  std::unique_ptr<Cursor> Consulta(const QString& sql) override {
    if (!ClassificaPg(sql).le) Lanca(Falha::NaoDevolveLinhas);
    auto rows = Linhas(pg_->Executa(sql), sql);
    if (!rows) Lanca(Falha::NaoDevolveLinhas);
    return rows;
  }

  void ConfereConsulta(const QString&) override {}
  std::unique_ptr<Leitor> NovoLeitor() override { return std::make_unique<LeitorPg>(pg_->Conninfo()); }

  bool EmTransacao() const override {
    const PGTransactionStatusType t = PQtransactionStatus(pg_->Handle());
    return t == PQTRANS_INTRANS || t == PQTRANS_INERROR;
  }
  qint64 VersaoAlheia(bool exata) override { return pg_->VersaoAlheia(exata); }
  bool AvisosDesde(qint64 desde, std::vector<Aviso>* out) const override { return pg_->AvisosDesde(desde, out); }

 private:
  std::unique_ptr<Cursor> Linhas(Resultado r, const QString& sql) {
    if (PQresultStatus(r.r) != PGRES_TUPLES_OK) return nullptr;
    return std::make_unique<CursorPg>(pg_, std::move(r), sql);
  }

  // Shared with the cursors, which may outlive the connection.
  std::shared_ptr<PgConexao> pg_;
  Ouvinte* ouvinte_ = nullptr;
};

}  // namespace

std::shared_ptr<Motor> AbreServidor(const QString& conninfo) { return std::make_shared<MotorPg>(conninfo); }

}  // namespace ado::detail
