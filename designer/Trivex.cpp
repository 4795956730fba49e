#include "designer/Trivex.h"

Trivex::Trivex(QWidget* parent) : Trivex(parent, Mode::Run) {}

Trivex::Trivex(QWidget* parent, Mode mode) : ControlHost(trivex::kProgId, mode, parent) {
  setFocusPolicy(Qt::NoFocus);
}

const QStringList& Trivex::StoredProperties() {
  static const QStringList names = {"BackColor", "ForeColor", "Enabled",  "Font",
                                    "BackStyle", "BorderStyle", "STATUS", "HabilitaMenu"};
  return names;
}

QString Trivex::STATUS() { return Object().Get(trivex::DISPID_STATUS).toString(); }
void Trivex::setSTATUS(const QString& New_STATUS) { Object().Let(trivex::DISPID_STATUS, New_STATUS); }
bool Trivex::HabilitaMenu() { return Object().Get(trivex::DISPID_HabilitaMenu).toBool(); }
void Trivex::setHabilitaMenu(bool New_HabilitaMenu) {
  Object().Let(trivex::DISPID_HabilitaMenu, New_HabilitaMenu);
}
void Trivex::Refresh() { Object().Call(trivex::DISPID_Refresh); }

ole::HRESULT Trivex::OnEvent(ole::DISPID eventId, const QVariantList& args) {
  if (eventId != trivex::EVENT_ButtonClick) return ole::S_OK;
  int index = 0;
  try {
    index = ole::Dispatcher(ole::ToObject(args.value(0))).Get(QStringLiteral("Index")).toInt();
  } catch (const ole::Error& e) {
    Report(QStringLiteral("O evento ButtonClick não trouxe o botão clicado."), e);
    return e.Hr();
  }
  emit ButtonClick(index);
  return ole::S_OK;
}
