// The Trivex control in Qt forms: the Designer plugin as Designer loads it,
// the widget in design mode, what Designer saves, and saved forms at run time.

#include <QBuffer>
#include <QPluginLoader>
#include <QTemporaryDir>
#include <QToolBar>
#include <QUiLoader>
#include <QXmlStreamReader>
#include <QtDesigner/QDesignerComponents>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerFormWindowCursorInterface>
#include <QtDesigner/QDesignerFormWindowManagerInterface>
#include <QtDesigner/QDesignerPropertyEditorInterface>
#include <QtDesigner/QDesignerIntegration>
#include <QtDesigner/QDesignerPropertySheetExtension>
#include <QtDesigner/QExtensionManager>
#include <QtDesigner/QFormBuilder>
#include <QtTest>
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>

#include "designer/Trivex.h"
#include "platform/forms/msgbox.h"
#include "ui_frmTrivex.h"

namespace {

const QString kPlugin = QStringLiteral(VT_PLUGIN_DIR "/designer/libtrivexplugin.so");

// The eight stored values as "name=value", fonts as family and size.
QString Values(const QObject* w) {
  QStringList s;
  for (const QString& name : Trivex::StoredProperties()) {
    const QVariant v = w->property(name.toLatin1());
    s << name + '=' + (v.metaType().id() == QMetaType::QFont
                           ? v.value<QFont>().family() + ' ' + QString::number(v.value<QFont>().pointSize())
                           : v.toString());
  }
  return s.join('|');
}

// The properties a form file gives a widget: "name[stdset]=text".
QStringList SavedProperties(const QString& ui, const QString& widget) {
  QXmlStreamReader xml(ui);
  QStringList found;
  int depth = 0;  // 1 at the widget's element, 2 at its own properties
  while (!xml.atEnd()) {
    xml.readNext();
    if (xml.isStartElement()) {
      if (depth) ++depth;
      if (xml.name() == u"widget" && xml.attributes().value("name") == widget) depth = 1;
      if (depth == 2 && xml.name() == u"property" && xml.attributes().value("name") != u"geometry") {
        const QString name = xml.attributes().value("name").toString();
        const QString stdset = xml.attributes().value("stdset").toString();
        xml.readNext();
        while (!xml.isStartElement()) xml.readNext();
        const QString notr = xml.attributes().value("notr").toString();
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
        found << QString("%1[%2]=%3%4").arg(name, stdset, text, notr.isEmpty() ? "" : " notr=" + notr);
      }
    } else if (xml.isEndElement() && depth) {
      --depth;
    }
  }
  return found;
}

// Saves what a form file needs: the form's geometry and font and the
// control's stored values, not the control's own inner widgets.
class FormSaver : public QFormBuilder {
 protected:
  DomWidget* createDom(QWidget* w, DomWidget* parent, bool recursive) override {
    return QFormBuilder::createDom(w, parent, recursive && !w->inherits("Trivex"));
  }
  bool checkProperty(QObject*, const QString& p) const override {
    return p == "geometry" || p == "font" || Trivex::StoredProperties().contains(p);
  }
};

}  // namespace

class TstDesigner : public QObject {
  Q_OBJECT
  QTemporaryDir dir_;
  QList<forms::MsgBoxCall> boxes_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    qputenv("VT_OLE_REGISTRY", dir_.filePath("registry.ini").toLocal8Bit());
    QString why;
    QVERIFY2(ole::Succeeded(ole::RegisterServer(VT_BIN_DIR "/Trivex.ocx", false, &why)), qPrintable(why));
    // Boxes of this test's widgets are answered here; the plugin's own copy
    // of the message box answers by itself.
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) { return boxes_ << c, int(forms::vbOK); });
    qputenv("VT_MSGBOX_ECHO", "1");
  }

  void pluginOffersTheControl() {
    QPluginLoader loader(kPlugin);
    auto* collection = qobject_cast<QDesignerCustomWidgetCollectionInterface*>(loader.instance());
    QVERIFY2(collection, qPrintable(loader.errorString()));
    QCOMPARE(collection->customWidgets().size(), 1);
    QDesignerCustomWidgetInterface* w = collection->customWidgets()[0];
    QCOMPARE(QStringList({w->name(), w->group(), w->includeFile()}),
             QStringList({"Trivex", "TrivexControl", "designer/Trivex.h"}));
    QVERIFY(!w->isContainer() && w->toolTip().contains("TrivexControl.Trivex"));
    const QString xml = w->domXml();
    for (const char* part : {"<widget class=\"Trivex\" name=\"Trivex1\">", "<width>298</width>",
                             "<height>26</height>",
                             "<stringpropertyspecification name=\"STATUS\" notr=\"true\""})
      QVERIFY2(xml.contains(part), part);
    QXmlStreamReader check(xml);
    while (!check.atEnd()) check.readNext();
    QVERIFY2(!check.hasError(), qPrintable(check.errorString()));
    // The toolbox picture the control library registered: 16 x 15.
    const QImage icon = w->icon().pixmap(16, 15).toImage();
    QCOMPARE(icon.convertToFormat(QImage::Format_RGB32),
             QImage(":/Trivex/30000.bmp").convertToFormat(QImage::Format_RGB32));
  }

  // Placed on a form being edited: initialised from the defaults and the
  // form's font; every property goes through the control, which refuses
  // HabilitaMenu in design mode.
  void designModeInitialisesAndRefusesHabilitaMenu() {
    QWidget form;
    form.setFont(QFont("DejaVu Sans", 11));
    Trivex w(&form, Trivex::Mode::Design);
    form.show();
    QCOMPARE(Values(&w), "BackColor=0|ForeColor=0|Enabled=false|Font=DejaVu Sans 11|BackStyle=0|"
                         "BorderStyle=0|STATUS=N|HabilitaMenu=true");
    QVERIFY(w.SavedNames().isEmpty() && w.sizeHint() == QSize(298, 26));
    QStringList changed, refused;
    connect(&w, &Trivex::PropertyChanged, this, [&](const QString& n) { changed << n; });
    connect(&w, &Trivex::PropertyRefused, this, [&](const QString& n) { refused << n; });
    boxes_.clear();
    const QList<QPair<const char*, QVariant>> edits = {
        {"BackColor", 255}, {"ForeColor", 7}, {"Enabled", true}, {"Font", QFont("DejaVu Serif", 9)},
        {"BackStyle", 1}, {"BorderStyle", 1}, {"STATUS", ""}, {"STATUS", ""} /* unchanged */,
        {"HabilitaMenu", false}, {"BackStyle", 70000} /* not a 16-bit integer */};
    for (const auto& [name, value] : edits) w.setProperty(name, value);
    QCOMPARE(changed, QStringList({"BackColor", "ForeColor", "Enabled", "Font", "BackStyle", "BorderStyle", "STATUS"}));
    QCOMPARE(refused, QStringList({"HabilitaMenu", "BackStyle"}));
    QCOMPARE(Values(&w), "BackColor=255|ForeColor=7|Enabled=true|Font=DejaVu Serif 9|BackStyle=1|"
                         "BorderStyle=1|STATUS=|HabilitaMenu=true");
    QCOMPARE(w.SavedNames(), Trivex::StoredProperties().mid(0, 7));
    QCOMPARE(boxes_.size(), 2);
    QCOMPARE(boxes_[0].prompt, "A propriedade HabilitaMenu não pode ser alterada em modo de projeto.\n\n"
                               "Erro 387: Can't set property at design time");
    QVERIFY(boxes_[1].prompt.startsWith("A propriedade BackStyle não aceitou o valor 70000.") &&
            boxes_[0].title == "Trivex" && boxes_[0].buttons == forms::vbExclamation);
    QVERIFY(w.font() == form.font());  // the widget's own font is not the control's
  }

  // Saved values the control cannot load, or no control at all: said once
  // (a box in Portuguese, or an exception to a program that asks first), and
  // the form goes on.
  void failuresAreReported() {
    boxes_.clear();
    QWidget form;
    Trivex loaded(&form);
    for (const auto& [name, value] : QList<QPair<const char*, QVariant>>{
             {"BackColor", 5}, {"BackStyle", 70000} /* not 16 bits */, {"STATUS", "A"}})
      loaded.setProperty(name, value);
    try {
      loaded.Activate();
      QFAIL("no exception");
    } catch (const ole::Error& e) {
      QVERIFY2(e.Hr() == ole::DISP_E_OVERFLOW && e.Description().contains("BackStyle"), e.what());
    }
    loaded.Activate();  // once only; the control keeps what it read before the entry
    QCOMPARE(Values(&loaded).left(32), "BackColor=5|ForeColor=0|Enabled=");
    QCOMPARE(loaded.STATUS(), "N");

    const QByteArray registry = qgetenv("VT_OLE_REGISTRY");
    qputenv("VT_OLE_REGISTRY", dir_.filePath("empty.ini").toLocal8Bit());
    Trivex missing(&form, Trivex::Mode::Design);
    qputenv("VT_OLE_REGISTRY", registry);
    form.show();
    missing.setProperty("STATUS", "A");
    QCOMPARE(boxes_.size(), 1);
    QVERIFY2(boxes_[0].prompt.startsWith("O controle TrivexControl.Trivex não pôde ser criado.\n\nErro ") &&
                 boxes_[0].prompt.contains("Class not registered"), qPrintable(boxes_[0].prompt));
    QVERIFY_THROWS_EXCEPTION(ole::Error, missing.STATUS());
    QVERIFY(missing.SavedNames().isEmpty() && !missing.property("STATUS").toString().size());
  }

  // Qt Designer itself: a saved form opens with its values loaded (the
  // design-mode rule does not apply to loading), edits go through the
  // control, and the form file holds what the control saves, by name.
  void designerSavesWhatTheControlSaves() {
    QCoreApplication::setLibraryPaths({VT_PLUGIN_DIR});  // only this plugin
    QDesignerComponents::initializeResources();
    std::unique_ptr<QDesignerFormEditorInterface> core(QDesignerComponents::createFormEditor(nullptr));
    std::unique_ptr<QDesignerPropertyEditorInterface> editor(QDesignerComponents::createPropertyEditor(core.get(), nullptr));
    core->setPropertyEditor(editor.get());
    new QDesignerIntegration(core.get(), core.get());
    QDesignerComponents::initializePlugins(core.get());
    std::unique_ptr<QDesignerFormWindowInterface> fw(core->formWindowManager()->createFormWindow(nullptr));
    QFile ui(VT_SOURCE_DIR "/tests/designer/frmTrivex.ui");
    QVERIFY(ui.open(QIODevice::ReadOnly));
    QVERIFY(fw->setContents(&ui));
    QWidget* w = fw->mainContainer()->findChild<QWidget*>("Trivex1");
    QVERIFY(w && w->inherits("Trivex"));
    QCoreApplication::sendPostedEvents();  // the widgets are polished: loading is over
    QCOMPARE(Values(w), "BackColor=255|ForeColor=0|Enabled=false|Font=DejaVu Serif 9|BackStyle=0|"
                        "BorderStyle=0|STATUS=|HabilitaMenu=false");
    auto* sheet = qt_extension<QDesignerPropertySheetExtension*>(core->extensionManager(), w);
    QVERIFY(sheet && !sheet->isVisible(sheet->indexOf("enabled")) && sheet->isVisible(sheet->indexOf("Enabled")));
    // As the property editor does: one undoable command per edit.
    core->propertyEditor()->setObject(w);
    for (const auto& [name, value] : QList<QPair<QString, QVariant>>{
             {"ForeColor", 7}, {"BackColor", 0}, {"HabilitaMenu", true}})
      fw->cursor()->setWidgetProperty(w, name, value);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(w->property("HabilitaMenu"), QVariant(false));  // refused
    QCOMPARE(SavedProperties(fw->contents(), "Trivex1"),
             QStringList({"ForeColor[0]=7", "Font[0]=DejaVu Serif 9 false false false false", "STATUS[0]= notr=true",
                          "HabilitaMenu[0]=false"}));
    // A new placement: initialised, nothing of it saved.
    QVERIFY(fw->setContents(R"(<ui version="4.0"><class>F</class><widget class="QWidget" name="F">
      <property name="font"><font><family>DejaVu Sans</family><pointsize>13</pointsize></font></property>
      <widget class="Trivex" name="Trivex1"/></widget></ui>)"));
    w = fw->mainContainer()->findChild<QWidget*>("Trivex1");
    QVERIFY(w);
    QCOMPARE(w->property("Font").value<QFont>().pointSize(), 13);
    QCOMPARE(SavedProperties(fw->contents(), "Trivex1"), QStringList());
    QCoreApplication::setLibraryPaths({});
  }

  // A form saved by Designer, compiled by uic: the values arrive by name and
  // the control runs. The same form saved by QFormBuilder and loaded by
  // QUiLoader through the plugin gives the same values, in run mode too.
  void savedFormsRunInRunMode() {
    QWidget form;
    Ui::frmTrivex ui;
    ui.setupUi(&form);
    form.show();
    const QString expected = "BackColor=255|ForeColor=0|Enabled=false|Font=DejaVu Serif 9|BackStyle=0|"
                             "BorderStyle=0|STATUS=|HabilitaMenu=false";
    QCOMPARE(Values(ui.Trivex1), expected);
    QCOMPARE(ui.Trivex1->font().family(), "DejaVu Sans");  // not the control's Font
    // The handler runs before the bar switches; what it sets counts.
    QList<int> clicks;
    connect(ui.Trivex1, &Trivex::ButtonClick, this, [&](int index) {
      clicks << index;
      ui.Trivex1->setHabilitaMenu(index == trivex::GRAVAR);
    });
    auto* bar = ui.Trivex1->findChild<QToolBar*>("Trivex");
    for (int index : {trivex::NOVO, trivex::GRAVAR})
      QTest::mouseClick(bar->widgetForAction(bar->actions()[index - 1]), Qt::LeftButton);
    QCOMPARE(clicks, QList<int>({trivex::NOVO, trivex::GRAVAR}));
    QVERIFY(ui.Trivex1->HabilitaMenu() && !bar->actions()[trivex::GRAVAR - 1]->isEnabled());
    ui.Trivex1->setHabilitaMenu(false);

    QBuffer saved;
    saved.open(QIODevice::ReadWrite);
    FormSaver().save(&saved, &form);
    saved.seek(0);
    QUiLoader loader;
    loader.clearPluginPaths();
    loader.addPluginPath(VT_PLUGIN_DIR "/designer");
    std::unique_ptr<QWidget> loaded(loader.load(&saved));
    QVERIFY2(loaded, qPrintable(loader.errorString()));
    loaded->show();
    QObject* copy = loaded->findChild<QWidget*>("Trivex1");
    QVERIFY(copy && copy->inherits("Trivex") && copy != ui.Trivex1);
    QCOMPARE(Values(copy), expected);
    boxes_.clear();
    copy->setProperty("HabilitaMenu", true);
    QCOMPARE(copy->property("HabilitaMenu"), QVariant(true));
  }
};

QTEST_MAIN(TstDesigner)
#include "tst_designer.moc"
