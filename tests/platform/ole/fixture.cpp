// A minimal control library for the runtime's own tests. Built twice: with
// the OLESelfRegister entry (OleFixture.Thing) and without it.
#include "platform/ole/server.h"

#include <atomic>

using namespace ole;

namespace {

std::atomic<int> live{0};

const InterfaceInfo kThing = {
    "_Thing", kDual, {{"Value", 1, Kinds(InvokeKind::PropertyGet), "Long", "", 0, {}}}};

class Thing final : public IOleControl {
 public:
  Thing() { ++live; }
  ~Thing() override { --live; }
  HRESULT GetIDOfName(const QString& name, DISPID* id) const override {
    return kThing.GetIDOfName(name, id);
  }
  HRESULT Invoke(DISPID id, InvokeKind kind, const QVariantList&, QVariant* result,
                 QString* why) override {
    if (HRESULT hr = kThing.CheckInvoke(id, kind, why); Failed(hr)) return hr;
    if (result) *result = qint32(42);
    return S_OK;
  }
  HRESULT SetClientSite(IControlSite*) override { return S_OK; }
  HRESULT InitNew(QString*) override { return S_OK; }
  HRESULT Load(IPropertyBag*, QString*) override { return S_OK; }
  HRESULT Save(IPropertyBag*, QString*) override { return S_OK; }
  HRESULT InPlaceActivate(QWidget*, const QRect&) override { return E_NOTIMPL; }
  QWidget* Window() const override { return nullptr; }
};

const ServerDescriptor kServer = {
    "OleFixture", "Ole Fixture", 1, 2,
    {{"Thing", "OleFixture.Thing", true, "Apartment", 0x20191, 30000, "", &kThing, nullptr,
      [] { return std::shared_ptr<IOleControl>(std::make_shared<Thing>()); }}},
    [] { return live.load(); }};

}  // namespace

#if FIXTURE_SELF_REGISTERING
OLE_VERSION_INFO("FileVersion=1.00\0OriginalFilename=fixture.ocx\0OLESelfRegister=\0");
#else
OLE_VERSION_INFO("FileVersion=1.00\0OriginalFilename=noselfreg.ocx\0");
#endif

extern "C" {
OLE_EXPORT HRESULT DllRegisterServer() { return RegisterServerImpl(kServer, ModulePathOf(&kServer)); }
OLE_EXPORT HRESULT DllUnregisterServer() { return UnregisterServerImpl(kServer); }
OLE_EXPORT HRESULT DllGetClassObject(const char* classId, std::shared_ptr<IClassFactory>* factory) {
  return GetClassObjectImpl(kServer, classId, factory);
}
OLE_EXPORT HRESULT DllCanUnloadNow() { return CanUnloadNowImpl(kServer); }
}
