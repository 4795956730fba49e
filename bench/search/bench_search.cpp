// The search dialog over generated clients: from the click on the search picture
// to the list filled and painted, against raw SQLite stepping the same SELECT.
// Usage: bench_search [clients]   (default 1000000; runs headless)
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

#include "bench/common/benchcommon.h"
#include "data/mGeral.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "search/frmLocalizar.h"

namespace {

constexpr int kRepeticoes = 5;

double Mediana(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Steps the statement to its end; with colunas, also reads the three texts.
double PassoBruto(const QString& sql, bool colunas, long* linhas) {
  sqlite3* db = mGeral::cnConexao->Handle();
  vtbench::Timer t;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK) {
    fprintf(stderr, "prepare: %s\n", sqlite3_errmsg(db));
    exit(1);
  }
  long n = 0;
  size_t bytes = 0;
  while (sqlite3_step(st) == SQLITE_ROW) {
    ++n;
    if (colunas)
      for (int i = 0; i < 3; ++i) {
        sqlite3_column_text(st, i);
        bytes += size_t(sqlite3_column_bytes(st, i));
      }
  }
  sqlite3_finalize(st);
  *linhas = n;
  const double s = t.Seconds();
  if (colunas && bytes == 0 && n > 0) fprintf(stderr, "no text read\n");
  return s;
}

struct Dialogo {
  QWidget* w;
  QComboBox* campos;
  QComboBox* criterio;
  QLineEdit* condicao;
  QWidget* busca;
  QAbstractItemView* lista;
};

Dialogo Abre() {
  frmLocalizar::Instance().Show();
  QWidget* w = frmLocalizar::Instance().Window();
  return {w, w->findChild<QComboBox*>("cboCampos"), w->findChild<QComboBox*>("cboCriterio"),
          w->findChild<QLineEdit*>("txtCondicao"), w->findChild<QWidget*>("cmdBusca"),
          w->findChild<QAbstractItemView*>("lvItens")};
}

// Click to list filled, and click to list painted.
void Busca(Dialogo& d, const QString& texto, double* preenchida, double* pintada) {
  d.campos->setCurrentIndex(d.campos->findText("Nome"));
  d.criterio->setCurrentIndex(d.criterio->findText("Contém"));
  d.condicao->setText(texto);
  QCoreApplication::processEvents();
  vtbench::Timer t;
  QTest::mouseClick(d.busca, Qt::LeftButton);
  *preenchida = t.Seconds();
  d.lista->viewport()->repaint();
  *pintada = t.Seconds();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const long n = argc > 1 ? atol(argv[1]) : 1000000;
  forms::SetMsgBoxResponder([](const forms::MsgBoxCall& c) {
    fprintf(stderr, "MsgBox [%s] %s\n", qPrintable(c.title), qPrintable(c.prompt));
    return int(forms::vbOK);
  });

  const QString banco = vtbench::CachedDatabase(VT_BENCH_CACHE_DIR, n);
  mGeral::cnConexao = std::make_shared<ado::Connection>();
  mGeral::cnConexao->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + banco);
  vtbench::ResetPeakMemory();
  const long memInicio = vtbench::CurrentMemoryKB();

  Dialogo d = Abre();
  if (!QTest::qWaitForWindowExposed(d.w)) return 1;

  printf("Search dialog, %ld clients, Nome Contém, median of %d runs\n\n", n, kRepeticoes);
  printf("%-14s %9s %11s %11s %11s %11s %7s %7s\n", "text", "rows", "raw step s", "raw+text s",
         "filled s", "painted s", "ratio", "target");
  const struct {
    const char* rotulo;
    QString texto;
    double alvo;  // ratio to the raw step, or seconds to painted when 0
  } casos[] = {{"common", vtbench::kSobrenomeComum, 1.3},
               {"rare", vtbench::kSobrenomeRaro, 1.3},
               {"empty (all)", QString(), 0}};
  bool ok = true;
  for (const auto& c : casos) {
    const QString sql = "Select CPFCod,Nome,Fone From Clientes Where Nome Like '%" + c.texto + "%'";
    std::vector<double> bruto, brutoTexto, preenchida, pintada;
    long linhas = 0;
    for (int i = 0; i < kRepeticoes; ++i) {
      bruto.push_back(PassoBruto(sql, false, &linhas));
      brutoTexto.push_back(PassoBruto(sql, true, &linhas));
      double p, q;
      Busca(d, c.texto, &p, &q);
      preenchida.push_back(p);
      pintada.push_back(q);
    }
    if (mGeral::strSQL != sql || d.lista->model()->rowCount() != linhas) {
      fprintf(stderr, "unexpected statement or row count: %s, %d rows\n", qPrintable(mGeral::strSQL),
              d.lista->model()->rowCount());
      return 1;
    }
    const double ratio = Mediana(preenchida) / Mediana(bruto);
    const bool passou = c.alvo > 0 ? ratio <= c.alvo : Mediana(pintada) <= 1.5;
    ok = ok && passou;
    printf("%-14s %9ld %11.3f %11.3f %11.3f %11.3f %7.2f %7s %s\n", c.rotulo, linhas, Mediana(bruto),
           Mediana(brutoTexto), Mediana(preenchida), Mediana(pintada), ratio,
           c.alvo > 0 ? "<=1.3x" : "<=1.5s", passou ? "ok" : "MISSED");
  }

  // With every client listed: jump to the end, select the last row, scroll back.
  vtbench::Timer t;
  d.lista->scrollToBottom();
  d.lista->setCurrentIndex(d.lista->model()->index(d.lista->model()->rowCount() - 1, 0));
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

  const long pico = vtbench::PeakMemoryKB();
  printf("\nfull list: to last row and select %.4f s, one scroll step painted %.4f s, close %.3f s\n", fim,
         rolagem, fecha);
  printf("peak memory %.1f MB (at start %.1f MB), target <= 300 MB %s\n", pico / 1024.0, memInicio / 1024.0,
         pico <= 300 * 1024 ? "ok" : "MISSED");
  return ok && pico <= 300 * 1024 ? 0 : 2;
}
