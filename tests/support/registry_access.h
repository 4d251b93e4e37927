// Registry keys whose writes are refused, as HKLM\Software\Classes refuses a
// standard user's: the key's DACL grants everyone reading only. Under Wine the
// DACL is enforced for writing values (error 5), not for creating subkeys, and
// lasts only while the wine server runs.
#ifndef TAVRIN_TESTS_SUPPORT_REGISTRY_ACCESS_H
#define TAVRIN_TESTS_SUPPORT_REGISTRY_ACCESS_H

#include <windows.h>
#include <sddl.h>

#include <string>

namespace testsupport {

constexpr wchar_t readOnlyForEveryone[] = L"D:P(A;OICI;KR;;;WD)";
constexpr wchar_t fullAccessForEveryone[] = L"D:P(A;OICI;KA;;;WD)";

// Gives the key the DACL in SDDL form; false when that did not take.
inline bool setKeyAccess(HKEY root, const std::wstring& key, const wchar_t* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY opened = nullptr;
    bool set = RegOpenKeyExW(root, key.c_str(), 0, WRITE_DAC, &opened) == ERROR_SUCCESS &&
               RegSetKeySecurity(opened, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    if (opened)
        RegCloseKey(opened);
    LocalFree(descriptor);
    return set;
}

// What writing the key's default value answers (ERROR_ACCESS_DENIED for a
// read-only key); the value is written when it may be.
inline LONG writeDefaultValue(HKEY root, const std::wstring& key, const std::wstring& text)
{
    HKEY opened = nullptr;
    LONG result = RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened, nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    result = RegSetValueExW(opened, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(opened);
    return result;
}

} // namespace testsupport

#endif
