// The devices of one DirectShow device category: display names and monikers,
// in the order the system device enumerator lists them.
#pragma once

#include <dshow.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace pellux {

class DeviceList {
public:
    explicit DeviceList(const GUID& category);
    ~DeviceList();
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    // Empties the list, then fills it from the system device enumerator. A
    // failed step throws COMException, exhausted memory included; the devices
    // appended before it stay.
    void load();
    // Releases every moniker and empties both lists.
    void clear() noexcept;

    int getCount() const noexcept { return static_cast<int>(names.size()); }
    const std::string& getName(int index) const { return names.at(static_cast<size_t>(index)); }
    // The list keeps ownership: no reference is added.
    IMoniker* getMoniker(int index) const { return monikers.at(static_cast<size_t>(index)).Get(); }
    GUID getCategory() const noexcept { return category; }
    bool isValidIndex(int index) const noexcept { return index >= 0 && index < getCount(); }

private:
    void enumerate();
    void append(std::string name, Microsoft::WRL::ComPtr<IMoniker> moniker);

    GUID category;
    std::vector<std::string> names;
    std::vector<Microsoft::WRL::ComPtr<IMoniker>> monikers;
};

} // namespace pellux
