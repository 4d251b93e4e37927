#include "pe_image.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {
namespace {

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::vector<BYTE> readFile(const std::wstring& path)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the image file");
    return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Where the optional header's data directories start, by its kind.
constexpr DWORD kPe32Directories = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory);
constexpr DWORD kPe32PlusDirectories = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory);
static_assert(offsetof(IMAGE_OPTIONAL_HEADER32, Subsystem) == offsetof(IMAGE_OPTIONAL_HEADER64, Subsystem));
constexpr DWORD kOptionalHeader = offsetof(IMAGE_NT_HEADERS32, OptionalHeader);
static_assert(kOptionalHeader == offsetof(IMAGE_NT_HEADERS64, OptionalHeader));

} // namespace

PeImage::PeImage(const std::wstring& path) : bytes(readFile(path))
{
    if (bytes.size() < sizeof(IMAGE_DOS_HEADER) ||
        reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data())->e_magic != IMAGE_DOS_SIGNATURE)
        throw std::runtime_error("not a PE image: no DOS header");
    ntOffset = static_cast<DWORD>(reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data())->e_lfanew);
    if (bytes.size() < ntOffset + sizeof(IMAGE_NT_HEADERS64) ||
        *reinterpret_cast<const DWORD*>(&bytes[ntOffset]) != IMAGE_NT_SIGNATURE)
        throw std::runtime_error("not a PE image: no NT headers");
}

const IMAGE_FILE_HEADER& PeImage::fileHeader() const
{
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(&bytes[ntOffset])->FileHeader;
}

bool PeImage::isPe32Plus() const
{
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(&bytes[ntOffset])->OptionalHeader.Magic ==
           IMAGE_NT_OPTIONAL_HDR64_MAGIC;
}

WORD PeImage::subsystem() const
{
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(&bytes[ntOffset])->OptionalHeader.Subsystem;
}

IMAGE_DATA_DIRECTORY PeImage::directory(int entry) const
{
    const DWORD first = ntOffset + kOptionalHeader + (isPe32Plus() ? kPe32PlusDirectories : kPe32Directories);
    return reinterpret_cast<const IMAGE_DATA_DIRECTORY*>(&bytes[first])[entry];
}

const BYTE* PeImage::at(DWORD rva, DWORD size) const
{
    const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
        &bytes[ntOffset + kOptionalHeader + fileHeader().SizeOfOptionalHeader]);
    for (WORD i = 0; i < fileHeader().NumberOfSections; ++i) {
        const IMAGE_SECTION_HEADER& section = sections[i];
        const DWORD offset = rva - section.VirtualAddress;
        if (rva >= section.VirtualAddress && offset + size <= section.SizeOfRawData &&
            section.PointerToRawData + offset + size <= bytes.size())
            return &bytes[section.PointerToRawData + offset];
    }
    throw std::runtime_error("an address outside the image's sections");
}

std::string PeImage::stringAt(DWORD rva) const
{
    const char* first = reinterpret_cast<const char*>(at(rva));
    return std::string(first, strnlen(first, bytes.data() + bytes.size() - reinterpret_cast<const BYTE*>(first)));
}

std::vector<std::string> PeImage::exportNames() const
{
    std::vector<std::string> names;
    const IMAGE_DATA_DIRECTORY entry = directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    if (entry.VirtualAddress == 0)
        return names;
    const auto& exports = read<IMAGE_EXPORT_DIRECTORY>(entry.VirtualAddress);
    for (DWORD i = 0; i < exports.NumberOfNames; ++i)
        names.push_back(stringAt(read<DWORD>(exports.AddressOfNames + i * sizeof(DWORD))));
    return names;
}

std::vector<std::string> PeImage::importedDlls() const
{
    std::vector<std::string> dlls;
    const IMAGE_DATA_DIRECTORY entry = directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (entry.VirtualAddress == 0)
        return dlls;
    for (DWORD rva = entry.VirtualAddress; read<IMAGE_IMPORT_DESCRIPTOR>(rva).Name != 0;
         rva += sizeof(IMAGE_IMPORT_DESCRIPTOR))
        dlls.push_back(stringAt(read<IMAGE_IMPORT_DESCRIPTOR>(rva).Name));
    return dlls;
}

// The resource tree is type, then name, then language; the first language of
// `type`/`id` is the one looked at.
const IMAGE_RESOURCE_DATA_ENTRY* PeImage::resource(int type, int id) const
{
    const DWORD root = directory(IMAGE_DIRECTORY_ENTRY_RESOURCE).VirtualAddress;
    if (root == 0)
        return nullptr;
    // The entry named by number `wanted` in the directory at `offset`, or none.
    auto child = [&](DWORD offset, int wanted) -> const IMAGE_RESOURCE_DIRECTORY_ENTRY* {
        const auto& dir = read<IMAGE_RESOURCE_DIRECTORY>(root + offset);
        const DWORD count = dir.NumberOfNamedEntries + dir.NumberOfIdEntries;
        for (DWORD i = 0; i < count; ++i) {
            const auto& entry = read<IMAGE_RESOURCE_DIRECTORY_ENTRY>(
                root + offset + sizeof(IMAGE_RESOURCE_DIRECTORY) + i * sizeof(IMAGE_RESOURCE_DIRECTORY_ENTRY));
            if (wanted < 0 || (!entry.NameIsString && entry.Id == wanted))
                return &entry;
        }
        return nullptr;
    };
    const auto* types = child(0, type);
    const auto* names = types && types->DataIsDirectory ? child(types->OffsetToDirectory, id) : nullptr;
    const auto* language = names && names->DataIsDirectory ? child(names->OffsetToDirectory, -1) : nullptr;
    if (language == nullptr || language->DataIsDirectory)
        return nullptr;
    return &read<IMAGE_RESOURCE_DATA_ENTRY>(root + language->OffsetToData);
}

bool PeImage::hasResource(int type, int id) const
{
    return resource(type, id) != nullptr;
}

int PeImage::iconGroupImages(int id) const
{
    const IMAGE_RESOURCE_DATA_ENTRY* group = resource(14 /* RT_GROUP_ICON */, id);
    if (group == nullptr || group->Size < 6)
        return -1;
    // A group icon directory: reserved, type, count, then the entries.
    return read<WORD>(group->OffsetToData + 4);
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
