#pragma once
// The library side of the component runtime: what a control library declares
// about itself (type information, classes, registration data) and the generic
// implementations its four exported entry points hand their calls to.
//
// A control library:
//   OLE_VERSION_INFO("FileVersion=1.00\0" ... "OLESelfRegister=\0");
//   static const ole::ServerDescriptor kServer = {...};
//   extern "C" OLE_EXPORT ole::HRESULT DllRegisterServer() {
//     return ole::RegisterServerImpl(kServer, ole::ModulePathOf(&kServer));
//   }
//   ... likewise DllUnregisterServer, DllGetClassObject, DllCanUnloadNow.
#include "platform/ole/ole.h"

#include <QMap>
#include <functional>
#include <vector>

#define OLE_EXPORT __attribute__((visibility("default")))

// The library's version information: "Key=Value" strings separated by NULs
// and ended by an empty one, kept in the ELF section ".vt_version" so that
// `readelf -p .vt_version <library>` prints it, and exported as VtVersionInfo
// for the registrar. A library is self-registering when it carries the entry
// "OLESelfRegister=" (empty value).
#define OLE_VERSION_INFO(entries)                                                       \
  extern "C" OLE_EXPORT __attribute__((used, section(".vt_version"))) const char \
      VtVersionInfo[] = entries "\0"

namespace ole {

constexpr const char* kVersionInfoSymbol = "VtVersionInfo";

// Parses a version information block into its entries.
QMap<QString, QString> ParseVersionInfo(const char* block);

// ---------------------------------------------------------------------------
// Type information

enum MemberFlag : unsigned {
  kNonBrowsable = 1,  // hidden from property browsers
};
enum InterfaceFlag : unsigned {
  kHidden = 1,  // hidden from object browsers
  kDual = 2,
  kSource = 4,  // an event interface: the control calls it on its host
};

struct ParamInfo {
  const char* name;
  const char* type;  // "Integer", "Long", "Boolean", "String", "Single", "Button"...
  bool byRef;
};

struct MemberInfo {
  const char* name;
  DISPID id;
  unsigned kinds;    // InvokeKind values or'ed together
  const char* type;  // of the property or return value; "" for none
  const char* help;  // help string; "" for none
  unsigned flags;    // MemberFlag
  std::vector<ParamInfo> params;
};

struct InterfaceInfo {
  const char* name;
  unsigned flags;  // InterfaceFlag
  std::vector<MemberInfo> members;

  const MemberInfo* Find(DISPID id) const;
  const MemberInfo* Find(const QString& name) const;  // case-insensitive
  // IDispatch::GetIDOfName over this table.
  HRESULT GetIDOfName(const QString& name, DISPID* id) const;
  // DISP_E_MEMBERNOTFOUND unless the member exists and supports kind.
  HRESULT CheckInvoke(DISPID id, InvokeKind kind, QString* errorDescription) const;
  // A readable listing of the interface, one member a line:
  //   ButtonClick(ByVal Button As MSComctlLib.Button) id=9 [method] "Occurs when..."
  QString Dump() const;
  static QString DumpMember(const MemberInfo& m);
};

constexpr unsigned Kinds(InvokeKind a) { return unsigned(a); }
constexpr unsigned Kinds(InvokeKind a, InvokeKind b) { return unsigned(a) | unsigned(b); }

// ---------------------------------------------------------------------------
// Classes and the server

struct ClassInfo {
  const char* name;    // "Trivex"
  const char* progId;  // "TrivexControl.Trivex"
  bool control;
  const char* threadingModel;  // "Apartment"
  qint32 miscStatus;           // OLEMISC flags
  int toolboxBitmap;           // resource number
  const char* toolboxResource; // the picture inside the library (a Qt resource path)
  const InterfaceInfo* defaultInterface;
  const InterfaceInfo* eventInterface;
  std::function<std::shared_ptr<IOleControl>()> create;
};

struct ServerDescriptor {
  const char* project;      // the type library's name, "TrivexControl"
  const char* description;  // the type library's description
  int majorVersion;
  int minorVersion;
  std::vector<ClassInfo> classes;
  // Objects of the library still alive (for DllCanUnloadNow).
  std::function<int()> liveObjects;
};

// The file a code or data address belongs to (the library's own path).
QString ModulePathOf(const void* address);

// Registry contents written for a server: group "TypeLib.<project>" and one
// group per class named by its programmatic identifier.
HRESULT RegisterServerImpl(const ServerDescriptor& server, const QString& libraryPath);
// Removes exactly the groups RegisterServerImpl writes.
HRESULT UnregisterServerImpl(const ServerDescriptor& server);
HRESULT GetClassObjectImpl(const ServerDescriptor& server, const char* classId,
                           std::shared_ptr<IClassFactory>* factory);
HRESULT CanUnloadNowImpl(const ServerDescriptor& server);

}  // namespace ole
