#include "pe_image.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace testsupport {
namespace {

// LOAD_LIBRARY_AS_IMAGE_RESOURCE maps at an address with the low bits set.
const BYTE* imageBase(HMODULE module)
{
    return reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~ULONG_PTR(3));
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

#pragma pack(push, 2)
struct IconDirectoryEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconDirectory {
    WORD reserved, type, count;
    IconDirectoryEntry entries[1];
};
#pragma pack(pop)

} // namespace

PeImage::PeImage(const std::wstring& path)
{
    image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr)
        throw std::runtime_error("cannot map the image");
    base = imageBase(image);
    if (reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_magic != IMAGE_DOS_SIGNATURE ||
        headers().Signature != IMAGE_NT_SIGNATURE)
        throw std::runtime_error("not a PE image");
}

PeImage::~PeImage()
{
    FreeLibrary(image);
}

const IMAGE_NT_HEADERS32& PeImage::headers() const
{
    return *at<IMAGE_NT_HEADERS32>(reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
}

const IMAGE_DATA_DIRECTORY& PeImage::directory(int entry) const
{
    return headers().OptionalHeader.DataDirectory[entry];
}

WORD PeImage::machine() const
{
    return headers().FileHeader.Machine;
}
WORD PeImage::subsystem() const
{
    return headers().OptionalHeader.Subsystem;
}
bool PeImage::isDll() const
{
    return (headers().FileHeader.Characteristics & IMAGE_FILE_DLL) != 0;
}

std::vector<std::string> PeImage::exportNames() const
{
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY& entry = directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (entry.VirtualAddress == 0)
        return names;
    const auto* exports = at<IMAGE_EXPORT_DIRECTORY>(entry.VirtualAddress);
    const auto* nameRvas = at<DWORD>(exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.emplace_back(at<char>(nameRvas[i]));
    return names;
}

std::vector<std::string> PeImage::importedDlls() const
{
    std::vector<std::string> dlls;
    const IMAGE_DATA_DIRECTORY& entry = directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (entry.VirtualAddress == 0)
        return dlls;
    for (const auto* import = at<IMAGE_IMPORT_DESCRIPTOR>(entry.VirtualAddress); import->Name != 0; ++import)
        dlls.emplace_back(at<char>(import->Name));
    return dlls;
}

int PeImage::iconGroupImages(int id) const
{
    HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */);
    if (found == nullptr)
        return -1;
    const auto* group = static_cast<const IconDirectory*>(LockResource(LoadResource(image, found)));
    return group == nullptr ? -1 : group->count;
}

bool isWindowsSystemDll(const std::string& name)
{
    static const char* const system[] = {
        "kernel32.dll", "user32.dll", "gdi32.dll",  "advapi32.dll", "shell32.dll", "ole32.dll",
        "oleaut32.dll", "msvcrt.dll", "quartz.dll", "uuid.dll",     "winmm.dll",   "version.dll",
    };
    const std::string wanted = lowered(name);
    return std::any_of(std::begin(system), std::end(system), [&](const char* dll) { return wanted == dll; });
}

} // namespace testsupport
