// What a Windows Installer package leaves on this machine, read as a Windows
// program reads it: msiexec started as a child (for its full exit code), the
// installation folder, the Start menu shortcut through IShellLink, and the
// registry in this program's view, which is the package's architecture's.
#ifndef TAVRIN_TESTS_INSTALLER_INSTALLED_PACKAGE_H
#define TAVRIN_TESTS_INSTALLER_INSTALLED_PACKAGE_H

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace msitest {

namespace fs = std::filesystem;

// Windows Installer's result for an installation that did not happen.
constexpr DWORD installFailure = ERROR_INSTALL_FAILURE; // 1603

// "msiexec <arguments>", quietly, with a verbose log; its exit code.
DWORD runMsiexec(const std::wstring& arguments, const fs::path& log);
// What "msiexec /fa <product code>" does, through the installer's own API:
// every file of the product installed again, quietly, with a verbose log.
UINT reinstallAllFiles(const std::wstring& productCode, const fs::path& log);

// A path the build names as "Z:/unix/path", with Windows' separators.
fs::path windowsPath(const std::string& path);
fs::path knownFolder(REFKNOWNFOLDERID folder);
// Program Files\Tavrin, of this program's architecture.
fs::path installFolder();

struct Shortcut {
    fs::path target;
    fs::path workingFolder;
    std::wstring arguments;
};
// The shortcut file read back through IShellLink; nullopt when it cannot be loaded.
std::optional<Shortcut> readShortcut(const fs::path& file);

std::optional<std::wstring> stringValue(HKEY root, const std::wstring& key, const std::wstring& name = L"");
std::optional<DWORD> numberValue(HKEY root, const std::wstring& key, const std::wstring& name);
bool keyExists(HKEY root, const std::wstring& key);

// The keys below Programs and Features' list whose DisplayName is name.
std::vector<std::wstring> uninstallEntriesNamed(const std::wstring& name);
// What Windows Installer knows of an installed product (MsiGetProductInfo).
std::optional<std::wstring> productInfo(const std::wstring& productCode, const wchar_t* property);
// A package's launch conditions: the message shown when each is false.
std::map<std::wstring, std::wstring> launchConditionsOf(const fs::path& package);

// The regular files below a folder, as sorted relative paths.
std::vector<std::wstring> filesBelow(const fs::path& folder);
bool sameContent(const fs::path& one, const fs::path& other);
std::string readBytes(const fs::path& file);

bool runningUnderWine();

} // namespace msitest

#endif
