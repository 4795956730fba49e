// A minimal control library for the runtime's own tests. Built twice: with
// the OLESelfRegister entry (OleFixture.Thing) and without it.
#include "platform/ole/server.h"

#include <QRect>
#include <atomic>

namespace {

std::atomic<int> live{0};

const ole::InterfaceInfo kThing = {
    "_Thing", ole::kDual, {{"Value", 1, ole::Kinds(ole::InvokeKind::PropertyGet), "Long", "", 0, {}}}};

class Thing final : public ole::IOleControl {
 public:
  Thing() { ++live; }
  ~Thing() override { --live; }
  ole::HRESULT GetIDOfName(const QString& name, ole::DISPID* id) const override {
    return kThing.GetIDOfName(name, id);
  }
  ole::HRESULT Invoke(ole::DISPID id, ole::InvokeKind kind, const QVariantList&, QVariant* result,
                      QString* why) override {
    if (ole::HRESULT hr = kThing.CheckInvoke(id, kind, why); ole::Failed(hr)) return hr;
    if (result) *result = qint32(42);
    return ole::S_OK;
  }
  ole::HRESULT SetClientSite(ole::IControlSite*) override { return ole::S_OK; }
  ole::HRESULT InitNew(QString*) override { return ole::S_OK; }
  ole::HRESULT Load(ole::IPropertyBag*, QString*) override { return ole::S_OK; }
  ole::HRESULT Save(ole::IPropertyBag*, QString*) override { return ole::S_OK; }
  ole::HRESULT InPlaceActivate(QWidget*, const QRect&) override { return ole::E_NOTIMPL; }
  QWidget* Window() const override { return nullptr; }
};

const ole::ServerDescriptor kServer = {
    "OleFixture", "Ole Fixture", 1, 2,
    {{"Thing", "OleFixture.Thing", true, "Apartment", 0x20191, 30000, "", &kThing, nullptr,
      [] { return std::shared_ptr<ole::IOleControl>(std::make_shared<Thing>()); }}},
    [] { return live.load(); }};

}  // namespace

#if FIXTURE_SELF_REGISTERING
OLE_VERSION_INFO("FileVersion=1.00\0OriginalFilename=fixture.ocx\0OLESelfRegister=\0");
#else
OLE_VERSION_INFO("FileVersion=1.00\0OriginalFilename=noselfreg.ocx\0");
#endif

extern "C" {
OLE_EXPORT ole::HRESULT DllRegisterServer() {
  return ole::RegisterServerImpl(kServer, ole::ModulePathOf(&kServer));
}
OLE_EXPORT ole::HRESULT DllUnregisterServer() { return ole::UnregisterServerImpl(kServer); }
OLE_EXPORT ole::HRESULT DllGetClassObject(const char* classId,
                                          std::shared_ptr<ole::IClassFactory>* factory) {
  return ole::GetClassObjectImpl(kServer, classId, factory);
}
OLE_EXPORT ole::HRESULT DllCanUnloadNow() { return ole::CanUnloadNowImpl(kServer); }
}
