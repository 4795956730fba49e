#pragma once
// The Trivex control: a record toolbar of sixteen entries that reports every
// click to its host (ButtonClick) and then switches between its browsing and
// editing button sets, plus eight stored properties saved in the host's bag.
#include <QAction>
#include <QPointer>
#include <atomic>
#include <memory>
#include <vector>

#include "platform/ole/server.h"
#include "toolbar/trivex_tlb.h"

class QToolBar;
class QWidget;

namespace trivex {

using ole::HRESULT;

extern const ole::InterfaceInfo k_Trivex;   // default interface
extern const ole::InterfaceInfo k__Trivex;  // event interface
extern const ole::InterfaceInfo kButton;    // the clicked button object
// Objects of the library still alive: controls, their windows, button
// objects and class factories. The library may be unloaded only at zero.
extern std::atomic<int> gLiveObjects;

// A member that counts its owner among the live objects.
struct LiveObject {
  LiveObject() { ++gLiveObjects; }
  LiveObject(const LiveObject&) { ++gLiveObjects; }
  LiveObject& operator=(const LiveObject&) = default;
  ~LiveObject() { --gLiveObjects; }
};

// An entry of the inner toolbar's Buttons collection.
class Button final : public ole::IDispatch {
 public:
  Button(qint16 index, QString key, int image, QAction* action)
      : index_(index), key_(std::move(key)), image_(image), action_(action) {}
  qint16 Index() const { return index_; }
  const QString& Key() const { return key_; }
  QAction* Action() const { return action_; }
  HRESULT SetEnabled(bool enabled);

  ole::HRESULT GetIDOfName(const QString& name, ole::DISPID* id) const override;
  ole::HRESULT Invoke(ole::DISPID id, ole::InvokeKind kind, const QVariantList& args,
                      QVariant* result, QString* errorDescription) override;

 private:
  qint16 index_;
  QString key_;
  int image_;  // picture number in ImageList1; 0 for a separator
  QPointer<QAction> action_;
  LiveObject live_;
};

class Trivex final : public ole::IOleControl, public std::enable_shared_from_this<Trivex> {
 public:
  Trivex();
  ~Trivex() override;

  ole::HRESULT GetIDOfName(const QString& name, ole::DISPID* id) const override;
  ole::HRESULT Invoke(ole::DISPID id, ole::InvokeKind kind, const QVariantList& args,
                      QVariant* result, QString* errorDescription) override;
  ole::HRESULT SetClientSite(ole::IControlSite* site) override;
  ole::HRESULT InitNew(QString* errorDescription) override;
  ole::HRESULT Load(ole::IPropertyBag* bag, QString* errorDescription) override;
  ole::HRESULT Save(ole::IPropertyBag* bag, QString* errorDescription) override;
  ole::HRESULT InPlaceActivate(QWidget* parent, const QRect& geometry) override;
  QWidget* Window() const override;

 private:
  // The inner toolbar's click notification: the only place the bar changes.
  void Trivex_ButtonClick(const std::shared_ptr<Button>& Button);
  // Looks an entry up by Index in the inner toolbar as it is now.
  HRESULT Buttons(qint16 index, std::shared_ptr<Button>* button, QString* why) const;
  // Sets the Enabled flag of each entry in turn; stops at the first failure.
  HRESULT Assign(std::initializer_list<std::pair<qint16, bool>> assignments, QString* why);
  HRESULT PropertyChanged(const char* name, QString* why);
  HRESULT AmbientFont(ole::DispatchPtr* font, QString* why);

  LiveObject live_;
  ole::IControlSite* site_ = nullptr;
  QPointer<QWidget> UserControl;
  QPointer<QToolBar> Trivex_;  // the inner toolbar, named "Trivex"
  std::vector<std::shared_ptr<Button>> buttons_;

  qint32 m_BackColor = 0;
  qint32 m_ForeColor = 0;
  bool m_Enabled = false;
  ole::DispatchPtr m_Font;
  qint16 m_BackStyle = 0;
  qint16 m_BorderStyle = 0;
  QString m_STATUS = QStringLiteral("N");
  bool m_HabilitaMenu = true;
};

}  // namespace trivex
