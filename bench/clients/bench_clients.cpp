// The client form over generated clients: start to the latest client shown,
// PROXIMO, the key check (focus leaving txtCPFCod), GRAVAR of a new client and
// EXCLUIR, each with its requery; peak memory; raw SQLite stepping the browse
// SELECT beside them. Every size runs in a process of its own (the form, the
// main window and the connection are singletons of a run).
// Usage: bench_clients [clients ...]   (default 100000 1000000; runs headless)
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>
#include <vector>

#include "bench/common/benchcommon.h"
#include "clients/frmClientes.h"
#include "data/mGeral.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "platform/ole/ole.h"
#include "shell/Principal.h"

namespace {

constexpr int kRepeticoes = 5;
enum { PRIMEIRO = 1, PROXIMO = 3, NOVO = 7, EXCLUIR = 11, GRAVAR = 14 };

[[noreturn]] void Falha(const char* what) {
  fprintf(stderr, "bench_clients: %s\n", what);
  std::exit(1);
}

double Mediana(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double PassoBruto(long* linhas) {
  sqlite3* db = mGeral::cnConexao->Handle();
  vtbench::Timer t;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, "Select * From Clientes Order By DataCadastro", -1, &st, nullptr) != SQLITE_OK)
    Falha(sqlite3_errmsg(db));
  long n = 0;
  while (sqlite3_step(st) == SQLITE_ROW) ++n;
  sqlite3_finalize(st);
  *linhas = n;
  return t.Seconds();
}

QWidget* Janela() { return frmClientes::Instance().Window(); }
template <class T = QLineEdit>
T* Campo(const char* nome) {
  T* w = Janela()->findChild<T*>(QLatin1String(nome));
  if (!w) Falha(nome);
  return w;
}
// Clicks a toolbar button and returns the seconds the click took.
double Clica(int index) {
  QToolBar* bar = Janela()->findChild<QToolBar*>();
  auto* b = qobject_cast<QToolButton*>(bar->widgetForAction(bar->actions().value(index - 1)));
  if (!b || !b->isEnabled()) Falha("toolbar button not clickable");
  vtbench::Timer t;
  QTest::mouseClick(b, Qt::LeftButton);
  return t.Seconds();
}

// One size, in this process; prints one table row.
int Mede(long n) {
  QTemporaryDir dir;
  vtbench::CopyDatabase(vtbench::CachedDatabase(QStringLiteral(VT_BENCH_CACHE_DIR), n),
                        dir.filePath(QStringLiteral("ulmaro.mdb")));
  qputenv("VT_OLE_REGISTRY", dir.filePath(QStringLiteral("registry")).toUtf8());
  QString err;
  if (ole::Failed(ole::RegisterServer(QStringLiteral(VT_BIN_DIR "/Trivex.ocx"), false, &err)))
    Falha(qPrintable(err));
  forms::SetProgramFolder(dir.path());
  int caixas = 0;
  forms::SetMsgBoxResponder([&caixas](const forms::MsgBoxCall&) {
    ++caixas;
    return int(forms::vbYes);
  });

  vtbench::Timer t;
  frmClientes::Instance().Show();
  Principal::Instance().show();
  QApplication::processEvents();
  const double inicio = t.Seconds();
  if (Campo("txtCPFCod")->text() != vtbench::ClienteCPF(n - 1)) Falha("not on the latest client");
  Principal::Instance().activateWindow();
  if (!QTest::qWaitForWindowActive(&Principal::Instance())) Falha("main window not active");

  long linhas = 0;
  const double bruto = PassoBruto(&linhas);
  if (linhas != n) Falha("raw step row count");

  Clica(PRIMEIRO);
  std::vector<double> proximo;
  for (int i = 0; i < 20; ++i) proximo.push_back(Clica(PROXIMO));
  if (Campo("txtCPFCod")->text() != vtbench::ClienteCPF(20)) Falha("PROXIMO");

  // Key check of the latest client's key: the longest forward search.
  Clica(NOVO);
  std::vector<double> chave;
  for (int i = 0; i < kRepeticoes; ++i) {
    QLineEdit* key = Campo("txtCPFCod");
    key->setText(vtbench::ClienteCPF(n - 1));
    key->setFocus();
    QApplication::processEvents();
    const int antes = caixas;
    vtbench::Timer k;
    QTest::keyClick(key, Qt::Key_Tab);
    chave.push_back(k.Seconds());
    if (caixas != antes + 1) Falha("key check did not warn");
  }

  std::vector<double> gravar, excluir;
  for (int i = 0; i < kRepeticoes; ++i) {
    if (i > 0) Clica(NOVO);
    Campo("txtCPFCod")->setText(QStringLiteral("B%1").arg(i));
    Campo("txtNome")->setText(QStringLiteral("Bench %1").arg(i));
    Campo<QComboBox>("cboSexo")->setCurrentIndex(0);
    Campo("mskCEP")->setText(QStringLiteral("01310-100"));
    Campo("txtEndereco")->setText(QStringLiteral("Rua"));
    Campo("txtNum")->setText(QStringLiteral("1"));
    Campo("txtCidade")->setText(QStringLiteral("Recife"));
    Campo("txtUF")->setText(QStringLiteral("PE"));
    Campo("txtDDD")->setText(QStringLiteral("81"));
    Campo("mskFone")->setText(QStringLiteral("3255-1234"));
    const int antes = caixas;
    gravar.push_back(Clica(GRAVAR));
    if (caixas != antes) Falha("GRAVAR refused");
  }
  for (int i = 0; i < kRepeticoes; ++i) {
    const QString shown = Campo("txtCPFCod")->text();
    excluir.push_back(Clica(EXCLUIR));
    if (Campo("txtCPFCod")->text() == shown) Falha("EXCLUIR did not delete");
  }
  if (Campo("txtCPFCod")->text() != vtbench::ClienteCPF(n - 1)) Falha("EXCLUIR reload");

  printf("%9ld | %7.3f | %8.4f | %8.4f | %8.4f | %8.4f | %8.3f | %6.1f\n", n, inicio,
         Mediana(proximo), Mediana(chave), Mediana(gravar), Mediana(excluir), bruto,
         vtbench::PeakMemoryKB() / 1024.0);
  fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc == 3 && QByteArray(argv[1]) == "--one") {
    QApplication app(argc, argv);
    return Mede(atol(argv[2]));
  }
  QCoreApplication app(argc, argv);
  std::vector<long> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(atol(argv[i]));
  if (sizes.empty()) sizes = {100000, 1000000};
  printf("Client form, seconds (median of repeated commands); targets at 1,000,000:\n"
         "start <= 0.5, PROXIMO <= 0.05, key check / GRAVAR / EXCLUIR <= 0.2, peak <= 200 MB\n\n");
  printf("  clients |   start |  PROXIMO | keycheck |   GRAVAR |  EXCLUIR | raw step | peak MB\n");
  printf("----------+---------+----------+----------+----------+----------+----------+--------\n");
  fflush(stdout);
  int rc = 0;
  for (long n : sizes) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    p.start(QString::fromLocal8Bit(argv[0]), {QStringLiteral("--one"), QString::number(n)});
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) rc = 1;
  }
  return rc;
}
