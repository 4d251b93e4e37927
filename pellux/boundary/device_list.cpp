#include "boundary/device_list.h"

#include "boundary/com_exception.h"
#include "boundary/com_types.h"
#include "boundary/text.h"

#include <utility>

using Microsoft::WRL::ComPtr;

namespace pellux {
namespace {

constexpr DWORD kBindDeadlineMs = 1500;

// Reads a string property; false when the device has no such property.
bool readProperty(IPropertyBag& bag, const wchar_t* property, std::string& value)
{
    // The string stays null until a read succeeds: a failed read leaves the
    // VARIANT as it was and hands nothing over to be freed.
    Variant variant(VT_BSTR);
    if (FAILED(bag.Read(property, variant.get(), nullptr))) {
        variant.discard();
        return false;
    }
    value.clear();
    if (variant->vt == VT_BSTR)
        convertWideString(variant->bstrVal, value);
    return true;
}

// "Description", else "FriendlyName", else "No Description".
std::string displayName(IPropertyBag& bag)
{
    std::string name;
    if (!readProperty(bag, L"Description", name) && !readProperty(bag, L"FriendlyName", name))
        name = "No Description";
    return name;
}

ComPtr<IBindCtx> createBindContext(DWORD mode)
{
    ComPtr<IBindCtx> bindContext;
    throwIfFailed(CreateBindCtx(0, &bindContext), "Failed to create bind context.");
    BIND_OPTS options{};
    options.cbStruct = sizeof(options);
    options.grfFlags = 0;
    options.grfMode = mode;
    options.dwTickCountDeadline = kBindDeadlineMs;
    throwIfFailed(bindContext->SetBindOptions(&options), "Failed to set bind context options.");
    return bindContext;
}

bool isAccessDenied(HRESULT hresult)
{
    return hresult == E_ACCESSDENIED || hresult == STG_E_ACCESSDENIED;
}

// The device's property bag. A standard user may not open a machine-wide
// device key for writing, and the list only reads: a bind refused for access
// is tried again read-only.
ComPtr<IPropertyBag> bindPropertyBag(IMoniker& moniker, IBindCtx& bindContext)
{
    ComPtr<IPropertyBag> bag;
    HRESULT bound = moniker.BindToStorage(&bindContext, nullptr, IID_PPV_ARGS(&bag));
    if (isAccessDenied(bound))
        bound = moniker.BindToStorage(createBindContext(STGM_READ).Get(), nullptr, IID_PPV_ARGS(&bag));
    throwIfFailed(bound, "Failed to bind device moniker to storage");
    return bag;
}

} // namespace

DeviceList::DeviceList(const GUID& category) : category(category) {}

DeviceList::~DeviceList()
{
    clear();
    category = GUID_NULL;
}

void DeviceList::clear() noexcept
{
    monikers.clear();
    names.clear();
}

void DeviceList::append(std::string name, ComPtr<IMoniker> moniker)
{
    // Reserve both first so that the two lists always grow together.
    names.reserve(names.size() + 1);
    monikers.reserve(monikers.size() + 1);
    names.push_back(std::move(name));
    monikers.push_back(std::move(moniker));
}

void DeviceList::load()
{
    clear();
    reportingOutOfMemory([this] { enumerate(); });
}

void DeviceList::enumerate()
{
    // Declared in creation order, so they are released newest first on every path.
    ComPtr<ICreateDevEnum> deviceEnumerator;
    throwIfFailed(
        CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&deviceEnumerator)),
        "CoCreateInstance failed - couldn't create device enumerator factory.");

    ComPtr<IEnumMoniker> monikerEnumerator;
    const HRESULT enumerated = deviceEnumerator->CreateClassEnumerator(category, &monikerEnumerator, 0);
    throwIfFailed(enumerated, "Couldn't create video input device enumerator.");
    if (enumerated != S_OK)
        return; // S_FALSE: the category has no devices

    const ComPtr<IBindCtx> bindContext = createBindContext(STGM_READWRITE);

    ComPtr<IMoniker> moniker;
    ULONG fetched = 0;
    HRESULT next = monikerEnumerator->Next(1, &moniker, &fetched);
    while (SUCCEEDED(next) && fetched > 0) {
        const ComPtr<IPropertyBag> bag = bindPropertyBag(*moniker.Get(), *bindContext.Get());
        append(displayName(*bag.Get()), std::move(moniker));
        fetched = 0;
        next = monikerEnumerator->Next(1, moniker.ReleaseAndGetAddressOf(), &fetched);
    }
    throwIfFailed(next, "Failed to get next device moniker.");
}

} // namespace pellux
