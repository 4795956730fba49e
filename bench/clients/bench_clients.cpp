// The client form's commands against their targets: the key check, GRAVAR,
// EXCLUIR, OK in the search list, the four moves, start to the latest client
// shown, peak memory with the form open and the "Contém" search against the
// raw step of its SELECT. Prints one table per database, each row marked pass
// or FAIL; exits 0 only when every target passed.
//
// The form runs in a child process per database (the forms, the main window
// and the connection are singletons of a run), in a folder of its own below
// --dir holding the program's files and a copy of the database (--in-place:
// a link to it); the clients it adds are deleted again. The whole program is
// timed from its start to its main window being mapped under a private Xvfb
// (the form shows the latest client before the main window is shown).
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <cstdlib>

#include "bench/common/benchcommon.h"
#include "bench/forms/benchforms.h"
#include "clients/frmClientes.h"
#include "data/mGeral.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "search/frmLocalizar.h"
#include "shell/Principal.h"

namespace {

using namespace vtbench;

const char* const kUsage =
    "bench_clients [--clients N ...] [--db FILE [--in-place]] [--dir DIR] [--repeat N]\n"
    "              [--pattern TEXT ...] [--no-process]\n"
    "  --pattern TEXT  a Nome \"Contém\" search to time (default: Silva, Quintanilha)\n"
    "  --no-process    skip the whole-process start (it needs Xvfb and xev)\n";

constexpr int kRepeat = 11;

int caixas = 0;  // message boxes answered
QString ultimaCaixa;

// The browse order's keys at both ends: first, second, second last, last.
struct Extremos {
  QString primeiro, segundo, penultimo, ultimo;
};

Extremos LeExtremos(const RawConnection& raw) {
  const QStringList a = raw.Texts(QStringLiteral("Select CPFCod From Clientes Order By DataCadastro, rowid Limit 2"));
  const QStringList z =
      raw.Texts(QStringLiteral("Select CPFCod From Clientes Order By DataCadastro Desc, rowid Desc Limit 2"));
  if (a.size() < 2 || z.size() < 2) Fail(QStringLiteral("the database needs at least two clients"));
  return {a[0], a[1], z[1], z[0]};
}

// Existing keys spread over the table, k of them.
QStringList ChavesEspalhadas(const RawConnection& raw, int k) {
  const long maior = raw.Count(QStringLiteral("Select max(rowid) From Clientes"));
  QStringList chaves;
  for (int i = 0; i < k; ++i) {
    const long alvo = 1 + long(double(maior - 1) * (i + 0.5) / k);
    const QStringList c =
        raw.Texts(QStringLiteral("Select CPFCod From Clientes Where rowid >= %1 Order By rowid Limit 1").arg(alvo));
    if (c.isEmpty()) Fail(QStringLiteral("no key near rowid %1").arg(alvo));
    chaves << c[0];
  }
  return chaves;
}

QString Texto(const QString& s) { return "'" + QString(s).replace("'", "''") + "'"; }

// Keys no client has, shaped like the others: the clients the benchmark adds.
QStringList ChavesNovas(const RawConnection& raw, int k) {
  QStringList chaves;
  for (int i = 0; chaves.size() < k && i < 100000; ++i) {
    const QString c = QStringLiteral("000.000.%1-%2").arg(i / 100, 3, 10, QLatin1Char('0')).arg(i % 100, 2, 10, QLatin1Char('0'));
    if (raw.Count("Select count(*) From Clientes Where CPFCod = " + Texto(c)) == 0) chaves << c;
  }
  if (chaves.size() < k) Fail(QStringLiteral("no free keys"));
  return chaves;
}

// Focus leaving txtCPFCod with key typed in it (NOVO mode). Returns seconds.
double ChecaChave(const QString& key, bool existe) {
  QLineEdit* campo = Field("txtCPFCod");
  campo->setText(key);
  campo->setFocus();
  QApplication::processEvents();
  if (QApplication::focusWidget() != campo) Fail(QStringLiteral("the key field has no focus"));
  const int antes = caixas;
  Timer t;
  QTest::keyClick(campo, Qt::Key_Tab);
  const double s = t.Seconds();
  if ((caixas == antes + 1) != existe)
    Fail(QStringLiteral("key check of %1: %2").arg(key, existe ? "no warning" : "warned: " + ultimaCaixa));
  return s;
}

void Preenche(const QString& key, const QString& nome) {
  Field("txtCPFCod")->setText(key);
  Field("txtNome")->setText(nome);
  FieldAs<QComboBox>("cboSexo")->setCurrentIndex(0);
  Field("mskCEP")->setText(QStringLiteral("01310-100"));
  Field("txtEndereco")->setText(QStringLiteral("Rua Augusta"));
  Field("txtNum")->setText(QStringLiteral("1"));
  Field("txtCidade")->setText(QStringLiteral("Recife"));
  Field("txtUF")->setText(QStringLiteral("PE"));
  Field("txtDDD")->setText(QStringLiteral("81"));
  Field("mskFone")->setText(QStringLiteral("3255-1234"));
}

void Mostra(const QString& key, const char* depois) {
  if (Field("txtCPFCod")->text() != key)
    Fail(QStringLiteral("after %1 the form shows %2, not %3").arg(QLatin1String(depois), Field("txtCPFCod")->text(), key));
}

// One database, in this process: emits the table rows.
int Mede(const Options& o, const QString& pasta, long n) {
  const int repeat = o.repeat > 0 ? o.repeat : kRepeat;
  const QString banco = QDir(pasta).filePath(QStringLiteral("ulmaro.mdb"));
  RegisterToolbar(pasta);
  forms::SetProgramFolder(pasta);
  forms::SetMsgBoxResponder([](const forms::MsgBoxCall& c) {
    ++caixas;
    ultimaCaixa = c.prompt;
    return int(c.buttons & forms::vbYesNo ? forms::vbYes : forms::vbOK);
  });
  const RawConnection raw(banco);
  const Extremos ext = LeExtremos(raw);
  const QStringList existentes = ChavesEspalhadas(raw, repeat);
  const QStringList novas = ChavesNovas(raw, repeat);

  // Start: main window and form constructed, the latest client shown.
  Timer t;
  frmClientes::Instance().Show();
  Principal::Instance().show();
  QApplication::processEvents();
  const double inicio = t.Seconds();
  Mostra(ext.ultimo, "start");
  Principal::Instance().activateWindow();
  if (!QTest::qWaitForWindowActive(&Principal::Instance())) Fail(QStringLiteral("main window not active"));
  if (caixas) Fail(QStringLiteral("start: ") + ultimaCaixa);

  // The moves, each from where the last one left.
  std::vector<double> primeiro, anterior, proximo, ultimo;
  for (int i = 0; i < repeat; ++i) {
    ultimo.push_back(Click(ULTIMO));
    Mostra(ext.ultimo, "ULTIMO");
    anterior.push_back(Click(ANTERIOR));
    Mostra(ext.penultimo, "ANTERIOR");
    primeiro.push_back(Click(PRIMEIRO));
    Mostra(ext.primeiro, "PRIMEIRO");
    proximo.push_back(Click(PROXIMO));
    Mostra(ext.segundo, "PROXIMO");
  }

  // What a move costs besides the recordset: showing the current row, and
  // the command without the mouse.
  const double mostra = MedianOf(repeat, [] { frmClientes::Instance().CarregaCliente(QString()); });
  std::vector<double> semMouse;
  for (int i = 0; i < repeat; ++i) {
    Click(PRIMEIRO);
    semMouse.push_back(ClickWithoutMouse(PROXIMO));
    Mostra(ext.segundo, "PROXIMO");
  }

  // A new client as the front desk enters it: key typed and checked, the
  // rest filled, GRAVAR; then ALTERAR, a new name, GRAVAR.
  std::vector<double> chaveAusente, gravarNovo, gravarAlterado;
  for (int i = 0; i < repeat; ++i) {
    Click(NOVO);
    chaveAusente.push_back(ChecaChave(novas[i], false));
    Preenche(novas[i], QStringLiteral("Cliente Bench %1").arg(i));
    Field("mskFone")->setFocus();
    QApplication::processEvents();
    const int antes = caixas;
    gravarNovo.push_back(Click(GRAVAR));
    if (caixas != antes) Fail(QStringLiteral("GRAVAR of a new client: ") + ultimaCaixa);
    if (raw.Count("Select count(*) From Clientes Where CPFCod = " + Texto(novas[i])) != 1)
      Fail(QStringLiteral("GRAVAR wrote nothing"));
    Click(ALTERAR);
    Field("txtNome")->setText(QStringLiteral("Cliente Bench %1 alterado").arg(i));
    QApplication::processEvents();
    gravarAlterado.push_back(Click(GRAVAR));
    if (caixas != antes) Fail(QStringLiteral("GRAVAR of an altered client: ") + ultimaCaixa);
    if (raw.Texts("Select Nome From Clientes Where CPFCod = " + Texto(novas[i])).value(0) !=
        QStringLiteral("Cliente Bench %1 alterado").arg(i))
      Fail(QStringLiteral("GRAVAR did not alter"));
  }

  // GRAVAR of an altered client again, without the mouse: the command's own share.
  std::vector<double> alteradoSemMouse;
  for (int i = 0; i < repeat; ++i) {
    frmClientes::Instance().CarregaCliente(novas[i]);
    Click(ALTERAR);
    Field("txtNome")->setText(QStringLiteral("Cliente Bench %1 de novo").arg(i));
    QApplication::processEvents();
    alteradoSemMouse.push_back(ClickWithoutMouse(GRAVAR));
  }

  // The key check of keys that exist, spread over the table.
  std::vector<double> chaveExistente;
  Click(NOVO);
  for (int i = 0; i < repeat; ++i) chaveExistente.push_back(ChecaChave(existentes[i], true));
  Click(CANCELAR);

  // OK in the search list, the client found by its key.
  std::vector<double> ok;
  for (int i = 0; i < repeat; ++i) {
    SearchDialog d = SearchDialog::Open();
    d.Search(QStringLiteral("CPF-Cód."), QStringLiteral("Igua à"), existentes[i]);
    if (d.Rows() != 1) Fail(QStringLiteral("search for key %1 listed %2 rows").arg(existentes[i]).arg(d.Rows()));
    d.Select(0);
    QApplication::processEvents();
    Timer k;
    QTest::mouseClick(d.ok, Qt::LeftButton);
    ok.push_back(k.Seconds());
    Mostra(existentes[i], "OK in the search list");
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (frmLocalizar::Instance().IsLoaded()) Fail(QStringLiteral("the search dialog stayed open"));
  }

  // EXCLUIR of the clients added above, each shown first.
  std::vector<double> excluir;
  for (int i = 0; i < repeat; ++i) {
    frmClientes::Instance().CarregaCliente(novas[i]);
    Mostra(novas[i], "loading a client");
    const int antes = caixas;
    excluir.push_back(Click(EXCLUIR));
    if (caixas != antes + 1) Fail(QStringLiteral("EXCLUIR asked nothing"));
    if (raw.Count("Select count(*) From Clientes Where CPFCod = " + Texto(novas[i])) != 0)
      Fail(QStringLiteral("EXCLUIR deleted nothing"));
  }
  Mostra(ext.ultimo, "the last EXCLUIR");
  const double pico = PeakMemoryKB() / 1024.0;

  const double ms5 = 0.005, ms2 = 0.002;
  TargetTable::Emit({QStringLiteral("key check, existing key"), Median(chaveExistente), Unit::Milliseconds, ms5});
  TargetTable::Emit({QStringLiteral("key check, absent key"), Median(chaveAusente), Unit::Milliseconds, ms5});
  TargetTable::Emit({QStringLiteral("GRAVAR new"), Median(gravarNovo), Unit::Milliseconds, ms5});
  TargetTable::Emit({QStringLiteral("GRAVAR altered"), Median(gravarAlterado), Unit::Milliseconds, ms5});
  TargetTable::Emit({QStringLiteral("EXCLUIR"), Median(excluir), Unit::Milliseconds, ms5});
  TargetTable::Emit({QStringLiteral("search-list OK"), Median(ok), Unit::Milliseconds, ms5});
  TargetTable::Emit({QStringLiteral("PRIMEIRO"), Median(primeiro), Unit::Milliseconds, ms2});
  TargetTable::Emit({QStringLiteral("ANTERIOR"), Median(anterior), Unit::Milliseconds, ms2});
  TargetTable::Emit({QStringLiteral("PROXIMO"), Median(proximo), Unit::Milliseconds, ms2});
  TargetTable::Emit({QStringLiteral("ULTIMO"), Median(ultimo), Unit::Milliseconds, ms2});
  TargetTable::Emit({QStringLiteral("GRAVAR altered without mouse events"), Median(alteradoSemMouse),
                     Unit::Milliseconds, 0, QStringLiteral("QAbstractButton::click()")});
  TargetTable::Emit({QStringLiteral("PROXIMO without mouse events"), Median(semMouse), Unit::Milliseconds, 0,
                     QStringLiteral("QAbstractButton::click(): no pressed-button repaint")});
  TargetTable::Emit({QStringLiteral("CarregaCliente alone (row to fields)"), mostra, Unit::Milliseconds, 0,
                     QStringLiteral("part of each move")});
  TargetTable::Emit({QStringLiteral("start in process (form shown, once)"), inicio, Unit::Seconds, 0});
  TargetTable::Emit({QStringLiteral("peak memory with the form open"), pico, Unit::MB, BySize(n, 60, 150),
                     QStringLiteral("VmHWM")});

  // "Contém" with the list filled against the raw step of the same SELECT.
  QStringList padroes;
  for (qsizetype i = 0; i + 1 < o.extra.size(); ++i)
    if (o.extra[i] == QLatin1String("--pattern")) padroes << o.extra[i + 1];
  if (padroes.isEmpty()) padroes << QLatin1String(kSobrenomeComum) << QLatin1String(kSobrenomeRaro);
  SearchDialog d = SearchDialog::Open();
  for (const QString& p : padroes) {
    const ContemTiming c = TimeContem(d, raw, p, std::min(repeat, 5));
    TargetTable::Emit({QStringLiteral("\"Contém\" %1 (%2 rows)").arg(p).arg(c.rows), c.filled / c.raw, Unit::Ratio, 1.3,
                       QStringLiteral("%1 s vs raw step %2 s (raw reading the texts %3 s)")
                           .arg(c.filled, 0, 'f', 3).arg(c.raw, 0, 'f', 3).arg(c.rawText, 0, 'f', 3)});
  }
  TargetTable::Emit({QStringLiteral("peak memory after the searches"), PeakMemoryKB() / 1024.0, Unit::MB, 0,
                     QStringLiteral("VmHWM, with the list filled")});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const Options o = ParseOptions(argc, argv, kUsage);
  const QString filho = ExtraOption(o, QStringLiteral("--child"));
  if (!filho.isEmpty()) {
    QApplication app(argc, argv);
    return Mede(o, filho, ExtraOption(o, QStringLiteral("--size")).toLong());
  }

  QCoreApplication app(argc, argv);
  std::vector<long> sizes = o.clients;
  if (!o.db.isEmpty()) sizes = {0};
  else if (sizes.empty()) sizes = {1000000};
  bool ok = true;
  for (long n : sizes) {
    const QString fonte = SourceDatabase(o, n);
    if (n == 0) n = RawConnection(fonte).Count(QStringLiteral("Select count(*) From Clientes"));
    const QString pasta = RunFolder(o, QStringLiteral("clients"));
    std::fprintf(stderr, "%s: %ld clients, working in %s\n", qPrintable(fonte), n, qPrintable(pasta));
    PrepareWritable(o, fonte, pasta, QStringLiteral("ulmaro.mdb"));
    InstallProgram(pasta);

    TargetTable table;
    const int repeat = o.repeat > 0 ? o.repeat : kRepeat;
    if (!ExtraFlag(o, QStringLiteral("--no-process"))) {
      QString why;
      const double s = TimeProcessStart(pasta, repeat, &why);
      if (s >= 0)
        table.Add(QStringLiteral("start to the latest client shown"), s, Unit::Seconds, BySize(n, 0.3, 0.5),
                  QStringLiteral("whole process, start to main window mapped"));
      else
        std::fprintf(stderr, "whole-process start not measured: %s\n", qPrintable(why));
    }

    QProcess child;
    child.setReadChannel(QProcess::StandardOutput);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QString::fromLocal8Bit(argv[0]),
                ToArguments(o) << QStringLiteral("--child") << pasta << QStringLiteral("--size") << QString::number(n));
    child.waitForFinished(-1);
    const QByteArray out = child.readAllStandardOutput();
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
      std::fprintf(stderr, "the form benchmark failed\n");
      ok = false;
    }
    table.Collect(out);
    ok = table.Print(QStringLiteral("Client form, %1 clients (%2), medians of %3")
                         .arg(n).arg(QFileInfo(fonte).fileName()).arg(repeat)) && ok;
    if (o.inPlace) QFile::remove(QDir(pasta).filePath(QStringLiteral("ulmaro.mdb")));
    QDir(pasta).removeRecursively();
  }
  return ok ? 0 : 1;
}
