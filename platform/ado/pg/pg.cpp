#include "platform/ado/pg/pg.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include "platform/ado/ado.h"
#include "platform/ado/erros.h"
#include "platform/ado/texto.h"

namespace ado::detail {

namespace {

// Type oids of the server's built-in types (pg_type.dat).
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700, kTimestamp = 1114;

QString Campo(const PGresult* r, int field) {
  const char* v = r ? PQresultErrorField(r, field) : nullptr;
  return v ? QString::fromUtf8(v) : QString();
}

// The first quoted name in a server message ("relation \"x\" does not exist").
QString Citado(const QString& msg) {
  static const QRegularExpression re(QStringLiteral("\"([^\"]*)\""));
  const auto m = re.match(msg);
  return m.hasMatch() ? m.captured(1) : msg;
}

bool ConexaoPerdida(PGconn* c, const PGresult* r) {
  if (!c || PQstatus(c) != CONNECTION_OK) return true;
  const QString state = Campo(r, PG_DIAG_SQLSTATE);
  return !r || state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P"));
}

}  // namespace

[[noreturn]] void ThrowPg(PGconn* c, const PGresult* r, const QString& context) {
  QString native = r ? Campo(r, PG_DIAG_MESSAGE_PRIMARY) : QString();
  if (native.isEmpty()) native = QString::fromUtf8(c ? PQerrorMessage(c) : "out of memory").trimmed();
  const QString state = Campo(r, PG_DIAG_SQLSTATE);
  if (!state.isEmpty()) native = state + QLatin1String(": ") + native;
  auto classe = [&](const char* prefix) { return state.startsWith(QLatin1String(prefix)); };
  Falha f = Falha::Outra;
  QStringList args;
  if (ConexaoPerdida(c, r)) {
    f = Falha::ConexaoPerdida;
  } else if (state == QLatin1String("23505")) {
    f = Falha::ValorRepetido;
    args << Campo(r, PG_DIAG_CONSTRAINT_NAME);
  } else if (state == QLatin1String("23502")) {
    f = Falha::SemValor;
    args << Campo(r, PG_DIAG_COLUMN_NAME);
  } else if (classe("23") || classe("22")) {
    f = classe("23") ? Falha::ValorRecusado : Falha::ValorInvalido;
    args << native;
  } else if (state == QLatin1String("42P01") || state == QLatin1String("42703")) {
    f = state == QLatin1String("42P01") ? Falha::SemTabela : Falha::SemColuna;
    args << Citado(native);
  } else if (state == QLatin1String("42601") &&
             Campo(r, PG_DIAG_SOURCE_FUNCTION) == QLatin1String("exec_parse_message")) {
    f = Falha::MaisDeUma;
  } else if (state == QLatin1String("42601")) {
    f = Falha::Sintaxe;
    args << native;
  } else if (state == QLatin1String("55P03") || classe("40")) {
    f = Falha::Bloqueado;
  } else if (classe("53")) {
    f = Falha::ServidorSemEspaco;
  } else if (state == QLatin1String("42501")) {
    f = Falha::SemPermissao;
  } else {
    args << native;
  }
  Lanca(f, args, native, 0, context);
}

QString TextoPg(const QString& s, bool params) {
  QString out;
  out.reserve(s.size() + 16);
  const qsizetype n = s.size();
  qsizetype i = 0;
  int param = 0;
  bool depoisDeLike = false;
  qsizetype fimPadrao = -1;  // in out, just after a Like pattern still to be given Escape
  auto fechaPadrao = [&](bool escape) {
    if (fimPadrao >= 0 && !escape) out.insert(fimPadrao, QLatin1String(" Escape ''"));
    fimPadrao = -1;
  };
  auto copiaAte = [&](qsizetype fim) {
    out += QStringView(s).mid(i, fim - i);
    i = fim;
  };
  while (i < n) {
    const QChar c = s[i];
    const QChar next = i + 1 < n ? s[i + 1] : QChar();
    if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
      qsizetype j = i + 1;
      while (j < n) {
        if (s[j] == c) {
          if (j + 1 < n && s[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      fechaPadrao(false);
      copiaAte(std::min(j + 1, n));
      if (c == QLatin1Char('\'') && depoisDeLike) fimPadrao = out.size();
      depoisDeLike = false;
    } else if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
      const qsizetype fim = s.indexOf(QLatin1Char('\n'), i);
      copiaAte(fim < 0 ? n : fim);
    } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
      const qsizetype fim = s.indexOf(QLatin1String("*/"), i + 2);
      copiaAte(fim < 0 ? n : fim + 2);
    } else if (c.isSpace()) {
      copiaAte(i + 1);
    } else if (c.isLetter() || c == QLatin1Char('_')) {
      qsizetype j = i + 1;
      while (j < n && (s[j].isLetterOrNumber() || s[j] == QLatin1Char('_') || s[j] == QLatin1Char('$'))) ++j;
      const QStringView word = QStringView(s).mid(i, j - i);
      fechaPadrao(word.compare(QLatin1String("escape"), Qt::CaseInsensitive) == 0);
      depoisDeLike = word.compare(QLatin1String("like"), Qt::CaseInsensitive) == 0 ||
                     word.compare(QLatin1String("ilike"), Qt::CaseInsensitive) == 0;
      copiaAte(j);
    } else {
      fechaPadrao(false);
      depoisDeLike = false;
      if (c == QLatin1Char('?') && params) {
        out += QLatin1Char('$') + QString::number(++param);
        ++i;
      } else {
        copiaAte(i + 1);
      }
    }
  }
  fechaPadrao(false);
  return out;
}

ClassePg ClassificaPg(const QString& sql) {
  static const QRegularExpression reads(QStringLiteral("^\\s*(select|values|table|show|explain)\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression writes(
      QStringLiteral("^\\s*(?:insert\\s+into|update|delete\\s+from)\\s+([A-Za-z_][A-Za-z0-9_]*)\\b"),
      QRegularExpression::CaseInsensitiveOption);
  // What could make an added Returning clause wrong or hidden.
  static const QRegularExpression unsafe(QStringLiteral("\\breturning\\b|--|/\\*|;\\s*\\S"),
                                         QRegularExpression::CaseInsensitiveOption);
  ClassePg c;
  if (sql.contains(reads)) {
    c.le = true;
    return c;
  }
  const auto m = writes.match(sql);
  if (!m.hasMatch()) return c;
  c.tabela = m.captured(1);
  if (SemLiterais(sql).contains(unsafe)) return c;
  c.comRetorno = sql;
  while (c.comRetorno.endsWith(QLatin1Char(';')) || (!c.comRetorno.isEmpty() && c.comRetorno.back().isSpace()))
    c.comRetorno.chop(1);
  c.comRetorno += QLatin1String(" Returning rowid");
  return c;
}

Valor ValorPg(const PGresult* r, int row, int col) {
  Valor v;
  if (PQgetisnull(r, row, col)) return v;
  const char* p = PQgetvalue(r, row, col);
  const int len = PQgetlength(r, row, col);
  switch (PQftype(r, col)) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
      v.tipo = Valor::Tipo::Inteiro;
      v.i = QByteArrayView(p, len).toLongLong();
      break;
    case kBool:
      v.tipo = Valor::Tipo::Inteiro;
      v.i = len > 0 && p[0] == 't';
      break;
    case kFloat4:
    case kFloat8:
    case kNumeric:
      v.tipo = Valor::Tipo::Real;
      v.f = QByteArrayView(p, len).toDouble();
      break;
    case kBytea: {
      size_t n = 0;
      unsigned char* b = PQunescapeBytea(reinterpret_cast<const unsigned char*>(p), &n);
      v.tipo = Valor::Tipo::Blob;
      v.bytes = QByteArray(reinterpret_cast<const char*>(b), qsizetype(n));
      PQfreemem(b);
      break;
    }
    case kTimestamp: {
      // The server drops trailing zeros of the fraction; the file keeps three.
      v.tipo = Valor::Tipo::Texto;
      v.bytes = QByteArray(p, len);
      const qsizetype dot = v.bytes.indexOf('.');
      if (dot < 0)
        v.bytes += ".000";
      else if (v.bytes.size() - dot - 1 < 3)
        v.bytes += QByteArray(3 - (v.bytes.size() - dot - 1), '0');
      break;
    }
    default:
      v.tipo = Valor::Tipo::Texto;
      v.bytes = QByteArray(p, len);
  }
  return v;
}

// ---------------------------------------------------------------- PgConexao

namespace {

QString SemSenha(const QString& conninfo) {
  char* err = nullptr;
  PQconninfoOption* opts = PQconninfoParse(conninfo.toUtf8().constData(), &err);
  if (err) PQfreemem(err);
  if (!opts) return QStringLiteral("(conexão ao servidor)");
  QStringList parts;
  for (PQconninfoOption* o = opts; o->keyword; ++o) {
    if (!o->val || !*o->val) continue;
    const QByteArray k = o->keyword;
    if (k == "service" || k == "host" || k == "hostaddr" || k == "port" || k == "dbname" || k == "user")
      parts << QString::fromUtf8(k) + QLatin1Char('=') + QString::fromUtf8(o->val);
  }
  PQconninfoFree(opts);
  return parts.join(QLatin1Char(' '));
}

}  // namespace

PgConexao::PgConexao(const QString& conninfo) : conninfo_(conninfo) {
  const QByteArray info = conninfo.toUtf8();
  // The connection string's own values win over the defaults before it;
  // the encoding after it is the program's.
  // The server lists the session under the program's name.
  const QString nome = QCoreApplication::applicationName();
  const QByteArray programa = nome.isEmpty() ? QByteArray("VaskorTorvana") : nome.toUtf8();
  const char* keys[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
  const char* values[] = {"10", programa.constData(), info.constData(), "UTF8", nullptr};
  c_ = PQconnectdbParams(keys, values, 1);
  if (!c_ || PQstatus(c_) != CONNECTION_OK) {
    const QString native = QString::fromUtf8(c_ ? PQerrorMessage(c_) : "out of memory").trimmed();
    PQfinish(c_);
    c_ = nullptr;
    Lanca(Falha::SemServidor, {SemSenha(conninfo)}, native);
  }
  // The server's notices (a session ended by a restart, ...) are not the program's output.
  PQsetNoticeProcessor(c_, [](void*, const char*) {}, nullptr);
  try {
    Ajusta();
  } catch (...) {
    PQfinish(c_);
    c_ = nullptr;
    throw;
  }
}

PgConexao::~PgConexao() { PQfinish(c_); }

QString PgConexao::Fonte() const {
  if (!c_) return SemSenha(conninfo_);
  return QStringLiteral("%1 em %2:%3")
      .arg(QString::fromUtf8(PQdb(c_)), QString::fromUtf8(PQhost(c_)), QString::fromUtf8(PQport(c_)));
}

void PgConexao::Ajusta() {
  const char* scs = PQparameterStatus(c_, "standard_conforming_strings");
  if (!scs || qstrcmp(scs, "on") != 0)
    Lanca(Falha::ServidorMalAjustado, {},
          QStringLiteral("standard_conforming_strings is %1").arg(QString::fromLatin1(scs ? scs : "unknown")));
  Resultado r(PQexec(c_, "SET DateStyle = 'ISO, YMD'; SET TimeZone = 'UTC'; LISTEN vt_mudou"));
  if (PQresultStatus(r.r) != PGRES_COMMAND_OK) ThrowPg(c_, r.r);
  preparadas_.clear();
}

bool InstantaneoPg::Le(QByteArrayView texto) {
  const QList<QByteArray> partes = texto.toByteArray().split(':');
  if (partes.size() != 3) return false;
  bool ok1 = false, ok2 = false;
  xmin = partes[0].toULongLong(&ok1);
  xmax = partes[1].toULongLong(&ok2);
  if (!ok1 || !ok2 || xmin > xmax) return false;
  emCurso.clear();
  if (partes[2].isEmpty()) return true;
  for (const QByteArray& x : partes[2].split(',')) {
    bool ok = false;
    emCurso.push_back(x.toULongLong(&ok));
    if (!ok) return false;
  }
  return true;
}

bool InstantaneoPg::Ve(quint64 xid) const {
  if (xid < xmin) return true;
  if (xid >= xmax) return false;
  return std::find(emCurso.begin(), emCurso.end(), xid) == emCurso.end();
}

namespace {
// "<table> <change in count> <transaction> <statement>" from the server
// schema's trigger; a bare table name from an older one.
Aviso LeAviso(QByteArrayView payload) {
  Aviso a;
  const QList<QByteArray> partes = payload.toByteArray().split(' ');
  a.tabela = QString::fromUtf8(partes[0]);
  if (partes.size() != 4) return a;
  bool ok1 = false, ok2 = false, ok3 = false;
  a.delta = partes[1].toLongLong(&ok1);
  a.transacao = partes[2].toULongLong(&ok2);
  partes[3].toLongLong(&ok3);
  a.comDelta = ok1 && ok2 && ok3 && !a.tabela.isEmpty();
  return a;
}
}  // namespace

void PgConexao::Anota(Aviso a) {
  ++alheia_;
  avisos_.push_back(std::move(a));
  if (avisos_.size() > kAvisos) avisos_.pop_front();
}

void PgConexao::LeAvisos() {
  const int eu = PQbackendPID(c_);
  while (PGnotify* n = PQnotifies(c_)) {
    if (n->be_pid != eu) Anota(LeAviso(QByteArrayView(n->extra)));
    PQfreemem(n);
  }
}

bool PgConexao::AvisosDesde(qint64 desde, std::vector<Aviso>* out) const {
  out->clear();
  const qint64 primeiro = alheia_ - qint64(avisos_.size()) + 1;
  if (desde + 1 < primeiro || desde > alheia_) return false;
  for (qint64 k = desde + 1; k <= alheia_; ++k) out->push_back(avisos_[size_t(k - primeiro)]);
  return true;
}

void PgConexao::Garante() {
  if (PQstatus(c_) == CONNECTION_OK && PQtransactionStatus(c_) == PQTRANS_IDLE) {
    // Reads what arrived while idle: notifications, or the server's goodbye.
    for (int i = 0; i < 2 && PQstatus(c_) == CONNECTION_OK; ++i) {
      if (!PQconsumeInput(c_)) break;
      LeAvisos();
    }
  }
  if (PQstatus(c_) == CONNECTION_OK) return;
  PQreset(c_);
  if (PQstatus(c_) != CONNECTION_OK)
    Lanca(Falha::SemServidor, {Fonte()}, QString::fromUtf8(PQerrorMessage(c_)).trimmed());
  Anota({});  // what others did meanwhile is unknown
  Ajusta();
}

namespace {
struct Parametros {
  std::vector<QByteArray> textos;
  std::vector<const char*> valores;
  std::vector<int> tamanhos, formatos;
  explicit Parametros(const std::vector<const Valor*>& ps) {
    textos.reserve(ps.size());
    for (const Valor* v : ps) {
      int formato = 0;
      switch (v ? v->tipo : Valor::Tipo::Nulo) {
        case Valor::Tipo::Nulo: textos.emplace_back(); break;
        case Valor::Tipo::Inteiro: textos.push_back(QByteArray::number(v->i)); break;
        case Valor::Tipo::Real: textos.push_back(QByteArray::number(v->f, 'g', 17)); break;
        case Valor::Tipo::Blob: textos.push_back(v->bytes); formato = 1; break;
        case Valor::Tipo::Texto: textos.push_back(v->bytes); break;
      }
      formatos.push_back(formato);
    }
    for (size_t k = 0; k < ps.size(); ++k) {
      const bool nulo = !ps[k] || ps[k]->tipo == Valor::Tipo::Nulo;
      valores.push_back(nulo ? nullptr : textos[k].constData());
      tamanhos.push_back(int(textos[k].size()));
    }
  }
};

}  // namespace

void Confere(PGconn* c, const Resultado& r) {
  const ExecStatusType st = PQresultStatus(r.r);
  if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK && st != PGRES_EMPTY_QUERY) ThrowPg(c, r.r);
}

Resultado PgConexao::Executa(const QString& sql, const std::vector<const Valor*>& params) {
  Garante();
  const QByteArray texto = TextoPg(sql, !params.empty()).toUtf8();
  Parametros p(params);
  Resultado r(PQexecParams(c_, texto.constData(), int(params.size()), nullptr, p.valores.data(), p.tamanhos.data(),
                           p.formatos.data(), 0));
  Confere(c_, r);
  LeAvisos();
  return r;
}

Resultado PgConexao::Preparada(const QString& sql, const std::vector<const Valor*>& params) {
  Garante();
  auto it = preparadas_.find(sql);
  if (it == preparadas_.end()) {
    const QByteArray nome = "vt" + QByteArray::number(preparadas_.size() + 1);
    const QByteArray texto = TextoPg(sql, true).toUtf8();
    Resultado r(PQprepare(c_, nome.constData(), texto.constData(), 0, nullptr));
    Confere(c_, r);
    it = preparadas_.insert(sql, nome);
  }
  Parametros p(params);
  Resultado r(PQexecPrepared(c_, it.value().constData(), int(params.size()), p.valores.data(), p.tamanhos.data(),
                             p.formatos.data(), 0));
  Confere(c_, r);
  return r;
}

qint64 PgConexao::VersaoAlheia(bool exata) {
  // A round trip: the server hands over every notification of a commit that
  // finished before it.
  if (exata)
    Executa(QStringLiteral(""));
  else if (PQstatus(c_) == CONNECTION_OK && PQconsumeInput(c_))
    LeAvisos();
  return alheia_;
}

QStringList PgConexao::Colunas(const QString& table) {
  const Valor nome = Valor::DeTexto(table.toUtf8());
  Resultado r = Executa(QStringLiteral("Select attname From pg_attribute Where attrelid = to_regclass(?) "
                                       "And attnum > 0 And Not attisdropped Order By attnum"),
                        {&nome});
  QStringList out;
  for (int i = 0; i < PQntuples(r.r); ++i) out << QString::fromUtf8(PQgetvalue(r.r, i, 0));
  return out;
}

}  // namespace ado::detail
