#pragma once
// Qt Designer's view of the Trivex control: the widget box entry, the
// widgets Designer creates, and the property sheet that decides what a form
// file stores.
//
// Inside a form being edited the widget hosts the control in design mode
// (ambient UserMode False). Everywhere else, Designer's preview, QUiLoader
// loading this plugin, it hosts it in run mode.
#include <QtUiPlugin/QDesignerCustomWidgetCollectionInterface>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <QtDesigner/QDesignerDynamicPropertySheetExtension>
#include <QtDesigner/QDesignerPropertySheetExtension>
#include <QtDesigner/QExtensionFactory>
#include <QIcon>
#include <QPointer>
#include <QVariant>

class Trivex;
class QDesignerFormEditorInterface;

class TrivexDesigner : public QObject, public QDesignerCustomWidgetInterface {
  Q_OBJECT
  Q_INTERFACES(QDesignerCustomWidgetInterface)
 public:
  using QObject::QObject;

  QString name() const override;
  QString group() const override;
  QString toolTip() const override;
  QString whatsThis() const override;
  QString includeFile() const override;
  QIcon icon() const override;
  bool isContainer() const override { return false; }
  QWidget* createWidget(QWidget* parent) override;
  bool isInitialized() const override { return initialized_; }
  void initialize(QDesignerFormEditorInterface* core) override;
  QString domXml() const override;

 private:
  QDesignerFormEditorInterface* core_ = nullptr;
  bool initialized_ = false;
  mutable QIcon icon_;
};

// The plugin's collection: the one control of the library.
class TrivexWidgets : public QObject, public QDesignerCustomWidgetCollectionInterface {
  Q_OBJECT
  Q_INTERFACES(QDesignerCustomWidgetCollectionInterface)
 public:
  explicit TrivexWidgets(QObject* parent = nullptr);
  QList<QDesignerCustomWidgetInterface*> customWidgets() const override { return widgets_; }

 private:
  QList<QDesignerCustomWidgetInterface*> widgets_;
};

// Designer's own property sheet of a Trivex widget, with the control
// deciding what the form file stores: exactly the entries the control's
// saving writes (the properties that differ from their defaults), each as a
// dynamic property so that uic sets it by name ("Enabled" and "Font" would
// otherwise become QWidget::setEnabled and QWidget::setFont). The widget's
// own "enabled" and "font" are hidden: the control's properties take their
// place, as they do in the control's property browser.
class TrivexPropertySheet : public QObject,
                            public QDesignerPropertySheetExtension,
                            public QDesignerDynamicPropertySheetExtension {
  Q_OBJECT
  Q_INTERFACES(QDesignerPropertySheetExtension QDesignerDynamicPropertySheetExtension)
 public:
  TrivexPropertySheet(Trivex* widget, QObject* designerSheet, QObject* parent);

  int count() const override { return sheet_->count(); }
  int indexOf(const QString& name) const override { return sheet_->indexOf(name); }
  QString propertyName(int index) const override { return sheet_->propertyName(index); }
  QString propertyGroup(int index) const override { return sheet_->propertyGroup(index); }
  void setPropertyGroup(int index, const QString& group) override { sheet_->setPropertyGroup(index, group); }
  bool hasReset(int index) const override;
  bool reset(int index) override;
  bool isVisible(int index) const override;
  void setVisible(int index, bool visible) override { sheet_->setVisible(index, visible); }
  bool isAttribute(int index) const override { return sheet_->isAttribute(index); }
  void setAttribute(int index, bool attribute) override { sheet_->setAttribute(index, attribute); }
  QVariant property(int index) const override { return sheet_->property(index); }
  void setProperty(int index, const QVariant& value) override { sheet_->setProperty(index, value); }
  bool isChanged(int index) const override;
  void setChanged(int index, bool changed) override { sheet_->setChanged(index, changed); }
  bool isEnabled(int index) const override { return sheet_->isEnabled(index); }

  bool dynamicPropertiesAllowed() const override { return dynamic_ && dynamic_->dynamicPropertiesAllowed(); }
  int addDynamicProperty(const QString& name, const QVariant& value) override;
  bool removeDynamicProperty(int index) override;
  bool isDynamicProperty(int index) const override;
  bool canAddDynamicProperty(const QString& name) const override;

 private:
  bool Stored(int index) const;  // one of the control's stored properties
  QPointer<Trivex> widget_;
  QDesignerPropertySheetExtension* sheet_;
  QDesignerDynamicPropertySheetExtension* dynamic_;
};

// Hands Designer a TrivexPropertySheet for each Trivex widget, built over the
// sheet Designer would have used.
class TrivexPropertySheetFactory : public QExtensionFactory {
  Q_OBJECT
 public:
  using QExtensionFactory::QExtensionFactory;

 protected:
  QObject* createExtension(QObject* object, const QString& iid, QObject* parent) const override;

 private:
  mutable bool lookingUp_ = false;  // asking the manager for Designer's own sheet
};
