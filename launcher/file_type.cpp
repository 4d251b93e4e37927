#include "file_type.h"

#include <shlobj.h>

#include <algorithm>

#include "launch_log.h"
#include "win_handles.h"

namespace launcher {

const wchar_t fileTypeOptOutKey[] = L"tvrfile\\noUpdate";

namespace {

const wchar_t typeKey[] = L"tvrfile";
const wchar_t documentIconResource[] = L",-102";

constexpr DWORD classesValueLimit = 255; // characters

// Where the file type's keys are written: a root key and the path below it
// that stands for HKEY_CLASSES_ROOT.
struct ClassesRoot {
    HKEY root;
    const wchar_t* prefix;
};
const ClassesRoot machineClasses{HKEY_CLASSES_ROOT, L""};
const ClassesRoot userClasses{HKEY_CURRENT_USER, L"Software\\Classes\\"};

std::optional<std::wstring> readValue(const ClassesRoot& classes, const std::wstring& key)
{
    RegistryKey opened;
    if (RegOpenKeyExW(classes.root, (classes.prefix + key).c_str(), 0, KEY_QUERY_VALUE, opened.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    wchar_t value[classesValueLimit + 1];
    DWORD size = classesValueLimit * sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(opened.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    // A value stored without its terminating zero is cut at the characters read.
    std::wstring text(value, size / sizeof(wchar_t));
    text.erase(std::min(text.find(L'\0'), text.size()));
    return text;
}

LONG writeValue(const ClassesRoot& classes, const FileTypeValue& value)
{
    RegistryKey opened;
    LONG result = RegCreateKeyExW(classes.root, (classes.prefix + value.path()).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, opened.put(), nullptr);
    if (result != ERROR_SUCCESS)
        return result;
    return RegSetValueExW(opened.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.text.c_str()),
                          static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t)));
}

struct Written {
    bool refused = false;     // a write was refused for want of rights: nothing after it was tried
    bool openCommand = false; // the open command was written
};

// Each value that differs from the one there is written; other failures are
// passed over, as the launch goes on without the file type.
Written writeChangedValues(const ClassesRoot& classes, const std::vector<FileTypeValue>& values)
{
    Written written;
    for (const FileTypeValue& value : values) {
        if (readValue(classes, value.path()) == value.text)
            continue;
        const LONG result = writeValue(classes, value);
        if (result == ERROR_ACCESS_DENIED) {
            written.refused = true;
            return written;
        }
        if (result == ERROR_SUCCESS && &value == &values.back())
            written.openCommand = true;
    }
    return written;
}

} // namespace

std::wstring openCommandFor(const std::wstring& exePath)
{
    return L"\"" + exePath + L"\" \"%1\"";
}

std::wstring documentIconFor(const std::wstring& exePath)
{
    return exePath + documentIconResource;
}

std::vector<FileTypeValue> fileTypeValues(const std::wstring& exePath)
{
    return {
        {L".tvr", L"", typeKey},
        {typeKey, L"", L"Tavrin Catalog"},
        {typeKey, L"DefaultIcon", documentIconFor(exePath)},
        {L"tvrfile\\shell\\Open", L"command", openCommandFor(exePath)},
    };
}

void registerCatalogFileType(const std::wstring& exePath)
{
    const std::vector<FileTypeValue> values = fileTypeValues(exePath);
    Written written = writeChangedValues(machineClasses, values);
    if (written.refused) {
        launchLog("File type: HKEY_CLASSES_ROOT refused, registering for this user\n");
        written = writeChangedValues(userClasses, values);
    }
    if (written.openCommand)
        SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

bool classesKeyExists(const std::wstring& key)
{
    RegistryKey opened;
    LONG result = RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, MAXIMUM_ALLOWED, opened.put());
    return result != ERROR_FILE_NOT_FOUND && opened;
}

std::optional<std::wstring> readClassesValue(const std::wstring& key)
{
    return readValue(machineClasses, key);
}

LONG writeClassesValue(const std::wstring& key, const std::wstring& subkey, const std::wstring& text)
{
    return writeValue(machineClasses, {key, subkey, text});
}

} // namespace launcher
