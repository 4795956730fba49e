// vtregsvr [/u] <library>: registers (or unregisters) a control library in the
// component runtime's registry ($VT_OLE_REGISTRY or the per-user default).
#include <QCoreApplication>
#include <QTextStream>

#include "platform/ole/ole.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  bool unregister = false;
  bool silent = false;
  bool tooMany = false;
  QString library;
  for (const QString& a : args) {
    if (a.compare(QLatin1String("/u"), Qt::CaseInsensitive) == 0 || a == QLatin1String("-u"))
      unregister = true;
    else if (a.compare(QLatin1String("/s"), Qt::CaseInsensitive) == 0 || a == QLatin1String("-s"))
      silent = true;
    else if (library.isEmpty())
      library = a;
    else
      tooMany = true;
  }
  QTextStream err(stderr);
  if (library.isEmpty() || tooMany) {
    err << "usage: vtregsvr [/u] [/s] <library>\n";
    return 2;
  }
  QString why;
  const ole::HRESULT hr = ole::RegisterServer(library, unregister, &why);
  if (ole::Failed(hr)) {
    err << "vtregsvr: " << why << " (0x" << QString::number(quint32(hr), 16) << ")\n";
    return 1;
  }
  if (!silent) {
    QTextStream(stdout) << (unregister ? "DllUnregisterServer" : "DllRegisterServer") << " in "
                        << library << " succeeded (registry " << ole::RegistryPath() << ")\n";
  }
  return 0;
}
