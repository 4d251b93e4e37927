#include "import_override.h"

#include <oleauto.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace comfake {
namespace {

void write(void** slot, void* value)
{
    DWORD protection = 0;
    if (!VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection))
        throw std::runtime_error("VirtualProtect failed on the import table");
    *slot = value;
    VirtualProtect(slot, sizeof(void*), protection, &protection);
}

// The program's import table entry that holds `target`, or null.
void** findSlot(const char* module, void* target)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* descriptor = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
    for (; descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), module) != 0)
            continue;
        auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + descriptor->FirstThunk);
        for (; thunk->u1.Function != 0; ++thunk) {
            if (reinterpret_cast<void*>(thunk->u1.Function) == target)
                return reinterpret_cast<void**>(&thunk->u1.Function);
        }
    }
    return nullptr;
}

// Stands for whatever the memory held: a pointer of this filler is never null.
constexpr unsigned char kStaleVariantByte = 0xC5;

void WINAPI typeOnlyVariantInit(VARIANTARG* variant)
{
    std::memset(variant, kStaleVariantByte, sizeof(*variant));
    variant->vt = VT_EMPTY;
}

} // namespace

ImportOverride::ImportOverride(const char* module, const char* function, void* replacement)
{
    const HMODULE loaded = GetModuleHandleA(module);
    original = loaded != nullptr ? reinterpret_cast<void*>(GetProcAddress(loaded, function)) : nullptr;
    slot = original != nullptr ? findSlot(module, original) : nullptr;
    if (slot == nullptr)
        throw std::runtime_error(std::string("the program does not import ") + function + " from " + module);
    write(slot, replacement);
}

ImportOverride::~ImportOverride()
{
    write(slot, original);
}

TypeOnlyVariantInit::TypeOnlyVariantInit()
    : override("oleaut32.dll", "VariantInit", reinterpret_cast<void*>(&typeOnlyVariantInit))
{
}

} // namespace comfake
