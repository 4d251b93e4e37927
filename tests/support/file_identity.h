// Whether two paths name one file or folder, as the file system keeps it:
// by volume and file index, whatever form (long, short, other case) each takes.
#ifndef TAVRIN_TESTS_SUPPORT_FILE_IDENTITY_H
#define TAVRIN_TESTS_SUPPORT_FILE_IDENTITY_H

#include <windows.h>

#include <string>
#include <utility>

namespace testsupport {

using FileIdentity = std::pair<DWORD, ULONGLONG>;
constexpr FileIdentity noFile{0, 0};

// The identity of an existing file or folder; noFile for none.
inline FileIdentity identityOf(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!known)
        return noFile;
    return {information.dwVolumeSerialNumber,
            (static_cast<ULONGLONG>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

} // namespace testsupport

#endif
