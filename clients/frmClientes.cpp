#include "frmClientes.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTabWidget>

#include "data/clientes.h"
#include "data/mGeral.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "platform/forms/window.h"
#include "search/frmLocalizar.h"
#include "shell/Principal.h"
#include "toolbar/trivex_tlb.h"
#include "ui_frmClientes.h"

#include <algorithm>

using namespace trivex;

namespace {

const QString kAviso = QStringLiteral("Aviso");
const QString kCEPVazio = QStringLiteral("_____-___");
const QString kFoneVazio = QStringLiteral("____-____");

void Aviso(const QString& texto) { forms::MsgBox(texto, forms::vbExclamation, kAviso); }

// Runs the steps after a command has taken effect (its statement went in, or
// the typed values are being dropped): a failure there is reported and the
// command goes on. False after a failure.
template <class F>
bool Relatando(F&& passos) {
  try {
    passos();
    return true;
  } catch (const std::exception&) {
    mGeral::RelataErro();
    return false;
  }
}

// Focus changes caused by another window (a message box, a menu) are not the
// field's own LostFocus or GotFocus.
bool FocoDeOutraJanela(Qt::FocusReason reason) {
  return reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
         reason == Qt::MenuBarFocusReason;
}

// No widget has the focus. The menu bar keeps the focus it took from nobody
// after its keyboard mode ends; it then has no entry highlighted.
bool NadaFocado() {
  QWidget* foco = QApplication::focusWidget();
  auto* menu = qobject_cast<QMenuBar*>(foco);
  return !foco || (menu && !menu->activeAction());
}

// The code page's code of a typed text; a character it lacks arrives as "?".
qint16 KeyAsciiDe(const QString& t) {
  if (t.isEmpty() || t.at(0).unicode() == 0) return 0;
  if (t.size() == 1 && t.at(0).unicode() <= 255) return qint16(t.at(0).unicode());
  return '?';
}

// The character code a key press delivers as KeyAscii; 0 when the key types none.
qint16 KeyAsciiDe(const QKeyEvent* k) {
  if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) return 13;
  // Tab and Delete type no character, whatever text the platform attaches.
  if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab || k->key() == Qt::Key_Delete) return 0;
  return KeyAsciiDe(k->text());
}

int ShiftDe(Qt::KeyboardModifiers m) {
  return (m & Qt::ShiftModifier ? 1 : 0) | (m & Qt::ControlModifier ? 2 : 0) |
         (m & Qt::AltModifier ? 4 : 0);
}

// A stored value is shown whole. The field's own limit bounds what is typed;
// a row written by another tool may be longer, and a cut key would address
// another client.
void MostraTexto(QLineEdit* campo, const QString& valor) {
  campo->setMaxLength(std::max(campo->property("limite").toInt(), int(valor.size())));
  campo->setText(valor);
}

// Puts back the limits of the form's text boxes.
void RestauraLimites(QWidget* form) {
  for (QLineEdit* campo : form->findChildren<QLineEdit*>()) {
    const QVariant limite = campo->property("limite");
    if (limite.isValid()) campo->setMaxLength(limite.toInt());
  }
}

// The widest value each narrow field must show whole.
const std::pair<const char*, const char*> kMaiorValor[] = {
    {"txtCPFCod", "88888888888888"}, {"mskCEP", "88888-888"}, {"txtNum", "88888"},
    {"txtUF", "WW"}, {"txtDDD", "888"}, {"mskFone", "8888-8888"},
};

// Room for text inside a line edit: its contents rectangle less its text
// margins and the 2 pixels QLineEdit keeps on either side, less 1 for the cursor.
int LarguraUtil(const QLineEdit* campo) {
  QStyleOptionFrame opt;
  opt.initFrom(campo);
  opt.rect = campo->rect();
  opt.lineWidth = campo->hasFrame() ? campo->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, campo) : 0;
  opt.midLineWidth = 0;
  opt.state |= QStyle::State_Sunken;
  const QRect r = campo->style()->subElementRect(QStyle::SE_LineEditContents, &opt, campo);
  return r.marginsRemoved(campo->textMargins()).width() - 2 * 2 - 1;
}

// The text runs up to the frame's inner edge; where that is not room enough
// for the widest value, the form's font is drawn narrower in that field.
void MostraInteiro(QLineEdit* campo, const QString& maior) {
  QFont fonte = campo->font();
  const int livre = LarguraUtil(campo);
  for (int largura = 98; largura >= 50 && QFontMetrics(fonte).horizontalAdvance(maior) > livre; largura -= 2)
    fonte.setStretch(largura);
  if (fonte.stretch() != campo->font().stretch()) campo->setFont(fonte);
}

// The form's icon: a file card with a client's silhouette.
QPixmap DesenhaIcone(int s) {
  QPixmap pm(s, s);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal u = s / 16.0;
  p.setPen(QPen(QColor(0x20, 0x40, 0x80), u));
  p.setBrush(QColor(0xE8, 0xF0, 0xFF));
  p.drawRoundedRect(QRectF(0.5 * u, 2.5 * u, 15 * u, 11 * u), 1.5 * u, 1.5 * u);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x30, 0x60, 0xB0));
  p.drawEllipse(QRectF(2.5 * u, 4.5 * u, 4 * u, 4 * u));
  QPainterPath ombros;
  ombros.moveTo(1.5 * u, 12.5 * u);
  ombros.cubicTo(1.5 * u, 8.5 * u, 7.5 * u, 8.5 * u, 7.5 * u, 12.5 * u);
  ombros.closeSubpath();
  p.drawPath(ombros);
  p.setBrush(QColor(0x60, 0x70, 0x80));
  for (int i = 0; i < 3; ++i) p.drawRect(QRectF(9 * u, (5 + 2.5 * i) * u, 5 * u, 1 * u));
  return pm;
}

QIcon IconeDoFormulario() {
  QIcon icon;
  icon.addPixmap(DesenhaIcone(16));
  icon.addPixmap(DesenhaIcone(32));
  return icon;
}

// The form's window: its design size is the size it opens with.
class JanelaDoFormulario : public QWidget {
 public:
  QSize sizeHint() const override { return baseSize(); }
};

}  // namespace

// ---------------------------------------------------------------------------
// TrivexProxy

QString TrivexProxy::STATUS() const {
  return ole::Dispatcher(object_).Get(DISPID_STATUS).toString();
}
void TrivexProxy::setSTATUS(const QString& New_STATUS) const {
  ole::Dispatcher(object_).Let(DISPID_STATUS, New_STATUS);
}
bool TrivexProxy::HabilitaMenu() const {
  return ole::Dispatcher(object_).Get(DISPID_HabilitaMenu).toBool();
}
void TrivexProxy::setHabilitaMenu(bool New_HabilitaMenu) const {
  ole::Dispatcher(object_).Let(DISPID_HabilitaMenu, New_HabilitaMenu);
}

// ---------------------------------------------------------------------------
// The site the form gives its toolbar control.

class frmClientes::Site : public ole::IControlSite {
 public:
  explicit Site(frmClientes& form) : form_(form) {}

  ole::HRESULT AmbientUserMode(bool* userMode) override {
    if (!userMode) return ole::E_POINTER;
    *userMode = true;
    return ole::S_OK;
  }
  ole::HRESULT AmbientFont(ole::DispatchPtr* font) override;
  ole::HRESULT OnChanged(const QString&) override { return ole::S_OK; }
  ole::HRESULT FireEvent(ole::DISPID eventId, const QVariantList& args) override {
    if (eventId != EVENT_ButtonClick) return ole::S_OK;
    if (args.isEmpty()) return ole::DISP_E_BADPARAMCOUNT;
    int index = 0;
    try {
      index = ole::Dispatcher(ole::ToObject(args.at(0))).Get(QStringLiteral("Index")).toInt();
    } catch (const ole::Error& e) {
      mGeral::RelataErro();
      return e.Hr();
    }
    form_.Trivex1_ButtonClick(index);
    return ole::S_OK;
  }
  void OnControlError(ole::HRESULT hr, const QString& description) override {
    forms::ReportError(ole::Error(hr, description).Number(), description);
  }

 private:
  frmClientes& form_;
};

// ---------------------------------------------------------------------------
// The form

struct frmClientes::Impl {
  explicit Impl(frmClientes& form) : site(form) {}
  Ui::frmClientes ui;
  QPointer<QWidget> window;
  QPointer<QMdiSubWindow> sub;
  bool loaded = false;
  bool unloading = false;
  std::unique_ptr<ado::Recordset> rsClientes;
  QPointer<QStackedWidget> paginas;  // the tab control's pages
  Site site;
};

// The form's own font, also while the form is being created.
ole::HRESULT frmClientes::Site::AmbientFont(ole::DispatchPtr* font) {
  if (!font) return ole::E_POINTER;
  QWidget* w = form_.d->window;
  *font = ole::CreateStdFont(w ? w->font() : QApplication::font());
  return ole::S_OK;
}

frmClientes& frmClientes::Instance() {
  static frmClientes* f = new frmClientes;
  return *f;
}
frmClientes::frmClientes() : d(std::make_unique<Impl>(*this)) {}
frmClientes::~frmClientes() = default;

bool frmClientes::IsLoaded() const { return d->loaded; }
QWidget* frmClientes::Window() const { return d->loaded ? d->window.data() : nullptr; }

ado::Recordset& frmClientes::rsClientes() {
  if (!d->rsClientes) d->rsClientes = std::make_unique<ado::Recordset>();
  return *d->rsClientes;
}

void frmClientes::Show() {
  Principal& principal = Principal::Instance();
  if (!d->loaded) Load();
  d->sub->show();
  principal.MdiArea()->setActiveSubWindow(d->sub);
}

void frmClientes::Unload() {
  if (d->loaded && d->sub) d->sub->close();
}

void frmClientes::Load() {
  auto* w = new JanelaDoFormulario;
  d->ui.setupUi(w);
  for (QLineEdit* campo : w->findChildren<QLineEdit*>()) {
    if (campo->inputMask().isEmpty()) campo->setProperty("limite", campo->maxLength());
    campo->setTextMargins(-1, 0, -1, 0);
  }
  for (const auto& [nome, maior] : kMaiorValor)
    MostraInteiro(w->findChild<QLineEdit*>(QLatin1String(nome)), QLatin1String(maior));
  d->paginas = d->ui.tbDados->findChild<QStackedWidget*>();
  PosicionaFrames();
  w->setBaseSize(w->size());
  w->setAttribute(Qt::WA_DeleteOnClose);
  w->setWindowIcon(IconeDoFormulario());
  d->window = w;
  try {
    CriaTrivex1();
  } catch (...) {
    LiberaTrivex1();
    delete w;
    throw;
  }
  d->sub = Principal::Instance().MdiArea()->addSubWindow(w);
  d->sub->setWindowIcon(w->windowIcon());
  // A click on the toolbar or a label leaves the focus in the field.
  d->sub->setFocusPolicy(Qt::NoFocus);
  d->sub->installEventFilter(this);
  w->installEventFilter(this);
  for (QWidget* child : w->findChildren<QWidget*>()) child->installEventFilter(this);
  // With no focused field the form's keys arrive at the main window.
  Principal::Instance().installEventFilter(this);
  d->loaded = true;
  try {
    Form_Load();
  } catch (...) {
    d->loaded = false;
    ClienteAtivo = false;
    if (d->rsClientes && d->rsClientes->IsOpen()) d->rsClientes->Close();
    LiberaTrivex1();
    delete d->sub;
    throw;
  }
}

// Creates the toolbar control named by the placeholder's saved data and puts
// it in the placeholder's place.
void frmClientes::CriaTrivex1() {
  QWidget* holder = d->ui.Trivex1;
  const QString progId = holder->property("ProgID").toString();
  QString desc;
  std::shared_ptr<ole::IOleControl> ctl;
  ole::HRESULT hr = ole::CoCreateInstance(progId, &ctl, &desc);
  if (ole::Failed(hr) || !ctl) throw ole::Error(ole::Failed(hr) ? hr : ole::E_FAIL, desc);
  ole::Check(ctl->SetClientSite(&d->site));

  QFont font(holder->property("FontName").toString());
  font.setPointSizeF(holder->property("FontSize").toDouble());
  ole::PropertyBag bag;
  bag.Write(QStringLiteral("Font"), ole::FromObject(ole::CreateStdFont(font)));
  desc.clear();
  hr = ctl->Load(&bag, &desc);
  ole::Check(hr, desc);
  ole::Check(ctl->InPlaceActivate(holder, QRect(QPoint(0, 0), holder->size())));
  Trivex1.object_ = ctl;
  // The window holds a reference too, until it is destroyed (see LiberaTrivex1).
  QObject::connect(d->window, &QObject::destroyed, [ctl] {});
}

// The form lets go of the control at unload; the window keeps it until the
// window itself goes, since a SAIR click unloads the form from inside the
// control's own click handling.
void frmClientes::LiberaTrivex1() {
  Trivex1.object_.reset();
}

// ---------------------------------------------------------------------------
// Load and unload

void frmClientes::Form_Load() {
  ClienteAtivo = true;
  mGeral::strSQL = QStringLiteral("Select * From Clientes ") + QStringLiteral("Order By DataCadastro");
  ado::Recordset& rs = rsClientes();
  if (rs.IsOpen()) rs.Close();
  rs.Open(mGeral::strSQL, *mGeral::cnConexao, ado::adOpenKeyset, ado::adLockOptimistic);
  if (rs.RecordCount() != 0) {
    rs.MoveLast();
    CarregaCliente(QString());
  }
}

void frmClientes::Form_Unload() {
  if (!d->loaded || d->unloading) return;
  d->unloading = true;
  ClienteAtivo = false;
  try {
    if (d->rsClientes && d->rsClientes->IsOpen()) d->rsClientes->Close();
  } catch (const ado::Error&) {
    mGeral::RelataErro();
  }
  frmLocalizar& localizar = frmLocalizar::Instance();
  if (localizar.ATIVO) localizar.Unload();
  LiberaTrivex1();
  d->loaded = false;
  d->unloading = false;
}

// ---------------------------------------------------------------------------
// Showing a client

void frmClientes::CarregaCliente(const QString& Condicao) {
  ado::Recordset& rs = rsClientes();
  if (!Condicao.isEmpty()) {
    rs.Requery();
    if (rs.RecordCount() > 0) rs.Find(clientes::CriterioChave(Condicao));
  }
  if (rs.BOF())
    rs.MoveFirst();
  else if (rs.EOF_())
    rs.MoveLast();
  QWidget* w = Window();
  if (!w) return;
  Ui::frmClientes& ui = d->ui;
  if (rs.BOF() || rs.EOF_()) {  // no clients at all
    mGeral::LimpaCampos(*w);
    return;
  }
  auto texto = [&rs](const char* coluna) { return rs.Fields(QLatin1String(coluna)).toString(); };
  MostraTexto(ui.txtCPFCod, texto("CPFCod"));
  MostraTexto(ui.txtNome, texto("Nome"));
  MostraTexto(ui.txtHobby, texto("Hobby"));
  ui.cboSexo->setCurrentIndex(texto("Sexo") == QLatin1String("M") ? 0 : 1);
  ui.mskCEP->setText(texto("CEP"));
  MostraTexto(ui.txtEndereco, texto("Endereco"));
  MostraTexto(ui.txtNum, texto("Num"));
  MostraTexto(ui.txtComplemento, texto("Complemento"));
  MostraTexto(ui.txtBairro, texto("Bairro"));
  MostraTexto(ui.txtCidade, texto("Cidade"));
  MostraTexto(ui.txtUF, texto("UF"));
  MostraTexto(ui.txtDDD, texto("DDD"));
  ui.mskFone->setText(texto("Fone"));
  MostraTexto(ui.txtEmail, texto("Email"));
  ui.txtObs->setPlainText(texto("Obs"));
}

// ---------------------------------------------------------------------------
// Keyboard and focus

bool frmClientes::eventFilter(QObject* watched, QEvent* event) {
  if (!d->loaded) return false;
  Ui::frmClientes& ui = d->ui;
  switch (event->type()) {
    case QEvent::KeyPress: {
      // Key preview: each key once, at the widget that has the focus.
      // (A drop-down list's open popup is a window of its own and keeps its keys.)
      auto* widget = qobject_cast<QWidget*>(watched);
      QWidget* foco = QApplication::focusWidget();
      const bool focoNoFormulario = foco && (foco == d->sub || d->sub->isAncestorOf(foco));
      const bool noCampo = widget && widget == foco && focoNoFormulario;
      // With no widget focused at all (frames disabled), the keys reach the
      // main window: they are still the form's while it is the current child.
      // A key another child of the main window let through (the menu bar's) is not.
      const bool naJanela = watched == &Principal::Instance() && NadaFocado() &&
                            Principal::Instance().MdiArea()->currentSubWindow() == d->sub;
      if (!noCampo && !naJanela) return false;
      auto* k = static_cast<QKeyEvent*>(event);
      if (noCampo && Tabula(widget, k)) return true;
      if (k->key() == Qt::Key_F5) Form_KeyDown(116, ShiftDe(k->modifiers()));
      qint16 KeyAscii = KeyAsciiDe(k);
      if (KeyAscii == 0) return false;
      Form_KeyPress(KeyAscii);
      if (KeyAscii != 0 && watched == ui.txtNum) txtNum_KeyPress(KeyAscii);
      return KeyAscii == 0;
    }
    case QEvent::InputMethod: {
      // Composed text is typed too: the house number keeps only its digits.
      if (watched != ui.txtNum) return false;
      auto* im = static_cast<QInputMethodEvent*>(event);
      QString digitos;
      for (QChar c : im->commitString()) {
        qint16 KeyAscii = KeyAsciiDe(QString(c));
        txtNum_KeyPress(KeyAscii);
        if (KeyAscii != 0) digitos += c;
      }
      if (digitos != im->commitString())
        im->setCommitString(digitos, im->replacementStart(), im->replacementLength());
      return false;
    }
    case QEvent::FocusIn: {
      if (FocoDeOutraJanela(static_cast<QFocusEvent*>(event)->reason())) return false;
      if (watched == ui.mskCEP) mskCEP_GotFocus();
      if (watched == ui.mskFone) mskFone_GotFocus();
      return false;
    }
    case QEvent::FocusOut: {
      // A disabled key field has not been left by the user.
      if (watched != ui.txtCPFCod || d->unloading || !ui.txtCPFCod->isEnabled()) return false;
      if (FocoDeOutraJanela(static_cast<QFocusEvent*>(event)->reason())) return false;
      // LostFocus runs once the focus has moved: a click on the other tab page
      // first finishes bringing that page forward.
      QMetaObject::invokeMethod(
          this,
          [this] {
            if (!d->loaded || d->unloading) return;
            try {
              txtCPFCod_LostFocus();
            } catch (const std::exception&) {
              mGeral::RelataErro();
            }
          },
          Qt::QueuedConnection);
      return false;
    }
    case QEvent::Move:
    case QEvent::Resize:
      // The tab control lays its pages out when it is shown.
      if (watched == d->paginas) PosicionaFrames();
      return false;
    case QEvent::Close:
      if (watched == d->window) Form_Unload();
      return false;
    default:
      return false;
  }
}

// The frames stand where their twips put them inside the tab control, whatever
// room the tab control's style gives its pages.
void frmClientes::PosicionaFrames() {
  Ui::frmClientes& ui = d->ui;
  for (auto [frame, top] : {std::pair<QWidget*, int>{ui.fraClientes, 450}, {ui.fraObs, 390}}) {
    const QPoint pagina = frame->parentWidget()->mapTo(ui.tbDados, QPoint(0, 0));
    frame->move(QPoint(forms::Twips(120), forms::Twips(top)) - pagina);
  }
}

// Tab and Shift+Tab where Qt's focus chain does not follow the tab order: the
// observations stand on the other tab page, which the chain skips while it is
// hidden, and the tab strip comes after them. The ring runs e-mail,
// observations, tab strip, first field. True when the key was handled.
bool frmClientes::Tabula(QWidget* at, const QKeyEvent* k) {
  Ui::frmClientes& ui = d->ui;
  const Qt::KeyboardModifiers m = k->modifiers();
  if (m & (Qt::ControlModifier | Qt::AltModifier)) return false;
  const bool frente = k->key() == Qt::Key_Tab && !(m & Qt::ShiftModifier);
  const bool tras = k->key() == Qt::Key_Backtab || (k->key() == Qt::Key_Tab && (m & Qt::ShiftModifier));
  if (!frente && !tras) return false;
  QWidget* abas = ui.tbDados->tabBar();
  const std::pair<QWidget*, QWidget*> passos[] = {{ui.txtEmail, ui.txtObs}, {ui.txtObs, abas}, {abas, PrimeiroCampo()}};
  for (auto [antes, depois] : passos) {
    QWidget* destino = frente ? depois : antes;
    if (at != (frente ? antes : depois) || !destino->isEnabled()) continue;
    if (destino == abas)
      abas->setFocus(frente ? Qt::TabFocusReason : Qt::BacktabFocusReason);  // the page shown stays
    else
      Foco(destino);
    return true;
  }
  return false;
}

// The first field of the tab order that can take the focus now.
QWidget* frmClientes::PrimeiroCampo() const {
  return d->ui.txtCPFCod->isEnabled() ? static_cast<QWidget*>(d->ui.txtCPFCod) : d->ui.txtNome;
}

void frmClientes::Form_KeyDown(int KeyCode, int) {
  if (KeyCode == 116) frmLocalizar::Instance().Show();
}

void frmClientes::Form_KeyPress(qint16& KeyAscii) {
  if (KeyAscii == 13) {
    KeyAscii = 0;
    forms::SendTab();
  }
}

void frmClientes::txtNum_KeyPress(qint16& KeyAscii) { KeyAscii = mGeral::SoNumeros(KeyAscii); }

void frmClientes::mskCEP_GotFocus() { forms::SelectAllDeferred(d->ui.mskCEP); }
void frmClientes::mskFone_GotFocus() { forms::SelectAllDeferred(d->ui.mskFone); }

void frmClientes::txtCPFCod_LostFocus() {
  ado::Recordset& rs = rsClientes();
  QLineEdit* key = d->ui.txtCPFCod;
  rs.Requery();
  bool achou = false;
  if (rs.RecordCount() > 0) {
    rs.Find(clientes::CriterioChave(key->text()));
    achou = !rs.EOF_();
  }
  if (achou && Trivex1.STATUS() == QLatin1String("N")) {
    Aviso(QStringLiteral("Este CPF ou Código já existe"));
    key->setSelection(0, key->text().size());
    Foco(key);
  }
}

// Moves the focus to a field, bringing its tab page to the front first.
void frmClientes::Foco(QWidget* field) {
  Ui::frmClientes& ui = d->ui;
  QWidget* page = ui.fraObs->isAncestorOf(field) ? ui.tbDadosPage1 : ui.tbDadosPage0;
  if (ui.tbDados->currentWidget() != page) ui.tbDados->setCurrentWidget(page);
  // After a message box the form's window is active again, with or without a
  // window manager to hand the activation back.
  if (!field->isActiveWindow()) field->activateWindow();
  field->setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------
// Validation

bool frmClientes::ValidaCampos() {
  Ui::frmClientes& ui = d->ui;
  struct Requisito {
    QWidget* campo;
    bool vazio;
    const char* mensagem;
  };
  const Requisito requisitos[] = {
      {ui.txtCPFCod, ui.txtCPFCod->text().isEmpty(), "O campo CPF-Cód. deve ser preenchido"},
      {ui.txtNome, ui.txtNome->text().isEmpty(), "O campo Nome deve ser preenchido"},
      {ui.cboSexo, ui.cboSexo->currentText().isEmpty(), "O sexo deve ser informado"},
      {ui.mskCEP, ui.mskCEP->displayText() == kCEPVazio, "O CEP deve ser informado"},
      {ui.txtEndereco, ui.txtEndereco->text().isEmpty(), "O campo endereço deve ser informado"},
      {ui.txtNum, ui.txtNum->text().isEmpty(), "O número deve ser informado"},
      {ui.txtCidade, ui.txtCidade->text().isEmpty(), "A cidade deve ser informada"},
      {ui.txtUF, ui.txtUF->text().isEmpty(), "A UF deve ser informada"},
      {ui.txtDDD, ui.txtDDD->text().isEmpty(), "O DDD deve ser informado"},
      {ui.mskFone, ui.mskFone->displayText() == kFoneVazio, "O Fone deve ser informado"},
      // Num and DDD are written bare: digits only.
      {ui.txtNum, !clientes::SoDigitos(ui.txtNum->text()), "O campo Nº deve conter apenas números"},
      {ui.txtDDD, !clientes::SoDigitos(ui.txtDDD->text()), "O campo DDD deve conter apenas números"},
  };
  for (const Requisito& r : requisitos) {
    if (!r.vazio) continue;
    Trivex1.setHabilitaMenu(false);
    Aviso(QString::fromUtf8(r.mensagem));
    Foco(r.campo);
    return false;
  }
  Trivex1.setHabilitaMenu(true);
  return true;
}

// ---------------------------------------------------------------------------
// Toolbar commands

void frmClientes::Trivex1_ButtonClick(int Index) {
  if (!d->loaded) return;
  try {
    Ui::frmClientes& ui = d->ui;
    switch (Index) {
      case PRIMEIRO:
      case ANTERIOR:
      case PROXIMO:
      case ULTIMO:
        Navega(Index);
        break;
      case NOVO:
        Limpa();
        Trivex1.setSTATUS(QStringLiteral("N"));
        ui.fraClientes->setEnabled(true);
        ui.fraObs->setEnabled(true);
        Foco(ui.txtCPFCod);
        break;
      case ALTERAR:
        Trivex1.setSTATUS(QStringLiteral("A"));
        ui.txtCPFCod->setEnabled(false);
        ui.fraClientes->setEnabled(true);
        ui.fraObs->setEnabled(true);
        ui.txtNome->setSelection(0, ui.txtNome->text().size());
        Foco(ui.txtNome);
        break;
      case LOCALIZAR:
        frmLocalizar::Instance().Show();
        break;
      case EXCLUIR:
        Excluir();
        break;
      case CANCELAR:
        ui.txtCPFCod->setEnabled(true);
        // The typed values go: the cursor's client comes back, or none.
        if (!Relatando([this] { CarregaCliente(QString()); })) Limpa();
        ui.fraClientes->setEnabled(false);
        ui.fraObs->setEnabled(false);
        Trivex1.setSTATUS(QString());
        break;
      case GRAVAR:
        Gravar();
        break;
      case SAIR:
        Unload();
        break;
      default:
        break;
    }
  } catch (const std::exception&) {
    mGeral::RelataErro();
    // A failed save keeps the toolbar's editing buttons.
    if (Index == GRAVAR && d->loaded) {
      try {
        Trivex1.setHabilitaMenu(false);
      } catch (const ole::Error&) {
      }
    }
  }
}

void frmClientes::Navega(int Index) {
  ado::Recordset& rs = rsClientes();
  if (rs.RecordCount() == 0) return;  // no clients: nothing to move to
  switch (Index) {
    case PRIMEIRO: rs.MoveFirst(); break;
    case ANTERIOR: if (!rs.BOF()) rs.MovePrevious(); break;
    case PROXIMO: if (!rs.EOF_()) rs.MoveNext(); break;
    case ULTIMO: rs.MoveLast(); break;
  }
  CarregaCliente(QString());
}

void frmClientes::Excluir() {
  Ui::frmClientes& ui = d->ui;
  const QString pergunta = QStringLiteral("Confirma a Exclusão do Cliente: ") + QChar(13) +
                           ui.txtNome->text() + QStringLiteral(" ?");
  if (forms::MsgBox(pergunta, forms::vbYesNo + forms::vbQuestion) != forms::vbYes) return;
  mGeral::strSQL = clientes::DeleteSQL(ui.txtCPFCod->text());
  mGeral::cnConexao->Execute(mGeral::strSQL);
  // The client is gone: the last client is shown, or none when it cannot be
  // read, never the deleted one.
  const bool mostrado = Relatando([this] {
    ado::Recordset& rs = rsClientes();
    rs.Requery();
    rs.MoveLast();
    CarregaCliente(QString());
  });
  if (!mostrado) Limpa();
}

// Refreshes rsClientes after a statement that was written.
void frmClientes::AtualizaCursor() {
  Relatando([this] { rsClientes().Requery(); });
}

// Empty fields with the limits of typing.
void frmClientes::Limpa() {
  mGeral::LimpaCampos(*d->window);
  RestauraLimites(d->window);
}

void frmClientes::Gravar() {
  Ui::frmClientes& ui = d->ui;
  if (!ValidaCampos()) return;
  clientes::Cliente c{ui.txtCPFCod->text(),   ui.txtNome->text(),    ui.cboSexo->currentText(),
                      ui.txtHobby->text(),    ui.mskCEP->displayText(), ui.txtEndereco->text(),
                      ui.txtNum->text(),      ui.txtComplemento->text(), ui.txtBairro->text(),
                      ui.txtCidade->text(),   ui.txtUF->text(),      ui.txtDDD->text(),
                      ui.mskFone->displayText(), ui.txtEmail->text(), ui.txtObs->toPlainText()};
  const QString status = Trivex1.STATUS();
  if (status == QLatin1String("N")) {
    Foco(ui.txtCPFCod);
    mGeral::strSQL = clientes::InsertSQL(c);
    try {
      mGeral::cnConexao->Execute(mGeral::strSQL);
    } catch (const ado::Error& e) {
      if (e.Number() != ado::adErrDuplicateKey) throw;
      // The key exists: nothing written, the new client stays on screen.
      Trivex1.setHabilitaMenu(false);
      Aviso(QStringLiteral("Este CPF ou Código já existe"));
      ui.txtCPFCod->setSelection(0, ui.txtCPFCod->text().size());
      Foco(ui.txtCPFCod);
      return;
    }
    AtualizaCursor();
    Trivex1.setSTATUS(QString());
  } else if (status == QLatin1String("A")) {
    mGeral::strSQL = clientes::UpdateSQL(c);
    mGeral::cnConexao->Execute(mGeral::strSQL);
    AtualizaCursor();
    ui.txtCPFCod->setEnabled(true);
    Trivex1.setSTATUS(QString());
    ui.fraClientes->setEnabled(false);
    ui.fraObs->setEnabled(false);
  }
}
