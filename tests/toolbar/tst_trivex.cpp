// The Trivex control as a host sees it: created by its programmatic
// identifier through a temporary registry, driven by real clicks.
#include <dlfcn.h>

#include <QAccessible>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

#include "platform/ole/server.h"
#include "toolbar/trivex_tlb.h"

using namespace ole;
using namespace trivex;

namespace {

const QString kLibrary = QStringLiteral(VT_BIN_DIR "/Trivex.ocx");

// A container: answers ambient properties, records notifications, events and
// errors, and runs a handler for ButtonClick.
class Host : public IControlSite {
 public:
  bool userMode = true;
  DispatchPtr ambientFont = CreateStdFont(QFont("MS Sans Serif", 8));
  HRESULT changedResult = S_OK;
  QStringList changed;
  struct Event {
    DISPID id;
    qint16 index;
    QString key;
    QString enabledDuring;  // the bar's flags while the handler ran
  };
  QList<Event> events;
  QList<QPair<HRESULT, QString>> errors;
  std::function<void(qint16)> onButtonClick;
  std::function<QString()> snapshot;

  HRESULT AmbientUserMode(bool* mode) override { return *mode = userMode, S_OK; }
  HRESULT AmbientFont(DispatchPtr* font) override { return *font = ambientFont, S_OK; }
  HRESULT OnChanged(const QString& name) override {
    changed << name;
    return changedResult;
  }
  HRESULT FireEvent(DISPID id, const QVariantList& args) override {
    Dispatcher button(ToObject(args.value(0)));
    const auto index = button.Get("Index");
    if (index.metaType().id() != QMetaType::Short) qWarning("Index is not a 16-bit integer");
    events.append({id, qint16(index.toInt()), button.Get("Key").toString(),
                   snapshot ? snapshot() : QString()});
    if (onButtonClick) onButtonClick(qint16(index.toInt()));
    return S_OK;
  }
  void OnControlError(HRESULT hr, const QString& description) override {
    errors.append({hr, description});
  }
};

// The flags of the eleven buttons, in bar order: "1" enabled, "0" disabled.
constexpr const char* kInitial = "11111111101";  // all but GRAVAR
constexpr const char* kBrowsing = "11111111001";
constexpr const char* kEditing = "00000000111";
const QList<int> kButtonIndexes = {1, 2, 3, 4, 7, 8, 10, 11, 13, 14, 16};

}  // namespace

class TstTrivex : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  Host host_;
  std::shared_ptr<IOleControl> ctl_;
  std::unique_ptr<QWidget> form_;

  QToolBar* Bar() const { return ctl_->Window()->findChild<QToolBar*>("Trivex"); }
  QAction* Entry(int index) const { return Bar()->actions().value(index - 1); }
  QString Flags() const {
    QString s;
    for (int i : kButtonIndexes) s += Entry(i)->isEnabled() ? '1' : '0';
    return s;
  }
  void Click(int index) {
    auto* b = qobject_cast<QToolButton*>(Bar()->widgetForAction(Entry(index)));
    QVERIFY(b);
    QTest::mouseClick(b, Qt::LeftButton);
  }
  // Creates, loads and places a control the way the client form does.
  std::shared_ptr<IOleControl> Create(Host& host, IPropertyBag* bag = nullptr) {
    std::shared_ptr<IOleControl> ctl;
    QString why;
    Check(CoCreateInstance(kProgId, &ctl, &why), why);
    ctl->SetClientSite(&host);
    Check(bag ? ctl->Load(bag, &why) : ctl->InitNew(&why), why);
    return ctl;
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("VT_OLE_REGISTRY", dir_.filePath("registry.ini").toLocal8Bit());
    QString why;
    QVERIFY2(Succeeded(RegisterServer(kLibrary, false, &why)), qPrintable(why));
  }

  void init() {
    host_ = Host();
    host_.snapshot = [this] { return Flags(); };
    PropertyBag bag;
    bag.WriteProperty("Font", FromObject(CreateStdFont(QFont("MS Sans Serif", 8.25))));
    ctl_ = Create(host_, &bag);
    form_ = std::make_unique<QWidget>();
    form_->resize(600, 100);
    Check(ctl_->InPlaceActivate(form_.get(), QRect(0, 0, 519, 25)));
    form_->show();
  }

  void cleanup() {
    ctl_.reset();
    form_.reset();
  }

  void registrationDescribesTheClass() {
    QSettings reg(RegistryPath(), QSettings::IniFormat);
    reg.beginGroup(kProgId);
    QCOMPARE(reg.value("Library").toString(), QFileInfo(kLibrary).canonicalFilePath());
    QCOMPARE(reg.value("Class").toString(), QString("Trivex"));
    QCOMPARE(reg.value("Control").toBool(), true);
    QCOMPARE(reg.value("ThreadingModel").toString(), QString("Apartment"));
    QCOMPARE(reg.value("MiscStatus").toInt(), 0x20191);
    QCOMPARE(reg.value("ToolboxBitmap").toInt(), 30000);
    QCOMPARE(reg.value("DefaultInterface").toString(), QString("_Trivex"));
    QCOMPARE(reg.value("EventInterface").toString(), QString("__Trivex"));
    reg.endGroup();
    QCOMPARE(reg.value("TypeLib.TrivexControl/Description").toString(), QString("Trivex Control "));
    QCOMPARE(reg.value("TypeLib.TrivexControl/Version").toString(), QString("5.1"));
    QVERIFY(reg.value("TypeLib.TrivexControl/_Trivex/HabilitaMenu").toString().contains("[nonbrowsable]"));
    QVERIFY(reg.value("TypeLib.TrivexControl/__Trivex/ButtonClick").toString().contains("id=9"));
  }

  void unregistrationMakesTheClassUnknown() {
    const QByteArray saved = qgetenv("VT_OLE_REGISTRY");
    const QString other = dir_.filePath("other.ini");
    qputenv("VT_OLE_REGISTRY", other.toLocal8Bit());
    QString why;
    std::shared_ptr<IOleControl> ctl;
    QCOMPARE(RegisterServer(kLibrary, false, &why), S_OK);
    QCOMPARE(CoCreateInstance(kProgId, &ctl, &why), S_OK);
    QCOMPARE(RegisterServer(kLibrary, true, &why), S_OK);
    QVERIFY(QSettings(other, QSettings::IniFormat).allKeys().isEmpty());
    ctl.reset();
    QCOMPARE(CoCreateInstance(kProgId, &ctl, &why), REGDB_E_CLASSNOTREG);
    QVERIFY2(why.contains("Class not registered"), qPrintable(why));
    qputenv("VT_OLE_REGISTRY", saved);
  }

  void versionInformationDeclaresSelfRegistration() {
    void* lib = dlopen(QFile::encodeName(kLibrary).constData(), RTLD_NOW | RTLD_LOCAL);
    QVERIFY(lib);
    const auto info = ParseVersionInfo(static_cast<const char*>(dlsym(lib, kVersionInfoSymbol)));
    dlclose(lib);
    QCOMPARE(info.value("FileVersion"), QString("1.00"));
    QCOMPARE(info.value("ProductVersion"), QString("1.00"));
    QCOMPARE(info.value("FileVersionNumber"), QString("1.0.0.0"));
    QCOMPARE(info.value("FileType"), QString("DLL"));
    QCOMPARE(info.value("OriginalFilename"), QString("Trivex.ocx"));
    QVERIFY(info.contains("OLESelfRegister"));
  }

  void toolboxPictureIs16x15TrueColour() {
    QFile bmp(VT_SOURCE_DIR "/toolbar/res/30000.bmp");
    QVERIFY(bmp.open(QIODevice::ReadOnly));
    const QByteArray h = bmp.read(30);
    QCOMPARE(h.left(2), QByteArray("BM"));
    QCOMPARE(qFromLittleEndian<qint32>(h.constData() + 18), 16);
    QCOMPARE(qFromLittleEndian<qint32>(h.constData() + 22), 15);
    QCOMPARE(qFromLittleEndian<quint16>(h.constData() + 28), quint16(24));
  }

  void dispatchIdsByName() {
    const QList<QPair<QString, DISPID>> members = {
        {"BackColor", DISPID_BackColor},     {"ForeColor", DISPID_ForeColor},
        {"Enabled", DISPID_Enabled},         {"Font", -512},
        {"BackStyle", DISPID_BackStyle},     {"BorderStyle", DISPID_BorderStyle},
        {"Refresh", DISPID_Refresh},         {"status", 0x68030013},
        {"HabilitaMenu", 0x6803001B}};
    for (const auto& [name, id] : members) QCOMPARE(Dispatcher(ctl_).IdOf(name), id);
    DISPID id = 0;
    QCOMPARE(ctl_->GetIDOfName("ButtonClick", &id), DISP_E_UNKNOWNNAME);
    QVariant r;
    QCOMPARE(ctl_->Invoke(DISPID_Refresh, InvokeKind::PropertyLet, {1}, &r), DISP_E_MEMBERNOTFOUND);
    QCOMPARE(ctl_->Invoke(DISPID_STATUS, InvokeKind::PropertySet, {QString()}, &r),
             DISP_E_MEMBERNOTFOUND);
    Dispatcher(ctl_).Call(DISPID_Refresh);  // does nothing
    QVERIFY(host_.changed.isEmpty());
  }

  void barHasSixteenEntriesThatFit() {
    const QList<QAction*> actions = Bar()->actions();
    QCOMPARE(actions.size(), kButtonCount);
    const QStringList tips = {"Move para o Primeiro Registro", "Move para o Registro Anterior",
                              "Move para o Próximo Registro", "Move Para o Último Registro", "", "",
                              "Novo Registro", "Alterar Registro Corrente", "",
                              "Localizar Registro", "Excluir Registro", "", "Cancelar Operação",
                              "Gravar Registro", "", "Sair"};
    QList<QImage> pictures;
    for (int i = 1; i <= kButtonCount; ++i) {
      QAction* a = actions[i - 1];
      QCOMPARE(a->isSeparator(), tips[i - 1].isEmpty());
      if (a->isSeparator()) continue;
      QCOMPARE(a->toolTip(), tips[i - 1]);
      QVERIFY(a->text().isEmpty());
      auto* b = qobject_cast<QToolButton*>(Bar()->widgetForAction(a));
      QCOMPARE(b->size(), QSize(23, 22));
      QCOMPARE(b->focusPolicy(), Qt::NoFocus);
      QCOMPARE(b->accessibleName(), tips[i - 1]);
      QVERIFY2(b->isVisible(), qPrintable(tips[i - 1]));
      const QRect inControl(b->mapTo(ctl_->Window(), QPoint()), b->size());
      QVERIFY2(QRect(0, 0, 519, 25).contains(inControl), qPrintable(QString("%1,%2 %3x%4 bar %5x%6").arg(inControl.x()).arg(inControl.y()).arg(inControl.width()).arg(inControl.height()).arg(Bar()->width()).arg(Bar()->height())));
      const QImage img = a->icon().pixmap(16, 16).toImage();
      QCOMPARE(img.size(), QSize(16, 16));
      QCOMPARE(qAlpha(img.pixel(0, 15)), 0);  // silver is transparent
      QVERIFY(!pictures.contains(img));
      pictures << img;
    }
    const auto extension = Bar()->findChild<QWidget*>("qt_toolbar_ext_button");
    QVERIFY(!extension || !extension->isVisible());
  }

  void buttonObjectExposesIndexKeyAndImage() {
    DispatchPtr clicked;
    struct Site : Host {
      DispatchPtr* out;
      HRESULT FireEvent(DISPID, const QVariantList& args) override {
        *out = ToObject(args[0]);
        return S_OK;
      }
    } site;
    site.out = &clicked;
    ctl_->SetClientSite(&site);
    Click(LOCALIZAR);
    QVERIFY(clicked);
    Dispatcher b(clicked);
    QCOMPARE(b.Get("Index"), QVariant::fromValue<qint16>(10));
    QCOMPARE(b.Get("Key"), QVariant("LOCALIZAR"));
    QCOMPARE(b.Get("Image").toInt(), 9);
    Click(EXCLUIR);
    QCOMPARE(Dispatcher(clicked).Get("Image").toInt(), 7);
    Click(EXCLUIR);  // the same object each time
    QCOMPARE(Dispatcher(clicked).Get("Index").toInt(), 11);
    ctl_->SetClientSite(&host_);
  }

  void newInstanceDefaults() {
    Host h;
    auto ctl = Create(h);
    Dispatcher d(ctl);
    QCOMPARE(d.Get(DISPID_BackColor), QVariant(qint32(0)));
    QCOMPARE(d.Get(DISPID_ForeColor), QVariant(qint32(0)));
    QCOMPARE(d.Get(DISPID_Enabled), QVariant(false));
    QCOMPARE(ToObject(d.Get(DISPID_Font)), h.ambientFont);
    QCOMPARE(d.Get(DISPID_BackStyle), QVariant::fromValue<qint16>(0));
    QCOMPARE(d.Get(DISPID_BorderStyle), QVariant::fromValue<qint16>(0));
    QCOMPARE(d.Get(DISPID_STATUS), QVariant("N"));
    QCOMPARE(d.Get(DISPID_HabilitaMenu), QVariant(true));
    QVERIFY(h.changed.isEmpty());
    // Enabled False disables nothing: the bar starts with all but GRAVAR.
    QCOMPARE(Flags(), QString(kInitial));
    // An empty bag gives the same, with the ambient font at load time.
    PropertyBag empty;
    h.ambientFont = CreateStdFont(QFont("Arial", 10));
    auto loaded = Create(h, &empty);
    QCOMPARE(ToObject(Dispatcher(loaded).Get(DISPID_Font)), h.ambientFont);
    PropertyBag saved;
    Check(loaded->Save(&saved));
    QVERIFY2(saved.Names().isEmpty(), qPrintable(saved.Names().join(',')));
  }

  void newAndCancelSwitchSets() {
    QCOMPARE(Flags(), QString(kInitial));
    Click(CANCELAR);  // only CANCELAR changes
    QCOMPARE(Flags(), QString(kBrowsing));
    Click(NOVO);
    QCOMPARE(Flags(), QString(kEditing));
    Click(CANCELAR);
    QCOMPARE(Flags(), QString(kBrowsing));
    Click(ALTERAR);
    QCOMPARE(Flags(), QString(kEditing));
    Click(SAIR);
    QCOMPARE(Flags(), QString(kEditing));
    QCOMPARE(host_.events.size(), 5);
    for (const auto& e : host_.events) QCOMPARE(e.id, DISPID(EVENT_ButtonClick));
    // Each handler saw the flags as they were before its click.
    QCOMPARE(host_.events[0].enabledDuring, QString(kInitial));
    QCOMPARE(host_.events[1].enabledDuring, QString(kBrowsing));
    QCOMPARE(host_.events[2].enabledDuring, QString(kEditing));
  }

  void saveFollowsHabilitaMenuSetByTheHandler() {
    Click(NOVO);
    host_.onButtonClick = [this](qint16 index) {
      if (index == GRAVAR) Dispatcher(ctl_).Let(DISPID_HabilitaMenu, false);
    };
    Click(GRAVAR);
    QCOMPARE(Flags(), QString(kEditing));
    host_.onButtonClick = {};
    Click(GRAVAR);  // HabilitaMenu keeps its last value
    QCOMPARE(Flags(), QString(kEditing));
    host_.onButtonClick = [this](qint16 index) {
      if (index == GRAVAR) Dispatcher(ctl_).Let(DISPID_HabilitaMenu, true);
    };
    Click(GRAVAR);
    QCOMPARE(Flags(), QString(kBrowsing));
    QCOMPARE(host_.events.size(), 4);
    QCOMPARE(host_.events[3].key, QString("GRAVAR"));
    QCOMPARE(host_.events[3].enabledDuring, QString(kEditing));
    // Set from outside, STATUS and HabilitaMenu move no button.
    Dispatcher(ctl_).Let(DISPID_STATUS, QString(""));
    Dispatcher(ctl_).Let(DISPID_HabilitaMenu, false);
    QCOMPARE(Flags(), QString(kBrowsing));
  }

  void clicksThatChangeNothingAreReported() {
    for (int i : {PRIMEIRO, ANTERIOR, PROXIMO, ULTIMO, LOCALIZAR, EXCLUIR, SAIR}) Click(i);
    QCOMPARE(Flags(), QString(kInitial));
    QStringList keys;
    for (const auto& e : host_.events) keys << e.key;
    QCOMPARE(keys, QStringList({"PRIMEIRO", "ANTERIOR", "PROXIMO", "ULTIMO", "LOCALIZAR",
                                "EXCLUIR", "SAIR"}));
    // A disabled button reports nothing.
    Click(GRAVAR);
    QCOMPARE(host_.events.size(), 7);
  }

  void assignmentsRunInOrderAndStopAtAFailedLookup() {
    QList<int> order;
    for (QAction* a : Bar()->actions())
      connect(a, &QAction::changed, this, [&order, a, this] { order << Bar()->actions().indexOf(a) + 1; });
    Click(NOVO);
    QCOMPARE(order, QList<int>({14, 7, 11, 4, 2, 3, 1, 10, 8}));
    order.clear();
    Click(CANCELAR);
    QCOMPARE(order, QList<int>({14, 7, 13, 11, 4, 2, 3, 1, 10, 8}));
    QVERIFY(host_.errors.isEmpty());

    // Take CANCELAR out of the bar: NOVO sets GRAVAR and itself, then stops.
    host_.snapshot = {};
    Bar()->removeAction(Entry(CANCELAR));
    Click(NOVO);
    QCOMPARE(host_.errors.size(), 1);
    QCOMPARE(host_.errors[0].first, DISP_E_BADINDEX);
    QVERIFY(host_.errors[0].second.contains("13"));
    QVERIFY(Bar()->actions()[GRAVAR - 2]->isEnabled());    // GRAVAR (shifted by one)
    QVERIFY(!Bar()->actions()[NOVO - 1]->isEnabled());
    QVERIFY(Bar()->actions()[EXCLUIR - 1]->isEnabled());   // skipped
    QCOMPARE(host_.events.size(), 3);
  }

  void hostMayReleaseTheControlInItsHandler() {
    QPointer<QWidget> window = ctl_->Window();
    host_.snapshot = {};
    host_.onButtonClick = [this](qint16) { ctl_.reset(); };
    Click(SAIR);
    QVERIFY(!ctl_);
    QVERIFY(window && !window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window);
  }

  void propertiesStoreThenNotify() {
    Dispatcher d(ctl_);
    d.Let(DISPID_BackColor, "255");
    d.Let(DISPID_ForeColor, qint16(7));
    d.Let(DISPID_Enabled, -1);
    d.Let(DISPID_BackStyle, 1);
    d.Let(DISPID_BorderStyle, 1.0);
    d.Let(DISPID_STATUS, QString(""));
    d.Let(DISPID_HabilitaMenu, false);
    const DispatchPtr font = CreateStdFont(QFont("Arial", 12));
    d.Set(DISPID_Font, font);
    QCOMPARE(host_.changed, QStringList({"BackColor", "ForeColor", "Enabled", "BackStyle",
                                        "BorderStyle", "STATUS", "HabilitaMenu", "Font"}));
    QCOMPARE(d.Get(DISPID_BackColor), QVariant(qint32(255)));
    QCOMPARE(d.Get(DISPID_Enabled), QVariant(true));
    QCOMPARE(d.Get(DISPID_BorderStyle), QVariant::fromValue<qint16>(1));
    QCOMPARE(d.Get(DISPID_STATUS), QVariant(QString("")));
    QCOMPARE(ToObject(d.Get(DISPID_Font)), font);  // the very object
    QCOMPARE(Flags(), QString(kInitial));          // nothing visible changes

    // A wrong type is refused and the value kept.
    QVERIFY_THROWS_EXCEPTION(Error, d.Let(DISPID_BackColor, "vermelho"));
    QVERIFY_THROWS_EXCEPTION(Error, d.Set(DISPID_Font, nullptr));
    QVERIFY_THROWS_EXCEPTION(Error, d.Let(DISPID_Font, QString("Arial")));
    QCOMPARE(d.Get(DISPID_BackColor), QVariant(qint32(255)));
    QCOMPARE(ToObject(d.Get(DISPID_Font)), font);

    // A failing notification reaches the caller; the value is stored.
    host_.changedResult = E_FAIL;
    try {
      d.Let(DISPID_STATUS, QString("A"));
      QFAIL("no error");
    } catch (const Error& e) {
      QCOMPARE(e.Hr(), E_FAIL);
      QVERIFY(e.Description().contains("STATUS"));
    }
    QCOMPARE(d.Get(DISPID_STATUS), QVariant("A"));
  }

  void habilitaMenuRefusedInDesignMode() {
    Dispatcher d(ctl_);
    host_.userMode = false;
    try {
      d.Let(DISPID_HabilitaMenu, false);
      QFAIL("no error");
    } catch (const Error& e) {
      QCOMPARE(e.Hr(), CTL_E_SETNOTPERMITTED);
      QCOMPARE(e.Number(), 387L);
    }
    QCOMPARE(d.Get(DISPID_HabilitaMenu), QVariant(true));
    QVERIFY(host_.changed.isEmpty());
    d.Let(DISPID_STATUS, QString("A"));  // only HabilitaMenu has the rule
    host_.userMode = true;
    d.Let(DISPID_HabilitaMenu, false);
    QCOMPARE(d.Get(DISPID_HabilitaMenu), QVariant(false));
    QCOMPARE(host_.changed, QStringList({"STATUS", "HabilitaMenu"}));
  }

  void saveAndLoadRoundTrip() {
    Dispatcher d(ctl_);
    d.Let(DISPID_BackColor, 0xC0C0C0);
    d.Let(DISPID_BorderStyle, 1);
    d.Let(DISPID_STATUS, QString(""));
    d.Let(DISPID_HabilitaMenu, false);
    const DispatchPtr font = ToObject(d.Get(DISPID_Font));
    PropertyBag bag;
    Check(ctl_->Save(&bag));
    QCOMPARE(bag.Names(), QStringList({"BackColor", "Font", "BorderStyle", "STATUS", "HabilitaMenu"}));
    QCOMPARE(bag.ReadProperty("STATUS", "N"), QVariant(QString("")));
    QCOMPARE(bag.ReadProperty("BorderStyle").metaType().id(), int(QMetaType::Short));

    Host other;
    other.userMode = false;  // loading ignores the design-mode rule
    auto copy = Create(other, &bag);
    Dispatcher c(copy);
    QCOMPARE(c.Get(DISPID_BackColor), QVariant(qint32(0xC0C0C0)));
    QCOMPARE(c.Get(DISPID_BorderStyle), QVariant::fromValue<qint16>(1));
    QCOMPARE(c.Get(DISPID_STATUS), QVariant(QString("")));
    QCOMPARE(c.Get(DISPID_HabilitaMenu), QVariant(false));
    QCOMPARE(ToObject(c.Get(DISPID_Font)), font);
    QVERIFY(other.changed.isEmpty());
    // Every load starts the bar in its initial state.
    QCOMPARE(copy->Window()->findChild<QToolBar*>("Trivex")->actions()[GRAVAR - 1]->isEnabled(), false);
  }

  void wrongTypedEntryStopsTheLoad() {
    Host h;
    PropertyBag bag;
    bag.Write("BackColor", 5);
    bag.Write("Enabled", "True");
    bag.Write("BackStyle", "opaco");
    bag.Write("BorderStyle", 1);
    bag.Write("STATUS", "A");
    std::shared_ptr<IOleControl> ctl;
    Check(CoCreateInstance(kProgId, &ctl));
    ctl->SetClientSite(&h);
    QString why;
    QCOMPARE(ctl->Load(&bag, &why), DISP_E_TYPEMISMATCH);
    QVERIFY2(why.contains("BackStyle") && why.contains("opaco"), qPrintable(why));
    Dispatcher d(ctl);
    QCOMPARE(d.Get(DISPID_BackColor), QVariant(qint32(5)));  // earlier entries kept
    QCOMPARE(d.Get(DISPID_Enabled), QVariant(true));
    QCOMPARE(ToObject(d.Get(DISPID_Font)), h.ambientFont);
    QCOMPARE(d.Get(DISPID_BorderStyle), QVariant::fromValue<qint16>(0));  // never reached
    QCOMPARE(d.Get(DISPID_STATUS), QVariant("N"));

    PropertyBag badFont;
    badFont.Write("Font", "MS Sans Serif");
    QCOMPARE(ctl->Load(&badFont, &why), DISP_E_TYPEMISMATCH);
    QVERIFY(why.contains("Font"));
  }
};

QTEST_MAIN(TstTrivex)
#include "tst_trivex.moc"
