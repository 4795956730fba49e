#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "Principal.h"
#include "platform/forms/msgbox.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The class name of the windows (X11) and the application id (Wayland)
  // name the desktop entry, so a desktop shows the program's own icon.
  QApplication::setApplicationName(QStringLiteral("VaskorTorvana"));
  QGuiApplication::setDesktopFileName(QStringLiteral(VT_DESKTOP_ID));
  forms::SetAppTitle(QStringLiteral("Pontelo"));

  // Qt's own Portuguese texts: "Sim", "Não", "OK" on the standard buttons.
  QTranslator qtbase;
  if (qtbase.load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                  QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtbase);

  // The main window ends the run itself, after its children have unloaded.
  QApplication::setQuitOnLastWindowClosed(false);
  if (!IniciaPrograma()) return 1;
  return QApplication::exec();
}
