#include "toolbar/Trivex.h"

#include <QAction>
#include <QProxyStyle>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include "toolbar/pictures.h"

namespace trivex {

std::atomic<int> gLiveObjects{0};

namespace {

using ole::InvokeKind;

// Button dispatch ids.
constexpr ole::DISPID kIndex = 1, kKey = 2, kToolTipText = 3, kImage = 4, kEnabled = 5;

struct Entry {
  const char* key;  // null for a separator
  const char* toolTip;
  int image;
};
// The sixteen entries by Index (1-based).
const Entry kEntries[kButtonCount] = {
    {"PRIMEIRO", "Move para o Primeiro Registro", 1},
    {"ANTERIOR", "Move para o Registro Anterior", 2},
    {"PROXIMO", "Move para o Próximo Registro", 3},
    {"ULTIMO", "Move Para o Último Registro", 4},
    {nullptr, nullptr, 0},
    {nullptr, nullptr, 0},
    {"NOVO", "Novo Registro", 5},
    {"ALTERAR", "Alterar Registro Corrente", 6},
    {nullptr, nullptr, 0},
    {"LOCALIZAR", "Localizar Registro", 9},
    {"EXCLUIR", "Excluir Registro", 7},
    {nullptr, nullptr, 0},
    {"CANCELAR", "Cancelar Operação", 8},
    {"GRAVAR", "Gravar Registro", 10},
    {nullptr, nullptr, 0},
    {"SAIR", "Sair", 11},
};

const char* const kIndexProperty = "Index";

// Design sizes: the control 4470 x 390 twips, its toolbar 4470 x 360 twips,
// buttons 23 x 22 pixels.
constexpr int kControlWidth = 298, kControlHeight = 26, kBarHeight = 24;
constexpr QSize kButtonSize(23, 22);

// Tight margins, so that the sixteen entries fit the design size.
class BarStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    switch (metric) {
      case PM_ToolBarItemMargin: return 0;
      case PM_ToolBarItemSpacing: return 0;
      case PM_ToolBarFrameWidth: return 1;
      case PM_ToolBarSeparatorExtent: return 6;
      default: return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }
};

HRESULT Fail(HRESULT hr, QString* why, const QString& text) {
  if (why) *why = text;
  return hr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Button

HRESULT Button::SetEnabled(bool enabled) {
  if (!action_) return ole::E_UNEXPECTED;
  action_->setEnabled(enabled);
  return ole::S_OK;
}

HRESULT Button::GetIDOfName(const QString& name, ole::DISPID* id) const {
  return kButton.GetIDOfName(name, id);
}

HRESULT Button::Invoke(ole::DISPID id, InvokeKind kind, const QVariantList& args, QVariant* result,
                       QString* why) {
  if (HRESULT hr = kButton.CheckInvoke(id, kind, why); ole::Failed(hr)) return hr;
  if (kind == InvokeKind::PropertyLet) {
    if (args.size() != 1) return ole::DISP_E_BADPARAMCOUNT;
    bool enabled = false;
    if (HRESULT hr = ole::ToBool(args[0], &enabled); ole::Failed(hr))
      return Fail(hr, why, QStringLiteral("Type mismatch: Enabled"));
    return SetEnabled(enabled);
  }
  if (!args.isEmpty()) return ole::DISP_E_BADPARAMCOUNT;
  QVariant value;
  switch (id) {
    case kIndex: value = QVariant::fromValue<qint16>(index_); break;
    case kKey: value = key_; break;
    case kToolTipText: value = action_ ? action_->toolTip() : QString(); break;
    case kImage: value = QVariant::fromValue<qint16>(qint16(image_)); break;
    case kEnabled: value = bool(action_ && action_->isEnabled()); break;
  }
  if (result) *result = value;
  return ole::S_OK;
}

// ---------------------------------------------------------------------------
// Trivex

Trivex::Trivex() {
  UserControl = new QWidget;
  UserControl->setObjectName(QStringLiteral("UserControl"));
  // The window may outlive this object (it is deleted later, or by the host's
  // widget that owns it) and runs the library's code until it is gone.
  ++gLiveObjects;
  QObject::connect(UserControl, &QObject::destroyed, [] { --gLiveObjects; });
  UserControl->resize(kControlWidth, kControlHeight);

  auto* bar = new QToolBar(UserControl);
  Trivex_ = bar;
  bar->setObjectName(QStringLiteral("Trivex"));
  bar->setMovable(false);
  bar->setFloatable(false);
  bar->setIconSize(QSize(16, 16));
  bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
  bar->setFocusPolicy(Qt::NoFocus);
  auto* style = new BarStyle;
  style->setParent(bar);
  bar->setStyle(style);

  const QList<QPixmap> ImageList1 = DrawImageList();
  for (qint16 index = 1; index <= kButtonCount; ++index) {
    const Entry& e = kEntries[index - 1];
    QAction* action = nullptr;
    if (!e.key) {
      action = bar->addSeparator();
    } else {
      action = bar->addAction(QIcon(ImageList1[e.image - 1]), QString());
      action->setToolTip(QString::fromUtf8(e.toolTip));
      action->setObjectName(QLatin1String(e.key));
      if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action))) {
        button->setObjectName(QLatin1String(e.key));
        button->setFixedSize(kButtonSize);
        button->setFocusPolicy(Qt::NoFocus);
        button->setAccessibleName(action->toolTip());
      }
    }
    action->setProperty(kIndexProperty, index);
    auto entry = std::make_shared<Button>(index, e.key ? QString::fromLatin1(e.key) : QString(),
                                          e.image, action);
    buttons_.push_back(entry);
    if (e.key) {
      // The bar is owned by UserControl, which this object deletes (or outlives).
      QObject::connect(action, &QAction::triggered, bar,
                       [this, entry] { Trivex_ButtonClick(entry); });
    }
  }
  // Initial state: every button enabled but GRAVAR.
  buttons_[GRAVAR - 1]->SetEnabled(false);
  // The toolbar keeps its design place and size, wide enough for every entry.
  bar->setGeometry(0, 0, qMax(kControlWidth, bar->sizeHint().width()), kBarHeight);
}

Trivex::~Trivex() {
  // The host may drop the control from inside a click on one of its buttons:
  // cut the clicks off now and let the window go once that click is over.
  if (Trivex_) {
    for (QAction* a : Trivex_->actions()) QObject::disconnect(a, nullptr, Trivex_, nullptr);
  }
  if (UserControl) {
    UserControl->hide();
    UserControl->deleteLater();
  }
}

HRESULT Trivex::Buttons(qint16 index, std::shared_ptr<Button>* button, QString* why) const {
  if (Trivex_ && index >= 1 && index <= qint16(buttons_.size())) {
    const auto& candidate = buttons_[index - 1];
    for (QAction* a : Trivex_->actions()) {
      if (a == candidate->Action() && a->property(kIndexProperty).toInt() == index) {
        *button = candidate;
        return ole::S_OK;
      }
    }
  }
  return Fail(ole::DISP_E_BADINDEX, why,
              QStringLiteral("Index out of bounds: Buttons(%1)").arg(index));
}

HRESULT Trivex::Assign(std::initializer_list<std::pair<qint16, bool>> assignments, QString* why) {
  for (const auto& [index, enabled] : assignments) {
    std::shared_ptr<Button> button;
    if (HRESULT hr = Buttons(index, &button, why); ole::Failed(hr)) return hr;
    if (HRESULT hr = button->SetEnabled(enabled); ole::Failed(hr))
      return Fail(hr, why, QStringLiteral("Buttons(%1).Enabled cannot be set").arg(index));
  }
  return ole::S_OK;
}

void Trivex::Trivex_ButtonClick(const std::shared_ptr<Button>& Button) {
  // The host may drop its reference while its handler runs.
  const auto self = shared_from_this();
  QString why;
  HRESULT hr = ole::S_OK;
  try {
    // The host's handler runs to its end first; what it reports is its own
    // business, the bar goes on either way.
    if (site_) site_->FireEvent(EVENT_ButtonClick, {ole::FromObject(Button)});

    const qint16 index = Button->Index();
    switch (index) {
      case NOVO:
      case ALTERAR: {
        const qint16 other = index == NOVO ? ALTERAR : NOVO;
        hr = Assign({{GRAVAR, true}, {index, false}, {CANCELAR, true}, {EXCLUIR, false},
                     {ULTIMO, false}, {ANTERIOR, false}, {PROXIMO, false}, {PRIMEIRO, false},
                     {LOCALIZAR, false}, {other, false}},
                    &why);
        break;
      }
      case GRAVAR:
      case CANCELAR: {
        if (index == GRAVAR) {
          QVariant habilita;
          hr = Invoke(DISPID_HabilitaMenu, InvokeKind::PropertyGet, {}, &habilita, &why);
          if (ole::Failed(hr) || !habilita.toBool()) break;
        }
        hr = Assign({{GRAVAR, false}, {NOVO, true}, {CANCELAR, false}, {EXCLUIR, true},
                     {ULTIMO, true}, {ANTERIOR, true}, {PROXIMO, true}, {PRIMEIRO, true},
                     {LOCALIZAR, true}, {ALTERAR, true}},
                    &why);
        break;
      }
      default:
        break;
    }
  } catch (const std::exception& e) {
    hr = ole::E_UNEXPECTED;
    why = QString::fromLocal8Bit(e.what());
  } catch (...) {
    hr = ole::E_UNEXPECTED;
    why = ole::ErrorText(hr);
  }
  if (ole::Failed(hr) && site_) site_->OnControlError(hr, why.isEmpty() ? ole::ErrorText(hr) : why);
}

// ---------------------------------------------------------------------------
// Properties

HRESULT Trivex::GetIDOfName(const QString& name, ole::DISPID* id) const {
  return k_Trivex.GetIDOfName(name, id);
}

HRESULT Trivex::PropertyChanged(const char* name, QString* why) {
  if (!site_) return ole::S_OK;
  const HRESULT hr = site_->OnChanged(QLatin1String(name));
  if (ole::Failed(hr))
    return Fail(hr, why,
                QStringLiteral("PropertyChanged \"%1\" failed: %2")
                    .arg(QLatin1String(name), ole::ErrorText(hr)));
  return ole::S_OK;
}

HRESULT Trivex::AmbientFont(ole::DispatchPtr* font, QString* why) {
  if (!site_) return Fail(ole::E_UNEXPECTED, why, QStringLiteral("The control has no client site"));
  const HRESULT hr = site_->AmbientFont(font);
  if (ole::Failed(hr))
    return Fail(hr, why, QStringLiteral("Ambient font: %1").arg(ole::ErrorText(hr)));
  return ole::S_OK;
}

HRESULT Trivex::Invoke(ole::DISPID id, InvokeKind kind, const QVariantList& args, QVariant* result,
                       QString* why) {
  if (HRESULT hr = k_Trivex.CheckInvoke(id, kind, why); ole::Failed(hr)) return hr;
  const bool get = kind == InvokeKind::PropertyGet;
  if (get || kind == InvokeKind::Method) {
    if (!args.isEmpty()) return Fail(ole::DISP_E_BADPARAMCOUNT, why, ole::ErrorText(ole::DISP_E_BADPARAMCOUNT));
  } else if (args.size() != 1) {
    return Fail(ole::DISP_E_BADPARAMCOUNT, why, ole::ErrorText(ole::DISP_E_BADPARAMCOUNT));
  }
  const QVariant value = args.isEmpty() ? QVariant() : args[0];
  const char* name = k_Trivex.Find(id)->name;
  auto mismatch = [&](HRESULT hr) {
    return Fail(hr, why, QStringLiteral("%1: New_%2").arg(ole::ErrorText(hr), QLatin1String(name)));
  };
  auto give = [&](const QVariant& v) {
    if (result) *result = v;
    return ole::S_OK;
  };
  HRESULT hr = ole::S_OK;
  switch (id) {
    case DISPID_BackColor:
    case DISPID_ForeColor: {
      qint32& stored = id == DISPID_BackColor ? m_BackColor : m_ForeColor;
      if (get) return give(stored);
      if (ole::Failed(hr = ole::ToInt32(value, &stored))) return mismatch(hr);
      break;
    }
    case DISPID_Enabled:
      if (get) return give(m_Enabled);
      if (ole::Failed(hr = ole::ToBool(value, &m_Enabled))) return mismatch(hr);
      break;
    case DISPID_Font:
      if (get) return give(ole::FromObject(m_Font));
      if (!ole::ToFont(value)) return mismatch(ole::DISP_E_TYPEMISMATCH);
      m_Font = ole::ToObject(value);
      break;
    case DISPID_BackStyle:
    case DISPID_BorderStyle: {
      qint16& stored = id == DISPID_BackStyle ? m_BackStyle : m_BorderStyle;
      if (get) return give(QVariant::fromValue(stored));
      if (ole::Failed(hr = ole::ToInt16(value, &stored))) return mismatch(hr);
      break;
    }
    case DISPID_STATUS:
      if (get) return give(m_STATUS);
      if (ole::Failed(hr = ole::ToString(value, &m_STATUS))) return mismatch(hr);
      break;
    case DISPID_HabilitaMenu: {
      if (get) return give(m_HabilitaMenu);
      bool userMode = true;
      if (site_ && ole::Failed(hr = site_->AmbientUserMode(&userMode)))
        return Fail(hr, why, QStringLiteral("Ambient UserMode: %1").arg(ole::ErrorText(hr)));
      if (!userMode) return Fail(ole::CTL_E_SETNOTPERMITTED, why, ole::ErrorText(ole::CTL_E_SETNOTPERMITTED));
      if (ole::Failed(hr = ole::ToBool(value, &m_HabilitaMenu))) return mismatch(hr);
      break;
    }
    case DISPID_Refresh:
      return give(QVariant());
    default:
      return Fail(ole::DISP_E_MEMBERNOTFOUND, why, ole::ErrorText(ole::DISP_E_MEMBERNOTFOUND));
  }
  // Stored; now tell the container.
  return PropertyChanged(name, why);
}

// ---------------------------------------------------------------------------
// Hosting and persistence

HRESULT Trivex::SetClientSite(ole::IControlSite* site) {
  site_ = site;
  return ole::S_OK;
}

HRESULT Trivex::InitNew(QString* why) {
  m_BackColor = 0;
  m_ForeColor = 0;
  m_Enabled = false;
  ole::DispatchPtr font;
  if (HRESULT hr = AmbientFont(&font, why); ole::Failed(hr)) return hr;
  m_Font = font;
  m_BackStyle = 0;
  m_BorderStyle = 0;
  m_STATUS = QStringLiteral("N");
  m_HabilitaMenu = true;
  return ole::S_OK;
}

HRESULT Trivex::Load(ole::IPropertyBag* bag, QString* why) {
  if (!bag) return Fail(ole::E_POINTER, why, ole::ErrorText(ole::E_POINTER));
  QVariant v;
  HRESULT hr = ole::S_OK;
  // Reads one entry (or its default) into v; false stops the load.
  auto read = [&](const char* name, const QVariant& defaultValue) {
    hr = ole::ReadProperty(bag, QLatin1String(name), defaultValue, &v);
    if (ole::Failed(hr))
      Fail(hr, why, QStringLiteral("ReadProperty \"%1\": %2").arg(QLatin1String(name), ole::ErrorText(hr)));
    return ole::Succeeded(hr);
  };
  auto converted = [&](const char* name, HRESULT result) {
    hr = result;
    if (ole::Failed(hr))
      Fail(hr, why, QStringLiteral("%1: property bag entry \"%2\" holds %3")
                        .arg(ole::ErrorText(hr), QLatin1String(name),
                             ole::IsObject(v) ? QStringLiteral("an object")
                                              : QStringLiteral("\"%1\"").arg(v.toString())));
    return ole::Succeeded(hr);
  };
  if (!read("BackColor", qint32(0)) || !converted("BackColor", ole::ToInt32(v, &m_BackColor))) return hr;
  if (!read("ForeColor", qint32(0)) || !converted("ForeColor", ole::ToInt32(v, &m_ForeColor))) return hr;
  if (!read("Enabled", false) || !converted("Enabled", ole::ToBool(v, &m_Enabled))) return hr;
  ole::DispatchPtr ambient;
  if (ole::Failed(hr = AmbientFont(&ambient, why))) return hr;
  if (!read("Font", ole::FromObject(ambient)) ||
      !converted("Font", ole::ToFont(v) ? ole::S_OK : ole::DISP_E_TYPEMISMATCH))
    return hr;
  m_Font = ole::ToObject(v);
  if (!read("BackStyle", QVariant::fromValue<qint16>(0)) ||
      !converted("BackStyle", ole::ToInt16(v, &m_BackStyle)))
    return hr;
  if (!read("BorderStyle", QVariant::fromValue<qint16>(0)) ||
      !converted("BorderStyle", ole::ToInt16(v, &m_BorderStyle)))
    return hr;
  if (!read("STATUS", QStringLiteral("N")) || !converted("STATUS", ole::ToString(v, &m_STATUS))) return hr;
  if (!read("HabilitaMenu", true) || !converted("HabilitaMenu", ole::ToBool(v, &m_HabilitaMenu))) return hr;
  return ole::S_OK;
}

HRESULT Trivex::Save(ole::IPropertyBag* bag, QString* why) {
  if (!bag) return Fail(ole::E_POINTER, why, ole::ErrorText(ole::E_POINTER));
  HRESULT hr = ole::S_OK;
  auto write = [&](const char* name, const QVariant& value, const QVariant& defaultValue) {
    hr = ole::WriteProperty(bag, QLatin1String(name), value, defaultValue);
    if (ole::Failed(hr))
      Fail(hr, why, QStringLiteral("WriteProperty \"%1\": %2").arg(QLatin1String(name), ole::ErrorText(hr)));
    return ole::Succeeded(hr);
  };
  if (!write("BackColor", m_BackColor, qint32(0))) return hr;
  if (!write("ForeColor", m_ForeColor, qint32(0))) return hr;
  if (!write("Enabled", m_Enabled, false)) return hr;
  ole::DispatchPtr ambient;
  if (ole::Failed(hr = AmbientFont(&ambient, why))) return hr;
  if (!write("Font", ole::FromObject(m_Font), ole::FromObject(ambient))) return hr;
  if (!write("BackStyle", QVariant::fromValue(m_BackStyle), QVariant::fromValue<qint16>(0))) return hr;
  if (!write("BorderStyle", QVariant::fromValue(m_BorderStyle), QVariant::fromValue<qint16>(0))) return hr;
  if (!write("STATUS", m_STATUS, QStringLiteral("N"))) return hr;
  if (!write("HabilitaMenu", m_HabilitaMenu, true)) return hr;
  return ole::S_OK;
}

HRESULT Trivex::InPlaceActivate(QWidget* parent, const QRect& geometry) {
  if (!UserControl) return ole::E_UNEXPECTED;
  UserControl->setParent(parent);
  UserControl->setGeometry(geometry);
  UserControl->show();
  return ole::S_OK;
}

QWidget* Trivex::Window() const { return UserControl.data(); }

}  // namespace trivex
