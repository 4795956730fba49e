#pragma once
// A widget that hosts one control: the container side of the component
// runtime packed into a QWidget, for forms built in code, by uic or by
// QUiLoader, and for Qt Designer.
//
// The host creates the control by its programmatic identifier as soon as it
// is constructed, gives it a site (ambient user mode, ambient font = the
// font of the widget the host sits in, property-changed notification, event
// delivery) and places the control's window inside itself, at the host's size.
//
// Saved state. uic and QUiLoader construct a widget and then write the
// form's saved values one by one through Qt's property system (Store). Until
// the host is first used or shown, those values are the control's saved
// state: each one becomes an entry of a property bag and the control is
// loaded again from the whole bag, so that it ends up exactly as one load of
// the form's entries leaves it (the control's own order and defaults, no
// notification, no design-mode rule). A host in design mode with no saved
// entry is a new instance and is initialised instead. From the first use
// (Control, Activate) or the first show on, Store is a property let or set
// through the control's accessors: it notifies, and the control may refuse it.
#include <QFont>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "platform/ole/ole.h"

namespace ole {

class ControlHost : public QWidget {
  Q_OBJECT
 public:
  // Run: the ambient user mode is True (a form at run time). Design: False
  // (a form being edited in a designer).
  enum class Mode { Run, Design };

  ControlHost(const QString& progId, Mode mode, QWidget* parent = nullptr);
  ~ControlHost() override;

  Mode HostMode() const { return mode_; }
  const QString& ProgId() const { return progId_; }

  // Ends the loading of saved state. Throws ole::Error when the control could
  // not be created (at every call), or once when its saved state could not be
  // loaded (the control keeps the entries it read before the failing one).
  void Activate();
  // The control, for calls by dispatch id; Activate first.
  Dispatcher Object();

  // The current value of a property by name, for Qt's property system: the
  // control's value (a font object as a QFont), or an empty QVariant when
  // there is no control. Never ends the loading.
  QVariant Stored(const QString& name) const;
  // Writes a property through Qt's property system (a QFont becomes a font
  // object): a saved entry while loading, a let or set afterwards. A value
  // equal to the current one is not written again. Failures are reported
  // (Report), never thrown: Qt's property system has no caller to tell.
  void Store(const QString& name, const QVariant& value);
  // The entries the control writes when its form is saved now: the
  // properties that differ from their defaults. While the control cannot be
  // created, the saved entries collected so far.
  QStringList SavedNames() const;

  QSize sizeHint() const override;

 signals:
  // The control's property-changed notification.
  void PropertyChanged(const QString& name);
  // A write through Store that the control refused; the old value stays.
  void PropertyRefused(const QString& name);

 protected:
  // An event raised by the control; returns once the handler has run.
  virtual HRESULT OnEvent(DISPID eventId, const QVariantList& args);
  // Reports a failure that has no caller to return to: in design mode a
  // message box in Portuguese, at run time the platform's error report.
  virtual void Report(const QString& what, const Error& error);

  bool event(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  class Site;
  void Reload();
  DispatchPtr AmbientFont();
  // Ends loading; the failure to report, if any, is returned once.
  std::unique_ptr<Error> EndLoading();

  const QString progId_;
  const Mode mode_;
  std::unique_ptr<Site> site_;
  std::shared_ptr<IOleControl> control_;
  PropertyBag saved_;   // entries written while loading
  bool loading_ = true;
  std::unique_ptr<Error> failure_;  // creation or loading failed
  bool failureReported_ = false;
  QSize extent_;        // the control's window at creation
  DispatchPtr ambient_;  // handed out while the container's font stays the same
  QFont ambientOf_;
};

// A font as Qt's property system stores it: every attribute a font object
// carries set explicitly, so that a form file writes them all.
QFont ResolvedFont(const QFont& font);

}  // namespace ole
