#include "frmLocalizar.h"

#include <QCursor>
#include <QEvent>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QPixmap>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QToolTip>
#include <QTreeView>

#include "ListaClientes.h"
#include "clients/frmClientes.h"
#include "data/clientes.h"
#include "data/mGeral.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "ui_frmLocalizar.h"

static void initResources() { Q_INIT_RESOURCE(frmLocalizar); }

namespace {

// Runs a handler, reporting whatever it throws: the dialog stays open and usable.
template <typename F>
void Protegido(F&& handler) {
  try {
    handler();
  } catch (const std::exception&) {
    mGeral::RelataErro();
  }
}

// Gives a cell that its column cuts (with "…") its whole text as its tool
// tip; a cell shown whole has none. The width is the one the style paints in.
class DicaDoCorte : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  bool helpEvent(QHelpEvent* e, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    if (e->type() != QEvent::ToolTip || !index.isValid())
      return QStyledItemDelegate::helpEvent(e, view, option, index);
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QStyle* style = view->style();
    const int margem = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const int largura = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, view).width() - 2 * margem;
    if (QFontMetricsF(opt.font).horizontalAdvance(opt.text) > largura)
      QToolTip::showText(e->globalPos(), opt.text, view->viewport(), option.rect);
    else
      QToolTip::hideText();
    return true;
  }
};

}  // namespace

struct frmLocalizar::Impl {
  QPointer<QWidget> window;
  std::unique_ptr<Ui::frmLocalizar> ui;
  ListaClientes* lista = nullptr;  // owned by the window
};

frmLocalizar& frmLocalizar::Instance() {
  static frmLocalizar* f = new frmLocalizar;
  return *f;
}

frmLocalizar::frmLocalizar() : d(std::make_unique<Impl>()) {}
frmLocalizar::~frmLocalizar() = default;

void frmLocalizar::Show() {
  if (!IsLoaded()) Form_Load();
  QWidget* w = d->window;
  if (w->isVisible()) {
    // Already open: bring it to the front as it is.
    if (w->isMinimized()) w->showNormal();
    w->raise();
  } else {
    w->show();
  }
  w->activateWindow();
}

void frmLocalizar::Unload() {
  if (IsLoaded()) d->window->close();
}

bool frmLocalizar::IsLoaded() const { return d->window != nullptr; }
QWidget* frmLocalizar::Window() const { return d->window; }

void frmLocalizar::Form_Load() {
  initResources();
  auto* w = new QWidget(nullptr, Qt::Window);
  w->setAttribute(Qt::WA_DeleteOnClose);
  d->ui = std::make_unique<Ui::frmLocalizar>();
  d->ui->setupUi(w);
  d->window = w;
  Ui::frmLocalizar& ui = *d->ui;

  // "Buscar por :" is wider than its 57 pixels at the dialog's font: the label
  // grows to the right (into free space) rather than cut its caption.
  ui.Label2->resize(qMax(ui.Label2->width(), ui.Label2->sizeHint().width()), ui.Label2->height());

  ui.cmdBusca->setCursor(QCursor(QPixmap(QStringLiteral(":/search/BuscaCursor32.png")), 13, 9));

  d->lista = new ListaClientes(w);
  ui.lvItens->setModel(d->lista);
  ui.lvItens->setItemDelegate(new DicaDoCorte(ui.lvItens));
  ui.lvItens->header()->setStretchLastSection(false);
  ui.lvItens->setColumnWidth(0, forms::Twips(1400));
  ui.lvItens->setColumnWidth(1, forms::Twips(3800));
  ui.lvItens->setColumnWidth(2, forms::Twips(1500));
  ui.lvItens->viewport()->installEventFilter(this);
  w->installEventFilter(this);

  connect(ui.cmdBusca, &ClickPicture::Click, this, [this] { cmdBusca_Click(); });
  connect(ui.cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
  connect(ui.cmdCancelar, &QPushButton::clicked, this, [this] { cmdCancelar_Click(); });
  ui.cboCampos->setFocus();

  ATIVO = true;
}

bool frmLocalizar::eventFilter(QObject* watched, QEvent* event) {
  if (!d->window) return false;
  if (watched == d->window && event->type() == QEvent::Close) {
    // The window is on its way out (deleted later): the form is unloaded now.
    d->window->removeEventFilter(this);
    d->window = nullptr;
    d->lista = nullptr;
    d->ui.reset();
  } else if (d->ui && watched == d->ui->lvItens->viewport() &&
             event->type() == QEvent::MouseButtonDblClick) {
    lvItens_DblClick();
  }
  return false;
}

void frmLocalizar::cmdBusca_Click() {
  Protegido([this] {
    Ui::frmLocalizar& ui = *d->ui;
    if (ui.cboCampos->currentText().isEmpty()) {
      forms::MsgBox(QStringLiteral("Escolha onde deseja efetura a busca"), forms::vbExclamation,
                    QStringLiteral("Aviso"));
      if (d->ui) d->ui->cboCampos->setFocus();
      return;
    }
    if (ui.cboCriterio->currentText().isEmpty()) {
      forms::MsgBox(QStringLiteral("Escolha um critério para efetura a busca"), forms::vbExclamation,
                    QStringLiteral("Aviso"));
      if (d->ui) d->ui->cboCriterio->setFocus();
      return;
    }

    const QString campos = ui.cboCampos->currentText();
    const clientes::Campo campo = campos == QStringLiteral("CPF-Cód.") ? clientes::Campo::CPFCod
                                  : campos == QStringLiteral("Nome")   ? clientes::Campo::Nome
                                                                       : clientes::Campo::Fone;
    const bool contem = ui.cboCriterio->currentText() == QStringLiteral("Contém");
    mGeral::strSQL = clientes::SelectBusca(clientes::CriterioBusca(campo, contem, ui.txtCondicao->text()));

    std::unique_ptr<ado::Recordset> rs = mGeral::cnConexao->Execute(mGeral::strSQL, ado::adCmdUnspecified);
    if (rs->EOF_()) {
      forms::MsgBox(QStringLiteral("Não foi encontrado nenhum clientes com a condição desejada"),
                    forms::vbInformation, QStringLiteral("Aviso"));
      return;
    }
    PreencheLista(*ui.lvItens, *rs);
  });
}

void frmLocalizar::PreencheLista(QAbstractItemView& lv, ado::Recordset& rs) {
  auto* lista = qobject_cast<ListaClientes*>(lv.model());
  if (!lista) return;
  // The old rows stay until the new ones are all read: a search that fails
  // half-way leaves the list as it was.
  LinhasClientes linhas;
  const QString nomes[] = {QStringLiteral("CPFCod"), QStringLiteral("Nome"), QStringLiteral("Fone")};
  int colunas[3];
  for (int i = 0; i < 3; ++i) {
    colunas[i] = rs.FieldIndex(nomes[i]);
    if (colunas[i] < 0) rs.Fields(nomes[i]);  // throws the missing column's error
  }
  while (!rs.EOF_()) {
    // Each value as text; a Null Nome or Fone gives the empty text.
    QByteArrayView textos[3];
    for (int i = 0; i < 3; ++i) rs.FieldUtf8(colunas[i], &textos[i]);
    linhas.AcrescentaLinha(textos);
    rs.MoveNext();
  }
  lista->Substitui(std::move(linhas));
}

void frmLocalizar::cmdOK_Click() {
  Protegido([this] {
    frmClientes& clientes = frmClientes::Instance();
    if (!clientes.ClienteAtivo) return;
    const QModelIndexList selecao = d->ui->lvItens->selectionModel()->selectedRows();
    if (selecao.isEmpty()) {
      forms::MsgBox(QStringLiteral("Selecione um cliente na lista"), forms::vbExclamation,
                    QStringLiteral("Aviso"));
      return;
    }
    clientes.CarregaCliente(d->lista->CPFCod(selecao.first().row()));
    Unload();
  });
}

void frmLocalizar::lvItens_DblClick() { cmdOK_Click(); }

void frmLocalizar::cmdCancelar_Click() { Unload(); }
