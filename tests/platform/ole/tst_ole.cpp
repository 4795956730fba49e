// The component runtime: conversions, property bag, type tables, the
// registry and creation through a small fixture library.
#include <dlfcn.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QImage>
#include <QtTest>

#include "platform/ole/server.h"

using namespace ole;

class TstOle : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  QString registry_;

  QStringList RegistryKeys() const { return QSettings(registry_, QSettings::IniFormat).allKeys(); }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    registry_ = dir_.filePath("registry.ini");
    qputenv("VT_OLE_REGISTRY", registry_.toLocal8Bit());
  }
  void init() { QFile::remove(registry_); }

  void conversions() {
    // Each result as text; a failure leaves the target (9, true or "x") untouched.
    auto convert = [](char to, const QVariant& in, HRESULT* hr) {
      qint32 i = 9; qint16 s = 9; bool b = true; QString t = "x";
      switch (to) {
        case 'i': *hr = ToInt32(in, &i); return QString::number(i);
        case 's': *hr = ToInt16(in, &s); return QString::number(s);
        case 'b': *hr = ToBool(in, &b); return QString(b ? "true" : "false");
        default: *hr = ToString(in, &t); return t;
      }
    };
    const QVariant font = FromObject(CreateStdFont(QFont()));
    const HRESULT ok = S_OK, over = DISP_E_OVERFLOW, bad = DISP_E_TYPEMISMATCH;
    for (const auto& [to, in, hr, out] : QList<std::tuple<char, QVariant, HRESULT, QString>>{
             {'i', QVariant::fromValue<qint16>(-5), ok, "-5"}, {'i', 2.5, ok, "2"} /* half to even */,
             {'i', 3.5, ok, "4"}, {'i', " 12632256 ", ok, "12632256"}, {'i', 4e9, over, "9"},
             {'i', "abc", bad, "9"}, {'i', "", bad, "9"}, {'i', QVariant(), bad, "9"}, {'i', font, bad, "9"},
             {'s', true, ok, "-1"}, {'s', qint64(2147483647), over, "9"},
             {'b', -1, ok, "true"}, {'b', 0.0, ok, "false"}, {'b', "true", ok, "true"}, {'b', "0", ok, "false"},
             {'b', "sim", bad, "true"}, {'b', QVariant(), bad, "true"}, {'t', "", ok, ""},
             {'t', QVariant::fromValue<qint16>(7), ok, "7"}, {'t', false, ok, "False"}, {'t', font, bad, "x"}}) {
      HRESULT got = S_OK;
      const QString result = convert(to, in, &got);
      QCOMPARE(result + ' ' + QString::number(got), out + ' ' + QString::number(hr));
    }
  }

  void propertyBagDefaultsAndOmission() {
    PropertyBag bag;
    QCOMPARE(bag.ReadProperty("STATUS", "N"), QVariant("N"));
    QVariant v;
    QCOMPARE(bag.Read("STATUS", &v), E_INVALIDARG);
    bag.WriteProperty("BackColor", qint32(5), qint32(0));
    bag.WriteProperty("STATUS", QString(""), QString("N"));  // differs from its default: kept
    bag.WriteProperty("Enabled", false, false);              // equal to its default: left out
    QCOMPARE(bag.Names(), QStringList({"BackColor", "STATUS"}));
    QCOMPARE(bag.ReadProperty("status", "N"), QVariant(QString("")));
    bag.WriteProperty("BACKCOLOR", qint32(0), qint32(0));  // back to the default: removed
    QCOMPARE(bag.Names(), QStringList({"STATUS"}));
  }

  void memberTableAnswersNamesAndKinds() {
    const InterfaceInfo info = {"_T", kDual,
                                {{"Value", 7, Kinds(InvokeKind::PropertyGet, InvokeKind::PropertyLet),
                                  "Long", "The value.", kNonBrowsable, {{"New_Value", "Long", false}}}}};
    QString why;
    QCOMPARE(info.CheckInvoke(7, InvokeKind::PropertySet, &why), DISP_E_MEMBERNOTFOUND);
    QVERIFY(why.contains("Value"));
    QCOMPARE(info.Dump(), QString("_T [dual]\n  Value(ByVal New_Value As Long) As Long id=7 [get,let] "
                                  "[nonbrowsable] \"The value.\"\n"));
  }

  void registryPathAndVersionBlock() {
    QCOMPARE(RegistryPath(), registry_);
    qunsetenv("VT_OLE_REGISTRY");
    const QString def = RegistryPath();
    qputenv("VT_OLE_REGISTRY", registry_.toLocal8Bit());
    QVERIFY(def.endsWith("/VaskorTorvana/ole-registry.ini") && QFileInfo(def).isAbsolute());
    const auto info = ParseVersionInfo("FileVersion=1.00\0OLESelfRegister=\0Note=a=b\0\0Ignored=1\0");
    QCOMPARE(info.size(), 3);
    QVERIFY(info.value("Note") == "a=b" && info.contains("OLESelfRegister") && info.value("OLESelfRegister").isEmpty());
  }

  void registerCreateUnregister() {
    QSettings(registry_, QSettings::IniFormat).setValue("Other.Class/Library", "/elsewhere/o.ocx");
    const QStringList before = RegistryKeys();
    QString why;
    QCOMPARE(RegisterServer(FIXTURE_OCX, false, &why), S_OK);
    QSettings reg(registry_, QSettings::IniFormat);
    QCOMPARE(reg.value("OleFixture.Thing/Library").toString() + ' ' + reg.value("TypeLib.OleFixture/Version").toString(),
             QFileInfo(FIXTURE_OCX).canonicalFilePath() + " 1.2");
    std::shared_ptr<IOleControl> thing;
    QCOMPARE(CoCreateInstance("OleFixture.Thing", &thing, &why), S_OK);
    QCOMPARE(Dispatcher(thing).Get("Value"), QVariant(qint32(42)));

    // The library stays loaded; it may not unload while an object lives.
    void* lib = dlopen(FIXTURE_OCX, RTLD_NOW | RTLD_NOLOAD);
    QVERIFY(lib);
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(lib, "DllCanUnloadNow"));
    QCOMPARE(canUnload(), S_FALSE);
    thing.reset();
    QCOMPARE(canUnload(), S_OK);
    dlclose(lib);  // drops only the reference taken here

    // A copy registered since owns the entries: unregistering the first leaves them.
    const QString copy = dir_.filePath("copy.ocx");
    QVERIFY(QFile::copy(FIXTURE_OCX, copy));
    QCOMPARE(RegisterServer(copy, false, &why), S_OK);
    QCOMPARE(RegisterServer(FIXTURE_OCX, true, &why), S_OK);
    QCOMPARE(QSettings(registry_, QSettings::IniFormat).value("OleFixture.Thing/Library").toString(),
             QFileInfo(copy).canonicalFilePath());
    QCOMPARE(RegisterServer(copy, true, &why), S_OK);
    QCOMPARE(RegistryKeys(), before);
    QCOMPARE(CoCreateInstance("OleFixture.Thing", &thing, &why), REGDB_E_CLASSNOTREG);
    QVERIFY2(why.startsWith("Class not registered: OleFixture.Thing"), qPrintable(why));
    QVERIFY(!thing);
  }

  void refusedLibrariesAndNames() {
    QString why;
    QCOMPARE(RegisterServer(NOSELFREG_OCX, false, &why), SELFREG_E_CLASS);
    QVERIFY2(why.contains("OLESelfRegister"), qPrintable(why));
    QVERIFY(RegistryKeys().isEmpty());
    QCOMPARE(RegisterServer(dir_.filePath("none.ocx"), false, &why), CO_E_DLLNOTFOUND);
    QSettings(registry_, QSettings::IniFormat).setValue("Gone.Class/Library", dir_.filePath("gone.ocx"));
    std::shared_ptr<IOleControl> ctl;
    QCOMPARE(CoCreateInstance("Gone.Class", &ctl, &why), CO_E_DLLNOTFOUND);
    QVERIFY(why.contains("gone.ocx"));
    // A toolbox picture needs its entry and its library.
    QVERIFY(ToolboxPicture("Gone.Class", &why).isNull() && why.startsWith("No toolbox picture registered"));
    QSettings(registry_, QSettings::IniFormat).setValue("Gone.Class/ToolboxResource", ":/x.bmp");
    QVERIFY(ToolboxPicture("gone.class", &why).isNull() && why.contains("gone.ocx cannot be loaded"));
    for (const char* name : {"a/b", ""}) QCOMPARE(CoCreateInstance(name, &ctl, &why), CO_E_CLASSSTRING);
  }

  void identifiersIgnoreLetterCase() {
    QString why;
    QSettings(registry_, QSettings::IniFormat).setValue("OLEFIXTURE.THING/Library", "/elsewhere/o.ocx");
    QCOMPARE(RegisterServer(FIXTURE_OCX, false, &why), S_OK);
    // One entry per class, spelt as the library spells it.
    QCOMPARE(QSettings(registry_, QSettings::IniFormat).childGroups().filter("olefixture.thing", Qt::CaseInsensitive),
             QStringList{"OleFixture.Thing"});
    std::shared_ptr<IOleControl> thing;
    QCOMPARE(CoCreateInstance("olefixture.THING", &thing, &why), S_OK);
    QCOMPARE(RegisterServer(FIXTURE_OCX, true, &why), S_OK);
    QCOMPARE(CoCreateInstance("OleFixture.Thing", &thing, &why), REGDB_E_CLASSNOTREG);
  }

  void manifestBesideTheProgramComesFirst() {
    const QString manifest = ManifestPath();
    QCOMPARE(manifest, QCoreApplication::applicationFilePath() + ".manifest");
    QCOMPARE(QFileInfo(FIXTURE_OCX).absolutePath(), QCoreApplication::applicationDirPath());
    const auto cleanup = qScopeGuard([&] { QFile::remove(manifest); });
    auto write = [&](const QByteArray& file) {
      QFile f(manifest);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write("<?xml version=\"1.0\"?>\n<assembly manifestVersion=\"1.0\">\n <file name=\"" + file +
              "\">\n  <comClass progid=\"OleFixture.Thing\" threadingModel=\"Apartment\"/>\n"
              " </file>\n</assembly>\n");
    };
    // The registry names a library that is gone; the manifest names the one beside the program.
    QSettings(registry_, QSettings::IniFormat).setValue("OleFixture.Thing/Library", dir_.filePath("gone.ocx"));
    write(QFileInfo(FIXTURE_OCX).fileName().toUtf8());
    std::shared_ptr<IOleControl> thing;
    QString why;
    QCOMPARE(CoCreateInstance("oleFixture.thing", &thing, &why), S_OK);
    // A name that leaves the program's folder is not followed: the registry answers.
    write("../tests/" + QFileInfo(FIXTURE_OCX).fileName().toUtf8());
    QCOMPARE(CoCreateInstance("OleFixture.Thing", &thing, &why), CO_E_DLLNOTFOUND);
    QVERIFY2(why.contains("gone.ocx"), qPrintable(why));
    // With neither, the class is not registered.
    QFile::remove(registry_);
    QCOMPARE(CoCreateInstance("OleFixture.Thing", &thing, &why), REGDB_E_CLASSNOTREG);
  }
};

QTEST_MAIN(TstOle)
#include "tst_ole.moc"
