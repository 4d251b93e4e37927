#include "fake_device_enumerator.h"

#include <utility>

namespace fakedevices {

namespace {

DWORD modeOf(IBindCtx* context)
{
    BIND_OPTS options{};
    options.cbStruct = sizeof(options);
    if (context == nullptr || FAILED(context->GetBindOptions(&options)))
        return ~DWORD{0};
    return options.grfMode;
}

bool asksToWrite(DWORD mode)
{
    return (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
}

HRESULT toBstrVariant(const std::optional<std::wstring>& value, VARIANT* out)
{
    if (!value)
        return E_FAIL; // the device has no such property
    out->vt = VT_BSTR;
    out->bstrVal = SysAllocStringLen(value->data(), static_cast<UINT>(value->size()));
    return out->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
}

} // namespace

class FakePropertyBag : public comfake::Object<IPropertyBag> {
public:
    explicit FakePropertyBag(const FakeDevice& device) : device(device) { setLabel("property bag"); }

    STDMETHODIMP Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        if (value->vt == VT_BSTR && value->bstrVal != nullptr) {
            ++refused;
            return E_INVALIDARG;
        }
        const std::wstring property = name;
        if (property == L"FriendlyName")
            return toBstrVariant(device.friendlyName, value);
        if (property == L"Description")
            return toBstrVariant(device.description, value);
        return E_FAIL;
    }
    STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

    int refused = 0;

private:
    const FakeDevice& device;
};

FakeMoniker::FakeMoniker(comfake::Fakes& fakes, FakeDevice device)
    : device(std::move(device)), bag(fakes.make<FakePropertyBag>(this->device))
{
    setLabel("moniker");
}

STDMETHODIMP FakeMoniker::BindToStorage(IBindCtx* context, IMoniker*, REFIID iid, void** out)
{
    *out = nullptr;
    boundWithContext = context != nullptr;
    const DWORD mode = modeOf(context);
    bindModes.push_back(mode);
    if (FAILED(device.bindToStorage))
        return device.bindToStorage;
    if (device.writeProtected && asksToWrite(mode))
        return E_ACCESSDENIED;
    return bag->QueryInterface(iid, out);
}

int FakeMoniker::refusedVariants() const
{
    return bag->refused;
}

namespace {

class FakeEnumMoniker : public comfake::Object<IEnumMoniker> {
public:
    FakeEnumMoniker(std::vector<FakeMoniker*> devices, HRESULT afterLast)
        : devices(std::move(devices)), afterLast(afterLast)
    {
        setLabel("moniker enumerator");
    }

    STDMETHODIMP Next(ULONG count, IMoniker** out, ULONG* fetched) override
    {
        *fetched = 0;
        if (count != 1)
            return E_INVALIDARG;
        if (position == devices.size())
            return afterLast;
        out[0] = devices[position++];
        out[0]->AddRef();
        *fetched = 1;
        return S_OK;
    }
    STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
    STDMETHODIMP Reset() override
    {
        position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumMoniker**) override { return E_NOTIMPL; }

private:
    std::vector<FakeMoniker*> devices;
    HRESULT afterLast;
    size_t position = 0;
};

} // namespace

void FakeDeviceEnumerator::add(FakeDevice device)
{
    devices.push_back(fakes.make<FakeMoniker>(fakes, std::move(device)));
}

comfake::ClassOverride::Create FakeDeviceEnumerator::factory()
{
    return [this](REFIID iid, void** out) { return QueryInterface(iid, out); };
}

STDMETHODIMP FakeDeviceEnumerator::CreateClassEnumerator(REFCLSID category, IEnumMoniker** out, DWORD)
{
    *out = nullptr;
    lastCategory = category;
    if (createClassEnumerator != S_OK)
        return createClassEnumerator;
    auto* enumerator = fakes.make<FakeEnumMoniker>(devices, nextAfterLast);
    enumerator->AddRef();
    *out = enumerator;
    return S_OK;
}

} // namespace fakedevices
