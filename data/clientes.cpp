#include "data/clientes.h"

#include <QDate>
#include <QTime>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <cmath>

namespace clientes {

namespace {
QString Texto(const QString& value) { return QLatin1Char('\'') + Aspas(value) + QLatin1Char('\''); }

QString Numero(const QString& value, const char* column) {
  if (!SoDigitos(value)) throw CampoNaoNumerico(QString::fromLatin1(column));
  return value;
}

QString SexoSQL(const QString& sexo) {
  return Texto(sexo == QLatin1String("Masculino") ? QStringLiteral("M") : QStringLiteral("F"));
}
}  // namespace

CampoNaoNumerico::CampoNaoNumerico(const QString& column)
    : std::invalid_argument((column + QLatin1String(" must hold digits only")).toStdString()),
      column_(column) {}

QString Aspas(const QString& value) {
  QString out = value;
  out.replace(QLatin1Char('\''), QLatin1String("''"));
  return out;
}

bool SoDigitos(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar ch : text)
    if (ch < QLatin1Char('0') || ch > QLatin1Char('9')) return false;
  return true;
}

bool Opcional(const QString& coluna) {
  static const QSet<QString> opcionais = {"Hobby", "Complemento", "Bairro", "Email", "Obs"};
  return opcionais.contains(coluna);
}

QString Recusa(const QString& coluna, QVariant& valor) {
  if (valor.isNull()) return Opcional(coluna) ? QString() : coluna + QStringLiteral(" sem valor");
  const QString texto = valor.toString();
  if (coluna == QLatin1String("Num") || coluna == QLatin1String("DDD")) {
    bool ok = false;
    qint64 n = 0;
    switch (valor.typeId()) {
      case QMetaType::LongLong: case QMetaType::Int: case QMetaType::UInt: n = valor.toLongLong(&ok); break;
      case QMetaType::Double: ok = std::trunc(valor.toDouble()) == valor.toDouble() && std::fabs(valor.toDouble()) < 1e15;
        n = qint64(valor.toDouble()); break;
      case QMetaType::QString: if (SoDigitos(texto)) n = texto.toLongLong(&ok); break;
      default: break;
    }
    if (!ok) return coluna + QStringLiteral(" não é um número inteiro: '") + texto + QLatin1Char('\'');
    valor = n;
    return {};
  }
  if (texto.contains(QChar(0))) return coluna + QStringLiteral(" tem um caractere NUL, que o servidor não guarda");
  if (coluna == QLatin1String("DataCadastro")) {
    // A moment in UTC: valid as a calendar date and a time of day, whatever the local clock skipped.
    static const QRegularExpression data(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})(\\.\\d{1,3})?$"));
    const QRegularExpressionMatch m = data.match(texto);
    const auto n = [&m](int i) { return m.capturedView(i).toInt(); };
    if (!m.hasMatch() || !QDate::isValid(n(1), n(2), n(3)) || !QTime::isValid(n(4), n(5), n(6)))
      return QStringLiteral("DataCadastro não é uma data válida: '") + texto + QLatin1Char('\'');
  }
  return {};
}

const QStringList& Colunas() {
  static const QStringList colunas = {
      QStringLiteral("CPFCod"),      QStringLiteral("Nome"),     QStringLiteral("Sexo"),
      QStringLiteral("Hobby"),       QStringLiteral("CEP"),      QStringLiteral("Endereco"),
      QStringLiteral("Num"),         QStringLiteral("Complemento"), QStringLiteral("Bairro"),
      QStringLiteral("Cidade"),      QStringLiteral("UF"),       QStringLiteral("DDD"),
      QStringLiteral("Fone"),        QStringLiteral("Email"),    QStringLiteral("Obs"),
      QStringLiteral("DataCadastro")};
  return colunas;
}

QString SelectBrowse() { return QStringLiteral("Select * From Clientes ") + QStringLiteral("Order By DataCadastro"); }

QString InsertSQL(const Cliente& c) {
  const QString num = Numero(c.Num, "Num");
  const QString ddd = Numero(c.DDD, "DDD");
  const QString campos = QStringLiteral(
      "CPFCod,Nome,Sexo,Hobby,CEP,Endereco,Num,Complemento,Bairro,Cidade,UF,DDD,Fone,Email,Obs");
  const QStringList valores = {Texto(c.CPFCod), Texto(c.Nome),        SexoSQL(c.Sexo),
                               Texto(c.Hobby),  Texto(c.CEP),         Texto(c.Endereco),
                               num,             Texto(c.Complemento), Texto(c.Bairro),
                               Texto(c.Cidade), Texto(c.UF),          ddd,
                               Texto(c.Fone),   Texto(c.Email),       Texto(c.Obs)};
  return QStringLiteral("Insert Into Clientes (") + campos + QStringLiteral(") Values ( ") +
         valores.join(QLatin1Char(',')) + QStringLiteral(")");
}

QString UpdateSQL(const Cliente& c) {
  const QString num = Numero(c.Num, "Num");
  const QString ddd = Numero(c.DDD, "DDD");
  const QStringList sets = {
      "Nome = " + Texto(c.Nome),   "Sexo = " + SexoSQL(c.Sexo),
      "Hobby = " + Texto(c.Hobby), "CEP = " + Texto(c.CEP),
      "Endereco = " + Texto(c.Endereco), "Num = " + num,
      "Complemento = " + Texto(c.Complemento), "Bairro = " + Texto(c.Bairro),
      "Cidade = " + Texto(c.Cidade), "UF = " + Texto(c.UF),
      "DDD = " + ddd,               "Fone = " + Texto(c.Fone),
      "Email = " + Texto(c.Email), "Obs = " + Texto(c.Obs)};
  return QStringLiteral("Update Clientes Set ") + sets.join(QLatin1Char(',')) + QStringLiteral(" ") +
         QStringLiteral("Where CPFCod = ") + Texto(c.CPFCod);
}

QString DeleteSQL(const QString& cpfCod) {
  return QStringLiteral("Delete From Clientes where CPFCod = ") + Texto(cpfCod);
}

QString CriterioChave(const QString& cpfCod) { return QStringLiteral("CPFCod = ") + Texto(cpfCod); }

QString CriterioBusca(Campo campo, bool contem, const QString& texto) {
  const QString nome = campo == Campo::CPFCod ? QStringLiteral("CPFCod")
                       : campo == Campo::Nome ? QStringLiteral("Nome")
                                              : QStringLiteral("Fone");
  if (contem) return nome + QStringLiteral(" Like '%") + Aspas(texto) + QStringLiteral("%'");
  return nome + QStringLiteral(" = ") + Texto(texto);
}

QString SelectBusca(const QString& criterio) {
  return QStringLiteral("Select CPFCod,Nome,Fone From Clientes ") + QStringLiteral("Where ") + criterio;
}

}  // namespace clientes
