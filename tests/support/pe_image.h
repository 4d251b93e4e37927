// Reads a PE file (PE32 or PE32+, whatever the architecture of the program
// reading it) from its bytes: headers, export names, imported DLLs and
// resources, without loading or running any of its code.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testsupport {

class PeImage {
public:
    // Reads the file; throws std::runtime_error when it cannot or when it is
    // not a PE image.
    explicit PeImage(const std::wstring& path);

    WORD machine() const { return fileHeader().Machine; }
    bool isPe32Plus() const;
    WORD subsystem() const;
    bool isDll() const { return (fileHeader().Characteristics & IMAGE_FILE_DLL) != 0; }
    bool isLargeAddressAware() const
    {
        return (fileHeader().Characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE) != 0;
    }
    std::vector<std::string> exportNames() const;
    std::vector<std::string> importedDlls() const;
    // Number of images in the icon group resource `id`, or -1 without one.
    int iconGroupImages(int id) const;
    bool hasResource(int type, int id) const;

private:
    const IMAGE_FILE_HEADER& fileHeader() const;
    IMAGE_DATA_DIRECTORY directory(int entry) const;
    // The bytes at a relative virtual address, `size` of them within one section.
    const BYTE* at(DWORD rva, DWORD size = 1) const;
    template <typename T>
    const T& read(DWORD rva) const
    {
        return *reinterpret_cast<const T*>(at(rva, sizeof(T)));
    }
    std::string stringAt(DWORD rva) const;
    const IMAGE_RESOURCE_DATA_ENTRY* resource(int type, int id) const;

    std::vector<BYTE> bytes;
    DWORD ntOffset = 0;
};

// Windows DLLs a deliverable may import: those every Windows installation has.
bool isWindowsSystemDll(const std::string& name);

} // namespace testsupport
