// The registry file, creation by programmatic identifier, the registrar, and
// the generic server entry points.
#include <dlfcn.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QSettings>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include "platform/ole/server.h"

namespace ole {

QString ManifestPath() {
  if (!QCoreApplication::instance()) return {};
  return QCoreApplication::applicationFilePath() + QStringLiteral(".manifest");
}

QString RegistryPath() {
  const QString env = qEnvironmentVariable("VT_OLE_REGISTRY");
  if (!env.isEmpty()) return env;
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/VaskorTorvana/ole-registry.ini");
}

namespace {

HRESULT Fail(HRESULT hr, QString* errorDescription, const QString& text = {}) {
  if (errorDescription) *errorDescription = text.isEmpty() ? ErrorText(hr) : text;
  return hr;
}

// Libraries stay loaded for the rest of the run: their objects, and the
// values their code put into variants, may outlive any handle we could track.
void* LoadLibrary(const QString& path, QString* why) {
  static QHash<QString, void*> loaded;
  const QString key = QFileInfo(path).canonicalFilePath();
  if (void* h = loaded.value(key)) return h;
  void* h = dlopen(QFile::encodeName(key).constData(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    *why = QString::fromLocal8Bit(dlerror());
    return nullptr;
  }
  loaded.insert(key, h);
  return h;
}

bool ValidGroupName(const QString& name) {
  return !name.trimmed().isEmpty() && !name.contains(QLatin1Char('/')) &&
         !name.contains(QLatin1Char('\\'));
}

QString TypeLibGroup(const ServerDescriptor& server) {
  return QStringLiteral("TypeLib.") + QLatin1String(server.project);
}

QString KindsText(unsigned kinds) {
  QStringList parts;
  if (kinds & unsigned(InvokeKind::Method)) parts << QStringLiteral("method");
  if (kinds & unsigned(InvokeKind::PropertyGet)) parts << QStringLiteral("get");
  if (kinds & unsigned(InvokeKind::PropertyLet)) parts << QStringLiteral("let");
  if (kinds & unsigned(InvokeKind::PropertySet)) parts << QStringLiteral("set");
  return parts.join(QLatin1Char(','));
}

// The registry's group for a programmatic identifier, whatever its letter
// case; empty when there is none. An exact match wins.
QString FindGroup(QSettings& reg, const QString& progId) {
  const QStringList groups = reg.childGroups();
  if (groups.contains(progId)) return progId;
  for (const QString& g : groups)
    if (g.compare(progId, Qt::CaseInsensitive) == 0) return g;
  return {};
}

// A class found in the manifest or the registry: its identifier as written
// there and the absolute path of its library.
struct ClassEntry {
  QString progId;
  QString library;
};

// Looks progId up in the manifest beside the program:
//   <assembly manifestVersion="1.0">
//     <file name="Trivex.ocx"><comClass progid="TrivexControl.Trivex"/></file>
//   </assembly>
// A file name is taken relative to the manifest's folder and may not leave it.
// False when there is no manifest or it does not name the class.
bool FindInManifest(const QString& manifest, const QString& progId, ClassEntry* entry) {
  QFile file(manifest);
  if (manifest.isEmpty() || !file.open(QIODevice::ReadOnly)) return false;
  QXmlStreamReader xml(&file);
  QString library;  // the <file> being read
  while (!xml.atEnd()) {
    const QXmlStreamReader::TokenType token = xml.readNext();
    if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("file")) {
      library.clear();
    } else if (token == QXmlStreamReader::StartElement) {
      if (xml.name() == QLatin1String("file")) {
        library = xml.attributes().value(QLatin1String("name")).toString();
      } else if (xml.name() == QLatin1String("comClass") && !library.isEmpty() &&
                 xml.attributes().value(QLatin1String("progid")).compare(
                     progId, Qt::CaseInsensitive) == 0) {
        const QString clean = QDir::cleanPath(library);
        if (QDir::isAbsolutePath(clean) || clean.startsWith(QLatin1String(".."))) return false;
        entry->progId = xml.attributes().value(QLatin1String("progid")).toString();
        entry->library = QFileInfo(manifest).absolutePath() + QLatin1Char('/') + clean;
        return true;
      }
    }
  }
  return false;
}

HRESULT SyncStatus(QSettings& reg) {
  reg.sync();
  return reg.status() == QSettings::NoError ? S_OK : E_ACCESSDENIED;
}

class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(const ClassInfo* info) : info_(info) {}
  HRESULT CreateInstance(std::shared_ptr<IOleControl>* instance) override {
    if (!instance) return E_POINTER;
    try {
      *instance = info_->create();
    } catch (...) {
      return E_FAIL;
    }
    return *instance ? S_OK : E_FAIL;
  }

 private:
  const ClassInfo* info_;
};

}  // namespace

HRESULT CoCreateInstance(const QString& progId, std::shared_ptr<IOleControl>* instance,
                         QString* errorDescription) {
  if (!instance) return Fail(E_POINTER, errorDescription);
  instance->reset();
  if (!ValidGroupName(progId))
    return Fail(CO_E_CLASSSTRING, errorDescription,
                QStringLiteral("Invalid class string: \"%1\"").arg(progId));
  ClassEntry found;
  if (!FindInManifest(ManifestPath(), progId, &found)) {
    QSettings reg(RegistryPath(), QSettings::IniFormat);
    found.progId = FindGroup(reg, progId);
    if (!found.progId.isEmpty())
      found.library = reg.value(found.progId + QStringLiteral("/Library")).toString();
  }
  const QString& library = found.library;
  if (library.isEmpty())
    return Fail(REGDB_E_CLASSNOTREG, errorDescription,
                QStringLiteral("Class not registered: %1 (registry %2)").arg(progId, RegistryPath()));
  if (!QFileInfo::exists(library))
    return Fail(CO_E_DLLNOTFOUND, errorDescription,
                QStringLiteral("The library of %1 was not found: %2").arg(progId, library));
  QString why;
  void* handle = LoadLibrary(library, &why);
  if (!handle)
    return Fail(CO_E_DLLNOTFOUND, errorDescription,
                QStringLiteral("The library %1 cannot be loaded: %2").arg(library, why));
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  if (!getClassObject)
    return Fail(E_FAIL, errorDescription,
                QStringLiteral("%1 has no entry point DllGetClassObject").arg(library));
  std::shared_ptr<IClassFactory> factory;
  HRESULT hr = getClassObject(found.progId.toUtf8().constData(), &factory);
  if (Failed(hr) || !factory)
    return Fail(Failed(hr) ? hr : E_FAIL, errorDescription,
                QStringLiteral("%1: %2").arg(ErrorText(Failed(hr) ? hr : E_FAIL), progId));
  hr = factory->CreateInstance(instance);
  if (Failed(hr)) return Fail(hr, errorDescription);
  return S_OK;
}

QImage ToolboxPicture(const QString& progId, QString* errorDescription) {
  QSettings reg(RegistryPath(), QSettings::IniFormat);
  const QString group = FindGroup(reg, progId);
  const QString library = reg.value(group + QStringLiteral("/Library")).toString();
  const QString resource = reg.value(group + QStringLiteral("/ToolboxResource")).toString();
  if (group.isEmpty() || library.isEmpty() || resource.isEmpty()) {
    Fail(REGDB_E_CLASSNOTREG, errorDescription,
         QStringLiteral("No toolbox picture registered for %1 (registry %2)").arg(progId, RegistryPath()));
    return {};
  }
  // The picture is a resource of the library: it is there once the library is.
  QString why = QStringLiteral("no such file");
  if (!QFileInfo::exists(library) || !LoadLibrary(library, &why)) {
    Fail(CO_E_DLLNOTFOUND, errorDescription,
         QStringLiteral("The library %1 cannot be loaded: %2").arg(library, why));
    return {};
  }
  QImage picture(resource);
  if (picture.isNull()) Fail(E_FAIL, errorDescription, QStringLiteral("%1 has no picture %2").arg(library, resource));
  return picture;
}

HRESULT RegisterServer(const QString& libraryPath, bool unregister, QString* errorDescription) {
  const QFileInfo file(libraryPath);
  if (!file.isFile())
    return Fail(CO_E_DLLNOTFOUND, errorDescription,
                QStringLiteral("Library not found: %1").arg(libraryPath));
  QString why;
  void* handle = LoadLibrary(file.absoluteFilePath(), &why);
  if (!handle)
    return Fail(CO_E_DLLNOTFOUND, errorDescription,
                QStringLiteral("The library %1 cannot be loaded: %2").arg(libraryPath, why));
  const auto* info = static_cast<const char*>(dlsym(handle, kVersionInfoSymbol));
  if (!info || !ParseVersionInfo(info).contains(QStringLiteral("OLESelfRegister")))
    return Fail(SELFREG_E_CLASS, errorDescription,
                QStringLiteral("%1 is not self-registering (no OLESelfRegister entry in its "
                               "version information)").arg(libraryPath));
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto fn = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, entry));
  if (!fn)
    return Fail(E_FAIL, errorDescription,
                QStringLiteral("%1 has no entry point %2").arg(libraryPath, QLatin1String(entry)));
  const HRESULT hr = fn();
  if (Failed(hr))
    return Fail(hr, errorDescription,
                QStringLiteral("%1 in %2 failed: %3 (registry %4)")
                    .arg(QLatin1String(entry), libraryPath, ErrorText(hr), RegistryPath()));
  return hr;
}

// ---------------------------------------------------------------------------
// Library side

QMap<QString, QString> ParseVersionInfo(const char* block) {
  QMap<QString, QString> entries;
  for (const char* p = block; p && *p; p += qstrlen(p) + 1) {
    const QString entry = QString::fromUtf8(p);
    const qsizetype eq = entry.indexOf(QLatin1Char('='));
    if (eq < 0)
      entries.insert(entry, QString());
    else
      entries.insert(entry.left(eq), entry.mid(eq + 1));
  }
  return entries;
}

const MemberInfo* InterfaceInfo::Find(DISPID id) const {
  for (const auto& m : members)
    if (m.id == id) return &m;
  return nullptr;
}

const MemberInfo* InterfaceInfo::Find(const QString& name) const {
  for (const auto& m : members)
    if (name.compare(QLatin1String(m.name), Qt::CaseInsensitive) == 0) return &m;
  return nullptr;
}

HRESULT InterfaceInfo::GetIDOfName(const QString& name, DISPID* id) const {
  const MemberInfo* m = Find(name);
  if (!m) return DISP_E_UNKNOWNNAME;
  if (id) *id = m->id;
  return S_OK;
}

HRESULT InterfaceInfo::CheckInvoke(DISPID id, InvokeKind kind, QString* errorDescription) const {
  const MemberInfo* m = Find(id);
  if (m && (m->kinds & unsigned(kind))) return S_OK;
  return Fail(DISP_E_MEMBERNOTFOUND, errorDescription,
              m ? QStringLiteral("%1 does not support this call").arg(QLatin1String(m->name))
                : QStringLiteral("Member not found: dispatch id 0x%1")
                      .arg(quint32(id), 8, 16, QLatin1Char('0')));
}

QString InterfaceInfo::DumpMember(const MemberInfo& m) {
  QStringList params;
  for (const auto& p : m.params)
    params << QStringLiteral("%1%2 As %3").arg(p.byRef ? "ByRef " : "ByVal ", p.name, p.type);
  QString out = QStringLiteral("%1(%2)").arg(QLatin1String(m.name), params.join(QStringLiteral(", ")));
  if (*m.type) out += QStringLiteral(" As %1").arg(QLatin1String(m.type));
  out += m.id > 0xFFFF ? QStringLiteral(" id=0x%1").arg(quint32(m.id), 8, 16, QLatin1Char('0'))
                       : QStringLiteral(" id=%1").arg(m.id);
  out += QStringLiteral(" [%1]").arg(KindsText(m.kinds));
  if (m.flags & kNonBrowsable) out += QStringLiteral(" [nonbrowsable]");
  if (*m.help) out += QStringLiteral(" \"%1\"").arg(QString::fromUtf8(m.help));
  return out;
}

QString InterfaceInfo::Dump() const {
  QString out = QLatin1String(name);
  if (flags & kHidden) out += QStringLiteral(" [hidden]");
  if (flags & kDual) out += QStringLiteral(" [dual]");
  if (flags & kSource) out += QStringLiteral(" [source]");
  out += QLatin1Char('\n');
  for (const auto& m : members) out += QStringLiteral("  ") + DumpMember(m) + QLatin1Char('\n');
  return out;
}

QString ModulePathOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return {};
  return QFileInfo(QFile::decodeName(info.dli_fname)).canonicalFilePath();
}

HRESULT RegisterServerImpl(const ServerDescriptor& server, const QString& libraryPath) {
  try {
    const QString path = RegistryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return E_ACCESSDENIED;
    QSettings reg(path, QSettings::IniFormat);
    const QString lib = QFileInfo(libraryPath).absoluteFilePath();

    reg.beginGroup(TypeLibGroup(server));
    reg.setValue(QStringLiteral("Description"), QString::fromUtf8(server.description));
    reg.setValue(QStringLiteral("Version"),
                 QStringLiteral("%1.%2").arg(server.majorVersion).arg(server.minorVersion));
    reg.setValue(QStringLiteral("Library"), lib);
    QStringList interfaces;
    for (const auto& c : server.classes) {
      for (const InterfaceInfo* i : {c.defaultInterface, c.eventInterface}) {
        if (!i || interfaces.contains(QLatin1String(i->name))) continue;
        interfaces << QLatin1String(i->name);
        // The interface's members, one readable entry each.
        reg.beginGroup(QLatin1String(i->name));
        QStringList flags;
        if (i->flags & kHidden) flags << QStringLiteral("hidden");
        if (i->flags & kDual) flags << QStringLiteral("dual");
        if (i->flags & kSource) flags << QStringLiteral("source");
        reg.setValue(QStringLiteral(".Flags"), flags.join(QLatin1Char(',')));
        for (const auto& m : i->members)
          reg.setValue(QLatin1String(m.name), InterfaceInfo::DumpMember(m));
        reg.endGroup();
      }
    }
    reg.setValue(QStringLiteral("Interfaces"), interfaces);
    reg.endGroup();

    for (const auto& c : server.classes) {
      // Identifiers ignore letter case: one entry per class, spelt as the library does.
      const QString existing = FindGroup(reg, QLatin1String(c.progId));
      if (!existing.isEmpty() && existing != QLatin1String(c.progId)) reg.remove(existing);
      reg.beginGroup(QLatin1String(c.progId));
      reg.setValue(QStringLiteral("Class"), QLatin1String(c.name));
      reg.setValue(QStringLiteral("Library"), lib);
      reg.setValue(QStringLiteral("TypeLib"), QLatin1String(server.project));
      reg.setValue(QStringLiteral("Control"), c.control);
      reg.setValue(QStringLiteral("ThreadingModel"), QLatin1String(c.threadingModel));
      reg.setValue(QStringLiteral("MiscStatus"), c.miscStatus);
      reg.setValue(QStringLiteral("ToolboxBitmap"), c.toolboxBitmap);
      reg.setValue(QStringLiteral("ToolboxResource"), QLatin1String(c.toolboxResource));
      if (c.defaultInterface)
        reg.setValue(QStringLiteral("DefaultInterface"), QLatin1String(c.defaultInterface->name));
      if (c.eventInterface)
        reg.setValue(QStringLiteral("EventInterface"), QLatin1String(c.eventInterface->name));
      reg.endGroup();
    }
    return SyncStatus(reg);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT UnregisterServerImpl(const ServerDescriptor& server) {
  try {
    QSettings reg(RegistryPath(), QSettings::IniFormat);
    // Entries that another copy of the library has written since are not ours.
    const QString lib = QFileInfo(ModulePathOf(&server)).absoluteFilePath();
    auto ours = [&reg, &lib](const QString& group) {
      const QString registered = reg.value(group + QStringLiteral("/Library")).toString();
      return registered.isEmpty() || registered == lib;
    };
    if (ours(TypeLibGroup(server))) reg.remove(TypeLibGroup(server));
    for (const auto& c : server.classes) {
      const QString group = FindGroup(reg, QLatin1String(c.progId));
      if (!group.isEmpty() && ours(group)) reg.remove(group);
    }
    return SyncStatus(reg);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT GetClassObjectImpl(const ServerDescriptor& server, const char* classId,
                           std::shared_ptr<IClassFactory>* factory) {
  if (!factory || !classId) return E_POINTER;
  const QString id = QString::fromUtf8(classId);
  for (const auto& c : server.classes) {
    if (id.compare(QLatin1String(c.progId), Qt::CaseInsensitive) == 0) {
      *factory = std::make_shared<ClassFactory>(&c);
      return S_OK;
    }
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNowImpl(const ServerDescriptor& server) {
  return server.liveObjects && server.liveObjects() > 0 ? S_FALSE : S_OK;
}

}  // namespace ole
