// The host widget: creation, site, saved state and reporting.
#include "platform/ole/host.h"

#include <QEvent>
#include <QPainter>
#include <QResizeEvent>

#include "platform/forms/msgbox.h"

namespace ole {

QFont ResolvedFont(const QFont& font) {
  QFont f;
  f.setFamily(font.family());
  if (font.pointSizeF() > 0)
    f.setPointSizeF(font.pointSizeF());
  else
    f.setPixelSize(font.pixelSize());
  f.setBold(font.bold());
  f.setItalic(font.italic());
  f.setUnderline(font.underline());
  f.setStrikeOut(font.strikeOut());
  return f;
}

class ControlHost::Site final : public IControlSite {
 public:
  explicit Site(ControlHost& host) : host_(host) {}

  HRESULT AmbientUserMode(bool* userMode) override {
    if (!userMode) return E_POINTER;
    *userMode = host_.mode_ == Mode::Run;
    return S_OK;
  }
  HRESULT AmbientFont(DispatchPtr* font) override {
    if (!font) return E_POINTER;
    *font = host_.AmbientFont();
    return S_OK;
  }
  HRESULT OnChanged(const QString& name) override {
    emit host_.PropertyChanged(name);
    return S_OK;
  }
  HRESULT FireEvent(DISPID eventId, const QVariantList& args) override {
    return host_.OnEvent(eventId, args);
  }
  void OnControlError(HRESULT hr, const QString& description) override {
    host_.Report(QStringLiteral("O controle %1 falhou.").arg(host_.progId_), Error(hr, description));
  }

 private:
  ControlHost& host_;
};

ControlHost::ControlHost(const QString& progId, Mode mode, QWidget* parent)
    : QWidget(parent), progId_(progId), mode_(mode), site_(std::make_unique<Site>(*this)) {
  QString why;
  HRESULT hr = CoCreateInstance(progId_, &control_, &why);
  if (Succeeded(hr) && control_) {
    hr = control_->SetClientSite(site_.get());
    // A new instance in design mode; at run time every instance comes from a saved form.
    if (Succeeded(hr)) hr = mode_ == Mode::Design ? control_->InitNew(&why) : control_->Load(&saved_, &why);
    if (Failed(hr)) failure_ = std::make_unique<Error>(hr, why);
  } else {
    failure_ = std::make_unique<Error>(Failed(hr) ? hr : E_FAIL, why);
    control_.reset();
  }
  if (QWidget* window = control_ ? control_->Window() : nullptr) {
    extent_ = window->size();
    resize(extent_);
    control_->InPlaceActivate(this, rect());
    // In design mode the designer handles the mouse: clicks select the host.
    window->setAttribute(Qt::WA_TransparentForMouseEvents, mode_ == Mode::Design);
  } else {
    extent_ = size();
  }
}

ControlHost::~ControlHost() {
  if (!control_) return;
  // The window may be handling the very click that destroys this host: leave
  // its deletion to the control, which defers it.
  if (QWidget* window = control_->Window()) {
    window->hide();
    window->setParent(nullptr);
  }
  control_->SetClientSite(nullptr);
  control_.reset();
}

DispatchPtr ControlHost::AmbientFont() {
  const QFont font = parentWidget() ? parentWidget()->font() : this->font();
  if (!ambient_ || font != ambientOf_) {
    ambient_ = CreateStdFont(ResolvedFont(font));
    ambientOf_ = font;
  }
  return ambient_;
}

void ControlHost::Reload() {
  if (!control_) return;
  QString why;
  const HRESULT hr = control_->Load(&saved_, &why);
  if (Failed(hr))
    failure_ = std::make_unique<Error>(hr, why);
  else
    failure_.reset();
}

std::unique_ptr<Error> ControlHost::EndLoading() {
  loading_ = false;
  if (!failure_ || failureReported_) return nullptr;
  failureReported_ = true;
  return std::make_unique<Error>(*failure_);
}

void ControlHost::Activate() {
  // A failed load is thrown once; the control keeps what it read before it.
  if (auto failure = EndLoading()) throw *failure;
  if (!control_) throw *failure_;
}

Dispatcher ControlHost::Object() {
  Activate();
  return Dispatcher(control_);
}

QVariant ControlHost::Stored(const QString& name) const {
  QVariant value;
  DISPID id = DISPID_UNKNOWN;
  if (!control_)
    value = PropertyBag(saved_).ReadProperty(name);
  else if (Failed(control_->GetIDOfName(name, &id)) ||
           Failed(control_->Invoke(id, InvokeKind::PropertyGet, {}, &value)))
    return {};
  if (IFontDisp* font = ToFont(value)) return ResolvedFont(font->Font());
  return value;
}

void ControlHost::Store(const QString& name, const QVariant& value) {
  const QVariant v = value.metaType().id() == QMetaType::QFont
                         ? FromObject(CreateStdFont(ResolvedFont(value.value<QFont>())))
                         : value;
  if (loading_) {
    saved_.Write(name, v);
    Reload();
    return;
  }
  if (!control_) return;
  const QVariant current = Stored(name);
  const bool isFont = value.metaType().id() == QMetaType::QFont;
  if (current.isValid() && current == (isFont ? QVariant(ResolvedFont(value.value<QFont>())) : value)) return;
  DISPID id = DISPID_UNKNOWN;
  QString why;
  HRESULT hr = control_->GetIDOfName(name, &id);
  if (Succeeded(hr))
    hr = control_->Invoke(id, IsObject(v) ? InvokeKind::PropertySet : InvokeKind::PropertyLet, {v},
                          nullptr, &why);
  if (Failed(hr)) {
    Report(hr == CTL_E_SETNOTPERMITTED
               ? QStringLiteral("A propriedade %1 não pode ser alterada em modo de projeto.").arg(name)
               : QStringLiteral("A propriedade %1 não aceitou o valor %2.").arg(name, value.toString()),
           Error(hr, why));
    // After the report: whoever shows the value reads it once the box is closed.
    emit PropertyRefused(name);
  }
}

QStringList ControlHost::SavedNames() const {
  if (!control_) return saved_.Names();
  PropertyBag bag;
  control_->Save(&bag);
  return bag.Names();
}

QSize ControlHost::sizeHint() const { return extent_; }

HRESULT ControlHost::OnEvent(DISPID, const QVariantList&) { return S_OK; }

void ControlHost::Report(const QString& what, const Error& error) {
  if (mode_ == Mode::Run) {
    forms::ReportError(error.Number(), error.Description());
    return;
  }
  forms::MsgBox(QStringLiteral("%1\n\nErro %2: %3").arg(what).arg(error.Number()).arg(error.Description()),
                forms::vbExclamation, progId_.section(QLatin1Char('.'), -1));
}

bool ControlHost::event(QEvent* e) {
  // Shown for the first time: the form's saved values are all in.
  if (e->type() == QEvent::Polish && loading_) {
    if (auto failure = EndLoading())
      Report(control_ ? QStringLiteral("As propriedades salvas do controle %1 não puderam ser lidas.").arg(progId_)
                      : QStringLiteral("O controle %1 não pôde ser criado.").arg(progId_),
             *failure);
  }
  return QWidget::event(e);
}

void ControlHost::resizeEvent(QResizeEvent* e) {
  if (QWidget* window = control_ ? control_->Window() : nullptr) window->resize(e->size());
  QWidget::resizeEvent(e);
}

void ControlHost::paintEvent(QPaintEvent*) {
  if (control_) return;
  // No control: say why where it should be.
  QPainter p(this);
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(rect().adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::TextSingleLine,
             QStringLiteral("%1 não pôde ser criado: %2").arg(progId_, failure_ ? failure_->Description() : QString()));
}

}  // namespace ole
