// The Trivex control as a host sees it: created by its programmatic
// identifier through a temporary registry, driven by real clicks.

#include <QSettings>
#include <dlfcn.h>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

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
  // enabledDuring: the bar's flags while the handler ran.
  struct Event { DISPID id; QVariant index; QString key; int image; QString enabledDuring; };
  QList<Event> events;
  QList<QPair<HRESULT, QString>> errors;
  DispatchPtr lastButton;  // the clicked button object, kept past the event
  std::function<void(qint16)> onButtonClick;
  std::function<QString()> snapshot;

  HRESULT AmbientUserMode(bool* mode) override { return *mode = userMode, S_OK; }
  HRESULT AmbientFont(DispatchPtr* font) override { return *font = ambientFont, S_OK; }
  HRESULT OnChanged(const QString& name) override { return changed << name, changedResult; }
  HRESULT FireEvent(DISPID id, const QVariantList& args) override {
    lastButton = ToObject(args.value(0));
    Dispatcher b(lastButton);
    events.append({id, b.Get("Index"), b.Get("Key").toString(), b.Get("Image").toInt(),
                   snapshot ? snapshot() : QString()});
    if (onButtonClick) onButtonClick(qint16(events.last().index.toInt()));
    return S_OK;
  }
  void OnControlError(HRESULT hr, const QString& why) override { errors.append({hr, why}); }
};

// The flags of the eleven buttons, in bar order: "1" enabled, "0" disabled.
constexpr const char* kInitial = "11111111101";  // all but GRAVAR
constexpr const char* kBrowsing = "11111111001";
constexpr const char* kEditing = "00000000111";
const QList<int> kButtonIndexes = {PRIMEIRO, ANTERIOR, PROXIMO,   ULTIMO,   NOVO, ALTERAR,
                                   LOCALIZAR, EXCLUIR,  CANCELAR, GRAVAR, SAIR};

// Every stored value but Font, each as "type value", in this order.
QString Values(const DispatchPtr& ctl) {
  QStringList s;
  for (DISPID id : {DISPID_BackColor, DISPID_ForeColor, DISPID_Enabled, DISPID_BackStyle,
                    DISPID_BorderStyle, DISPID_STATUS, DISPID_HabilitaMenu}) {
    const QVariant v = Dispatcher(ctl).Get(id);
    s << QString("%1 %2").arg(v.typeName(), v.toString());
  }
  return s.join('|');
}
const QString kDefaults = "int 0|int 0|bool false|short 0|short 0|QString N|bool true";

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
  void Click(int index) { QTest::mouseClick(Bar()->widgetForAction(Entry(index)), Qt::LeftButton); }
  // Creates and loads a control the way the client form does.
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

  void cleanup() { ctl_.reset(), form_.reset(); }

  void registrationThenUnregistration() {
    const QByteArray saved = qgetenv("VT_OLE_REGISTRY");
    const QString other = dir_.filePath("other.ini");
    qputenv("VT_OLE_REGISTRY", other.toLocal8Bit());
    QString why;
    QCOMPARE(RegisterServer(kLibrary, false, &why), S_OK);
    auto reg = [&](const QString& key) { return QSettings(other, QSettings::IniFormat).value(key).toString(); };
    QCOMPARE(reg(QString(kProgId) + "/Library"), QFileInfo(kLibrary).canonicalFilePath());
    QCOMPARE(reg("TypeLib.TrivexControl/Description") + '|' + reg("TypeLib.TrivexControl/Version"),
             QString("Trivex Control |5.1"));
    QVERIFY(reg("TypeLib.TrivexControl/_Trivex/HabilitaMenu").contains("[nonbrowsable]") &&
            reg("TypeLib.TrivexControl/__Trivex/ButtonClick").contains("id=9"));
    QCOMPARE(RegisterServer(kLibrary, true, &why), S_OK);
    QVERIFY(QSettings(other, QSettings::IniFormat).allKeys().isEmpty());
    qputenv("VT_OLE_REGISTRY", saved);
  }

  void dispatchIdsByName() {
    for (const auto& [name, id] : QList<QPair<QString, DISPID>>{
             {"BackColor", DISPID_BackColor}, {"ForeColor", DISPID_ForeColor}, {"Enabled", DISPID_Enabled},
             {"Font", DISPID_Font}, {"BackStyle", DISPID_BackStyle}, {"BorderStyle", DISPID_BorderStyle},
             {"Refresh", DISPID_Refresh}, {"status", DISPID_STATUS}, {"HabilitaMenu", DISPID_HabilitaMenu}})
      QCOMPARE(Dispatcher(ctl_).IdOf(name), id);
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
    for (int i = 0; i < kButtonCount; ++i) {
      QAction* a = actions[i];
      QCOMPARE(a->isSeparator(), tips[i].isEmpty());
      if (a->isSeparator()) continue;
      QWidget* b = Bar()->widgetForAction(a);
      QCOMPARE(a->toolTip() + '|' + b->accessibleName() + '|' + a->text(), tips[i] + '|' + tips[i] + '|');
      QCOMPARE(b->focusPolicy(), Qt::NoFocus);
      QVERIFY2(b->isVisible() && QRect(0, 0, 519, 25).contains(QRect(b->mapTo(ctl_->Window(), QPoint()), b->size())),
               qPrintable(tips[i]));
      const QImage img = a->icon().pixmap(16, 16).toImage();
      QVERIFY(qAlpha(img.pixel(0, 15)) == 0 && !pictures.contains(img));  // silver is transparent
      pictures << img;
    }
  }

  void clicksThatChangeNothingAreReported() {
    for (int i : {PRIMEIRO, ANTERIOR, PROXIMO, ULTIMO, LOCALIZAR, EXCLUIR, SAIR}) Click(i);
    QCOMPARE(Flags(), QString(kInitial));
    QStringList seen;  // Index:Key:Image of each clicked button
    for (const auto& e : host_.events) {
      QCOMPARE(e.id, DISPID(EVENT_ButtonClick));
      QCOMPARE(e.index.metaType().id(), int(QMetaType::Short));
      seen << QString("%1:%2:%3").arg(e.index.toInt()).arg(e.key).arg(e.image);
    }
    QCOMPARE(seen, QStringList({"1:PRIMEIRO:1", "2:ANTERIOR:2", "3:PROXIMO:3", "4:ULTIMO:4",
                                "10:LOCALIZAR:9", "11:EXCLUIR:7", "16:SAIR:11"}));
    Click(GRAVAR);  // a disabled button reports nothing
    QCOMPARE(host_.events.size(), 7);
  }

  // A new control and one loaded from an empty bag take the defaults and the
  // ambient font, and save nothing.
  void newInstanceAndEmptyBagDefaults() {
    Host h;
    PropertyBag empty, saved;
    for (IPropertyBag* bag : {static_cast<IPropertyBag*>(nullptr), static_cast<IPropertyBag*>(&empty)}) {
      h.ambientFont = CreateStdFont(QFont("Arial", bag ? 10 : 8));  // the one at load time
      auto ctl = Create(h, bag);
      QCOMPARE(Values(ctl), kDefaults);
      QCOMPARE(ToObject(Dispatcher(ctl).Get(DISPID_Font)), h.ambientFont);
      Check(ctl->Save(&saved));
    }
    QVERIFY2(h.changed.isEmpty() && saved.Names().isEmpty(), qPrintable(saved.Names().join(',')));
  }

  // Each handler runs first and sees the flags as they were before its click;
  // a HabilitaMenu it sets decides the GRAVAR being handled.
  void clicksSwitchSetsAfterTheHandler() {
    int habilita = -1;  // what the handler sets; -1 nothing
    host_.onButtonClick = [&](qint16) {
      if (habilita >= 0) Dispatcher(ctl_).Let(DISPID_HabilitaMenu, habilita == 1);
    };
    const QList<std::tuple<int, int, QString>> steps = {
        {CANCELAR, -1, kBrowsing}, {NOVO, -1, kEditing}, {CANCELAR, -1, kBrowsing},
        {ALTERAR, -1, kEditing},   {SAIR, -1, kEditing}, {GRAVAR, 0, kEditing},
        {GRAVAR, -1, kEditing} /* HabilitaMenu keeps its last value */, {GRAVAR, 1, kBrowsing}};
    QString before = kInitial;
    for (const auto& [button, set, after] : steps) {
      habilita = set;
      Click(button);
      QCOMPARE(host_.events.last().enabledDuring, before);
      QCOMPARE(Flags(), after);
      before = after;
    }
    QCOMPARE(host_.events.size(), steps.size());
  }

  void assignmentsRunInOrderAndStopAtAFailedLookup() {
    QList<int> order;
    for (QAction* a : Bar()->actions())
      connect(a, &QAction::changed, this, [&order, a, this] { order << Bar()->actions().indexOf(a) + 1; });
    Click(NOVO);
    QCOMPARE(order, QList<int>({GRAVAR, NOVO, EXCLUIR, ULTIMO, ANTERIOR, PROXIMO, PRIMEIRO, LOCALIZAR, ALTERAR}));
    order.clear();
    Click(CANCELAR);
    QCOMPARE(order,
             QList<int>({GRAVAR, NOVO, CANCELAR, EXCLUIR, ULTIMO, ANTERIOR, PROXIMO, PRIMEIRO, LOCALIZAR, ALTERAR}));
    QVERIFY(host_.errors.isEmpty());
    // Take CANCELAR out of the bar: NOVO sets GRAVAR and itself, then stops.
    host_.snapshot = {};
    Bar()->removeAction(Entry(CANCELAR));
    Click(NOVO);
    QCOMPARE(host_.errors.size(), 1);
    QVERIFY(host_.errors[0].first == DISP_E_BADINDEX && host_.errors[0].second.contains("13"));
    // GRAVAR (shifted by one) and NOVO set, EXCLUIR never reached.
    QVERIFY(Bar()->actions()[GRAVAR - 2]->isEnabled() && !Entry(NOVO)->isEnabled() && Entry(EXCLUIR)->isEnabled());
    QCOMPARE(host_.events.size(), 3);
  }

  void hostMayReleaseTheControlInItsHandler() {
    QPointer<QWidget> window = ctl_->Window();
    host_.snapshot = {};
    host_.onButtonClick = [this](qint16) { ctl_.reset(); };
    Click(SAIR);
    QVERIFY(!ctl_ && window && !window->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window);
  }

  // A host that unloads the library when DllCanUnloadNow allows it must find
  // no object of the library left: factories, controls, buttons, windows.
  void canUnloadNowCountsEveryLiveObject() {
    cleanup();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    void* lib = dlopen(QFile::encodeName(kLibrary).constData(), RTLD_NOW | RTLD_NOLOAD);
    QVERIFY(lib);
    auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(dlsym(lib, "DllCanUnloadNow"));
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(lib, "DllGetClassObject"));
    QVERIFY(canUnload && getClassObject);
    QCOMPARE(canUnload(), S_OK);
    std::shared_ptr<IClassFactory> factory;
    QCOMPARE(getClassObject("TrivexControl.Trivex", &factory), S_OK);
    QCOMPARE(canUnload(), S_FALSE);  // the class factory
    std::shared_ptr<IOleControl> ctl;
    QCOMPARE(factory->CreateInstance(&ctl), S_OK);
    factory.reset();
    QCOMPARE(canUnload(), S_FALSE);  // the control
    Host host;
    ctl->SetClientSite(&host);
    Check(ctl->InitNew());
    QWidget form;
    Check(ctl->InPlaceActivate(&form, QRect(0, 0, 519, 25)));
    form.show();
    QToolBar* bar = ctl->Window()->findChild<QToolBar*>("Trivex");
    QTest::mouseClick(bar->widgetForAction(bar->actions().value(PRIMEIRO - 1)), Qt::LeftButton);
    QVERIFY(host.lastButton);
    ctl.reset();
    QCOMPARE(canUnload(), S_FALSE);  // the button the host still holds
    host.lastButton.reset();
    QCOMPARE(canUnload(), S_FALSE);  // the control's window, deleted later
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(canUnload(), S_OK);
    dlclose(lib);
  }

  void propertiesStoreThenNotify() {
    Dispatcher d(ctl_);
    // In design mode HabilitaMenu refuses a value.
    host_.userMode = false;
    QString why;
    QCOMPARE(ctl_->Invoke(DISPID_HabilitaMenu, InvokeKind::PropertyLet, {false}, nullptr, &why),
             CTL_E_SETNOTPERMITTED);
    QCOMPARE(Error(CTL_E_SETNOTPERMITTED, why).Number(), 387L);
    QVERIFY(d.Get(DISPID_HabilitaMenu) == QVariant(true) && host_.changed.isEmpty());
    d.Let(DISPID_STATUS, QString("A"));  // only HabilitaMenu has the rule
    host_.userMode = true;
    d.Let(DISPID_HabilitaMenu, false);
    QCOMPARE(d.Get(DISPID_HabilitaMenu), QVariant(false));
    QCOMPARE(host_.changed, QStringList({"STATUS", "HabilitaMenu"}));
    host_.changed.clear();
    for (const auto& [id, value] : QList<QPair<DISPID, QVariant>>{
             {DISPID_BackColor, "255"}, {DISPID_ForeColor, QVariant::fromValue<qint16>(7)},
             {DISPID_Enabled, -1}, {DISPID_BackStyle, 1}, {DISPID_BorderStyle, 1.0},
             {DISPID_STATUS, QString("")}, {DISPID_HabilitaMenu, false}})
      d.Let(id, value);
    const DispatchPtr font = CreateStdFont(QFont("Arial", 12));
    d.Set(DISPID_Font, font);
    QCOMPARE(host_.changed, QStringList({"BackColor", "ForeColor", "Enabled", "BackStyle",
                                        "BorderStyle", "STATUS", "HabilitaMenu", "Font"}));
    QCOMPARE(Values(ctl_), QString("int 255|int 7|bool true|short 1|short 1|QString |bool false"));
    QCOMPARE(ToObject(d.Get(DISPID_Font)), font);  // the very object
    QCOMPARE(Flags(), QString(kInitial));          // nothing visible changes
    // A wrong type is refused and the value kept.
    QVERIFY_THROWS_EXCEPTION(Error, d.Let(DISPID_BackColor, "vermelho"));
    QVERIFY_THROWS_EXCEPTION(Error, d.Let(DISPID_Font, QString("Arial")));
    QCOMPARE(d.Get(DISPID_BackColor), QVariant(qint32(255)));
    QCOMPARE(ToObject(d.Get(DISPID_Font)), font);
    // A failing notification reaches the caller; the value is stored.
    host_.changedResult = E_FAIL;
    QCOMPARE(ctl_->Invoke(DISPID_STATUS, InvokeKind::PropertyLet, {"A"}, nullptr, &why), E_FAIL);
    QVERIFY2(why.contains("STATUS"), qPrintable(why));
    QCOMPARE(d.Get(DISPID_STATUS), QVariant("A"));
  }

  void saveAndLoadRoundTripAndRefusedLoad() {
    Dispatcher d(ctl_);
    for (const auto& [id, value] : QList<QPair<DISPID, QVariant>>{
             {DISPID_BackColor, 0xC0C0C0}, {DISPID_BorderStyle, 1}, {DISPID_STATUS, QString("")},
             {DISPID_HabilitaMenu, false}})
      d.Let(id, value);
    PropertyBag bag;
    Check(ctl_->Save(&bag));
    QCOMPARE(bag.Names(), QStringList({"BackColor", "Font", "BorderStyle", "STATUS", "HabilitaMenu"}));
    QCOMPARE(bag.ReadProperty("STATUS", "N"), QVariant(QString("")));
    Host other;
    other.userMode = false;  // loading ignores the design-mode rule
    auto copy = Create(other, &bag);
    QCOMPARE(Values(copy), Values(ctl_));
    QCOMPARE(ToObject(Dispatcher(copy).Get(DISPID_Font)), ToObject(d.Get(DISPID_Font)));
    QVERIFY(other.changed.isEmpty());
    // Every load starts the bar in its initial state.
    QCOMPARE(copy->Window()->findChild<QToolBar*>("Trivex")->actions()[GRAVAR - 1]->isEnabled(), false);
    // A wrong-typed entry stops the load.
    Host h;
    PropertyBag wrong;
    for (const auto& [name, value] : QList<QPair<QString, QVariant>>{
             {"BackColor", 5}, {"Enabled", "True"}, {"BackStyle", "opaco"}, {"BorderStyle", 1}, {"STATUS", "A"}})
      wrong.Write(name, value);
    std::shared_ptr<IOleControl> ctl;
    Check(CoCreateInstance(kProgId, &ctl));
    ctl->SetClientSite(&h);
    QString why;
    QCOMPARE(ctl->Load(&wrong, &why), DISP_E_TYPEMISMATCH);
    QVERIFY2(why.contains("BackStyle") && why.contains("opaco"), qPrintable(why));
    // Earlier entries kept, later ones never reached.
    QCOMPARE(Values(ctl), QString("int 5|int 0|bool true|short 0|short 0|QString N|bool true"));
    QCOMPARE(ToObject(Dispatcher(ctl).Get(DISPID_Font)), h.ambientFont);
    PropertyBag badFont;
    badFont.Write("Font", "MS Sans Serif");
    QCOMPARE(ctl->Load(&badFont, &why), DISP_E_TYPEMISMATCH);
    QVERIFY(why.contains("Font"));
  }
};

QTEST_MAIN(TstTrivex)
#include "tst_trivex.moc"
