// The search dialog in detail: for each Nome "Contém" text, the click to the
// list filled and painted, against the raw step of the same SELECT on a plain
// connection (SQLite's own Like) and on the program's connection (its Like,
// which folds every letter), so a miss shows whether Like or the list costs;
// then the full list (every client): to the last row, a scroll step, closing,
// and peak memory. Reads the database only: it runs on --db itself.
#include <QAbstractItemView>
#include <QApplication>
#include <QScrollBar>
#include <cstdio>
#include <sqlite3.h>

#include "bench/common/benchcommon.h"
#include "bench/forms/benchforms.h"
#include "data/mGeral.h"
#include "platform/ado/ado.h"
#include "platform/ado/sqlite/sqlite.h"
#include "platform/forms/msgbox.h"
#include "search/frmLocalizar.h"

namespace {

using namespace vtbench;

const char* const kUsage =
    "bench_search [--clients N | --db FILE] [--dir DIR] [--repeat N] [--pattern TEXT ...]\n"
    "  --pattern TEXT  a Nome \"Contém\" search (default: Silva, Quintanilha, JOÃO, and the\n"
    "                  empty text, which lists every client)\n";

// The program's own connection, stepped without the data objects.
double PassoPrograma(const QString& sql) {
  sqlite3* db = ado::sqlite::Handle(*mGeral::cnConexao);
  Timer t;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) Fail(sqlite3_errmsg(db));
  while (sqlite3_step(st) == SQLITE_ROW) {
  }
  sqlite3_finalize(st);
  return t.Seconds();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const Options o = ParseOptions(argc, argv, kUsage);
  QApplication app(argc, argv);
  const int repeat = o.repeat > 0 ? o.repeat : 5;
  const long n = o.clients.empty() ? 1000000 : o.clients.front();
  static int caixas = 0;  // "no client found" leaves the list as it was
  forms::SetMsgBoxResponder([](const forms::MsgBoxCall&) {
    ++caixas;
    return int(forms::vbOK);
  });
  QStringList padroes;
  for (qsizetype i = 0; i + 1 < o.extra.size(); ++i)
    if (o.extra[i] == QLatin1String("--pattern")) padroes << o.extra[i + 1];
  if (padroes.isEmpty())
    padroes << QLatin1String(kSobrenomeComum) << QLatin1String(kSobrenomeRaro) << QStringLiteral("JOÃO") << QString();

  const QString banco = SourceDatabase(o, n);
  const RawConnection raw(banco);
  mGeral::cnConexao = std::make_shared<ado::Connection>();
  mGeral::cnConexao->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + banco);
  const long memInicio = CurrentMemoryKB();
  SearchDialog d = SearchDialog::Open();

  std::printf("Search dialog on %s, Nome \"Contém\", medians of %d; seconds\n\n", qPrintable(banco), repeat);
  std::printf("%-13s %9s %9s %9s %9s %9s %9s %7s\n", "text", "rows", "raw", "raw+text", "raw prog", "filled",
              "painted", "ratio");
  TargetTable table;
  for (const QString& p : padroes) {
    const QString sql = ContemSQL(p);
    std::vector<double> bruto, brutoTexto, programa, preenchida, pintada;
    long linhas = 0, linhasPrograma = 0;
    for (int i = 0; i < repeat; ++i) {
      bruto.push_back(raw.Step(sql, false, &linhas));
      brutoTexto.push_back(raw.Step(sql, true));
      programa.push_back(PassoPrograma(sql));
      const int antes = caixas;
      Timer t;
      preenchida.push_back(d.Search(QStringLiteral("Nome"), QStringLiteral("Contém"), p));
      d.lista->viewport()->repaint();
      pintada.push_back(t.Seconds());
      linhasPrograma = caixas == antes ? d.Rows() : 0;
    }
    const double ratio = Median(preenchida) / Median(bruto);
    std::printf("%-13s %9ld %9.3f %9.3f %9.3f %9.3f %9.3f %7.2f%s\n", qPrintable(p.isEmpty() ? "(empty)" : p),
                linhasPrograma, Median(bruto), Median(brutoTexto), Median(programa), Median(preenchida),
                Median(pintada), ratio,
                linhas != linhasPrograma ? qPrintable(QStringLiteral("  (SQLite's Like: %1 rows)").arg(linhas)) : "");
    table.Add(QStringLiteral("\"Contém\" %1").arg(p.isEmpty() ? QStringLiteral("(empty)") : p), ratio, Unit::Ratio,
              linhas == linhasPrograma ? 1.3 : 0,
              linhas == linhasPrograma ? QString() : QStringLiteral("rows differ: letters beyond ASCII fold"));
  }

  // The last search's list: to the end and select, scroll back, close.
  const int ultimas = d.Rows();
  Timer t;
  d.lista->scrollToBottom();
  d.Select(d.Rows() - 1);
  d.lista->viewport()->repaint();
  const double fim = t.Seconds();
  t.Restart();
  for (int i = 0; i < 50; ++i) {
    d.lista->verticalScrollBar()->setValue(d.lista->verticalScrollBar()->value() - 97);
    d.lista->viewport()->repaint();
  }
  const double rolagem = t.Seconds() / 50;
  t.Restart();
  frmLocalizar::Instance().Unload();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  const double fecha = t.Seconds();
  std::printf("\nlast list (%d rows): to the last row and select %.4f s, a scroll step painted %.4f s, close %.3f s\n",
              ultimas, fim, rolagem, fecha);
  table.Add(QStringLiteral("peak memory"), PeakMemoryKB() / 1024.0, Unit::MB, 0,
            QStringLiteral("VmHWM; %1 MB before the dialog").arg(memInicio / 1024.0, 0, 'f', 1));
  return table.Print(QStringLiteral("Targets")) ? 0 : 1;
}
