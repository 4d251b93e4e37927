// The catalog file type ".tvr", so that opening a catalog in the shell starts
// the launcher with the catalog's path.
//
// It is written below HKEY_CLASSES_ROOT. Where that is refused (a standard
// user, or an administrator's filtered token: those keys live under
// HKLM\Software\Classes), the same keys go under HKCU\Software\Classes, where
// Windows looks first for the user's own associations.
#ifndef TAVRIN_LAUNCHER_FILE_TYPE_H
#define TAVRIN_LAUNCHER_FILE_TYPE_H

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace launcher {

constexpr bool fileTypeRegistrationEnabled = true;
// When this key exists the user has opted out: nothing is written.
extern const wchar_t fileTypeOptOutKey[]; // "tvrfile\\noUpdate"

// The open command and the document icon for a launcher at exePath.
std::wstring openCommandFor(const std::wstring& exePath);
std::wstring documentIconFor(const std::wstring& exePath);

// One default value of the file type: the key that is created or opened, the
// subkey whose default value is set (empty for the key itself) and the text.
struct FileTypeValue {
    std::wstring key;
    std::wstring subkey;
    std::wstring text;
    std::wstring path() const { return subkey.empty() ? key : key + L"\\" + subkey; }
};

// The file type's four values for a launcher at exePath, in the order they
// are written; the open command is the last.
std::vector<FileTypeValue> fileTypeValues(const std::wstring& exePath);

// Writes each value that differs from what is there; when the open command
// was written, tells the shell that file associations changed.
void registerCatalogFileType(const std::wstring& exePath);

// Registry access below HKEY_CLASSES_ROOT.
bool classesKeyExists(const std::wstring& key);
std::optional<std::wstring> readClassesValue(const std::wstring& key); // the default value, at most 255 characters
// The result of the registry call that failed, or ERROR_SUCCESS.
LONG writeClassesValue(const std::wstring& key, const std::wstring& subkey, const std::wstring& text);

} // namespace launcher

#endif
