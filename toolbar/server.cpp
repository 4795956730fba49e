// The library's type information, registration descriptor, version
// information and exported entry points.
#include "toolbar/Trivex.h"

namespace trivex {

using ole::InvokeKind;
using ole::Kinds;
constexpr auto kGet = InvokeKind::PropertyGet;
constexpr auto kLet = InvokeKind::PropertyLet;

const ole::InterfaceInfo k_Trivex = {
    "_Trivex",
    ole::kHidden | ole::kDual,
    {
        {"BackColor", DISPID_BackColor, Kinds(kGet, kLet), "Long",
         "Returns/sets the background color used to display text and graphics in an object.", 0,
         {{"New_BackColor", "Long", false}}},
        {"ForeColor", DISPID_ForeColor, Kinds(kGet, kLet), "Long",
         "Returns/sets the foreground color used to display text and graphics in an object.", 0,
         {{"New_ForeColor", "Long", false}}},
        {"Enabled", DISPID_Enabled, Kinds(kGet, kLet), "Boolean",
         "Returns/sets a value that determines whether an object can respond to user-generated "
         "events.", 0, {{"New_Enabled", "Boolean", false}}},
        {"Font", DISPID_Font, Kinds(kGet, InvokeKind::PropertySet), "Font", "Returns a Font object.",
         0, {{"New_Font", "Font", false}}},
        {"BackStyle", DISPID_BackStyle, Kinds(kGet, kLet), "Integer",
         "Indicates whether a Label or the background of a Shape is transparent or opaque.", 0,
         {{"New_BackStyle", "Integer", false}}},
        {"BorderStyle", DISPID_BorderStyle, Kinds(kGet, kLet), "Integer",
         "Returns/sets the border style for an object.", 0, {{"New_BorderStyle", "Integer", false}}},
        {"Refresh", DISPID_Refresh, Kinds(InvokeKind::Method), "",
         "Forces a complete repaint of a object.", 0, {}},
        {"STATUS", DISPID_STATUS, Kinds(kGet, kLet), "String", "", 0,
         {{"New_STATUS", "String", false}}},
        {"HabilitaMenu", DISPID_HabilitaMenu, Kinds(kGet, kLet), "Boolean", "", ole::kNonBrowsable,
         {{"New_HabilitaMenu", "Boolean", false}}},
    }};

namespace {
const std::vector<ole::ParamInfo> kKeyParams = {{"KeyCode", "Integer", true},
                                                {"Shift", "Integer", true}};
const std::vector<ole::ParamInfo> kMouseParams = {{"Button", "Integer", true},
                                                  {"Shift", "Integer", true},
                                                  {"X", "Single", true},
                                                  {"Y", "Single", true}};
constexpr unsigned kEvent = Kinds(InvokeKind::Method);
}  // namespace

const ole::InterfaceInfo k__Trivex = {
    "__Trivex",
    ole::kHidden | ole::kSource,
    {
        {"Click", EVENT_Click, kEvent, "",
         "Occurs when the user presses and then releases a mouse button over an object.", 0, {}},
        {"DblClick", EVENT_DblClick, kEvent, "",
         "Occurs when the user presses and releases a mouse button and then presses and releases "
         "it again over an object.", 0, {}},
        {"KeyDown", EVENT_KeyDown, kEvent, "",
         "Occurs when the user presses a key while an object has the focus.", 0, kKeyParams},
        {"KeyPress", EVENT_KeyPress, kEvent, "", "Occurs when the user presses and releases an ANSI key.",
         0, {{"KeyAscii", "Integer", true}}},
        {"KeyUp", EVENT_KeyUp, kEvent, "",
         "Occurs when the user releases a key while an object has the focus.", 0, kKeyParams},
        {"MouseDown", EVENT_MouseDown, kEvent, "",
         "Occurs when the user presses the mouse button while an object has the focus.", 0,
         kMouseParams},
        {"MouseMove", EVENT_MouseMove, kEvent, "", "Occurs when the user moves the mouse.", 0,
         kMouseParams},
        {"MouseUp", EVENT_MouseUp, kEvent, "",
         "Occurs when the user releases the mouse button while an object has the focus.", 0,
         kMouseParams},
        {"ButtonClick", EVENT_ButtonClick, kEvent, "",
         "Occurs when the user clicks on a Button object in a Toolbar control.", 0,
         {{"Button", "MSComctlLib.Button", false}}},
    }};

const ole::InterfaceInfo kButton = {
    "IButton",
    ole::kDual,
    {
        {"Index", 1, Kinds(kGet), "Integer", "", 0, {}},
        {"Key", 2, Kinds(kGet), "String", "", 0, {}},
        {"ToolTipText", 3, Kinds(kGet), "String", "", 0, {}},
        {"Image", 4, Kinds(kGet), "Integer", "", 0, {}},
        {"Enabled", 5, Kinds(kGet, kLet), "Boolean", "", 0, {}},
    }};

namespace {

// OLEMISC: recompose on resize, cannot link inside, inside-out, activate when
// visible, set client site first.
constexpr qint32 kMiscStatus = 0x20191;

// The class object handed out by DllGetClassObject, counted while a host holds it.
class ClassFactory final : public ole::IClassFactory {
 public:
  explicit ClassFactory(std::shared_ptr<ole::IClassFactory> inner) : inner_(std::move(inner)) {}
  ole::HRESULT CreateInstance(std::shared_ptr<ole::IOleControl>* instance) override {
    return inner_->CreateInstance(instance);
  }

 private:
  std::shared_ptr<ole::IClassFactory> inner_;
  LiveObject live_;
};

const ole::ServerDescriptor kServer = {
    "TrivexControl",
    "Trivex Control ",
    5,
    1,
    {{"Trivex", kProgId, true, "Apartment", kMiscStatus, 30000, ":/Trivex/30000.bmp", &k_Trivex,
      &k__Trivex, [] { return std::shared_ptr<ole::IOleControl>(std::make_shared<Trivex>()); }}},
    [] { return gLiveObjects.load(); },
};

}  // namespace
}  // namespace trivex

OLE_VERSION_INFO(
    "FileVersion=1.00\0"
    "ProductVersion=1.00\0"
    "FileVersionNumber=1.0.0.0\0"
    "ProductVersionNumber=1.0.0.0\0"
    "FileType=DLL\0"
    "OriginalFilename=Trivex.ocx\0"
    "InternalName=Trivex\0"
    "ProductName=TrivexControl\0"
    "OLESelfRegister=\0");

extern "C" {

OLE_EXPORT ole::HRESULT DllRegisterServer() {
  return ole::RegisterServerImpl(trivex::kServer, ole::ModulePathOf(&trivex::kServer));
}

OLE_EXPORT ole::HRESULT DllUnregisterServer() {
  return ole::UnregisterServerImpl(trivex::kServer);
}

OLE_EXPORT ole::HRESULT DllGetClassObject(const char* classId,
                                          std::shared_ptr<ole::IClassFactory>* factory) {
  if (!factory) return ole::E_POINTER;
  std::shared_ptr<ole::IClassFactory> inner;
  const ole::HRESULT hr = ole::GetClassObjectImpl(trivex::kServer, classId, &inner);
  if (ole::Failed(hr)) return hr;
  *factory = std::make_shared<trivex::ClassFactory>(std::move(inner));
  return hr;
}

OLE_EXPORT ole::HRESULT DllCanUnloadNow() { return ole::CanUnloadNowImpl(trivex::kServer); }

}  // extern "C"
