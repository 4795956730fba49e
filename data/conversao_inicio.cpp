#include "data/conversao_inicio.h"

#include <QFileInfo>
#include <QProgressDialog>

#include "data/conversao.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "platform/jet/jet.h"

namespace conversao {

void OfereceNoInicio(const QString& arquivo) {
  if (jet::FormatoDe(arquivo) == jet::Formato::Nenhum) return;
  const QString nome = QFileInfo(arquivo).fileName();
  if (forms::MsgBox(QStringLiteral("O arquivo %1 é um banco de dados do Access.\n\nConverter os clientes dele agora? "
                                   "O arquivo do Access fica guardado, sem mudança, ao lado do novo %1.")
                        .arg(nome),
                    forms::vbYesNo | forms::vbQuestion) != forms::vbYes)
    throw ado::Error(26, QStringLiteral("O arquivo %1 é um banco de dados do Access; os clientes não foram "
                                        "convertidos. Para convertê-los: %2/ulmaro-migra access-para-arquivo \"%1\"")
                             .arg(arquivo, forms::ProgramFolder()));

  QProgressDialog dialogo(QStringLiteral("Lendo os clientes do Access..."), QStringLiteral("Cancelar"), 0, 0);
  dialogo.setWindowTitle(forms::AppTitle());
  dialogo.setWindowModality(Qt::ApplicationModal);
  dialogo.setMinimumDuration(0);
  dialogo.setAutoReset(false);
  dialogo.setAutoClose(false);
  dialogo.setValue(0);
  const auto progresso = [&](qint64 feitos, qint64 total) {
    dialogo.setMaximum(int(qMax<qint64>(total, 1)));
    dialogo.setValue(int(feitos));
    return !dialogo.wasCanceled();
  };
  const Leitura leitura = Le(arquivo, progresso);
  if (const QStringList recusas = leitura.Recusas(); !recusas.isEmpty()) {
    for (const QString& r : recusas) qWarning("Recusado %s", qUtf8Printable(r));
    QStringList lista = recusas.mid(0, 10);
    if (recusas.size() > 10) lista << QStringLiteral("... e mais %1").arg(recusas.size() - 10);
    if (forms::MsgBox(QStringLiteral("%1 dos %2 clientes do Access não podem ser convertidos:\n\n%3\n\nConverter os "
                                     "outros %4 sem eles? Eles continuam no arquivo do Access, que fica guardado.")
                          .arg(recusas.size())
                          .arg(leitura.linhas.size())
                          .arg(lista.join(QLatin1Char('\n')))
                          .arg(leitura.Aceitas()),
                      forms::vbYesNo | forms::vbExclamation | forms::vbDefaultButton2) != forms::vbYes)
      throw ado::Error(19, QStringLiteral("Os clientes não foram convertidos: %1 clientes do Access foram recusados "
                                          "(%2). Nada foi mudado.")
                               .arg(recusas.size())
                               .arg(recusas.first()));
  }
  dialogo.setLabelText(QStringLiteral("Gravando o novo %1...").arg(nome));
  const QString guardado = Substitui(leitura, progresso);
  dialogo.close();
  QString texto = QStringLiteral("%1 clientes convertidos. O arquivo do Access ficou guardado como %2.")
                      .arg(leitura.Aceitas())
                      .arg(QFileInfo(guardado).fileName());
  if (!leitura.ignoradas.isEmpty())
    texto += QStringLiteral("\n\nColunas do Access que não foram convertidas: ") + leitura.ignoradas.join(QStringLiteral(", "));
  forms::MsgBox(texto, forms::vbInformation);
}

}  // namespace conversao
