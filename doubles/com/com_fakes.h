// A kit for fake COM objects in tests.
//
//   comfake::Fakes fakes;                       // owns every fake it makes
//   auto* device = fakes.make<FakeFilter>(...); // a class deriving comfake::Object<IBaseFilter, ...>
//   ... hand `device` to the code under test ...
//   EXPECT_THAT(fakes.unbalanced(), ::testing::IsEmpty());
//
// A fake starts with no references and is never deleted by Release: the Fakes
// that made it deletes it. So a test can hand it out, let the code under test
// AddRef and Release it, and then assert that every count came back to 0
// (an over-release shows as a negative count instead of freed memory).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace comfake {

// What every fake shares, whatever its interfaces.
class Tracked {
public:
    virtual ~Tracked() = default;
    LONG references() const noexcept { return count.load(); }
    const std::string& label() const noexcept { return name; }
    void setLabel(std::string text) { name = std::move(text); }

protected:
    ULONG addReference() noexcept { return static_cast<ULONG>(++count); }
    ULONG releaseReference() noexcept { return static_cast<ULONG>(--count); }

private:
    std::atomic<LONG> count{0};
    std::string name = "fake";
};

// IUnknown for a fake implementing `Interfaces` (the first one also answers
// IUnknown). A derived class may answer further interfaces, or refuse listed
// ones, by overriding queryInterface.
template <typename First, typename... Rest>
class Object : public First, public Rest..., public Tracked {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (!queryInterface(iid, out))
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return addReference(); }
    STDMETHODIMP_(ULONG) Release() override { return releaseReference(); }

protected:
    // Stores the interface for `iid` without adding a reference; false when
    // the object has none.
    virtual bool queryInterface(REFIID iid, void** out)
    {
        if (iid == IID_IUnknown) {
            *out = static_cast<IUnknown*>(static_cast<First*>(this));
            return true;
        }
        return findListed<First, Rest...>(iid, out);
    }

private:
    template <typename I, typename... Others>
    bool findListed(REFIID iid, void** out)
    {
        if (iid == __uuidof(I)) {
            *out = static_cast<I*>(this);
            return true;
        }
        if constexpr (sizeof...(Others) > 0)
            return findListed<Others...>(iid, out);
        return false;
    }
};

// Owns fakes and tells which ones still hold references.
class Fakes {
public:
    Fakes() = default;
    Fakes(const Fakes&) = delete;
    Fakes& operator=(const Fakes&) = delete;

    template <typename T, typename... Args>
    T* make(Args&&... args)
    {
        auto object = std::make_unique<T>(std::forward<Args>(args)...);
        T* raw = object.get();
        objects.push_back(std::move(object));
        return raw;
    }

    // "label: N references" for every fake whose count is not 0.
    std::vector<std::string> unbalanced() const;

private:
    std::vector<std::unique_ptr<Tracked>> objects;
};

// While alive, CoCreateInstance of `clsid` in this process reaches `create`
// (registered with CoRegisterClassObject, CLSCTX_INPROC_SERVER,
// REGCLS_MULTIPLEUSE). COM must be initialised on the constructing thread.
class ClassOverride {
public:
    using Create = std::function<HRESULT(REFIID iid, void** out)>;
    ClassOverride(REFCLSID clsid, Create create);
    ~ClassOverride();
    ClassOverride(const ClassOverride&) = delete;
    ClassOverride& operator=(const ClassOverride&) = delete;

    // How many objects the factory was asked for.
    int creations() const noexcept;

private:
    class Factory;
    std::unique_ptr<Factory> factory;
    DWORD cookie = 0;
};

// A device of a DirectShow device category in the registry, as the system
// device enumerator lists it: HKCR\CLSID\{category}\Instance\<key> with
// "FriendlyName", optionally "Description", and "CLSID" (the filter class that
// binding the device's moniker creates). Removed again on destruction.
// Values are written with RegSetValueExW, so names outside ASCII survive.
struct DeviceEntry {
    std::wstring key; // instance key name; devices are listed in key order
    std::wstring friendlyName;
    std::wstring description; // written only when hasDescription
    bool hasDescription = false;
    bool hasFriendlyName = true;
    CLSID filterClass = GUID_NULL;
};

class RegisteredDevice {
public:
    RegisteredDevice(REFGUID category, DeviceEntry entry);
    ~RegisteredDevice();
    RegisteredDevice(const RegisteredDevice&) = delete;
    RegisteredDevice& operator=(const RegisteredDevice&) = delete;

private:
    std::wstring path;
};

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
std::wstring guidText(REFGUID guid);

} // namespace comfake
