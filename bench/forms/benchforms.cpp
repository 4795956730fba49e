#include "bench/forms/benchforms.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <cstdio>
#include <cstdlib>

#include "clients/frmClientes.h"
#include "data/clientes.h"
#include "platform/ole/ole.h"
#include "search/frmLocalizar.h"

namespace vtbench {

void Fail(const QString& what) {
  std::fprintf(stderr, "benchmark stopped: %s\n", qUtf8Printable(what));
  std::exit(1);
}

void RegisterToolbar(const QString& folder) {
  qputenv("VT_OLE_REGISTRY", QDir(folder).filePath(QStringLiteral("registry.ini")).toUtf8());
  QString err;
  if (ole::Failed(ole::RegisterServer(QStringLiteral(VT_BIN_DIR "/Trivex.ocx"), false, &err))) Fail(err);
}

void InstallProgram(const QString& folder) {
  for (const char* name : {"VaskorTorvana", "Trivex.ocx", "VaskorTorvana.manifest"}) {
    const QString from = QStringLiteral(VT_BIN_DIR "/") + QLatin1String(name);
    const QString to = QDir(folder).filePath(QLatin1String(name));
    QFile::remove(to);
    // The program looks for its files beside its own executable, as the
    // kernel names it: a symbolic link would lead back to the build tree.
    if (!QFile::exists(from)) Fail(QStringLiteral("not built: ") + from);
    if (::link(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0 &&
        !QFile::copy(from, to))
      Fail(QStringLiteral("cannot copy ") + from);
  }
}

QWidget* ClientForm() {
  QWidget* w = frmClientes::Instance().Window();
  if (!w) Fail(QStringLiteral("the client form is not loaded"));
  return w;
}

QLineEdit* Field(const char* name) { return FieldAs<QLineEdit>(name); }

namespace {
QToolButton* Button(int button) {
  QToolBar* bar = ClientForm()->findChild<QToolBar*>();
  if (!bar) Fail(QStringLiteral("no toolbar"));
  auto* b = qobject_cast<QToolButton*>(bar->widgetForAction(bar->actions().value(button - 1)));
  if (!b || !b->isEnabled()) Fail(QStringLiteral("toolbar button %1 not clickable").arg(button));
  return b;
}
}  // namespace

double Click(int button) {
  QToolButton* b = Button(button);
  Timer t;
  QTest::mouseClick(b, Qt::LeftButton);
  return t.Seconds();
}

double ClickWithoutMouse(int button) {
  QToolButton* b = Button(button);
  Timer t;
  b->click();
  return t.Seconds();
}

SearchDialog SearchDialog::Open() {
  frmLocalizar::Instance().Show();
  SearchDialog d;
  d.window = frmLocalizar::Instance().Window();
  if (!d.window) Fail(QStringLiteral("the search dialog did not open"));
  d.campos = d.window->findChild<QComboBox*>(QStringLiteral("cboCampos"));
  d.criterio = d.window->findChild<QComboBox*>(QStringLiteral("cboCriterio"));
  d.condicao = d.window->findChild<QLineEdit*>(QStringLiteral("txtCondicao"));
  d.busca = d.window->findChild<QWidget*>(QStringLiteral("cmdBusca"));
  d.lista = d.window->findChild<QAbstractItemView*>(QStringLiteral("lvItens"));
  d.ok = d.window->findChild<QPushButton*>(QStringLiteral("cmdOK"));
  if (!d.campos || !d.criterio || !d.condicao || !d.busca || !d.lista || !d.ok)
    Fail(QStringLiteral("search dialog controls"));
  if (!QTest::qWaitForWindowExposed(d.window)) Fail(QStringLiteral("search dialog not exposed"));
  return d;
}

double SearchDialog::Search(const QString& field, const QString& criterion, const QString& text) {
  campos->setCurrentIndex(campos->findText(field));
  criterio->setCurrentIndex(criterio->findText(criterion));
  if (campos->currentText() != field || criterio->currentText() != criterion)
    Fail(QStringLiteral("no such search choice: ") + field + QStringLiteral(" / ") + criterion);
  condicao->setText(text);
  QApplication::processEvents();
  Timer t;
  QTest::mouseClick(busca, Qt::LeftButton);
  return t.Seconds();
}

int SearchDialog::Rows() const { return lista->model()->rowCount(); }

void SearchDialog::Select(int row) {
  const QModelIndex i = lista->model()->index(row, 0);
  lista->setCurrentIndex(i);
  lista->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString ContemSQL(const QString& text) {
  return clientes::SelectBusca(clientes::CriterioBusca(clientes::Campo::Nome, true, text));
}

ContemTiming TimeContem(SearchDialog& d, const RawConnection& raw, const QString& text, int repeat) {
  const QString sql = ContemSQL(text);
  std::vector<double> bruto, brutoTexto, preenchida;
  ContemTiming r;
  for (int i = 0; i < repeat; ++i) {
    bruto.push_back(raw.Step(sql, false, &r.rows));
    brutoTexto.push_back(raw.Step(sql, true));
    preenchida.push_back(d.Search(QStringLiteral("Nome"), QStringLiteral("Contém"), text));
  }
  if (d.Rows() != r.rows)
    Fail(QStringLiteral("\"%1\": the list has %2 rows, the raw step %3").arg(text).arg(d.Rows()).arg(r.rows));
  r.raw = Median(bruto);
  r.rawText = Median(brutoTexto);
  r.filled = Median(preenchida);
  return r;
}

double TimeProcessStart(const QString& folder, int repeat, QString* why) {
  const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
  const QString xev = QStandardPaths::findExecutable(QStringLiteral("xev"));
  if (xvfb.isEmpty() || xev.isEmpty()) {
    *why = QStringLiteral("needs Xvfb and xev (x11-utils)");
    return -1;
  }
  QProcess server;
  server.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                      QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
  QByteArray number;
  while (!number.contains('\n') && server.waitForReadyRead(10000)) number += server.readAllStandardOutput();
  if (!number.contains('\n')) {
    *why = QStringLiteral("Xvfb did not start");
    return -1;
  }
  const QString display = QLatin1Char(':') + QString::fromLatin1(number.trimmed());
  auto stop = [](QProcess& p) {
    p.terminate();
    if (!p.waitForFinished(5000)) {
      p.kill();
      p.waitForFinished();
    }
  };

  // xev reports every top-level window being mapped (there is no window manager).
  QProcess watcher;
  watcher.start(xev, {QStringLiteral("-display"), display, QStringLiteral("-root"), QStringLiteral("-event"),
                      QStringLiteral("substructure")});
  if (!watcher.waitForStarted()) {
    *why = QStringLiteral("xev did not start");
    stop(server);
    return -1;
  }
  QThread::msleep(300);

  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DISPLAY"), display);
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  env.insert(QStringLiteral("VT_MSGBOX_ECHO"), QStringLiteral("1"));
  static const QRegularExpression mapped(QStringLiteral("MapNotify event.*\\n.*window (0x[0-9a-f]+),"));
  std::vector<double> times;
  for (int i = 0; i <= repeat; ++i) {  // the first run warms the caches and is not counted
    watcher.readAllStandardOutput();
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder);
    QByteArray seen;
    double s = -1;
    Timer t;
    program.start(QDir(folder).filePath(QStringLiteral("VaskorTorvana")), {});
    while (t.Seconds() < 30) {
      if (!watcher.waitForReadyRead(20)) continue;
      seen += watcher.readAllStandardOutput();
      if (seen.contains("MapNotify")) {
        s = t.Seconds();
        break;
      }
    }
    const auto m = mapped.match(QString::fromLatin1(seen));
    QString title;
    if (m.hasMatch() && !QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty()) {
      QProcess prop;
      prop.start(QStringLiteral("xprop"), {QStringLiteral("-display"), display, QStringLiteral("-id"),
                                           m.captured(1), QStringLiteral("WM_NAME")});
      prop.waitForFinished();
      title = QString::fromUtf8(prop.readAllStandardOutput());
    }
    stop(program);
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    if (s < 0 || (!title.isEmpty() && !title.contains(QStringLiteral("Teste Controle Vaskor Torvana")))) {
      stop(watcher);
      stop(server);
      Fail(QStringLiteral("the program showed no main window; it said: ") + errors + title);
    }
    if (i > 0) times.push_back(s);
    QThread::msleep(100);  // the closed window's events
  }
  stop(watcher);
  stop(server);
  return Median(times);
}

}  // namespace vtbench
