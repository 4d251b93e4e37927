// A system device enumerator that answers as a test chooses, for what the real
// one cannot be made to do: property bags that fail to bind, devices with
// either, both or neither name property, enumerators that fail.
//
//   comfake::Fakes fakes;
//   FakeDeviceEnumerator& devices = *fakes.make<FakeDeviceEnumerator>(fakes);
//   devices.add({L"Camera"});                           // FriendlyName only
//   comfake::ClassOverride use(CLSID_SystemDeviceEnum, devices.factory());
#pragma once

#include "com_fakes.h"

#include <dshow.h>

#include <optional>
#include <string>
#include <vector>

namespace fakedevices {

struct FakeDevice {
    FakeDevice(std::optional<std::wstring> friendlyName = std::nullopt,
               std::optional<std::wstring> description = std::nullopt, HRESULT bindToStorage = S_OK)
        : friendlyName(std::move(friendlyName)), description(std::move(description)), bindToStorage(bindToStorage)
    {
    }

    std::optional<std::wstring> friendlyName;
    std::optional<std::wstring> description;
    HRESULT bindToStorage; // failure code: the property bag cannot be had
    // A machine-wide device key a standard user may not write: a bind asking
    // for write access is refused with E_ACCESSDENIED.
    bool writeProtected = false;
};

class FakePropertyBag;

// Only BindToStorage matters to a device list; the rest of IMoniker is inert.
class FakeMoniker : public comfake::Object<IMoniker> {
public:
    FakeMoniker(comfake::Fakes& fakes, FakeDevice device);

    STDMETHODIMP BindToStorage(IBindCtx* context, IMoniker*, REFIID iid, void** out) override;

    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP BindToObject(IBindCtx*, IMoniker*, REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP Reduce(IBindCtx*, DWORD, IMoniker**, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP ComposeWith(IMoniker*, BOOL, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP Enum(BOOL, IEnumMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP IsEqual(IMoniker*) override { return S_FALSE; }
    STDMETHODIMP Hash(DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP IsRunning(IBindCtx*, IMoniker*, IMoniker*) override { return S_FALSE; }
    STDMETHODIMP GetTimeOfLastChange(IBindCtx*, IMoniker*, FILETIME*) override { return E_NOTIMPL; }
    STDMETHODIMP Inverse(IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP CommonPrefixWith(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP RelativePathTo(IMoniker*, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP ParseDisplayName(IBindCtx*, IMoniker*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP IsSystemMoniker(DWORD*) override { return E_NOTIMPL; }

    bool boundWithContext = false;
    // The storage mode of each bind's context (STGM_READWRITE, STGM_READ), in order.
    std::vector<DWORD> bindModes;
    // VARIANTs refused by Read: of type VT_BSTR with a string already in
    // them. A caller that leaves the string unset frees, after a failed read,
    // whatever the memory held (often the string read just before), and
    // Windows' heap does not forgive that.
    int refusedVariants() const;

private:
    FakeDevice device;
    FakePropertyBag* bag;
};

class FakeDeviceEnumerator : public comfake::Object<ICreateDevEnum> {
public:
    explicit FakeDeviceEnumerator(comfake::Fakes& fakes) : fakes(fakes) { setLabel("device enumerator"); }

    void add(FakeDevice device);
    // What CreateClassEnumerator answers (S_FALSE: no devices).
    HRESULT createClassEnumerator = S_OK;
    // Next fails with this code after the listed devices instead of ending.
    HRESULT nextAfterLast = S_FALSE;
    // The category asked for by the last CreateClassEnumerator.
    CLSID lastCategory = GUID_NULL;

    comfake::ClassOverride::Create factory();
    const std::vector<FakeMoniker*>& monikers() const { return devices; }

    STDMETHODIMP CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD flags) override;

private:
    comfake::Fakes& fakes;
    std::vector<FakeMoniker*> devices;
};

} // namespace fakedevices
