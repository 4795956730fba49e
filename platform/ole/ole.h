#pragma once
// Component runtime: the contract between a host program and the control
// libraries it creates at run time. A host never links a control library: it
// asks for a class by its programmatic identifier ("TrivexControl.Trivex"),
// the runtime finds the library in its registry, loads it and creates the
// control. From then on the two meet only through this header: dispatch by id,
// events delivered to the host's site, and the property bag.
//
// Everything runs on the user-interface thread. Calls that cross between host
// and control return an HRESULT (negative on failure) and, where it helps, a
// description of the failure; the host-side helpers at the end turn failures
// into ole::Error exceptions. Values crossing the boundary are QVariants or
// abstract interfaces, never concrete classes of either side.
//
// A host, in order:
//   std::shared_ptr<ole::IOleControl> ctl;
//   ole::Check(ole::CoCreateInstance("TrivexControl.Trivex", &ctl, &why), why);
//   ctl->SetClientSite(&site);              // site: the host's IControlSite
//   ctl->Load(&bag) or ctl->InitNew();
//   ctl->InPlaceActivate(parentWidget, rect);
//   ole::Dispatcher(ctl).Let(0x68030013, QString("A"));
// and receives events in site.FireEvent(id, args).
#include <QFont>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <cstdint>
#include <exception>
#include <memory>

class QImage;
class QWidget;
class QRect;

namespace ole {

using HRESULT = std::int32_t;
using DISPID = std::int32_t;

constexpr bool Failed(HRESULT hr) { return hr < 0; }
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = HRESULT(0x80004001u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = HRESULT(0x80070005u);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = HRESULT(0x80020003u);
constexpr HRESULT DISP_E_TYPEMISMATCH = HRESULT(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = HRESULT(0x80020006u);
constexpr HRESULT DISP_E_OVERFLOW = HRESULT(0x8002000Au);
constexpr HRESULT DISP_E_BADINDEX = HRESULT(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = HRESULT(0x8002000Eu);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = HRESULT(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = HRESULT(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = HRESULT(0x8004F002u);
constexpr HRESULT SELFREG_E_CLASS = HRESULT(0x80040201u);
// Control errors: 0x800A0000 + the error number.
constexpr HRESULT CTL_E_SETNOTPERMITTED = HRESULT(0x800A0183u);  // 387

// Standard dispatch ids.
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_FONT = -512;

// A short English text for a known HRESULT ("Class not registered", ...);
// the hexadecimal code otherwise.
QString ErrorText(HRESULT hr);

// ---------------------------------------------------------------------------
// Dispatch

// How a member is called. A member table may combine them as flags.
enum class InvokeKind { Method = 1, PropertyGet = 2, PropertyLet = 4, PropertySet = 8 };

// An object whose members are reached by dispatch id.
class IDispatch {
 public:
  virtual ~IDispatch() = default;
  // The dispatch id of a member name (case-insensitive); DISP_E_UNKNOWNNAME if none.
  virtual HRESULT GetIDOfName(const QString& name, DISPID* id) const = 0;
  // Calls a member. A let or set takes its value as args[0]; a get or a method
  // stores its value in *result (when given). On failure, *errorDescription
  // (when given) says why. DISP_E_MEMBERNOTFOUND for an unknown id or a kind
  // the member does not support.
  virtual HRESULT Invoke(DISPID id, InvokeKind kind, const QVariantList& args, QVariant* result,
                         QString* errorDescription = nullptr) = 0;
};
using DispatchPtr = std::shared_ptr<IDispatch>;

// ---------------------------------------------------------------------------
// Variants
//
// Property values and event arguments are QVariants holding qint16 (16-bit
// integer), qint32 (32-bit integer), bool (Boolean), QString, or an object
// reference carried as DispatchPtr. An empty QVariant is "Empty".

inline QVariant FromObject(DispatchPtr object) { return QVariant::fromValue(std::move(object)); }
// The object a variant refers to; null when it holds none.
DispatchPtr ToObject(const QVariant& v);
bool IsObject(const QVariant& v);

// Conversions to the stored types, as the controls apply them to incoming
// values. Numbers come from any numeric variant (reals rounded half to even),
// a Boolean (True = -1) or a numeric string; Booleans from bool, numbers
// (non-zero = True) or the strings "True"/"False"; strings from strings,
// numbers and Booleans. DISP_E_TYPEMISMATCH for anything else (objects,
// Empty, non-numeric text), DISP_E_OVERFLOW when a number does not fit.
HRESULT ToInt16(const QVariant& v, qint16* out);
HRESULT ToInt32(const QVariant& v, qint32* out);
HRESULT ToBool(const QVariant& v, bool* out);
HRESULT ToString(const QVariant& v, QString* out);

// True when two values are the same: the same object for references,
// otherwise the same type and value (so "" differs from "N" and from Empty).
bool SameValue(const QVariant& a, const QVariant& b);

// The standard font object: shared by reference, never copied. Its dispatch
// members: Name (0), Size (2), Bold (3), Italic (4), Underline (5),
// Strikethrough (6).
class IFontDisp : public IDispatch {
 public:
  virtual QFont Font() const = 0;
  virtual void SetFont(const QFont& font) = 0;
};
DispatchPtr CreateStdFont(const QFont& font);
// The font object a variant refers to; null when it holds none.
IFontDisp* ToFont(const QVariant& v);

// ---------------------------------------------------------------------------
// Persistence

// Named entries of a control's saved state.
class IPropertyBag {
 public:
  virtual ~IPropertyBag() = default;
  // E_INVALIDARG when there is no such entry.
  virtual HRESULT Read(const QString& name, QVariant* value) = 0;
  // Adds the entry or replaces its value.
  virtual HRESULT Write(const QString& name, const QVariant& value) = 0;
  // Removes the entry; S_FALSE when there was none.
  virtual HRESULT Remove(const QString& name) = 0;
};

// Reads an entry into *value, or defaultValue when the bag has none.
HRESULT ReadProperty(IPropertyBag* bag, const QString& name, const QVariant& defaultValue,
                     QVariant* value);
// Writes an entry; a value equal to defaultValue (SameValue) is left out and
// any earlier entry of that name removed.
HRESULT WriteProperty(IPropertyBag* bag, const QString& name, const QVariant& value,
                      const QVariant& defaultValue);

// The runtime's property bag: an ordered list of entries, names compared
// case-insensitively.
class PropertyBag : public IPropertyBag {
 public:
  HRESULT Read(const QString& name, QVariant* value) override;
  HRESULT Write(const QString& name, const QVariant& value) override;
  HRESULT Remove(const QString& name) override;

  // Reads an entry, or defaultValue when it is missing.
  QVariant ReadProperty(const QString& name, const QVariant& defaultValue = {});
  // Writes an entry; a value equal to defaultValue is left out (and any
  // earlier entry of that name removed).
  void WriteProperty(const QString& name, const QVariant& value, const QVariant& defaultValue = {});

  bool Contains(const QString& name) const;
  QStringList Names() const;  // in the order first written
  void Clear();

 private:
  qsizetype IndexOf(const QString& name) const;
  QList<QPair<QString, QVariant>> entries_;
};

// ---------------------------------------------------------------------------
// Hosting

// What the host gives each control it creates. The site outlives the control's
// use of it.
class IControlSite {
 public:
  virtual ~IControlSite() = default;
  // Ambient user mode: true at run time, false in design mode.
  virtual HRESULT AmbientUserMode(bool* userMode) = 0;
  // Ambient font: a font object (IFontDisp).
  virtual HRESULT AmbientFont(DispatchPtr* font) = 0;
  // Property-changed notification, by property name. A failure is returned
  // to whoever set the property (the value stays stored).
  virtual HRESULT OnChanged(const QString& propertyName) = 0;
  // An event raised by the control, by its event dispatch id; a synchronous
  // call that returns once the host's handler has finished.
  virtual HRESULT FireEvent(DISPID eventId, const QVariantList& args) = 0;
  // An error the control could not return to a caller (raised inside its own
  // event handling). The host reports it; the control stays usable.
  virtual void OnControlError(HRESULT hr, const QString& description) = 0;
};

// A control: its dispatch interface plus the calls a container makes.
class IOleControl : public IDispatch {
 public:
  // Must be called first, before InitNew or Load.
  virtual HRESULT SetClientSite(IControlSite* site) = 0;
  // Persistence: a new instance, or one created from saved state. Neither
  // sends property-changed notifications.
  virtual HRESULT InitNew(QString* errorDescription = nullptr) = 0;
  virtual HRESULT Load(IPropertyBag* bag, QString* errorDescription = nullptr) = 0;
  virtual HRESULT Save(IPropertyBag* bag, QString* errorDescription = nullptr) = 0;
  // Places the control's window in the host's widget at the given geometry
  // (pixels) and shows it. The window exists from creation; the host's widget
  // owns it from here on; a control released first hides it and deletes it
  // once control returns to the event loop.
  virtual HRESULT InPlaceActivate(QWidget* parent, const QRect& geometry) = 0;
  // The control's window.
  virtual QWidget* Window() const = 0;
};

class IClassFactory {
 public:
  virtual ~IClassFactory() = default;
  virtual HRESULT CreateInstance(std::shared_ptr<IOleControl>* instance) = 0;
};

// ---------------------------------------------------------------------------
// Creation and the registry

// Where a class is found, in this order (identifiers ignore letter case, as
// on the original platform: "trivexcontrol.trivex" finds TrivexControl.Trivex):
//
// 1. The program's side-by-side manifest, ManifestPath(): the file beside the
//    executable named after it plus ".manifest" (VaskorTorvana.manifest).
//    It names the control libraries that ship beside the program and their
//    classes, so no registration is needed at all:
//      <assembly manifestVersion="1.0">
//        <file name="Trivex.ocx">
//          <comClass progid="TrivexControl.Trivex" threadingModel="Apartment"/>
//        </file>
//      </assembly>
//    A file name is relative to the manifest's folder and may not leave it.
//    This is how an installed program, shared by every user of the machine,
//    and a program started straight from a build tree find their own copy of
//    the control: the manifest travels with the program, and nothing is
//    written outside the program's folder at install time.
// 2. The registry: one INI file written and read only by this runtime, for
//    hosts without a manifest (tests, tools, other programs). It is per user:
//    $VT_OLE_REGISTRY when set, else
//    <per-user configuration folder>/VaskorTorvana/ole-registry.ini.
QString ManifestPath();
QString RegistryPath();

// Creates an instance of a class by its programmatic identifier, loading its
// library on first use (it then stays loaded). REGDB_E_CLASSNOTREG
// ("Class not registered: <progId>") when neither the manifest nor the
// registry knows the identifier, CO_E_DLLNOTFOUND when its library cannot be
// loaded (a manifest entry whose library is missing is not looked up again in
// the registry).
HRESULT CoCreateInstance(const QString& progId, std::shared_ptr<IOleControl>* instance,
                         QString* errorDescription = nullptr);

// The picture a designer's toolbox shows for a class: the toolbox bitmap its
// library registered (the library is loaded for it). A null image, and why,
// when the registry does not name one or the library cannot be loaded.
QImage ToolboxPicture(const QString& progId, QString* errorDescription = nullptr);

// Loads a control library and calls its DllRegisterServer (or, with
// unregister, DllUnregisterServer) against the current registry; a class
// already registered under another letter case is replaced. Refuses a
// library whose version information lacks the "OLESelfRegister" entry
// (SELFREG_E_CLASS). The command-line registrar is: vtregsvr [/u] <library>.
HRESULT RegisterServer(const QString& libraryPath, bool unregister = false,
                       QString* errorDescription = nullptr);

// ---------------------------------------------------------------------------
// Host-side helpers: failures become exceptions.

class Error : public std::exception {
 public:
  Error(HRESULT hr, QString description);
  HRESULT Hr() const { return hr_; }
  // The error number as the host shows it: the low word for control errors
  // (387 for CTL_E_SETNOTPERMITTED), the HRESULT otherwise.
  long Number() const;
  const QString& Description() const { return description_; }
  const char* what() const noexcept override { return what_.constData(); }

 private:
  HRESULT hr_;
  QString description_;
  QByteArray what_;
};

// Throws ole::Error when hr failed; an empty description becomes ErrorText(hr).
void Check(HRESULT hr, const QString& description = {});

// Late-bound calls on an object, by dispatch id or by name. Every call throws
// ole::Error on failure.
class Dispatcher {
 public:
  explicit Dispatcher(DispatchPtr object) : object_(std::move(object)) {}
  QVariant Get(DISPID id) const;
  QVariant Get(const QString& name) const;
  void Let(DISPID id, const QVariant& value) const;
  void Set(DISPID id, DispatchPtr value) const;
  QVariant Call(DISPID id, const QVariantList& args = {}) const;
  DISPID IdOf(const QString& name) const;
  const DispatchPtr& Object() const { return object_; }

 private:
  QVariant Invoke(DISPID id, InvokeKind kind, const QVariantList& args) const;
  DispatchPtr object_;
};

}  // namespace ole

Q_DECLARE_METATYPE(ole::DispatchPtr)

// Entry points every control library exports (extern "C", default visibility).
// Each hands the call, with the library's registration descriptor, to the
// runtime's generic implementation (platform/ole/server.h).
extern "C" {
using DllRegisterServerFn = ole::HRESULT (*)();
using DllUnregisterServerFn = ole::HRESULT (*)();
// classId: the class's programmatic identifier.
using DllGetClassObjectFn = ole::HRESULT (*)(const char* classId,
                                             std::shared_ptr<ole::IClassFactory>* factory);
// S_OK when no object of the library is alive, S_FALSE otherwise.
using DllCanUnloadNowFn = ole::HRESULT (*)();
}
