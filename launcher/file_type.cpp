#include "file_type.h"

#include <windows.h>
#include <shlobj.h>

#include "win_handles.h"

namespace launcher {

const char fileTypeOptOutKey[] = "tvrfile\\noUpdate";

namespace {

const char extensionKey[] = ".tvr";
const char typeKey[] = "tvrfile";
const char typeName[] = "Tavrin Catalog";
const char openKey[] = "tvrfile\\shell\\Open";
const char commandKey[] = "tvrfile\\shell\\Open\\command";
const char documentIconResource[] = ",-102";

constexpr LONG classesValueLimit = 255;

} // namespace

std::string openCommandFor(const std::string& exePath)
{
    return "\"" + exePath + "\" \"%1\"";
}

std::string documentIconFor(const std::string& exePath)
{
    return exePath + documentIconResource;
}

void registerCatalogFileType(const std::string& exePath)
{
    writeClassesValue(extensionKey, "", typeKey);
    writeClassesValue(typeKey, "", typeName);
    writeClassesValue(typeKey, "DefaultIcon", documentIconFor(exePath));
    std::string command = openCommandFor(exePath);
    std::optional<std::string> current = readClassesValue(commandKey);
    if (current && *current == command)
        return;
    writeClassesValue(openKey, "command", command);
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

bool classesKeyExists(const std::string& key)
{
    RegistryKey opened;
    LONG result = RegOpenKeyA(HKEY_CLASSES_ROOT, key.c_str(), opened.put());
    return result != ERROR_FILE_NOT_FOUND && opened;
}

std::optional<std::string> readClassesValue(const std::string& key)
{
    char value[classesValueLimit + 1];
    LONG size = classesValueLimit;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, key.c_str(), value, &size) != ERROR_SUCCESS)
        return std::nullopt;
    // A value stored without its terminating zero is cut at the bytes read.
    value[size >= 0 && size <= classesValueLimit ? size : classesValueLimit] = '\0';
    return std::string(value);
}

void writeClassesValue(const std::string& key, const std::string& subkey, const std::string& text)
{
    RegistryKey opened;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, key.c_str(), opened.put()) != ERROR_SUCCESS)
        return;
    RegSetValueA(opened.get(), subkey.empty() ? nullptr : subkey.c_str(), REG_SZ, text.c_str(),
                 static_cast<DWORD>(text.size() + 1));
}

} // namespace launcher
