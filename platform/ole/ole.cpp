// Variants, the standard font, the property bag and the host-side helpers.
#include "platform/ole/ole.h"

#include <cmath>
#include <limits>

namespace ole {

QString ErrorText(HRESULT hr) {
  switch (hr) {
    case S_OK: return QStringLiteral("Success");
    case E_NOTIMPL: return QStringLiteral("Not implemented");
    case E_NOINTERFACE: return QStringLiteral("No such interface supported");
    case E_POINTER: return QStringLiteral("Invalid pointer");
    case E_FAIL: return QStringLiteral("Unspecified error");
    case E_UNEXPECTED: return QStringLiteral("Catastrophic failure");
    case E_ACCESSDENIED: return QStringLiteral("Access is denied");
    case E_INVALIDARG: return QStringLiteral("The parameter is incorrect");
    case DISP_E_MEMBERNOTFOUND: return QStringLiteral("Member not found");
    case DISP_E_TYPEMISMATCH: return QStringLiteral("Type mismatch");
    case DISP_E_UNKNOWNNAME: return QStringLiteral("Unknown name");
    case DISP_E_OVERFLOW: return QStringLiteral("Overflow");
    case DISP_E_BADINDEX: return QStringLiteral("Index out of bounds");
    case DISP_E_BADPARAMCOUNT: return QStringLiteral("Invalid number of parameters");
    case CLASS_E_CLASSNOTAVAILABLE: return QStringLiteral("Class not available");
    case REGDB_E_CLASSNOTREG: return QStringLiteral("Class not registered");
    case CO_E_CLASSSTRING: return QStringLiteral("Invalid class string");
    case CO_E_DLLNOTFOUND: return QStringLiteral("Library not found");
    case SELFREG_E_CLASS: return QStringLiteral("The library is not self-registering");
    case CTL_E_SETNOTPERMITTED: return QStringLiteral("Can't set property at design time");
    default: return QStringLiteral("Error 0x%1").arg(quint32(hr), 8, 16, QLatin1Char('0'));
  }
}

// ---------------------------------------------------------------------------
// Variants

DispatchPtr ToObject(const QVariant& v) {
  if (v.metaType() != QMetaType::fromType<DispatchPtr>()) return nullptr;
  return v.value<DispatchPtr>();
}

bool IsObject(const QVariant& v) { return v.metaType() == QMetaType::fromType<DispatchPtr>(); }

namespace {

bool IsNumeric(const QVariant& v) {
  switch (v.metaType().id()) {
    case QMetaType::Short: case QMetaType::UShort: case QMetaType::Int: case QMetaType::UInt:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::LongLong:
    case QMetaType::ULongLong: case QMetaType::Char: case QMetaType::SChar:
    case QMetaType::UChar: case QMetaType::Float: case QMetaType::Double:
      return true;
    default:
      return false;
  }
}

// Any numeric variant, Boolean or numeric string as a real number.
HRESULT ToNumber(const QVariant& v, double* out) {
  if (v.metaType().id() == QMetaType::Bool) {
    *out = v.toBool() ? -1 : 0;
    return S_OK;
  }
  if (IsNumeric(v)) {
    *out = v.toDouble();
    return S_OK;
  }
  if (v.metaType().id() == QMetaType::QString) {
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    if (ok) {
      *out = d;
      return S_OK;
    }
  }
  return DISP_E_TYPEMISMATCH;
}

template <typename T>
HRESULT ToInteger(const QVariant& v, T* out) {
  if (!out) return E_POINTER;
  double d = 0;
  if (HRESULT hr = ToNumber(v, &d); Failed(hr)) return hr;
  d = std::nearbyint(d);  // the default rounding mode: half to even
  if (!(d >= double(std::numeric_limits<T>::min()) && d <= double(std::numeric_limits<T>::max())))
    return DISP_E_OVERFLOW;
  *out = T(d);
  return S_OK;
}

}  // namespace

HRESULT ToInt16(const QVariant& v, qint16* out) { return ToInteger(v, out); }
HRESULT ToInt32(const QVariant& v, qint32* out) { return ToInteger(v, out); }

HRESULT ToBool(const QVariant& v, bool* out) {
  if (!out) return E_POINTER;
  if (v.metaType().id() == QMetaType::Bool) {
    *out = v.toBool();
    return S_OK;
  }
  if (v.metaType().id() == QMetaType::QString) {
    const QString s = v.toString().trimmed();
    if (s.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return *out = true, S_OK;
    if (s.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return *out = false, S_OK;
  }
  double d = 0;
  if (HRESULT hr = ToNumber(v, &d); Failed(hr)) return hr;
  *out = d != 0;
  return S_OK;
}

HRESULT ToString(const QVariant& v, QString* out) {
  if (!out) return E_POINTER;
  if (v.metaType().id() == QMetaType::QString) {
    *out = v.toString();
    return S_OK;
  }
  if (v.metaType().id() == QMetaType::Bool) {
    *out = v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return S_OK;
  }
  if (IsNumeric(v)) {
    *out = v.toString();
    return S_OK;
  }
  return DISP_E_TYPEMISMATCH;
}

bool SameValue(const QVariant& a, const QVariant& b) {
  if (IsObject(a) || IsObject(b)) return IsObject(a) && IsObject(b) && ToObject(a) == ToObject(b);
  if (a.metaType() != b.metaType()) return false;
  return !a.isValid() || a == b;
}

// ---------------------------------------------------------------------------
// The standard font

namespace {

class StdFont final : public IFontDisp {
 public:
  explicit StdFont(const QFont& font) : font_(font) {}
  QFont Font() const override { return font_; }
  void SetFont(const QFont& font) override { font_ = font; }

  HRESULT GetIDOfName(const QString& name, DISPID* id) const override {
    static const char* const names[] = {"Name", nullptr, "Size", "Bold", "Italic", "Underline",
                                        "Strikethrough"};
    for (int i = 0; i < int(std::size(names)); ++i) {
      if (names[i] && name.compare(QLatin1String(names[i]), Qt::CaseInsensitive) == 0) {
        if (id) *id = i;
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }

  HRESULT Invoke(DISPID id, InvokeKind kind, const QVariantList& args, QVariant* result,
                 QString* errorDescription) override {
    const bool get = kind == InvokeKind::PropertyGet;
    if (!get && kind != InvokeKind::PropertyLet) return DISP_E_MEMBERNOTFOUND;
    if (!get && args.size() != 1) return DISP_E_BADPARAMCOUNT;
    HRESULT hr = S_OK;
    switch (id) {
      case 0:
        if (get) { if (result) *result = font_.family(); return S_OK; }
        { QString s; if (Succeeded(hr = ToString(args[0], &s))) font_.setFamily(s); }
        break;
      case 2:
        if (get) { if (result) *result = font_.pointSizeF(); return S_OK; }
        if (!IsNumeric(args[0]) && args[0].metaType().id() != QMetaType::QString) {
          hr = DISP_E_TYPEMISMATCH;
        } else {
          double size = 0;
          if (Succeeded(hr = ToNumber(args[0], &size))) {
            if (size > 0) font_.setPointSizeF(size); else hr = E_INVALIDARG;
          }
        }
        break;
      case 3: case 4: case 5: case 6: {
        if (get) {
          const bool values[] = {font_.bold(), font_.italic(), font_.underline(), font_.strikeOut()};
          if (result) *result = values[id - 3];
          return S_OK;
        }
        bool b = false;
        if (Failed(hr = ToBool(args[0], &b))) break;
        if (id == 3) font_.setBold(b);
        if (id == 4) font_.setItalic(b);
        if (id == 5) font_.setUnderline(b);
        if (id == 6) font_.setStrikeOut(b);
        break;
      }
      default:
        hr = DISP_E_MEMBERNOTFOUND;
    }
    if (Failed(hr) && errorDescription) *errorDescription = ErrorText(hr);
    return hr;
  }

 private:
  QFont font_;
};

}  // namespace

DispatchPtr CreateStdFont(const QFont& font) { return std::make_shared<StdFont>(font); }

IFontDisp* ToFont(const QVariant& v) { return dynamic_cast<IFontDisp*>(ToObject(v).get()); }

// ---------------------------------------------------------------------------
// Persistence

HRESULT ReadProperty(IPropertyBag* bag, const QString& name, const QVariant& defaultValue,
                     QVariant* value) {
  if (!bag || !value) return E_POINTER;
  QVariant v;
  const HRESULT hr = bag->Read(name, &v);
  if (hr == E_INVALIDARG) {
    *value = defaultValue;
    return S_OK;
  }
  if (Succeeded(hr)) *value = v;
  return hr;
}

HRESULT WriteProperty(IPropertyBag* bag, const QString& name, const QVariant& value,
                      const QVariant& defaultValue) {
  if (!bag) return E_POINTER;
  if (SameValue(value, defaultValue)) {
    const HRESULT hr = bag->Remove(name);
    return Failed(hr) ? hr : S_OK;
  }
  return bag->Write(name, value);
}

qsizetype PropertyBag::IndexOf(const QString& name) const {
  for (qsizetype i = 0; i < entries_.size(); ++i)
    if (entries_[i].first.compare(name, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

HRESULT PropertyBag::Read(const QString& name, QVariant* value) {
  if (!value) return E_POINTER;
  const qsizetype i = IndexOf(name);
  if (i < 0) return E_INVALIDARG;
  *value = entries_[i].second;
  return S_OK;
}

HRESULT PropertyBag::Write(const QString& name, const QVariant& value) {
  const qsizetype i = IndexOf(name);
  if (i < 0)
    entries_.append({name, value});
  else
    entries_[i].second = value;
  return S_OK;
}

HRESULT PropertyBag::Remove(const QString& name) {
  const qsizetype i = IndexOf(name);
  if (i < 0) return S_FALSE;
  entries_.removeAt(i);
  return S_OK;
}

QVariant PropertyBag::ReadProperty(const QString& name, const QVariant& defaultValue) {
  QVariant v;
  ole::ReadProperty(this, name, defaultValue, &v);
  return v;
}

void PropertyBag::WriteProperty(const QString& name, const QVariant& value,
                                const QVariant& defaultValue) {
  ole::WriteProperty(this, name, value, defaultValue);
}

bool PropertyBag::Contains(const QString& name) const { return IndexOf(name) >= 0; }

QStringList PropertyBag::Names() const {
  QStringList names;
  for (const auto& e : entries_) names << e.first;
  return names;
}

void PropertyBag::Clear() { entries_.clear(); }

// ---------------------------------------------------------------------------
// Host-side helpers

Error::Error(HRESULT hr, QString description)
    : hr_(hr), description_(description.isEmpty() ? ErrorText(hr) : std::move(description)) {
  what_ = QStringLiteral("%1 (0x%2)").arg(description_).arg(quint32(hr_), 8, 16, QLatin1Char('0')).toUtf8();
}

long Error::Number() const {
  if ((quint32(hr_) & 0xFFFF0000u) == 0x800A0000u) return long(quint32(hr_) & 0xFFFFu);
  return long(hr_);
}

void Check(HRESULT hr, const QString& description) {
  if (Failed(hr)) throw Error(hr, description);
}

QVariant Dispatcher::Invoke(DISPID id, InvokeKind kind, const QVariantList& args) const {
  if (!object_) throw Error(E_POINTER, QStringLiteral("Object variable not set"));
  QVariant result;
  QString why;
  Check(object_->Invoke(id, kind, args, &result, &why), why);
  return result;
}

DISPID Dispatcher::IdOf(const QString& name) const {
  if (!object_) throw Error(E_POINTER, QStringLiteral("Object variable not set"));
  DISPID id = DISPID_UNKNOWN;
  Check(object_->GetIDOfName(name, &id),
        QStringLiteral("Object doesn't support this property or method: %1").arg(name));
  return id;
}

QVariant Dispatcher::Get(DISPID id) const { return Invoke(id, InvokeKind::PropertyGet, {}); }
QVariant Dispatcher::Get(const QString& name) const { return Get(IdOf(name)); }
void Dispatcher::Let(DISPID id, const QVariant& value) const {
  Invoke(id, InvokeKind::PropertyLet, {value});
}
void Dispatcher::Set(DISPID id, DispatchPtr value) const {
  Invoke(id, InvokeKind::PropertySet, {FromObject(std::move(value))});
}
QVariant Dispatcher::Call(DISPID id, const QVariantList& args) const {
  return Invoke(id, InvokeKind::Method, args);
}

}  // namespace ole
