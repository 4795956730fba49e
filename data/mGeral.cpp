#include "data/mGeral.h"

#include "data/acesso.h"
#include "data/clientes.h"
#include "data/conversao_inicio.h"
#include "platform/forms/msgbox.h"
#include "platform/ole/ole.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QRadioButton>
#include <QTextBrowser>
#include <QTextEdit>
#include <QWidget>

#include "platform/forms/window.h"

namespace mGeral {

std::shared_ptr<ado::Connection> cnConexao;
QString strSQL;
QString strCampos;
QString strValores;

namespace {
// A connection string value in double quotes, so that it may hold ";".
QString Cotado(const QString& valor) {
  return QLatin1Char('"') + QString(valor).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}
}  // namespace

void AbreBanco() {
  cnConexao = std::make_shared<ado::Connection>();
  cnConexao->CursorLocation = ado::adUseClient;
  const QString servidor = Servidor();
  if (!servidor.isEmpty())
    cnConexao->Open("Provider=PostgreSQL;Data Source=" + Cotado(servidor), "", "", -1);
  else {
    const QString arquivo = forms::ProgramFolder() + "/" + "ulmaro.mdb";
    try {
      conversao::OfereceNoInicio(arquivo);  // an Access file: its clients first
      cnConexao->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + Cotado(arquivo), "", "", -1);
    } catch (const ado::Error& e) {
      acesso::Explica(e, arquivo);  // a user outside the clients' group
    }
  }
  try {
    ConfereTabela();
  } catch (...) {
    cnConexao->Close();
    throw;
  }
}

QString Servidor() {
  const QString valor = qEnvironmentVariable("VT_SERVIDOR").trimmed();
  if (valor.isEmpty()) return {};
  // A bare name is a service of pg_service.conf.
  static const QRegularExpression nome(QStringLiteral("^[A-Za-z0-9_.-]+$"));
  if (nome.match(valor).hasMatch()) return QStringLiteral("service=") + valor;
  return valor;
}

void ConfereTabela() {
  constexpr long kErroSQL = 1;  // the provider's number for a missing table or column
  QStringList existentes;
  for (const QString& coluna : cnConexao->TableColumns(QStringLiteral("Clientes"))) existentes << coluna.toLower();
  if (existentes.isEmpty())
    throw ado::Error(kErroSQL,
                     QStringLiteral("A tabela Clientes não existe no banco de dados: ") + cnConexao->DataSource(),
                     QStringLiteral("no such table: Clientes"));
  QStringList faltam;
  QStringList exigidas = clientes::Colunas();
  // On a server the recordsets address rows by this column (on the file it is built in).
  if (cnConexao->IsServer()) exigidas << QStringLiteral("rowid");
  for (const QString& coluna : exigidas)
    if (!existentes.contains(coluna.toLower())) faltam << coluna;
  if (!faltam.isEmpty())
    throw ado::Error(kErroSQL,
                     QStringLiteral("A tabela Clientes não tem %1 %2")
                         .arg(faltam.size() == 1 ? QStringLiteral("a coluna") : QStringLiteral("as colunas"),
                              faltam.join(QStringLiteral(", "))),
                     QStringLiteral("table Clientes has no column named ") + faltam.join(QStringLiteral(", ")));
}

namespace {

// Text = ""
void LimpaTexto(QWidget* w) {
  if (auto* edit = qobject_cast<QLineEdit*>(w)) {
    edit->clear();  // a masked field shows its blanks, cursor at 0
  } else if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) {
    plain->clear();
  } else if (auto* rich = qobject_cast<QTextEdit*>(w); rich && !qobject_cast<QTextBrowser*>(w)) {
    rich->clear();
  }
}

// ListIndex = -1
void LimpaLista(QWidget* w) {
  if (auto* combo = qobject_cast<QComboBox*>(w)) combo->setCurrentIndex(-1);
}

// Value = False
void LimpaValor(QWidget* w) {
  auto* button = qobject_cast<QAbstractButton*>(w);
  if (!button || !(qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w))) return;
  if (auto* check = qobject_cast<QCheckBox*>(w); check && check->isTristate()) {
    check->setCheckState(Qt::Unchecked);
    return;
  }
  // An exclusive group refuses to uncheck its checked button; lift that for a moment.
  QButtonGroup* group = button->group();
  const bool groupExclusive = group && group->exclusive();
  const bool autoExclusive = button->autoExclusive();
  if (groupExclusive) group->setExclusive(false);
  button->setAutoExclusive(false);
  button->setChecked(false);
  button->setAutoExclusive(autoExclusive);
  if (groupExclusive) group->setExclusive(true);
}

void Mascara(QWidget& form, const char* name, const QString& vazio) {
  auto* edit = form.findChild<QLineEdit*>(QString::fromLatin1(name));
  if (!edit) return;
  if (edit->inputMask().isEmpty())
    edit->setText(vazio);
  else
    edit->clear();  // shows exactly vazio
}

}  // namespace

void LimpaCampos(QWidget& form) {
  // Each assignment that fails is skipped; nothing leaves this routine.
  const QList<QWidget*> controles = form.findChildren<QWidget*>();
  for (QWidget* w : controles) {
    for (auto passo : {LimpaTexto, LimpaLista, LimpaValor}) {
      try {
        passo(w);
      } catch (...) {
      }
    }
  }
  try {
    Mascara(form, "mskCEP", QStringLiteral("_____-___"));
  } catch (...) {
  }
  try {
    Mascara(form, "mskFone", QStringLiteral("____-____"));
  } catch (...) {
  }
}

qint16 SoNumeros(qint16 KeyAscii) {
  if (KeyAscii == 8) return KeyAscii;
  if (KeyAscii >= '0' && KeyAscii <= '9') return KeyAscii;
  return 0;
}

namespace {
// The component runtime's failures that a user can meet, in Portuguese.
QString DescricaoOle(long numero, const QString& original) {
  switch (static_cast<ole::HRESULT>(numero)) {
    case ole::REGDB_E_CLASSNOTREG:
      return QStringLiteral("Classe não registrada (o controle Trivex não foi encontrado): ") +
             original.section(QLatin1String(": "), 1);
    default:
      return original;
  }
}
}  // namespace

void RelataErro() {
  try {
    throw;
  } catch (const ado::Error& e) {
    // The provider's own text goes to the log; the user reads the description.
    if (e.NativeDescription() != e.Description())
      qWarning("Erro %ld: %s", e.Number(), qUtf8Printable(e.NativeDescription()));
    forms::ReportError(e.Number(), e.Description());
  } catch (const ole::Error& e) {
    const QString descricao = DescricaoOle(e.Number(), e.Description());
    if (descricao != e.Description()) qWarning("Erro %ld: %s", long(e.Number()), qUtf8Printable(e.Description()));
    forms::ReportError(e.Number(), descricao);
  } catch (const std::exception& e) {
    forms::ReportError(0, QString::fromLocal8Bit(e.what()));
  } catch (...) {
    forms::ReportError(0, QStringLiteral("Erro desconhecido"));
  }
}

}  // namespace mGeral
