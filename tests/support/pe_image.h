// Reads a PE file's headers, export names, imported DLLs and resources
// without running any of its code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

class PeImage {
public:
    // Maps the file as an image (no DllMain, no imports resolved); throws
    // std::runtime_error when it cannot.
    explicit PeImage(const std::wstring& path);
    ~PeImage();
    PeImage(const PeImage&) = delete;
    PeImage& operator=(const PeImage&) = delete;

    WORD machine() const;
    WORD subsystem() const;
    bool isDll() const;
    std::vector<std::string> exportNames() const;
    std::vector<std::string> importedDlls() const;
    // Number of images in the icon group resource `id`, or -1 without one.
    int iconGroupImages(int id) const;

    HMODULE module() const { return image; }

private:
    const IMAGE_NT_HEADERS32& headers() const;
    const IMAGE_DATA_DIRECTORY& directory(int entry) const;
    template <typename T>
    const T* at(DWORD rva) const
    {
        return reinterpret_cast<const T*>(base + rva);
    }

    HMODULE image = nullptr;
    const BYTE* base = nullptr;
    HMODULE resources = nullptr;
};

// Windows DLLs a deliverable may import: those every Windows installation has.
bool isWindowsSystemDll(const std::string& name);

} // namespace testsupport
