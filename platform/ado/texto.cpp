#include "platform/ado/texto.h"

#include <QRegularExpression>

#include "platform/ado/erros.h"

namespace ado::detail {

QHash<QString, QString> LeConexao(const QString& text) {
  QHash<QString, QString> out;
  qsizetype i = 0;
  const qsizetype n = text.size();
  auto invalid = [&] { Lanca(Falha::ConexaoInvalida, {text}); };
  while (i < n) {
    const qsizetype eq = text.indexOf(QLatin1Char('='), i);
    const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
    if (eq < 0 || (semi >= 0 && semi < eq)) {
      const QString part = text.mid(i, (semi < 0 ? n : semi) - i);
      if (!part.trimmed().isEmpty()) invalid();
      if (semi < 0) break;
      i = semi + 1;
      continue;
    }
    const QString key = text.mid(i, eq - i).trimmed().toLower();
    i = eq + 1;
    while (i < n && text[i].isSpace()) ++i;
    QString value;
    if (i < n && text[i] == QLatin1Char('"')) {
      ++i;
      for (;;) {
        if (i >= n) invalid();
        if (text[i] == QLatin1Char('"')) {
          if (i + 1 < n && text[i + 1] == QLatin1Char('"')) {
            value += QLatin1Char('"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += text[i++];
      }
      while (i < n && text[i].isSpace()) ++i;
      if (i < n && text[i] != QLatin1Char(';')) invalid();
    } else {
      const qsizetype end = semi < 0 ? n : semi;
      value = text.mid(i, end - i).trimmed();
      i = end;
    }
    out.insert(key, value);
    if (i < n) ++i;  // the ';'
  }
  return out;
}

QString SemLiterais(const QString& text) {
  static const QRegularExpression literal(QStringLiteral("'(?:[^']|'')*'|\"(?:[^\"]|\"\")*\""));
  QString bare = text;
  for (auto it = literal.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    bare.replace(m.capturedStart(), m.capturedLength(), QString(m.capturedLength(), QLatin1Char(' ')));
  }
  return bare;
}

void RecusaNul(const QString& text) {
  if (text.contains(QChar(0))) Lanca(Falha::ComNul);
}

Consulta LeConsulta(const QString& source) {
  static const QRegularExpression select(
      QStringLiteral("^\\s*select\\s+(.+?)\\s+from\\s+([A-Za-z_][A-Za-z0-9_]*)"
                     "(?:\\s+((?:where|order\\s+by)\\b.*?))?\\s*;?\\s*$"),
      QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
  static const QRegularExpression refused(
      QStringLiteral("\\b(group\\s+by|union|intersect|except|limit|join|offset)\\b"),
      QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression nested(QStringLiteral("\\bfrom\\b|\\("), QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression orderBy(QStringLiteral("\\border\\s+by\\b"),
                                          QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression whereWord(QStringLiteral("^where\\b"), QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression term(
      QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*|\\[[^\\]]+\\]|\"(?:[^\"]|\"\")+\")(?:\\s+(asc|desc))?\\s*$"),
      QRegularExpression::CaseInsensitiveOption);
  auto notSimple = [&] { Lanca(Falha::NaoSimples, {source}); };

  const auto m = select.match(source);
  if (!m.hasMatch()) notSimple();
  const QString rest = m.captured(3);
  // Clauses are looked for outside literals and quoted names only.
  const QString bare = SemLiterais(rest);
  if (m.captured(1).contains(nested) || refused.match(bare).hasMatch()) notSimple();
  Consulta c;
  c.colunas = m.captured(1);
  c.tabela = m.captured(2);
  QString order;
  const auto om = orderBy.match(bare);
  if (om.hasMatch()) {
    if (bare.indexOf(orderBy, om.capturedEnd()) >= 0) notSimple();
    c.condicao = rest.left(om.capturedStart()).trimmed();
    order = rest.mid(om.capturedEnd()).trimmed();
  } else {
    c.condicao = rest.trimmed();
  }
  if (!c.condicao.isEmpty()) {
    if (!c.condicao.contains(whereWord)) notSimple();
    c.condicao = c.condicao.mid(5).trimmed();
  }
  if (order.endsWith(QLatin1Char(';'))) order.chop(1);
  if (!order.isEmpty()) {
    for (const QString& t : order.split(QLatin1Char(','))) {
      const auto tm = term.match(t);
      if (!tm.hasMatch()) notSimple();
      c.ordem.push_back({tm.captured(1), tm.captured(2).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0});
    }
  }
  return c;
}

QString SemAspas(const QString& name) {
  if (name.startsWith(QLatin1Char('[')) || name.startsWith(QLatin1Char('"'))) return name.mid(1).chopped(1);
  return name;
}

std::pair<QString, QString> LeCriterio(const QString& criteria) {
  static const QRegularExpression re(QStringLiteral("^\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*=\\s*'((?:[^']|'')*)'\\s*$"),
                                     QRegularExpression::DotMatchesEverythingOption);
  const auto m = re.match(criteria);
  if (!m.hasMatch() || criteria.contains(QChar(0))) Lanca(Falha::CriterioFind, {criteria});
  return {m.captured(1), m.captured(2).replace(QLatin1String("''"), QLatin1String("'"))};
}

}  // namespace ado::detail
