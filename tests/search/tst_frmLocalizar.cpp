// The search dialog against a small known table; the client form stays closed.
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolTip>
#include <QTest>

#include "data/mGeral.h"
#include "fixture.h"
#include "platform/forms/window.h"

using fixture::Caixa;

namespace {
// Each control where its twips put it inside its container, with its caption.
struct Lugar {
  const char* nome;
  const char* pai;
  int left, top, width, height;
  const char* legenda;
};
const Lugar kLugares[] = {
    {"frmLocalizar", "", 0, 0, 7605, 4710, "Pesquisa Cadastro de Clientes"},
    {"Fundo", "frmLocalizar", 90, 90, 7335, 1065, " Critérios para seleção "},
    {"Label2", "Fundo", 210, 270, 855, 225, "Buscar por :"},
    {"cboCampos", "Fundo", 210, 510, 1965, 315, ""},
    {"Label1", "Fundo", 2310, 300, 675, 165, "Critério:"},
    {"cboCriterio", "Fundo", 2295, 510, 1485, 315, ""},
    {"Label3", "Fundo", 3930, 285, 975, 195, "Condição:"},
    {"txtCondicao", "Fundo", 3900, 510, 2775, 315, ""},
    {"cmdBusca", "Fundo", 6750, 360, 480, 480, ""},
    {"Frame1", "frmLocalizar", 90, 1200, 7365, 2895, "Resultado da Pesquisa"},
    {"lvItens", "Frame1", 150, 300, 7065, 2475, ""},
    {"cmdCancelar", "frmLocalizar", 6090, 4200, 1365, 375, "&Cancelar"},
    {"cmdOK", "frmLocalizar", 4680, 4200, 1365, 375, "OK"},
};
QString Legenda(QWidget* w) {
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
  return w->isWindow() ? w->windowTitle() : QString();
}
}  // namespace
using fixture::Dialogo;

class TstFrmLocalizar : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  fixture::Caixas caixas_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    fixture::CriaBanco(dir_.path());
    forms::SetProgramFolder(dir_.path());
    mGeral::AbreBanco();
  }
  void init() { caixas_.clear(); }
  void cleanup() { frmLocalizar::Instance().Unload(); }

  // Opens empty, a window of its own, focus on the field list; then its twips and tab order.
  void abreVazioELayout() {
    Dialogo d = Dialogo::Abre();
    QVERIFY(frmLocalizar::Instance().ATIVO && !d.w->parentWidget());
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    QCOMPARE(QApplication::focusWidget(), d.cboCampos);
    for (const Lugar& l : kLugares) {
      auto achado = [&](const char* nome) {
        return QLatin1String(nome) == "frmLocalizar" ? d.w : d.w->findChild<QWidget*>(nome);
      };
      QWidget* c = achado(l.nome);
      QVERIFY2(c, l.nome);
      const QPoint p = *l.pai ? c->mapTo(achado(l.pai), QPoint(0, 0)) : QPoint(0, 0);
      QRect esperado = forms::TwipsRect(l.left, l.top, l.width, l.height);
      // "Buscar por :" needs more than its 57 pixels: the label grows to the
      // right to show its caption whole.
      if (QLatin1String(l.nome) == "Label2") esperado.setWidth(qMax(esperado.width(), c->sizeHint().width()));
      const QRect real(p, c->size());
      QVERIFY2(qAbs(real.left() - esperado.left()) <= 1 && qAbs(real.top() - esperado.top()) <= 1 &&
                   qAbs(real.width() - esperado.width()) <= 1 && qAbs(real.height() - esperado.height()) <= 1,
               qPrintable(QString("%1 at %2,%3 %4x%5").arg(l.nome).arg(real.x()).arg(real.y()).arg(real.width()).arg(real.height())));
      QCOMPARE(Legenda(c), QString(l.legenda));
      if (auto* rotulo = qobject_cast<QLabel*>(c); rotulo && rotulo->pixmap().isNull())
        QVERIFY2(rotulo->sizeHint().width() <= rotulo->width(), l.nome);  // the caption is not cut
    }
    QCOMPARE(d.txtCondicao->maxLength(), 32767);
    QStringList itens;
    for (QComboBox* c : {d.cboCampos, d.cboCriterio}) {
      QVERIFY(!c->isEditable() && c->currentIndex() == -1);
      for (int i = 0; i < c->count(); ++i) itens << c->itemText(i);
    }
    QCOMPARE(itens.join('|'), QString("CPF-Cód.|Nome|Telefone|Contém|Igua à"));
    auto* lv = static_cast<QTreeView*>(d.lvItens);
    for (auto [coluna, titulo, largura] : {std::tuple{0, "CPF-Cód.", 1400}, {1, "Nome", 3800}, {2, "Telefone", 1500}}) {
      QCOMPARE(lv->model()->headerData(coluna, Qt::Horizontal).toString(), QString(titulo));
      QCOMPARE(lv->columnWidth(coluna), forms::Twips(largura));
    }
    // Tab order: the two lists, the text, the result list, Cancelar, OK, and round (never the picture).
    QStringList ordem;
    for (int i = 0; i < 6; ++i) {
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Tab);
      ordem << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
    }
    QCOMPARE(ordem, QStringList({"cboCriterio", "txtCondicao", "lvItens", "cmdCancelar", "cmdOK", "cboCampos"}));
    // Neither Esc nor Enter acts on the buttons.
    QSignalSpy ok(d.cmdOK, &QPushButton::clicked);
    for (QWidget* at : QWidgetList{d.txtCondicao, d.cmdOK}) {
      at->setFocus();
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Escape);
      QTest::keyClick(d.w->windowHandle(), Qt::Key_Return);
    }
    QVERIFY(d.w->isVisible() && ok.isEmpty() && caixas_.isEmpty());
  }

  void escolhasFaltando() {
    Dialogo d = Dialogo::Abre();
    QVERIFY(QTest::qWaitForWindowActive(d.w));
    const QString antes = mGeral::strSQL;
    // The field is checked first, even with a criterion chosen.
    d.txtCondicao->setFocus();
    d.Busca({}, "Contém", "Silva");
    QTRY_COMPARE(QApplication::focusWidget(), d.cboCampos);
    d.txtCondicao->setFocus();
    d.Busca("Nome", {}, "Silva");
    QTRY_COMPARE(QApplication::focusWidget(), d.cboCriterio);
    QCOMPARE(caixas_,
             (QStringList{Caixa(QStringLiteral("Escolha onde deseja efetura a busca"), forms::vbExclamation),
                          Caixa(QStringLiteral("Escolha um critério para efetura a busca"), forms::vbExclamation)}));
    QCOMPARE(mGeral::strSQL, antes);
  }

  void buscas_data() {
    // achados: CPFCods in list order (none: the not-found message); onde: the statement's condition.
    for (const char* coluna : {"campo", "criterio", "texto", "achados", "onde"}) QTest::addColumn<QString>(coluna);
    const char *c = "Contém", *i = "Igua à";
    QTest::newRow("nome contém") << "Nome" << c << "Silva" << "11122233344 22233344455" << "Nome Like '%Silva%'";
    QTest::newRow("contém vazio: all")
        << "Nome" << c << "" << "11122233344 22233344455 C001 C002 33344455566 C003" << "Nome Like '%%'";
    QTest::newRow("igual vazio") << "Nome" << i << "" << "" << "Nome = ''";
    QTest::newRow("cpf igual, any case") << "CPF-Cód." << i << "c001" << "C001" << "CPFCod = 'c001'";
    QTest::newRow("fone com hífen") << "Telefone" << i << "3333-4444" << "11122233344" << "Fone = '3333-4444'";
    QTest::newRow("fone sem hífen") << "Telefone" << i << "33334444" << "" << "Fone = '33334444'";
    QTest::newRow("fone contém")
        << "Telefone" << c << "3333" << "11122233344 C001 33344455566" << "Fone Like '%3333%'";
    QTest::newRow("_ and % are wildcards") << "Nome" << c << "ma_ia%Silva" << "11122233344"
                                           << "Nome Like '%ma_ia%Silva%'";
    QTest::newRow("untrimmed") << "Nome" << i << " Anacleto" << "" << "Nome = ' Anacleto'";
    QTest::newRow("apostrophe") << "Nome" << c << "D'Ávila" << "33344455566" << "Nome Like '%D''Ávila%'";
    QTest::newRow("apostrophe cannot widen") << "Nome" << i << "x' Or '1'='1" << "" << "Nome = 'x'' Or ''1''=''1'";
  }

  void buscas() {
    QFETCH(QString, campo);
    QFETCH(QString, criterio);
    QFETCH(QString, texto);
    QFETCH(QString, achados);
    QFETCH(QString, onde);
    Dialogo d = Dialogo::Abre();
    d.Busca(campo, criterio, texto);
    QCOMPARE(mGeral::strSQL, "Select CPFCod,Nome,Fone From Clientes Where " + onde);
    QCOMPARE(d.Coluna(), achados.split(' ', Qt::SkipEmptyParts));
    const QString nenhum = QStringLiteral("Não foi encontrado nenhum clientes com a condição desejada");
    QCOMPARE(caixas_, achados.isEmpty() ? QStringList{Caixa(nenhum, forms::vbInformation)} : QStringList{});
  }

  void fechamentos() {
    Dialogo d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "Silva");
    QPointer<QWidget> primeira = d.w;
    // Unload destroys the window; ATIVO stays True; a second Unload is harmless.
    frmLocalizar::Instance().Unload();
    QVERIFY(!frmLocalizar::Instance().IsLoaded() && frmLocalizar::Instance().ATIVO);
    QTRY_VERIFY(primeira.isNull());
    frmLocalizar::Instance().Unload();
    // The next load starts empty; cmdCancelar and the close box close it too.
    d = Dialogo::Abre();
    QVERIFY(d.cboCampos->currentIndex() == -1 && d.txtCondicao->text().isEmpty() && d.Coluna().isEmpty());
    QTest::mouseClick(d.cmdCancelar, Qt::LeftButton);
    QVERIFY(!frmLocalizar::Instance().IsLoaded());
    QVERIFY(Dialogo::Abre().w->close() && !frmLocalizar::Instance().IsLoaded());
    QVERIFY(caixas_.isEmpty());
  }

  // Last: leaves another table in place of Clientes.
  void listaMantidaEmFalhas() {
    Dialogo d = Dialogo::Abre();
    d.Busca("Nome", "Contém", "Silva");
    d.Seleciona(1);
    // Nothing found: the rows and the current row stay.
    d.Busca("Nome", "Contém", "Xavier");
    mGeral::cnConexao->Execute(QStringLiteral("Alter Table Clientes Rename To Guarda"));
    // A refused statement: a box with number and description, the list kept.
    d.Busca("Nome", "Contém", "a");
    QCOMPARE(caixas_.size(), 2);
    QVERIFY2(caixas_[1].contains(QRegularExpression(QStringLiteral("^Pontelo\\|\\d+\\|\\D*\\d+.*tabela Clientes não existe"),
                                                   QRegularExpression::DotMatchesEverythingOption)),
             qPrintable(caixas_[1]));
    QVERIFY(frmLocalizar::Instance().IsLoaded() && d.lvItens->currentIndex().row() == 1);
    QCOMPARE(d.Coluna(), (QStringList{"11122233344", "22233344455"}));
    // A search that fails at its first row (a pattern over SQLite's limit): reported, list kept.
    mGeral::cnConexao->Execute(QStringLiteral("Alter Table Guarda Rename To Clientes"));
    d.Busca("Nome", "Contém", QString(25001, QChar(0x00E3)));
    QCOMPARE(caixas_.size(), 3);
    QVERIFY2(caixas_[2].startsWith("Pontelo|") && caixas_[2].contains("longo demais"), qPrintable(caixas_[2]));
    QCOMPARE(d.Coluna(), (QStringList{"11122233344", "22233344455"}));
    mGeral::cnConexao->Execute(QStringLiteral("Alter Table Clientes Rename To Guarda"));
    // Rows left by another tool replace them: Null shows as empty text, nothing selected.
    mGeral::cnConexao->Execute(QStringLiteral("Create Table Clientes (CPFCod Text, Nome Text, Fone Text)"));
    mGeral::cnConexao->Execute(
        QStringLiteral("Insert Into Clientes Values ('N2', 'Sem Fone', Null), ('N1345678000199', Null, '1111-2222')"));
    d.Busca("CPF-Cód.", "Contém", "N");
    QCOMPARE(d.Coluna(1), (QStringList{"Sem Fone", ""}));
    QCOMPARE(d.Coluna(2), (QStringList{"", "1111-2222"}));
    QVERIFY(!d.lvItens->selectionModel()->hasSelection());
    // A 14-character key is cut by its column: its tool tip is the whole key.
    // A cell shown whole has none.
    QStringList dicas;
    for (int linha : {0, 1}) {
      const QPoint p = d.lvItens->visualRect(d.lvItens->model()->index(linha, 0)).center();
      QHelpEvent e(QEvent::ToolTip, p, d.lvItens->viewport()->mapToGlobal(p));
      QApplication::sendEvent(d.lvItens->viewport(), &e);
      dicas << (QToolTip::isVisible() ? QToolTip::text() : QString());
    }
    QCOMPARE(dicas, (QStringList{"", "N1345678000199"}));
  }
};

QTEST_MAIN(TstFrmLocalizar)
#include "tst_frmLocalizar.moc"
