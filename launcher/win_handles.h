// Owners for the Win32 handles the launcher opens: each is closed on every path.
#ifndef TAVRIN_LAUNCHER_WIN_HANDLES_H
#define TAVRIN_LAUNCHER_WIN_HANDLES_H

#include <windows.h>

namespace launcher {

// An open registry key.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() { reset(); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    HKEY get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
    // For a call's out-parameter: an open key is closed first.
    HKEY* put()
    {
        reset();
        return &key_;
    }
    void reset()
    {
        if (key_)
            RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

// A FindFirstFile listing.
class FileSearch {
public:
    explicit FileSearch(HANDLE search) : search_(search) {}
    ~FileSearch()
    {
        if (search_ != INVALID_HANDLE_VALUE)
            FindClose(search_);
    }
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;

    HANDLE get() const { return search_; }
    explicit operator bool() const { return search_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE search_;
};

} // namespace launcher

#endif
