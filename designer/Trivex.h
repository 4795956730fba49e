#pragma once
// The Trivex record toolbar as a widget of a Qt form: what Qt Designer
// places, uic compiles and QUiLoader creates. It hosts the real control,
// created by its programmatic identifier at run time; nothing of the control
// library is linked.
//
// A form file stores the control's eight properties under their own names,
// as dynamic properties (stdset="0"), so that uic writes them through
// setProperty and the control loads them from its property bag:
//   <widget class="Trivex" name="Trivex1">
//    <property name="STATUS" stdset="0"><string notr="true"/></property>
//    <property name="HabilitaMenu" stdset="0"><bool>false</bool></property>
//   </widget>
// A program then uses the typed members below, and handles ButtonClick:
//   connect(ui.Trivex1, &Trivex::ButtonClick, this, &Form::Trivex1_ButtonClick);
//   ui.Trivex1->setSTATUS("A");
#include <QFont>

#include "platform/ole/host.h"
#include "toolbar/trivex_tlb.h"

class Trivex : public ole::ControlHost {
  Q_OBJECT
  // The stored properties, in the control's loading order. Their accessors
  // serve Qt's property system only (see ControlHost::Store); a program uses
  // the typed members or Object().
  Q_PROPERTY(int BackColor READ readBackColor WRITE writeBackColor)
  Q_PROPERTY(int ForeColor READ readForeColor WRITE writeForeColor)
  Q_PROPERTY(bool Enabled READ readEnabled WRITE writeEnabled)
  Q_PROPERTY(QFont Font READ readFont WRITE writeFont)
  Q_PROPERTY(int BackStyle READ readBackStyle WRITE writeBackStyle)
  Q_PROPERTY(int BorderStyle READ readBorderStyle WRITE writeBorderStyle)
  Q_PROPERTY(QString STATUS READ readSTATUS WRITE writeSTATUS)
  Q_PROPERTY(bool HabilitaMenu READ readHabilitaMenu WRITE writeHabilitaMenu)

 public:
  // A control at run time: what uic and QUiLoader create.
  explicit Trivex(QWidget* parent = nullptr);
  Trivex(QWidget* parent, Mode mode);

  // The names of the stored properties, in order.
  static const QStringList& StoredProperties();

  // By dispatch id, as a host binds them; each throws ole::Error on failure.
  QString STATUS();
  void setSTATUS(const QString& New_STATUS);
  bool HabilitaMenu();
  void setHabilitaMenu(bool New_HabilitaMenu);
  void Refresh();

 signals:
  // A click on one of the bar's buttons, by its Index (1 to 16). The bar
  // switches its button set only after the handlers have returned.
  void ButtonClick(int Index);

 protected:
  ole::HRESULT OnEvent(ole::DISPID eventId, const QVariantList& args) override;

 private:
  int readBackColor() const { return Stored(QStringLiteral("BackColor")).toInt(); }
  void writeBackColor(int v) { Store(QStringLiteral("BackColor"), qint32(v)); }
  int readForeColor() const { return Stored(QStringLiteral("ForeColor")).toInt(); }
  void writeForeColor(int v) { Store(QStringLiteral("ForeColor"), qint32(v)); }
  bool readEnabled() const { return Stored(QStringLiteral("Enabled")).toBool(); }
  void writeEnabled(bool v) { Store(QStringLiteral("Enabled"), v); }
  QFont readFont() const { return Stored(QStringLiteral("Font")).value<QFont>(); }
  void writeFont(const QFont& v) { Store(QStringLiteral("Font"), v); }
  int readBackStyle() const { return Stored(QStringLiteral("BackStyle")).toInt(); }
  void writeBackStyle(int v) { Store(QStringLiteral("BackStyle"), v); }
  int readBorderStyle() const { return Stored(QStringLiteral("BorderStyle")).toInt(); }
  void writeBorderStyle(int v) { Store(QStringLiteral("BorderStyle"), v); }
  QString readSTATUS() const { return Stored(QStringLiteral("STATUS")).toString(); }
  void writeSTATUS(const QString& v) { Store(QStringLiteral("STATUS"), v); }
  bool readHabilitaMenu() const { return Stored(QStringLiteral("HabilitaMenu")).toBool(); }
  void writeHabilitaMenu(bool v) { Store(QStringLiteral("HabilitaMenu"), v); }
};
