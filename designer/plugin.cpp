#include "designer/plugin.h"

#include <QImage>
#include <QPixmap>
#include <QScrollBar>
#include <QTreeView>
#include <QTimer>
#include <QtDesigner/QDesignerFormEditorInterface>
#include <QtDesigner/QDesignerFormWindowInterface>
#include <QtDesigner/QDesignerPropertyEditorInterface>
#include <QtDesigner/QExtensionManager>

#include "designer/Trivex.h"

// ---------------------------------------------------------------------------
// The widget box entry

QString TrivexDesigner::name() const { return QStringLiteral("Trivex"); }
QString TrivexDesigner::group() const { return QStringLiteral("TrivexControl"); }
QString TrivexDesigner::toolTip() const {
  return QStringLiteral("Barra de comandos de registro (%1)").arg(QLatin1String(trivex::kProgId));
}
QString TrivexDesigner::whatsThis() const {
  return QStringLiteral(
      "Barra de onze comandos de registro: avisa o formulário de cada clique (ButtonClick) e "
      "alterna entre os botões de navegação e os de edição.");
}
QString TrivexDesigner::includeFile() const { return QStringLiteral("designer/Trivex.h"); }

QIcon TrivexDesigner::icon() const {
  // The toolbox picture the control library registered.
  if (icon_.isNull()) {
    const QImage picture = ole::ToolboxPicture(QLatin1String(trivex::kProgId));
    if (!picture.isNull()) icon_ = QIcon(QPixmap::fromImage(picture));
  }
  return icon_;
}

// The control's design extent, 4470 x 390 twips; STATUS is a code, not a text
// to translate.
QString TrivexDesigner::domXml() const {
  return QStringLiteral(R"(<ui language="c++" displayname="Trivex">
 <widget class="Trivex" name="Trivex1">
  <property name="geometry">
   <rect><x>0</x><y>0</y><width>298</width><height>26</height></rect>
  </property>
 </widget>
 <customwidgets>
  <customwidget>
   <class>Trivex</class>
   <propertyspecifications>
    <stringpropertyspecification name="STATUS" notr="true" type="singleline"/>
   </propertyspecifications>
  </customwidget>
 </customwidgets>
</ui>
)");
}

void TrivexDesigner::initialize(QDesignerFormEditorInterface* core) {
  if (initialized_) return;
  initialized_ = true;
  core_ = core;
  if (QExtensionManager* manager = core ? core->extensionManager() : nullptr) {
    auto* factory = new TrivexPropertySheetFactory(manager);
    manager->registerExtensions(factory, Q_TYPEID(QDesignerPropertySheetExtension));
    manager->registerExtensions(factory, Q_TYPEID(QDesignerDynamicPropertySheetExtension));
  }
}

namespace {

// Designer's own pictures of a form (the one dragged from the widget box, the
// preview) say nothing of a control they cannot create: the form does, once.
class QuietTrivex final : public Trivex {
 public:
  using Trivex::Trivex;

 protected:
  void Report(const QString&, const ole::Error&) override {}
};

}  // namespace

QWidget* TrivexDesigner::createWidget(QWidget* parent) {
  const bool design = core_ && QDesignerFormWindowInterface::findFormWindow(parent);
  if (!design) return core_ ? new QuietTrivex(parent) : new Trivex(parent);
  auto* widget = new Trivex(parent, Trivex::Mode::Design);
  // A refused edit: once Designer's own handling of it is over, the property
  // editor shows again what the control holds. An edit in place does not
  // take, so the editor builds its rows anew and keeps its scroll position.
  QDesignerFormEditorInterface* core = core_;
  QObject::connect(widget, &ole::ControlHost::PropertyRefused, widget, [core, widget] {
    QTimer::singleShot(0, widget, [core, widget] {
      QDesignerPropertyEditorInterface* editor = core->propertyEditor();
      if (!editor || editor->object() != widget) return;
      auto* view = editor->findChild<QTreeView*>();
      QScrollBar* bar = view ? view->verticalScrollBar() : nullptr;
      const int at = bar ? bar->value() : 0;
      editor->setObject(nullptr);
      editor->setObject(widget);
      if (bar) QTimer::singleShot(0, bar, [bar, at] { bar->setValue(at); });
    });
  });
  // The control's change notification marks the form as changed.
  QObject::connect(widget, &ole::ControlHost::PropertyChanged, widget, [widget] {
    if (QDesignerFormWindowInterface* form = QDesignerFormWindowInterface::findFormWindow(widget))
      form->setDirty(true);
  });
  return widget;
}

TrivexWidgets::TrivexWidgets(QObject* parent) : QObject(parent) {
  widgets_ << new TrivexDesigner(this);
}

// ---------------------------------------------------------------------------
// The property sheet

TrivexPropertySheet::TrivexPropertySheet(Trivex* widget, QObject* designerSheet, QObject* parent)
    : QObject(parent),
      widget_(widget),
      sheet_(qobject_cast<QDesignerPropertySheetExtension*>(designerSheet)),
      dynamic_(qobject_cast<QDesignerDynamicPropertySheetExtension*>(designerSheet)) {}

bool TrivexPropertySheet::Stored(int index) const {
  return widget_ && index >= 0 && Trivex::StoredProperties().contains(propertyName(index));
}

// The control has no reset of its own: a value goes back by being set.
bool TrivexPropertySheet::hasReset(int index) const { return !Stored(index) && sheet_->hasReset(index); }
bool TrivexPropertySheet::reset(int index) { return !Stored(index) && sheet_->reset(index); }

bool TrivexPropertySheet::isVisible(int index) const {
  const QString name = propertyName(index);
  if (name == QLatin1String("enabled") || name == QLatin1String("font")) return false;
  return sheet_->isVisible(index);
}

bool TrivexPropertySheet::isChanged(int index) const {
  if (!Stored(index)) return sheet_->isChanged(index);
  return widget_->SavedNames().contains(propertyName(index));
}

int TrivexPropertySheet::addDynamicProperty(const QString& name, const QVariant& value) {
  return canAddDynamicProperty(name) ? dynamic_->addDynamicProperty(name, value) : -1;
}

bool TrivexPropertySheet::removeDynamicProperty(int index) {
  return !Stored(index) && dynamic_ && dynamic_->removeDynamicProperty(index);
}

bool TrivexPropertySheet::isDynamicProperty(int index) const {
  if (Stored(index)) return isChanged(index);
  return dynamic_ && dynamic_->isDynamicProperty(index);
}

bool TrivexPropertySheet::canAddDynamicProperty(const QString& name) const {
  return dynamic_ && !Trivex::StoredProperties().contains(name) && dynamic_->canAddDynamicProperty(name);
}

QObject* TrivexPropertySheetFactory::createExtension(QObject* object, const QString& iid,
                                                     QObject* parent) const {
  auto* widget = qobject_cast<Trivex*>(object);
  if (!widget || lookingUp_ ||
      (iid != Q_TYPEID(QDesignerPropertySheetExtension) &&
       iid != Q_TYPEID(QDesignerDynamicPropertySheetExtension)))
    return nullptr;
  // The manager asks this factory again on the way: it answers nothing then.
  lookingUp_ = true;
  QObject* designerSheet = extensionManager()->extension(object, iid);
  lookingUp_ = false;
  if (!qobject_cast<QDesignerPropertySheetExtension*>(designerSheet)) return nullptr;
  return new TrivexPropertySheet(widget, designerSheet, parent);
}
