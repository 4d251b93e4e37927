#include "com_fakes.h"

#include <objbase.h>

#include <stdexcept>

namespace comfake {

std::vector<std::string> Fakes::unbalanced() const
{
    std::vector<std::string> found;
    for (const auto& object : objects) {
        if (object->references() != 0)
            found.push_back(object->label() + ": " + std::to_string(object->references()) + " references");
    }
    return found;
}

class ClassOverride::Factory : public Object<IClassFactory> {
public:
    explicit Factory(Create create) : create(std::move(create)) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        ++count;
        return create(iid, out);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    int creations() const noexcept { return count.load(); }

private:
    Create create;
    std::atomic<int> count{0};
};

ClassOverride::ClassOverride(REFCLSID clsid, Create create) : factory(std::make_unique<Factory>(std::move(create)))
{
    const HRESULT hr = CoRegisterClassObject(clsid, static_cast<IClassFactory*>(factory.get()), CLSCTX_INPROC_SERVER,
                                             REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr))
        throw std::runtime_error("CoRegisterClassObject failed");
}

ClassOverride::~ClassOverride()
{
    CoRevokeClassObject(cookie);
}

int ClassOverride::creations() const noexcept
{
    return factory->creations();
}

std::wstring guidText(REFGUID guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

namespace {

void setString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    if (RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes) != ERROR_SUCCESS)
        throw std::runtime_error("RegSetValueExW failed");
}

} // namespace

RegisteredDevice::RegisteredDevice(REFGUID category, DeviceEntry entry)
    : path(L"CLSID\\" + guidText(category) + L"\\Instance\\" + entry.key)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        throw std::runtime_error("RegCreateKeyExW failed");
    try {
        if (entry.hasFriendlyName)
            setString(key, L"FriendlyName", entry.friendlyName);
        if (entry.hasDescription)
            setString(key, L"Description", entry.description);
        setString(key, L"CLSID", guidText(entry.filterClass));
    } catch (...) {
        RegCloseKey(key);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
        throw;
    }
    RegCloseKey(key);
}

RegisteredDevice::~RegisteredDevice()
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
}

} // namespace comfake
