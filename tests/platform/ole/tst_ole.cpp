// The component runtime: variants, property bag, font, host helpers, type
// tables, the registry and creation through a small fixture library.
#include <dlfcn.h>

#include <QSettings>
#include <QTemporaryDir>
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

  void numbersConvertFromNumericVariantsAndText() {
    qint32 i = 0;
    qint16 s = 0;
    QCOMPARE(ToInt32(QVariant::fromValue<qint16>(-5), &i), S_OK);
    QCOMPARE(i, -5);
    QCOMPARE(ToInt32(QVariant(2.5), &i), S_OK);
    QCOMPARE(i, 2);  // half to even
    QCOMPARE(ToInt32(QVariant(3.5), &i), S_OK);
    QCOMPARE(i, 4);
    QCOMPARE(ToInt32(QVariant(" 12632256 "), &i), S_OK);
    QCOMPARE(i, 12632256);
    QCOMPARE(ToInt16(QVariant(true), &s), S_OK);
    QCOMPARE(s, qint16(-1));
    QCOMPARE(ToInt16(QVariant(qint64(2147483647)), &s), DISP_E_OVERFLOW);
    QCOMPARE(s, qint16(-1));  // untouched on failure
    QCOMPARE(ToInt32(QVariant(4e9), &i), DISP_E_OVERFLOW);
    QCOMPARE(ToInt32(QVariant("abc"), &i), DISP_E_TYPEMISMATCH);
    QCOMPARE(ToInt32(QVariant(""), &i), DISP_E_TYPEMISMATCH);
    QCOMPARE(ToInt32(QVariant(), &i), DISP_E_TYPEMISMATCH);
    QCOMPARE(ToInt32(FromObject(CreateStdFont(QFont())), &i), DISP_E_TYPEMISMATCH);
    QCOMPARE(i, 12632256);  // untouched on failure
  }

  void booleansAndStringsConvert() {
    bool b = false;
    QCOMPARE(ToBool(QVariant(-1), &b), S_OK);
    QVERIFY(b);
    QCOMPARE(ToBool(QVariant(0.0), &b), S_OK);
    QVERIFY(!b);
    QCOMPARE(ToBool(QVariant("true"), &b), S_OK);
    QVERIFY(b);
    QCOMPARE(ToBool(QVariant("0"), &b), S_OK);
    QVERIFY(!b);
    QCOMPARE(ToBool(QVariant("sim"), &b), DISP_E_TYPEMISMATCH);
    QCOMPARE(ToBool(QVariant(), &b), DISP_E_TYPEMISMATCH);
    QString t;
    QCOMPARE(ToString(QVariant(""), &t), S_OK);
    QCOMPARE(t, QString(""));
    QCOMPARE(ToString(QVariant::fromValue<qint16>(7), &t), S_OK);
    QCOMPARE(t, QString("7"));
    QCOMPARE(ToString(QVariant(false), &t), S_OK);
    QCOMPARE(t, QString("False"));
    QCOMPARE(ToString(FromObject(CreateStdFont(QFont())), &t), DISP_E_TYPEMISMATCH);
  }

  void sameValueDistinguishesTypeAndIdentity() {
    const DispatchPtr f = CreateStdFont(QFont());
    QVERIFY(SameValue(FromObject(f), FromObject(f)));
    QVERIFY(!SameValue(FromObject(f), FromObject(CreateStdFont(QFont()))));
    QVERIFY(!SameValue(QString(""), QString("N")));
    QVERIFY(!SameValue(QString(""), QVariant()));
    QVERIFY(!SameValue(QVariant::fromValue<qint16>(0), qint32(0)));
    QVERIFY(SameValue(qint32(0), qint32(0)));
    QVERIFY(SameValue(QVariant(), QVariant()));
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
    QCOMPARE(bag.ReadProperty("BackColor", qint32(0)), QVariant(qint32(0)));
    bag.Clear();
    QVERIFY(!bag.Contains("STATUS"));
  }

  void stdFontIsSharedAndDispatchable() {
    const DispatchPtr font = CreateStdFont(QFont("MS Sans Serif", 8));
    Dispatcher d(font);
    QCOMPARE(d.Get("Name").toString(), QString("MS Sans Serif"));
    d.Let(d.IdOf("bold"), true);
    QVERIFY(ToFont(FromObject(font))->Font().bold());
    QCOMPARE(ToFont(FromObject(font)), dynamic_cast<IFontDisp*>(font.get()));
    QCOMPARE(ToFont(QVariant("MS Sans Serif")), nullptr);
    QVERIFY_THROWS_EXCEPTION(Error, d.Let(2, QVariant("big")));
  }

  void errorsCarryNumberAndDescription() {
    QCOMPARE(Error(CTL_E_SETNOTPERMITTED, {}).Number(), 387L);
    QCOMPARE(Error(E_FAIL, "x").Number(), long(E_FAIL));
    try {
      Check(REGDB_E_CLASSNOTREG);
      QFAIL("no throw");
    } catch (const Error& e) {
      QCOMPARE(e.Hr(), REGDB_E_CLASSNOTREG);
      QCOMPARE(e.Description(), QString("Class not registered"));
    }
    Check(S_FALSE);  // success codes pass
    QVERIFY_THROWS_EXCEPTION(Error, Dispatcher(nullptr).Get(1));
  }

  void memberTableAnswersNamesAndKinds() {
    const InterfaceInfo info = {"_T", kDual,
                                {{"Value", 7, Kinds(InvokeKind::PropertyGet, InvokeKind::PropertyLet),
                                  "Long", "The value.", kNonBrowsable, {{"New_Value", "Long", false}}}}};
    DISPID id = 0;
    QCOMPARE(info.GetIDOfName("VALUE", &id), S_OK);
    QCOMPARE(id, 7);
    QCOMPARE(info.GetIDOfName("Other", &id), DISP_E_UNKNOWNNAME);
    QString why;
    QCOMPARE(info.CheckInvoke(7, InvokeKind::PropertySet, &why), DISP_E_MEMBERNOTFOUND);
    QVERIFY(why.contains("Value"));
    QCOMPARE(info.CheckInvoke(8, InvokeKind::PropertyGet, &why), DISP_E_MEMBERNOTFOUND);
    QCOMPARE(info.CheckInvoke(7, InvokeKind::PropertyLet, &why), S_OK);
    QCOMPARE(info.Dump(), QString("_T [dual]\n  Value(ByVal New_Value As Long) As Long id=7 [get,let] "
                                  "[nonbrowsable] \"The value.\"\n"));
  }

  void registryPathFollowsEnvironment() {
    QCOMPARE(RegistryPath(), registry_);
    qunsetenv("VT_OLE_REGISTRY");
    const QString def = RegistryPath();
    qputenv("VT_OLE_REGISTRY", registry_.toLocal8Bit());
    QVERIFY(def.endsWith("/VaskorTorvana/ole-registry.ini"));
    QVERIFY(QFileInfo(def).isAbsolute());
  }

  void registerCreateUnregister() {
    {
      QSettings other(registry_, QSettings::IniFormat);
      other.setValue("Other.Class/Library", "/elsewhere/other.ocx");
    }
    const QStringList before = RegistryKeys();
    QString why;
    QCOMPARE(RegisterServer(FIXTURE_OCX, false, &why), S_OK);
    QSettings reg(registry_, QSettings::IniFormat);
    QCOMPARE(reg.value("OleFixture.Thing/Library").toString(), QFileInfo(FIXTURE_OCX).canonicalFilePath());
    QCOMPARE(reg.value("OleFixture.Thing/ThreadingModel").toString(), QString("Apartment"));
    QCOMPARE(reg.value("OleFixture.Thing/MiscStatus").toInt(), 0x20191);
    QCOMPARE(reg.value("TypeLib.OleFixture/Version").toString(), QString("1.2"));

    std::shared_ptr<IOleControl> thing;
    QCOMPARE(CoCreateInstance("OleFixture.Thing", &thing, &why), S_OK);
    QVERIFY(thing);
    QCOMPARE(Dispatcher(thing).Get("Value"), QVariant(qint32(42)));

    // The library stays loaded; it may not unload while an object lives.
    void* lib = dlopen(FIXTURE_OCX, RTLD_NOW | RTLD_NOLOAD);
    QVERIFY(lib);
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(lib, "DllCanUnloadNow"));
    QCOMPARE(canUnload(), S_FALSE);
    thing.reset();
    QCOMPARE(canUnload(), S_OK);
    dlclose(lib);  // drops only the reference taken here

    QCOMPARE(RegisterServer(FIXTURE_OCX, true, &why), S_OK);
    QCOMPARE(RegistryKeys(), before);
    QCOMPARE(CoCreateInstance("OleFixture.Thing", &thing, &why), REGDB_E_CLASSNOTREG);
    QVERIFY2(why.startsWith("Class not registered: OleFixture.Thing"), qPrintable(why));
    QVERIFY(!thing);
  }

  void libraryWithoutSelfRegisterIsRefused() {
    QString why;
    QCOMPARE(RegisterServer(NOSELFREG_OCX, false, &why), SELFREG_E_CLASS);
    QVERIFY2(why.contains("OLESelfRegister"), qPrintable(why));
    QVERIFY(RegistryKeys().isEmpty());
  }

  void missingLibrariesAndBadNames() {
    QString why;
    QCOMPARE(RegisterServer(dir_.filePath("none.ocx"), false, &why), CO_E_DLLNOTFOUND);
    {
      QSettings reg(registry_, QSettings::IniFormat);
      reg.setValue("Gone.Class/Library", dir_.filePath("gone.ocx"));
    }
    std::shared_ptr<IOleControl> ctl;
    QCOMPARE(CoCreateInstance("Gone.Class", &ctl, &why), CO_E_DLLNOTFOUND);
    QVERIFY(why.contains("gone.ocx"));
    QCOMPARE(CoCreateInstance("a/b", &ctl, &why), CO_E_CLASSSTRING);
    QCOMPARE(CoCreateInstance("", &ctl, &why), CO_E_CLASSSTRING);
  }

  void versionBlockParses() {
    const char block[] = "FileVersion=1.00\0OLESelfRegister=\0Note=a=b\0\0Ignored=1\0";
    const auto info = ParseVersionInfo(block);
    QCOMPARE(info.size(), 3);
    QCOMPARE(info.value("Note"), QString("a=b"));
    QVERIFY(info.contains("OLESelfRegister"));
    QVERIFY(info.value("OLESelfRegister").isEmpty());
  }
};

QTEST_MAIN(TstOle)
#include "tst_ole.moc"
